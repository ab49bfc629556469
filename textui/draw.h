#pragma once
// The drawing layer: an 80 x 25 logical screen centred on the console, text
// writes with in-text colour changes, saved screens, frames and the colours.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console_device.h"

struct ScreenGeometry {
  // ScreenColumns x ScreenRows x 2. Kept wide enough for every console, so a
  // big one is never misjudged by truncation.
  uint32_t ScreenBytes = 0;
  bool CentreRows = false;
  uint8_t RowOffset = 0;
  bool CentreColumns = false;
  uint8_t ColumnOffset = 0;
  bool SavedCentreRows = false;  // used only by SetCentring
  bool SavedCentreColumns = false;
};
extern ScreenGeometry Geometry;

// In a text, byte 1 followed by an attribute byte switches the attribute.
constexpr char AttributeEscape = 1;

struct FrameSet {
  uint8_t TopLeft = 213, TopRight = 184, BottomLeft = 212, BottomRight = 190;
  uint8_t Horizontal = 205, Vertical = 179;
};
extern FrameSet Frames;

struct ColourScheme {
  uint8_t MenuFrameColour = 0, MenuIdleFrameColour = 0, MenuTitleColour = 0, MenuBarColour = 0,
          MenuItemColour = 0, MenuSpareColour = 0, StatusColour = 0, StatusHighlightColour = 0;
  uint8_t DialogBoxColour = 0, DialogFocusColour = 0, DialogButtonColour = 0,
          DialogTextColour = 0;
};
extern ColourScheme Colours;

constexpr uint8_t ShadowAttr = 8;
constexpr int kSavedScreenCapacity = 100;

struct SavedScreenStack {
  int Depth = 0;  // may pass the capacity; entries beyond it are dropped
  std::vector<std::vector<ScreenCell>> Entries;
};
extern SavedScreenStack SavedScreens;

void InitTextUi();
void ComputeScreenGeometry();
void SetCentring(bool rowsOn, bool columnsOn);

void PutText(int column, int row, uint8_t attribute, const std::string& text, int width);
void PutTextViaConsole(int column, int row, uint8_t attribute, const std::string& text, int width);
std::string RepeatChar(char character, int16_t count);
void FillScreen(char character, uint8_t attribute);
void SaveScreen();
void RestoreScreen();
void DrawFrame(int left, int top, int right, int bottom, uint8_t attribute, bool shadow);
void DrawShadowedFrame(int left, int top, int right, int bottom, uint8_t attribute);
void SelectFrameSet();
void SetMenuColours(uint8_t frame, uint8_t idleFrame, uint8_t title, uint8_t bar, uint8_t item,
                    uint8_t spare, uint8_t status, uint8_t statusHighlight);
void SetDialogColours(uint8_t box, uint8_t focus, uint8_t button, uint8_t text);
