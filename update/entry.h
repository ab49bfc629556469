#pragma once
// The program entry: the command line, the screen, the title, the
// configuration directory, the update sequence, and the screen put back.

#include <string>

#include "platform/console_device.h"

// A text with the ASCII letters a to z made upper case.
std::string UpperStr(const std::string& text);
// Appends a backslash to a text that is not empty and does not already end
// in a backslash or a slash.
std::string AddBackslash(const std::string& text);

std::string ConfigDirFromEnvironment();
void DrawTitleScreen();

// Sets BatchMode and SfiMode from the first argument.
void ReadCommandLine();

// The main sequence from ScreenInit to ScreenDone, on the platform's
// console; the second form over a given console device (benchmarks).
void MainSequence();
void MainSequence(ConsoleDevice& device);

// Every piece of program-wide state back as a new process has it, so that a
// test or a benchmark can run the program's parts again.
void ResetProgramState();

// The one-time start-up of the program's units, before the main sequence.
void StartUp();

// The text shown on title row 3, after one blank.
extern const char* const kNoticeText;
