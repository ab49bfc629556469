// Batch mode: one confirmation, every file in batch order, one outcome
// dialog each, then the closing instructions.

#include <gtest/gtest.h>

#include "tmux_harness.h"
#include "update/conversion.h"

namespace {

TEST(BatchModeTest, ConvertsEveryFileInBatchOrder) {
  ScratchDir scratch;
  const std::string config = scratch.Subdir("cfg");
  ASSERT_TRUE(MakeDemoConfig(config));
  const DirSnapshot before = Snapshot(config);

  TerminalSession session(
      SessionOptions(TIRVEN_EXE).In(scratch.Path()).Args({"/FORCE", config + "/"}));
  ASSERT_TRUE(session.WaitForText("Do you want to update the TIRVEN version 4.33/5.x/6.x"));
  // Neither a welcome nor a title bar in batch mode.
  EXPECT_FALSE(session.WaitForText("Welcome", 0ms));
  EXPECT_EQ(TrimRight(session.Row(1)), "");
  session.SendKeys({"Y"});

  struct Step {
    const char* status;
    const char* answer;  // any answer goes on to the next file
  };
  const Step steps[] = {
      {"Converting HATCH.TVN, please wait", "Enter"},
      {"Converting MGICFILE.TVN, please wait", "Escape"},
      {"Converting fareas.tvn, please wait", "O"},
      {"Converting grpfile.tvn, please wait", "Escape"},
      {"Converting nodefile.tvn, please wait", "Enter"},
  };
  std::string previous;
  for (const Step& step : steps) {
    // The next outcome dialog: one over a status line other than the last.
    ASSERT_TRUE(session.WaitUntil(
        [&](const std::vector<std::string>& screen) {
          bool dialog = false;
          for (const std::string& row : screen) {
            dialog = dialog || row.find("Update procedure completed") != std::string::npos;
          }
          return dialog && TrimRight(screen.back()) != previous;
        },
        std::string("the outcome dialog after ") + (previous.empty() ? "the start" : previous)));
    EXPECT_EQ(TrimRight(session.Row(25)), step.status) << session.Dump();
    previous = TrimRight(session.Row(25));
    session.SendKeys({step.answer});
  }
  ASSERT_TRUE(session.WaitForText("Please finish the updating procedure with the following steps"));
  session.SendKeys({"Enter"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 0);

  DirSnapshot expected = before;
  for (const ConversionSpec& spec : ConversionSpecs()) {
    expected[spec.FileName] = ExpectedConversion(spec, before.at(spec.FileName));
    expected[spec.BackupName] = before.at(spec.FileName);
  }
  EXPECT_EQ(expected.size(), 2 * before.size());
  EXPECT_TRUE(SameFiles(Snapshot(config), expected));
}

}  // namespace
