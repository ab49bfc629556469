# Cross-builds the Windows console program with Debian's mingw-w64
# (g++-mingw-w64-x86-64): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIRVEN_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model has the whole C++ thread library; either works.
find_program(CMAKE_CXX_COMPILER NAMES ${TIRVEN_MINGW_PREFIX}-g++-posix ${TIRVEN_MINGW_PREFIX}-g++
                                      ${TIRVEN_MINGW_PREFIX}-g++-win32 REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${TIRVEN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that needs no DLL of the compiler's beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
