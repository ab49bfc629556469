#pragma once
// The end-to-end harness: the built executable in a detached tmux session on
// a tmux server of its own, keys sent with send-keys, the screen read back
// as text and as colours; and the scratch directories and file readers the
// tests compare the configuration files with.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct ConversionSpec;

using namespace std::chrono_literals;

// Generous, so that a loaded machine slows a test down instead of failing it.
constexpr std::chrono::milliseconds kWaitTimeout = 10s;

// ---- Screens -------------------------------------------------------------

// One cell as the terminal shows it: its glyph in UTF-8 and its SGR
// colours (30-37, 90-97 or 39 for the default foreground; 40-47, 100-107
// or 49 for the default background).
struct TerminalCell {
  std::string Glyph = " ";
  int Fg = 39;
  int Bg = 49;
};

// Rows of cells, 0-based inside; the accessors below take the program's
// 1-based column and row.
struct ScreenCells {
  int Columns = 0;
  int Rows = 0;
  std::vector<std::vector<TerminalCell>> Cells;

  const TerminalCell& At(int column, int row) const { return Cells[row - 1][column - 1]; }
  // The glyphs of `width` cells from (column, row).
  std::string TextAt(int column, int row, int width) const;
};

// The cells of a `tmux capture-pane -e -p -N` capture: SGR state carries
// over from one row to the next, as tmux writes it.
ScreenCells ParseSgrCapture(const std::string& capture, int columns, int rows);

// The SGR colours a DOS attribute byte shows as: DOS colour order turned
// into ANSI order, bit 3 a bright foreground, bit 7 a bright background.
struct SgrColours {
  int Fg;
  int Bg;
  bool operator==(const SgrColours&) const = default;
};
SgrColours ColoursOfAttribute(uint8_t attribute);

// A row without its trailing blanks.
std::string TrimRight(const std::string& row);

// `count` copies of a glyph.
std::string Repeat(const std::string& glyph, int count);

// The glyphs from (column, row) are `glyphs` (a UTF-8 text, one code point
// a cell) and every one of those cells shows `attribute`.
::testing::AssertionResult CellsAre(const ScreenCells& screen, int column, int row,
                                    const std::string& glyphs, uint8_t attribute);

// Success when every check passed, else the first failure.
::testing::AssertionResult AllPass(std::initializer_list<::testing::AssertionResult> checks);

// Whether `stty -a` output sets a flag ("icanon", "-echo").
bool SttyHas(const std::string& stty, const std::string& flag);

struct CursorState {
  int Column;  // 1-based
  int Row;
  bool Visible;
};

// ---- Sessions ------------------------------------------------------------

// The console sizes the tests run at.
struct ConsoleSize {
  int Columns;
  int Rows;
};
inline void PrintTo(const ConsoleSize& size, std::ostream* out) {
  *out << size.Columns << "x" << size.Rows;
}
inline std::string SizeName(const ::testing::TestParamInfo<ConsoleSize>& info) {
  return std::to_string(info.param.Columns) + "x" + std::to_string(info.param.Rows);
}

struct SessionOptions {
  explicit SessionOptions(std::string program) : Program(std::move(program)) {}
  SessionOptions& Size(ConsoleSize size) {
    Columns = size.Columns;
    Rows = size.Rows;
    return *this;
  }
  SessionOptions& In(std::string dir) {
    WorkingDirectory = std::move(dir);
    return *this;
  }
  SessionOptions& Args(std::vector<std::string> arguments) {
    Arguments = std::move(arguments);
    return *this;
  }
  SessionOptions& Env(const std::string& name, std::string value) {
    Environment[name] = std::move(value);
    return *this;
  }

  std::string Program;
  std::vector<std::string> Arguments;
  int Columns = 80;
  int Rows = 25;
  std::string WorkingDirectory;                    // empty: the session's own directory
  std::map<std::string, std::string> Environment;  // set for the program
  // Removed from the program's environment, so that the user's own
  // settings never reach a test.
  std::vector<std::string> Unset = {"TIRVEN"};
};

// The program in a detached tmux session. The pane runs
//   stty -a > before; program args; stty -a > after; echo $? > rc; sleep
// (the exit code kept across the second stty), so that the terminal
// settings on both sides of the program and its exit code are kept, and the
// pane keeps the program's last screen.
class TerminalSession {
 public:
  explicit TerminalSession(const SessionOptions& options);
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // tmux key names, one key each: "Enter", "Down", "F3", "S-F6", "Escape",
  // "Y". A lone Escape settles only at the key decoder's deadline: wait for
  // the screen it leads to before sending the next key.
  void SendKeys(const std::vector<std::string>& keys);
  void SendText(const std::string& text);

  // The rows as text, trailing blanks kept.
  std::vector<std::string> Screen();
  std::string Row(int row);  // 1-based
  ScreenCells ScreenWithColours();
  CursorState Cursor();

  ::testing::AssertionResult WaitForText(const std::string& text,
                                         std::chrono::milliseconds timeout = kWaitTimeout);
  ::testing::AssertionResult WaitUntil(
      const std::function<bool(const std::vector<std::string>&)>& done, const std::string& what,
      std::chrono::milliseconds timeout = kWaitTimeout);
  // Until the cells pass `check`; on a timeout, its last failure. The
  // terminal may show a large update in parts, so cells are waited for
  // like texts.
  ::testing::AssertionResult WaitForCells(
      const std::function<::testing::AssertionResult(const ScreenCells&)>& check,
      std::chrono::milliseconds timeout = kWaitTimeout);
  // Until the cursor stands at (column, row) and shows or not: the last
  // bytes of a program may reach the pane after it has ended.
  ::testing::AssertionResult WaitForCursor(int column, int row, bool visible,
                                           std::chrono::milliseconds timeout = kWaitTimeout);
  // The program's exit code, or nothing when it is still running.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout = kWaitTimeout);

  std::string SttyBefore() const;
  std::string SttyAfter() const;
  // The pane's terminal settings now, while the program runs.
  std::string SttyNow();
  // The process id of the program (the pane's shell's child), or -1.
  int ProgramPid();

  // The screen, for failure messages.
  std::string Dump();

  int Columns() const { return columns_; }
  int Rows() const { return rows_; }

 private:
  std::string Tmux(const std::vector<std::string>& arguments);

  std::string controlDir_;
  std::string socket_;
  int columns_;
  int rows_;
};

// ---- Files ---------------------------------------------------------------

// A fresh directory under the temporary directory, its name in lower case
// (the program upper-cases TIRVEN and must find it again), removed with
// everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // A new subdirectory; its path.
  std::string Subdir(const std::string& name) const;

 private:
  std::string path_;
};

// Runs the demo configuration tool into `dir`; its output on failure.
::testing::AssertionResult MakeDemoConfig(const std::string& dir);

std::vector<uint8_t> ReadBytes(const std::string& path);

// Every entry of a directory: name to contents ("<not a file>" for what is
// not a regular file).
using DirSnapshot = std::map<std::string, std::vector<uint8_t>>;
DirSnapshot Snapshot(const std::string& dir);
// The same names with the same bytes; else which names are missing, extra
// or differ, and where.
::testing::AssertionResult SameFiles(const DirSnapshot& actual, const DirSnapshot& expected);

// The registered ConversionSpec of a configuration file.
const ConversionSpec& SpecFor(const std::string& fileName);

// What the conversion must write for an old file: record N from record N,
// through its own ConvertRecord.
std::vector<uint8_t> ExpectedConversion(const ConversionSpec& spec,
                                        const std::vector<uint8_t>& oldFile);

// Runs a command with stdin from /dev/null, its stdout (and with
// `mergeStderr` its stderr) into `output`; the exit status, 128 + the
// signal, or -1 when it could not be started.
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr,
               bool mergeStderr = false);
