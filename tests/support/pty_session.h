#pragma once
// The real executable on a pseudo-terminal of its own, fast enough to run it
// hundreds of times in one test. The program runs as a job of a small
// session leader, the way a shell starts it: in a process group of its own
// that is the terminal's foreground group, so Ctrl-C, Ctrl-Z and a hang-up
// reach it as they would from a shell.
//
// Waiting is never a timed guess: a key wait is the program blocked in
// poll() with no timeout, read from /proc; a stop is its state there; the end
// is its wait status. The timeouts only bound a program that has gone wrong.

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// Generous, so that a loaded machine slows a test down instead of failing it.
constexpr std::chrono::milliseconds kPtyTimeout = 20s;

struct PtyOptions {
  std::vector<std::string> Argv;         // Argv[0] is the path of the executable
  std::vector<std::string> Environment;  // the program's whole environment, "NAME=value"
  std::string WorkingDirectory;          // empty: the test's own
  int Columns = 80, Rows = 25;
  // The program is the first child of Argv[0] (Argv[0] is strace): key waits
  // and signals are about that child.
  bool ProgramIsChild = false;
  // Runs in the program's process just before exec: limits, another user.
  // Only async-signal-safe calls belong here.
  std::function<void()> BeforeExec;
};

struct PtyExit {
  bool Exited = false;  // ended by exit(); false when a signal ended it
  int Code = -1;        // the exit code, when Exited
  int Signal = 0;       // the signal that ended it, when not Exited
};

class PtySession {
 public:
  PtySession() = default;
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Starts the program. False, with Error(), when it could not be started.
  bool Start(const PtyOptions& options);
  const std::string& Error() const { return error_; }

  // Types bytes on the terminal's keyboard.
  bool Send(const std::string& bytes);
  // Sends a signal to the program's process.
  void Kill(int sig);
  // Sends a signal to the program's process group, as `fg` does with SIGCONT.
  void KillGroup(int sig);

  // Waits until the program blocks for a key with everything it wrote read.
  // False when it ended or the time ran out first.
  bool WaitForKeyWait(std::chrono::milliseconds timeout = kPtyTimeout);
  // Waits until the program is stopped by a job-control signal. A program
  // under strace is told by strace's log instead: it shows as stopped at
  // every system call.
  bool WaitForStop(std::chrono::milliseconds timeout = kPtyTimeout);
  // Waits for the end and reads everything the program wrote. False when
  // the time ran out; the program is then killed.
  bool WaitForExit(PtyExit& status, std::chrono::milliseconds timeout = kPtyTimeout);
  // Answers every key wait with `key` until the program ends.
  bool AnswerEveryWait(const std::string& key, PtyExit& status, int maxWaits = 100);
  bool Ended() const { return ended_; }
  // How many key waits WaitForKeyWait has seen.
  int KeyWaits() const { return keyWaits_; }

  // Reads what the program writes within `waitMs` milliseconds.
  void ReadOutput(int waitMs) { ReadAvailable(waitMs); }
  // Every byte the program wrote to the terminal so far.
  const std::string& Output() const { return output_; }
  // The terminal's settings as the program sees them, read through the
  // controlling side.
  termios Attributes() const;
  // The terminal's settings from before the program started.
  const termios& AttributesAtStart() const { return atStart_; }

  pid_t ProgramPid() const { return program_; }

 private:
  void ReadAvailable(int waitMs);
  bool ProgramWaitsForKey() const;
  bool Reap(bool block);
  void KillAll();

  std::string error_;
  int master_ = -1;
  int statusPipe_ = -1;  // the session leader reports the program's wait status here
  pid_t leader_ = -1;
  pid_t job_ = -1;      // the process the leader started (strace, or the program)
  pid_t program_ = -1;  // the process key waits and signals are about
  bool programIsChild_ = false;
  bool ended_ = false;
  bool masterClosed_ = false;
  int waitStatus_ = 0;
  int keyWaits_ = 0;
  long long switchesAtInput_ =
      -1;  // the program's context switches when it was last sent something
  std::string output_;
  termios atStart_{};
};

// Whether two terminal settings are the same in every flag, control
// character and speed; `difference` says where they differ.
bool SameTerminalSettings(const termios& a, const termios& b, std::string& difference);
