#pragma once
// File names as the system's files expect them, whatever the file system.

#include <string>
#include <string_view>
#include <vector>

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

struct DosPath {
  bool Absolute = false;           // began with a separator
  std::vector<std::string> Names;  // the names between separators, empty ones dropped
  bool TrailingSeparator = false;
};

// Splits at '\' and '/'.
DosPath SplitDosPath(std::string_view path);

// Which of a directory's names stands for `wanted`: the exact spelling if it
// is there, else the first case-insensitive match in byte order; -1 for none.
int PickCaseMatch(const std::vector<std::string>& entries, std::string_view wanted);
