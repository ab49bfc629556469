// The title screen in a real terminal, and what the program leaves on it.

#include <gtest/gtest.h>

#include "tmux_harness.h"
#include "update/entry.h"

namespace {

const std::string kTitle = " UPDATE TIRVEN version 4.33 to version 6.01";

// Rows 1 to 4: the frame in 113, the two texts in 112.
::testing::AssertionResult TitleBarShown(const ScreenCells& screen) {
  const int w = screen.Columns;
  const std::string notice = std::string(" ") + kNoticeText;
  const int titleEnd = 3 + static_cast<int>(kTitle.size());
  const int noticeEnd = 3 + static_cast<int>(notice.size());
  return AllPass({
      CellsAre(screen, 1, 1, "╒" + Repeat("═", w - 2) + "╕", 113),
      CellsAre(screen, 1, 2, "│ ", 113),
      CellsAre(screen, 3, 2, kTitle, 112),
      CellsAre(screen, titleEnd, 2, Repeat(" ", w - titleEnd) + "│", 113),
      CellsAre(screen, 1, 3, "│ ", 113),
      CellsAre(screen, 3, 3, notice, 112),
      CellsAre(screen, noticeEnd, 3, Repeat(" ", w - noticeEnd) + "│", 113),
      CellsAre(screen, 1, 4, "╘" + Repeat("═", w - 2) + "╛", 113),
  });
}

class TitleScreenTest : public ::testing::TestWithParam<ConsoleSize> {};

TEST_P(TitleScreenTest, DrawsTheTitleScreenAndLeavesOnlyTheTitleBarAtTheEnd) {
  const auto [w, h] = GetParam();
  ScratchDir scratch;
  TerminalSession session(SessionOptions(TIRVEN_EXE).Size(GetParam()).In(scratch.Path()));
  ASSERT_TRUE(session.WaitForText("Welcome to the TIRVEN update utility"));

  EXPECT_TRUE(session.WaitForCells([w, h](const ScreenCells& screen) {
    // The background shows above and below the dialog, which is centred.
    return AllPass({TitleBarShown(screen), CellsAre(screen, 1, 5, Repeat("▒", w), 7),
                    CellsAre(screen, 1, h - 2, Repeat("▒", w), 7),
                    CellsAre(screen, 1, h - 1, Repeat("═", w), 1),
                    CellsAre(screen, 1, h, Repeat(" ", w), 1)});
  }));
  EXPECT_FALSE(session.Cursor().Visible);
  // Raw while it runs, so that putting the settings back below means something.
  const std::string during = session.SttyNow();
  EXPECT_TRUE(SttyHas(during, "-icanon") && SttyHas(during, "-echo")) << during;
  EXPECT_TRUE(SttyHas(session.SttyBefore(), "icanon") && SttyHas(session.SttyBefore(), "echo"));

  session.SendKeys({"Escape"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 0);

  EXPECT_TRUE(session.WaitForCells([w, h](const ScreenCells& screen) {
    ::testing::AssertionResult shown = TitleBarShown(screen);
    for (int row = 5; row <= h && shown; ++row) shown = CellsAre(screen, 1, row, Repeat(" ", w), 7);
    return shown;
  }));
  EXPECT_TRUE(session.WaitForCursor(1, 5, true));
  // Echo, canonical mode and every other setting as the shell had them.
  EXPECT_EQ(session.SttyAfter(), session.SttyBefore());
}

INSTANTIATE_TEST_SUITE_P(Sizes, TitleScreenTest,
                         ::testing::Values(ConsoleSize{80, 25}, ConsoleSize{100, 30}), SizeName);

}  // namespace
