#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ProcessTest, EnvironmentValueTakesTheFirstNameMatchingInAnyCase) {
  const char* environment[] = {"PATH=/bin", "tirvenx=no", "Tirven=first", "TIRVEN=second",
                               "EMPTY=", nullptr};
  EXPECT_EQ(FindEnvironmentValue(environment, "TIRVEN"), "first");
  EXPECT_EQ(FindEnvironmentValue(environment, "tirven"), "first");
  EXPECT_EQ(FindEnvironmentValue(environment, "EMPTY"), "");
  EXPECT_EQ(FindEnvironmentValue(environment, "TIRVE"), "");
  EXPECT_EQ(FindEnvironmentValue(environment, "MISSING"), "");
}

TEST(ProcessTest, CommandArgumentsPastTheCountAreEmpty) {
  char program[] = "tirven-update", first[] = "/FORCE", second[] = "dir/";
  char* argv[] = {program, first, second};
  SetCommandLine(3, argv);
  EXPECT_EQ(CommandArgument(0), "tirven-update");
  EXPECT_EQ(CommandArgument(2), "dir/");
  EXPECT_EQ(CommandArgument(3), "");
  EXPECT_EQ(CommandArgumentCount(), 2);
}

std::vector<int> order;

TEST(ProcessTest, EndOfProgramHandlersRunLastRegisteredFirstThenTheFinalOnes) {
  Process = ProcessState{};
  order.clear();
  AddFinalProc([] { order.push_back(9); });
  AddExitProc([] { order.push_back(1); });
  AddExitProc([] { order.push_back(2); });
  AddExitProc([] {
    order.push_back(3);
    // A handler registered while the handlers run still runs.
    AddExitProc([] { order.push_back(4); });
  });
  RunExitProcs();
  EXPECT_EQ(order, (std::vector<int>{3, 4, 2, 1, 9}));
  Process = ProcessState{};
}

TEST(ProcessTest, PlatformReportNamesTheErrorItsAddressAndATrace) {
  ProcessState state;
  state.ErrorNumber = 103;
  state.ErrorAddress = 0x00123456;
  state.Trace = {0x00123456, 0xABCDEF01};
  EXPECT_EQ(PlatformErrorReport(state),
            "Runtime error 103 at $00123456\n  $00123456\n  $ABCDEF01\n\n");
}

}  // namespace
