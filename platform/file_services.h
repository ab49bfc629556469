#pragma once
// File services in the DOS numbering the program's files expect. Every
// operation returns a result code: 0 success, 2 file not found, 3 path not
// found, 5 access denied, 100-106 file-state errors, 150-162 device errors.
//
// Names behave as on the system the files come from: '\' and '/' both
// separate names; a name that does not exist as spelled is found under any
// other ASCII case spelling; a new name is created as spelled, and counts as
// taken when it exists in any case spelling.

#include <cstddef>
#include <cstdint>
#include <string>

// The mode record files are opened in: 2 read-write, plus 64 no sharing
// restriction. InitTextUi sets 66.
extern uint8_t FileMode;

// Directory entry attributes.
constexpr uint8_t faReadOnly = 1;
constexpr uint8_t faHidden = 2;
constexpr uint8_t faSysFile = 4;
constexpr uint8_t faVolumeId = 8;
constexpr uint8_t faDirectory = 16;
constexpr uint8_t faArchive = 32;

struct SearchRecord {
  uint8_t Attr = 0;
  uint64_t Size = 0;  // 64-bit, so no file is misjudged by truncation
  std::string Name;   // as spelled on disk
};

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

class FileServices {
 public:
  virtual ~FileServices() = default;

  // Looks for the entry named by path. Entries with Hidden, System, Volume or
  // Directory set but absent from the mask are skipped; only regular files
  // are files. 0 when found, 18 when nothing is found, else the error.
  virtual uint16_t FindFirstEntry(const std::string& path, uint8_t mask, SearchRecord& found) = 0;

  // Opens an existing file in FileMode.
  virtual uint16_t OpenExisting(const std::string& path, FileHandle& handle) = 0;
  // Creates a new file under a name that is not taken in any case spelling,
  // never through an existing link.
  virtual uint16_t CreateExclusive(const std::string& path, FileHandle& handle) = 0;
  // Reads up to `bytes`, fewer only at the end of the file.
  virtual uint16_t Read(FileHandle handle, void* buffer, size_t bytes, size_t& done) = 0;
  virtual uint16_t Write(FileHandle handle, const void* buffer, size_t bytes) = 0;
  // Flushes a file's data to stable storage.
  virtual uint16_t Flush(FileHandle handle) = 0;
  virtual uint16_t Close(FileHandle handle) = 0;

  // Gives an existing file a second name that is not taken in any case
  // spelling: a hard link, or an exclusive, flushed copy where the file
  // system has no hard links. The existing name is never moved away.
  virtual uint16_t AddName(const std::string& existing, const std::string& newName) = 0;
  // Renames `from` over `to` in one step.
  virtual uint16_t ReplaceName(const std::string& from, const std::string& to) = 0;
  virtual uint16_t Remove(const std::string& path) = 0;
  // Flushes the directory that holds `path`, so that names made or replaced
  // in it survive a power loss.
  virtual uint16_t FlushDirectory(const std::string& path) = 0;
};

// The platform's file services.
FileServices& PlatformFiles();
