// One conversion from the menu, interactive mode, from the first key to the
// files on disk.

#include <gtest/gtest.h>

#include "tmux_harness.h"
#include "update/conversion.h"

namespace {

class ConversionRoadTest : public ::testing::TestWithParam<ConsoleSize> {};

TEST_P(ConversionRoadTest, ConvertsTheHatchFileFromTheMenu) {
  const int h = GetParam().Rows;
  ScratchDir scratch;
  // In lower case and without a trailing separator: the program upper-cases
  // it, adds a backslash and must still find the directory.
  const std::string config = scratch.Subdir("cfg");
  ASSERT_TRUE(MakeDemoConfig(config));
  const DirSnapshot before = Snapshot(config);

  TerminalSession session(
      SessionOptions(TIRVEN_EXE).Size(GetParam()).In(scratch.Path()).Env("TIRVEN", config));
  ASSERT_TRUE(session.WaitForText("Welcome to the TIRVEN update utility"));
  session.SendKeys({"Enter"});
  ASSERT_TRUE(session.WaitForText("Convert -> 6.01"));
  session.SendKeys({"Down"});
  ASSERT_TRUE(session.WaitUntil(
      [&](const std::vector<std::string>& screen) {
        return TrimRight(screen[h - 1]) == "Convert the Hatch configuration to 6.01 format";
      },
      "the hatch item's description"));
  session.SendKeys({"Enter"});
  ASSERT_TRUE(session.WaitForText("Update procedure completed"));
  // The status line stays under the outcome dialog.
  const std::string status = "Converting HATCH.TVN, please wait";
  EXPECT_TRUE(session.WaitForCells([&](const ScreenCells& screen) {
    return CellsAre(screen, 1, h,
                    status + Repeat(" ", screen.Columns - static_cast<int>(status.size())), 7);
  }));
  EXPECT_TRUE(session.WaitForText("Please run TSETUP Index to complete"));

  session.SendKeys({"Enter"});
  ASSERT_TRUE(session.WaitUntil(
      [](const std::vector<std::string>& screen) {
        for (const std::string& row : screen) {
          if (row.find("Update procedure completed") != std::string::npos) return false;
        }
        return true;
      },
      "the outcome dialog to close"));
  session.SendKeys({"Escape"});
  ASSERT_TRUE(session.WaitForText("Please finish the updating procedure with the following steps"));
  EXPECT_TRUE(session.WaitForText("  Run KORBA"));
  EXPECT_TRUE(session.WaitForText("  Run TSETUP Index"));
  session.SendKeys({"Enter"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 0);
  EXPECT_NE(session.Row(2).find(" UPDATE TIRVEN version 4.33 to version 6.01"), std::string::npos)
      << session.Dump();

  // The hatch file converted record for record, the old one kept as the
  // backup, and nothing else in the directory changed or added.
  DirSnapshot expected = before;
  expected["hatch.tvn"] = ExpectedConversion(SpecFor("hatch.tvn"), before.at("hatch.tvn"));
  expected["hatch.bak"] = before.at("hatch.tvn");
  EXPECT_TRUE(SameFiles(Snapshot(config), expected));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ConversionRoadTest,
                         ::testing::Values(ConsoleSize{80, 25}, ConsoleSize{100, 30}), SizeName);

}  // namespace
