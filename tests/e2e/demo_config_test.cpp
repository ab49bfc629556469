// The demo configuration tool: what it writes and what it refuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tmux_harness.h"
#include "update/conversion.h"

namespace {

TEST(DemoConfigTest, WritesEveryRegisteredFileInTheOldLayoutTheSameEveryTime) {
  ScratchDir scratch;
  const std::string first = scratch.Subdir("first"), second = scratch.Subdir("second");
  ASSERT_TRUE(MakeDemoConfig(first));
  ASSERT_TRUE(MakeDemoConfig(second));
  const DirSnapshot files = Snapshot(first);
  EXPECT_TRUE(SameFiles(Snapshot(second), files));
  ASSERT_EQ(files.size(), ConversionSpecs().size());
  for (const ConversionSpec& spec : ConversionSpecs()) {
    ASSERT_TRUE(files.count(spec.FileName)) << spec.FileName;
    const size_t size = files.at(spec.FileName).size();
    // Old records only: a size the program would take for converted or
    // damaged would make no demo.
    EXPECT_EQ(size % spec.OldSize, 0u) << spec.FileName;
    EXPECT_NE(size % spec.NewSize, 0u) << spec.FileName;
    EXPECT_GE(size / spec.OldSize, 3u) << spec.FileName;
    EXPECT_LE(size / spec.OldSize, 6u) << spec.FileName;
  }
}

TEST(DemoConfigTest, RefusesABadDirectoryAndNeverOverwrites) {
  ScratchDir scratch;
  const std::string plainFile = scratch.Path() + "/plain";
  std::ofstream(plainFile) << "x";
  // A configuration file already there, in another case spelling.
  const std::string taken = scratch.Subdir("taken");
  std::ofstream(taken + "/HATCH.TVN") << "mine";
  const DirSnapshot before = Snapshot(taken);

  struct Case {
    std::string dir;
    std::string message;
  };
  const Case cases[] = {
      {scratch.Path() + "/missing", "no such directory"},
      {plainFile, "not a directory"},
      {taken, "exists already"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunCommand({TIRVEN_DEMO_TOOL, c.dir}, &output, true), 1) << c.dir;
    EXPECT_NE(output.find(c.dir), std::string::npos) << output;
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
  }
  EXPECT_TRUE(SameFiles(Snapshot(taken), before));
  EXPECT_FALSE(std::filesystem::exists(scratch.Path() + "/missing"));
}

}  // namespace
