// File services for Windows. The file system already finds a name in any
// case spelling and refuses a new one taken in another, so names go to the
// system as given; what is left is the DOS numbering of the results and the
// few steps the safe rewrite of a file needs.

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/common/win32_errors.h"
#include "platform/file_services.h"

uint8_t FileMode = 2;

namespace {

uint16_t LastError() {
  return DosCodeFromWin32Error(GetLastError());
}

// Larger transfers go in pieces a DWORD can count.
constexpr size_t kMaxTransfer = size_t{1} << 30;

bool IsRegularFile(HANDLE file) {
  return GetFileType(file) == FILE_TYPE_DISK;
}

// The DOS access and sharing bits of FileMode as Windows asks for them.
DWORD AccessOf(uint8_t mode) {
  switch (mode & 3) {
    case 0:
      return GENERIC_READ;
    case 1:
      return GENERIC_WRITE;
    default:
      return GENERIC_READ | GENERIC_WRITE;
  }
}

DWORD SharingOf(uint8_t mode) {
  switch (mode & 0x70) {
    case 0x10:  // deny both
      return 0;
    case 0x20:  // deny write
      return FILE_SHARE_READ;
    case 0x30:  // deny read
      return FILE_SHARE_WRITE;
    default:  // compatibility mode and deny none
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
}

bool StartsWithDot(const char* name) {
  return name[0] == '.';
}

// Windows refuses to write to or replace a read-only file, whoever asks; a
// server that lets an administrator through anyway (Wine run as root) must
// not change what the program does with one.
bool IsReadOnly(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

class Win32Files final : public FileServices {
 public:
  uint16_t FindFirstEntry(const std::string& path, uint8_t mask, SearchRecord& found) override {
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
          error == ERROR_NO_MORE_FILES)
        return 18;
      return DosCodeFromWin32Error(error);
    }
    const uint8_t skipped = faHidden | faSysFile | faVolumeId | faDirectory;
    uint16_t code = 18;
    do {
      // A device or a link to elsewhere is no file of ours.
      if (data.dwFileAttributes & (FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      if (std::string_view(data.cFileName) == "." || std::string_view(data.cFileName) == "..")
        continue;
      // The DOS attribute bits are the low bits of the Windows ones.
      uint8_t attr = static_cast<uint8_t>(
          data.dwFileAttributes & (faReadOnly | faHidden | faSysFile | faDirectory | faArchive));
      if (StartsWithDot(data.cFileName)) attr |= faHidden;
      if ((attr & skipped & ~mask) != 0) continue;
      found.Attr = attr;
      found.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      found.Name = data.cFileName;
      code = 0;
      break;
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return code;
  }

  uint16_t OpenExisting(const std::string& path, FileHandle& handle) override {
    const DWORD access = AccessOf(FileMode);
    const HANDLE file = CreateFileA(path.c_str(), access, SharingOf(FileMode), nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    if ((access & GENERIC_WRITE) != 0 && IsReadOnly(file)) {
      CloseHandle(file);
      return 5;
    }
    return Adopt(file, handle);
  }

  uint16_t CreateExclusive(const std::string& path, FileHandle& handle) override {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (uint16_t code = CreateNew(path, file)) return code;
    return Adopt(file, handle);
  }

  uint16_t Read(FileHandle handle, void* buffer, size_t bytes, size_t& done) override {
    done = 0;
    const HANDLE file = Lookup(handle);
    if (file == INVALID_HANDLE_VALUE) return 6;
    return ReadAll(file, buffer, bytes, done);
  }

  uint16_t Write(FileHandle handle, const void* buffer, size_t bytes) override {
    const HANDLE file = Lookup(handle);
    if (file == INVALID_HANDLE_VALUE) return 6;
    return WriteAll(file, buffer, bytes);
  }

  uint16_t Flush(FileHandle handle) override {
    const HANDLE file = Lookup(handle);
    if (file == INVALID_HANDLE_VALUE) return 6;
    return FlushFileBuffers(file) ? 0 : LastError();
  }

  uint16_t Close(FileHandle handle) override {
    const HANDLE file = Lookup(handle);
    if (file == INVALID_HANDLE_VALUE) return 6;
    handles_[static_cast<size_t>(handle)] = INVALID_HANDLE_VALUE;
    return CloseHandle(file) ? 0 : LastError();
  }

  uint16_t AddName(const std::string& existing, const std::string& newName) override {
    if (CreateHardLinkA(newName.c_str(), existing.c_str(), nullptr)) return 0;
    const DWORD error = GetLastError();
    // File systems without hard links (FAT, some network shares) get a copy.
    if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_TOO_MANY_LINKS)
      return DosCodeFromWin32Error(error);
    return CopyExclusive(existing, newName);
  }

  uint16_t ReplaceName(const std::string& from, const std::string& to) override {
    // Only an existing name is ever replaced.
    if (GetFileAttributesA(to.c_str()) == INVALID_FILE_ATTRIBUTES) return LastError();
    if (IsReadOnly(to)) return 5;
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return LastError();
    return 0;
  }

  uint16_t Remove(const std::string& path) override {
    if (DeleteFileA(path.c_str())) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED) return DosCodeFromWin32Error(error);
    return RemoveReadOnly(path, error);
  }

  // MOVEFILE_WRITE_THROUGH returns only once the new name is on the disk.
  uint16_t FlushDirectory(const std::string&) override { return 0; }

 private:
  uint16_t CreateNew(const std::string& path, HANDLE& file) {
    // CREATE_NEW refuses every existing name, a link included, in any case
    // spelling.
    file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    if (!IsRegularFile(file)) {
      CloseHandle(file);
      file = INVALID_HANDLE_VALUE;
      return 5;
    }
    return 0;
  }

  uint16_t Adopt(HANDLE file, FileHandle& handle) {
    // A device name (NUL, CON, COM1) opens a device, not a file.
    if (!IsRegularFile(file)) {
      CloseHandle(file);
      return 5;
    }
    auto slot = std::find(handles_.begin(), handles_.end(), INVALID_HANDLE_VALUE);
    if (slot == handles_.end()) slot = handles_.insert(handles_.end(), INVALID_HANDLE_VALUE);
    *slot = file;
    handle = static_cast<FileHandle>(slot - handles_.begin());
    return 0;
  }

  HANDLE Lookup(FileHandle handle) const {
    if (handle < 0 || static_cast<size_t>(handle) >= handles_.size()) return INVALID_HANDLE_VALUE;
    return handles_[static_cast<size_t>(handle)];
  }

  static uint16_t ReadAll(HANDLE file, void* buffer, size_t bytes, size_t& done) {
    auto* out = static_cast<char*>(buffer);
    while (done < bytes) {
      DWORD got = 0;
      const auto piece = static_cast<DWORD>(std::min(bytes - done, kMaxTransfer));
      if (!ReadFile(file, out + done, piece, &got, nullptr)) return LastError();
      if (got == 0) break;
      done += got;
    }
    return 0;
  }

  static uint16_t WriteAll(HANDLE file, const void* buffer, size_t bytes) {
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < bytes) {
      DWORD put = 0;
      const auto piece = static_cast<DWORD>(std::min(bytes - done, kMaxTransfer));
      if (!WriteFile(file, in + done, piece, &put, nullptr)) return LastError();
      if (put == 0) return 101;
      done += put;
    }
    return 0;
  }

  // Our own copy rather than CopyFile: CopyFile carries the read-only
  // attribute over, and a read-only copy could not be flushed.
  uint16_t CopyExclusive(const std::string& from, const std::string& to) {
    const HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return LastError();
    HANDLE out = INVALID_HANDLE_VALUE;
    if (uint16_t code = CreateNew(to, out)) {
      CloseHandle(in);
      return code;
    }
    std::vector<char> buffer(size_t{1} << 20);
    uint16_t code = 0;
    for (;;) {
      size_t got = 0;
      code = ReadAll(in, buffer.data(), buffer.size(), got);
      if (code != 0 || got == 0) break;
      code = WriteAll(out, buffer.data(), got);
      if (code != 0) break;
    }
    if (code == 0 && !FlushFileBuffers(out)) code = LastError();
    CloseHandle(in);
    if (!CloseHandle(out) && code == 0) code = LastError();
    if (code != 0) DeleteFileA(to.c_str());
    return code;
  }

  // Windows will not delete a read-only file, but a backup name of a
  // read-only file is read-only too and must still go when a conversion is
  // taken back. The attribute belongs to the file, not the name: it is put
  // back before the handle closes, for the names that stay.
  uint16_t RemoveReadOnly(const std::string& path, DWORD deleteError) {
    const HANDLE file =
        CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return DosCodeFromWin32Error(deleteError);
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
      CloseHandle(file);
      return DosCodeFromWin32Error(deleteError);
    }
    const DWORD attributes = basic.FileAttributes;
    basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    uint16_t code = 0;
    if (!SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic)) {
      code = LastError();
    } else {
      FILE_DISPOSITION_INFO disposition{TRUE};
      if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition))
        code = LastError();
      basic.FileAttributes = attributes;
      SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
    }
    CloseHandle(file);
    return code;
  }

  std::vector<HANDLE> handles_;
};

}  // namespace

FileServices& PlatformFiles() {
  static Win32Files files;
  return files;
}
