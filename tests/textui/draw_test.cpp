#include "textui/draw.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen_watch.h"
#include "support/ui_fixture.h"
#include "textui/console.h"

namespace {

using DrawTest = UiTest;

TEST_F(DrawTest, GeometryCentresTheLogicalScreen) {
  struct Case {
    int columns, rows;
    bool centreRows;
    int rowOffset;
    bool centreColumns;
    int columnOffset;
    int landColumn, landRow;  // where logical (1, 1) is drawn
  };
  const std::vector<Case> cases = {
      {80, 25, false, 0, false, 0, 1, 1},  {81, 25, false, 0, true, 0, 1, 1},
      {100, 30, true, 2, true, 10, 11, 3}, {120, 50, true, 12, true, 20, 21, 13},
      {80, 26, true, 0, false, 0, 1, 1},   {80, 24, true, 0, false, 0, 1, 1},
      {40, 10, true, 0, false, 0, 1, 1},   {300, 30, true, 2, true, 80, 81, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.columns << " x " << c.rows);
    UseConsole(c.columns, c.rows);
    EXPECT_EQ(Geometry.ScreenBytes,
              static_cast<uint32_t>(Console.ScreenColumns * Console.ScreenRows * 2));
    EXPECT_EQ(Geometry.CentreRows, c.centreRows);
    EXPECT_EQ(Geometry.RowOffset, c.rowOffset);
    EXPECT_EQ(Geometry.CentreColumns, c.centreColumns);
    EXPECT_EQ(Geometry.ColumnOffset, c.columnOffset);
    PutText(1, 1, 30, "X", 0);
    EXPECT_TRUE(CellsAre(*console, c.landColumn, c.landRow, "X", 30));
  }
}

TEST_F(DrawTest, SetCentringFalseTwiceThenTrueLeavesCentringOff) {
  UseConsole(100, 30);
  SetCentring(false, false);
  SetCentring(true, true);
  EXPECT_TRUE(Geometry.CentreRows);
  EXPECT_TRUE(Geometry.CentreColumns);

  SetCentring(false, false);
  SetCentring(false, false);
  SetCentring(true, true);
  EXPECT_FALSE(Geometry.CentreRows);
  EXPECT_FALSE(Geometry.CentreColumns);
  PutText(1, 1, 30, "X", 0);
  EXPECT_TRUE(CellsAre(*console, 1, 1, "X", 30));
}

struct Span {
  int column, row;
  std::string chars;
  uint8_t attr;
};

TEST_F(DrawTest, PutTextWritesRunsOnAndClips) {
  struct Case {
    const char* name;
    int column, row;
    uint8_t attr;
    std::string text;
    int width;
    std::vector<Span> written;  // every other cell keeps its '.'
  };
  const std::vector<Case> cases = {
      {"runs on into the next row",
       75,
       1,
       30,
       "ABCDEFGHIJ",
       0,
       {{75, 1, "ABCDEF", 30}, {1, 2, "GHIJ", 30}}},
      {"escape switches the attribute, padding included",
       5,
       3,
       112,
       "AB\x01\x1F"
       "CD",
       10,
       {{5, 3, "AB", 112}, {7, 3, "CD      ", 31}}},
      {"width cuts the text", 5, 4, 30, "ABCDEF", 3, {{5, 4, "ABC", 30}}},
      {"empty text with width 0 writes nothing", 5, 5, 30, "", 0, {}},
      {"width above the screen width acts as the screen width",
       1,
       6,
       30,
       "AB",
       200,
       {{1, 6, "AB" + std::string(78, ' '), 30}}},
      {"ends exactly on the last cell", 71, 25, 30, "0123456789", 0, {{71, 25, "0123456789", 30}}},
      {"cut at the last cell", 71, 25, 30, "0123456789XYZ", 0, {{71, 25, "0123456789", 30}}},
      {"padding stops at the last cell", 78, 25, 30, "A", 10, {{78, 25, "A  ", 30}}},
      {"escape as the last byte is skipped", 1, 7, 30, "AB\x01", 4, {{1, 7, "AB  ", 30}}},
      {"escape first", 1, 8, 30, "\x01\x4FZ", 2, {{1, 8, "Z ", 0x4F}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FillScreen('.', 7);
    const int shows = console->ShowCount();
    PutText(c.column, c.row, c.attr, c.text, c.width);

    std::vector<ScreenCell> expected(Console.ScreenBuffer.size(), MakeCell('.', 7));
    for (const Span& span : c.written)
      for (size_t i = 0; i < span.chars.size(); ++i)
        expected[CellIndex(span.column + static_cast<int>(i), span.row)] =
            MakeCell(static_cast<uint8_t>(span.chars[i]), span.attr);
    ASSERT_EQ(Console.ScreenBuffer.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const int column = static_cast<int>(i % 80) + 1, row = static_cast<int>(i / 80) + 1;
      ASSERT_EQ(Console.ScreenBuffer[i], expected[i]) << "cell " << column << "," << row;
      ASSERT_EQ(console->Cell(column, row), expected[i]) << "shown " << column << "," << row;
    }
    if (c.written.empty()) {
      EXPECT_EQ(console->ShowCount(), shows) << "nothing to flush";
    }
  }
}

TEST_F(DrawTest, PutTextViaConsoleWritesThroughTheTextPathOnly) {
  FillScreen('.', 7);
  PutTextViaConsole(5, 2, 112,
                    "AB\x01\x1F"
                    "CD",
                    6);
  EXPECT_TRUE(CellsAre(*console, 5, 2, "AB", 112));
  EXPECT_TRUE(CellsAre(*console, 7, 2, "CD  ", 31));
  EXPECT_TRUE(CellsAre(*console, 11, 2, ".", 7));
  EXPECT_EQ(Console.ScreenBuffer[CellIndex(5, 2)], MakeCell('.', 7));
  EXPECT_EQ(console->CursorColumn(), 5);
  EXPECT_EQ(console->CursorRow(), 2);
  EXPECT_EQ(Console.CurrentAttr, 31);

  // The width is not cut at the right edge: the text path wraps.
  PutTextViaConsole(75, 4, 30, "AB", 10);
  EXPECT_TRUE(CellsAre(*console, 75, 4, "AB    ", 30));
  EXPECT_TRUE(CellsAre(*console, 1, 5, "    ", 30));
  EXPECT_TRUE(CellsAre(*console, 5, 5, ".", 7));
  EXPECT_EQ(console->CursorColumn(), 75);
  EXPECT_EQ(console->CursorRow(), 4);

  PutText(1, 20, 30, "Z", 0);
  EXPECT_TRUE(CellsAre(*console, 5, 2, "AB", 112)) << "a non-forced flush leaves it";
  ScreenFlush(true);
  EXPECT_TRUE(CellsAre(*console, 5, 2, "......", 7)) << "a forced flush paints over it";

  UseConsole(100, 30);
  PutTextViaConsole(1, 1, 30, "C", 0);
  EXPECT_TRUE(CellsAre(*console, 11, 3, "C", 30));
  EXPECT_EQ(console->CursorColumn(), 11);
  EXPECT_EQ(console->CursorRow(), 3);
}

TEST_F(DrawTest, RepeatChar) {
  struct Case {
    int16_t count;
    std::string expected;
  };
  for (const Case& c :
       std::vector<Case>{{0, ""}, {-3, ""}, {1, "x"}, {5, "xxxxx"}, {255, std::string(255, 'x')}}) {
    EXPECT_EQ(RepeatChar('x', c.count), c.expected) << c.count;
  }
}

TEST_F(DrawTest, FillScreenFillsEveryCellOfALargeConsole) {
  UseConsole(240, 60);  // more cells than the fill's scratch area of old
  FillScreen(static_cast<char>(177), 7);
  for (int row = 1; row <= 60; ++row)
    ASSERT_TRUE(CellsAre(*console, 1, row, std::string(240, '\xB1'), 7)) << row;
}

TEST_F(DrawTest, FrameAndShadow) {
  struct Case {
    const char* name;
    int columns, rows;
    int left, top, right, bottom;  // logical
    bool shadow;
    int screenLeft, screenTop, screenRight, screenBottom;
    bool rightShadow, bottomShadow;
  };
  const std::vector<Case> cases = {
      {"inside the screen", 80, 25, 10, 5, 20, 10, true, 10, 5, 20, 10, true, true},
      {"without shadow", 80, 25, 10, 5, 20, 10, false, 10, 5, 20, 10, false, false},
      {"right edge on the last column", 80, 25, 60, 5, 80, 10, true, 60, 5, 80, 10, false, true},
      {"right edge next to the last column", 80, 25, 60, 5, 79, 10, true, 60, 5, 79, 10, true,
       true},
      {"bottom two rows above the last", 80, 25, 10, 15, 20, 23, true, 10, 15, 20, 23, true, false},
      {"bottom three rows above the last", 80, 25, 10, 15, 20, 22, true, 10, 15, 20, 22, true,
       true},
      {"centred on 100 x 30", 100, 30, 1, 1, 80, 25, true, 11, 3, 90, 27, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseConsole(c.columns, c.rows);
    DrawPattern();
    const std::vector<ScreenCell> before = Console.ScreenBuffer;
    DrawFrame(c.left, c.top, c.right, c.bottom, 112, c.shadow);

    const int l = c.screenLeft, t = c.screenTop, r = c.screenRight, b = c.screenBottom;
    for (int row = 1; row <= c.rows; ++row) {
      for (int column = 1; column <= c.columns; ++column) {
        const ScreenCell was = before[CellIndex(column, row)];
        ScreenCell expected = was;
        const bool inRows = row >= t && row <= b, inColumns = column >= l && column <= r;
        if ((row == t || row == b) && inColumns) {
          uint8_t ch = Frames.Horizontal;
          if (column == l) ch = row == t ? Frames.TopLeft : Frames.BottomLeft;
          if (column == r) ch = row == t ? Frames.TopRight : Frames.BottomRight;
          expected = MakeCell(ch, 112);
        } else if ((column == l || column == r) && inRows) {
          expected = MakeCell(Frames.Vertical, 112);
        } else if ((c.rightShadow && column == r + 1 && row > t && row <= b) ||
                   (c.bottomShadow && row == b + 1 && column >= l + 2 && column <= r + 1)) {
          expected = MakeCell(CellChar(was), ShadowAttr);  // the character stays
        }
        ASSERT_EQ(Console.ScreenBuffer[CellIndex(column, row)], expected)
            << "cell " << column << "," << row;
        ASSERT_EQ(console->Cell(column, row), expected) << "shown " << column << "," << row;
      }
    }
  }
}

TEST_F(DrawTest, RestoreScreenGivesBackTheExactCellsWithAForcedFlush) {
  DrawPattern();
  const std::vector<ScreenCell> before = Console.ScreenBuffer;
  SaveScreen();
  DrawShadowedFrame(10, 5, 40, 12, 112);
  PutText(12, 7, 30, "inside", 0);
  const std::vector<ScreenCell> framed = Console.ScreenBuffer;
  SaveScreen();
  PutText(1, 1, 30, std::string(200, '#'), 0);
  PutTextViaConsole(1, 20, 30, "through the text path", 0);
  EXPECT_EQ(SavedScreens.Depth, 2);

  RestoreScreen();
  EXPECT_EQ(Console.ScreenBuffer, framed);
  const int cells = console->ShownCells();
  RestoreScreen();
  EXPECT_EQ(console->ShownCells(), cells + 80 * 25) << "forced: every cell";
  EXPECT_EQ(Console.ScreenBuffer, before);
  for (int row = 1; row <= 25; ++row)
    for (int column = 1; column <= 80; ++column)
      ASSERT_EQ(console->Cell(column, row), before[CellIndex(column, row)]) << column << "," << row;
  EXPECT_EQ(SavedScreens.Depth, 0);

  const int shows = console->ShowCount();
  RestoreScreen();  // an empty stack: nothing happens
  EXPECT_EQ(console->ShowCount(), shows);
  EXPECT_EQ(SavedScreens.Depth, 0);
  EXPECT_EQ(Console.ScreenBuffer, before);
}

TEST_F(DrawTest, DrawingOnASmallConsoleIsClipped) {
  UseConsole(40, 10);
  DrawShadowedFrame(1, 1, 80, 25, 112);
  DrawShadowedFrame(30, 5, 60, 20, 112);
  PutText(75, 25, 30, "past the end", 80);
  PutText(1, 10, 30, "last row", 200);
  EXPECT_TRUE(CellsAre(*console, 1, 10, "last row", 30));
  EXPECT_EQ(Console.ScreenBuffer.size(), 400u);
}

}  // namespace
