#pragma once
// Process services: the command line, the environment, end-of-program
// handlers, the exit code and the platform's report of a runtime error.

#include <cstdint>
#include <string>
#include <vector>

// The command line as the program was started; set once by main.
void SetCommandLine(int argc, char** argv);
// Argument n: 0 is the program path; past the count, empty.
std::string CommandArgument(int n);
int CommandArgumentCount();

// The first environment variable whose name matches without regard to case,
// else empty.
std::string EnvironmentValue(const std::string& name);
// The same search over a given environment block ("NAME=value" entries).
std::string FindEnvironmentValue(const char* const* environment, const std::string& name);

// The active ANSI code page; 0 on a platform that has none.
int ActiveCodePage();

using ExitProc = void (*)();

// What the end of the program reads: the exit code and a pending runtime
// error, the way a language runtime keeps them.
struct ProcessState {
  int ExitCode = 0;
  bool ErrorPending = false;
  uint16_t ErrorNumber = 0;
  uint32_t ErrorAddress = 0;
  std::vector<uint32_t> Trace;  // code addresses at the moment of the error
  std::vector<ExitProc> ExitProcs;
  std::vector<ExitProc> FinalProcs;
};
extern ProcessState Process;

// End-of-program handlers, run by Halt in the reverse order of registration.
void AddExitProc(ExitProc proc);
// Run after every end-of-program handler: puts the console back.
void AddFinalProc(ExitProc proc);

// Ends the program: the end-of-program handlers (last registered first), the
// final procedures, the platform's report of a pending runtime error on
// standard output, then the process exits with Process.ExitCode.
[[noreturn]] void Halt(int exitCode);

// Runs the handlers as Halt does, without ending the process (tests).
void RunExitProcs();
// "Runtime error N at $XXXXXXXX", a trace of code addresses and an empty line.
std::string PlatformErrorReport(const ProcessState& state);

// Up to `max` return addresses of the calling code, innermost first,
// skipping `skip` frames.
std::vector<uint32_t> CaptureCodeAddresses(int skip, int max);

// Writes bytes to standard output, looping on partial writes.
void WriteStandardOutput(const std::string& text);

// While held, Ctrl-C, SIGTERM, SIGHUP and Ctrl-Z wait: a file being
// rewritten is finished (or put back) before the program ends or stops.
void HoldTerminationSignals(bool hold);
