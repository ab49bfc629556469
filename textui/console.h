#pragma once
// Console services: the cell buffer of the program, the console's text path
// and the keyboard, over a console device.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/console_device.h"

constexpr uint8_t CursorHidden = 0;
constexpr uint8_t CursorUnderline = 1;

constexpr int kMaxScreenColumns = 240;
constexpr int kMaxScreenRows = 255;

struct ConsoleServices {
  std::unique_ptr<ConsoleDevice> OwnedDevice;
  ConsoleDevice* Device = nullptr;  // null until ScreenInit, and when none could be had
  bool Restored = false;

  int ScreenColumns = 80;
  int ScreenRows = 25;
  std::vector<ScreenCell> ScreenBuffer;  // what the program draws into
  std::vector<ScreenCell> Flushed;       // ScreenBuffer as of the last flush
  std::vector<ScreenCell> Shown;         // what the console shows, text path included

  uint8_t CurrentAttr = 7;
  // The text window and the cursor, in 1-based screen positions.
  int WindowLeft = 1, WindowTop = 1, WindowRight = 80, WindowBottom = 25;
  int CursorColumn = 1, CursorRow = 1;

  int PendingCode = -1;  // the key code GetKey returns after a 0
  bool HaveQueuedKey = false;
  PcKey QueuedKey;
};

extern ConsoleServices Console;

// Opens the platform's console; without one the program stops with runtime
// error 103.
void ScreenInit();
// The same over a given device (tests, benchmarks). The device must outlive
// the console services' use of it.
void ScreenInit(ConsoleDevice& device);
// Puts the console back as it was found; the contents stay.
void ScreenDone();

void ScreenFlush(bool force);
void SetCursorShape(uint8_t shape);
void CursorTo(int column, int row);
void SetTextWindow(int left, int top, int right, int bottom);
void ClearWindow();
void ConsoleWrite(const std::string& text);

bool KeyAvailable();
uint8_t GetKey();

// The cell index of a 1-based screen position.
inline size_t CellIndex(int column, int row) {
  return static_cast<size_t>(row - 1) * static_cast<size_t>(Console.ScreenColumns) +
         static_cast<size_t>(column - 1);
}
