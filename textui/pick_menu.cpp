#include "textui/pick_menu.h"

#include <algorithm>

#include "textui/console.h"
#include "textui/dialog.h"
#include "textui/draw.h"
#include "textui/status_line.h"
#include "update/program_state.h"

namespace {

MenuItem& Item(PickMenu& menu, int n) { return *menu.Items[static_cast<size_t>(n - 1)]; }
const MenuItem& Item(const PickMenu& menu, int n) { return *menu.Items[static_cast<size_t>(n - 1)]; }

int DrawnWidth(const PickMenu& menu, const MenuItem& item) {
  return item.Width != 0 ? item.Width : menu.ItemWidth;
}

// The width of item n on the bar, never past the right edge of the box.
int BarWidth(const PickMenu& menu, int n) {
  const MenuItem& item = Item(menu, n);
  return std::min(DrawnWidth(menu, item), menu.Right - item.Column);
}

int Wrap(const PickMenu& menu, int choice) {
  if (choice > menu.ItemCount) return 1;
  if (choice < 1) return menu.ItemCount;
  return choice;
}

}  // namespace

void MenuWindow::AddItem(int columnOffset, int rowOffset, const std::string& text,
                         const std::string& description) {
  if (ItemCount >= kMenuItems) return;
  auto item = std::make_unique<MenuItem>();
  item->Column = static_cast<uint8_t>(Left + columnOffset);
  item->Row = static_cast<uint8_t>(Top + rowOffset);
  item->Width = 0;
  item->Text = text.substr(0, kMenuTextLength);
  item->Description = description.substr(0, kMenuDescriptionLength);
  Items[ItemCount++] = std::move(item);
  const size_t length = std::min<size_t>(text.size(), 255);
  if (length > ItemWidth) ItemWidth = static_cast<uint8_t>(length);
}

void ActionMenuWindow::AddKeyAction(uint8_t key, void (*action)()) {
  if (KeyActionCount >= kMenuKeyActions) return;
  KeyActions[KeyActionCount++] = MenuKeyAction{key, action};
}

void MenuInit(PickMenu& menu, int left, int top, int right, int bottom, const std::string& title) {
  menu.Left = static_cast<uint8_t>(left);
  menu.Top = static_cast<uint8_t>(top);
  menu.Right = static_cast<uint8_t>(right);
  menu.Bottom = static_cast<uint8_t>(bottom);
  menu.Title = title.substr(0, kMenuTitleLength);
  menu.ItemCount = 0;
  menu.ItemWidth = 0;
  menu.MenuFrameColour = Colours.MenuFrameColour;
  menu.MenuIdleFrameColour = Colours.MenuIdleFrameColour;
  menu.MenuTitleColour = Colours.MenuTitleColour;
  menu.MenuBarColour = Colours.MenuBarColour;
  menu.MenuItemColour = Colours.MenuItemColour;
  menu.MenuSpareColour = Colours.MenuSpareColour;
  menu.StatusColour = Colours.StatusColour;
  menu.StatusHighlightColour = Colours.StatusHighlightColour;
  menu.ExitKeys = KeySet{'='};
}

void MenuCentre(PickMenu& menu) {
  const int oldLeft = menu.Left, oldTop = menu.Top;
  menu.Top = static_cast<uint8_t>((19 - menu.ItemCount - 4) / 2 + 4);
  menu.Bottom = static_cast<uint8_t>(menu.Top + menu.ItemCount + 3);
  menu.Left = static_cast<uint8_t>((80 - menu.ItemWidth - 4) / 2);
  menu.Right = static_cast<uint8_t>(menu.Left + menu.ItemWidth + 3);
  for (int n = 1; n <= menu.ItemCount; ++n) {
    MenuItem& item = Item(menu, n);
    item.Column = static_cast<uint8_t>(item.Column + menu.Left - oldLeft);
    item.Row = static_cast<uint8_t>(item.Row + menu.Top - oldTop);
  }
}

void MenuOpen(PickMenu& menu) {
  SaveScreen();
  for (int row = menu.Top; row <= menu.Bottom; ++row)
    PutText(menu.Left, row, menu.MenuFrameColour, "", menu.Right - menu.Left + 1);
  MenuDraw(menu, true);
}

void MenuDraw(PickMenu& menu, bool active) {
  menu.Active = active;
  DrawShadowedFrame(menu.Left, menu.Top, menu.Right, menu.Bottom,
                    active ? menu.MenuFrameColour : menu.MenuIdleFrameColour);
  if (active && !menu.Title.empty()) {
    PutText(menu.Right - static_cast<int>(menu.Title.size()) - 2, menu.Top, menu.MenuTitleColour,
            " " + menu.Title + " ", 0);
  }
  for (int n = 1; n <= menu.ItemCount; ++n) {
    const MenuItem& item = Item(menu, n);
    if (n == 1 && Program.SfiMode) {
      PutTextViaConsole(item.Column, item.Row, menu.MenuItemColour, item.Text,
                        DrawnWidth(menu, item));
    } else {
      PutText(item.Column, item.Row, menu.MenuItemColour, item.Text, DrawnWidth(menu, item));
    }
  }
}

void MenuDeactivate(PickMenu& menu) { MenuDraw(menu, false); }

void MenuActivate(PickMenu& menu) { MenuDraw(menu, true); }

void PlainItem(PickMenu& menu, int n) {
  const MenuItem& item = Item(menu, n);
  PutText(item.Column, item.Row, menu.MenuItemColour, item.Text, BarWidth(menu, n));
}

void HighlightItem(PickMenu& menu, int n) {
  const MenuItem& item = Item(menu, n);
  if (Program.SfiMode) {
    PutTextViaConsole(item.Column, item.Row, menu.MenuBarColour, item.Text, BarWidth(menu, n));
  } else {
    PutText(item.Column, item.Row, menu.MenuBarColour, item.Text, BarWidth(menu, n));
  }
  if (!item.Description.empty())
    ShowStatus(item.Description, menu.StatusColour, menu.StatusHighlightColour);
}

int NextItem(const PickMenu& menu, int choice, MenuDirection direction) {
  const MenuItem& current = Item(menu, choice);
  switch (direction) {
    case MenuDirection::Left:
      for (int n = choice - 1; n >= 1; --n)
        if (Item(menu, n).Row == current.Row) return n;
      return choice;
    case MenuDirection::Right:
      for (int n = choice + 1; n <= menu.ItemCount; ++n)
        if (Item(menu, n).Row == current.Row) return n;
      return choice;
    case MenuDirection::Up:
      for (int n = choice - 1; n >= 1; --n)
        if (Item(menu, n).Column == current.Column) return n;
      return choice - 1;
    case MenuDirection::Down:
      for (int n = choice + 1; n <= menu.ItemCount; ++n)
        if (Item(menu, n).Column == current.Column) return n;
      return choice + 1;
  }
  return choice;
}

void MenuRun(PickMenu& menu, uint8_t& choice) {
  if (menu.ItemCount == 0) {
    choice = 0;
    return;
  }
  int selected = Wrap(menu, choice);
  HighlightItem(menu, selected);
  uint8_t key = 0;
  // GetKey blocks in the console device, so waiting costs no CPU.
  for (;;) {
    key = GetKey();
    if (key == 0 || key == kTab) {
      if (key == 0) key = GetKey();
      menu.Previous = static_cast<uint8_t>(selected);
      switch (key) {
        case kTab:
        case kDown:
          selected = NextItem(menu, selected, MenuDirection::Down);
          break;
        case kShiftTab:
        case kUp:
          selected = NextItem(menu, selected, MenuDirection::Up);
          break;
        case kLeft:
          selected = NextItem(menu, selected, MenuDirection::Left);
          break;
        case kRight:
          selected = NextItem(menu, selected, MenuDirection::Right);
          break;
        case kHome:
        case kPgUp:
          selected = 1;
          break;
        case kEnd:
        case kPgDn:
          selected = menu.ItemCount;
          break;
        default:  // F1, Alt-Z and every other code are read and ignored
          break;
      }
      selected = Wrap(menu, selected);
      PlainItem(menu, menu.Previous);
      HighlightItem(menu, selected);
    }
    // A key code is tested as if it were a character: F3 (61, the code of
    // '=') ends the menu like Enter, a code of 27 like Esc.
    if (key == kEnter || key == kEsc || menu.ExitKeys.Contains(key)) break;
  }
  menu.Previous = static_cast<uint8_t>(selected);
  PlainItem(menu, selected);
  choice = key == kEsc ? 0 : static_cast<uint8_t>(selected);
}

void MenuClose(PickMenu& menu) {
  for (int n = 0; n < menu.ItemCount; ++n) menu.Items[static_cast<size_t>(n)].reset();
  menu.ItemCount = 0;
  RestoreScreen();
}
