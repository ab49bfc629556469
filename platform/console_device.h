#pragma once
// What the console services need from a console: a grid of cells, a cursor
// and a keyboard. The device is dumb; the console services own the logic.

#include <cstdint>
#include <memory>

// One cell: CP437 character byte in the low byte, attribute in the high byte.
using ScreenCell = uint16_t;

inline ScreenCell MakeCell(uint8_t character, uint8_t attribute) {
  return static_cast<ScreenCell>(character | (attribute << 8));
}
inline uint8_t CellChar(ScreenCell cell) { return static_cast<uint8_t>(cell & 0xFF); }
inline uint8_t CellAttr(ScreenCell cell) { return static_cast<uint8_t>(cell >> 8); }

// A key as a PC keyboard gives it: a character (Char != 0), or Char == 0 and
// the PC key code in Code for a key without a character.
struct PcKey {
  uint8_t Char = 0;
  uint8_t Code = 0;
  bool operator==(const PcKey&) const = default;
};

class ConsoleDevice {
 public:
  virtual ~ConsoleDevice() = default;

  // The console's size in cells.
  virtual int Columns() const = 0;
  virtual int Rows() const = 0;

  // Shows the cells of the rectangle left..right x top..bottom (0-based,
  // inclusive). `cells` is the whole screen, row-major, `stride` cells a row.
  virtual void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                         int stride) = 0;

  // Places the cursor (0-based) and sets its shape: hidden, or a visible underline.
  virtual void PlaceCursor(int column, int row) = 0;
  virtual void SetCursorVisible(bool visible) = 0;

  // Waits up to timeoutMs milliseconds (negative: for ever) for the next key.
  // Returns false when none came in time. Never spins.
  virtual bool ReadKey(int timeoutMs, PcKey& key) = 0;

  // Puts the console back as it was found. Called once, at the end.
  virtual void Restore() = 0;
};

// The platform's console; nullptr when no console can be had.
std::unique_ptr<ConsoleDevice> OpenConsoleDevice();
