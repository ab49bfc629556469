# The front door: `make` builds, `make test` builds and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD ?= build-win
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

# The Windows build is made when the mingw-w64 cross compiler is there; the
# Wine tests report themselves skipped without it.
HAVE_MINGW := $(shell command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 && echo yes)
# The fuzzers need clang with libFuzzer.
HAVE_CLANG := $(shell command -v clang++ >/dev/null 2>&1 && echo yes)

.PHONY: all build test test-fast asan-test fuzz-test demo bench windows stress clean format

all: build

$(BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# Every test: unit, component, end-to-end (POSIX and, with mingw-w64 and
# Wine, Windows), reliability, then the unit and component tests under the
# address and undefined-behaviour sanitizers, then short fuzzing runs.
test: test-fast asan-test fuzz-test

test-fast: build $(if $(HAVE_MINGW),windows)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTIRVEN_SANITIZE=ON

asan-test: $(ASAN_BUILD)/CMakeCache.txt
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS) --target unit_tests
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

$(FUZZ_BUILD)/CMakeCache.txt:
	$(CMAKE) -S tests/fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++

fuzz-test: $(if $(HAVE_CLANG),$(FUZZ_BUILD)/CMakeCache.txt)
ifeq ($(HAVE_CLANG),yes)
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure
else
	@echo "fuzz-test: no clang++ here, the fuzzers are not built"
endif

# The tests that take minutes: the long reliability cases and long fuzzing.
stress: build $(if $(HAVE_CLANG),$(FUZZ_BUILD)/CMakeCache.txt)
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target reliability-stress
ifeq ($(HAVE_CLANG),yes)
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-long
endif

# The program on a fresh copy of the sample configuration.
demo: build
	examples/run_demo.sh $(BUILD)

windows:
	$(CMAKE) -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(WIN_BUILD) -j $(JOBS) --target tirven-update make-demo-config

bench:
	$(CMAKE) -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DTIRVEN_BENCH=ON -DTIRVEN_TESTS=OFF
	$(CMAKE) --build $(BENCH_BUILD) -j $(JOBS) --target run-bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
