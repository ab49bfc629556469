#pragma once
// A console device over a MemoryConsole that notes what the screen shows
// each time the program waits for a key, and reads the message dialog on it
// (if any), so that a test can check every dialog a sequence showed after
// the dialogs have closed.

#include <optional>
#include <string>
#include <vector>

#include "support/memory_console.h"

// A message dialog as the screen showed it.
struct ShownDialog {
  std::vector<std::string> Lines;    // the text lines, blanks around each trimmed
  std::vector<int> LineColumns;      // where each line starts, from the frame's left; -1 when empty
  std::vector<std::string> Buttons;  // the captions, left to right
  int Focused = -1;                  // the button with the focus, 0-based
};

struct KeyWait {
  std::vector<std::string> Rows;  // every row's characters, top to bottom
  std::optional<ShownDialog> Dialog;
  // The bottom row with trailing blanks trimmed: the status line.
  std::string StatusLine() const;
  // True when some row holds `text`.
  bool Shows(const std::string& text) const;
};

class DialogCapture final : public ConsoleDevice {
 public:
  explicit DialogCapture(MemoryConsole& console) : console_(console) {}

  int Columns() const override { return console_.Columns(); }
  int Rows() const override { return console_.Rows(); }
  void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                 int stride) override {
    console_.ShowCells(left, top, right, bottom, cells, stride);
  }
  void PlaceCursor(int column, int row) override { console_.PlaceCursor(column, row); }
  void SetCursorVisible(bool visible) override { console_.SetCursorVisible(visible); }
  bool ReadKey(int timeoutMs, PcKey& key) override;
  void Restore() override { console_.Restore(); }

  // One entry per key the program waited for.
  const std::vector<KeyWait>& Waits() const { return waits_; }
  // The dialogs of those waits, in order; a wait without a dialog is left out.
  std::vector<ShownDialog> Dialogs() const;

 private:
  MemoryConsole& console_;
  std::vector<KeyWait> waits_;
};

// Starts the console services on the capture, as StartConsole does on a
// memory console: fresh program state, the program's colours.
void StartCapture(DialogCapture& capture);
