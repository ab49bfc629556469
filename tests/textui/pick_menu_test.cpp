#include "textui/pick_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen_watch.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/program_state.h"

namespace {

struct ItemText {
  std::string text, description;
};
const std::vector<ItemText> kItems = {
    {"Convert Magicfile names", "Convert the Magic filename configuration to 6.01 format"},
    {"Convert Hatch entries", "Convert the Hatch configuration to 6.01 format"},
    {"Convert File Manager entries", "Convert the File Manager configuration to 6.01 format"},
    {"Convert Group entries", "Convert the Groups configuration to 6.01 format"},
    {"Convert Node entries", "Convert the Node Manager configuration to 6.01 format"},
};
constexpr int kItemColumn = 26, kFirstItemRow = 11, kItemWidth = 28;

std::string Padded(const std::string& text) {
  return text + std::string(kItemWidth - text.size(), ' ');
}

class MenuTest : public WatchedUiTest {
 protected:
  // The conversion menu as the update sequence builds it, items added
  // through the virtual table.
  void Build(PickMenu& menu) {
    MenuInit(menu, 31, 11, 53, 19, "Convert -> " + TargetVersion);
    MenuWindow& window = menu;
    for (size_t k = 1; k <= kItems.size(); ++k)
      window.AddItem(2, 1 + static_cast<int>(k), kItems[k - 1].text, kItems[k - 1].description);
    MenuCentre(menu);
  }

  uint8_t Run(PickMenu& menu, uint8_t choice, const std::vector<Key>& keys) {
    Begin(keys);
    MenuRun(menu, choice);
    ExpectEachKeyReadOnce(keys);
    return choice;
  }

  // Which item carries the bar, 0 for none; fails on more than one.
  template <class Screen>
  int Bar(const Screen& screen) {
    int bar = 0;
    for (int n = 1; n <= 5; ++n) {
      const int row = kFirstItemRow + n - 1;
      EXPECT_EQ(screen.Text(kItemColumn, row, kItemWidth), Padded(kItems[n - 1].text)) << n;
      const uint8_t attr = screen.Attr(kItemColumn, row);
      EXPECT_TRUE(AttrsAre(screen, kItemColumn, row, kItemWidth, attr)) << n;
      if (attr == 113) {
        EXPECT_EQ(bar, 0) << "a second bar on item " << n;
        bar = n;
      } else {
        EXPECT_EQ(attr, 7) << n;
      }
    }
    return bar;
  }
};

TEST_F(MenuTest, ConversionMenuGeometry) {
  FillScreen(static_cast<char>(177), 7);
  PickMenu menu;
  Build(menu);
  MenuOpen(menu);
  const MemoryConsole& s = *console;

  // Box: columns 24-55, rows 9-17, the title on row 9 in columns 38-54.
  EXPECT_TRUE(CellsAre(s, 24, 9, Cp(Frames.TopLeft), 11));
  EXPECT_TRUE(CharsAre(s, 25, 9, 13, Frames.Horizontal));
  EXPECT_TRUE(AttrsAre(s, 25, 9, 13, 11));
  EXPECT_TRUE(CellsAre(s, 38, 9, " Convert -> 6.01 ", 30));
  EXPECT_TRUE(CellsAre(s, 55, 9, Cp(Frames.TopRight), 11));
  EXPECT_TRUE(CellsAre(s, 24, 17, Cp(Frames.BottomLeft), 11));
  EXPECT_TRUE(CharsAre(s, 25, 17, 30, Frames.Horizontal));
  EXPECT_TRUE(CellsAre(s, 55, 17, Cp(Frames.BottomRight), 11));
  for (int row = 10; row <= 16; ++row) {
    EXPECT_TRUE(CellsAre(s, 24, row, Cp(Frames.Vertical), 11)) << row;
    EXPECT_TRUE(CellsAre(s, 55, row, Cp(Frames.Vertical), 11)) << row;
  }
  EXPECT_TRUE(CellsAre(s, 25, 10, std::string(30, ' '), 11));
  EXPECT_TRUE(CellsAre(s, 25, 16, std::string(30, ' '), 11));

  // Items in column 26 on rows 11-15, 28 wide, a blank column each side.
  for (int n = 1; n <= 5; ++n) {
    const int row = kFirstItemRow + n - 1;
    EXPECT_TRUE(CellsAre(s, 25, row, " ", 11)) << n;
    EXPECT_TRUE(CellsAre(s, kItemColumn, row, Padded(kItems[n - 1].text), 7)) << n;
    EXPECT_TRUE(CellsAre(s, 54, row, " ", 11)) << n;
  }

  // Shadow: column 56 on rows 10-17, row 18 from column 26 to 56.
  EXPECT_TRUE(CellsAre(s, 56, 9, "\xB1", 7));
  for (int row = 10; row <= 17; ++row) EXPECT_TRUE(CellsAre(s, 56, row, "\xB1", ShadowAttr));
  EXPECT_TRUE(CellsAre(s, 25, 18, "\xB1", 7));
  EXPECT_TRUE(CellsAre(s, 26, 18, std::string(31, '\xB1'), ShadowAttr));
  EXPECT_TRUE(CellsAre(s, 57, 18, "\xB1", 7));

  EXPECT_EQ(Bar(s), 0) << "MenuOpen draws no bar";
  uint8_t choice = 1;
  choice = Run(menu, choice, {Ch(13)});
  EXPECT_EQ(choice, 1);
  EXPECT_EQ(Bar(watched->Moments.at(0)), 1);
  MenuClose(menu);
}

TEST_F(MenuTest, KeysAndChoices) {
  const Key enter = Ch(13), down = Ext(80), up = Ext(72);
  struct Case {
    const char* name;
    uint8_t start;
    std::vector<Key> keys;
    uint8_t choice;
    int barAtLastKey;
  };
  const std::vector<Case> cases = {
      {"Enter picks the item", 1, {enter}, 1, 1},
      {"Down moves on", 1, {down, enter}, 2, 2},
      {"Down on the last wraps to the first", 5, {down, enter}, 1, 1},
      {"Up on the first wraps to the last", 1, {up, enter}, 5, 5},
      {"Tab and Shift-Tab", 2, {Ch(9), Ch(9), Ext(15), enter}, 3, 3},
      {"Home", 4, {Ext(71), enter}, 1, 1},
      {"PgUp", 4, {Ext(73), enter}, 1, 1},
      {"End", 2, {Ext(79), enter}, 5, 5},
      {"PgDn", 2, {Ext(81), enter}, 5, 5},
      {"Left and Right stay in one column", 3, {Ext(75), Ext(77), enter}, 3, 3},
      {"= picks the item", 3, {Ch('=')}, 3, 3},
      {"F3 picks the item", 3, {down, Ext(61)}, 4, 4},
      {"Esc gives 0", 3, {down, Ch(27)}, 0, 4},
      {"an extended code 27 ends like Esc", 3, {Ext(27)}, 0, 3},
      {"letters do nothing", 2, {Ch('c'), Ch('C'), Ch('h'), enter}, 2, 2},
      {"F1 and Alt-Z are ignored", 2, {Ext(59), Ext(44), enter}, 2, 2},
      {"Choice 0 starts on the last", 0, {enter}, 5, 5},
      {"Choice above the count starts on the first", 9, {enter}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PickMenu menu;
    Build(menu);
    MenuOpen(menu);
    EXPECT_EQ(Run(menu, c.start, c.keys), c.choice);
    ASSERT_EQ(watched->Moments.size(), c.keys.size());
    EXPECT_EQ(Bar(watched->Moments.back()), c.barAtLastKey);
    EXPECT_EQ(Bar(*console), 0) << "the bar is gone when MenuRun returns";
    MenuClose(menu);
  }
}

TEST_F(MenuTest, DescriptionFollowsTheBarAndMenuCloseRestoresTheScreen) {
  DrawPattern();
  const std::vector<ScreenCell> before = Console.ScreenBuffer;
  PickMenu menu;
  Build(menu);
  MenuOpen(menu);
  const std::vector<Key> keys = {Ext(80), Ext(80), Ext(72), Ext(79), Ext(71), Ch(13)};
  EXPECT_EQ(Run(menu, 1, keys), 1);
  const std::vector<int> barWhileWaiting = {1, 2, 3, 2, 5, 1};
  ASSERT_EQ(watched->Moments.size(), keys.size());
  for (size_t m = 0; m < keys.size(); ++m) {
    SCOPED_TRACE(testing::Message() << "waiting for key " << m + 1);
    const Snapshot& s = watched->Moments[m];
    const int n = barWhileWaiting[m];
    EXPECT_EQ(Bar(s), n);
    const std::string& description = kItems[static_cast<size_t>(n - 1)].description;
    EXPECT_TRUE(CellsAre(s, 1, 25, description + std::string(80 - description.size(), ' '), 7));
  }
  const std::string& last = kItems[0].description;
  EXPECT_EQ(console->Text(1, 25, static_cast<int>(last.size())), last)
      << "the description stays after MenuRun";

  MenuClose(menu);
  EXPECT_EQ(Console.ScreenBuffer, before);
  for (int row = 1; row <= 25; ++row)
    for (int column = 1; column <= 80; ++column)
      ASSERT_EQ(console->Cell(column, row), before[CellIndex(column, row)]) << column << "," << row;
  EXPECT_EQ(SavedScreens.Depth, 0);
}

TEST_F(MenuTest, InactiveMenuHasIdleFrameNoTitleAndNoBar) {
  PickMenu menu;
  Build(menu);
  MenuOpen(menu);
  uint8_t choice = Run(menu, 1, {Ext(80), Ch(13)});
  EXPECT_EQ(choice, 2);

  MenuDeactivate(menu);
  EXPECT_TRUE(CellsAre(*console, 24, 9, Cp(Frames.TopLeft), 1));
  EXPECT_TRUE(CharsAre(*console, 25, 9, 30, Frames.Horizontal));
  EXPECT_TRUE(AttrsAre(*console, 25, 9, 30, 1));
  EXPECT_TRUE(CellsAre(*console, 55, 9, Cp(Frames.TopRight), 1));
  EXPECT_TRUE(CellsAre(*console, 24, 12, Cp(Frames.Vertical), 1));
  EXPECT_TRUE(CellsAre(*console, 55, 17, Cp(Frames.BottomRight), 1));
  EXPECT_EQ(Bar(*console), 0);

  MenuActivate(menu);
  EXPECT_TRUE(CellsAre(*console, 24, 9, Cp(Frames.TopLeft), 11));
  EXPECT_TRUE(CellsAre(*console, 38, 9, " Convert -> 6.01 ", 30));
  EXPECT_TRUE(CellsAre(*console, 55, 17, Cp(Frames.BottomRight), 11));
  EXPECT_EQ(Bar(*console), 0) << "the bar comes back only with the next run";

  choice = Run(menu, choice, {Ch(13)});
  EXPECT_EQ(choice, 2);
  EXPECT_EQ(Bar(watched->Moments.at(0)), 2);
  MenuClose(menu);
}

TEST_F(MenuTest, ASmallConsoleNeverCrashes) {
  Watch(40, 10);
  DrawPattern();
  const std::vector<ScreenCell> before = Console.ScreenBuffer;
  for (bool sfi : {false, true}) {
    SCOPED_TRACE(testing::Message() << "SfiMode " << sfi);
    Program.SfiMode = sfi;
    PickMenu menu;
    Build(menu);
    MenuOpen(menu);
    EXPECT_EQ(Run(menu, 1, {Ext(80), Ext(79), Ch(13)}), 5);
    MenuDeactivate(menu);
    MenuActivate(menu);
    MenuClose(menu);
    EXPECT_EQ(Console.ScreenBuffer, before);
  }
}

}  // namespace
