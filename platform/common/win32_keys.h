#pragma once
// Turns a Windows console key event into a PC key. Pure: the event's fields
// in, a key (or none) out; it needs no Windows headers, so it is tested on
// every platform.

#include <cstdint>

#include "platform/console_device.h"

// The control-key state bits of a console key event.
constexpr uint32_t kRightAltPressed = 0x0001;
constexpr uint32_t kLeftAltPressed = 0x0002;
constexpr uint32_t kRightCtrlPressed = 0x0004;
constexpr uint32_t kLeftCtrlPressed = 0x0008;
constexpr uint32_t kShiftPressed = 0x0010;
constexpr uint32_t kNumLockOn = 0x0020;
constexpr uint32_t kScrollLockOn = 0x0040;
constexpr uint32_t kCapsLockOn = 0x0080;
constexpr uint32_t kEnhancedKey = 0x0100;

// The fields of a console key event that decide the key.
struct Win32KeyEvent {
  bool KeyDown = true;
  uint16_t VirtualKey = 0;
  uint16_t ScanCode = 0;
  uint8_t Char = 0;  // in the console's input code page; 0 for none
  uint32_t ControlState = 0;
};

// The PC key for an event: false for a key release and for a modifier or
// lock key pressed alone.
bool TranslateWin32Key(const Win32KeyEvent& event, PcKey& key);
