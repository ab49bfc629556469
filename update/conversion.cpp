#include "update/conversion.h"

#include <vector>

#include "errors/runtime_error.h"
#include "platform/process.h"
#include "textui/dialog.h"
#include "textui/draw.h"
#include "textui/status_line.h"
#include "update/program_state.h"

uint16_t IoResultCode = 0;

namespace {

std::vector<ConversionSpec>& Registered() {
  static std::vector<ConversionSpec> specs;
  return specs;
}

// Record I/O goes in blocks of about a mebibyte, whole records each.
constexpr size_t kBlockBytes = size_t{1} << 20;

void ShowOutcome(const KeySet& exitKeys, const std::vector<std::string>& lines,
                 const std::string& button, uint8_t align = 0) {
  DialogBox dialog;
  DialogInit(dialog, exitKeys);
  dialog.Align = align;
  for (const std::string& line : lines) DialogAddLine(dialog, line);
  DialogAddButton(dialog, button);
  DialogRun(dialog);
  DialogDone(dialog);
}

std::string Shown(const std::string& shownName) {
  return Program.ConfigDir + shownName;
}

// What a conversion has made so far, so that a failure can take it back.
struct Rewrite {
  FileServices& files;
  std::string path;     // the configuration file's own name
  std::string backup;   // the backup name made for this conversion
  std::string newFile;  // the new file, until it is renamed over the old name
  FileHandle oldHandle = kNoFile;
  FileHandle newHandle = kNoFile;

  uint16_t Fail(uint16_t code) {
    if (oldHandle != kNoFile) files.Close(oldHandle);
    if (newHandle != kNoFile) files.Close(newHandle);
    if (!newFile.empty()) files.Remove(newFile);
    // The backup goes only while the old file still has its own name; if
    // something else took that name away, the backup is the one copy left.
    SearchRecord still;
    if (!backup.empty() && files.FindFirstEntry(path, faArchive | faHidden, still) == 0)
      files.Remove(backup);
    HoldTerminationSignals(false);
    IoResultCode = code;
    return code;
  }
};

enum class BackupOutcome { Made, ShareViolation, TooMany };

// Gives the file its backup name: the first name, else the stem with 1 to 9.
// At most ten names are tried; a name ending in '0' is never used.
BackupOutcome MakeBackup(const ConversionSpec& spec, FileServices& files, const std::string& path,
                         std::string& backup) {
  backup = Program.ConfigDir + spec.BackupName;
  IoResultCode = files.AddName(path, backup);
  if (IoResultCode == 0) return BackupOutcome::Made;
  if (IoResultCode == 162) return BackupOutcome::ShareViolation;
  for (char digit = '1'; digit <= '9'; ++digit) {
    backup = Program.ConfigDir + spec.BackupStem + digit;
    IoResultCode = files.AddName(path, backup);
    if (IoResultCode == 0) return BackupOutcome::Made;
  }
  return BackupOutcome::TooMany;
}

// A hidden name in the same directory for the records being written; one
// left behind by a crash is never reused.
uint16_t CreateNewFile(FileServices& files, const std::string& fileName, Rewrite& rewrite) {
  uint16_t code = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = Program.ConfigDir + "." + fileName + ".new";
    if (attempt > 0) name += std::to_string(attempt);
    code = files.CreateExclusive(name, rewrite.newHandle);
    if (code == 0) {
      rewrite.newFile = name;
      return 0;
    }
    rewrite.newHandle = kNoFile;
    if (code != 5) break;
  }
  return code;
}

}  // namespace

void RegisterSpec(const ConversionSpec& spec) {
  Registered().push_back(spec);
}

const std::vector<ConversionSpec>& ConversionSpecs() {
  return Registered();
}

void ShowNotFound(const std::string& shownName) {
  ShowOutcome({kEnter, kEsc}, {Shown(shownName), "not found"}, "Continue");
}

void ShowAlreadyUpdated(const std::string& shownName) {
  ShowOutcome({kEnter, kEsc, 'C'},
              {Shown(shownName), "", "has already been updated or does not need to be updated."},
              "Continue");
}

void ShowCorrupt(const std::string& shownName) {
  ShowOutcome({kEnter, kEsc}, {Shown(shownName), "is corrupt"}, "Abort");
}

void ShowShareViolation(const std::string& shownName) {
  ShowOutcome({kEnter, kEsc}, {Shown(shownName), "share violation"}, "Abort");
}

void ShowTooManyBackups(const std::string& shownName) {
  ShowOutcome({kEnter, kEsc}, {"Too many backup files for", Shown(shownName)}, "Abort");
}

void ShowCompleted() {
  ShowOutcome(
      {kEnter, kEsc},
      {"Update procedure completed", "", "Please run TSETUP Index to complete", "update procedure"},
      "Ok");
}

uint16_t ConvertFileOrFail(const ConversionSpec& spec, FileServices& files) {
  SearchRecord found;
  IoResultCode = files.FindFirstEntry(Program.ConfigDir + spec.FileName, faArchive, found);
  if (IoResultCode != 0) {
    ShowNotFound(spec.ShownName);
    return 0;
  }
  // The size is 64 bits wide, so a file of 4 GiB or more is judged by its
  // real size, never by a truncated one.
  if (found.Size % spec.NewSize == 0) {
    ShowAlreadyUpdated(spec.ShownName);
    return 0;
  }
  if (found.Size % spec.OldSize != 0) {
    ShowCorrupt(spec.ShownName);
    return 0;
  }
  // From here on the file is named as the probe found it on disk.
  const std::string path = Program.ConfigDir + found.Name;

  // The file's own name keeps the complete old file until the complete new
  // one replaces it in one step; a signal waits until then.
  HoldTerminationSignals(true);
  Rewrite rewrite{files, path, {}, {}};
  const BackupOutcome backup = MakeBackup(spec, files, path, rewrite.backup);
  if (backup != BackupOutcome::Made) {
    HoldTerminationSignals(false);
    if (backup == BackupOutcome::ShareViolation) ShowShareViolation(spec.ShownName);
    if (backup == BackupOutcome::TooMany) ShowTooManyBackups(spec.ShownName);
    return 0;
  }
  Program.ConvertedAny = true;
  ShowStatus(spec.StatusText, Colours.StatusColour, Colours.StatusHighlightColour);

  if (uint16_t code = files.OpenExisting(rewrite.backup, rewrite.oldHandle)) {
    rewrite.oldHandle = kNoFile;
    return rewrite.Fail(code);
  }
  if (uint16_t code = CreateNewFile(files, found.Name, rewrite)) return rewrite.Fail(code);

  const size_t perBlock = std::max<size_t>(1, kBlockBytes / spec.OldSize);
  std::vector<uint8_t> oldBlock(perBlock * spec.OldSize);
  std::vector<uint8_t> newBlock(perBlock * spec.NewSize);
  for (;;) {
    size_t got = 0;
    if (uint16_t code = files.Read(rewrite.oldHandle, oldBlock.data(), oldBlock.size(), got))
      return rewrite.Fail(code);
    // Record N of the new file comes from record N of the old one; a partial
    // record at the end is no record.
    const size_t records = got / spec.OldSize;
    if (records == 0) break;
    std::fill(newBlock.begin(), newBlock.begin() + records * spec.NewSize, 0);
    for (size_t r = 0; r < records; ++r)
      spec.ConvertRecord(&oldBlock[r * spec.OldSize], &newBlock[r * spec.NewSize]);
    if (uint16_t code = files.Write(rewrite.newHandle, newBlock.data(), records * spec.NewSize))
      return rewrite.Fail(code);
    if (got < oldBlock.size()) break;
  }

  if (uint16_t code = files.Flush(rewrite.newHandle)) return rewrite.Fail(code);
  const uint16_t closedOld = files.Close(rewrite.oldHandle);
  rewrite.oldHandle = kNoFile;
  if (closedOld != 0) return rewrite.Fail(closedOld);
  const uint16_t closedNew = files.Close(rewrite.newHandle);
  rewrite.newHandle = kNoFile;
  if (closedNew != 0) return rewrite.Fail(closedNew);
  if (uint16_t code = files.ReplaceName(rewrite.newFile, path)) return rewrite.Fail(code);
  // The converted file now holds the name and the backup the old records:
  // nothing may be removed any more.
  HoldTerminationSignals(false);
  if (uint16_t code = files.FlushDirectory(path)) {
    IoResultCode = code;
    return code;
  }
  IoResultCode = 0;
  ShowCompleted();
  return 0;
}

void ConvertFile(const ConversionSpec& spec) {
  if (uint16_t code = ConvertFileOrFail(spec, PlatformFiles())) RunError(code);
}
