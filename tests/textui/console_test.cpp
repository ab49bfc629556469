#include "textui/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen_watch.h"
#include "support/ui_fixture.h"
#include "textui/draw.h"

namespace {

using ConsoleTest = UiTest;

TEST_F(ConsoleTest, ScreenInitClearsBufferAndConsoleToGreyBlanks) {
  EXPECT_EQ(Console.ScreenColumns, 80);
  EXPECT_EQ(Console.ScreenRows, 25);
  ASSERT_EQ(Console.ScreenBuffer.size(), 80u * 25u);
  for (ScreenCell cell : Console.ScreenBuffer) ASSERT_EQ(cell, MakeCell(' ', 7));
  for (int row = 1; row <= 25; ++row)
    ASSERT_TRUE(CellsAre(*console, 1, row, std::string(80, ' '), 7));
  EXPECT_EQ(Console.CurrentAttr, 7);
}

TEST_F(ConsoleTest, ColumnsAreCappedAt240) {
  UseConsole(300, 30);
  EXPECT_EQ(Console.ScreenColumns, 240);
  EXPECT_EQ(Console.ScreenRows, 30);
  PutText(1, 1, 30, "X", 0);  // must not reach past the buffer
  EXPECT_EQ(Console.ScreenBuffer.size(), 240u * 30u);
}

// The text path on the full 80 x 25 window: where characters land and where
// the cursor is left.
TEST_F(ConsoleTest, TextPathControlCharacters) {
  struct Case {
    const char* name;
    int column, row;  // cursor before the write
    std::string text;
    int shownColumn, shownRow;
    std::string shown;  // what the row shows from shownColumn on
    int cursorColumn, cursorRow;
  };
  const std::vector<Case> cases = {
      {"plain", 5, 3, "AB", 5, 3, "AB", 7, 3},
      {"CR returns to the left column", 5, 3, "ABC\rX", 1, 3, "X   ABC", 2, 3},
      {"LF goes down in the same column", 5, 3, "A\nB", 6, 4, "B", 7, 4},
      {"CR LF starts the next line", 5, 3, "A\r\nB", 1, 4, "B", 2, 4},
      {"BS moves left without erasing", 5, 3, "AB\bX", 5, 3, "AX", 7, 3},
      {"BS stops at the left edge", 1, 3, "\b\bX", 1, 3, "X", 2, 3},
      {"BEL writes nothing", 5, 3, "A\aB", 5, 3, "AB ", 7, 3},
      {"wraps at the right edge", 79, 3, "ABC", 79, 3, "AB", 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseConsole(80, 25);
    Console.CurrentAttr = 0x1E;
    CursorTo(c.column, c.row);
    ConsoleWrite(c.text);
    EXPECT_EQ(console->Text(c.shownColumn, c.shownRow, static_cast<int>(c.shown.size())), c.shown);
    EXPECT_EQ(console->Attr(c.shownColumn, c.shownRow), 0x1E);
    EXPECT_EQ(console->CursorColumn(), c.cursorColumn);
    EXPECT_EQ(console->CursorRow(), c.cursorRow);
    // The text path shows on the console only.
    EXPECT_EQ(Console.ScreenBuffer[CellIndex(c.shownColumn, c.shownRow)], MakeCell(' ', 7));
  }
  // The last case, the wrap, put its C on the next row.
  EXPECT_TRUE(CellsAre(*console, 1, 4, "C", 0x1E));
}

TEST_F(ConsoleTest, WritingPastTheBottomScrollsWithABlankRowInCurrentAttr) {
  for (int row = 1; row <= 25; ++row) {
    CursorTo(1, row);
    ConsoleWrite("row " + std::to_string(row));
  }
  Console.CurrentAttr = 0x4F;
  CursorTo(1, 25);
  ConsoleWrite("\r\nnew");
  for (int row = 1; row <= 23; ++row) {
    EXPECT_EQ(console->Text(1, row, 7), "row " + std::to_string(row + 1) + (row < 9 ? "  " : " "))
        << row;
  }
  EXPECT_EQ(console->Text(1, 24, 7), "row 25 ");
  EXPECT_TRUE(CellsAre(*console, 1, 25, "new", 0x4F));
  EXPECT_TRUE(CellsAre(*console, 4, 25, std::string(77, ' '), 0x4F));
  EXPECT_EQ(console->CursorColumn(), 4);
  EXPECT_EQ(console->CursorRow(), 25);
}

class ConsoleWindowTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    FillScreen('.', 7);
    SetTextWindow(11, 6, 20, 8);
  }
  // Nothing outside the window was touched.
  void ExpectOutsideUntouched() {
    for (int row = 1; row <= 25; ++row) {
      for (int column = 1; column <= 80; ++column) {
        if (column >= 11 && column <= 20 && row >= 6 && row <= 8) continue;
        ASSERT_EQ(console->Cell(column, row), MakeCell('.', 7)) << column << "," << row;
      }
    }
  }
};

TEST_F(ConsoleWindowTest, WrapsAndScrollsInsideTheWindow) {
  EXPECT_EQ(console->CursorColumn(), 11);
  EXPECT_EQ(console->CursorRow(), 6);
  Console.CurrentAttr = 0x1F;
  ConsoleWrite("0123456789AB");
  EXPECT_TRUE(CellsAre(*console, 11, 6, "0123456789", 0x1F));
  EXPECT_TRUE(CellsAre(*console, 11, 7, "AB", 0x1F));
  EXPECT_EQ(console->CursorColumn(), 13);
  EXPECT_EQ(console->CursorRow(), 7);

  Console.CurrentAttr = 0x2E;
  ConsoleWrite("\r\n\r\nZ");  // the second line end is past the bottom
  EXPECT_TRUE(CellsAre(*console, 11, 6, "AB", 0x1F));
  EXPECT_TRUE(CellsAre(*console, 13, 6, "........", 7));
  EXPECT_TRUE(CellsAre(*console, 11, 7, "..........", 7));
  EXPECT_TRUE(CellsAre(*console, 11, 8, "Z         ", 0x2E));
  EXPECT_EQ(console->CursorColumn(), 12);
  EXPECT_EQ(console->CursorRow(), 8);
  ExpectOutsideUntouched();
}

TEST_F(ConsoleWindowTest, CursorToIsWindowRelativeAndIgnoresPlacesOutside) {
  CursorTo(2, 3);
  EXPECT_EQ(console->CursorColumn(), 12);
  EXPECT_EQ(console->CursorRow(), 8);
  for (auto [column, row] : std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {11, 1}, {1, 4}}) {
    CursorTo(column, row);
    EXPECT_EQ(console->CursorColumn(), 12) << column << "," << row;
    EXPECT_EQ(console->CursorRow(), 8) << column << "," << row;
  }
}

TEST_F(ConsoleWindowTest, ClearWindowBlanksInCurrentAttrAndHomesTheCursor) {
  CursorTo(5, 2);
  Console.CurrentAttr = 0x30;
  ClearWindow();
  for (int row = 6; row <= 8; ++row)
    EXPECT_TRUE(CellsAre(*console, 11, row, std::string(10, ' '), 0x30));
  EXPECT_EQ(console->CursorColumn(), 11);
  EXPECT_EQ(console->CursorRow(), 6);
  ExpectOutsideUntouched();
}

TEST_F(ConsoleWindowTest, InvertedOrOversizedWindowsAreIgnored) {
  struct Window {
    int left, top, right, bottom;
  };
  for (Window w : std::vector<Window>{{20, 6, 11, 8},
                                      {11, 8, 20, 6},
                                      {0, 1, 80, 25},
                                      {1, 0, 80, 25},
                                      {1, 1, 81, 25},
                                      {1, 1, 80, 26}}) {
    SCOPED_TRACE(testing::Message() << w.left << "," << w.top << "," << w.right << "," << w.bottom);
    CursorTo(3, 2);
    SetTextWindow(w.left, w.top, w.right, w.bottom);
    EXPECT_EQ(console->CursorColumn(), 13);
    EXPECT_EQ(console->CursorRow(), 7);
    EXPECT_EQ(Console.WindowLeft, 11);
    EXPECT_EQ(Console.WindowTop, 6);
    EXPECT_EQ(Console.WindowRight, 20);
    EXPECT_EQ(Console.WindowBottom, 8);
  }
}

TEST_F(ConsoleTest, FlushSendsTheSmallestChangedRectangleOrForcedEverything) {
  ScreenFlush(false);
  const int shows = console->ShowCount();
  ScreenFlush(false);
  EXPECT_EQ(console->ShowCount(), shows) << "nothing changed, nothing sent";

  CursorTo(1, 1);
  ConsoleWrite("T");  // text-path output outside the rectangle below
  CursorTo(6, 3);
  ConsoleWrite("U");  // and inside it
  const int afterText = console->ShowCount(), cellsAfterText = console->ShownCells();
  Console.ScreenBuffer[CellIndex(3, 2)] = MakeCell('a', 30);
  Console.ScreenBuffer[CellIndex(10, 4)] = MakeCell('b', 30);
  ScreenFlush(false);
  EXPECT_EQ(console->ShowCount(), afterText + 1);
  EXPECT_EQ(console->ShownCells(), cellsAfterText + 8 * 3) << "columns 3-10, rows 2-4";
  EXPECT_TRUE(CellsAre(*console, 3, 2, "a", 30));
  EXPECT_TRUE(CellsAre(*console, 10, 4, "b", 30));
  EXPECT_EQ(console->Char(1, 1), 'T') << "a non-forced flush leaves text-path output outside";

  ScreenFlush(true);
  EXPECT_EQ(console->ShownCells(), cellsAfterText + 24 + 80 * 25);
  EXPECT_TRUE(CellsAre(*console, 1, 1, " ", 7)) << "a forced flush paints over it";
  EXPECT_TRUE(CellsAre(*console, 6, 3, " ", 7));
}

TEST_F(ConsoleTest, KeysComeAsCharactersOrZeroThenTheCode) {
  EXPECT_FALSE(KeyAvailable()) << "no key: KeyAvailable answers at once";
  console->Type("a");
  console->Press(72);
  console->Type("b");
  EXPECT_TRUE(KeyAvailable());
  EXPECT_TRUE(KeyAvailable()) << "asking twice takes no second key";
  EXPECT_EQ(GetKey(), 'a');
  EXPECT_EQ(GetKey(), 0);
  EXPECT_TRUE(KeyAvailable()) << "the code after the 0 is waiting";
  EXPECT_EQ(GetKey(), 72);
  EXPECT_EQ(GetKey(), 'b');
  EXPECT_FALSE(KeyAvailable());
  EXPECT_EQ(console->BlockingReads(), 2) << "the key KeyAvailable took is not read again";
}

}  // namespace
