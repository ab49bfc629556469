#pragma once
// Windows system error numbers in the DOS numbering of the result codes.

#include <cstdint>

uint16_t DosCodeFromWin32Error(uint32_t error);
