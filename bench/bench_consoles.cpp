#include "bench_consoles.h"

#include <algorithm>

#include "platform/common/cp437.h"

namespace {

int Digits(int value) {
  int digits = 1;
  while (value >= 10) value /= 10, ++digits;
  return digits;
}

// ESC [ n <final>, with n left out when it is 1.
int RelativeMove(int distance) {
  return 3 + (distance == 1 ? 0 : Digits(distance));
}

int SgrNumberBytes(int sgr) {
  return Digits(sgr);
}

}  // namespace

RecordingConsole::RecordingConsole(int columns, int rows, std::vector<PcKey> keys)
    : columns_(columns),
      rows_(rows),
      shown_(static_cast<size_t>(columns) * rows, -1),
      keys_(keys.begin(), keys.end()) {}

int RecordingConsole::MoveBytes(int row, int column) const {
  if (row == cursorRow_ && column == cursorColumn_) return 0;
  // ESC [ row ; column H, each number left out when it is 1.
  int best = 3 + (row > 0 ? Digits(row + 1) : 0) + (column > 0 ? 1 + Digits(column + 1) : 0);
  if (cursorRow_ < 0) return best;
  if (row == cursorRow_) {
    if (column == 0) best = std::min(best, 1);  // CR
    if (column > cursorColumn_) best = std::min(best, RelativeMove(column - cursorColumn_));
    if (column < cursorColumn_) best = std::min(best, RelativeMove(cursorColumn_ - column));
  } else if (column == cursorColumn_) {
    best = std::min(best, RelativeMove(std::abs(row - cursorRow_)));
  }
  return best;
}

int RecordingConsole::ColourBytes(int from, uint8_t to) const {
  const int fg = AnsiForeground(to), bg = AnsiBackground(to);
  if (from < 0) return 4 + SgrNumberBytes(fg) + SgrNumberBytes(bg);  // ESC [ fg ; bg m
  const bool fgChanges = AnsiForeground(static_cast<uint8_t>(from)) != fg;
  const bool bgChanges = AnsiBackground(static_cast<uint8_t>(from)) != bg;
  if (fgChanges && bgChanges) return 4 + SgrNumberBytes(fg) + SgrNumberBytes(bg);
  if (fgChanges) return 3 + SgrNumberBytes(fg);
  if (bgChanges) return 3 + SgrNumberBytes(bg);
  return 0;  // the same colours under another attribute byte
}

void RecordingConsole::ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                                 int stride) {
  ++showCalls_;
  bool changed = false;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, columns_ - 1);
  bottom = std::min(bottom, rows_ - 1);
  for (int row = top; row <= bottom; ++row) {
    bool inRun = false;
    for (int column = left; column <= right; ++column) {
      const ScreenCell cell = cells[static_cast<size_t>(row) * stride + column];
      int32_t& shown = shown_[static_cast<size_t>(row) * columns_ + column];
      if (shown == cell) {
        inRun = false;
        continue;
      }
      changed = true;
      if (!inRun) {
        const int move = MoveBytes(row, column);
        bound_.MoveBytes += static_cast<uint64_t>(move);
        ++bound_.Runs;
        inRun = true;
      }
      const uint8_t attribute = CellAttr(cell);
      if (attribute_ != attribute) {
        const int colour = ColourBytes(attribute_, attribute);
        if (colour > 0) {
          bound_.ColourBytes += static_cast<uint64_t>(colour);
          ++bound_.ColourChanges;
        }
        attribute_ = attribute;
      }
      bound_.CellBytes += Cp437ToUtf8(CellChar(cell)).size();
      ++bound_.ChangedCells;
      shown = cell;
      cursorRow_ = row;
      cursorColumn_ = std::min(column + 1, columns_ - 1);
    }
  }
  if (changed) ++changingShowCalls_;
}

void RecordingConsole::PlaceCursor(int, int) {
  ++cursorCalls_;
}

void RecordingConsole::SetCursorVisible(bool) {
  ++visibilityCalls_;
}

bool RecordingConsole::ReadKey(int timeoutMs, PcKey& key) {
  if (keys_.empty()) {
    if (timeoutMs >= 0) return false;
    // A script that runs dry is a benchmark gone wrong; Esc ends any dialog.
    ranDry_ = true;
    key = PcKey{27, 0};
    return true;
  }
  key = keys_.front();
  keys_.pop_front();
  return true;
}

std::string RecordingConsole::Text() const {
  std::string text;
  for (int row = 0; row < rows_; ++row) {
    for (int column = 0; column < columns_; ++column) {
      const int32_t cell = shown_[static_cast<size_t>(row) * columns_ + column];
      text += cell < 0 ? '?' : static_cast<char>(CellChar(static_cast<ScreenCell>(cell)));
    }
    text += '\n';
  }
  return text;
}
