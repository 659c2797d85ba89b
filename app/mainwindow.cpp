// Builds the main window and switches its input controls between the running and idle sets.
#include "app/mainwindow.h"
#include "app/state.h"

#include <windows.h>

#include <array>

#include "app/tasks.h"
#include "app/trace.h"
#include "controls/control.h"
#include "controls/images.h"
#include "controls/kinds.h"
#include "core/strings.h"
#include "shell/menus.h"
#include "shell/tray.h"
#include "window/shortcuts.h"
#include "window/window.h"

namespace {

// Window 0: a fixed-size window with caption, system menu and minimise box, centred on the
// screen (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WIN_SCREEN_CENTERED).
constexpr int32_t kWindowWidth = 500;
constexpr int32_t kWindowHeight = 350;
constexpr uint32_t kWindowFlags = 0xCA0001;
static_assert(kWindowFlags == (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WIN_SCREEN_CENTERED),
              "window 0's flags");

enum class Kind : uint8_t { Frame, Image, Text, Combo, Edit, Button, Check };

// One control of the main window. `last` is the creation call's final argument (frame type,
// extended style or flags); `image` the image number shown by an image control.
// The fields are as narrow as their values allow: the table is part of the program file.
struct ControlRow {
    uint8_t number;
    Kind kind;
    int16_t x, y, width, height;
    const char* text;
    uint8_t image;
    int16_t last;
};

constexpr int32_t kFrameGroup = 0;
constexpr int32_t kEditNumber = 0x2000; // ES_NUMBER: the time field takes digits only

// In creation order, which the Tab order follows: task list, time field, the two check boxes,
// "Starten", "Abbrechen", as they are laid out (the buttons come after the warning group).
constexpr std::array<ControlRow, 17> kControls = {{
    {CTL_INTRO_FRAME, Kind::Frame, 10, 10, 480, 60, "Einleitung", 0, kFrameGroup},
    {CTL_INTRO_IMAGE, Kind::Image, 20, 30, 0, 0, nullptr, 1, 0},
    {CTL_INTRO_TEXT, Kind::Text, 60, 30, 420, 30,
     "Mit diesem Programm können Sie eine Aufgabe auswählen, wie Sie Ihren Computer herunterfahren möchten.",
     0, 0},
    {CTL_TASK_FRAME, Kind::Frame, 10, 80, 480, 130, "Vorgang", 0, kFrameGroup},
    {CTL_TASK_IMAGE, Kind::Image, 20, 100, 0, 0, nullptr, 2, 0},
    {CTL_STEP1_TEXT, Kind::Text, 60, 100, 420, 20,
     "1. Wählen Sie in der Liste eine Aufgabe aus, die Sie ausführen möchten.", 0, 0},
    {CTL_TASK_LIST, Kind::Combo, 110, 120, 300, 300, nullptr, 0, 0},
    {CTL_STEP2_TEXT, Kind::Text, 60, 150, 420, 30,
     "2. Geben Sie in der Eingabe die Zeit in Sekunden ein, wann dieser Vorgang durchgeführt werden soll.", 0,
     0},
    {CTL_TIME_FIELD, Kind::Edit, 110, 180, 100, 20, "", 0, kEditNumber},
    {CTL_TASK_CAPTION, Kind::Text, 60, 120, 50, 20, "Aufgabe:", 0, 0},
    {CTL_TIME_CAPTION, Kind::Text, 60, 180, 50, 20, "Zeit:", 0, 0},
    {CTL_WARN_FRAME, Kind::Frame, 10, 220, 480, 70, "Warnmeldung", 0, kFrameGroup},
    {CTL_WARN_IMAGE, Kind::Image, 20, 240, 0, 0, nullptr, 10, 0},
    {CTL_BANNER_BOX, Kind::Check, 60, 240, 200, 20, "Jede Minute eine Warnung anzeigen", 0, 0},
    {CTL_TONE_BOX, Kind::Check, 60, 260, 200, 20, "Warnton ausgeben", 0, 0},
    {CTL_START_BUTTON, Kind::Button, 280, 300, 100, 20, "Starten", 0, 0},
    {CTL_CANCEL_BUTTON, Kind::Button, 390, 300, 100, 20, "Abbrechen", 0, 0},
}};

// A drop-down title or an item of a menu.
struct MenuEntry {
    bool title;
    uint8_t item;
    const char* text;
};

constexpr std::array<MenuEntry, 6> kMenuBar = {{
    {true, 0, "Programm"},
    {false, ITEM_SETTINGS, "Einstellungen\tStrg+E"},
    {false, ITEM_QUIT, "Beenden\tEsc"},
    {true, 0, "Hilfe"},
    {false, ITEM_LIABILITY, "Haftung\tStrg+H"},
    {false, ITEM_ABOUT, "Informationen\tStrg+I"},
}};

constexpr std::array<MenuEntry, 3> kTrayMenu = {{
    {false, ITEM_SHOW, "Anzeigen"},
    {false, ITEM_HIDE, "Verstecken"},
    {false, ITEM_TRAY_QUIT, "Beenden"},
}};

struct ShortcutRow {
    int32_t key;
    uint8_t item;
};

constexpr int32_t kVkEscape = 0x1B;
constexpr std::array<ShortcutRow, 4> kShortcuts = {{
    {KEY_CONTROL | 'E', ITEM_SETTINGS},
    {kVkEscape, ITEM_QUIT},
    {KEY_CONTROL | 'I', ITEM_ABOUT},
    {KEY_CONTROL | 'H', ITEM_LIABILITY},
}};

struct BitmapRow {
    uint8_t menu;
    uint8_t item;
    uint8_t image;
};

// Item order 1 to 7; every item gets the same bitmap checked and unchecked.
constexpr std::array<BitmapRow, 7> kMenuBitmaps = {{
    {MAIN_MENU_BAR, ITEM_SETTINGS, 3},
    {MAIN_MENU_BAR, ITEM_QUIT, 4},
    {MAIN_MENU_BAR, ITEM_ABOUT, 5},
    {MAIN_TRAY_MENU, ITEM_SHOW, 7},
    {MAIN_TRAY_MENU, ITEM_HIDE, 8},
    {MAIN_TRAY_MENU, ITEM_TRAY_QUIT, 4},
    {MAIN_MENU_BAR, ITEM_LIABILITY, 9},
}};

constexpr int32_t kTrayImage = 6;

// The input controls and whether each is enabled while a countdown runs. Frames and images
// never change.
struct StateRow {
    uint8_t control;
    bool enabledWhileRunning;
};

constexpr std::array<StateRow, 11> kInputControls = {{
    {CTL_INTRO_TEXT, false},
    {CTL_STEP1_TEXT, false},
    {CTL_TASK_LIST, false},
    {CTL_STEP2_TEXT, false},
    {CTL_TIME_FIELD, false},
    {CTL_TASK_CAPTION, false},
    {CTL_TIME_CAPTION, false},
    {CTL_START_BUTTON, false},
    {CTL_CANCEL_BUTTON, true},
    {CTL_BANNER_BOX, false},
    {CTL_TONE_BOX, false},
}};

// Creates one control of the table.
void CreateControl(const ControlRow& entry) {
    switch (entry.kind) {
        case Kind::Frame:
            Ctl_Frame(entry.number, entry.x, entry.y, entry.width, entry.height, entry.text, entry.last);
            break;
        case Kind::Image:
            Ctl_Image(entry.number, entry.x, entry.y, entry.width, entry.height, Img_Handle(entry.image),
                      entry.last);
            break;
        case Kind::Text:
            Ctl_Text(entry.number, entry.x, entry.y, entry.width, entry.height, entry.text, entry.last);
            break;
        case Kind::Combo:
            Ctl_Combo(entry.number, entry.x, entry.y, entry.width, entry.height, entry.last);
            break;
        case Kind::Edit:
            Ctl_Edit(entry.number, entry.x, entry.y, entry.width, entry.height, entry.text, entry.last);
            break;
        case Kind::Button:
            Ctl_Button(entry.number, entry.x, entry.y, entry.width, entry.height, entry.text, entry.last);
            break;
        case Kind::Check:
            Ctl_Check(entry.number, entry.x, entry.y, entry.width, entry.height, entry.text, entry.last);
            break;
    }
}

// The task list gets its labels in task order, so that a list position is a TaskKind.
void FillTaskList() {
    for (const TaskRow& row : kTasks) {
        Ctl_AddItem(CTL_TASK_LIST, -1, row.label, 0, 0);
    }
    Ctl_SetState(CTL_TASK_LIST, TASK_END);
}

// Controls 1 to 13 and 15 to 18; none at all when the window cannot take controls.
void BuildControls(HWND window) {
    if (Ctl_BeginList(window) == nullptr) {
        return;
    }
    for (const ControlRow& entry : kControls) {
        CreateControl(entry);
        if (entry.number == CTL_TASK_LIST) {
            FillTaskList();
        }
    }
}

// Adds titles and items to the menu that Menu_Create / Menu_CreatePopup made current.
template <size_t N> void AddMenuEntries(const std::array<MenuEntry, N>& entries) {
    for (const MenuEntry& entry : entries) {
        if (entry.title) {
            Menu_Title(entry.text);
        } else {
            Menu_Item(entry.item, entry.text);
        }
    }
}

// Menu bar 0 and the tray's pop-up menu 1.
void BuildMenus(HWND window) {
    if (Menu_Create(MAIN_MENU_BAR, window) != 0) {
        AddMenuEntries(kMenuBar);
    }
    if (Menu_CreatePopup(MAIN_TRAY_MENU) != 0) {
        AddMenuEntries(kTrayMenu);
    }
    // "Einstellungen" has no action: it stays greyed.
    Menu_DisableItem(MAIN_MENU_BAR, ITEM_SETTINGS, 1);
}

// A bitmap on every menu item, the same for its checked and unchecked state.
void SetMenuBitmaps() {
    for (const BitmapRow& entry : kMenuBitmaps) {
        HBITMAP bitmap = reinterpret_cast<HBITMAP>(Img_Handle(entry.image));
        SetMenuItemBitmaps(Menu_Handle(entry.menu), static_cast<UINT>(entry.item), MF_BYCOMMAND, bitmap,
                           bitmap);
    }
}

// Tray icon 1 on window 0 with its tip; true when it is shown.
bool AddTrayIcon(const char* tip) {
    HICON icon = reinterpret_cast<HICON>(Img_Handle(kTrayImage));
    if (Tray_Add(MAIN_TRAY_ICON, Win_Handle(MAIN_WINDOW), icon) == 0) {
        return false;
    }
    Tray_SetTip(MAIN_TRAY_ICON, tip);
    return true;
}

} // namespace

// ---- Public functions ----

// Window 0, hidden until it is filled: shown empty first, it would be drawn twice.
bool MainWindow_Open(const char* title) {
    return Win_Open(MAIN_WINDOW, 0, 0, kWindowWidth, kWindowHeight, title, kWindowFlags | WIN_INVISIBLE) != 0;
}

// A window that the command line has minimised is already on the screen, as a task-bar button.
void MainWindow_Show() {
    if (!IsWindowVisible(Win_Handle(MAIN_WINDOW))) {
        Win_Hide(MAIN_WINDOW, 0);
    }
}

void MainWindow_Build(const char* trayTip) {
    HWND window = Win_Handle(MAIN_WINDOW);
    BuildControls(window);
    TRACE_MARK("controls");
    BuildMenus(window);
    // No countdown runs yet: the idle set, in which only "Abbrechen" is disabled.
    Ctl_Disable(CTL_CANCEL_BUTTON, 1);
    TRACE_MARK("menus");
    for (const ShortcutRow& shortcut : kShortcuts) {
        Shortcut_Add(MAIN_WINDOW, shortcut.key, shortcut.item);
    }
    TRACE_MARK("shortcuts");
    SetMenuBitmaps();
    TRACE_MARK("menu bitmaps");
    g_app.hasTrayIcon = AddTrayIcon(trayTip) ? 1 : 0;
    TRACE_MARK("tray icon");
}

// Tray_Add replaces whatever still holds number 1, so repeated requests leave one icon. A shell that was
// not ready at start-up (a start at logon) gets the icon now; a window minimised meanwhile goes to the tray.
void MainWindow_RestoreTrayIcon() {
    if (!AddTrayIcon(g_app.trayTip)) {
        if (g_app.hasTrayIcon) {
            g_app.hasTrayIcon = 0;
            Win_Hide(MAIN_WINDOW, 0);
        }
        return;
    }
    g_app.hasTrayIcon = 1;
    if (Win_GetState(MAIN_WINDOW) == WIN_STATE_MINIMIZED) {
        Win_Hide(MAIN_WINDOW, 1);
    }
}

// A number past the 32-bit range counts as the range's end: wrapped, "4294967296" would be 0 and end the
// countdown after a second instead of never.
int32_t MainWindow_ReadTime() {
    ScratchFrame frame;
    Ctl_GetText(CTL_TIME_FIELD, frame.Start());
    return Str_ToIntClamped(Scratch_Ptr(frame.Start()));
}

bool MainWindow_TimeGiven() {
    ScratchFrame frame;
    Ctl_GetText(CTL_TIME_FIELD, frame.Start());
    return Str_HasNumber(Scratch_Ptr(frame.Start()));
}

// Running set: only "Abbrechen" responds. Idle set: everything but "Abbrechen".
void MainWindow_SetRunning(bool running) {
    for (const StateRow& entry : kInputControls) {
        bool enabled = running ? entry.enabledWhileRunning : !entry.enabledWhileRunning;
        Ctl_Disable(entry.control, enabled ? 0 : 1);
    }
}
