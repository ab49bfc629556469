// The fatal runtime-error report: the two lines, the platform's own report
// after them, exit code 254 and the terminal put back.

#include <gtest/gtest.h>

#include <regex>

#include "tmux_harness.h"

namespace {

// "Error address : HHHH:HHHH", and after it "Runtime error N at $HHHHHHHH"
// with the same address; the text between them is the program's.
void ExpectReport(const std::string& output, const std::string& firstLine, int number) {
  const size_t first = output.find(firstLine);
  ASSERT_NE(first, std::string::npos) << output;
  std::smatch address;
  const std::string rest = output.substr(first + firstLine.size());
  ASSERT_TRUE(
      std::regex_search(rest, address, std::regex("Error address : ([0-9A-F]{4}):([0-9A-F]{4})")))
      << output;
  std::smatch platform;
  const std::string after = address.suffix();
  ASSERT_TRUE(std::regex_search(
      after, platform,
      std::regex("Runtime error " + std::to_string(number) + " at \\$([0-9A-F]{8})")))
      << output;
  EXPECT_EQ(platform[1].str(), address[1].str() + address[2].str());
}

TEST(RuntimeErrorTest, NoTerminalAtAllStopsWithError103) {
  ScratchDir scratch;
  const std::string out = scratch.Path() + "/stdout", err = scratch.Path() + "/stderr";
  // A new session has no controlling terminal, and no standard stream is one.
  const int status =
      RunCommand({"sh", "-c", "cd \"$1\" && exec setsid -w \"$0\" </dev/null >\"$2\" 2>\"$3\"",
                  TIRVEN_EXE, scratch.Path(), out, err});
  const std::vector<uint8_t> bytes = ReadBytes(out);
  const std::string output(bytes.begin(), bytes.end());
  EXPECT_EQ(status, 254) << output;
  ExpectReport(output, "File not open, program aborted.", 103);
}

TEST(RuntimeErrorTest, ReportsError7InATerminalAndPutsItBack) {
  TerminalSession session(SessionOptions(TIRVEN_RAISE_ERROR));
  const std::optional<int> rc = session.WaitForExit();
  ASSERT_TRUE(rc.has_value()) << session.Dump();
  EXPECT_EQ(*rc, 254);
  ASSERT_TRUE(session.WaitForText("Runtime error 7 at $"));
  std::string screen;
  for (const std::string& row : session.Screen()) screen += TrimRight(row) + "\n";
  ExpectReport(screen, "Unknown runtime error #7, program aborted.", 7);
  EXPECT_TRUE(session.Cursor().Visible);
  EXPECT_FALSE(session.SttyBefore().empty());
  EXPECT_EQ(session.SttyAfter(), session.SttyBefore());
}

}  // namespace
