#include "textui/dialog.h"

#include <algorithm>

#include "textui/console.h"
#include "textui/draw.h"
#include "update/program_state.h"

namespace {

uint8_t UpCase(uint8_t key) { return key >= 'a' && key <= 'z' ? static_cast<uint8_t>(key - 32) : key; }

// Where the dialog lies, in logical columns and screen rows.
struct DialogPlace {
  int left, right, top, bottom;
  int textWidth;  // the width lines are aligned in
};

DialogPlace PlaceDialog(const DialogBox& dialog) {
  const int extra = dialog.ButtonCount > 0 ? 6 : 4;
  DialogPlace place{};
  place.textWidth = dialog.LineWidth;
  place.left = (80 - (dialog.LineWidth + 10)) / 2;
  place.right = place.left + dialog.LineWidth + 10;
  // A line too long for the box would push it off the left of the logical
  // screen: keep the box inside the 80 columns and align within the stored
  // (cut) lines instead.
  if (place.left < 1) {
    place.left = 1;
    place.right = 80;
    place.textWidth = std::min<int>(dialog.LineWidth, kDialogLineLength);
  }
  place.top = (Console.ScreenRows - (dialog.LineCount + extra)) / 2;
  place.bottom = place.top + dialog.LineCount + extra - 1;
  return place;
}

struct ButtonRow {
  int width, gap, row;
  int Column(const DialogPlace& place, int b) const {
    return place.left + 1 + (b - 1) * width + b * gap;
  }
};

std::string ButtonFace(const DialogBox& dialog, int b) {
  const std::string& caption = dialog.Buttons[static_cast<size_t>(b - 1)];
  const int w = dialog.ButtonWidth + 4;
  const int length = static_cast<int>(caption.size());
  const int p = (w - length) / 2;
  return std::string(static_cast<size_t>(p), ' ') + caption +
         std::string(static_cast<size_t>(std::max(0, w - length - p)), ' ');
}

void DrawButton(const DialogBox& dialog, const DialogPlace& place, const ButtonRow& buttons, int b,
                bool focused) {
  const int column = buttons.Column(place, b);
  const std::string face = ButtonFace(dialog, b);
  if (!focused) {
    PutText(column, buttons.row, dialog.DialogButtonColour, face, 0);
  } else if (Program.SfiMode) {
    PutTextViaConsole(column, buttons.row, dialog.DialogFocusColour, face, 0);
  } else {
    PutText(column, buttons.row, dialog.DialogFocusColour, face, 0);
  }
}

}  // namespace

void DialogInit(DialogBox& dialog, const KeySet& exitKeys) {
  dialog.Align = 0;
  dialog.LineCount = 0;
  dialog.LineWidth = 0;
  dialog.ButtonWidth = 0;
  dialog.ButtonCount = 0;
  dialog.ExitKeys = exitKeys;
  dialog.DialogBoxColour = Colours.DialogBoxColour;
  dialog.DialogFocusColour = Colours.DialogFocusColour;
  dialog.DialogButtonColour = Colours.DialogButtonColour;
  dialog.DialogTextColour = Colours.DialogTextColour;
}

void DialogAddLine(DialogBox& dialog, const std::string& text) {
  if (dialog.LineCount >= kDialogLines) return;
  dialog.Lines[dialog.LineCount++] =
      std::make_unique<std::string>(text.substr(0, kDialogLineLength));
  const size_t length = std::min<size_t>(text.size(), 255);
  if (length > dialog.LineWidth) dialog.LineWidth = static_cast<uint8_t>(length);
}

void DialogAddButton(DialogBox& dialog, const std::string& caption) {
  if (dialog.ButtonCount >= kDialogButtons) return;
  const std::string stored = caption.substr(0, kButtonCaptionLength);
  dialog.Buttons[dialog.ButtonCount++] = stored;
  if (stored.size() > dialog.ButtonWidth) dialog.ButtonWidth = static_cast<uint8_t>(stored.size());
  // An empty caption has no hotkey.
  if (!stored.empty()) dialog.ExitKeys.Add(static_cast<uint8_t>(stored[0]));
}

char DialogRun(DialogBox& dialog) {
  SetCentring(false, true);
  SaveScreen();
  const DialogPlace place = PlaceDialog(dialog);
  for (int row = place.top; row <= place.bottom; ++row)
    PutText(place.left, row, dialog.DialogBoxColour, "", place.right - place.left + 1);
  DrawShadowedFrame(place.left, place.top, place.right, place.bottom, dialog.DialogBoxColour);

  for (int n = 1; n <= dialog.LineCount; ++n) {
    const std::string& line = *dialog.Lines[static_cast<size_t>(n - 1)];
    const int length = static_cast<int>(line.size());
    int shift = 0;
    if (dialog.Align == 0) {
      shift = (place.textWidth - length) / 2;
    } else if (dialog.Align == 2) {
      shift = place.textWidth - length;
    } else if (dialog.Align != 1) {
      continue;
    }
    const int column = place.left + 5 + shift;
    if (Program.SfiMode) {
      PutTextViaConsole(column, place.top + 1 + n, dialog.DialogTextColour, line, 0);
    } else {
      PutText(column, place.top + 1 + n, dialog.DialogTextColour, line, 0);
    }
  }

  ButtonRow buttons{dialog.ButtonWidth + 4, 0, place.bottom - 2};
  if (dialog.ButtonCount > 0) {
    // A signed division: the gap is negative when the buttons are wider
    // than the box.
    buttons.gap = (place.right - place.left - buttons.width * dialog.ButtonCount) /
                  (dialog.ButtonCount + 1);
    const uint8_t shadow = dialog.DialogBoxColour & 240;
    for (int b = 1; b <= dialog.ButtonCount; ++b) {
      DrawButton(dialog, place, buttons, b, false);
      const int column = buttons.Column(place, b);
      PutText(column + buttons.width, buttons.row, shadow, "\xDC", 0);
      PutText(column + 1, buttons.row + 1, shadow,
              RepeatChar('\xDF', static_cast<int16_t>(buttons.width)), 0);
    }
  }

  int focus = 1;
  if (dialog.ButtonCount > 0) DrawButton(dialog, place, buttons, focus, true);

  // GetKey blocks in the console device, so waiting costs no CPU.
  uint8_t key = 0;
  for (;;) {
    const int previous = focus;
    key = UpCase(GetKey());
    bool moves = false;
    if (key == 0) {
      key = GetKey();
      if (key == kShiftTab || key == kLeft) --focus, moves = true;
      if (key == kRight) ++focus, moves = true;
    } else if (key == kTab) {
      ++focus, moves = true;
    }
    if (moves || dialog.ExitKeys.Contains(key)) {
      if (focus < 1) focus = dialog.ButtonCount;
      if (focus > dialog.ButtonCount) focus = 1;
      if (focus != previous && dialog.ButtonCount > 0) {
        DrawButton(dialog, place, buttons, previous, false);
        DrawButton(dialog, place, buttons, focus, true);
      }
    }
    if (key == kEnter || dialog.ExitKeys.Contains(key)) break;
  }

  char answer = static_cast<char>(key);
  if (key == kEnter) {
    // Without buttons there is no caption to answer with: Enter answers itself.
    const std::string& caption =
        dialog.ButtonCount > 0 ? dialog.Buttons[static_cast<size_t>(focus - 1)] : std::string();
    answer = caption.empty() ? static_cast<char>(kEnter) : caption[0];
  }
  RestoreScreen();
  SetCentring(true, true);
  return answer;
}

void DialogDone(DialogBox& dialog) {
  for (int n = 0; n < dialog.LineCount; ++n) dialog.Lines[static_cast<size_t>(n)].reset();
}
