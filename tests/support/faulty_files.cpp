#include "support/faulty_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

bool FaultyFiles::Fails(const char* operation) {
  operations_.emplace_back(operation);
  if (injected_ || Calls() != failAt_) return false;
  injected_ = true;
  if (whenFailing_) whenFailing_();
  return true;
}

uint16_t FaultyFiles::FindFirstEntry(const std::string& path, uint8_t mask, SearchRecord& found) {
  if (Fails("FindFirstEntry")) return code_;
  return inner_.FindFirstEntry(path, mask, found);
}

uint16_t FaultyFiles::OpenExisting(const std::string& path, FileHandle& handle) {
  if (Fails("OpenExisting")) return code_;
  return inner_.OpenExisting(path, handle);
}

uint16_t FaultyFiles::CreateExclusive(const std::string& path, FileHandle& handle) {
  if (Fails("CreateExclusive")) return code_;
  return inner_.CreateExclusive(path, handle);
}

uint16_t FaultyFiles::Read(FileHandle handle, void* buffer, size_t bytes, size_t& done) {
  done = 0;
  if (Fails("Read")) return code_;
  return inner_.Read(handle, buffer, bytes, done);
}

uint16_t FaultyFiles::Write(FileHandle handle, const void* buffer, size_t bytes) {
  if (Fails("Write")) return code_;
  return inner_.Write(handle, buffer, bytes);
}

uint16_t FaultyFiles::Flush(FileHandle handle) {
  if (Fails("Flush")) return code_;
  return inner_.Flush(handle);
}

uint16_t FaultyFiles::Close(FileHandle handle) {
  const bool fails = Fails("Close");
  const uint16_t code = inner_.Close(handle);
  return fails ? code_ : code;
}

uint16_t FaultyFiles::AddName(const std::string& existing, const std::string& newName) {
  if (Fails("AddName")) return code_;
  return inner_.AddName(existing, newName);
}

uint16_t FaultyFiles::ReplaceName(const std::string& from, const std::string& to) {
  if (Fails("ReplaceName")) return code_;
  return inner_.ReplaceName(from, to);
}

uint16_t FaultyFiles::Remove(const std::string& path) {
  if (Fails("Remove")) return code_;
  return inner_.Remove(path);
}

uint16_t FaultyFiles::FlushDirectory(const std::string& path) {
  if (Fails("FlushDirectory")) return code_;
  return inner_.FlushDirectory(path);
}

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return "";
  std::string bytes(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

}  // namespace

DirectorySnapshot SnapshotDirectory(const std::string& directory) {
  DirectorySnapshot snapshot;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) {
    ADD_FAILURE() << "cannot list " << directory;
    return snapshot;
  }
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = directory + "/" + name;
    struct stat st;
    DirectoryEntry& e = snapshot[name];
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      e.Kind = 'f';
      e.Size = static_cast<uint64_t>(st.st_size);
      if (e.Size <= kSnapshotBytes) e.Bytes = ReadWhole(path);
    } else if (S_ISDIR(st.st_mode)) {
      e.Kind = 'd';
    } else if (S_ISFIFO(st.st_mode)) {
      e.Kind = 'p';
    } else if (S_ISLNK(st.st_mode)) {
      e.Kind = 'l';
    }
  }
  closedir(dir);
  return snapshot;
}

void PrintTo(const DirectoryEntry& entry, std::ostream* os) {
  *os << "{" << entry.Kind;
  if (entry.Kind == 'f') {
    uint64_t digest = 1469598103934665603u;  // FNV-1a
    for (char c : entry.Bytes) digest = (digest ^ static_cast<uint8_t>(c)) * 1099511628211u;
    *os << ", " << entry.Size << " bytes, digest " << std::hex << digest << std::dec;
  }
  *os << "}";
}

DirectoryEntry FileEntry(const std::string& bytes) {
  return DirectoryEntry{'f', bytes.size(), bytes};
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tirven-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << PathOf(name);
}

std::string TempDir::Read(const std::string& name) const {
  return ReadWhole(PathOf(name));
}

void TempDir::WriteSparse(const std::string& name, uint64_t size) const {
  const int fd = open(PathOf(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
    ADD_FAILURE() << "cannot make " << PathOf(name) << " " << size << " bytes long";
  if (fd >= 0) close(fd);
}

void TempDir::MakeDirectory(const std::string& name) const {
  if (mkdir(PathOf(name).c_str(), 0755) != 0) ADD_FAILURE() << "cannot make " << PathOf(name);
}

void TempDir::MakeFifo(const std::string& name) const {
  if (mkfifo(PathOf(name).c_str(), 0644) != 0) ADD_FAILURE() << "cannot make " << PathOf(name);
}
