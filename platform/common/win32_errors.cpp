#include "platform/common/win32_errors.h"

uint16_t DosCodeFromWin32Error(uint32_t error) {
  // Below 19 the numbers are the DOS ones; 19 to 31 are the device errors,
  // which DOS numbers from 150 (write-protected) to 162 (general failure).
  if (error < 19) return static_cast<uint16_t>(error);
  if (error <= 31) return static_cast<uint16_t>(error + 131);
  switch (error) {
    case 32:   // sharing violation
    case 145:  // directory not empty
    case 183:  // already exists
      return 5;
    case 112:  // disk full
      return 101;
    case 206:  // file name too long
      return 3;
    default:
      // A number too wide for a result code must not read as success.
      return error > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(error);
  }
}
