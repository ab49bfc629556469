// Process services for POSIX.

#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/process.h"

extern char** environ;

std::string EnvironmentValue(const std::string& name) { return FindEnvironmentValue(environ, name); }

// There is no active ANSI code page here.
int ActiveCodePage() { return 0; }

std::vector<uint32_t> CaptureCodeAddresses(int skip, int max) {
  std::vector<void*> frames(static_cast<size_t>(max + skip + 1));
  int count = backtrace(frames.data(), static_cast<int>(frames.size()));
  std::vector<uint32_t> addresses;
  for (int i = skip + 1; i < count && static_cast<int>(addresses.size()) < max; ++i) {
    addresses.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frames[i])));
  }
  return addresses;
}

void WriteStandardOutput(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void Halt(int exitCode) {
  Process.ExitCode = exitCode;
  RunExitProcs();
  if (Process.ErrorPending) WriteStandardOutput(PlatformErrorReport(Process));
  std::fflush(nullptr);
  _exit(Process.ExitCode);
}

void HoldTerminationSignals(bool hold) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP}) sigaddset(&set, sig);
  sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}
