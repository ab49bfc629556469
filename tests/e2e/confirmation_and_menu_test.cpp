// The confirmation question and the pick menu, interactive mode at 80 x 25.

#include <gtest/gtest.h>

#include <memory>

#include "tmux_harness.h"
#include "update/conversion.h"

namespace {

// A demo configuration and the program on it, waiting at the confirmation.
class InteractiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config = scratch.Subdir("cfg");
    ASSERT_TRUE(MakeDemoConfig(config));
    before = Snapshot(config);
    session = std::make_unique<TerminalSession>(
        SessionOptions(TIRVEN_EXE).In(scratch.Path()).Env("TIRVEN", config));
    ASSERT_TRUE(session->WaitForText("Welcome to the TIRVEN update utility"));
  }

  ::testing::AssertionResult BottomRowIs(const std::string& text) {
    return session->WaitUntil(
        [&](const std::vector<std::string>& screen) { return TrimRight(screen[24]) == text; },
        "\"" + text + "\" on the bottom row");
  }
  ::testing::AssertionResult Gone(const std::string& text) {
    return session->WaitUntil(
        [&](const std::vector<std::string>& screen) {
          for (const std::string& row : screen) {
            if (row.find(text) != std::string::npos) return false;
          }
          return true;
        },
        "\"" + text + "\" to go");
  }
  void ExpectCleanExit() {
    const std::optional<int> rc = session->WaitForExit();
    ASSERT_TRUE(rc.has_value()) << "still running:\n" << session->Dump();
    EXPECT_EQ(*rc, 0);
  }

  ScratchDir scratch;
  std::string config;
  DirSnapshot before;
  std::unique_ptr<TerminalSession> session;
};

struct DeclineCase {
  const char* name;
  std::vector<std::string> keys;
};
void PrintTo(const DeclineCase& c, std::ostream* out) {
  *out << c.name;
}

class DeclineTest : public InteractiveTest, public ::testing::WithParamInterface<DeclineCase> {};

TEST_P(DeclineTest, EndsWithNothingTouchedAndNoClosingDialog) {
  session->SendKeys(GetParam().keys);
  // A closing dialog would wait for a key, and the program would not end.
  ExpectCleanExit();
  EXPECT_TRUE(SameFiles(Snapshot(config), before));
}

INSTANTIATE_TEST_SUITE_P(Answers, DeclineTest,
                         ::testing::Values(DeclineCase{"NoButton", {"Right", "Enter"}},
                                           DeclineCase{"TabToNo", {"Tab", "Enter"}},
                                           DeclineCase{"Escape", {"Escape"}},
                                           DeclineCase{"N", {"N"}},
                                           DeclineCase{"LowerCaseN", {"n"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InteractiveTest, ShiftF6AnswersYes) {
  session->SendKeys({"S-F6"});
  ASSERT_TRUE(session->WaitForText("Convert -> 6.01"));
  // Nothing converted: Esc in the menu ends without the closing dialog.
  session->SendKeys({"Escape"});
  ExpectCleanExit();
  EXPECT_TRUE(SameFiles(Snapshot(config), before));
}

TEST_F(InteractiveTest, MenuListsTheFilesInOrderWithTheirDescriptions) {
  session->SendKeys({"Enter"});
  ASSERT_TRUE(session->WaitForText("Convert -> 6.01"));
  const struct {
    const char* text;
    const char* description;
  } items[] = {
      {"Convert Magicfile names", "Convert the Magic filename configuration to 6.01 format"},
      {"Convert Hatch entries", "Convert the Hatch configuration to 6.01 format"},
      {"Convert File Manager entries", "Convert the File Manager configuration to 6.01 format"},
      {"Convert Group entries", "Convert the Groups configuration to 6.01 format"},
      {"Convert Node entries", "Convert the Node Manager configuration to 6.01 format"},
  };
  // On 80 x 25 the items stand in column 26, rows 11 to 15, 28 cells wide:
  // the bar in 113, the others in 7.
  auto itemCells = [](const char* text) {
    return std::string(text) + Repeat(" ", 28 - static_cast<int>(std::string(text).size()));
  };
  for (int k = 0; k < 5; ++k) {
    ASSERT_TRUE(BottomRowIs(items[k].description)) << "item " << k + 1;
    EXPECT_TRUE(session->WaitForCells([&](const ScreenCells& screen) {
      ::testing::AssertionResult drawn = ::testing::AssertionSuccess();
      for (int j = 0; j < 5 && drawn; ++j) {
        drawn = CellsAre(screen, 26, 11 + j, itemCells(items[j].text), j == k ? 113 : 7);
      }
      return drawn;
    })) << "bar on item "
        << k + 1;
    session->SendKeys({"Down"});
  }
  // Down on the last item wraps to the first, Up on the first to the last.
  ASSERT_TRUE(BottomRowIs(items[0].description));
  session->SendKeys({"Up"});
  ASSERT_TRUE(BottomRowIs(items[4].description));
  session->SendKeys({"Escape"});
  ExpectCleanExit();
  EXPECT_TRUE(SameFiles(Snapshot(config), before));
}

TEST_F(InteractiveTest, F3PicksAndASecondPickFindsTheFileUpdated) {
  session->SendKeys({"Enter"});
  ASSERT_TRUE(BottomRowIs("Convert the Magic filename configuration to 6.01 format"));
  session->SendKeys({"F3"});
  ASSERT_TRUE(session->WaitForText("Update procedure completed"));
  EXPECT_EQ(TrimRight(session->Row(25)), "Converting MGICFILE.TVN, please wait");
  session->SendKeys({"Enter"});
  ASSERT_TRUE(Gone("Update procedure completed"));

  // The menu starts again from the item just chosen.
  session->SendKeys({"Enter"});
  ASSERT_TRUE(session->WaitForText("has already been updated or does not need to be updated."));
  // The file is named as ConfigDir spells it: upper case, a backslash added.
  std::string shown = config + "\\MGICFILE.TVN";
  for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (shown.size() <= 70) {
    EXPECT_TRUE(session->WaitForText(shown, 0ms));
  }
  session->SendKeys({"Escape"});
  ASSERT_TRUE(Gone("has already been updated"));
  session->SendKeys({"Escape"});
  ASSERT_TRUE(
      session->WaitForText("Please finish the updating procedure with the following steps"));
  session->SendKeys({"Enter"});
  ExpectCleanExit();

  // Converted once, one backup.
  DirSnapshot expected = before;
  expected["MGICFILE.TVN"] = ExpectedConversion(SpecFor("MGICFILE.TVN"), before.at("MGICFILE.TVN"));
  expected["MGICFILE.BAK"] = before.at("MGICFILE.TVN");
  EXPECT_TRUE(SameFiles(Snapshot(config), expected));
}

}  // namespace
