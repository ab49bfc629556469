#include "platform/common/ansi_screen.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(AnsiScreenTest, DosColoursBecomeAnsiColours) {
  struct Case {
    uint8_t attribute;
    int foreground, background;
  };
  // DOS: 1 blue, 2 green, 4 red; ANSI: 1 red, 2 green, 4 blue.
  const Case cases[] = {
      {0x07, 37, 40},  {0x01, 34, 40},  {0x04, 31, 40},  {0x0E, 93, 40},
      {113, 34, 47},   {112, 30, 47},   {30, 93, 44},    {0x08, 90, 40},
      {0x9F, 97, 104}, {0xC0, 30, 101}, {0x30, 30, 46},  {0x60, 30, 43},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiForeground(c.attribute), c.foreground) << int(c.attribute);
    EXPECT_EQ(AnsiBackground(c.attribute), c.background) << int(c.attribute);
  }
}

struct Grid {
  int columns, rows;
  std::vector<ScreenCell> cells;
  Grid(int c, int r) : columns(c), rows(r), cells(static_cast<size_t>(c) * r, MakeCell(' ', 7)) {}
  ScreenCell& At(int column, int row) { return cells[static_cast<size_t>(row) * columns + column]; }
};

std::string Update(AnsiScreen& screen, Grid& grid) {
  std::string out;
  screen.Update(0, 0, grid.columns - 1, grid.rows - 1, grid.cells.data(), grid.columns, out);
  return out;
}

TEST(AnsiScreenTest, OnlyChangedCellsAreSentWithOneMoveAcrossAGap) {
  AnsiScreen screen;
  Grid grid(10, 3);
  screen.Reset(10, 3);
  Update(screen, grid);
  EXPECT_EQ(Update(screen, grid), "") << "nothing changed, nothing sent";

  grid.At(2, 1) = MakeCell('A', 7);
  grid.At(3, 1) = MakeCell('B', 7);
  grid.At(7, 1) = MakeCell('C', 30);
  EXPECT_EQ(Update(screen, grid), "\x1b[2;3HAB\x1b[3C\x1b[93;44mC");
}

TEST(AnsiScreenTest, ColourChangesSendOnlyWhatChanged) {
  AnsiScreen screen;
  Grid grid(4, 1);
  screen.Reset(4, 1);
  grid.At(0, 0) = MakeCell('a', 0x17);
  grid.At(1, 0) = MakeCell('b', 0x1E);  // same background
  grid.At(2, 0) = MakeCell('c', 0x7E);  // same foreground
  grid.At(3, 0) = MakeCell('d', 0x7E);
  EXPECT_EQ(Update(screen, grid), "\x1b[H\x1b[37;44ma\x1b[93mb\x1b[47mcd");
}

TEST(AnsiScreenTest, EveryByteOfACellGoesOutAsAGlyphNeverRaw) {
  AnsiScreen screen;
  Grid grid(256, 1);
  screen.Reset(256, 1);
  for (int b = 0; b < 256; ++b) grid.At(b, 0) = MakeCell(static_cast<uint8_t>(b), 7);
  const std::string out = Update(screen, grid);
  // Outside the escape sequences the encoder writes itself, no C0 byte and
  // no DEL may appear.
  for (size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (b == 0x1b) {
      ASSERT_EQ(out[i + 1], '[');
      i += 2;
      while (i < out.size() && (out[i] < 0x40 || out[i] > 0x7E)) ++i;
      continue;
    }
    EXPECT_FALSE(b < 0x20 || b == 0x7F) << "raw byte " << int(b) << " at " << i;
  }
}

TEST(AnsiScreenTest, CellsBeyondTheTerminalAreNotSentAndTheLastColumnMovesAfresh) {
  AnsiScreen screen;
  Grid grid(6, 2);
  screen.Reset(6, 2);
  screen.SetVisibleSize(3, 1);
  for (int c = 0; c < 6; ++c) grid.At(c, 0) = grid.At(c, 1) = MakeCell('x', 7);
  EXPECT_EQ(Update(screen, grid), "\x1b[H\x1b[37;40mxxx");
  std::string out;
  screen.MoveCursor(1, 0, out);
  // Autowrap is off: after the last column the cursor position is not assumed.
  EXPECT_EQ(out, "\x1b[1;2H");
}

}  // namespace
