#pragma once
// Turns cells into the bytes an ANSI terminal needs to show them, sending
// only what differs from what the terminal already shows. Pure: cells in,
// bytes out, so it is tested without a terminal.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console_device.h"

// The SGR parameters of an attribute: foreground 30-37 / 90-97, background
// 40-47 / 100-107. DOS orders colours blue-green-red from bit 0, ANSI
// red-green-blue, so bits 0 and 2 swap. Bit 7 is a bright background.
int AnsiForeground(uint8_t attribute);
int AnsiBackground(uint8_t attribute);

class AnsiScreen {
 public:
  // A terminal of this size whose contents are unknown: the next update
  // writes every cell it is given.
  void Reset(int columns, int rows);
  // The terminal's own size, which may be smaller than the cell grid after a
  // resize; cells outside it are not sent.
  void SetVisibleSize(int columns, int rows);
  // Forget what the terminal shows (after a resize or a stop and continue).
  void Invalidate();

  // Appends the bytes that make the terminal show the rectangle
  // left..right x top..bottom (0-based, inclusive) of `cells`.
  void Update(int left, int top, int right, int bottom, const ScreenCell* cells, int stride,
              std::string& out);
  // Appends a cursor move to (column, row), 0-based, unless it is there.
  void MoveCursor(int column, int row, std::string& out);
  // The attribute is unknown after something else wrote to the terminal.
  void ForgetAttribute() { attribute_ = -1; }

 private:
  void SetAttribute(uint8_t attribute, std::string& out);
  int columns_ = 0, rows_ = 0;
  int visibleColumns_ = 0, visibleRows_ = 0;
  std::vector<int32_t> shown_;  // -1: unknown
  int attribute_ = -1;          // the terminal's current attribute, -1 unknown
  int cursorColumn_ = -1, cursorRow_ = -1;  // -1: unknown
};
