#include "platform/common/win32_keys.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct Case {
  std::string Name;
  Win32KeyEvent Event;
  std::optional<PcKey> Expected;  // nullopt: no key
};

constexpr uint32_t kShift = kShiftPressed;
constexpr uint32_t kLeftAlt = kLeftAltPressed;
constexpr uint32_t kRightAlt = kRightAltPressed;
constexpr uint32_t kCtrl = kLeftCtrlPressed;

Win32KeyEvent Down(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state = 0) {
  return Win32KeyEvent{true, vk, scan, ch, state};
}
Win32KeyEvent Up(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state = 0) {
  return Win32KeyEvent{false, vk, scan, ch, state};
}
PcKey Char(uint8_t c) {
  return PcKey{c, 0};
}
PcKey Code(uint8_t code) {
  return PcKey{0, code};
}

// Virtual keys and scan codes as a US keyboard reports them.
const Case kCases[] = {
    // Keys with a character give it.
    {"a", Down('A', 0x1E, 'a'), Char('a')},
    {"Shift-A", Down('A', 0x1E, 'A', kShift), Char('A')},
    {"Caps Lock does not change the rule", Down('A', 0x1E, 'A', kCapsLockOn), Char('A')},
    {"Ctrl-C as a key", Down('C', 0x2E, 3, kCtrl), Char(3)},
    {"Enter", Down(0x0D, 0x1C, 13), Char(13)},
    {"keypad Enter", Down(0x0D, 0x1C, 13, kEnhancedKey), Char(13)},
    {"Esc", Down(0x1B, 0x01, 27), Char(27)},
    {"Esc without its character", Down(0x1B, 0x01, 0), Char(27)},
    {"Backspace", Down(0x08, 0x0E, 8), Char(8)},
    {"Enter without its character", Down(0x0D, 0x1C, 0), Char(13)},
    {"Tab", Down(0x09, 0x0F, 9), Char(9)},
    {"Ctrl-Tab keeps the character", Down(0x09, 0x0F, 9, kCtrl), Char(9)},
    {"keypad 5 with Num Lock", Down(0x65, 0x4C, '5', kNumLockOn), Char('5')},
    {"a byte above 127", Down(0xDE, 0x28, 0x84), Char(0x84)},
    {"AltGr character (right Alt and left Ctrl)", Down('Q', 0x10, '@', kRightAlt | kCtrl),
     Char('@')},
    {"right Alt with a letter", Down('X', 0x2D, 'x', kRightAlt), Char('x')},

    // Keys without a character: the scan code.
    {"Up", Down(0x26, 0x48, 0), Code(72)},
    {"Down", Down(0x28, 0x50, 0), Code(80)},
    {"Left", Down(0x25, 0x4B, 0), Code(75)},
    {"Right", Down(0x27, 0x4D, 0), Code(77)},
    {"grey Up", Down(0x26, 0x48, 0, kEnhancedKey), Code(72)},
    {"Home", Down(0x24, 0x47, 0), Code(71)},
    {"End", Down(0x23, 0x4F, 0), Code(79)},
    {"PgUp", Down(0x21, 0x49, 0), Code(73)},
    {"PgDn", Down(0x22, 0x51, 0), Code(81)},
    {"Ins", Down(0x2D, 0x52, 0), Code(82)},
    {"Del", Down(0x2E, 0x53, 0), Code(83)},
    {"Shift-Up is Up", Down(0x26, 0x48, 0, kShift), Code(72)},
    {"F1", Down(0x70, 0x3B, 0), Code(59)},
    {"F3", Down(0x72, 0x3D, 0), Code(61)},
    {"F10", Down(0x79, 0x44, 0), Code(68)},
    {"F11", Down(0x7A, 0x57, 0), Code(133)},
    {"F12", Down(0x7B, 0x58, 0), Code(134)},
    {"F1 with Num Lock and Scroll Lock on", Down(0x70, 0x3B, 0, kNumLockOn | kScrollLockOn),
     Code(59)},
    {"F5 without a scan code", Down(0x74, 0, 0), Code(63)},
    {"keypad 5 without Num Lock", Down(0x0C, 0x4C, 0), Code(76)},
    {"Ctrl-2 (no character)", Down('2', 0x03, 0, kCtrl), Code(3)},

    // Modifiers with F-keys and cursor keys.
    {"Shift-F1", Down(0x70, 0x3B, 0, kShift), Code(84)},
    {"Shift-F6", Down(0x75, 0x40, 0, kShift), Code(89)},
    {"Shift-F10", Down(0x79, 0x44, 0, kShift), Code(93)},
    {"Ctrl-F1", Down(0x70, 0x3B, 0, kCtrl), Code(94)},
    {"right Ctrl-F10", Down(0x79, 0x44, 0, kRightCtrlPressed), Code(103)},
    {"Alt-F1", Down(0x70, 0x3B, 0, kLeftAlt), Code(104)},
    {"Alt-F10", Down(0x79, 0x44, 0, kLeftAlt), Code(113)},
    {"Shift-F11", Down(0x7A, 0x57, 0, kShift), Code(135)},
    {"Alt-F12", Down(0x7B, 0x58, 0, kLeftAlt), Code(140)},
    {"Alt beats Ctrl and Shift", Down(0x70, 0x3B, 0, kLeftAlt | kCtrl | kShift), Code(104)},
    {"Ctrl beats Shift", Down(0x75, 0x40, 0, kCtrl | kShift), Code(99)},
    {"Ctrl-Left", Down(0x25, 0x4B, 0, kCtrl), Code(115)},
    {"Ctrl-PgUp", Down(0x21, 0x49, 0, kCtrl), Code(132)},
    {"Alt-Down", Down(0x28, 0x50, 0, kLeftAlt), Code(160)},
    {"Shift-Tab", Down(0x09, 0x0F, 9, kShift), Code(15)},

    // Left Alt with a character key: the key's code.
    {"Alt-Z", Down('Z', 0x2C, 'z', kLeftAlt), Code(44)},
    {"Alt-Shift-Z", Down('Z', 0x2C, 'Z', kLeftAlt | kShift), Code(44)},
    {"Alt-Q", Down('Q', 0x10, 'q', kLeftAlt), Code(16)},
    {"Alt-M", Down('M', 0x32, 'm', kLeftAlt), Code(50)},
    {"Alt-Z without a scan code", Down('Z', 0, 'z', kLeftAlt), Code(44)},
    {"Alt-A with no character", Down('A', 0x1E, 0, kLeftAlt), Code(30)},
    {"Alt-1", Down('1', 0x02, '1', kLeftAlt), Code(120)},
    {"Alt-0", Down('0', 0x0B, '0', kLeftAlt), Code(129)},
    {"Alt-=", Down(0xBB, 0x0D, '=', kLeftAlt), Code(131)},
    {"Alt-9 without a scan code", Down('9', 0, '9', kLeftAlt), Code(128)},
    {"Alt-Enter", Down(0x0D, 0x1C, 13, kLeftAlt), Code(28)},
    {"Alt-Esc without a character", Down(0x1B, 0x01, 0, kLeftAlt), Code(1)},
    {"Ctrl-left Alt-letter", Down('K', 0x25, 'k', kLeftAlt | kCtrl), Code(37)},

    // No key at all.
    {"key release", Up('A', 0x1E, 'a'), std::nullopt},
    {"F1 release", Up(0x70, 0x3B, 0), std::nullopt},
    {"Shift alone", Down(0x10, 0x2A, 0, kShift), std::nullopt},
    {"left Shift by its own code", Down(0xA0, 0x2A, 0, kShift), std::nullopt},
    {"Ctrl alone", Down(0x11, 0x1D, 0, kCtrl), std::nullopt},
    {"right Ctrl alone", Down(0x11, 0x1D, 0, kRightCtrlPressed | kEnhancedKey), std::nullopt},
    {"Alt alone", Down(0x12, 0x38, 0, kLeftAlt), std::nullopt},
    {"Caps Lock", Down(0x14, 0x3A, 0, kCapsLockOn), std::nullopt},
    {"Num Lock", Down(0x90, 0x45, 0, kNumLockOn), std::nullopt},
    {"Scroll Lock", Down(0x91, 0x46, 0, kScrollLockOn), std::nullopt},
    {"Windows key", Down(0x5B, 0x5B, 0, kEnhancedKey), std::nullopt},
    {"no character and no scan code", Down(0xFF, 0, 0), std::nullopt},
    {"Alt with an unknown key", Down(0xFF, 0, 0, kLeftAlt), std::nullopt},
};

TEST(Win32KeysTest, TranslatesKeyEvents) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    PcKey key{99, 99};
    const bool got = TranslateWin32Key(c.Event, key);
    ASSERT_EQ(got, c.Expected.has_value());
    if (got) {
      EXPECT_EQ(int{key.Char}, int{c.Expected->Char});
      EXPECT_EQ(int{key.Code}, int{c.Expected->Code});
    }
  }
}

}  // namespace
