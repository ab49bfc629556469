#include "support/memory_console.h"

#include <gtest/gtest.h>

MemoryConsole::MemoryConsole(int columns, int rows)
    : columns_(columns), rows_(rows), cells_(static_cast<size_t>(columns) * rows, 0) {}

void MemoryConsole::ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                              int stride) {
  ++showCount_;
  for (int row = top; row <= bottom; ++row) {
    for (int column = left; column <= right; ++column) {
      EXPECT_TRUE(row >= 0 && row < rows_ && column >= 0 && column < columns_)
          << "cell outside the console: " << column << "," << row;
      if (row < 0 || row >= rows_ || column < 0 || column >= columns_) continue;
      cells_[static_cast<size_t>(row) * columns_ + column] =
          cells[static_cast<size_t>(row) * stride + column];
      ++shownCells_;
    }
  }
}

void MemoryConsole::PlaceCursor(int column, int row) {
  cursorColumn_ = column;
  cursorRow_ = row;
}

bool MemoryConsole::ReadKey(int timeoutMs, PcKey& key) {
  if (keys_.empty()) {
    if (timeoutMs >= 0) return false;
    ADD_FAILURE() << "the program waits for a key the test did not script";
    key = PcKey{27, 0};
    return true;
  }
  if (timeoutMs < 0) ++blockingReads_;
  key = keys_.front();
  keys_.pop_front();
  return true;
}

void MemoryConsole::Type(const std::string& characters) {
  for (char c : characters) keys_.push_back(PcKey{static_cast<uint8_t>(c), 0});
}

void MemoryConsole::Press(uint8_t code) { keys_.push_back(PcKey{0, code}); }

void MemoryConsole::PressChar(uint8_t c) { keys_.push_back(PcKey{c, 0}); }

ScreenCell MemoryConsole::Cell(int column, int row) const {
  return cells_[static_cast<size_t>(row - 1) * columns_ + (column - 1)];
}

std::string MemoryConsole::Text(int column, int row, int count) const {
  std::string text;
  for (int i = 0; i < count; ++i) text += static_cast<char>(Char(column + i, row));
  return text;
}
