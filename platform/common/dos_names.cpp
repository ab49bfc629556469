#include "platform/common/dos_names.h"

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

DosPath SplitDosPath(std::string_view path) {
  DosPath result;
  result.Absolute = !path.empty() && (path[0] == '\\' || path[0] == '/');
  result.TrailingSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');
  std::string name;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!name.empty()) result.Names.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) result.Names.push_back(name);
  return result;
}

int PickCaseMatch(const std::vector<std::string>& entries, std::string_view wanted) {
  int best = -1;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == wanted) return static_cast<int>(i);
    if (EqualIgnoringAsciiCase(entries[i], wanted) &&
        (best < 0 || entries[i] < entries[static_cast<size_t>(best)]))
      best = static_cast<int>(i);
  }
  return best;
}
