#pragma once
// Console devices for running the program's code in-process: one that
// answers every key wait with Enter and shows nothing, and one that plays a
// key script and measures what each flush changes on the terminal.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/common/ansi_screen.h"
#include "platform/console_device.h"

class AnsweringConsole final : public ConsoleDevice {
 public:
  int Columns() const override { return 80; }
  int Rows() const override { return 25; }
  void ShowCells(int, int, int, int, const ScreenCell*, int) override {}
  void PlaceCursor(int, int) override {}
  void SetCursorVisible(bool) override {}
  bool ReadKey(int timeoutMs, PcKey& key) override {
    if (timeoutMs >= 0) return false;
    key = PcKey{13, 0};
    return true;
  }
  void Restore() override {}
};

// What the terminal has to be sent at the least to go from one frame to the
// next: the UTF-8 bytes of every changed cell, one cursor move (the shortest
// ANSI move there is) per run of changed cells, and one colour change (only
// the colours that change) per change of attribute between the cells sent.
struct FrameBound {
  uint64_t CellBytes = 0;
  uint64_t MoveBytes = 0;
  uint64_t ColourBytes = 0;
  uint64_t ChangedCells = 0;
  uint64_t Runs = 0;
  uint64_t ColourChanges = 0;
  uint64_t Total() const { return CellBytes + MoveBytes + ColourBytes; }
};

class RecordingConsole final : public ConsoleDevice {
 public:
  RecordingConsole(int columns, int rows, std::vector<PcKey> keys);

  int Columns() const override { return columns_; }
  int Rows() const override { return rows_; }
  void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                 int stride) override;
  void PlaceCursor(int column, int row) override;
  void SetCursorVisible(bool visible) override;
  bool ReadKey(int timeoutMs, PcKey& key) override;
  void Restore() override { ++restores_; }

  const FrameBound& Bound() const { return bound_; }
  // Device calls, and those of them after which the terminal showed
  // something new.
  int ShowCalls() const { return showCalls_; }
  int ChangingShowCalls() const { return changingShowCalls_; }
  int CursorCalls() const { return cursorCalls_; }
  int VisibilityCalls() const { return visibilityCalls_; }
  size_t KeysLeft() const { return keys_.size(); }
  bool RanDry() const { return ranDry_; }
  // The screen at the end, one character per cell, rows joined with '\n'.
  std::string Text() const;

 private:
  int MoveBytes(int row, int column) const;
  int ColourBytes(int from, uint8_t to) const;

  int columns_, rows_;
  std::vector<int32_t> shown_;  // -1: not yet known
  std::deque<PcKey> keys_;
  FrameBound bound_;
  int cursorRow_ = -1, cursorColumn_ = -1;  // where the last run left the cursor
  int attribute_ = -1;
  int showCalls_ = 0, changingShowCalls_ = 0, cursorCalls_ = 0, visibilityCalls_ = 0;
  int restores_ = 0;
  bool ranDry_ = false;
};
