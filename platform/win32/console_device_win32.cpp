// The console on Windows: cells through WriteConsoleOutputA (they show in the
// console's output code page), keys from ReadConsoleInputA, waiting on the
// input handle. Drawn into the console's window where it stands, so the
// screen buffer and what scrolled out of view stay as they were.

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <exception>
#include <vector>

#include "platform/common/win32_keys.h"
#include "platform/console_device.h"
#include "platform/win32/console_events.h"

namespace {

constexpr int kMaxColumns = 240;
// Older consoles refuse a WriteConsoleOutput buffer of 64 KiB or more.
constexpr int kMaxCellsPerWrite = 8000;
constexpr DWORD kCursorSize = 10;  // per cent of the cell: an underline

// What the console was like when the program took it over. Plain storage:
// the console event handler restores from it on its own thread.
struct ConsoleState {
  HANDLE input = INVALID_HANDLE_VALUE;
  HANDLE output = INVALID_HANDLE_VALUE;
  DWORD savedMode = 0;
  CONSOLE_CURSOR_INFO savedCursor{};
  WORD savedAttributes = 7;
  UINT savedInputCodePage = 0;
  volatile LONG active = 0;
};
ConsoleState console;

void RestoreConsole() {
  if (InterlockedExchange(&console.active, 0) == 0) return;
  SetConsoleMode(console.input, console.savedMode);
  SetConsoleCursorInfo(console.output, &console.savedCursor);
  SetConsoleTextAttribute(console.output, console.savedAttributes);
  if (console.savedInputCodePage != 0) SetConsoleCP(console.savedInputCodePage);
}

void OnStdTerminate() {
  RestoreConsole();
  std::abort();
}

HANDLE OpenConsoleFile(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

void CloseConsoleFiles() {
  if (console.input != INVALID_HANDLE_VALUE) CloseHandle(console.input);
  if (console.output != INVALID_HANDLE_VALUE) CloseHandle(console.output);
  console.input = console.output = INVALID_HANDLE_VALUE;
}

// The console itself, whatever standard input and output were redirected to.
bool OpenConsoleFiles() {
  console.input = OpenConsoleFile("CONIN$");
  console.output = OpenConsoleFile("CONOUT$");
  DWORD mode = 0;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleMode(console.input, &mode) && GetConsoleScreenBufferInfo(console.output, &info))
    return true;
  CloseConsoleFiles();
  return false;
}

class Win32Console final : public ConsoleDevice {
 public:
  explicit Win32Console(const SMALL_RECT& window)
      : left_(window.Left),
        top_(window.Top),
        columns_(std::min(window.Right - window.Left + 1, kMaxColumns)),
        rows_(window.Bottom - window.Top + 1) {}

  int Columns() const override { return columns_; }
  int Rows() const override { return rows_; }

  void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                 int stride) override {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, columns_ - 1);
    bottom = std::min(bottom, rows_ - 1);
    if (left > right || top > bottom) return;
    const int width = right - left + 1;
    const int band = std::max(1, kMaxCellsPerWrite / width);
    ConsoleEventLock lock;
    for (int first = top; first <= bottom; first += band) {
      const int last = std::min(bottom, first + band - 1);
      const int height = last - first + 1;
      buffer_.resize(static_cast<size_t>(width) * height);
      for (int row = 0; row < height; ++row) {
        const ScreenCell* from = cells + static_cast<size_t>(first + row) * stride + left;
        CHAR_INFO* to = &buffer_[static_cast<size_t>(row) * width];
        for (int column = 0; column < width; ++column) {
          to[column].Char.AsciiChar = static_cast<CHAR>(CellChar(from[column]));
          to[column].Attributes = CellAttr(from[column]);
        }
      }
      SMALL_RECT region{static_cast<SHORT>(left_ + left), static_cast<SHORT>(top_ + first),
                        static_cast<SHORT>(left_ + right), static_cast<SHORT>(top_ + last)};
      WriteConsoleOutputA(console.output, buffer_.data(),
                          COORD{static_cast<SHORT>(width), static_cast<SHORT>(height)}, COORD{0, 0},
                          &region);
    }
  }

  void PlaceCursor(int column, int row) override {
    if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return;
    ConsoleEventLock lock;
    SetConsoleCursorPosition(
        console.output, COORD{static_cast<SHORT>(left_ + column), static_cast<SHORT>(top_ + row)});
  }

  void SetCursorVisible(bool visible) override {
    const CONSOLE_CURSOR_INFO info{kCursorSize, visible ? TRUE : FALSE};
    ConsoleEventLock lock;
    SetConsoleCursorInfo(console.output, &info);
  }

  bool ReadKey(int timeoutMs, PcKey& key) override {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
      if (!keys_.empty()) {
        key = keys_.front();
        keys_.pop_front();
        return true;
      }
      DWORD wait = INFINITE;
      if (timeoutMs >= 0) {
        const ULONGLONG passed = GetTickCount64() - start;
        const auto limit = static_cast<ULONGLONG>(timeoutMs);
        wait = passed >= limit ? 0 : static_cast<DWORD>(limit - passed);
      }
      const DWORD woke = WaitForSingleObject(console.input, wait);
      if (woke == WAIT_TIMEOUT) return false;
      if (woke != WAIT_OBJECT_0) HangUp();
      DWORD pending = 0;
      if (!GetNumberOfConsoleInputEvents(console.input, &pending)) HangUp();
      // Events that are no keys are dropped; the next wait has what is left
      // of the timeout.
      if (pending > 0) ReadEvents(std::min<DWORD>(pending, kRecordsPerRead));
    }
  }

  void Restore() override {
    {
      ConsoleEventLock lock;
      RestoreConsole();
    }
    CloseConsoleFiles();
  }

 private:
  static constexpr DWORD kRecordsPerRead = 32;

  void ReadEvents(DWORD count) {
    INPUT_RECORD records[kRecordsPerRead];
    DWORD read = 0;
    if (!ReadConsoleInputA(console.input, records, count, &read)) HangUp();
    for (DWORD i = 0; i < read; ++i) {
      if (records[i].EventType != KEY_EVENT) continue;
      const KEY_EVENT_RECORD& event = records[i].Event.KeyEvent;
      Win32KeyEvent translated;
      translated.KeyDown = event.bKeyDown != FALSE;
      translated.VirtualKey = event.wVirtualKeyCode;
      translated.ScanCode = event.wVirtualScanCode;
      translated.Char = static_cast<uint8_t>(event.uChar.AsciiChar);
      translated.ControlState = event.dwControlKeyState;
      PcKey key;
      if (!TranslateWin32Key(translated, key)) continue;
      // A held key comes as one event with a repeat count.
      for (WORD n = std::max<WORD>(event.wRepeatCount, 1); n > 0; --n) keys_.push_back(key);
    }
  }

  // The console went away under the program: nothing more can be shown or
  // read, so the program ends as it would when the console is closed.
  [[noreturn]] void HangUp() {
    RestoreConsole();
    ExitProcess(0xC000013A);
  }

  SHORT left_, top_;  // where the window stands in the screen buffer
  int columns_, rows_;
  std::vector<CHAR_INFO> buffer_;
  std::deque<PcKey> keys_;
};

}  // namespace

std::unique_ptr<ConsoleDevice> OpenConsoleDevice() {
  if (!OpenConsoleFiles()) {
    if (!AllocConsole() || !OpenConsoleFiles()) return nullptr;
  }
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleMode(console.input, &console.savedMode) ||
      !GetConsoleScreenBufferInfo(console.output, &info)) {
    CloseConsoleFiles();
    return nullptr;
  }
  console.savedAttributes = info.wAttributes;
  if (!GetConsoleCursorInfo(console.output, &console.savedCursor)) {
    console.savedCursor = CONSOLE_CURSOR_INFO{25, TRUE};
  }
  console.savedInputCodePage = GetConsoleCP();
  console.active = 1;

  // Key events only: no line editing or echo, no mouse or window events and
  // no terminal sequences in place of keys. Ctrl-C stays a signal, which the
  // event handler turns into an orderly end.
  DWORD mode = console.savedMode;
  mode &= ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT |
                              ENABLE_WINDOW_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT);
  mode |= ENABLE_PROCESSED_INPUT;
  SetConsoleMode(console.input, mode);
  // Wine's console on a terminal leaves the terminal in line mode until
  // input is first asked for; a key typed at the first screen would come
  // through it cooked (Enter as Ctrl-Enter). Asking now settles it.
  WaitForSingleObject(console.input, 0);
  // A typed byte then means the character the screen shows for it.
  const UINT outputCodePage = GetConsoleOutputCP();
  if (outputCodePage != 0 && outputCodePage != console.savedInputCodePage)
    SetConsoleCP(outputCodePage);

  InstallConsoleEventHandler(RestoreConsole);
  std::set_terminate(OnStdTerminate);
  return std::make_unique<Win32Console>(info.srWindow);
}
