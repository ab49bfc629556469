#include "platform/common/win32_keys.h"

namespace {

// Virtual-key codes of the keys that need one.
constexpr uint16_t kVkBack = 0x08;
constexpr uint16_t kVkTab = 0x09;
constexpr uint16_t kVkReturn = 0x0D;
constexpr uint16_t kVkEscape = 0x1B;
constexpr uint16_t kVkShift = 0x10;
constexpr uint16_t kVkControl = 0x11;
constexpr uint16_t kVkMenu = 0x12;  // Alt
constexpr uint16_t kVkCapital = 0x14;
constexpr uint16_t kVkPrior = 0x21;
constexpr uint16_t kVkNext = 0x22;
constexpr uint16_t kVkEnd = 0x23;
constexpr uint16_t kVkHome = 0x24;
constexpr uint16_t kVkLeft = 0x25;
constexpr uint16_t kVkUp = 0x26;
constexpr uint16_t kVkRight = 0x27;
constexpr uint16_t kVkDown = 0x28;
constexpr uint16_t kVkInsert = 0x2D;
constexpr uint16_t kVkDelete = 0x2E;
constexpr uint16_t kVkLeftWin = 0x5B;
constexpr uint16_t kVkRightWin = 0x5C;
constexpr uint16_t kVkF1 = 0x70;
constexpr uint16_t kVkF12 = 0x7B;
constexpr uint16_t kVkNumLock = 0x90;
constexpr uint16_t kVkScroll = 0x91;
constexpr uint16_t kVkLeftShift = 0xA0;
constexpr uint16_t kVkRightMenu = 0xA5;

constexpr uint32_t kAltPressed = kLeftAltPressed | kRightAltPressed;
constexpr uint32_t kCtrlPressed = kLeftCtrlPressed | kRightCtrlPressed;

// The PC codes of a key without a character, plain and with each modifier.
// Shift on a cursor key gives the plain key, as on the PC keyboard.
struct ModCodes {
  uint16_t VirtualKey;
  uint8_t Plain, Shift, Ctrl, Alt;
};

constexpr ModCodes kNamedKeys[] = {
    {kVkUp, 72, 72, 141, 152},     {kVkDown, 80, 80, 145, 160},   {kVkRight, 77, 77, 116, 157},
    {kVkLeft, 75, 75, 115, 155},   {kVkHome, 71, 71, 119, 151},   {kVkEnd, 79, 79, 117, 159},
    {kVkPrior, 73, 73, 132, 153},  {kVkNext, 81, 81, 118, 161},   {kVkInsert, 82, 82, 146, 162},
    {kVkDelete, 83, 83, 147, 163}, {kVkF1, 59, 84, 94, 104},      {kVkF1 + 1, 60, 85, 95, 105},
    {kVkF1 + 2, 61, 86, 96, 106},  {kVkF1 + 3, 62, 87, 97, 107},  {kVkF1 + 4, 63, 88, 98, 108},
    {kVkF1 + 5, 64, 89, 99, 109},  {kVkF1 + 6, 65, 90, 100, 110}, {kVkF1 + 7, 66, 91, 101, 111},
    {kVkF1 + 8, 67, 92, 102, 112}, {kVkF1 + 9, 68, 93, 103, 113}, {kVkF1 + 10, 133, 135, 137, 139},
    {kVkF12, 134, 136, 138, 140},
};

bool IsModifierOrLock(uint16_t vk) {
  switch (vk) {
    case kVkShift:
    case kVkControl:
    case kVkMenu:
    case kVkCapital:
    case kVkNumLock:
    case kVkScroll:
    case kVkLeftWin:
    case kVkRightWin:
      return true;
    default:
      return vk >= kVkLeftShift && vk <= kVkRightMenu;
  }
}

const ModCodes* FindNamed(uint16_t vk) {
  for (const ModCodes& codes : kNamedKeys) {
    if (codes.VirtualKey == vk) return &codes;
  }
  return nullptr;
}

// The scan code of a letter key by its virtual key, for an event that came
// without a scan code.
uint8_t LetterScanCode(uint16_t vk) {
  static constexpr uint8_t kLetters[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                           49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
  if (vk >= 'A' && vk <= 'Z') return kLetters[vk - 'A'];
  return 0;
}

// Alt with a key that has a character: the key's scan code, except that the
// digit row (1 to 9, 0, -, =) has codes of its own, 120 to 131.
uint8_t AltCode(const Win32KeyEvent& event) {
  const uint16_t scan = event.ScanCode;
  if (scan >= 2 && scan <= 13) return static_cast<uint8_t>(scan - 2 + 120);
  if (scan != 0) return static_cast<uint8_t>(scan);
  if (event.VirtualKey >= '1' && event.VirtualKey <= '9')
    return static_cast<uint8_t>(event.VirtualKey - '1' + 120);
  if (event.VirtualKey == '0') return 129;
  return LetterScanCode(event.VirtualKey);
}

// The character of a key that always has one. Some consoles (Wine's on a
// terminal) send Esc without its character; it is still the Esc key.
uint8_t OwnChar(uint16_t vk) {
  switch (vk) {
    case kVkBack:
      return 8;
    case kVkTab:
      return 9;
    case kVkReturn:
      return 13;
    case kVkEscape:
      return 27;
    default:
      return 0;
  }
}

}  // namespace

bool TranslateWin32Key(const Win32KeyEvent& event, PcKey& key) {
  if (!event.KeyDown || IsModifierOrLock(event.VirtualKey)) return false;
  const uint32_t state = event.ControlState;
  if (const ModCodes* codes = FindNamed(event.VirtualKey)) {
    // With several modifiers held the strongest decides: Alt, Ctrl, Shift.
    uint8_t code = codes->Plain;
    if (state & kAltPressed) {
      code = codes->Alt;
    } else if (state & kCtrlPressed) {
      code = codes->Ctrl;
    } else if (state & kShiftPressed) {
      code = codes->Shift;
    }
    key = PcKey{0, code};
    return true;
  }
  if (event.VirtualKey == kVkTab && (state & kShiftPressed) &&
      (state & (kAltPressed | kCtrlPressed)) == 0) {
    key = PcKey{0, 15};
    return true;
  }
  // Right Alt is AltGr on many keyboards: its characters are characters.
  if (state & kLeftAltPressed) {
    const uint8_t code = AltCode(event);
    if (code == 0) return false;
    key = PcKey{0, code};
    return true;
  }
  const uint8_t c = event.Char != 0 ? event.Char : OwnChar(event.VirtualKey);
  if (c != 0) {
    key = PcKey{c, 0};
    return true;
  }
  // A key with neither a character nor a scan code is nothing a PC keyboard
  // could report.
  if (event.ScanCode == 0 || event.ScanCode > 0xFF) return false;
  key = PcKey{0, static_cast<uint8_t>(event.ScanCode)};
  return true;
}
