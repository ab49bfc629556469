// File services for POSIX: DOS-style names resolved over a case-sensitive
// file system, and the few steps the safe rewrite of a file needs.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/common/dos_names.h"
#include "platform/file_services.h"
#include "platform/posix/errno_map.h"

uint8_t FileMode = 2;

namespace {

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string RootOf(const DosPath& path) {
  return path.Absolute ? "/" : ".";
}

// The names in a directory, in byte order. 0 or the errno.
int ListDirectory(const std::string& dir, std::vector<std::string>& names) {
  names.clear();
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return errno;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return 0;
}

// The spelling on disk of one name in `dir`: the exact one first, then the
// first other case spelling in byte order.
bool FindSpelling(const std::string& dir, const std::string& wanted, std::string& spelled,
                  int& error) {
  error = 0;
  struct stat st;
  if (wanted == "." || wanted == ".." || lstat(Join(dir, wanted).c_str(), &st) == 0) {
    spelled = wanted;
    return true;
  }
  if (errno != ENOENT) {
    error = errno;
    return false;
  }
  std::vector<std::string> names;
  error = ListDirectory(dir, names);
  if (error != 0) return false;
  const int pick = PickCaseMatch(names, wanted);
  if (pick < 0) return false;
  spelled = names[static_cast<size_t>(pick)];
  return true;
}

// The directory part of a path, resolved name by name. 0 or the DOS code.
uint16_t ResolveDirectory(const DosPath& path, size_t count, std::string& dir) {
  dir = RootOf(path);
  for (size_t i = 0; i < count; ++i) {
    std::string spelled;
    int error = 0;
    if (!FindSpelling(dir, path.Names[i], spelled, error)) {
      return error == 0 ? 3 : DosCodeFromErrno(error, IoKind::Other, true);
    }
    dir = Join(dir, spelled);
  }
  return 0;
}

// An existing name: every part found in some case spelling.
uint16_t ResolveExisting(const std::string& dosPath, std::string& hostPath) {
  const DosPath path = SplitDosPath(dosPath);
  if (path.Names.empty()) return 2;
  std::string dir;
  if (uint16_t code = ResolveDirectory(path, path.Names.size() - 1, dir)) return code;
  std::string spelled;
  int error = 0;
  if (!FindSpelling(dir, path.Names.back(), spelled, error)) {
    return error == 0 ? 2 : DosCodeFromErrno(error, IoKind::Other);
  }
  hostPath = Join(dir, spelled);
  return 0;
}

// A new name: its directory found in some case spelling, the name itself as
// spelled and free in every case spelling.
uint16_t ResolveNew(const std::string& dosPath, std::string& hostPath) {
  const DosPath path = SplitDosPath(dosPath);
  if (path.Names.empty() || path.TrailingSeparator) return 3;
  std::string dir;
  if (uint16_t code = ResolveDirectory(path, path.Names.size() - 1, dir)) return code;
  std::vector<std::string> names;
  if (int error = ListDirectory(dir, names)) return DosCodeFromErrno(error, IoKind::Other);
  if (PickCaseMatch(names, path.Names.back()) >= 0) return 5;
  hostPath = Join(dir, path.Names.back());
  return 0;
}

uint8_t AttributesOf(const std::string& name, const struct stat& st) {
  uint8_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  if (S_ISREG(st.st_mode)) attr |= faArchive;
  if (!name.empty() && name[0] == '.') attr |= faHidden;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  return attr;
}

// A large write starts going to the disk at once, so that the flush at the
// end of a rewrite finds little left to do: the disk works while the next
// block is converted, instead of all of it waiting for the flush.
constexpr size_t kWriteBackBytes = size_t{256} << 10;

void StartWriteBack([[maybe_unused]] int fd, [[maybe_unused]] off_t at,
                    [[maybe_unused]] size_t bytes) {
#ifdef __linux__
  // Only a head start: a failure shows in the flush, which is still done.
  sync_file_range(fd, at, static_cast<off_t>(bytes), SYNC_FILE_RANGE_WRITE);
#endif
}

class PosixFiles final : public FileServices {
 public:
  uint16_t FindFirstEntry(const std::string& dosPath, uint8_t mask, SearchRecord& found) override {
    const DosPath path = SplitDosPath(dosPath);
    if (path.Names.empty()) return 18;
    std::string dir;
    if (uint16_t code = ResolveDirectory(path, path.Names.size() - 1, dir)) {
      return code == 3 ? 18 : code;
    }
    std::vector<std::string> names;
    if (int error = ListDirectory(dir, names)) return DosCodeFromErrno(error, IoKind::Other);
    // The exact spelling first, then the other case spellings in byte order.
    std::vector<std::string> candidates;
    const std::string& wanted = path.Names.back();
    if (std::find(names.begin(), names.end(), wanted) != names.end()) candidates.push_back(wanted);
    for (const std::string& name : names) {
      if (name != wanted && EqualIgnoringAsciiCase(name, wanted)) candidates.push_back(name);
    }
    const uint8_t skipped = faHidden | faSysFile | faVolumeId | faDirectory;
    for (const std::string& name : candidates) {
      struct stat st;
      if (stat(Join(dir, name).c_str(), &st) != 0) continue;
      // A FIFO, socket or device is no file of ours.
      if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
      const uint8_t attr = AttributesOf(name, st);
      if ((attr & skipped & ~mask) != 0) continue;
      found.Attr = attr;
      found.Size = static_cast<uint64_t>(st.st_size);
      found.Name = name;
      return 0;
    }
    return 18;
  }

  uint16_t OpenExisting(const std::string& dosPath, FileHandle& handle) override {
    std::string host;
    if (uint16_t code = ResolveExisting(dosPath, host)) return code;
    int flags = O_CLOEXEC;
    switch (FileMode & 3) {
      case 0:
        flags |= O_RDONLY;
        break;
      case 1:
        flags |= O_WRONLY;
        break;
      default:
        flags |= O_RDWR;
    }
    const int fd = open(host.c_str(), flags);
    if (fd < 0) return DosCodeFromErrno(errno, IoKind::Other);
    struct stat st;
    if (fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
      close(fd);
      return 5;
    }
    handle = fd;
    return 0;
  }

  uint16_t CreateExclusive(const std::string& dosPath, FileHandle& handle) override {
    std::string host;
    if (uint16_t code = ResolveNew(dosPath, host)) return code;
    const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return DosCodeFromErrno(errno, IoKind::Other);
    handle = fd;
    return 0;
  }

  uint16_t Read(FileHandle handle, void* buffer, size_t bytes, size_t& done) override {
    done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < bytes) {
      const ssize_t n = read(handle, out + done, bytes - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return DosCodeFromErrno(errno, IoKind::Read);
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return 0;
  }

  uint16_t Write(FileHandle handle, const void* buffer, size_t bytes) override {
    const off_t at = bytes >= kWriteBackBytes ? lseek(handle, 0, SEEK_CUR) : -1;
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < bytes) {
      const ssize_t n = write(handle, in + done, bytes - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return DosCodeFromErrno(errno, IoKind::Write);
      if (n == 0) return 101;
      done += static_cast<size_t>(n);
    }
    if (at >= 0) StartWriteBack(handle, at, bytes);
    return 0;
  }

  uint16_t Flush(FileHandle handle) override {
    if (fsync(handle) != 0) return DosCodeFromErrno(errno, IoKind::Write);
    return 0;
  }

  uint16_t Close(FileHandle handle) override {
    // A close that reports EIO or ENOSPC reports a write that did not land.
    if (close(handle) != 0 && errno != EINTR) return DosCodeFromErrno(errno, IoKind::Write);
    return 0;
  }

  uint16_t AddName(const std::string& existing, const std::string& newName) override {
    std::string from, to;
    if (uint16_t code = ResolveExisting(existing, from)) return code;
    if (uint16_t code = ResolveNew(newName, to)) return code;
    if (linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    const int error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS && error != EMLINK)
      return DosCodeFromErrno(error, IoKind::Other);
    return CopyExclusive(from, to);
  }

  uint16_t ReplaceName(const std::string& from, const std::string& to) override {
    std::string source, target;
    if (uint16_t code = ResolveExisting(from, source)) return code;
    if (uint16_t code = ResolveExisting(to, target)) return code;
    // Only a regular file of one name takes the name, never a link someone
    // put in its place. It keeps the permissions and, where we may set it,
    // the owner of the one it replaces, set through the open file: by name
    // they would follow such a link onto another file.
    const int fd = open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP ? 5 : DosCodeFromErrno(errno, IoKind::Other);
    struct stat own, replaced;
    if (fstat(fd, &own) != 0 || !S_ISREG(own.st_mode) || own.st_nlink != 1) {
      close(fd);
      return 5;
    }
    if (stat(target.c_str(), &replaced) == 0) {
      fchmod(fd, replaced.st_mode & 07777);
      [[maybe_unused]] int ignored = fchown(fd, replaced.st_uid, replaced.st_gid);
    }
    close(fd);
    if (rename(source.c_str(), target.c_str()) != 0) return DosCodeFromErrno(errno, IoKind::Other);
    return 0;
  }

  uint16_t Remove(const std::string& dosPath) override {
    std::string host;
    if (uint16_t code = ResolveExisting(dosPath, host)) return code;
    if (unlink(host.c_str()) != 0) return DosCodeFromErrno(errno, IoKind::Other);
    return 0;
  }

  uint16_t FlushDirectory(const std::string& dosPath) override {
    const DosPath path = SplitDosPath(dosPath);
    std::string dir;
    if (uint16_t code = ResolveDirectory(path, path.Names.empty() ? 0 : path.Names.size() - 1, dir))
      return code;
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return DosCodeFromErrno(errno, IoKind::Other);
    // Some file systems cannot flush a directory; the rename is then as
    // durable as they make it.
    const bool failed = fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP;
    const int error = errno;
    close(fd);
    return failed ? DosCodeFromErrno(error, IoKind::Write) : 0;
  }

 private:
  // The copy is made under a hidden name beside `to` and takes that name
  // only when it is complete and flushed: a crash never leaves half a copy
  // under it.
  uint16_t CopyExclusive(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return DosCodeFromErrno(errno, IoKind::Other);
    const size_t slash = to.rfind('/');  // npos + 1 is 0: a name with no directory
    const std::string hidden = to.substr(0, slash + 1) + "." + to.substr(slash + 1) + ".new";
    std::string copy;
    int out = -1;
    for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
      copy = attempt == 0 ? hidden : hidden + std::to_string(attempt);
      out = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (out < 0 && errno != EEXIST) break;
    }
    if (out < 0) {
      const int error = errno;
      close(in);
      return DosCodeFromErrno(error, IoKind::Other);
    }
    std::vector<char> buffer(1 << 20);
    uint16_t code = 0;
    for (;;) {
      size_t got = 0;
      code = Read(in, buffer.data(), buffer.size(), got);
      if (code != 0 || got == 0) break;
      code = Write(out, buffer.data(), got);
      if (code != 0) break;
    }
    if (code == 0) code = Flush(out);
    close(in);
    const uint16_t closed = Close(out);
    if (code == 0) code = closed;
    if (code == 0) code = NameWithoutReplacing(copy, to);
    if (code != 0) unlink(copy.c_str());
    return code;
  }

  // Renames `from` to `to`, refusing a `to` that exists.
  static uint16_t NameWithoutReplacing(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
      return DosCodeFromErrno(errno, IoKind::Other);
#endif
    // A file system that cannot refuse in the rename itself: the name was
    // free when the copy began and is looked at once more.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return 5;
    if (rename(from.c_str(), to.c_str()) != 0) return DosCodeFromErrno(errno, IoKind::Other);
    return 0;
  }
};

}  // namespace

FileServices& PlatformFiles() {
  static PosixFiles files;
  return files;
}
