#include "platform/common/win32_errors.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  uint32_t Error;
  uint16_t Expected;
};

TEST(Win32ErrorsTest, MapsSystemErrorsToResultCodes) {
  const Case cases[] = {
      {0, 0},        // success
      {2, 2},        // file not found
      {3, 3},        // path not found
      {5, 5},        // access denied
      {6, 6},        // invalid handle
      {18, 18},      // no more files: the last unchanged number
      {19, 150},     // write-protected: the first device error
      {21, 152},     // not ready
      {30, 161},     // read fault
      {31, 162},     // general failure: the only way to 162
      {32, 5},       // sharing violation
      {33, 33},      // lock violation: unchanged
      {80, 80},      // file exists (not the "already exists" of 183)
      {112, 101},    // disk full
      {145, 5},      // directory not empty
      {183, 5},      // already exists
      {206, 3},      // name too long
      {1392, 1392},  // file corrupt: unchanged
      {0xFFFF, 0xFFFF},
      {0x10000, 0xFFFF},  // too wide: never 0
      {0x10005, 0xFFFF},  // too wide: never a code it is not
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DosCodeFromWin32Error(c.Error), c.Expected) << "error " << c.Error;
  }
}

}  // namespace
