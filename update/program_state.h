#pragma once
// The program-wide state of the update utility.

#include <string>

struct ProgramState {
  bool BatchMode = false;     // first argument exactly "/FORCE"
  bool SfiMode = false;       // first argument "-SFI" in any case
  std::string ConfigDir;      // leading part of every configuration file path
  bool ConvertedAny = false;  // a conversion has started; never cleared
};
extern ProgramState Program;

inline const std::string TargetVersion = "6.01";
