// Numbered menus: menu bars and pop-up menus kept in an object table, filled item by item
// through a process-wide building state, greyed by command and shown at the mouse cursor.
// Menus are built and used on the thread that owns their window; nothing here is locked.
#include "shell/menus.h"

#include "core/strings.h"

#include "controls/images.h"
#include "window/dpi.h"
#include "window/winproc.h"

namespace {

// State of the menu being built by Menu_Title and Menu_Item.
struct MenuBuildState {
    bool hasCurrent;                   // a Menu_Create or Menu_CreatePopup succeeded
    ObjId current;                     // number (or identifier) of the menu being built
    HMENU target;                      // menu or drop-down that receives the next title or item
    HMENU enclosing[MENU_STACK_DEPTH]; // menus enclosing the target, innermost last
    int32_t depth;                     // entries in use on the stack
};

constexpr int32_t kMenuGrowthStep = 16;

ObjectTable* g_menus = nullptr;
MenuBuildState* g_build = nullptr;

// ---- Internal functions ----

// Record of the menu being built, or null when there is none (never made, or freed since).
// The number is kept instead of a record pointer because the slot array moves when it grows.
MenuRecord* CurrentMenu() {
    if (g_build == nullptr || !g_build->hasCurrent)
        return nullptr;
    return static_cast<MenuRecord*>(ObjTable_Find(g_menus, g_build->current));
}

// Attaches a bar to its window, or, when the window carries it already, lays it out and redraws it anew:
// attaching it again for every title and item would recompute the window's frame each time.
void AttachBar(const MenuRecord* record) {
    if (record->owner == nullptr)
        return;
    if (GetMenu(record->owner) == record->handle)
        DrawMenuBar(record->owner);
    else
        SetMenu(record->owner, record->handle);
}

// Whether the command is an item of the menu's own top level, not of one of its drop-downs.
bool OnTopLevel(HMENU menu, int32_t item) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (GetMenuItemID(menu, i) == static_cast<UINT>(item))
            return true;
    }
    return false;
}

// Shows the menu at a screen point in pixels and returns when it closes.
void ShowPopupAtPixel(ObjId number, HWND window, int32_t x, int32_t y) {
    auto* record = static_cast<MenuRecord*>(ObjTable_Find(g_menus, number));
    if (record == nullptr)
        return;
    // Without the foreground the menu does not close when the user clicks elsewhere
    // (typical for menus opened from a tray icon).
    SetForegroundWindow(window);
    TrackPopupMenu(record->handle, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, x, y, 0, window, nullptr);
    // Forces a task switch to the window, otherwise the next tray menu may close at once.
    PostMessageW(window, WM_NULL, 0, 0);
}

// The pictures of a window's menu bar at the window's new DPI. Only a bar follows its window: the tray's
// pop-up menu opens at the taskbar, whose scale is the display's.
void FitMenuBar(HWND window, int32_t dpi) {
    Menu_FitBitmaps(GetMenu(window), dpi);
}

// Shared body of Menu_Create and Menu_CreatePopup.
ObjId CreateMenuObject(ObjId number, HWND owner, bool popup) {
    if (g_menus == nullptr)
        Menu_Init();
    if (g_menus == nullptr)
        return 0;
    // Acquiring runs Menu_Free on a menu still holding the number.
    auto* record = static_cast<MenuRecord*>(ObjTable_Acquire(g_menus, number));
    if (record == nullptr)
        return 0;
    ObjId id = (number == OBJ_ANY) ? reinterpret_cast<ObjId>(record) : number;
    HMENU handle = popup ? CreatePopupMenu() : CreateMenu();
    if (handle == nullptr) {
        // A fresh OBJ_ANY record would otherwise stay in the table's list for ever.
        if (number == OBJ_ANY)
            ObjTable_Discard(g_menus, id);
        return 0;
    }
    record->handle = handle;
    record->owner = popup ? nullptr : owner;
    g_build->hasCurrent = true;
    g_build->current = id;
    g_build->target = handle;
    return (number == OBJ_ANY) ? id : reinterpret_cast<ObjId>(handle);
}

} // namespace

// ---- Public functions ----

void Menu_Init() {
    if (g_build == nullptr)
        g_build = static_cast<MenuBuildState*>(ModuleState_Create(sizeof(MenuBuildState), nullptr));
    if (g_menus == nullptr)
        g_menus = ObjTable_Create(sizeof(MenuRecord), kMenuGrowthStep, Menu_Free);
    Win_AddDpiHandler(FitMenuBar);
}

ObjId Menu_Create(ObjId number, HWND owner) {
    return CreateMenuObject(number, owner, false);
}

ObjId Menu_CreatePopup(ObjId number) {
    return CreateMenuObject(number, nullptr, true);
}

void Menu_Title(const char* text) {
    MenuRecord* record = CurrentMenu();
    if (record == nullptr)
        return;
    if (g_build->depth != 0) {
        g_build->depth = 0;
        g_build->target = record->handle;
    }
    // Drop-downs are pop-up menus in the platform's terms.
    HMENU sub = CreatePopupMenu();
    if (sub == nullptr)
        return;
    if (!AppendMenuW(g_build->target, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                     WideText(text).Get())) {
        DestroyMenu(sub);
        return;
    }
    if (g_build->depth < MENU_STACK_DEPTH) {
        g_build->enclosing[g_build->depth] = g_build->target;
        g_build->depth++;
    }
    g_build->target = sub;
    AttachBar(record);
}

void Menu_Item(int32_t item, const char* text) {
    MenuRecord* record = CurrentMenu();
    if (record == nullptr || g_build->target == nullptr)
        return;
    AppendMenuW(g_build->target, MF_STRING, static_cast<UINT_PTR>(static_cast<uint32_t>(item)),
                WideText(text).Get());
    // A drop-down is laid out when it opens: only an item on the bar itself changes the bar.
    if (g_build->target == record->handle)
        AttachBar(record);
}

// Greys or enables an item by its command number; lookup by command reaches into drop-downs.
void Menu_DisableItem(ObjId number, int32_t item, int32_t state) {
    auto* record = static_cast<MenuRecord*>(ObjTable_Find(g_menus, number));
    if (record == nullptr)
        return;
    EnableMenuItem(record->handle, static_cast<UINT>(item),
                   MF_BYCOMMAND | (state != 0 ? MF_GRAYED : MF_ENABLED));
    // An item on the bar itself is only redrawn on request; one in a drop-down is drawn when it opens.
    if (record->owner != nullptr && GetMenu(record->owner) == record->handle &&
        OnTopLevel(record->handle, item))
        DrawMenuBar(record->owner);
}

HMENU Menu_Handle(ObjId number) {
    auto* record = static_cast<MenuRecord*>(ObjTable_Find(g_menus, number));
    return record != nullptr ? record->handle : nullptr;
}

// Shows the menu one pixel up and left of the cursor, so the pointer rests inside it.
void Menu_ShowPopup(ObjId number, HWND window) {
    POINT cursor;
    if (!GetCursorPos(&cursor))
        return;
    ShowPopupAtPixel(number, window, cursor.x - 1, cursor.y - 1);
}

void Menu_ShowPopupAt(ObjId number, HWND window, int32_t x, int32_t y) {
    ShowPopupAtPixel(number, window, Dpi_Scale(x), Dpi_Scale(y));
}

void Menu_FitBitmaps(HMENU menu, int32_t dpi) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_CHECKMARKS | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        Menu_FitBitmaps(info.hSubMenu, dpi);
        SetMenuItemBitmaps(menu, static_cast<UINT>(i), MF_BYPOSITION,
                           static_cast<HBITMAP>(Img_ForDpi(info.hbmpUnchecked, dpi)),
                           static_cast<HBITMAP>(Img_ForDpi(info.hbmpChecked, dpi)));
    }
}

// Detaches the menu from its window and destroys it with its drop-downs.
void Menu_Free(ObjId number) {
    auto* record = static_cast<MenuRecord*>(ObjTable_Find(g_menus, number));
    if (record == nullptr)
        return;
    // Only detach our own bar: the window may carry another menu by now.
    if (record->owner != nullptr && GetMenu(record->owner) == record->handle)
        SetMenu(record->owner, nullptr);
    DestroyMenu(record->handle);
    if (g_build != nullptr && g_build->hasCurrent && g_build->current == number) {
        // The menu being built is gone: further titles and items have no target.
        g_build->hasCurrent = false;
        g_build->target = nullptr;
        g_build->depth = 0;
    }
    ObjTable_Discard(g_menus, number);
}
