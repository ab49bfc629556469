#include "support/dialog_capture.h"

#include "platform/process.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/draw.h"

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The dialog box on the screen: the first top-left corner in the dialogs'
// box colour, its frame followed to the other corners.
std::optional<ShownDialog> FindDialog(const MemoryConsole& console) {
  const uint8_t box = Colours.DialogBoxColour;
  for (int top = 1; top <= console.Rows(); ++top) {
    for (int left = 1; left <= console.Columns(); ++left) {
      if (console.Char(left, top) != Frames.TopLeft || console.Attr(left, top) != box) continue;
      int right = left + 1;
      while (right <= console.Columns() && console.Char(right, top) != Frames.TopRight) ++right;
      int bottom = top + 1;
      while (bottom <= console.Rows() && console.Char(left, bottom) != Frames.BottomLeft) ++bottom;
      if (right > console.Columns() || bottom > console.Rows()) continue;

      // Inside the frame: a blank row, the lines, a blank row, the buttons
      // and their shadows.
      ShownDialog dialog;
      const int buttonRow = bottom - 2;
      for (int row = top + 2; row <= buttonRow - 2; ++row) {
        const std::string inner = console.Text(left + 1, row, right - left - 1);
        const size_t first = inner.find_first_not_of(' ');
        dialog.Lines.push_back(Trim(inner));
        dialog.LineColumns.push_back(first == std::string::npos ? -1 : static_cast<int>(first) + 1);
      }
      std::string face;
      bool focused = false;
      for (int column = left + 1; column <= right; ++column) {
        const uint8_t attr = console.Attr(column, buttonRow);
        const bool onButton = column < right && (attr == Colours.DialogButtonColour ||
                                                 attr == Colours.DialogFocusColour);
        if (onButton) {
          face += static_cast<char>(console.Char(column, buttonRow));
          focused = focused || attr == Colours.DialogFocusColour;
        } else if (!face.empty()) {
          if (focused) dialog.Focused = static_cast<int>(dialog.Buttons.size());
          dialog.Buttons.push_back(Trim(face));
          face.clear();
          focused = false;
        }
      }
      return dialog;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string KeyWait::StatusLine() const {
  if (Rows.empty()) return "";
  const std::string& row = Rows.back();
  const size_t last = row.find_last_not_of(' ');
  return last == std::string::npos ? "" : row.substr(0, last + 1);
}

bool KeyWait::Shows(const std::string& text) const {
  for (const std::string& row : Rows) {
    if (row.find(text) != std::string::npos) return true;
  }
  return false;
}

bool DialogCapture::ReadKey(int timeoutMs, PcKey& key) {
  if (timeoutMs < 0) {
    KeyWait wait;
    for (int row = 1; row <= console_.Rows(); ++row) wait.Rows.push_back(console_.RowText(row));
    wait.Dialog = FindDialog(console_);
    waits_.push_back(std::move(wait));
  }
  return console_.ReadKey(timeoutMs, key);
}

std::vector<ShownDialog> DialogCapture::Dialogs() const {
  std::vector<ShownDialog> dialogs;
  for (const KeyWait& wait : waits_) {
    if (wait.Dialog) dialogs.push_back(*wait.Dialog);
  }
  return dialogs;
}

void StartCapture(DialogCapture& capture) {
  ResetProgramState();
  ScreenInit(capture);
  InitTextUi();
  SetMenuColours(11, 1, 30, 113, 7, 3, 7, 14);
  SetDialogColours(112, 30, 16, 112);
  // ScreenInit registers the console's restore; tests end no program.
  Process.FinalProcs.clear();
}
