#include "pty_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench.h"

namespace {

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// True when the process sleeps in poll() (or ppoll()) with no timeout: the
// console device waiting for the next key.
bool WaitsForKey(int pid) {
  const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'S')
    return false;
  std::istringstream syscall(ReadSmallFile("/proc/" + std::to_string(pid) + "/syscall"));
  std::string number, fds, count, timeout;
  if (!(syscall >> number >> fds >> count >> timeout)) return false;
  const unsigned long long value = std::strtoull(timeout.c_str(), nullptr, 16);
  if (number == "7") return static_cast<int32_t>(static_cast<uint32_t>(value)) == -1;
  if (number == "271") return value == 0;
  return false;
}

// The high-water mark of the process's resident memory, in KiB; -1 unknown.
long VmHwmKiB(int pid) {
  std::istringstream status(ReadSmallFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// utime + stime in seconds, and the scheduler's on-CPU time in seconds.
void CpuTimes(int pid, double& statSeconds, double& schedSeconds) {
  const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3 to 15 follow the name; utime and stime are 14 and 15.
  for (int n = 3; n <= 15 && fields >> field; ++n) {
    if (n == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (n == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
  }
  statSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::istringstream sched(ReadSmallFile("/proc/" + std::to_string(pid) + "/schedstat"));
  unsigned long long runNs = 0;
  sched >> runNs;
  schedSeconds = static_cast<double>(runNs) / 1e9;
}

// The child of `pid` that runs `executable` (strace starts it, after test
// children of its own), or -1 while there is none yet.
int ProgramChild(int pid, const std::string& executable) {
  std::istringstream children(
      ReadSmallFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children"));
  std::error_code error;
  const auto wanted = std::filesystem::canonical(executable, error);
  for (int child = 0; children >> child;) {
    const auto running =
        std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", error);
    if (!error && running == wanted) return child;
  }
  return -1;
}

bool Drain(int master, std::string& output, double& lastOutput) {
  char buffer[65536];
  bool closed = false;
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<size_t>(n));
      lastOutput = NowSeconds();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EIO: the terminal's last user has gone.
    if (n == 0 || (n < 0 && errno != EAGAIN)) closed = true;
    break;
  }
  return closed;
}

}  // namespace

PtyResult RunInPty(const std::string& executable, const PtyScript& script) {
  PtyResult result;
  std::vector<std::string> argv;
  if (!script.StraceLog.empty()) {
    argv = {"strace",      "-f", "-qq",           "-e", "trace=write", "-e",
            "signal=none", "-o", script.StraceLog};
  }
  argv.push_back(executable);
  argv.insert(argv.end(), script.Arguments.begin(), script.Arguments.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);

  winsize size{};
  size.ws_col = static_cast<unsigned short>(script.Columns);
  size.ws_row = static_cast<unsigned short>(script.Rows);
  int master = -1;
  const double start = NowSeconds();
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    result.Error = std::string("forkpty: ") + std::strerror(errno);
    return result;
  }
  if (pid == 0) {
    for (const std::string& entry : script.Environment) putenv(strdup(entry.c_str()));
    if (script.StraceLog.empty()) {
      execv(args[0], args.data());
    } else {
      execvp(args[0], args.data());
    }
    _exit(127);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  int target = script.StraceLog.empty() ? pid : -1;
  double lastOutput = start;
  size_t outputAtKey = 0;
  bool closed = false;
  int status = 0;
  rusage usage{};
  for (;;) {
    pollfd fd{master, POLLIN, 0};
    const int ready = closed ? 0 : poll(&fd, 1, 1);
    bool read = false;
    if (ready > 0) {
      const size_t before = result.Output.size();
      closed = Drain(master, result.Output, lastOutput);
      read = result.Output.size() != before;
    }
    const pid_t ended = wait4(pid, &status, WNOHANG, &usage);
    if (ended == pid) {
      if (!closed) Drain(master, result.Output, lastOutput);
      break;
    }
    const double now = NowSeconds();
    if (now - start > script.TimeoutSeconds) {
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      result.Error = "timed out after " + Fixed(script.TimeoutSeconds, 0) + " s";
      close(master);
      return result;
    }
    if (closed) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (target < 0) target = ProgramChild(pid, executable);
    if (read || target < 0 || result.Output.size() == outputAtKey || !WaitsForKey(target)) continue;
    // Nothing may still be on its way: the frame is complete.
    int pending = 0;
    if (ioctl(master, FIONREAD, &pending) == 0 && pending > 0) continue;

    const size_t wait = static_cast<size_t>(result.KeyWaits++);
    result.PeakKiB = std::max(result.PeakKiB, VmHwmKiB(target));
    if (wait == 0) {
      result.FirstFrameSeconds = lastOutput - start;
      result.FirstFrame = result.Output;
      if (script.IdleSeconds > 0) {
        double stat0, sched0, stat1, sched1;
        CpuTimes(target, stat0, sched0);
        const double idleStart = NowSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(script.IdleSeconds));
        CpuTimes(target, stat1, sched1);
        result.IdleWallSeconds = NowSeconds() - idleStart;
        result.IdleStatCpuSeconds = stat1 - stat0;
        result.IdleSchedCpuSeconds = sched1 - sched0;
      }
    }
    const std::string& key = wait < script.Keys.size() ? script.Keys[wait] : script.MoreKeys;
    outputAtKey = result.Output.size();
    if (!key.empty() && write(master, key.data(), key.size()) != static_cast<ssize_t>(key.size())) {
      result.Error = "could not send a key";
    }
  }
  close(master);
  result.WallSeconds = NowSeconds() - start;
  result.MaxRssKiB = usage.ru_maxrss;
  result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (result.Error.empty()) {
    if (result.ExitStatus != 0) {
      result.Error = "exit status " + std::to_string(result.ExitStatus);
    } else if (result.KeyWaits < static_cast<int>(script.Keys.size())) {
      result.Error = "the program ended with keys of the script left";
    } else {
      result.Ok = true;
    }
  }
  return result;
}
