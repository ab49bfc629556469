#pragma once
// Ctrl-C, Ctrl-Break and closing the console arrive on a thread of their own.
// Their handler takes the lock the main thread holds while it changes the
// console or rewrites a file (HoldTerminationSignals), so an end never cuts
// into either: it waits, puts the console back and ends the process.

// Installs the handler; `restoreConsole` puts the console back. Called once,
// by the console device when it has taken the console over.
void InstallConsoleEventHandler(void (*restoreConsole)());

// Held by the main thread around a change of the console.
class ConsoleEventLock {
 public:
  ConsoleEventLock();
  ~ConsoleEventLock();
  ConsoleEventLock(const ConsoleEventLock&) = delete;
  ConsoleEventLock& operator=(const ConsoleEventLock&) = delete;
};
