#pragma once
// Message dialogs: a framed, shadowed box of up to 15 lines and 5 push
// buttons that waits for Enter or one of its exit keys.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "textui/key_set.h"

constexpr int kDialogLines = 15;
constexpr int kDialogLineLength = 70;
constexpr int kDialogButtons = 5;
constexpr int kButtonCaptionLength = 25;

struct DialogBox {
  uint8_t Align = 0;  // 0 centred, 1 left-aligned, 2 right-aligned
  uint8_t DialogBoxColour = 0;
  uint8_t DialogFocusColour = 0;
  uint8_t DialogButtonColour = 0;
  uint8_t DialogTextColour = 0;
  std::array<std::unique_ptr<std::string>, kDialogLines> Lines;  // owned by the dialog
  uint8_t LineCount = 0;
  uint8_t LineWidth = 0;  // the longest line as added, before the cut
  uint8_t ButtonWidth = 0;
  std::array<std::string, kDialogButtons> Buttons;
  uint8_t ButtonCount = 0;
  KeySet ExitKeys;
};

constexpr uint8_t kEnter = 13;
constexpr uint8_t kEsc = 27;
constexpr uint8_t kTab = 9;
constexpr uint8_t kShiftTab = 15;
constexpr uint8_t kLeft = 75;
constexpr uint8_t kRight = 77;
constexpr uint8_t kUp = 72;
constexpr uint8_t kDown = 80;
constexpr uint8_t kHome = 71;
constexpr uint8_t kEnd = 79;
constexpr uint8_t kPgUp = 73;
constexpr uint8_t kPgDn = 81;

void DialogInit(DialogBox& dialog, const KeySet& exitKeys);
void DialogAddLine(DialogBox& dialog, const std::string& text);
void DialogAddButton(DialogBox& dialog, const std::string& caption);
char DialogRun(DialogBox& dialog);
void DialogDone(DialogBox& dialog);
