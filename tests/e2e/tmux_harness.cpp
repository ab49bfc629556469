#include "tmux_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "update/conversion.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Single quotes for sh: nothing inside them is special but the quote itself.
std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A new directory with a lower-case name that no other test process takes:
// the process id, a counter and random hex digits.
std::string MakeUniqueDirectory(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  fs::path parent = fs::temp_directory_path();
  // A tmux socket path must stay well inside the 108 bytes of a unix socket.
  if (parent.string().size() > 60) parent = "/tmp";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << prefix << getpid() << "-" << counter++ << "-" << std::hex << (random() & 0xFFFFFF);
    const fs::path path = parent / name.str();
    if (mkdir(path.c_str(), 0700) == 0) return path.string();
    if (errno != EEXIST) break;
  }
  // Thrown, not returned empty: an empty path would put files at the root.
  throw std::runtime_error("cannot make a scratch directory under " + parent.string());
}

// One code point of UTF-8 at `i`; its length.
size_t Utf8Length(const std::string& text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return std::min(length, text.size() - i);
}

std::vector<std::string> SplitGlyphs(const std::string& text) {
  std::vector<std::string> glyphs;
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8Length(text, i);
    glyphs.push_back(text.substr(i, length));
    i += length;
  }
  return glyphs;
}

int ColourFromPalette(int index, bool foreground) {
  if (index < 8) return (foreground ? 30 : 40) + index;
  if (index < 16) return (foreground ? 90 : 100) + index - 8;
  return (foreground ? 1000 : 2000) + index;  // beyond the 16 colours the program uses
}

void ApplySgr(const std::string& parameters, int& fg, int& bg) {
  std::vector<int> values;
  std::string number;
  for (char c : parameters + ";") {
    if (c == ';' || c == ':') {
      values.push_back(number.empty() ? 0 : std::stoi(number));
      number.clear();
    } else {
      number += c;
    }
  }
  for (size_t i = 0; i < values.size(); ++i) {
    const int v = values[i];
    if (v == 0) {
      fg = 39;
      bg = 49;
    } else if ((v >= 30 && v <= 37) || (v >= 90 && v <= 97) || v == 39) {
      fg = v;
    } else if ((v >= 40 && v <= 47) || (v >= 100 && v <= 107) || v == 49) {
      bg = v;
    } else if ((v == 38 || v == 48) && i + 1 < values.size()) {
      int& target = v == 38 ? fg : bg;
      if (values[i + 1] == 5 && i + 2 < values.size()) {
        target = ColourFromPalette(values[i + 2], v == 38);
        i += 2;
      } else if (values[i + 1] == 2 && i + 4 < values.size()) {
        target = 3000;  // a direct colour: never one the program sends
        i += 4;
      }
    }
    // Bold, underline and the like do not concern the program's cells.
  }
}

}  // namespace

// ---- Screens -------------------------------------------------------------

std::string ScreenCells::TextAt(int column, int row, int width) const {
  std::string text;
  for (int c = column; c < column + width && c <= Columns; ++c) text += At(c, row).Glyph;
  return text;
}

ScreenCells ParseSgrCapture(const std::string& capture, int columns, int rows) {
  ScreenCells screen;
  screen.Columns = columns;
  screen.Rows = rows;
  screen.Cells.assign(static_cast<size_t>(rows),
                      std::vector<TerminalCell>(static_cast<size_t>(columns)));
  int fg = 39, bg = 49;
  int row = 0, column = 0;
  for (size_t i = 0; i < capture.size();) {
    const char c = capture[i];
    if (c == '\x1b' && i + 1 < capture.size() && capture[i + 1] == '[') {
      size_t end = i + 2;
      while (end < capture.size() && !(capture[end] >= 0x40 && capture[end] <= 0x7E)) ++end;
      if (end < capture.size() && capture[end] == 'm') {
        ApplySgr(capture.substr(i + 2, end - i - 2), fg, bg);
      }
      i = end + 1;
    } else if (c == '\x1b') {
      i += 2;  // some other escape: not a cell
    } else if (c == '\n') {
      ++row;
      column = 0;
      ++i;
    } else {
      const size_t length = Utf8Length(capture, i);
      if (row < rows && column < columns) {
        screen.Cells[static_cast<size_t>(row)][static_cast<size_t>(column)] = {
            capture.substr(i, length), fg, bg};
      }
      ++column;
      i += length;
    }
  }
  return screen;
}

SgrColours ColoursOfAttribute(uint8_t attribute) {
  auto ansi = [](int dos) { return ((dos & 1) << 2) | (dos & 2) | ((dos & 4) >> 2); };
  const int fg = attribute & 7, bg = (attribute >> 4) & 7;
  return {((attribute & 0x08) ? 90 : 30) + ansi(fg), ((attribute & 0x80) ? 100 : 40) + ansi(bg)};
}

std::string TrimRight(const std::string& row) {
  return row.substr(0, row.find_last_not_of(' ') + 1);
}

std::string Repeat(const std::string& glyph, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += glyph;
  return text;
}

::testing::AssertionResult CellsAre(const ScreenCells& screen, int column, int row,
                                    const std::string& glyphs, uint8_t attribute) {
  const SgrColours want = ColoursOfAttribute(attribute);
  const std::vector<std::string> expected = SplitGlyphs(glyphs);
  if (row < 1 || row > screen.Rows || column < 1 ||
      column + static_cast<int>(expected.size()) - 1 > screen.Columns) {
    return ::testing::AssertionFailure()
           << "cells outside the screen at column " << column << ", row " << row;
  }
  for (size_t k = 0; k < expected.size(); ++k) {
    const int at = column + static_cast<int>(k);
    const TerminalCell& cell = screen.At(at, row);
    if (cell.Glyph != expected[k] || cell.Fg != want.Fg || cell.Bg != want.Bg) {
      return ::testing::AssertionFailure()
             << "column " << at << ", row " << row << ": '" << cell.Glyph << "' fg " << cell.Fg
             << " bg " << cell.Bg << ", expected '" << expected[k] << "' in attribute "
             << int{attribute} << " (fg " << want.Fg << " bg " << want.Bg << "); row reads \""
             << screen.TextAt(1, row, screen.Columns) << "\"";
    }
  }
  return ::testing::AssertionSuccess();
}

bool SttyHas(const std::string& stty, const std::string& flag) {
  std::string token;
  for (char c : stty + " ") {
    if (c == ' ' || c == ';' || c == '\n') {
      if (token == flag) return true;
      token.clear();
    } else {
      token += c;
    }
  }
  return false;
}

::testing::AssertionResult AllPass(std::initializer_list<::testing::AssertionResult> checks) {
  for (const ::testing::AssertionResult& check : checks) {
    if (!check) return check;
  }
  return ::testing::AssertionSuccess();
}

// ---- Sessions ------------------------------------------------------------

TerminalSession::TerminalSession(const SessionOptions& options)
    : controlDir_(MakeUniqueDirectory("tirven-e2e-tmux-")),
      socket_(controlDir_ + "/tmux.sock"),
      columns_(options.Columns),
      rows_(options.Rows) {
  std::string script =
      "cd " +
      ShellQuote(options.WorkingDirectory.empty() ? controlDir_ : options.WorkingDirectory) +
      " || exit 1\n";
  for (const std::string& name : options.Unset) script += "unset " + name + "\n";
  for (const auto& [name, value] : options.Environment) {
    script += name + "=" + ShellQuote(value) + "; export " + name + "\n";
  }
  const std::string dir = ShellQuote(controlDir_);
  script += "stty -a > " + dir + "/before 2>&1\n";
  script += ShellQuote(options.Program);
  for (const std::string& argument : options.Arguments) script += " " + ShellQuote(argument);
  script += "\nrc=$?\n";
  script += "stty -a > " + dir + "/after 2>&1\n";
  // Written whole under another name first, so that a reader never sees
  // half of it.
  script += "echo $rc > " + dir + "/rc.part && mv " + dir + "/rc.part " + dir + "/rc\n";
  script += "exec sleep 600\n";
  std::ofstream(controlDir_ + "/run.sh") << script;

  // Our own server: the user's tmux and its configuration never take part.
  const int status =
      RunCommand({"tmux", "-S", socket_, "-f", "/dev/null", "new-session", "-d", "-s", "e2e", "-x",
                  std::to_string(columns_), "-y", std::to_string(rows_),
                  "sh " + ShellQuote(controlDir_ + "/run.sh")});
  if (status != 0) ADD_FAILURE() << "tmux new-session failed with status " << status;
}

TerminalSession::~TerminalSession() {
  RunCommand({"tmux", "-S", socket_, "kill-server"});
  std::error_code error;
  fs::remove_all(controlDir_, error);
}

std::string TerminalSession::Tmux(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {"tmux", "-S", socket_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::string output;
  RunCommand(argv, &output);
  return output;
}

void TerminalSession::SendKeys(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) Tmux({"send-keys", "-t", "e2e", key});
}

void TerminalSession::SendText(const std::string& text) {
  Tmux({"send-keys", "-t", "e2e", "-l", text});
}

std::vector<std::string> TerminalSession::Screen() {
  const std::string capture = Tmux({"capture-pane", "-p", "-N", "-t", "e2e"});
  std::vector<std::string> rows;
  std::istringstream in(capture);
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  rows.resize(static_cast<size_t>(rows_));
  return rows;
}

std::string TerminalSession::Row(int row) {
  return Screen()[static_cast<size_t>(row - 1)];
}

ScreenCells TerminalSession::ScreenWithColours() {
  return ParseSgrCapture(Tmux({"capture-pane", "-p", "-e", "-N", "-t", "e2e"}), columns_, rows_);
}

CursorState TerminalSession::Cursor() {
  std::istringstream in(
      Tmux({"display", "-p", "-t", "e2e", "#{cursor_x} #{cursor_y} #{cursor_flag}"}));
  int x = -1, y = -1, visible = 0;
  in >> x >> y >> visible;
  return {x + 1, y + 1, visible != 0};
}

::testing::AssertionResult TerminalSession::WaitUntil(
    const std::function<bool(const std::vector<std::string>&)>& done, const std::string& what,
    std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (done(Screen())) return ::testing::AssertionSuccess();
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(25ms);
  }
  return ::testing::AssertionFailure() << "timed out waiting for " << what << "; the screen:\n"
                                       << Dump();
}

::testing::AssertionResult TerminalSession::WaitForCells(
    const std::function<::testing::AssertionResult(const ScreenCells&)>& check,
    std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    ::testing::AssertionResult result = check(ScreenWithColours());
    if (result || std::chrono::steady_clock::now() >= deadline) return result;
    std::this_thread::sleep_for(25ms);
  }
}

::testing::AssertionResult TerminalSession::WaitForCursor(int column, int row, bool visible,
                                                          std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const CursorState cursor = Cursor();
    if (cursor.Column == column && cursor.Row == row && cursor.Visible == visible) {
      return ::testing::AssertionSuccess();
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return ::testing::AssertionFailure()
             << "the cursor is at column " << cursor.Column << ", row " << cursor.Row
             << (cursor.Visible ? ", shown" : ", hidden") << "; expected column " << column
             << ", row " << row << (visible ? ", shown" : ", hidden");
    }
    std::this_thread::sleep_for(25ms);
  }
}

::testing::AssertionResult TerminalSession::WaitForText(const std::string& text,
                                                        std::chrono::milliseconds timeout) {
  return WaitUntil(
      [&](const std::vector<std::string>& screen) {
        for (const std::string& row : screen) {
          if (row.find(text) != std::string::npos) return true;
        }
        return false;
      },
      "\"" + text + "\"", timeout);
}

std::optional<int> TerminalSession::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::string rcFile = controlDir_ + "/rc";
  while (true) {
    if (fs::exists(rcFile)) return std::stoi(ReadText(rcFile));
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(25ms);
  }
}

std::string TerminalSession::SttyNow() {
  std::string tty = Tmux({"display", "-p", "-t", "e2e", "#{pane_tty}"});
  tty = tty.substr(0, tty.find('\n'));
  std::string settings;
  RunCommand({"stty", "-a", "-F", tty}, &settings);
  return settings;
}

int TerminalSession::ProgramPid() {
  const std::string shell = Tmux({"display", "-p", "-t", "e2e", "#{pane_pid}"});
  std::string children;
  RunCommand({"pgrep", "-P", shell.substr(0, shell.find('\n'))}, &children);
  return children.empty() ? -1 : std::stoi(children);
}

std::string TerminalSession::SttyBefore() const {
  return ReadText(controlDir_ + "/before");
}
std::string TerminalSession::SttyAfter() const {
  return ReadText(controlDir_ + "/after");
}

std::string TerminalSession::Dump() {
  std::string text;
  int n = 1;
  for (const std::string& row : Screen()) {
    text += (n < 10 ? " " : "") + std::to_string(n) + "|" + row + "\n";
    ++n;
  }
  return text;
}

// ---- Files ---------------------------------------------------------------

ScratchDir::ScratchDir() : path_(MakeUniqueDirectory("tirven-e2e-")) {}

ScratchDir::~ScratchDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string ScratchDir::Subdir(const std::string& name) const {
  const std::string path = path_ + "/" + name;
  fs::create_directory(path);
  return path;
}

::testing::AssertionResult MakeDemoConfig(const std::string& dir) {
  std::string output;
  const int status = RunCommand({TIRVEN_DEMO_TOOL, dir}, &output, true);
  if (status == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "make-demo-config " << dir << " exited with " << status << ": " << output;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

DirSnapshot Snapshot(const std::string& dir) {
  DirSnapshot snapshot;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file()) {
      snapshot[name] = ReadBytes(entry.path().string());
    } else {
      const std::string marker = "<not a file>";
      snapshot[name] = std::vector<uint8_t>(marker.begin(), marker.end());
    }
  }
  return snapshot;
}

::testing::AssertionResult SameFiles(const DirSnapshot& actual, const DirSnapshot& expected) {
  std::ostringstream faults;
  for (const auto& [name, bytes] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      faults << name << " is missing; ";
    } else if (found->second != bytes) {
      const auto [a, b] =
          std::mismatch(found->second.begin(), found->second.end(), bytes.begin(), bytes.end());
      faults << name << " differs from byte " << (a - found->second.begin()) << " (size "
             << found->second.size() << ", expected " << bytes.size() << "); ";
    }
  }
  for (const auto& [name, bytes] : actual) {
    if (!expected.count(name)) faults << name << " should not be there; ";
  }
  if (faults.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << faults.str();
}

const ConversionSpec& SpecFor(const std::string& fileName) {
  for (const ConversionSpec& spec : ConversionSpecs()) {
    if (spec.FileName == fileName) return spec;
  }
  ADD_FAILURE() << "no registered ConversionSpec for " << fileName;
  static const ConversionSpec none;
  return none;
}

std::vector<uint8_t> ExpectedConversion(const ConversionSpec& spec,
                                        const std::vector<uint8_t>& oldFile) {
  std::vector<uint8_t> converted;
  if (spec.OldSize == 0 || spec.ConvertRecord == nullptr) return converted;
  for (size_t at = 0; at + spec.OldSize <= oldFile.size(); at += spec.OldSize) {
    std::vector<uint8_t> record(spec.NewSize, 0);
    spec.ConvertRecord(oldFile.data() + at, record.data());
    converted.insert(converted.end(), record.begin(), record.end());
  }
  return converted;
}

int RunCommand(const std::vector<std::string>& argv, std::string* output, bool mergeStderr) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (mergeStderr) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string collected;
  char buffer[4096];
  while (true) {
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    collected.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  if (output != nullptr) *output = collected;
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}
