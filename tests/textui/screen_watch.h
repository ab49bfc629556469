#pragma once
// Helpers for the text-mode UI tests: a device that records what the user
// sees each time the program waits for a key, and cell-run checks.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/memory_console.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/draw.h"

// What the console showed at one moment.
struct Snapshot {
  int Columns = 0, Rows = 0;
  int CursorColumn = 0, CursorRow = 0;
  std::vector<ScreenCell> Cells;
  std::vector<ScreenCell> Buffer;  // Console.ScreenBuffer at that moment

  ScreenCell Cell(int column, int row) const {
    return Cells[static_cast<size_t>(row - 1) * Columns + (column - 1)];
  }
  uint8_t Char(int column, int row) const { return CellChar(Cell(column, row)); }
  uint8_t Attr(int column, int row) const { return CellAttr(Cell(column, row)); }
  std::string Text(int column, int row, int count) const {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>(Char(column + i, row));
    return text;
  }
};

inline Snapshot TakeSnapshot(const MemoryConsole& console) {
  Snapshot shot;
  shot.Columns = console.Columns();
  shot.Rows = console.Rows();
  shot.CursorColumn = console.CursorColumn();
  shot.CursorRow = console.CursorRow();
  for (int row = 1; row <= shot.Rows; ++row)
    for (int column = 1; column <= shot.Columns; ++column)
      shot.Cells.push_back(console.Cell(column, row));
  shot.Buffer = Console.ScreenBuffer;
  return shot;
}

// Passes everything on to a memory console; before each blocking key read it
// records the screen, which is what the user looks at while the program waits.
class WatchedConsole final : public ConsoleDevice {
 public:
  explicit WatchedConsole(MemoryConsole& inner) : inner_(inner) {}

  int Columns() const override { return inner_.Columns(); }
  int Rows() const override { return inner_.Rows(); }
  void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                 int stride) override {
    inner_.ShowCells(left, top, right, bottom, cells, stride);
  }
  void PlaceCursor(int column, int row) override { inner_.PlaceCursor(column, row); }
  void SetCursorVisible(bool visible) override { inner_.SetCursorVisible(visible); }
  bool ReadKey(int timeoutMs, PcKey& key) override {
    if (timeoutMs < 0) Moments.push_back(TakeSnapshot(inner_));
    return inner_.ReadKey(timeoutMs, key);
  }
  void Restore() override { inner_.Restore(); }

  std::vector<Snapshot> Moments;  // one per blocking read, in order

 private:
  MemoryConsole& inner_;
};

inline std::string Cp(uint8_t c) {
  return std::string(1, static_cast<char>(c));
}

// Scripted keys: a character, or an extended key (0 + code).
struct Key {
  uint8_t Char = 0;
  uint8_t Code = 0;
};
inline Key Ch(uint8_t c) {
  return Key{c, 0};
}
inline Key Ext(uint8_t code) {
  return Key{0, code};
}

inline void Script(MemoryConsole& console, const std::vector<Key>& keys) {
  for (const Key& key : keys) {
    if (key.Char != 0) {
      console.PressChar(key.Char);
    } else {
      console.Press(key.Code);
    }
  }
}

// The cells from (column, row) on hold these characters, all in attr.
template <class Screen>
::testing::AssertionResult CellsAre(const Screen& screen, int column, int row,
                                    const std::string& chars, uint8_t attr) {
  for (size_t i = 0; i < chars.size(); ++i) {
    const int c = column + static_cast<int>(i);
    const uint8_t ch = screen.Char(c, row), at = screen.Attr(c, row);
    if (ch != static_cast<uint8_t>(chars[i]) || at != attr) {
      return ::testing::AssertionFailure()
             << "cell (" << c << "," << row << ") is char " << int{ch} << " attr " << int{at}
             << ", expected char " << int{static_cast<uint8_t>(chars[i])} << " attr " << int{attr};
    }
  }
  return ::testing::AssertionSuccess();
}

// count cells from (column, row) on, along the row, all hold character ch.
template <class Screen>
::testing::AssertionResult CharsAre(const Screen& screen, int column, int row, int count,
                                    uint8_t ch) {
  for (int c = column; c < column + count; ++c) {
    if (screen.Char(c, row) != ch) {
      return ::testing::AssertionFailure() << "cell (" << c << "," << row << ") is char "
                                           << int{screen.Char(c, row)} << ", expected " << int{ch};
    }
  }
  return ::testing::AssertionSuccess();
}

// count cells from (column, row) on, along the row, all take attr.
template <class Screen>
::testing::AssertionResult AttrsAre(const Screen& screen, int column, int row, int count,
                                    uint8_t attr) {
  for (int c = column; c < column + count; ++c) {
    if (screen.Attr(c, row) != attr) {
      return ::testing::AssertionFailure()
             << "cell (" << c << "," << row << ") has attr " << int{screen.Attr(c, row)}
             << ", expected " << int{attr};
    }
  }
  return ::testing::AssertionSuccess();
}

// Fills the screen with a pattern that differs from cell to cell and shows it,
// so a test can tell a kept character from a redrawn one.
inline void DrawPattern() {
  for (int row = 1; row <= Console.ScreenRows; ++row) {
    for (int column = 1; column <= Console.ScreenColumns; ++column) {
      Console.ScreenBuffer[CellIndex(column, row)] =
          MakeCell(static_cast<uint8_t>('a' + (column + row) % 26),
                   static_cast<uint8_t>(0x10 + (column + 2 * row) % 7));
    }
  }
  ScreenFlush(true);
}

// A UI test whose console records the screen at each key read.
class WatchedUiTest : public UiTest {
 protected:
  void SetUp() override { Watch(80, 25); }

  void Watch(int columns, int rows) {
    UseConsole(columns, rows);
    watched = std::make_unique<WatchedConsole>(*console);
    // The console services start again over the recording device; the rest
    // of the fresh state UseConsole made stays.
    ScreenInit(*watched);
    InitTextUi();
    Process.FinalProcs.clear();
  }

  // Scripts the keys and forgets the moments recorded so far.
  void Begin(const std::vector<Key>& keys) {
    Script(*console, keys);
    readsBefore_ = console->BlockingReads();
    watched->Moments.clear();
  }
  // Every key was read, each by one blocking read: waiting happens in the
  // device, never by polling.
  void ExpectEachKeyReadOnce(const std::vector<Key>& keys) {
    EXPECT_EQ(console->KeysLeft(), 0u) << "ended before its last key";
    EXPECT_EQ(console->BlockingReads() - readsBefore_, static_cast<int>(keys.size()));
  }

  std::unique_ptr<WatchedConsole> watched;

 private:
  int readsBefore_ = 0;
};
