#include "update/entry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/program_state.h"

namespace {

TEST(UpperStr, UpperCasesOnlyTheLettersAToZ) {
  struct Case {
    std::string text, upper;
  };
  const Case cases[] = {
      {"", ""},
      {"c:\\cfg\\", "C:\\CFG\\"},
      {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"MiXeD 123", "MIXED 123"},
      {"@`[{]}^~", "@`[{]}^~"},  // bytes next to the letters stay
      {"\xE4\x84", "\xE4\x84"},  // no change beyond ASCII
  };
  for (const Case& c : cases) EXPECT_EQ(UpperStr(c.text), c.upper) << c.text;
}

TEST(AddBackslash, AppendsOneUnlessEmptyOrEndingInASeparator) {
  struct Case {
    std::string text, result;
  };
  const Case cases[] = {
      {"", ""},     {"C:\\CFG", "C:\\CFG\\"}, {"C:\\CFG\\", "C:\\CFG\\"}, {"C:\\CFG/", "C:\\CFG/"},
      {"a", "a\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(AddBackslash(c.text), c.result) << c.text;
}

// Takes every spelling of TIRVEN out of the environment for the test and
// puts back what was there.
class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kSpellings) {
      const char* value = std::getenv(name);
      saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(kSpellings); ++i) {
      unsetenv(kSpellings[i]);
      if (saved_[i]) setenv(kSpellings[i], saved_[i]->c_str(), 1);
    }
  }

  static constexpr const char* kSpellings[] = {"TIRVEN", "tirven", "Tirven"};

 private:
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(EnvironmentTest, ConfigDirFromEnvironment) {
  struct Case {
    const char* name;  // nullptr: unset
    std::string value;
    std::string configDir;
  };
  const Case cases[] = {
      {"TIRVEN", "c:\\cfg", "C:\\CFG\\"},
      {"TIRVEN", "c:\\cfg\\", "C:\\CFG\\"},
      {"TIRVEN", "c:\\cfg/", "C:\\CFG/"},
      {nullptr, "", ""},
      {"TIRVEN", "", ""},
      {"tirven", "/srv/tirven", "/SRV/TIRVEN\\"},  // the name matched ignoring case
      {"Tirven", "d:\\x", "D:\\X\\"},
      // At most 255 characters, the backslash cut with the rest.
      {"TIRVEN", std::string(300, 'a'), std::string(255, 'A')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.name ? c.name : "unset") << "=" << c.value);
    if (c.name != nullptr) setenv(c.name, c.value.c_str(), 1);
    EXPECT_EQ(ConfigDirFromEnvironment(), c.configDir);
    if (c.name != nullptr) unsetenv(c.name);
  }
}

void UseCommandLine(const std::vector<std::string>& arguments) {
  std::vector<std::string> line{"tirven-update"};
  line.insert(line.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : line) argv.push_back(argument.data());
  argv.push_back(nullptr);
  SetCommandLine(static_cast<int>(line.size()), argv.data());
}

TEST(ReadCommandLine, OnlyTheFirstArgumentSetsTheMode) {
  struct Case {
    std::vector<std::string> arguments;
    bool batch, sfi;
  };
  const Case cases[] = {
      {{}, false, false},
      {{"/FORCE", "C:\\CFG\\"}, true, false},
      {{"/FORCE"}, true, false},
      {{"/force", "C:\\CFG\\"}, false, false},  // exact: lower case is interactive
      {{"/Force"}, false, false},
      {{"/FORCE "}, false, false},
      {{"-sfi"}, false, true},
      {{"-Sfi"}, false, true},
      {{"-SFI"}, false, true},
      {{"-SFIX"}, false, false},
      {{"C:\\CFG\\", "/FORCE"}, false, false},
      {{"-SFI", "/FORCE"}, false, true},
      {{"/FORCE", "-SFI"}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    Program = ProgramState{};
    UseCommandLine(c.arguments);
    ReadCommandLine();
    EXPECT_EQ(Program.BatchMode, c.batch);
    EXPECT_EQ(Program.SfiMode, c.sfi);
  }
  UseCommandLine({});
  Program = ProgramState{};
}

class TitleScreenTest : public UiTest, public ::testing::WithParamInterface<std::pair<int, int>> {
 protected:
  // Expects row `row` from column 1 to hold `text` in `attr` and nothing
  // else to differ, naming the first column that does.
  void ExpectRow(int row, const std::vector<std::pair<uint8_t, uint8_t>>& cells) {
    ASSERT_EQ(static_cast<int>(cells.size()), console->Columns());
    for (int column = 1; column <= console->Columns(); ++column) {
      const auto [ch, attr] = cells[static_cast<size_t>(column - 1)];
      if (console->Char(column, row) != ch || console->Attr(column, row) != attr) {
        ADD_FAILURE() << "row " << row << " column " << column << ": char "
                      << int{console->Char(column, row)} << " attr "
                      << int{console->Attr(column, row)} << ", expected char " << int{ch}
                      << " attr " << int{attr};
        return;
      }
    }
  }
};

std::vector<std::pair<uint8_t, uint8_t>> Cells(int width, uint8_t first, uint8_t middle,
                                               uint8_t last, uint8_t attr) {
  std::vector<std::pair<uint8_t, uint8_t>> cells(static_cast<size_t>(std::max(width, 2)),
                                                 {middle, attr});
  cells.front().first = first;
  cells.back().first = last;
  cells.resize(static_cast<size_t>(std::max(width, 0)));
  return cells;
}

void Overlay(std::vector<std::pair<uint8_t, uint8_t>>& cells, int column, const std::string& text,
             uint8_t attr) {
  for (size_t i = 0; i < text.size(); ++i)
    cells[static_cast<size_t>(column - 1) + i] = {static_cast<uint8_t>(text[i]), attr};
}

TEST_P(TitleScreenTest, DrawsTheTitleBarAndTheBottomLinesOverTheWholeConsole) {
  const auto [w, h] = GetParam();
  UseConsole(w, h);
  FillScreen('\xB1', 7);
  DrawTitleScreen();

  auto row2 = Cells(w, 179, ' ', 179, 113);
  Overlay(row2, 3, " UPDATE TIRVEN version 4.33 to version 6.01", 112);
  auto row3 = Cells(w, 179, ' ', 179, 113);
  Overlay(row3, 3, std::string(" ") + kNoticeText, 112);
  ExpectRow(1, Cells(w, 213, 205, 184, 113));
  ExpectRow(2, row2);
  ExpectRow(3, row3);
  ExpectRow(4, Cells(w, 212, 205, 190, 113));
  for (int row = 5; row <= h - 2; ++row) ExpectRow(row, Cells(w, 177, 177, 177, 7));
  ExpectRow(h - 1, Cells(w, 205, 205, 205, 1));
  ExpectRow(h, Cells(w, ' ', ' ', ' ', 1));
  EXPECT_TRUE(Geometry.CentreRows);
  EXPECT_TRUE(Geometry.CentreColumns);
}

INSTANTIATE_TEST_SUITE_P(ConsoleSizes, TitleScreenTest,
                         ::testing::Values(std::pair{80, 25}, std::pair{100, 30}),
                         [](const auto& info) {
                           return std::to_string(info.param.first) + "x" +
                                  std::to_string(info.param.second);
                         });

}  // namespace

namespace {

// A console smaller than the title bar: no crash, and no cell drawn outside
// it (the memory console fails the test on one).
TEST_F(UiTest, TitleScreenOnASmallConsoleStaysInside) {
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{10, 3}, std::pair{40, 5}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    UseConsole(w, h);
    DrawTitleScreen();
  }
}

}  // namespace
