#include "reliability_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/common/cp437.h"
#include "update/conversion.h"

namespace {

std::string Hex(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A hidden new file of `fileName` that a crash may leave: ".<name>.new" with
// an optional number.
bool IsLeftNewFile(const std::string& name, const std::string& fileName) {
  const std::string prefix = "." + fileName + ".new";
  if (name.rfind(prefix, 0) != 0) return false;
  return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

const ConversionSpec& SpecOf(const std::string& fileName) {
  for (const ConversionSpec& spec : ConversionSpecs()) {
    if (spec.FileName == fileName) return spec;
  }
  throw std::runtime_error("no conversion registered for " + fileName);
}

const std::vector<std::string>& BatchOrder() {
  static const std::vector<std::string> order = [] {
    std::vector<ConversionSpec> specs = ConversionSpecs();
    std::sort(specs.begin(), specs.end(), [](const ConversionSpec& a, const ConversionSpec& b) {
      return a.BatchPosition < b.BatchPosition;
    });
    std::vector<std::string> names;
    for (const ConversionSpec& spec : specs) names.push_back(spec.FileName);
    return names;
  }();
  return order;
}

std::string OldRecords(const ConversionSpec& spec, size_t records, uint32_t seed) {
  std::string bytes(records * spec.OldSize, '\0');
  const uint32_t salt = seed * 101 + spec.OldSize;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const size_t record = i / spec.OldSize, at = i % spec.OldSize;
    bytes[i] = static_cast<char>(record * 37 + at * 11 + salt);
  }
  return bytes;
}

std::string Converted(const ConversionSpec& spec, const std::string& old) {
  std::string converted;
  converted.reserve(old.size() / spec.OldSize * spec.NewSize);
  std::vector<uint8_t> oldRecord(spec.OldSize), newRecord(spec.NewSize);
  for (size_t at = 0; at + spec.OldSize <= old.size(); at += spec.OldSize) {
    std::copy_n(old.begin() + static_cast<long>(at), spec.OldSize, oldRecord.begin());
    std::fill(newRecord.begin(), newRecord.end(), 0);
    spec.ConvertRecord(oldRecord.data(), newRecord.data());
    converted.append(newRecord.begin(), newRecord.end());
  }
  return converted;
}

void WriteConfiguration(const std::string& dir, const Configuration& files) {
  for (const auto& [name, bytes] : files) {
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << dir << "/" << name;
  }
}

Configuration ConfigurationOf(const std::map<std::string, size_t>& records) {
  Configuration files;
  uint32_t seed = 1;
  for (const auto& [name, count] : records) files[name] = OldRecords(SpecOf(name), count, seed++);
  return files;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> BackupNames(const ConversionSpec& spec) {
  std::vector<std::string> names{spec.BackupName};
  for (char digit = '1'; digit <= '9'; ++digit) names.push_back(spec.BackupStem + digit);
  return names;
}

::testing::AssertionResult NothingLost(const std::string& dir, const Configuration& before,
                                       bool crashed, std::vector<std::string>* converted) {
  std::vector<std::string> expectedNames;
  for (const auto& [name, old] : before) {
    const ConversionSpec& spec = SpecOf(name);
    const std::string path = dir + "/" + name;
    if (!IsRegularFile(path)) return ::testing::AssertionFailure() << name << " is gone";
    const std::string now = ReadFileBytes(path);
    if (now != old && now != Converted(spec, old)) {
      return ::testing::AssertionFailure()
             << name << " holds " << now.size() << " bytes, neither the old file (" << old.size()
             << ") nor the converted one";
    }
    if (converted != nullptr && now != old) converted->push_back(name);
    expectedNames.push_back(name);
    bool backedUp = false;
    for (const std::string& backup : BackupNames(spec)) {
      if (!Exists(dir + "/" + backup)) continue;
      if (ReadFileBytes(dir + "/" + backup) != old)
        return ::testing::AssertionFailure() << "backup " << backup << " is not the old " << name;
      expectedNames.push_back(backup);
      backedUp = true;
    }
    if (now != old && !backedUp)
      return ::testing::AssertionFailure() << name << " is converted and its old bytes are gone";
  }
  for (const std::string& name : ListNames(dir)) {
    if (std::find(expectedNames.begin(), expectedNames.end(), name) != expectedNames.end())
      continue;
    // The new file of a conversion, or of a backup made as a copy.
    const bool leftByCrash =
        crashed && std::any_of(before.begin(), before.end(), [&](const auto& file) {
          const std::vector<std::string> backups = BackupNames(SpecOf(file.first));
          return IsLeftNewFile(name, file.first) ||
                 std::any_of(backups.begin(), backups.end(), [&](const std::string& backup) {
                   return IsLeftNewFile(name, backup);
                 });
        });
    if (!leftByCrash) return ::testing::AssertionFailure() << "stray entry " << name;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ConvertedExactly(const std::string& dir, const Configuration& before,
                                            const std::vector<std::string>& convertedFiles) {
  std::map<std::string, std::string> expected;
  for (const auto& [name, old] : before) {
    const ConversionSpec& spec = SpecOf(name);
    const bool isConverted =
        std::find(convertedFiles.begin(), convertedFiles.end(), name) != convertedFiles.end();
    expected[name] = isConverted ? Converted(spec, old) : old;
    if (isConverted) expected[spec.BackupName] = old;
  }
  std::vector<std::string> names = ListNames(dir);
  for (const auto& [name, bytes] : expected) {
    if (!IsRegularFile(dir + "/" + name))
      return ::testing::AssertionFailure() << name << " missing";
    if (ReadFileBytes(dir + "/" + name) != bytes) {
      return ::testing::AssertionFailure()
             << name << " does not hold the expected " << bytes.size() << " bytes";
    }
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
  }
  if (!names.empty()) return ::testing::AssertionFailure() << "stray entry " << names.front();
  return ::testing::AssertionSuccess();
}

std::string ProgramPath() {
  // Another build of the program (say, one with the sanitizers) may be put
  // under the same tests.
  const char* other = std::getenv("TIRVEN_UPDATE_EXE");
  return other != nullptr && *other != '\0' ? other : TIRVEN_EXE;
}

std::vector<std::string> SignalledAtFirstCall(const std::string& log, const std::string& call,
                                              const std::string& signal,
                                              const std::string& configDir) {
  return {StracePath(),
          "-f",
          "-qq",
          "-o",
          log,
          "-e",
          "trace=" + call,
          "-e",
          "inject=" + call + ":signal=" + signal + ":when=1",
          ProgramPath(),
          "/FORCE",
          configDir};
}

std::string StracePath() {
  const std::string path = TIRVEN_STRACE;
  return !path.empty() && access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::string StraceProblem() {
  static const std::string problem = [] {
    const std::string strace = StracePath();
    if (strace.empty()) return std::string("strace is not installed");
    const std::string command = strace + " -f -qq -o /dev/null /bin/true >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
      return std::string("strace cannot trace a program here (ptrace refused?)");
    return std::string();
  }();
  return problem;
}

std::vector<std::string> ProgramEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> environment{"PATH=/usr/bin:/bin", "TERM=xterm", "LANG=C.UTF-8",
                                       "HOME=/"};
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

BatchRun RunBatch(const std::string& configDir, std::function<void(PtyOptions&)> adjust) {
  PtyOptions options;
  options.Argv = {ProgramPath(), "/FORCE", configDir};
  options.Environment = ProgramEnvironment();
  if (adjust) adjust(options);
  BatchRun run;
  PtySession session;
  if (!session.Start(options)) {
    ADD_FAILURE() << session.Error();
    return run;
  }
  TerminalScreen screen;
  for (int n = 0; n < 100 && session.WaitForKeyWait(); ++n) {
    screen.Feed(session.Output().substr(screen.Fed()));
    run.Screens.push_back(screen.Dump());
    session.Send("\r");
  }
  run.Finished = session.WaitForExit(run.Exit);
  run.Output = session.Output();
  run.KeyWaits = session.KeyWaits();
  return run;
}

::testing::AssertionResult EndsInRuntimeError(const std::string& output, int code,
                                              const std::string& text) {
  TerminalScreen screen;
  screen.Feed(output);
  if (!screen.Shows(text + ", program aborted."))
    return ::testing::AssertionFailure() << "no \"" << text << "\" report:\n" << screen.Dump();
  if (!screen.Shows("Error address : "))
    return ::testing::AssertionFailure() << "no error address:\n" << screen.Dump();
  if (output.find("Runtime error " + std::to_string(code) + " at $") == std::string::npos)
    return ::testing::AssertionFailure() << "no platform report of error " << code;
  return ::testing::AssertionSuccess();
}

// ---- The terminal -------------------------------------------------------

TerminalScreen::TerminalScreen(int columns, int rows)
    : columns_(columns),
      rows_(rows),
      cells_(static_cast<size_t>(rows),
             std::vector<std::string>(static_cast<size_t>(columns), " ")) {}

void TerminalScreen::LineFeed() {
  if (row_ + 1 < rows_) {
    ++row_;
    return;
  }
  cells_.erase(cells_.begin());
  cells_.emplace_back(static_cast<size_t>(columns_), " ");
}

void TerminalScreen::Put(const std::string& glyph) {
  if (column_ >= columns_) {
    if (autowrap_) {
      column_ = 0;
      LineFeed();
    } else {
      column_ = columns_ - 1;
    }
  }
  cells_[static_cast<size_t>(row_)][static_cast<size_t>(column_)] = glyph;
  ++column_;
  if (!autowrap_ && column_ >= columns_) column_ = columns_ - 1;
}

void TerminalScreen::Feed(const std::string& more) {
  fed_ += more.size();
  const std::string bytes = pending_ + more;
  pending_.clear();
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (b == 0x1B) {
      if (i + 1 >= bytes.size()) {
        pending_ = bytes.substr(i);
        return;
      }
      if (bytes[i + 1] != '[') {
        i += 2;
        continue;
      }
      size_t j = i + 2;
      std::string params;
      while (j < bytes.size() && bytes[j] >= 0x20 && bytes[j] <= 0x3F) params += bytes[j++];
      if (j >= bytes.size()) {
        pending_ = bytes.substr(i);
        return;
      }
      const char final = bytes[j];
      i = j + 1;
      std::vector<int> numbers;
      std::stringstream list(params);
      for (std::string part; std::getline(list, part, ';');)
        numbers.push_back(part.empty() || part[0] == '?' ? 0 : std::atoi(part.c_str()));
      auto number = [&](size_t n, int fallback) {
        return n < numbers.size() && numbers[n] > 0 ? numbers[n] : fallback;
      };
      if (final == 'H') {
        row_ = std::clamp(number(0, 1) - 1, 0, rows_ - 1);
        column_ = std::clamp(number(1, 1) - 1, 0, columns_ - 1);
      } else if (final == 'C') {
        column_ = std::min(column_ + number(0, 1), columns_ - 1);
      } else if (final == 'J' && params == "2") {
        for (auto& row : cells_) std::fill(row.begin(), row.end(), " ");
      } else if ((final == 'h' || final == 'l') && params == "?7") {
        autowrap_ = final == 'h';
      }
      continue;
    }
    if (b == '\r') {
      column_ = 0;
    } else if (b == '\n') {
      LineFeed();
    } else if (b == '\b') {
      if (column_ > 0) --column_;
    } else if (b >= 0x20 && b != 0x7F) {
      size_t length = 1;
      if (b >= 0xF0) {
        length = 4;
      } else if (b >= 0xE0) {
        length = 3;
      } else if (b >= 0xC0) {
        length = 2;
      }
      if (i + length > bytes.size()) {
        pending_ = bytes.substr(i);
        return;
      }
      Put(bytes.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
}

std::string TerminalScreen::Row(int row) const {
  std::vector<std::string> cells = cells_[static_cast<size_t>(row - 1)];
  while (!cells.empty() && cells.back() == " ") cells.pop_back();
  std::string text;
  for (const std::string& cell : cells) text += cell;
  return text;
}

bool TerminalScreen::Shows(const std::string& text) const {
  for (int row = 1; row <= rows_; ++row) {
    if (Row(row).find(text) != std::string::npos) return true;
  }
  return false;
}

std::string TerminalScreen::Dump() const {
  std::string text;
  for (int row = 1; row <= rows_; ++row) text += "|" + Row(row) + "\n";
  return text;
}

std::vector<std::string> TerminalOutputFaults(const std::string& output) {
  std::vector<std::string> faults;
  auto fault = [&](size_t at, const std::string& what) {
    if (faults.size() < 20) faults.push_back("at byte " + std::to_string(at) + ": " + what);
  };
  for (size_t i = 0; i < output.size();) {
    const auto b = static_cast<uint8_t>(output[i]);
    if (b == 0x1B) {
      // The backend's own sequences: CSI with digits and ';' for the cursor,
      // colours and clearing; three private modes; the cursor's shape.
      size_t j = i + 1;
      std::string params, intermediates;
      if (j < output.size() && output[j] == '[') {
        ++j;
        while (j < output.size() && output[j] >= 0x30 && output[j] <= 0x3F) params += output[j++];
        while (j < output.size() && output[j] >= 0x20 && output[j] <= 0x2F)
          intermediates += output[j++];
      }
      const char final = j < output.size() ? output[j] : '\0';
      const bool plain =
          params.find_first_not_of("0123456789;") == std::string::npos && intermediates.empty();
      const bool known =
          output.compare(i + 1, 1, "[") == 0 &&
          ((plain && (final == 'H' || final == 'C' || final == 'J' || final == 'm')) ||
           ((final == 'h' || final == 'l') && intermediates.empty() &&
            (params == "?7" || params == "?25" || params == "?1036")) ||
           (final == 'q' && intermediates == " " && (params == "0" || params == "4")));
      if (!known) fault(i, "escape sequence not of the backend: ESC" + output.substr(i + 1, j - i));
      i = j + 1;
      continue;
    }
    if (b < 0x20 || b == 0x7F) {
      fault(i, "control byte " + Hex(b));
      ++i;
      continue;
    }
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    char32_t code = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2, code = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3, code = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4, code = b & 0x07;
    }
    bool valid = length > 0 && i + length <= output.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto c = static_cast<uint8_t>(output[i + k]);
      valid = (c & 0xC0) == 0x80;
      code = (code << 6) | (c & 0x3F);
    }
    if (valid && ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
                  (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF))
      valid = false;
    if (!valid) {
      fault(i, "malformed UTF-8 from byte " + Hex(b));
      ++i;
      continue;
    }
    if (code >= 0x80 && code <= 0x9F)
      fault(i, "C1 control U+00" + Hex(static_cast<int>(code)).substr(2));
    i += length;
  }
  return faults;
}

char LastPrivateMode(const std::string& output, int mode) {
  const std::string prefix = "\x1b[?" + std::to_string(mode);
  char last = 0;
  for (size_t at = output.find(prefix); at != std::string::npos; at = output.find(prefix, at + 1)) {
    const size_t end = at + prefix.size();
    if (end < output.size() && (output[end] == 'h' || output[end] == 'l')) last = output[end];
  }
  return last;
}

std::string Cp437Text(const std::string& bytes) {
  std::string text;
  for (char c : bytes) text += Cp437ToUtf8(static_cast<uint8_t>(c));
  return text;
}
