// Benchmark baseline: Nachtriegel's start-up written straight against Win32, doing the same system work as
// the program and nothing of its toolkit: the common-controls 6 manifest (linked in), CoInitialize, one
// pass over the display devices, the ten image files, the three pictures, the menu bar and the tray's
// pop-up menu with their seven item bitmaps, the tray icon with its tip, the four shortcuts, the size of
// the program's file (for the title and for the tip), and the main window with its 17 controls. The
// benchmark driver measures its start-up time and memory next to the real program's. Esc ends it.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdint>

#include "app/trace.h"

namespace {

// ---- Internal data ----

constexpr DWORD MAIN_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int32_t CLIENT_WIDTH = 500;
constexpr int32_t CLIENT_HEIGHT = 350;
constexpr UINT TRAY_CALLBACK = WM_APP + 1;

// The image files, numbers 1 to 10 as the program loads them.
constexpr const char* IMAGE_FILES[] = {
    "Symbole\\Einleitung.ico", "Symbole\\Vorgang.ico",      "Bilder\\Einstellungen.bmp",
    "Bilder\\Beenden.bmp",     "Bilder\\Informationen.bmp", "Symbole\\Nachtriegel-16.ico",
    "Bilder\\Anzeigen.bmp",    "Bilder\\Verstecken.bmp",    "Bilder\\Haftung.bmp",
    "Symbole\\Warnung.ico",
};
HANDLE g_images[11];

enum ControlType { CT_FRAME, CT_IMAGE, CT_TEXT, CT_COMBO, CT_EDIT, CT_BUTTON, CT_CHECK };

// One control of the main window: number (= control ID), type, place, text or image number.
struct ControlRow {
    int32_t id;
    ControlType type;
    int32_t x, y, width, height;
    const char* text;
    int32_t image;
};

constexpr ControlRow CONTROLS[] = {
    {1, CT_FRAME, 10, 10, 480, 60, "Einleitung", 0},
    {2, CT_IMAGE, 20, 30, 0, 0, "", 1},
    {3, CT_TEXT, 60, 30, 420, 30,
     "Mit diesem Programm können Sie eine Aufgabe auswählen, wie Sie Ihren Computer herunterfahren möchten.",
     0},
    {4, CT_FRAME, 10, 80, 480, 130, "Vorgang", 0},
    {5, CT_IMAGE, 20, 100, 0, 0, "", 2},
    {6, CT_TEXT, 60, 100, 420, 20, "1. Wählen Sie in der Liste eine Aufgabe aus, die Sie ausführen möchten.",
     0},
    {7, CT_COMBO, 110, 120, 300, 300, "", 0},
    {8, CT_TEXT, 60, 150, 420, 30,
     "2. Geben Sie in der Eingabe die Zeit in Sekunden ein, wann dieser Vorgang durchgeführt werden soll.",
     0},
    {9, CT_EDIT, 110, 180, 100, 20, "", 0},
    {10, CT_TEXT, 60, 120, 50, 20, "Aufgabe:", 0},
    {11, CT_TEXT, 60, 180, 50, 20, "Zeit:", 0},
    {12, CT_BUTTON, 280, 300, 100, 20, "Starten", 0},
    {13, CT_BUTTON, 390, 300, 100, 20, "Abbrechen", 0},
    {15, CT_FRAME, 10, 220, 480, 70, "Warnmeldung", 0},
    {16, CT_IMAGE, 20, 240, 0, 0, "", 10},
    {17, CT_CHECK, 60, 240, 200, 20, "Jede Minute eine Warnung anzeigen", 0},
    {18, CT_CHECK, 60, 260, 200, 20, "Warnton ausgeben", 0},
};

constexpr const char* TASK_LABELS[] = {
    "Computer herunterfahren", "Computer neu starten", "Computer in den Ruhezustand/Standby versetzen",
    "Benutzer wechseln",       "Benutzer abmelden",
};

// Menu item, its menu (0 the bar, 1 the pop-up) and its bitmap's image number, in item order.
struct BitmapRow {
    int32_t menu, item, image;
};
constexpr BitmapRow MENU_BITMAPS[] = {{0, 1, 3}, {0, 2, 4}, {0, 3, 5}, {1, 4, 7},
                                      {1, 5, 8}, {1, 6, 4}, {0, 7, 9}};

// The Tab pair every window of the program has, then the four shortcuts.
constexpr ACCEL ACCELERATORS[] = {
    {FVIRTKEY | FNOINVERT, VK_TAB, 1212},      {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, 1213},
    {FVIRTKEY | FNOINVERT | FCONTROL, 'E', 1}, {FVIRTKEY | FNOINVERT, VK_ESCAPE, 2},
    {FVIRTKEY | FNOINVERT | FCONTROL, 'I', 3}, {FVIRTKEY | FNOINVERT | FCONTROL, 'H', 7},
};

// ---- Internal functions ----

// Ends the message loop when the main window goes; Esc's command closes it.
LRESULT CALLBACK BaselineWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == 2) {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// An image file by its first two bytes: "BM" is a bitmap, anything else an icon.
HANDLE Baseline_LoadImage(const char* file) {
    HANDLE handle = CreateFileA(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    char head[2] = {};
    DWORD got = 0;
    ReadFile(handle, head, sizeof head, &got, nullptr);
    CloseHandle(handle);
    if (got == 2 && head[0] == 'B' && head[1] == 'M') {
        return LoadImageA(nullptr, file, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    }
    return LoadImageA(nullptr, file, IMAGE_ICON, 0, 0, LR_LOADFROMFILE);
}

// One pass over the display devices (looked up at run time, like the program does), keeping the width of
// the primary display.
int32_t Baseline_PrimaryWidth() {
    typedef BOOL(WINAPI * EnumDevices)(LPCSTR, DWORD, PDISPLAY_DEVICEA, DWORD);
    HMODULE user32 = LoadLibraryA("User32.DLL");
    FARPROC entry = user32 != nullptr ? GetProcAddress(user32, "EnumDisplayDevicesA") : nullptr;
    auto enumDevices = reinterpret_cast<EnumDevices>(reinterpret_cast<void (*)(void)>(entry));
    int32_t width = 0;
    DISPLAY_DEVICEA device;
    for (DWORD index = 0; enumDevices != nullptr && index < 64; ++index) {
        ZeroMemory(&device, sizeof device);
        device.cb = sizeof device;
        if (!enumDevices(nullptr, index, &device, 0)) {
            break;
        }
        DEVMODEA mode = {};
        mode.dmSize = sizeof mode;
        if ((device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) &&
            EnumDisplaySettingsA(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) {
            width = static_cast<int32_t>(mode.dmPelsWidth);
        }
    }
    return width;
}

// "Nachtriegel 0." and the size of the program's file in the current directory.
void Baseline_VersionText(char* text) {
    WIN32_FIND_DATAA found;
    long bytes = -1;
    HANDLE search = FindFirstFileA("Nachtriegel.exe", &found);
    if (search != INVALID_HANDLE_VALUE) {
        bytes = static_cast<long>(found.nFileSizeLow);
        FindClose(search);
    }
    wsprintfA(text, "Nachtriegel 0.%ld", bytes);
}

// The menu bar and the tray's pop-up menu; item 1 greyed; every item with its bitmap.
HMENU Baseline_Menus(HMENU* popup) {
    HMENU bar = CreateMenu();
    HMENU program = CreatePopupMenu();
    HMENU help = CreatePopupMenu();
    AppendMenuA(program, MF_STRING | MF_GRAYED, 1, "Einstellungen\tStrg+E");
    AppendMenuA(program, MF_STRING, 2, "Beenden\tEsc");
    AppendMenuA(help, MF_STRING, 7, "Haftung\tStrg+H");
    AppendMenuA(help, MF_STRING, 3, "Informationen\tStrg+I");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(program), "Programm");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Hilfe");
    *popup = CreatePopupMenu();
    AppendMenuA(*popup, MF_STRING, 4, "Anzeigen");
    AppendMenuA(*popup, MF_STRING, 5, "Verstecken");
    AppendMenuA(*popup, MF_STRING, 6, "Beenden");
    for (const BitmapRow& row : MENU_BITMAPS) {
        HBITMAP bitmap = static_cast<HBITMAP>(g_images[row.image]);
        SetMenuItemBitmaps(row.menu == 0 ? bar : *popup, static_cast<UINT>(row.item), MF_BYCOMMAND, bitmap,
                           bitmap);
    }
    return bar;
}

// Creates one control of the table on the main window.
HWND Baseline_Control(HWND parent, HINSTANCE instance, HFONT font, const ControlRow& row) {
    const char* cls = "STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (row.type) {
        case CT_FRAME:
            cls = "BUTTON";
            style |= BS_GROUPBOX;
            break;
        case CT_IMAGE:
            style |= SS_ICON;
            break;
        case CT_TEXT:
            break;
        case CT_COMBO:
            cls = "COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
            break;
        case CT_EDIT:
            cls = "EDIT";
            style |= ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case CT_BUTTON:
            cls = "BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case CT_CHECK:
            cls = "BUTTON";
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
            break;
    }
    HWND hwnd = CreateWindowExA(exStyle, cls, row.text, style, row.x, row.y, row.width, row.height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
    if (hwnd == nullptr) {
        return nullptr;
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (row.image != 0 && g_images[row.image] != nullptr) {
        // The control takes the picture's size.
        SendMessageA(hwnd, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(g_images[row.image]));
    }
    return hwnd;
}

// Opens the main window: class, centred frame around a 500 x 350 client area, menu bar, controls.
HWND Baseline_Open(HINSTANCE instance, const char* title, HMENU* popup) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = BaselineWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "NachtriegelBaseline";
    if (RegisterClassA(&wc) == 0) {
        return nullptr;
    }
    RECT frame = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRect(&frame, MAIN_STYLE, FALSE);
    const int32_t width = frame.right - frame.left;
    const int32_t height = frame.bottom - frame.top;
    const int32_t x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int32_t y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND main = CreateWindowExA(0, wc.lpszClassName, title, MAIN_STYLE, x, y, width, height, nullptr, nullptr,
                                instance, nullptr);
    if (main == nullptr) {
        return nullptr;
    }
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (const ControlRow& row : CONTROLS) {
        HWND hwnd = Baseline_Control(main, instance, font, row);
        if (row.type == CT_COMBO && hwnd != nullptr) {
            for (const char* label : TASK_LABELS) {
                SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
            }
            SendMessageA(hwnd, CB_SETCURSEL, 0, 0);
        }
    }
    TRACE_MARK("controls");
    // Attached after the size was computed: the menu bar takes its height from the client area.
    SetMenu(main, Baseline_Menus(popup));
    TRACE_MARK("menus");
    EnableWindow(GetDlgItem(main, 13), FALSE);
    return main;
}

// The tray icon with the version as its tip.
void Baseline_TrayIcon(HWND main, const char* tip, bool add) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = main;
    icon.uID = 1;
    if (!add) {
        Shell_NotifyIconA(NIM_DELETE, &icon);
        return;
    }
    icon.uFlags = NIF_MESSAGE | NIF_ICON;
    icon.uCallbackMessage = TRAY_CALLBACK;
    icon.hIcon = static_cast<HICON>(g_images[6]);
    if (icon.hIcon == nullptr || !Shell_NotifyIconA(NIM_ADD, &icon)) {
        return;
    }
    icon.uFlags = NIF_TIP;
    lstrcpynA(icon.szTip, tip, sizeof icon.szTip);
    Shell_NotifyIconA(NIM_MODIFY, &icon);
}

// Start-up, message loop, end.
[[noreturn]] void Baseline_Main() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    TRACE_MARK("entry");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                                 ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&icc);
    InitCommonControls();
    CoInitialize(nullptr);
    TRACE_MARK("toolkit");
    for (int32_t i = 0; i < 10; ++i) {
        g_images[i + 1] = Baseline_LoadImage(IMAGE_FILES[i]);
    }
    TRACE_MARK("images");
    Baseline_PrimaryWidth();
    TRACE_MARK("displays");
    char title[32];
    Baseline_VersionText(title);
    HMENU popup = nullptr;
    HWND main = Baseline_Open(instance, title, &popup);
    if (main == nullptr) {
        ExitProcess(0);
    }
    TRACE_MARK("window");
    HACCEL accelerators = CreateAcceleratorTableA(const_cast<ACCEL*>(ACCELERATORS), 6);
    TRACE_MARK("shortcuts");
    char tip[32];
    Baseline_VersionText(tip);
    Baseline_TrayIcon(main, tip, true);
    RegisterWindowMessageA("TaskbarCreated");
    TRACE_MARK("tray icon");
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);
    TRACE_MARK("shown");
    TRACE_MARK("loop");
    TRACE_WRITE();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(main, accelerators, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Baseline_TrayIcon(main, tip, false);
    DestroyMenu(popup);
    DestroyAcceleratorTable(accelerators);
    ExitProcess(0);
}

} // namespace

// ---- Entry ----

// The process entry, without the C runtime's start-up (linked like the program).
extern "C" __attribute__((force_align_arg_pointer, externally_visible)) void WINAPI App_Entry() {
    Baseline_Main();
}
