// Process services for Windows.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/process.h"
#include "platform/win32/console_events.h"

namespace {

// What the console event handler shares with the main thread.
struct EventState {
  EventState() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  void (*restoreConsole)() = nullptr;
  bool held = false;  // HoldTerminationSignals; main thread only
};

EventState& Events() {
  static EventState state;
  return state;
}

// The exit code Windows gives a console program that Ctrl-C ends.
constexpr UINT kControlCExit = 0xC000013A;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  EventState& state = Events();
  // Waits while a file is being rewritten or the console changed. Ending
  // the process from here takes the main thread down with it.
  EnterCriticalSection(&state.lock);
  if (state.restoreConsole != nullptr) state.restoreConsole();
  ExitProcess(kControlCExit);
}

}  // namespace

void InstallConsoleEventHandler(void (*restoreConsole)()) {
  Events().restoreConsole = restoreConsole;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleEventLock::ConsoleEventLock() {
  EnterCriticalSection(&Events().lock);
}
ConsoleEventLock::~ConsoleEventLock() {
  LeaveCriticalSection(&Events().lock);
}

std::string EnvironmentValue(const std::string& name) {
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) return {};
  // The block is "NAME=value" entries, each ended by a NUL, then one more NUL.
  std::vector<const char*> entries;
  for (const char* entry = block; *entry != '\0'; entry += strlen(entry) + 1) {
    entries.push_back(entry);
  }
  entries.push_back(nullptr);
  std::string value = FindEnvironmentValue(entries.data(), name);
  FreeEnvironmentStringsA(block);
  return value;
}

int ActiveCodePage() {
  return static_cast<int>(GetACP());
}

std::vector<uint32_t> CaptureCodeAddresses(int skip, int max) {
  std::vector<void*> frames(static_cast<size_t>(max > 0 ? max : 0));
  if (frames.empty()) return {};
  // One more frame for this function itself, as on the other platforms.
  const WORD count = RtlCaptureStackBackTrace(
      static_cast<DWORD>(skip + 1), static_cast<DWORD>(frames.size()), frames.data(), nullptr);
  std::vector<uint32_t> addresses;
  for (WORD i = 0; i < count; ++i) {
    addresses.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frames[i])));
  }
  return addresses;
}

void WriteStandardOutput(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(out, text.data() + done, chunk, &written, nullptr) || written == 0) return;
    done += written;
  }
}

void Halt(int exitCode) {
  // A Ctrl-C from here on waits for the end that is already under way.
  EnterCriticalSection(&Events().lock);
  Process.ExitCode = exitCode;
  RunExitProcs();
  if (Process.ErrorPending) WriteStandardOutput(PlatformErrorReport(Process));
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(Process.ExitCode));
}

void HoldTerminationSignals(bool hold) {
  EventState& state = Events();
  if (hold == state.held) return;
  state.held = hold;
  if (hold) {
    EnterCriticalSection(&state.lock);
  } else {
    LeaveCriticalSection(&state.lock);
  }
}
