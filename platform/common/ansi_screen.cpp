#include "platform/common/ansi_screen.h"

#include <algorithm>

#include "platform/common/cp437.h"

namespace {

int AnsiColour(int dos) { return ((dos & 1) << 2) | (dos & 2) | ((dos & 4) >> 2); }

void AppendNumber(int value, std::string& out) { out += std::to_string(value); }

}  // namespace

int AnsiForeground(uint8_t attribute) {
  const int colour = attribute & 15;
  return (colour & 8 ? 90 : 30) + AnsiColour(colour & 7);
}

int AnsiBackground(uint8_t attribute) {
  const int colour = attribute >> 4;
  return (colour & 8 ? 100 : 40) + AnsiColour(colour & 7);
}

void AnsiScreen::Reset(int columns, int rows) {
  columns_ = columns;
  rows_ = rows;
  visibleColumns_ = columns;
  visibleRows_ = rows;
  Invalidate();
}

void AnsiScreen::SetVisibleSize(int columns, int rows) {
  visibleColumns_ = std::min(columns, columns_);
  visibleRows_ = std::min(rows, rows_);
}

void AnsiScreen::Invalidate() {
  shown_.assign(static_cast<size_t>(columns_) * rows_, -1);
  attribute_ = -1;
  cursorColumn_ = cursorRow_ = -1;
}

void AnsiScreen::SetAttribute(uint8_t attribute, std::string& out) {
  if (attribute_ == attribute) return;
  const bool foreground = attribute_ < 0 || AnsiForeground(static_cast<uint8_t>(attribute_)) !=
                                                AnsiForeground(attribute);
  const bool background = attribute_ < 0 || AnsiBackground(static_cast<uint8_t>(attribute_)) !=
                                                AnsiBackground(attribute);
  out += "\x1b[";
  if (foreground) AppendNumber(AnsiForeground(attribute), out);
  if (foreground && background) out += ';';
  if (background) AppendNumber(AnsiBackground(attribute), out);
  out += 'm';
  attribute_ = attribute;
}

void AnsiScreen::MoveCursor(int column, int row, std::string& out) {
  if (column == cursorColumn_ && row == cursorRow_) return;
  if (row == cursorRow_ && cursorColumn_ >= 0 && column > cursorColumn_) {
    const int gap = column - cursorColumn_;
    out += "\x1b[";
    if (gap > 1) AppendNumber(gap, out);
    out += 'C';
  } else {
    out += "\x1b[";
    if (row > 0 || column > 0) AppendNumber(row + 1, out);
    if (column > 0) {
      out += ';';
      AppendNumber(column + 1, out);
    }
    out += 'H';
  }
  cursorColumn_ = column;
  cursorRow_ = row;
}

void AnsiScreen::Update(int left, int top, int right, int bottom, const ScreenCell* cells,
                        int stride, std::string& out) {
  right = std::min(right, visibleColumns_ - 1);
  bottom = std::min(bottom, visibleRows_ - 1);
  left = std::max(left, 0);
  top = std::max(top, 0);
  for (int row = top; row <= bottom; ++row) {
    for (int column = left; column <= right; ++column) {
      const ScreenCell cell = cells[static_cast<size_t>(row) * stride + column];
      int32_t& shown = shown_[static_cast<size_t>(row) * columns_ + column];
      if (shown == cell) continue;
      MoveCursor(column, row, out);
      SetAttribute(CellAttr(cell), out);
      // Every byte goes out as its CP437 glyph: a cell can never carry a
      // control byte to the terminal.
      out += Cp437ToUtf8(CellChar(cell));
      shown = cell;
      // Autowrap is off, so the cursor stays in the last column.
      if (column + 1 < visibleColumns_) {
        ++cursorColumn_;
      } else {
        cursorColumn_ = -1;
        cursorRow_ = -1;
      }
    }
  }
}
