// A ConfigDir made of every byte a file name may hold (1 to 255 but '/'):
// whatever the program shows of it, the bytes it writes to the terminal hold
// no control byte outside the backend's own escape sequences and no C1
// control, and the name shows as its CP437 glyphs.

#include <sys/stat.h>

#include "reliability_support.h"
#include "support/faulty_files.h"
#include "update/conversion.h"

namespace {

// Short enough that a dialog line holds the directory and a file name.
constexpr size_t kChunk = 50;

std::vector<std::string> NameChunks() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) {
    if (b != '/') bytes += static_cast<char>(b);
  }
  std::vector<std::string> chunks;
  for (size_t at = 0; at < bytes.size(); at += kChunk) chunks.push_back(bytes.substr(at, kChunk));
  return chunks;
}

// A text as PutText shows it: byte 1 and the byte after it change the
// colour and take no cell.
std::string WithoutColourChanges(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\x01') {
      ++i;
      continue;
    }
    shown += text[i];
  }
  return shown;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

enum class Mode { Batch, Interactive, InteractiveSfi };

struct ModeCase {
  const char* name;
  Mode mode;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << c.name;
}

class HostileName : public ::testing::TestWithParam<ModeCase> {};

TEST_P(HostileName, ReachesTheTerminalOnlyAsGlyphs) {
  const Mode mode = GetParam().mode;
  std::string allShown;
  for (const std::string& chunk : NameChunks()) {
    SCOPED_TRACE(::testing::Message() << "directory of bytes " << int{uint8_t(chunk.front())}
                                      << " to " << int{uint8_t(chunk.back())});
    TempDir root;
    ASSERT_EQ(mkdir(root.PathOf(chunk).c_str(), 0755), 0) << "the file system refuses the name";
    const std::string configDir = chunk + "/";

    PtyOptions options;
    options.WorkingDirectory = root.Path();
    options.Environment = ProgramEnvironment();
    // Batch: a "not found" dialog for each file. Interactive: the first
    // menu item, its "not found" dialog, then Esc leaves the menu.
    std::vector<std::string> keys;
    std::string shown;      // the dialog line naming the file
    size_t dialogWait = 1;  // the key wait of its dialog
    if (mode == Mode::Batch) {
      options.Argv = {ProgramPath(), "/FORCE", configDir};
      keys = {"\r", "\r", "\r", "\r", "\r", "\r"};
      shown = configDir + SpecOf(BatchOrder().front()).ShownName;
    } else {
      options.Argv = {ProgramPath()};
      if (mode == Mode::InteractiveSfi) options.Argv.push_back("-SFI");
      options.Environment.push_back("TIRVEN=" + configDir);
      keys = {"\r", "\r", "\r", "\x1b"};
      dialogWait = 2;
      shown = UpperAscii(configDir) + "MGICFILE.TVN";
    }
    PtySession session;
    ASSERT_TRUE(session.Start(options)) << session.Error();
    std::vector<std::string> screens;
    TerminalScreen screen;
    for (const std::string& key : keys) {
      ASSERT_TRUE(session.WaitForKeyWait()) << "the program ended early";
      screen.Feed(session.Output().substr(screen.Fed()));
      screens.push_back(screen.Dump());
      session.Send(key);
    }
    PtyExit exit;
    ASSERT_TRUE(session.WaitForExit(exit));
    EXPECT_TRUE(exit.Exited && exit.Code == 0) << "exit " << exit.Code;

    const std::vector<std::string> faults = TerminalOutputFaults(session.Output());
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
    // The text path of -SFI moves the cursor on CR, LF and BS in the name,
    // as it does in any text; there only the bytes sent are checked.
    if (mode != Mode::InteractiveSfi) {
      const std::string glyphs = Cp437Text(WithoutColourChanges(shown));
      ASSERT_GT(screens.size(), dialogWait);
      EXPECT_NE(screens[dialogWait].find(glyphs), std::string::npos)
          << "the name is not shown as glyphs:\n"
          << screens[dialogWait];
      allShown += screens[dialogWait];
    }
  }
  if (mode == Mode::Batch) {
    // A few glyphs named outright: ESC, BEL, LF and CR, DEL, CSI and 255.
    for (const char* glyph : {"\u2190", "\u2022", "\u25D9", "\u266A", "\u2302", "\u00A2", "\u00A0"})
      EXPECT_NE(allShown.find(glyph), std::string::npos) << glyph;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, HostileName,
                         ::testing::Values(ModeCase{"Batch", Mode::Batch},
                                           ModeCase{"Interactive", Mode::Interactive},
                                           ModeCase{"InteractiveSfi", Mode::InteractiveSfi}),
                         [](const ::testing::TestParamInfo<ModeCase>& info) {
                           return info.param.name;
                         });

// The check above must see what it looks for, or it would pass on anything.
TEST(HostileName, TheCheckOfTheOutputFindsForeignBytes) {
  struct Case {
    const char* output;
    bool faulty;
  };
  const Case cases[] = {
      {"\x1b[2J\x1b[5;3H\x1b[31;40mab\x1b[C\x1b[?25l\x1b[4 q\x1b[?7l\x1b[?1036h", false},
      {"\xe2\x86\x90\xc2\xa0\xe2\x8c\x82", false},  // the glyphs of ESC, 255 and DEL
      {"\x1b]0;title\x07", true},                   // a title change
      {"\x1b[6n", true},                            // a cursor report request
      {"\x1bP", true},                              // a device control string
      {"a\x07", true},
      {"a\r\n", true},
      {"\x7f", true},
      {"\xc2\x9b", true},  // CSI as a C1 code point
      {"\x9b", true},      // CSI as a raw byte
      {"\xc0\x9b", true},  // an overlong form
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!TerminalOutputFaults(c.output).empty(), c.faulty)
        << ::testing::PrintToString(std::string(c.output));
  }
}

}  // namespace
