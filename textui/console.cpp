#include "textui/console.h"

#include <algorithm>

#include "errors/runtime_error.h"
#include "platform/process.h"

ConsoleServices Console;

namespace {

void RestoreAtEnd() { ScreenDone(); }

void ShowRect(int left, int top, int right, int bottom) {
  if (Console.Device == nullptr || Console.Restored) return;
  Console.Device->ShowCells(left - 1, top - 1, right - 1, bottom - 1, Console.Shown.data(),
                            Console.ScreenColumns);
}

void PlaceDeviceCursor() {
  if (Console.Device == nullptr || Console.Restored) return;
  Console.Device->PlaceCursor(Console.CursorColumn - 1, Console.CursorRow - 1);
}

// Scrolls the text window of the shown cells up by one row.
void ScrollWindowUp() {
  const int width = Console.WindowRight - Console.WindowLeft + 1;
  for (int row = Console.WindowTop; row < Console.WindowBottom; ++row) {
    std::copy_n(Console.Shown.begin() + CellIndex(Console.WindowLeft, row + 1), width,
                Console.Shown.begin() + CellIndex(Console.WindowLeft, row));
  }
  std::fill_n(Console.Shown.begin() + CellIndex(Console.WindowLeft, Console.WindowBottom), width,
              MakeCell(' ', Console.CurrentAttr));
}

// Without a console the text path still reaches the user: on standard output.
void WriteWithoutConsole(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b == '\n' || b >= 0x20) out += c;
  }
  WriteStandardOutput(out);
}

}  // namespace

void ScreenInit() {
  Console = ConsoleServices{};
  std::unique_ptr<ConsoleDevice> device = OpenConsoleDevice();
  if (device == nullptr) RunError(103);
  ConsoleDevice& opened = *device;
  ScreenInit(opened);
  Console.OwnedDevice = std::move(device);
}

void ScreenInit(ConsoleDevice& device) {
  Console = ConsoleServices{};
  Console.Device = &device;
  Console.ScreenColumns = std::clamp(device.Columns(), 1, kMaxScreenColumns);
  Console.ScreenRows = std::clamp(device.Rows(), 1, kMaxScreenRows);
  const size_t cells = static_cast<size_t>(Console.ScreenColumns) * Console.ScreenRows;
  Console.ScreenBuffer.assign(cells, MakeCell(' ', 7));
  Console.Flushed = Console.ScreenBuffer;
  Console.Shown = Console.ScreenBuffer;
  Console.CurrentAttr = 7;
  Console.WindowRight = Console.ScreenColumns;
  Console.WindowBottom = Console.ScreenRows;
  ShowRect(1, 1, Console.ScreenColumns, Console.ScreenRows);
  PlaceDeviceCursor();
  AddFinalProc(RestoreAtEnd);
}

void ScreenDone() {
  if (Console.Device == nullptr || Console.Restored) return;
  Console.Device->Restore();
  Console.Restored = true;
}

void ScreenFlush(bool force) {
  if (Console.ScreenBuffer.empty()) return;
  const int columns = Console.ScreenColumns;
  int left = 1, top = 1, right = columns, bottom = Console.ScreenRows;
  if (!force) {
    left = columns + 1, top = Console.ScreenRows + 1, right = 0, bottom = 0;
    for (int row = 1; row <= Console.ScreenRows; ++row) {
      const ScreenCell* now = &Console.ScreenBuffer[CellIndex(1, row)];
      const ScreenCell* then = &Console.Flushed[CellIndex(1, row)];
      int first = 0;
      while (first < columns && now[first] == then[first]) ++first;
      if (first == columns) continue;
      int last = columns - 1;
      while (now[last] == then[last]) --last;
      left = std::min(left, first + 1);
      right = std::max(right, last + 1);
      top = std::min(top, row);
      bottom = row;
    }
    if (right == 0) return;
  }
  for (int row = top; row <= bottom; ++row) {
    const size_t from = CellIndex(left, row);
    const int width = right - left + 1;
    std::copy_n(Console.ScreenBuffer.begin() + from, width, Console.Flushed.begin() + from);
    std::copy_n(Console.ScreenBuffer.begin() + from, width, Console.Shown.begin() + from);
  }
  ShowRect(left, top, right, bottom);
}

void SetCursorShape(uint8_t shape) {
  if (Console.Device == nullptr || Console.Restored) return;
  Console.Device->SetCursorVisible(shape == CursorUnderline);
}

void CursorTo(int column, int row) {
  if (column < 1 || row < 1) return;
  const int screenColumn = Console.WindowLeft + column - 1;
  const int screenRow = Console.WindowTop + row - 1;
  if (screenColumn > Console.WindowRight || screenRow > Console.WindowBottom) return;
  Console.CursorColumn = screenColumn;
  Console.CursorRow = screenRow;
  PlaceDeviceCursor();
}

void SetTextWindow(int left, int top, int right, int bottom) {
  if (left < 1 || top < 1 || left > right || top > bottom) return;
  if (right > Console.ScreenColumns || bottom > Console.ScreenRows) return;
  Console.WindowLeft = left;
  Console.WindowTop = top;
  Console.WindowRight = right;
  Console.WindowBottom = bottom;
  CursorTo(1, 1);
}

void ClearWindow() {
  if (Console.Shown.empty()) return;
  for (int row = Console.WindowTop; row <= Console.WindowBottom; ++row) {
    std::fill_n(Console.Shown.begin() + CellIndex(Console.WindowLeft, row),
                Console.WindowRight - Console.WindowLeft + 1, MakeCell(' ', Console.CurrentAttr));
  }
  ShowRect(Console.WindowLeft, Console.WindowTop, Console.WindowRight, Console.WindowBottom);
  CursorTo(1, 1);
}

void ConsoleWrite(const std::string& text) {
  if (Console.Device == nullptr || Console.Restored || Console.Shown.empty()) {
    WriteWithoutConsole(text);
    return;
  }
  int dirtyTop = Console.CursorRow, dirtyBottom = Console.CursorRow;
  bool scrolled = false;
  auto lineFeed = [&] {
    if (Console.CursorRow < Console.WindowBottom) {
      ++Console.CursorRow;
    } else {
      ScrollWindowUp();
      scrolled = true;
    }
  };
  for (char c : text) {
    const uint8_t b = static_cast<uint8_t>(c);
    switch (b) {
      case '\r':
        Console.CursorColumn = Console.WindowLeft;
        break;
      case '\n':
        lineFeed();
        break;
      case '\b':
        if (Console.CursorColumn > Console.WindowLeft) --Console.CursorColumn;
        break;
      case 7:
        break;
      default:
        Console.Shown[CellIndex(Console.CursorColumn, Console.CursorRow)] =
            MakeCell(b, Console.CurrentAttr);
        dirtyTop = std::min(dirtyTop, Console.CursorRow);
        dirtyBottom = std::max(dirtyBottom, Console.CursorRow);
        if (++Console.CursorColumn > Console.WindowRight) {
          Console.CursorColumn = Console.WindowLeft;
          lineFeed();
        }
    }
    dirtyBottom = std::max(dirtyBottom, Console.CursorRow);
  }
  if (scrolled) dirtyTop = Console.WindowTop, dirtyBottom = Console.WindowBottom;
  ShowRect(Console.WindowLeft, dirtyTop, Console.WindowRight, dirtyBottom);
  PlaceDeviceCursor();
}

bool KeyAvailable() {
  if (Console.PendingCode >= 0 || Console.HaveQueuedKey) return true;
  if (Console.Device == nullptr || Console.Restored) return false;
  Console.HaveQueuedKey = Console.Device->ReadKey(0, Console.QueuedKey);
  return Console.HaveQueuedKey;
}

uint8_t GetKey() {
  if (Console.PendingCode >= 0) {
    const uint8_t code = static_cast<uint8_t>(Console.PendingCode);
    Console.PendingCode = -1;
    return code;
  }
  PcKey key;
  if (Console.HaveQueuedKey) {
    key = Console.QueuedKey;
    Console.HaveQueuedKey = false;
  } else {
    if (Console.Device == nullptr || Console.Restored) RunError(103);
    while (!Console.Device->ReadKey(-1, key)) {
    }
  }
  if (key.Char != 0) return key.Char;
  Console.PendingCode = key.Code;
  return 0;
}
