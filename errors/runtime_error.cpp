#include "errors/runtime_error.h"

#include <array>
#include <utility>

#include "errors/message_writer.h"
#include "platform/process.h"
#include "textui/console.h"

namespace {

constexpr std::array<std::pair<uint16_t, const char*>, 49> kErrorTexts = {{
    {1, "Invalid DOS functioncode"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Not enough memory"},
    {10, "Invalid environment"},
    {11, "Invalid format"},
    {12, "Invalid file access code"},
    {15, "Invalid drive number"},
    {16, "Cannot remove current directory"},
    {17, "Cannot rename across drives"},
    {18, "No more files"},
    {100, "Disk read error"},
    {101, "Disk write error"},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk is write-protected"},
    {151, "Unknown unit"},
    {152, "Drive not ready"},
    {153, "Unknown command"},
    {154, "CRC error in data"},
    {155, "Bad drive request structure length"},
    {156, "Disk seek error"},
    {157, "Unknown media type"},
    {158, "Sector not found"},
    {159, "Printer out of paper"},
    {160, "Device write fault"},
    {161, "Device read fault"},
    {162, "Hardware failure"},
    {200, "Division by zero"},
    {201, "Range check error"},
    {202, "Stack overflow error"},
    {203, "Heap overflow error"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {208, "Overlay manager not installed"},
    {209, "Overlay file read error"},
    {210, "Object not initialized"},
    {211, "Call to abstract method"},
    {212, "Stream registration error"},
    {213, "Collection index out of range"},
    {214, "Collection overflow error"},
}};

}  // namespace

std::string DosErrorText(uint16_t number) {
  for (const auto& [n, text] : kErrorTexts) {
    if (n == number) return text;
  }
  return "Unknown runtime error #" + std::to_string(number);
}

std::string HexByte(uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 15]};
}

std::string HexWord(uint16_t value) {
  return HexByte(static_cast<uint8_t>(value >> 8)) + HexByte(static_cast<uint8_t>(value & 0xFF));
}

void RuntimeErrorHandler() {
  if (!Process.ErrorPending) return;
  Console.CurrentAttr = 7;
  ConsoleWrite("\r\n");
  MessageWrite(0, 0, '!', DosErrorText(Process.ErrorNumber) + ", program aborted.");
  MessageWrite(0, 0, '!',
               "Error address : " + HexWord(static_cast<uint16_t>(Process.ErrorAddress >> 16)) +
                   ":" + HexWord(static_cast<uint16_t>(Process.ErrorAddress & 0xFFFF)));
  Process.ExitCode = 254;
}

void InstallRuntimeErrorHandler() { AddExitProc(RuntimeErrorHandler); }

void RunError(uint16_t number) {
  // A second error while the handlers run (say, a console that fails while
  // the report is written) must not start the report over.
  if (Process.ErrorPending) Halt(Process.ExitCode);
  Process.ErrorPending = true;
  Process.ErrorNumber = number;
  Process.Trace = CaptureCodeAddresses(1, 8);
  // The code address of an error is the return address into the code that
  // raised it.
  Process.ErrorAddress = Process.Trace.empty() ? 0 : Process.Trace.front();
  Halt(number);
}
