#pragma once
// The pick menu: a framed, shadowed box with a title in its top edge and a
// list of items, one of them carrying the selection bar.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "textui/key_set.h"

constexpr int kMenuItems = 100;
constexpr int kMenuTitleLength = 30;
constexpr int kMenuTextLength = 75;
constexpr int kMenuDescriptionLength = 100;
constexpr int kMenuKeyActions = 20;

struct MenuItem {
  uint8_t Column = 0, Row = 0;  // logical position of the item text
  uint8_t Width = 0;            // 0: the menu's ItemWidth
  std::string Text;
  std::string Description;
};

// The box, the title, the colours and the items.
class MenuWindow {
 public:
  virtual ~MenuWindow() = default;
  virtual void AddItem(int columnOffset, int rowOffset, const std::string& text,
                       const std::string& description);

  uint8_t Left = 0, Right = 0, Top = 0, Bottom = 0;
  std::string Title;
  uint8_t MenuFrameColour = 0, MenuIdleFrameColour = 0, MenuTitleColour = 0, MenuBarColour = 0,
          MenuItemColour = 0, MenuSpareColour = 0;
  uint8_t StatusColour = 0, StatusHighlightColour = 0;
  std::array<std::unique_ptr<MenuItem>, kMenuItems> Items;
  uint8_t ItemCount = 0;
  uint8_t ItemWidth = 0;
  uint8_t Previous = 0;
  KeySet ExitKeys;
};

struct MenuKeyAction {
  uint8_t Key = 0;
  void (*Action)() = nullptr;
};

// Adds key-bound actions. This program registers none, and the run loop
// never consults them.
class ActionMenuWindow : public MenuWindow {
 public:
  virtual void AddKeyAction(uint8_t key, void (*action)());

  std::array<MenuKeyAction, kMenuKeyActions> KeyActions{};
  uint8_t KeyActionCount = 0;
  bool ActionsOn = false;
};

// Adds the run state.
class PickMenu : public ActionMenuWindow {
 public:
  bool Active = false;
};

enum class MenuDirection { Left, Right, Up, Down };

void MenuInit(PickMenu& menu, int left, int top, int right, int bottom, const std::string& title);
void MenuCentre(PickMenu& menu);
void MenuOpen(PickMenu& menu);
void MenuDraw(PickMenu& menu, bool active);
void MenuDeactivate(PickMenu& menu);
void MenuActivate(PickMenu& menu);
void PlainItem(PickMenu& menu, int n);
void HighlightItem(PickMenu& menu, int n);
int NextItem(const PickMenu& menu, int choice, MenuDirection direction);
void MenuRun(PickMenu& menu, uint8_t& choice);
void MenuClose(PickMenu& menu);
