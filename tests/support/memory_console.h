#pragma once
// An in-memory console device for component tests: scripted keys in, cells
// and cursor out.

#include <deque>
#include <string>
#include <vector>

#include "platform/console_device.h"

class MemoryConsole final : public ConsoleDevice {
 public:
  MemoryConsole(int columns = 80, int rows = 25);

  int Columns() const override { return columns_; }
  int Rows() const override { return rows_; }
  void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                 int stride) override;
  void PlaceCursor(int column, int row) override;
  void SetCursorVisible(bool visible) override { cursorVisible_ = visible; }
  // Takes the next scripted key. When the script has run dry a test has
  // gone wrong: it fails the test and answers Esc, so every dialog and menu
  // still comes to an end.
  bool ReadKey(int timeoutMs, PcKey& key) override;
  void Restore() override { restored_ = true; }

  // Scripting: characters, and extended keys as 0 + code.
  void Type(const std::string& characters);
  void Press(uint8_t code);        // an extended key: 0, then the code
  void PressChar(uint8_t c);       // one character key
  size_t KeysLeft() const { return keys_.size(); }

  // What the console shows, 1-based positions.
  ScreenCell Cell(int column, int row) const;
  uint8_t Char(int column, int row) const { return CellChar(Cell(column, row)); }
  uint8_t Attr(int column, int row) const { return CellAttr(Cell(column, row)); }
  // The characters of a row from `column`, `count` cells.
  std::string Text(int column, int row, int count) const;
  std::string RowText(int row) const { return Text(1, row, columns_); }
  int CursorColumn() const { return cursorColumn_ + 1; }
  int CursorRow() const { return cursorRow_ + 1; }
  bool CursorVisible() const { return cursorVisible_; }
  bool Restored() const { return restored_; }
  // How many times ShowCells was called, and the cells it was given.
  int ShowCount() const { return showCount_; }
  int ShownCells() const { return shownCells_; }
  int BlockingReads() const { return blockingReads_; }

 private:
  int columns_, rows_;
  std::vector<ScreenCell> cells_;
  std::deque<PcKey> keys_;
  int cursorColumn_ = 0, cursorRow_ = 0;
  bool cursorVisible_ = true;
  bool restored_ = false;
  int showCount_ = 0;
  int shownCells_ = 0;
  int blockingReads_ = 0;
};
