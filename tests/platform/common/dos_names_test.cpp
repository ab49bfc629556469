#include "platform/common/dos_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(EqualIgnoringAsciiCase, FoldsOnlyTheLettersAToZ) {
  struct Case {
    std::string a, b;
    bool equal;
  };
  const Case cases[] = {
      {"hatch.tvn", "HATCH.TVN", true},
      {"MgIcFiLe.TvN", "mGiCfIlE.tVn", true},
      {"", "", true},
      {"hatch.tvn", "hatch.tv", false},
      {"hatch.tvn", "hatch.tvm", false},
      // Bytes 32 apart that are not letters stay different.
      {"@", "`", false},
      {"[", "{", false},
      {"^", "~", false},
      {"\xE4", "\xC4", false},  // no folding beyond ASCII
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    EXPECT_EQ(EqualIgnoringAsciiCase(c.a, c.b), c.equal);
    EXPECT_EQ(EqualIgnoringAsciiCase(c.b, c.a), c.equal);
  }
}

TEST(SplitDosPath, BothSeparatorsEmptyNamesDropped) {
  struct Case {
    std::string path;
    bool absolute;
    std::vector<std::string> names;
    bool trailing;
  };
  const Case cases[] = {
      {"", false, {}, false},
      {"hatch.tvn", false, {"hatch.tvn"}, false},
      {"C:\\CFG\\hatch.tvn", false, {"C:", "CFG", "hatch.tvn"}, false},
      {"/srv/cfg/", true, {"srv", "cfg"}, true},
      {"\\srv/cfg\\", true, {"srv", "cfg"}, true},
      {"a//b\\\\c", false, {"a", "b", "c"}, false},
      {"/", true, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const DosPath path = SplitDosPath(c.path);
    EXPECT_EQ(path.Absolute, c.absolute);
    EXPECT_EQ(path.Names, c.names);
    EXPECT_EQ(path.TrailingSeparator, c.trailing);
  }
}

TEST(PickCaseMatch, ExactSpellingFirstThenTheFirstMatchInByteOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> entries;
    std::string wanted;
    int pick;
  };
  const Case cases[] = {
      {"exact after a case match", {"HATCH.TVN", "hatch.bak", "hatch.tvn"}, "hatch.tvn", 2},
      {"only another spelling", {"fareas.tvn", "Hatch.Tvn"}, "hatch.tvn", 1},
      // Entries in any order: the match smallest in byte order wins.
      {"several spellings", {"hatch.TVN", "Hatch.tvn", "HATCH.TVN"}, "hatch.tvn", 2},
      {"none", {"hatch.tv", "hatch.tvn1"}, "hatch.tvn", -1},
      {"empty directory", {}, "hatch.tvn", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PickCaseMatch(c.entries, c.wanted), c.pick);
  }
}

}  // namespace
