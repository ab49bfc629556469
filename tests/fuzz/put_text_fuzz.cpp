// PutText and PutTextViaConsole with random texts, positions, widths and
// attributes, centred or not, on a console of random size (1 x 1 to 240 x
// 100): nothing is written outside the screen buffer, the console is never
// asked to show a cell it does not have, the buffer keeps its size and after
// each write the console shows what the buffer holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/console_device.h"
#include "textui/console.h"
#include "textui/draw.h"

namespace {

class FuzzConsole final : public ConsoleDevice {
 public:
  FuzzConsole(int columns, int rows) : columns_(columns), rows_(rows) {}
  int Columns() const override { return columns_; }
  int Rows() const override { return rows_; }
  void ShowCells(int left, int top, int right, int bottom, const ScreenCell*, int stride) override {
    FUZZ_CHECK(stride == columns_);
    if (left > right || top > bottom) return;
    FUZZ_CHECK(left >= 0 && top >= 0 && right < columns_ && bottom < rows_);
  }
  void PlaceCursor(int column, int row) override {
    FUZZ_CHECK(column >= 0 && row >= 0 && column < columns_ && row < rows_);
  }
  void SetCursorVisible(bool) override {}
  bool ReadKey(int, PcKey&) override { return false; }
  void Restore() override {}

 private:
  int columns_, rows_;
};

// Reads the input front to back; zeros once it runs out.
struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  int16_t Short() { return static_cast<int16_t>(Byte() | (Byte() << 8)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const int columns = 1 + in.Byte() % 240, rows = 1 + in.Byte() % 100;
  FuzzConsole device(columns, rows);
  Console = ConsoleServices{};
  Geometry = ScreenGeometry{};
  SavedScreens = SavedScreenStack{};
  ScreenInit(device);
  InitTextUi();
  const size_t cells = Console.ScreenBuffer.size();
  FUZZ_CHECK(cells == static_cast<size_t>(columns) * rows);

  while (in.at < in.size) {
    const uint8_t how = in.Byte();
    SetCentring((how & 1) != 0, (how & 2) != 0);
    // Positions and widths as 16-bit numbers: far outside the screen on
    // either side as well as on it.
    const int column = (how & 4) ? in.Short() : in.Byte() % 90 - 4;
    const int row = (how & 8) ? in.Short() : in.Byte() % 40 - 4;
    const int width = (how & 16) ? in.Short() : in.Byte() % 100;
    const uint8_t attribute = in.Byte();
    const size_t length = in.Byte();
    std::string text;
    for (size_t i = 0; i < length && in.at < in.size; ++i) text += static_cast<char>(in.Byte());
    if (how & 32) {
      PutTextViaConsole(column, row, attribute, text, width);
    } else {
      PutText(column, row, attribute, text, width);
    }
    FUZZ_CHECK(Console.ScreenBuffer.size() == cells);
    FUZZ_CHECK(Console.Flushed == Console.ScreenBuffer);
  }
  Console = ConsoleServices{};
  return 0;
}
