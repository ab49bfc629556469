#include "update/entry.h"

#include "errors/runtime_error.h"
#include "platform/file_services.h"
#include "platform/process.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/conversion.h"
#include "update/program_state.h"
#include "update/update_sequence.h"

ProgramState Program;

const char* const kNoticeText = "Keep a copy of your configuration directory before you convert.";

namespace {
std::string Ch(uint8_t c) {
  return std::string(1, static_cast<char>(c));
}
}  // namespace

std::string UpperStr(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return upper;
}

std::string AddBackslash(const std::string& text) {
  if (text.empty() || text.back() == '\\' || text.back() == '/') return text;
  return text + "\\";
}

std::string ConfigDirFromEnvironment() {
  return AddBackslash(UpperStr(EnvironmentValue("TIRVEN"))).substr(0, 255);
}

void DrawTitleScreen() {
  Geometry.CentreRows = false;
  Geometry.CentreColumns = false;
  const int w = Console.ScreenColumns, h = Console.ScreenRows;
  const auto inner = static_cast<int16_t>(w - 2);
  PutText(1, 1, 113, Ch(213) + RepeatChar('\xCD', inner) + Ch(184), 0);
  PutText(1, 2, 113, Ch(179) + RepeatChar(' ', inner) + Ch(179), 0);
  PutText(1, 3, 113, Ch(179) + RepeatChar(' ', inner) + Ch(179), 0);
  PutText(1, 4, 113, Ch(212) + RepeatChar('\xCD', inner) + Ch(190), 0);
  PutText(1, h - 1, 1, RepeatChar('\xCD', static_cast<int16_t>(w)), 0);
  PutText(1, h, 1, "", w);
  PutText(3, 2, 112, " UPDATE TIRVEN version 4.33 to version " + TargetVersion, 0);
  PutText(3, 3, 112, std::string(" ") + kNoticeText, 0);
  Geometry.CentreRows = true;
  Geometry.CentreColumns = true;
}

void ReadCommandLine() {
  const std::string first = CommandArgument(1);
  Program.BatchMode = first == "/FORCE";
  Program.SfiMode = UpperStr(first) == "-SFI";
}

void StartUp() {
  InstallRuntimeErrorHandler();
  SelectFrameSet();
}

namespace {

// Everything after ScreenInit.
void RunOnConsole() {
  InitTextUi();
  ReadCommandLine();
  if (!Program.BatchMode) {
    SetCursorShape(CursorHidden);
    ClearWindow();
    FillScreen('\xB1', 7);
    DrawTitleScreen();
  }
  SetMenuColours(11, 1, 30, 113, 7, 3, 7, 14);
  SetDialogColours(112, 30, 16, 112);
  Program.ConfigDir =
      Program.BatchMode ? CommandArgument(2).substr(0, 255) : ConfigDirFromEnvironment();
  AskToUpdate();
  if (!Program.BatchMode) {
    SetCursorShape(CursorUnderline);
    SetTextWindow(1, 5, Console.ScreenColumns, Console.ScreenRows);
    Console.CurrentAttr = 7;
    ClearWindow();
    CursorTo(1, 1);
  }
  ScreenDone();
}

}  // namespace

void MainSequence() {
  ScreenInit();
  RunOnConsole();
}

void MainSequence(ConsoleDevice& device) {
  ScreenInit(device);
  RunOnConsole();
}

void ResetProgramState() {
  Console = ConsoleServices{};
  Geometry = ScreenGeometry{};
  Colours = ColourScheme{};
  SavedScreens = SavedScreenStack{};
  Program = ProgramState{};
  Process = ProcessState{};
  IoResultCode = 0;
  FileMode = 2;
  SelectFrameSet();
}
