// The platform-neutral half of the process services: the command line as
// main gave it, the end-of-program handlers and the runtime error report.

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/process.h"

ProcessState Process;

namespace {
std::vector<std::string> commandLine;

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

bool NameMatches(const char* entry, const std::string& name) {
  size_t i = 0;
  for (; i < name.size(); ++i) {
    if (entry[i] == '\0' || entry[i] == '=') return false;
    if (std::toupper(static_cast<unsigned char>(entry[i])) !=
        std::toupper(static_cast<unsigned char>(name[i])))
      return false;
  }
  return entry[i] == '=';
}
}  // namespace

void SetCommandLine(int argc, char** argv) {
  commandLine.assign(argv, argv + argc);
}

std::string CommandArgument(int n) {
  if (n < 0 || n >= static_cast<int>(commandLine.size())) return {};
  return commandLine[n];
}

int CommandArgumentCount() {
  return commandLine.empty() ? 0 : static_cast<int>(commandLine.size()) - 1;
}

std::string FindEnvironmentValue(const char* const* environment, const std::string& name) {
  if (environment == nullptr || name.empty()) return {};
  for (const char* const* entry = environment; *entry != nullptr; ++entry) {
    if (NameMatches(*entry, name)) return std::string(*entry + name.size() + 1);
  }
  return {};
}

void AddExitProc(ExitProc proc) { Process.ExitProcs.push_back(proc); }

void AddFinalProc(ExitProc proc) { Process.FinalProcs.push_back(proc); }

void RunExitProcs() {
  // Each handler is taken off the list before it runs, so a handler that
  // ends the program again does not run twice.
  while (!Process.ExitProcs.empty()) {
    ExitProc proc = Process.ExitProcs.back();
    Process.ExitProcs.pop_back();
    proc();
  }
  while (!Process.FinalProcs.empty()) {
    ExitProc proc = Process.FinalProcs.back();
    Process.FinalProcs.pop_back();
    proc();
  }
}

std::string PlatformErrorReport(const ProcessState& state) {
  std::string report =
      "Runtime error " + std::to_string(state.ErrorNumber) + " at $" + Hex8(state.ErrorAddress) + "\n";
  for (uint32_t address : state.Trace) report += "  $" + Hex8(address) + "\n";
  report += "\n";
  return report;
}
