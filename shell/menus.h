// Numbered menus: menu bars attached to a window and pop-up menus, built item by item in
// the order the application declares them, greyed by command, and shown at the cursor.
// A chosen item reaches the application as EVENT_MENU with the item's number.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/objtable.h"

// One menu. The first field marks the slot as used.
struct MenuRecord {
    HMENU handle; // the bar (CreateMenu) or the pop-up menu (CreatePopupMenu)
    HWND owner;   // window whose bar this is; null for a pop-up menu
};

// Depth of the stack of menus enclosing the target of the next title or item.
constexpr int32_t MENU_STACK_DEPTH = 64;

// ---- Public functions ----

// Creates the menus table and the building state. Safe to call again (keeps what exists).
void Menu_Init();

// Makes a new, empty menu bar for owner under number and makes it the menu being built.
// Returns the menu handle (as an integer), the identifier for OBJ_ANY, or 0 on failure.
// The bar is attached to the window with its first title or item.
ObjId Menu_Create(ObjId number, HWND owner);

// As Menu_Create, for a pop-up menu without an owner.
ObjId Menu_CreatePopup(ObjId number);

// Opens a new drop-down titled text on the top level of the menu being built; the items
// that follow go into it.
void Menu_Title(const char* text);

// Appends an item (command number item) to the current drop-down, or to the top level of a
// pop-up menu. A tab in text separates the label from the shortcut text.
void Menu_Item(int32_t item, const char* text);

// Greys (state != 0) or enables (state == 0) the item with command number item.
void Menu_DisableItem(ObjId number, int32_t item, int32_t state);

// The native menu handle, or null for a number that holds no menu.
HMENU Menu_Handle(ObjId number);

// Shows the menu for window with its top-left corner one pixel up and left of the cursor.
void Menu_ShowPopup(ObjId number, HWND window);

// Shows the menu for window with its top-left corner at the screen point (x, y), in 96-DPI units. Returns
// when the menu closes; a chosen item is posted to window as WM_COMMAND.
void Menu_ShowPopupAt(ObjId number, HWND window, int32_t x, int32_t y);

// Puts the item bitmaps of a menu and of its drop-downs at the DPI's scale (Img_ForDpi): a menu bar
// follows the DPI of its window. Nothing for a null menu.
void Menu_FitBitmaps(HMENU menu, int32_t dpi);

// Detaches the menu from its window and destroys it (also the table's release routine).
void Menu_Free(ObjId number);
