// Benchmark baseline: the main window of Nachtriegel written directly against Win32 — the same
// window, the same controls, the same menu bar and the same three pictures, and nothing else (no
// tray icon, no shortcuts, no menu bitmaps, no threads, no toolkit). The benchmark driver measures
// its start-up time and memory next to the real program's. Esc ends it.

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

namespace {

// ---- Internal data ----

constexpr DWORD MAIN_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int32_t CLIENT_WIDTH = 500;
constexpr int32_t CLIENT_HEIGHT = 350;

enum ControlType { CT_FRAME, CT_IMAGE, CT_TEXT, CT_COMBO, CT_EDIT, CT_BUTTON, CT_CHECK };

// One control of the main window: number (= control ID), type, place, text or picture file.
struct ControlRow {
    int32_t id;
    ControlType type;
    int32_t x, y, width, height;
    const char* text;
};

constexpr ControlRow CONTROLS[] = {
    {1, CT_FRAME, 10, 10, 480, 60, "Einleitung"},
    {2, CT_IMAGE, 20, 30, 0, 0, "Symbole\\Einleitung.ico"},
    {3, CT_TEXT, 60, 30, 420, 30,
     "Mit diesem Programm können Sie eine Aufgabe auswählen, wie Sie Ihren Computer herunterfahren möchten."},
    {4, CT_FRAME, 10, 80, 480, 130, "Vorgang"},
    {5, CT_IMAGE, 20, 100, 0, 0, "Symbole\\Vorgang.ico"},
    {6, CT_TEXT, 60, 100, 420, 20, "1. Wählen Sie in der Liste eine Aufgabe aus, die Sie ausführen möchten."},
    {7, CT_COMBO, 110, 120, 300, 300, ""},
    {8, CT_TEXT, 60, 150, 420, 30,
     "2. Geben Sie in der Eingabe die Zeit in Sekunden ein, wann dieser Vorgang durchgeführt werden soll."},
    {9, CT_EDIT, 110, 180, 100, 20, ""},
    {10, CT_TEXT, 60, 120, 50, 20, "Aufgabe:"},
    {11, CT_TEXT, 60, 180, 50, 20, "Zeit:"},
    {12, CT_BUTTON, 280, 300, 100, 20, "Starten"},
    {13, CT_BUTTON, 390, 300, 100, 20, "Abbrechen"},
    {15, CT_FRAME, 10, 220, 480, 70, "Warnmeldung"},
    {16, CT_IMAGE, 20, 240, 0, 0, "Symbole\\Warnung.ico"},
    {17, CT_CHECK, 60, 240, 200, 20, "Jede Minute eine Warnung anzeigen"},
    {18, CT_CHECK, 60, 260, 200, 20, "Warnton ausgeben"},
};

constexpr const char* TASK_LABELS[] = {
    "Computer herunterfahren", "Computer neu starten", "Computer in den Ruhezustand/Standby versetzen",
    "Benutzer wechseln",       "Benutzer abmelden",
};

// ---- Internal functions ----

// Ends the message loop when the main window goes.
LRESULT CALLBACK BaselineWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// The menu bar: "Programm" with two items, "Hilfe" with two; item 1 greyed.
HMENU Baseline_MenuBar() {
    HMENU bar = CreateMenu();
    HMENU program = CreatePopupMenu();
    HMENU help = CreatePopupMenu();
    AppendMenuA(program, MF_STRING | MF_GRAYED, 1, "Einstellungen\tStrg+E");
    AppendMenuA(program, MF_STRING, 2, "Beenden\tEsc");
    AppendMenuA(help, MF_STRING, 7, "Haftung\tStrg+H");
    AppendMenuA(help, MF_STRING, 3, "Informationen\tStrg+I");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(program), "Programm");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Hilfe");
    return bar;
}

// Creates one control of the table on the main window.
HWND Baseline_Control(HWND parent, HINSTANCE instance, const ControlRow& row) {
    const char* cls = "STATIC";
    const char* text = row.text;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    HICON icon = nullptr;
    switch (row.type) {
        case CT_FRAME:
            cls = "BUTTON";
            style |= BS_GROUPBOX;
            break;
        case CT_IMAGE:
            // The picture is read from its file, like the program does; the control takes its size.
            icon = static_cast<HICON>(LoadImageA(nullptr, row.text, IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
            style |= SS_ICON;
            text = "";
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
    HWND hwnd = CreateWindowExA(exStyle, cls, text, style, row.x, row.y, row.width, row.height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
    if (hwnd == nullptr) {
        return nullptr;
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    if (icon != nullptr) {
        SendMessageA(hwnd, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    }
    return hwnd;
}

// Opens the main window: class, centred frame around a 500 x 350 client area, menu bar, controls.
HWND Baseline_Open(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = BaselineWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "NachtriegelBaseline";
    if (RegisterClassExA(&wc) == 0) {
        return nullptr;
    }
    RECT frame = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&frame, MAIN_STYLE, FALSE, 0);
    const int32_t width = frame.right - frame.left;
    const int32_t height = frame.bottom - frame.top;
    const int32_t x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int32_t y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND main = CreateWindowExA(0, wc.lpszClassName, "Nachtriegel 0.0", MAIN_STYLE, x, y, width, height,
                                nullptr, nullptr, instance, nullptr);
    if (main == nullptr) {
        return nullptr;
    }
    // Attached after the size was computed: the menu bar takes its height from the client area.
    SetMenu(main, Baseline_MenuBar());
    for (const ControlRow& row : CONTROLS) {
        HWND hwnd = Baseline_Control(main, instance, row);
        if (row.type == CT_COMBO && hwnd != nullptr) {
            for (const char* label : TASK_LABELS) {
                SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
            }
            SendMessageA(hwnd, CB_SETCURSEL, 0, 0);
        }
    }
    EnableWindow(GetDlgItem(main, 13), FALSE);
    return main;
}

} // namespace

// ---- Entry ----

// Opens the window and runs its message loop until Esc or the close box ends it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    HWND main = Baseline_Open(instance);
    if (main == nullptr) {
        return 1;
    }
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // Esc closes the program from any control, as the real program's shortcut does.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            DestroyWindow(main);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
