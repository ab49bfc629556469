#include "textui/draw.h"

#include <algorithm>

#include "platform/file_services.h"
#include "platform/process.h"
#include "textui/console.h"

ScreenGeometry Geometry;
FrameSet Frames;
ColourScheme Colours;
SavedScreenStack SavedScreens;

namespace {

int ScreenColumn(int column) { return Geometry.CentreColumns ? column + Geometry.ColumnOffset : column; }
int ScreenRow(int row) { return Geometry.CentreRows ? row + Geometry.RowOffset : row; }

// A console smaller than the logical screen gets offset 0, never a negative one.
uint8_t HalfSurplus(int count, int logical) {
  return static_cast<uint8_t>(std::max(0, (count - logical) / 2));
}

std::string Ch(uint8_t c) { return std::string(1, static_cast<char>(c)); }

}  // namespace

void ComputeScreenGeometry() {
  const auto columns = static_cast<uint8_t>(Console.ScreenColumns);
  const auto rows = static_cast<uint8_t>(Console.ScreenRows);
  Geometry.ScreenBytes = static_cast<uint32_t>(Console.ScreenColumns * Console.ScreenRows * 2);
  Geometry.CentreRows = rows != 25;
  Geometry.RowOffset = HalfSurplus(rows, 25);
  Geometry.CentreColumns = columns > 80;
  Geometry.ColumnOffset = HalfSurplus(columns, 80);
  Geometry.SavedCentreRows = Geometry.CentreRows;
  Geometry.SavedCentreColumns = Geometry.CentreColumns;
}

void InitTextUi() {
  FileMode = 66;
  SavedScreens = SavedScreenStack{};
  ComputeScreenGeometry();
}

void SetCentring(bool rowsOn, bool columnsOn) {
  if (rowsOn) {
    Geometry.CentreRows = Geometry.SavedCentreRows;
  } else {
    Geometry.SavedCentreRows = Geometry.CentreRows;
    Geometry.CentreRows = false;
  }
  if (columnsOn) {
    Geometry.CentreColumns = Geometry.SavedCentreColumns;
  } else {
    Geometry.SavedCentreColumns = Geometry.CentreColumns;
    Geometry.CentreColumns = false;
  }
}

void PutText(int column, int row, uint8_t attribute, const std::string& text, int width) {
  const long cells = static_cast<long>(Console.ScreenBuffer.size());
  const long start = static_cast<long>(ScreenRow(row) - 1) * Console.ScreenColumns +
                     (ScreenColumn(column) - 1);
  const int limit = std::min(width, Console.ScreenColumns);
  uint8_t attr = attribute;
  int n = 0;
  auto put = [&](uint8_t character) {
    // A place before the first cell (a box pushed off the top left of a
    // small console) is clipped like one past the last.
    if (start + n >= 0) Console.ScreenBuffer[start + n] = MakeCell(character, attr);
    ++n;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b == AttributeEscape) {
      if (++i < text.size()) attr = static_cast<uint8_t>(text[i]);
      continue;
    }
    if ((limit != 0 && n == limit) || start + n >= cells) break;
    put(b);
  }
  if (limit != 0) {
    while (n < limit && start + n < cells) put(' ');
  }
  ScreenFlush(false);
}

void PutTextViaConsole(int column, int row, uint8_t attribute, const std::string& text,
                       int width) {
  const int x = ScreenColumn(column), y = ScreenRow(row);
  CursorTo(x, y);
  Console.CurrentAttr = attribute;
  int n = 0;
  std::string run;
  auto writeRun = [&] {
    if (!run.empty()) ConsoleWrite(run);
    run.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == AttributeEscape) {
      writeRun();
      if (++i < text.size()) Console.CurrentAttr = static_cast<uint8_t>(text[i]);
      continue;
    }
    if (width != 0 && n == width) break;
    run += text[i];
    ++n;
  }
  writeRun();
  if (width != 0 && n < width) ConsoleWrite(std::string(static_cast<size_t>(width - n), ' '));
  CursorTo(x, y);
}

std::string RepeatChar(char character, int16_t count) {
  if (count <= 0) return {};
  return std::string(static_cast<size_t>(std::min<int16_t>(count, 255)), character);
}

void FillScreen(char character, uint8_t attribute) {
  std::fill(Console.ScreenBuffer.begin(), Console.ScreenBuffer.end(),
            MakeCell(static_cast<uint8_t>(character), attribute));
  ScreenFlush(true);
}

void SaveScreen() {
  ++SavedScreens.Depth;
  if (SavedScreens.Depth <= kSavedScreenCapacity) SavedScreens.Entries.push_back(Console.ScreenBuffer);
}

void RestoreScreen() {
  if (SavedScreens.Depth == 0) return;
  if (SavedScreens.Depth <= kSavedScreenCapacity) {
    std::vector<ScreenCell>& top = SavedScreens.Entries.back();
    if (top.size() == Console.ScreenBuffer.size()) Console.ScreenBuffer = std::move(top);
    SavedScreens.Entries.pop_back();
    ScreenFlush(true);
  }
  --SavedScreens.Depth;
}

void DrawFrame(int left, int top, int right, int bottom, uint8_t attribute, bool shadow) {
  const std::string horizontal =
      RepeatChar(static_cast<char>(Frames.Horizontal), static_cast<int16_t>(right - left - 1));
  PutText(left, top, attribute, Ch(Frames.TopLeft) + horizontal + Ch(Frames.TopRight), 0);
  PutText(left, bottom, attribute, Ch(Frames.BottomLeft) + horizontal + Ch(Frames.BottomRight), 0);
  for (int row = top + 1; row <= bottom - 1; ++row) {
    PutText(left, row, attribute, Ch(Frames.Vertical), 0);
    PutText(right, row, attribute, Ch(Frames.Vertical), 0);
  }
  if (!shadow) return;
  left = ScreenColumn(left), right = ScreenColumn(right);
  top = ScreenRow(top), bottom = ScreenRow(bottom);
  auto shade = [](int column, int row) {
    if (column < 1 || row < 1 || column > Console.ScreenColumns || row > Console.ScreenRows) return;
    ScreenCell& cell = Console.ScreenBuffer[CellIndex(column, row)];
    cell = MakeCell(CellChar(cell), ShadowAttr);
  };
  if (right <= Console.ScreenColumns - 1) {
    for (int row = top + 1; row <= bottom; ++row) shade(right + 1, row);
  }
  if (bottom <= Console.ScreenRows - 3) {
    for (int column = left + 2; column <= right + 1 && column <= Console.ScreenColumns; ++column)
      shade(column, bottom + 1);
  }
  ScreenFlush(false);
}

void DrawShadowedFrame(int left, int top, int right, int bottom, uint8_t attribute) {
  DrawFrame(left, top, right, bottom, attribute, true);
}

void SelectFrameSet() {
  if (ActiveCodePage() == 850) {
    Frames = FrameSet{218, 191, 192, 217, 196, 179};
  } else {
    Frames = FrameSet{213, 184, 212, 190, 205, 179};
  }
}

void SetMenuColours(uint8_t frame, uint8_t idleFrame, uint8_t title, uint8_t bar, uint8_t item,
                    uint8_t spare, uint8_t status, uint8_t statusHighlight) {
  Colours.MenuFrameColour = frame;
  Colours.MenuIdleFrameColour = idleFrame;
  Colours.MenuTitleColour = title;
  Colours.MenuBarColour = bar;
  Colours.MenuItemColour = item;
  Colours.MenuSpareColour = spare;
  Colours.StatusColour = status;
  Colours.StatusHighlightColour = statusHighlight;
}

void SetDialogColours(uint8_t box, uint8_t focus, uint8_t button, uint8_t text) {
  Colours.DialogBoxColour = box;
  Colours.DialogFocusColour = focus;
  Colours.DialogButtonColour = button;
  Colours.DialogTextColour = text;
}
