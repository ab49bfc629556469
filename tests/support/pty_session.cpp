#include "support/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ProcPath(pid_t pid, const char* file) {
  return "/proc/" + std::to_string(pid) + "/" + file;
}

// The state letter of /proc/<pid>/stat: R, S, D, T, t, Z...
char ProcessState(pid_t pid) {
  const std::string stat = ReadSmallFile(ProcPath(pid, "stat"));
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return '?';
  return stat[close + 2];
}

// Voluntary and involuntary context switches so far: they grow whenever
// the process has run.
long long ContextSwitches(pid_t pid) {
  std::istringstream status(ReadSmallFile(ProcPath(pid, "status")));
  std::string line;
  long long total = 0;
  while (std::getline(status, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
        line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
      total += std::atoll(line.substr(line.find(':') + 1).c_str());
  }
  return total;
}

std::string Executable(pid_t pid) {
  char target[4096];
  const ssize_t n = readlink(ProcPath(pid, "exe").c_str(), target, sizeof target);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// The child of `pid` that has gone on to run another program: strace's
// tracee, not the helpers strace forks to probe the system.
pid_t ExecedChild(pid_t pid) {
  std::istringstream children(
      ReadSmallFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children"));
  const std::string own = Executable(pid);
  for (pid_t child; children >> child;) {
    const std::string exe = Executable(child);
    if (!exe.empty() && exe != own) return child;
  }
  return -1;
}

bool WriteFull(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The session leader: makes the terminal its controlling terminal, starts
// the job in a foreground process group of its own, and reports the job's
// pid and then its wait status on `report`. Never returns.
[[noreturn]] void RunLeader(const char* slaveName, int report, const PtyOptions& options,
                            char* const* argv, char* const* envp) {
  setsid();
  const int slave = open(slaveName, O_RDWR);
  if (slave < 0) _exit(126);
  ioctl(slave, TIOCSCTTY, 0);
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    // A process outside the foreground group may take the terminal only
    // with SIGTTOU out of the way.
    signal(SIGTTOU, SIG_IGN);
    tcsetpgrp(slave, getpid());
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    if (slave > 2) close(slave);
    close(report);
    if (!options.WorkingDirectory.empty() && chdir(options.WorkingDirectory.c_str()) != 0)
      _exit(126);
    if (options.BeforeExec) options.BeforeExec();
    execve(argv[0], argv, envp);
    _exit(127);
  }
  setpgid(job, job);
  // Only the job keeps the terminal open, so that its end shows on the
  // master side as the end of the output.
  close(slave);
  const pid_t reported = job;
  WriteFull(report, &reported, sizeof reported);
  if (job < 0) _exit(125);
  int status = 0;
  while (waitpid(job, &status, 0) < 0 && errno == EINTR) {
  }
  WriteFull(report, &status, sizeof status);
  _exit(0);
}

}  // namespace

PtySession::~PtySession() {
  KillAll();
  if (master_ >= 0) close(master_);
  if (statusPipe_ >= 0) close(statusPipe_);
}

bool PtySession::Start(const PtyOptions& options) {
  if (options.Argv.empty()) {
    error_ = "no program";
    return false;
  }
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error_ = std::string("posix_openpt: ") + std::strerror(errno);
    return false;
  }
  const char* name = ptsname(master_);
  if (name == nullptr) {
    error_ = "ptsname failed";
    return false;
  }
  const std::string slaveName = name;
  winsize size{};
  size.ws_col = static_cast<unsigned short>(options.Columns);
  size.ws_row = static_cast<unsigned short>(options.Rows);
  {
    const int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || ioctl(slave, TIOCSWINSZ, &size) != 0 || tcgetattr(slave, &atStart_) != 0) {
      error_ = "cannot set up " + slaveName;
      if (slave >= 0) close(slave);
      return false;
    }
    close(slave);
  }

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    error_ = "pipe2 failed";
    return false;
  }
  // Everything the children need is made before fork.
  std::vector<std::string> argvStrings = options.Argv, envStrings = options.Environment;
  std::vector<char*> argv = CStrings(argvStrings), envp = CStrings(envStrings);

  leader_ = fork();
  if (leader_ < 0) {
    error_ = "fork failed";
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (leader_ == 0) {
    close(report[0]);
    close(master_);
    RunLeader(slaveName.c_str(), report[1], options, argv.data(), envp.data());
  }
  close(report[1]);
  statusPipe_ = report[0];
  pid_t job = -1;
  if (read(statusPipe_, &job, sizeof job) != static_cast<ssize_t>(sizeof job) || job < 0) {
    error_ = "the session leader could not start the program";
    return false;
  }
  job_ = job;
  program_ = job;
  programIsChild_ = options.ProgramIsChild;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(statusPipe_, F_SETFL, fcntl(statusPipe_, F_GETFL) | O_NONBLOCK);
  if (programIsChild_) {
    // The job execs strace, which starts the program as its child.
    const auto deadline = Clock::now() + kPtyTimeout;
    program_ = -1;
    while (program_ < 0 && Clock::now() < deadline && !Reap(false)) {
      ReadAvailable(1);
      program_ = ExecedChild(job_);
    }
    // A program killed at its first calls may end before it is seen.
    if (program_ < 0 && !ended_) {
      error_ = "the traced program did not start";
      return false;
    }
  }
  return true;
}

bool PtySession::Send(const std::string& bytes) {
  switchesAtInput_ = ContextSwitches(program_);
  return WriteFull(master_, bytes.data(), bytes.size());
}

void PtySession::Kill(int sig) {
  switchesAtInput_ = ContextSwitches(program_);
  if (program_ > 0 && !ended_) kill(program_, sig);
}

void PtySession::KillGroup(int sig) {
  switchesAtInput_ = ContextSwitches(program_);
  if (job_ > 0 && !ended_) kill(-job_, sig);
}

void PtySession::ReadAvailable(int waitMs) {
  if (masterClosed_) return;
  pollfd fd{master_, POLLIN, 0};
  // Even when poll() sees nothing, a read goes on: it moves what the
  // program wrote last from the terminal's buffers to the master side.
  poll(&fd, 1, waitMs);
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0) {
      output_.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EIO: the last user of the terminal has gone and everything is read.
    if (n == 0 || (n < 0 && errno != EAGAIN)) masterClosed_ = true;
    return;
  }
}

bool PtySession::Reap(bool block) {
  if (ended_) return true;
  int status = 0;
  if (block) fcntl(statusPipe_, F_SETFL, fcntl(statusPipe_, F_GETFL) & ~O_NONBLOCK);
  const ssize_t n = read(statusPipe_, &status, sizeof status);
  if (block) fcntl(statusPipe_, F_SETFL, fcntl(statusPipe_, F_GETFL) | O_NONBLOCK);
  if (n != static_cast<ssize_t>(sizeof status)) return false;
  waitStatus_ = status;
  ended_ = true;
  while (waitpid(leader_, nullptr, 0) < 0 && errno == EINTR) {
  }
  leader_ = -1;
  return true;
}

bool PtySession::ProgramWaitsForKey() const {
  if (program_ <= 0 || ProcessState(program_) != 'S') return false;
  std::istringstream syscall(ReadSmallFile(ProcPath(program_, "syscall")));
  long number = -1;
  std::string fds, count, timeout;
  if (!(syscall >> number >> fds >> count >> timeout)) return false;
  const unsigned long long value = std::strtoull(timeout.c_str(), nullptr, 16);
#ifdef SYS_poll
  // poll(fds, n, -1): the timeout is an int.
  if (number == SYS_poll) return static_cast<int32_t>(static_cast<uint32_t>(value)) == -1;
#endif
  // ppoll(fds, n, NULL, ...): no timeout at all.
  if (number == SYS_ppoll) return value == 0;
  return false;
}

bool PtySession::WaitForKeyWait(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    ReadAvailable(1);
    if (Reap(false)) return false;
    // A wait counts once the program has run since the last key or signal:
    // a program not yet woken by a key still sits in the poll that key ends.
    if (ContextSwitches(program_) <= switchesAtInput_ || !ProgramWaitsForKey()) continue;
    ReadAvailable(0);
    ++keyWaits_;
    switchesAtInput_ = ContextSwitches(program_);
    return true;
  }
  return false;
}

bool PtySession::WaitForStop(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    ReadAvailable(1);
    if (Reap(false)) return false;
    // Only 'T': a traced program shows 't' at every system call as well.
    if (ProcessState(program_) == 'T') {
      ReadAvailable(0);
      return true;
    }
  }
  return false;
}

bool PtySession::WaitForExit(PtyExit& status, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline && !(ended_ && masterClosed_)) {
    ReadAvailable(5);
    Reap(false);
  }
  if (!ended_) {
    KillAll();
    return false;
  }
  status.Exited = WIFEXITED(waitStatus_);
  status.Code = status.Exited ? WEXITSTATUS(waitStatus_) : -1;
  status.Signal = WIFSIGNALED(waitStatus_) ? WTERMSIG(waitStatus_) : 0;
  return masterClosed_;
}

bool PtySession::AnswerEveryWait(const std::string& key, PtyExit& status, int maxWaits) {
  for (int n = 0; n < maxWaits; ++n) {
    if (!WaitForKeyWait()) break;
    Send(key);
  }
  return WaitForExit(status);
}

termios PtySession::Attributes() const {
  // On the master side the terminal's settings are the slave's.
  termios now{};
  tcgetattr(master_, &now);
  return now;
}

void PtySession::KillAll() {
  if (ended_ || leader_ < 0) return;
  if (job_ > 0) kill(-job_, SIGKILL);
  if (program_ > 0) kill(program_, SIGKILL);
  if (Reap(true)) return;
  kill(leader_, SIGKILL);
  while (waitpid(leader_, nullptr, 0) < 0 && errno == EINTR) {
  }
  leader_ = -1;
  ended_ = true;
}

bool SameTerminalSettings(const termios& a, const termios& b, std::string& difference) {
  std::ostringstream out;
  auto flags = [&](const char* name, tcflag_t x, tcflag_t y) {
    if (x != y) out << name << " " << std::oct << x << " != " << y << std::dec << "; ";
  };
  flags("c_iflag", a.c_iflag, b.c_iflag);
  flags("c_oflag", a.c_oflag, b.c_oflag);
  flags("c_cflag", a.c_cflag, b.c_cflag);
  flags("c_lflag", a.c_lflag, b.c_lflag);
  for (size_t i = 0; i < NCCS; ++i) {
    if (a.c_cc[i] != b.c_cc[i])
      out << "c_cc[" << i << "] " << int{a.c_cc[i]} << " != " << int{b.c_cc[i]} << "; ";
  }
  if (cfgetispeed(&a) != cfgetispeed(&b) || cfgetospeed(&a) != cfgetospeed(&b)) out << "speed; ";
  difference = out.str();
  return difference.empty();
}
