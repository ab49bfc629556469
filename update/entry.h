#pragma once
// The program entry: the command line, the screen, the title, the
// configuration directory, the update sequence, and the screen put back.

#include <string>

// A text with the ASCII letters a to z made upper case.
std::string UpperStr(const std::string& text);
// Appends a backslash to a text that is not empty and does not already end
// in a backslash or a slash.
std::string AddBackslash(const std::string& text);

std::string ConfigDirFromEnvironment();
void DrawTitleScreen();

// Sets BatchMode and SfiMode from the first argument.
void ReadCommandLine();

// Steps 2 to 10 of the main sequence: from ScreenInit to ScreenDone.
void MainSequence();

// The one-time start-up of the program's units, before the main sequence.
void StartUp();

// The text shown on title row 3, after one blank.
extern const char* const kNoticeText;
