#include "textui/dialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "screen_watch.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/program_state.h"

namespace {

const std::string kQuestion = "Do you want to update the TIRVEN version 4.33/5.x/6.x";  // 53

class DialogTest : public WatchedUiTest {
 protected:
  char Run(DialogBox& dialog, const std::vector<Key>& keys) {
    Begin(keys);
    const char answer = DialogRun(dialog);
    ExpectEachKeyReadOnce(keys);
    return answer;
  }

  // The confirmation of the update sequence, interactive mode.
  void Confirmation(DialogBox& dialog) {
    DialogInit(dialog, KeySet{13, 27, 'N', 'Y'});
    DialogAddLine(dialog, "Welcome to the TIRVEN update utility");
    DialogAddLine(dialog, "");
    DialogAddLine(dialog, kQuestion);
    DialogAddLine(dialog, "configuration files to version " + TargetVersion + " format ?");
    DialogAddButton(dialog, "Yes");
    DialogAddButton(dialog, "No");
  }
};

TEST_F(DialogTest, ConfirmationGeometry) {
  FillScreen(static_cast<char>(177), 7);
  DialogBox dialog;
  Confirmation(dialog);
  EXPECT_EQ(Run(dialog, {Ch(13)}), 'Y');
  DialogDone(dialog);
  const Snapshot& s = watched->Moments.at(0);

  // Box: columns 8-71, rows 7-16, frame and fill in the box colour.
  EXPECT_TRUE(CellsAre(s, 8, 7, Cp(Frames.TopLeft), 112));
  EXPECT_TRUE(CharsAre(s, 9, 7, 62, Frames.Horizontal));
  EXPECT_TRUE(CellsAre(s, 71, 7, Cp(Frames.TopRight), 112));
  EXPECT_TRUE(CellsAre(s, 8, 16, Cp(Frames.BottomLeft), 112));
  EXPECT_TRUE(CharsAre(s, 9, 16, 62, Frames.Horizontal));
  EXPECT_TRUE(CellsAre(s, 71, 16, Cp(Frames.BottomRight), 112));
  for (int row = 8; row <= 15; ++row) {
    EXPECT_TRUE(CellsAre(s, 8, row, Cp(Frames.Vertical), 112)) << row;
    EXPECT_TRUE(CellsAre(s, 71, row, Cp(Frames.Vertical), 112)) << row;
  }
  EXPECT_TRUE(CellsAre(s, 9, 8, std::string(62, ' '), 112));
  EXPECT_TRUE(CellsAre(s, 9, 13, std::string(62, ' '), 112));

  // Lines on rows 9-12, centred in columns 13-65.
  EXPECT_TRUE(CellsAre(s, 9, 9, std::string(12, ' '), 112));
  EXPECT_TRUE(CellsAre(s, 21, 9, "Welcome to the TIRVEN update utility", 112));
  EXPECT_TRUE(CellsAre(s, 9, 10, std::string(62, ' '), 112));
  EXPECT_TRUE(CellsAre(s, 12, 11, " " + kQuestion + " ", 112));
  EXPECT_TRUE(CellsAre(s, 17, 12, "configuration files to version 6.01 format ?", 112));

  // Buttons 7 wide on row 14; Yes focused.
  EXPECT_TRUE(CellsAre(s, 24, 14, " ", 112));
  EXPECT_TRUE(CellsAre(s, 25, 14, "  Yes  ", 30));
  EXPECT_TRUE(CellsAre(s, 32, 14, "\xDC", 112));
  EXPECT_TRUE(CellsAre(s, 48, 14, "  No   ", 16));
  EXPECT_TRUE(CellsAre(s, 55, 14, "\xDC", 112));
  EXPECT_TRUE(CellsAre(s, 25, 15, " ", 112));
  EXPECT_TRUE(CellsAre(s, 26, 15, std::string(7, '\xDF'), 112));
  EXPECT_TRUE(CellsAre(s, 33, 15, " ", 112));
  EXPECT_TRUE(CellsAre(s, 48, 15, " ", 112));
  EXPECT_TRUE(CellsAre(s, 49, 15, std::string(7, '\xDF'), 112));
  EXPECT_TRUE(CellsAre(s, 56, 15, " ", 112));

  // The box's shadow: column 72 on rows 8-16, row 17 from column 10 to 72;
  // the background characters stay.
  EXPECT_TRUE(CellsAre(s, 72, 7, "\xB1", 7));
  for (int row = 8; row <= 16; ++row) EXPECT_TRUE(CellsAre(s, 72, row, "\xB1", ShadowAttr));
  EXPECT_TRUE(CellsAre(s, 9, 17, "\xB1", 7));
  EXPECT_TRUE(CellsAre(s, 10, 17, std::string(63, '\xB1'), ShadowAttr));
  EXPECT_TRUE(CellsAre(s, 73, 17, "\xB1", 7));
  EXPECT_TRUE(CellsAre(s, 73, 16, "\xB1", 7));
}

TEST_F(DialogTest, KeysAndAnswers) {
  const std::vector<std::string> yesNo = {"Yes", "No"}, three = {"Yes", "No", "Abort"};
  const Key enter = Ch(13), esc = Ch(27), tab = Ch(9), shiftTab = Ext(15), left = Ext(75),
            right = Ext(77);
  struct Case {
    const char* name;
    std::vector<std::string> buttons;
    std::vector<Key> keys;
    char answer;
  };
  const std::vector<Case> cases = {
      {"Enter answers the first button", yesNo, {enter}, 'Y'},
      {"Tab moves the focus on", three, {tab, enter}, 'N'},
      {"Tab wraps past the last button", three, {tab, tab, tab, enter}, 'Y'},
      {"Right moves the focus on", three, {right, right, enter}, 'A'},
      {"Right wraps past the last button", three, {right, right, right, enter}, 'Y'},
      {"Left wraps to the last button", three, {left, enter}, 'A'},
      {"Shift-Tab wraps to the last button", three, {shiftTab, enter}, 'A'},
      {"Tab then Shift-Tab is back on the first", yesNo, {tab, shiftTab, enter}, 'Y'},
      {"a lower-case hotkey", yesNo, {Ch('y')}, 'Y'},
      {"a hotkey whatever has the focus", yesNo, {tab, Ch('y')}, 'Y'},
      {"No by its hotkey", yesNo, {Ch('n')}, 'N'},
      {"a letter that is no exit key does nothing", yesNo, {Ch('x'), Ch('q'), enter}, 'Y'},
      {"Esc", yesNo, {esc}, 27},
      {"End answers O with an Ok button", {"Ok"}, {Ext(79)}, 'O'},
      {"F7 answers A with an Abort button", {"Continue", "Abort"}, {Ext(65)}, 'A'},
      {"F9 answers C with a Continue button", {"Continue", "Abort"}, {Ext(67)}, 'C'},
      {"Shift-F6 answers Y", yesNo, {Ext(89)}, 'Y'},
      {"F1 and Alt-Z are read and ignored", yesNo, {Ext(59), Ext(44), tab, enter}, 'N'},
      {"an extended key that is no exit key", yesNo, {Ext(72), Ext(80), enter}, 'Y'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DialogBox dialog;
    DialogInit(dialog, KeySet{13, 27});
    DialogAddLine(dialog, "Question");
    for (const std::string& caption : c.buttons) DialogAddButton(dialog, caption);
    EXPECT_EQ(Run(dialog, c.keys), c.answer);
    DialogDone(dialog);
  }
}

// Three buttons under a 53-character line: 9 wide at columns 18, 36 and 54
// on row 13.
TEST_F(DialogTest, FocusMovesAndOnlyTheFocusedButtonIsHighlighted) {
  DialogBox dialog;
  DialogInit(dialog, KeySet{13, 27});
  DialogAddLine(dialog, kQuestion);
  for (const char* caption : {"Yes", "No", "Abort"}) DialogAddButton(dialog, caption);
  const std::vector<Key> keys = {Ch(9), Ch(9), Ch(9), Ext(15), Ext(75), Ext(77), Ext(59), Ch(13)};
  const std::vector<int> focusWhileWaiting = {1, 2, 3, 1, 3, 2, 3, 3};
  EXPECT_EQ(Run(dialog, keys), 'A');
  DialogDone(dialog);

  const int columns[] = {18, 36, 54};
  const char* faces[] = {"   Yes   ", "   No    ", "  Abort  "};
  ASSERT_EQ(watched->Moments.size(), keys.size());
  for (size_t m = 0; m < keys.size(); ++m) {
    SCOPED_TRACE(testing::Message() << "waiting for key " << m + 1);
    for (int b = 0; b < 3; ++b) {
      const uint8_t attr = b + 1 == focusWhileWaiting[m] ? 30 : 16;
      EXPECT_TRUE(CellsAre(watched->Moments[m], columns[b], 13, faces[b], attr)) << b + 1;
      EXPECT_TRUE(CellsAre(watched->Moments[m], columns[b] + 9, 13, "\xDC", 112)) << b + 1;
    }
  }
}

// Lines of 2 and 6 characters: the text column starts at 37, 6 wide.
TEST_F(DialogTest, LinesAreAlignedWithinTheTextColumn) {
  struct Case {
    uint8_t align;
    int shortLineColumn;  // 0: no line drawn
  };
  for (Case c : std::vector<Case>{{0, 39}, {1, 37}, {2, 41}, {3, 0}}) {
    SCOPED_TRACE(testing::Message() << "Align " << int{c.align});
    DialogBox dialog;
    DialogInit(dialog, KeySet{13, 27});
    dialog.Align = c.align;
    DialogAddLine(dialog, "ab");
    DialogAddLine(dialog, "abcdef");
    DialogAddButton(dialog, "Ok");
    Run(dialog, {Ch(13)});
    DialogDone(dialog);
    const Snapshot& s = watched->Moments.at(0);
    if (c.shortLineColumn == 0) {
      EXPECT_TRUE(CellsAre(s, 33, 10, std::string(14, ' '), 112));
      EXPECT_TRUE(CellsAre(s, 33, 11, std::string(14, ' '), 112));
    } else {
      EXPECT_TRUE(CellsAre(s, c.shortLineColumn - 1, 10, " ab ", 112));
      EXPECT_TRUE(CellsAre(s, 36, 11, " abcdef ", 112));
    }
  }
}

TEST_F(DialogTest, SfiModeLeavesTheCursorOnTheFocusedButton) {
  Program.SfiMode = true;
  DialogBox dialog;
  Confirmation(dialog);
  const std::vector<Key> keys = {Ch(9), Ext(77), Ext(75), Ch(13)};
  EXPECT_EQ(Run(dialog, keys), 'N');
  DialogDone(dialog);
  const int cursorColumns[] = {25, 48, 25, 48};
  ASSERT_EQ(watched->Moments.size(), keys.size());
  for (size_t m = 0; m < keys.size(); ++m) {
    EXPECT_EQ(watched->Moments[m].CursorColumn, cursorColumns[m]) << "waiting for key " << m + 1;
    EXPECT_EQ(watched->Moments[m].CursorRow, 14) << "waiting for key " << m + 1;
  }
  // The lines went through the text path: shown, but not in the buffer.
  EXPECT_TRUE(CellsAre(watched->Moments[0], 13, 11, kQuestion, 112));
  EXPECT_EQ(watched->Moments[0].Buffer[CellIndex(13, 11)], MakeCell(' ', 112));
}

TEST_F(DialogTest, ScreenIsExactlyAsBeforeAndCentringIsBack) {
  Watch(100, 30);
  DrawPattern();
  const std::vector<ScreenCell> before = Console.ScreenBuffer;
  DialogBox dialog;
  Confirmation(dialog);
  EXPECT_EQ(Run(dialog, {Ch(9), Ch(13)}), 'N');
  DialogDone(dialog);

  // While it ran: centred across, but not down (rows (30 - 10) / 2 = 10 to 19).
  const Snapshot& s = watched->Moments.at(0);
  EXPECT_TRUE(CellsAre(s, 18, 10, Cp(Frames.TopLeft), 112));
  EXPECT_TRUE(CellsAre(s, 81, 19, Cp(Frames.BottomRight), 112));
  EXPECT_TRUE(CellsAre(s, 35, 17, "  Yes  ", 30));

  EXPECT_EQ(Console.ScreenBuffer, before);
  for (int row = 1; row <= 30; ++row)
    for (int column = 1; column <= 100; ++column)
      ASSERT_EQ(console->Cell(column, row), before[CellIndex(column, row)]) << column << "," << row;
  EXPECT_EQ(SavedScreens.Depth, 0);
  EXPECT_TRUE(Geometry.CentreRows);
  EXPECT_TRUE(Geometry.CentreColumns);
}

TEST_F(DialogTest, SixteenLinesShowFifteen) {
  DialogBox dialog;
  DialogInit(dialog, KeySet{13, 27});
  for (int n = 1; n <= 16; ++n) DialogAddLine(dialog, "Line " + std::to_string(n));
  DialogAddButton(dialog, "Ok");
  EXPECT_EQ(dialog.LineCount, 15);
  EXPECT_EQ(Run(dialog, {Ch(13)}), 'O');
  DialogDone(dialog);
  // 15 + 6 rows: 2 to 22, the lines on rows 4 to 18, "Line 15" centred on 7.
  const Snapshot& s = watched->Moments.at(0);
  EXPECT_TRUE(CellsAre(s, 31, 2, Cp(Frames.TopLeft), 112));
  EXPECT_TRUE(CellsAre(s, 31, 22, Cp(Frames.BottomLeft), 112));
  EXPECT_TRUE(CellsAre(s, 36, 4, "Line 1 ", 112));
  EXPECT_TRUE(CellsAre(s, 36, 18, "Line 15", 112));
  EXPECT_TRUE(CellsAre(s, 32, 19, std::string(16, ' '), 112));
}

TEST_F(DialogTest, ASixthButtonIsDroppedWithItsHotkey) {
  DialogBox dialog;
  DialogInit(dialog, KeySet{13, 27});
  DialogAddLine(dialog, std::string(40, '-'));
  for (const char* caption : {"A", "B", "C", "D", "E", "F"}) DialogAddButton(dialog, caption);
  EXPECT_EQ(dialog.ButtonCount, 5);
  EXPECT_EQ(Run(dialog, {Ch('F'), Ch('e')}), 'E');
  DialogDone(dialog);
  // Five buttons 5 wide, each with its half-block shadow and a gap of 4,
  // from column 20 of row 13 on; nothing of the sixth.
  std::string row;
  for (char caption : std::string("ABCDE")) row += std::string("  ") + caption + "  \xDC   ";
  EXPECT_EQ(watched->Moments.at(0).Text(20, 13, 45), row);
}

TEST_F(DialogTest, WithoutButtonsTheBoxIsFourRowsTallerThanItsLines) {
  DialogBox dialog;
  DialogInit(dialog, KeySet{13, 27});
  for (const char* line : {"one", "two", "three"}) DialogAddLine(dialog, line);
  Run(dialog, {Ch(13)});
  DialogDone(dialog);
  // 3 + 4 rows: 9 to 15.
  const Snapshot& s = watched->Moments.at(0);
  EXPECT_TRUE(CellsAre(s, 32, 8, " ", 7));
  EXPECT_TRUE(CellsAre(s, 32, 9, Cp(Frames.TopLeft), 112));
  EXPECT_TRUE(CellsAre(s, 32, 15, Cp(Frames.BottomLeft), 112));
  EXPECT_TRUE(CellsAre(s, 37, 13, "three", 112));
  EXPECT_TRUE(CellsAre(s, 33, 14, std::string(14, ' '), 112));
}

TEST_F(DialogTest, LongLinesKeepTheBoxInsideTheScreen) {
  struct Case {
    int length;
    int left, right;  // the box
    int shown;        // characters of the line on the screen, from column 6
  };
  for (const Case& c : std::vector<Case>{{68, 1, 79, 68}, {69, 1, 80, 69}, {120, 1, 80, 70}}) {
    SCOPED_TRACE(c.length);
    std::string line;
    for (int i = 0; i < c.length; ++i) line += static_cast<char>('A' + i % 26);
    DialogBox dialog;
    DialogInit(dialog, KeySet{13, 27});
    DialogAddLine(dialog, line);
    DialogAddButton(dialog, "Ok");
    EXPECT_EQ(Run(dialog, {Ch(13)}), 'O');
    DialogDone(dialog);
    const Snapshot& s = watched->Moments.at(0);
    EXPECT_TRUE(CellsAre(s, c.left, 9, Cp(Frames.TopLeft), 112));
    EXPECT_TRUE(CellsAre(s, c.right, 9, Cp(Frames.TopRight), 112));
    EXPECT_TRUE(CellsAre(s, c.right, 11, Cp(Frames.Vertical), 112));
    EXPECT_TRUE(CellsAre(s, 6, 11, line.substr(0, static_cast<size_t>(c.shown)), 112));
    EXPECT_TRUE(CellsAre(s, 6 + c.shown, 11, std::string(c.right - 6 - c.shown, ' '), 112));
  }
}

TEST_F(DialogTest, ASmallConsoleNeverCrashes) {
  Watch(40, 10);
  DrawPattern();
  const std::vector<ScreenCell> before = Console.ScreenBuffer;
  for (auto [lines, sfi] : {std::pair{4, false}, std::pair{15, false}, std::pair{15, true}}) {
    SCOPED_TRACE(testing::Message() << lines << " lines, SfiMode " << sfi);
    Program.SfiMode = sfi;
    DialogBox dialog;
    DialogInit(dialog, KeySet{13, 27});
    for (int n = 0; n < lines; ++n) DialogAddLine(dialog, kQuestion);
    DialogAddButton(dialog, "Yes");
    DialogAddButton(dialog, "No");
    EXPECT_EQ(Run(dialog, {Ch(9), Ch(13)}), 'N');
    DialogDone(dialog);
    EXPECT_EQ(Console.ScreenBuffer, before);
  }
  EXPECT_EQ(Geometry.RowOffset, 0);
  EXPECT_EQ(Geometry.ColumnOffset, 0);
}

}  // namespace
