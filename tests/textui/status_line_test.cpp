#include "textui/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen_watch.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/draw.h"

namespace {

using StatusLineTest = UiTest;

// On a centred 100 x 30 console the message still fills the real bottom row.
TEST_F(StatusLineTest, TildesToggleTheAttributeAndTheRestOfTheRowIsBlanked) {
  struct Run {
    int count;
    uint8_t attr;
  };
  struct Case {
    const char* name;
    std::string text;
    std::string shown;  // the start of row 30; the rest of it is blank
    std::vector<Run> attrs;
  };
  const std::vector<Case> cases = {
      {"two tildes", "~Esc~ Quit", "Esc Quit", {{3, 14}, {97, 7}}},
      {"one tilde", "A~B", "AB", {{1, 7}, {99, 14}}},
      {"three tildes", "~a~b~c", "abc", {{1, 14}, {1, 7}, {98, 14}}},
      {"empty", "", "", {{100, 7}}},
      {"longer than the row",
       std::string(99, 'x') + "~yz~",
       std::string(99, 'x') + "y",
       {{99, 7}, {1, 14}}},
  };
  UseConsole(100, 30);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DrawPattern();
    const std::string row29 = console->RowText(29);
    ShowStatus(c.text, 7, 14);
    EXPECT_EQ(console->RowText(30), c.shown + std::string(100 - c.shown.size(), ' '));
    int column = 1;
    for (const Run& run : c.attrs) {
      EXPECT_TRUE(AttrsAre(*console, column, 30, run.count, run.attr));
      column += run.count;
    }
    EXPECT_EQ(console->RowText(29), row29) << "nothing runs on or lands elsewhere";
    EXPECT_TRUE(Geometry.CentreRows);
    EXPECT_TRUE(Geometry.CentreColumns);
  }
}

}  // namespace
