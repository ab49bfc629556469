#pragma once
// What the reliability tests share: configuration directories in the old
// layout with their expected conversions, batch runs of the real executable
// on a pseudo-terminal, the checks that nothing was lost, and a small model
// of the terminal the program draws on.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/pty_session.h"

struct ConversionSpec;

// The registered spec of a file, by its FileName.
const ConversionSpec& SpecOf(const std::string& fileName);
// The five files in batch order.
const std::vector<std::string>& BatchOrder();

// An old file of `records` records whose bytes differ from record to record
// and from file to file, with length bytes of every value.
std::string OldRecords(const ConversionSpec& spec, size_t records, uint32_t seed = 1);
// The new file a conversion makes of `old`: record N from old record N, a
// partial record at the end left out.
std::string Converted(const ConversionSpec& spec, const std::string& old);

// A configuration directory's five files as they were before a run.
using Configuration = std::map<std::string, std::string>;  // FileName -> old bytes
// Writes the files into `dir`.
void WriteConfiguration(const std::string& dir, const Configuration& files);
// `records` records for each of the five files.
Configuration ConfigurationOf(const std::map<std::string, size_t>& records);

// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Whether a path names an entry, without following a symbolic link.
bool Exists(const std::string& path);

// The backup names of a spec, in the order a conversion tries them.
std::vector<std::string> BackupNames(const ConversionSpec& spec);

// After any run, finished or not: each file holds its complete old bytes or
// its complete converted bytes, and when converted a backup holds the old
// ones; each backup there is holds the old bytes; nothing else is in the
// directory but the hidden new files a crash may leave (only when
// `crashed`). `converted` receives the files found in the new layout.
::testing::AssertionResult NothingLost(const std::string& dir, const Configuration& before,
                                       bool crashed, std::vector<std::string>* converted = nullptr);
// Exactly: the files in `convertedFiles` converted with their first backup
// name holding the old bytes, every other file untouched, and nothing else.
::testing::AssertionResult ConvertedExactly(const std::string& dir, const Configuration& before,
                                            const std::vector<std::string>& convertedFiles);

// The executable under test (TIRVEN_UPDATE_EXE names another build of it),
// and strace when it is installed (else empty).
std::string ProgramPath();
std::string StracePath();
// Why strace cannot trace a program here (not installed, ptrace refused);
// empty when it can.
std::string StraceProblem();

// The program in batch mode over `configDir` under strace, which writes its
// log to `log` and sends the program `signal` (e.g. "SIGSTOP") when it first
// makes system call `call`.
std::vector<std::string> SignalledAtFirstCall(const std::string& log, const std::string& call,
                                              const std::string& signal,
                                              const std::string& configDir);

// The environment the program runs with: a fixed, small one.
std::vector<std::string> ProgramEnvironment(const std::vector<std::string>& extra = {});

// A batch run over `configDir`, every key wait answered with Enter.
// `adjust` changes the options before the start: a limit, strace in front.
struct BatchRun {
  PtyExit Exit;
  std::string Output;
  int KeyWaits = 0;
  bool Finished = false;             // the program ended and its output was read to the end
  std::vector<std::string> Screens;  // the screen at each key wait (TerminalScreen::Dump)
};
BatchRun RunBatch(const std::string& configDir, std::function<void(PtyOptions&)> adjust = {});

// Whether the text a batch run leaves on the terminal ends in the report of
// runtime error `code` with `text`: the two lines, then the platform's line.
::testing::AssertionResult EndsInRuntimeError(const std::string& output, int code,
                                              const std::string& text);

// ---- The terminal -------------------------------------------------------

// A model of the terminal the program draws on: it understands what the
// terminal backend sends (cursor moves, colours, modes, UTF-8 text) and what
// a cooked terminal shows afterwards (CR, LF, BS).
class TerminalScreen {
 public:
  TerminalScreen(int columns = 80, int rows = 25);
  // Takes more of the output; a sequence cut at the end waits for the rest.
  void Feed(const std::string& more);
  // How many bytes of output it has been given.
  size_t Fed() const { return fed_; }
  // A row as UTF-8, 1-based, trailing blanks trimmed.
  std::string Row(int row) const;
  // Whether some row holds `text` (UTF-8).
  bool Shows(const std::string& text) const;
  std::string Dump() const;

 private:
  void Put(const std::string& glyph);
  void LineFeed();
  int columns_, rows_;
  int column_ = 0, row_ = 0;
  bool autowrap_ = true;
  std::vector<std::vector<std::string>> cells_;
  std::string pending_;
  size_t fed_ = 0;
};

// Every fault in what the program wrote to the terminal: a control byte (C0
// or DEL) outside the escape sequences the backend emits, an escape sequence
// other than those, malformed UTF-8, or a C1 control code point. Empty when
// there is none.
std::vector<std::string> TerminalOutputFaults(const std::string& output);

// The final letter ('h' or 'l') of the last "ESC [ ? <mode>" sequence, or 0.
char LastPrivateMode(const std::string& output, int mode);

// The UTF-8 of a text of CP437 bytes, as the screen shows it.
std::string Cp437Text(const std::string& bytes);
