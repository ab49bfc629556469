// The Windows build under Wine in a real terminal: the same screens, keys,
// files and exit codes as the POSIX build. Where Wine cannot start or the
// Windows build is absent, every test here is skipped with the reason.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tmux_harness.h"
#include "update/conversion.h"

namespace {

namespace fs = std::filesystem;

const std::string kWindowsExe = TIRVEN_WIN_EXE;

// Why the Windows build cannot be run here; empty when it can.
const std::string& WhyNoWine() {
  static const std::string reason = []() -> std::string {
    if (!fs::exists(kWindowsExe)) return "no Windows build at " + kWindowsExe + " (make windows)";
    setenv("WINEDEBUG", "-all", 0);
    // The first start of Wine makes its prefix, which takes a while.
    std::string output;
    const int status =
        RunCommand({"timeout", "300", "wine", "cmd", "/c", "echo", "wine-ready"}, &output, true);
    if (status == 0 && output.find("wine-ready") != std::string::npos) return {};
    return "wine cannot start (status " + std::to_string(status) +
           "): " + output.substr(0, output.find('\n'));
  }();
  return reason;
}

SessionOptions UnderWine(std::vector<std::string> arguments = {}) {
  arguments.insert(arguments.begin(), kWindowsExe);
  return SessionOptions("wine").Args(std::move(arguments)).Env("WINEDEBUG", "-all");
}

// The specs in the order batch mode converts them.
std::vector<const ConversionSpec*> BatchOrder() {
  std::vector<const ConversionSpec*> specs;
  for (const ConversionSpec& spec : ConversionSpecs()) specs.push_back(&spec);
  std::stable_sort(specs.begin(), specs.end(), [](const auto* a, const auto* b) {
    return a->BatchPosition < b->BatchPosition;
  });
  return specs;
}

::testing::AssertionResult LastRowIs(TerminalSession& session, const std::string& text) {
  return session.WaitUntil(
      [&](const std::vector<std::string>& screen) { return TrimRight(screen.back()) == text; },
      "\"" + text + "\" on the last row");
}

::testing::AssertionResult Gone(TerminalSession& session, const std::string& text) {
  return session.WaitUntil(
      [&](const std::vector<std::string>& screen) {
        return std::none_of(screen.begin(), screen.end(), [&](const std::string& row) {
          return row.find(text) != std::string::npos;
        });
      },
      "\"" + text + "\" to go");
}

// CellsAre, but for Wine's console, which shows its default attribute, 7,
// in the terminal's default colours.
::testing::AssertionResult WineCellsAre(const ScreenCells& screen, int column, int row,
                                        const std::string& glyphs, uint8_t attribute) {
  if (attribute != 7) return CellsAre(screen, column, row, glyphs, attribute);
  const int width = static_cast<int>(std::count_if(glyphs.begin(), glyphs.end(), [](char c) {
    return (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  }));
  if (row < 1 || row > screen.Rows || column < 1 || column + width - 1 > screen.Columns)
    return ::testing::AssertionFailure() << "cells outside the screen at row " << row;
  if (screen.TextAt(column, row, width) != glyphs)
    return ::testing::AssertionFailure()
           << "row " << row << " reads \"" << screen.TextAt(1, row, screen.Columns) << "\"";
  for (int at = column; at < column + width; ++at) {
    const TerminalCell& cell = screen.At(at, row);
    if (cell.Fg != 39 || cell.Bg != 49)
      return ::testing::AssertionFailure() << "column " << at << ", row " << row << ": fg "
                                           << cell.Fg << " bg " << cell.Bg << ", expected 39/49";
  }
  return ::testing::AssertionSuccess();
}

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WhyNoWine().empty()) GTEST_SKIP() << WhyNoWine();
  }
};

class WineSizeTest : public ::testing::TestWithParam<ConsoleSize> {
 protected:
  void SetUp() override {
    if (!WhyNoWine().empty()) GTEST_SKIP() << WhyNoWine();
  }
};

TEST_P(WineSizeTest, TitleScreenFillsTheConsoleAndOnlyTheTitleBarStays) {
  const auto [w, h] = GetParam();
  ScratchDir scratch;
  TerminalSession session(UnderWine().Size(GetParam()).In(scratch.Path()));
  ASSERT_TRUE(session.WaitForText("Welcome to the TIRVEN update utility"));

  ScreenCells screen = session.ScreenWithColours();
  EXPECT_TRUE(CellsAre(screen, 1, 1, "╒" + Repeat("═", w - 2) + "╕", 113));
  EXPECT_TRUE(CellsAre(screen, 3, 2, " UPDATE TIRVEN version 4.33 to version 6.01", 112));
  EXPECT_TRUE(CellsAre(screen, 1, 4, "╘" + Repeat("═", w - 2) + "╛", 113));
  EXPECT_TRUE(WineCellsAre(screen, 1, 5, Repeat("▒", w), 7));
  EXPECT_TRUE(CellsAre(screen, 1, h - 1, Repeat("═", w), 1));
  EXPECT_TRUE(CellsAre(screen, 1, h, Repeat(" ", w), 1));
  EXPECT_FALSE(session.Cursor().Visible);

  session.SendKeys({"Escape"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 0);
  screen = session.ScreenWithColours();
  EXPECT_TRUE(CellsAre(screen, 1, 1, "╒" + Repeat("═", w - 2) + "╕", 113));
  EXPECT_TRUE(CellsAre(screen, 1, 4, "╘" + Repeat("═", w - 2) + "╛", 113));
  for (int row = 5; row <= h; ++row) EXPECT_TRUE(WineCellsAre(screen, 1, row, Repeat(" ", w), 7));
  const CursorState cursor = session.Cursor();
  EXPECT_EQ(cursor.Column, 1);
  EXPECT_EQ(cursor.Row, 5);
  EXPECT_TRUE(cursor.Visible);
  EXPECT_EQ(session.SttyAfter(), session.SttyBefore());
}

INSTANTIATE_TEST_SUITE_P(Sizes, WineSizeTest,
                         ::testing::Values(ConsoleSize{80, 25}, ConsoleSize{100, 30}), SizeName);

TEST_F(WineTest, ConfirmationDialogAnswersToItsKeys) {
  struct Case {
    std::vector<std::string> Keys;
    bool OpensMenu;
  };
  const Case cases[] = {
      {{"Enter"}, true},
      {{"y"}, true},
      {{"N"}, false},
      {{"Escape"}, false},
      {{"Tab", "Enter"}, false},
      {{"Right", "Left", "Enter"}, true},
      {{"BTab", "Enter"}, false},      // Shift-Tab: back from Yes round to No
      {{"F1", "M-z", "Enter"}, true},  // F1 and Alt-Z are read and ignored
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& key : c.Keys) name += key + " ";
    SCOPED_TRACE(name);
    ScratchDir scratch;
    const std::string config = scratch.Subdir("cfg");
    ASSERT_TRUE(MakeDemoConfig(config));
    const DirSnapshot before = Snapshot(config);
    TerminalSession session(UnderWine().In(scratch.Path()).Env("TIRVEN", config));
    ASSERT_TRUE(session.WaitForText("Welcome to the TIRVEN update utility"));
    session.SendKeys(c.Keys);
    if (c.OpensMenu) {
      ASSERT_TRUE(session.WaitForText("Convert -> 6.01"));
      session.SendKeys({"Escape"});
    }
    const std::optional<int> rc = session.WaitForExit();
    ASSERT_TRUE(rc.has_value()) << session.Dump();
    EXPECT_EQ(*rc, 0);
    if (!c.OpensMenu) {
      for (const std::string& row : session.Screen())
        EXPECT_EQ(row.find("Convert -> 6.01"), std::string::npos) << session.Dump();
    }
    EXPECT_TRUE(SameFiles(Snapshot(config), before));
  }
}

// Answers the confirmation and every outcome dialog of a batch run.
void RunBatch(TerminalSession& session) {
  ASSERT_TRUE(session.WaitForText("configuration files to version 6.01 format ?"));
  session.SendKeys({"Enter"});
  for (const ConversionSpec* spec : BatchOrder()) {
    SCOPED_TRACE(spec->FileName);
    // Each file's outcome dialog is the same: the status line tells them apart.
    ASSERT_TRUE(LastRowIs(session, spec->StatusText));
    ASSERT_TRUE(session.WaitForText("Update procedure completed"));
    session.SendKeys({"Enter"});
  }
  ASSERT_TRUE(session.WaitForText("Please finish the updating procedure with the following steps"));
  session.SendKeys({"Enter"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 0);
}

TEST_F(WineTest, BatchModeWritesWhatThePosixBuildWrites) {
  ScratchDir scratch;
  const std::string windowsDir = scratch.Subdir("win");
  const std::string posixDir = scratch.Subdir("posix");
  ASSERT_TRUE(MakeDemoConfig(windowsDir));
  ASSERT_TRUE(MakeDemoConfig(posixDir));
  const DirSnapshot before = Snapshot(windowsDir);
  ASSERT_TRUE(SameFiles(Snapshot(posixDir), before));
  ASSERT_EQ(BatchOrder().size(), 5u);

  {
    SCOPED_TRACE("the Windows build");
    TerminalSession session(UnderWine({"/FORCE", windowsDir + "/"}).In(scratch.Path()));
    RunBatch(session);
  }
  {
    SCOPED_TRACE("the POSIX build");
    TerminalSession session(
        SessionOptions(TIRVEN_EXE).Args({"/FORCE", posixDir + "/"}).In(scratch.Path()));
    RunBatch(session);
  }

  const DirSnapshot windows = Snapshot(windowsDir);
  EXPECT_TRUE(SameFiles(windows, Snapshot(posixDir)));
  // And both are the conversion itself: every file converted, every old
  // file kept under its backup name.
  DirSnapshot expected = before;
  for (const ConversionSpec* spec : BatchOrder()) {
    expected[spec->FileName] = ExpectedConversion(*spec, before.at(spec->FileName));
    expected[spec->BackupName] = before.at(spec->FileName);
  }
  EXPECT_TRUE(SameFiles(windows, expected));
}

TEST_F(WineTest, MenuRoadWithFunctionKeys) {
  ScratchDir scratch;
  const std::string config = scratch.Subdir("cfg");
  ASSERT_TRUE(MakeDemoConfig(config));
  const DirSnapshot before = Snapshot(config);
  const ConversionSpec& hatch = SpecFor("hatch.tvn");

  TerminalSession session(UnderWine().In(scratch.Path()).Env("TIRVEN", config));
  ASSERT_TRUE(session.WaitForText("Welcome to the TIRVEN update utility"));
  session.SendKeys({"Enter"});
  ASSERT_TRUE(session.WaitForText("Convert -> 6.01"));
  ASSERT_TRUE(LastRowIs(session, SpecFor("MGICFILE.TVN").MenuDescription));
  // Keys the menu reads and ignores, then down two items and back up one
  // with Shift-Tab: the hatch item.
  session.SendKeys({"F1", "M-z", "S-F6", "F7", "Down", "Down", "BTab"});
  ASSERT_TRUE(LastRowIs(session, hatch.MenuDescription));
  ASSERT_TRUE(session.WaitForText("Convert -> 6.01")) << "the menu is still open";

  // F3 ends the menu like Enter.
  session.SendKeys({"F3"});
  ASSERT_TRUE(session.WaitForText("Update procedure completed"));
  EXPECT_TRUE(LastRowIs(session, hatch.StatusText));
  session.SendKeys({"Enter"});
  ASSERT_TRUE(Gone(session, "Update procedure completed"));
  ASSERT_TRUE(LastRowIs(session, hatch.MenuDescription));
  session.SendKeys({"Escape"});
  ASSERT_TRUE(session.WaitForText("Please finish the updating procedure with the following steps"));
  session.SendKeys({"Enter"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 0);

  DirSnapshot expected = before;
  expected[hatch.FileName] = ExpectedConversion(hatch, before.at(hatch.FileName));
  expected[hatch.BackupName] = before.at(hatch.FileName);
  EXPECT_TRUE(SameFiles(Snapshot(config), expected));
}

TEST_F(WineTest, ReadOnlyConfigurationFileIsAFatalError) {
  ScratchDir scratch;
  const std::string config = scratch.Subdir("cfg");
  ASSERT_TRUE(MakeDemoConfig(config));
  // The first file batch mode converts; Wine shows a file without write
  // permission as read-only, and Windows writes no read-only file.
  const ConversionSpec& first = *BatchOrder().front();
  const std::string readOnly = config + "/" + first.FileName;
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  const DirSnapshot before = Snapshot(config);

  TerminalSession session(UnderWine({"/FORCE", config + "/"}).In(scratch.Path()));
  ASSERT_TRUE(session.WaitForText("configuration files to version 6.01 format ?"));
  session.SendKeys({"Enter"});
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 254);

  const std::vector<std::string> screen = session.Screen();
  const auto report = std::find_if(screen.begin(), screen.end(), [](const std::string& row) {
    return TrimRight(row) == "File access denied, program aborted.";
  });
  ASSERT_NE(report, screen.end()) << session.Dump();
  ASSERT_NE(report + 1, screen.end());
  EXPECT_TRUE(std::regex_match(TrimRight(*(report + 1)),
                               std::regex("Error address : [0-9A-F]{4}:[0-9A-F]{4}")))
      << session.Dump();

  // Nothing made for the conversion is left, and the file is as it was.
  EXPECT_TRUE(SameFiles(Snapshot(config), before));
  struct stat st {};
  ASSERT_EQ(stat(readOnly.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
}

}  // namespace
