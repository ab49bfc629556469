#pragma once
// File services that fail on demand, and the helpers file tests stand on: a
// scratch directory and a snapshot of what a directory holds.

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "platform/file_services.h"

// Forwards every operation to another FileServices and makes the Nth call
// (counting every call, 1-based) fail with a given code, so a test can fail
// operation 1, 2, ... until a conversion completes. A failed call does not
// reach the layer below, except Close: a descriptor is released even when
// its close reports an error.
class FaultyFiles final : public FileServices {
 public:
  explicit FaultyFiles(FileServices& inner) : inner_(inner) {}

  // Fails call number `n` with `code`; n = 0 fails none.
  void FailAt(int n, uint16_t code) {
    failAt_ = n;
    code_ = code;
  }
  // Runs just before the chosen call fails: what else happens to the
  // directory at that moment.
  void WhenFailing(std::function<void()> action) { whenFailing_ = std::move(action); }
  int Calls() const { return static_cast<int>(operations_.size()); }
  // The name of every call so far, in order ("Read", "AddName", ...).
  const std::vector<std::string>& Operations() const { return operations_; }
  // True once the chosen call has failed.
  bool Injected() const { return injected_; }

  uint16_t FindFirstEntry(const std::string& path, uint8_t mask, SearchRecord& found) override;
  uint16_t OpenExisting(const std::string& path, FileHandle& handle) override;
  uint16_t CreateExclusive(const std::string& path, FileHandle& handle) override;
  uint16_t Read(FileHandle handle, void* buffer, size_t bytes, size_t& done) override;
  uint16_t Write(FileHandle handle, const void* buffer, size_t bytes) override;
  uint16_t Flush(FileHandle handle) override;
  uint16_t Close(FileHandle handle) override;
  uint16_t AddName(const std::string& existing, const std::string& newName) override;
  uint16_t ReplaceName(const std::string& from, const std::string& to) override;
  uint16_t Remove(const std::string& path) override;
  uint16_t FlushDirectory(const std::string& path) override;

 private:
  // Counts the call; true when this one is to fail.
  bool Fails(const char* operation);

  FileServices& inner_;
  int failAt_ = 0;
  uint16_t code_ = 0;
  bool injected_ = false;
  std::vector<std::string> operations_;
  std::function<void()> whenFailing_;
};

// What a directory entry is, and for a regular file its size and bytes.
struct DirectoryEntry {
  char Kind = '?';  // 'f' regular file, 'd' directory, 'p' FIFO, 'l' symbolic link, '?' other
  uint64_t Size = 0;
  std::string Bytes;  // left empty above kSnapshotBytes: such a file is told by its size
  bool operator==(const DirectoryEntry&) const = default;
};
constexpr uint64_t kSnapshotBytes = uint64_t{64} << 20;
// Kind, size and a digest of the bytes: a failed comparison stays readable.
void PrintTo(const DirectoryEntry& entry, std::ostream* os);
// Every name in a directory, hidden ones included, and what it holds.
using DirectorySnapshot = std::map<std::string, DirectoryEntry>;
DirectorySnapshot SnapshotDirectory(const std::string& directory);
// A regular file's entry, for building expected snapshots.
DirectoryEntry FileEntry(const std::string& bytes);

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // The path with a trailing separator, as ConfigDir holds it.
  std::string ConfigDir() const { return path_ + "/"; }
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  // A file of `size` bytes that reads as zeros, without writing them.
  void WriteSparse(const std::string& name, uint64_t size) const;
  void MakeDirectory(const std::string& name) const;
  void MakeFifo(const std::string& name) const;

 private:
  std::string path_;
};
