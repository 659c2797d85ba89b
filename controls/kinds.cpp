// Control kinds: window class, styles and operation table of each kind, the frames'
// paint suppression, the edit's focus reporting and the combo box's item handling.
// Everything else (record, registration, text, colours) is the framework's.
#include "controls/kinds.h"

#include <atomic>

#include "controls/control.h"
#include "controls/imagectl.h"
#include "core/strings.h"

namespace {

// Fixed style bits of each kind; the caller's flags are or-ed in.
constexpr DWORD STYLE_GROUP_FRAME = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX;           // 0x50020007
constexpr DWORD STYLE_FRAME = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | SS_CENTER; // 0x54020001
constexpr DWORD STYLE_TEXT = WS_CHILD | WS_VISIBLE | WS_GROUP;                                // 0x50020000
constexpr DWORD STYLE_IMAGE = WS_CHILD | WS_VISIBLE | SS_NOTIFY;                              // 0x50000100
constexpr DWORD STYLE_COMBO =
    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_GROUP | CBS_HASSTRINGS;              // 0x50A20200
constexpr DWORD STYLE_EDIT = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL; // 0x50030080
constexpr DWORD STYLE_BUTTON = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP;                // 0x50030000
constexpr DWORD STYLE_CHECK = STYLE_BUTTON | BS_AUTOCHECKBOX;                                // 0x50030003

static_assert(STYLE_GROUP_FRAME == 0x50020007 && STYLE_FRAME == 0x54020001 && STYLE_TEXT == 0x50020000 &&
                  STYLE_IMAGE == 0x50000100 && STYLE_COMBO == 0x50A20200 && STYLE_EDIT == 0x50030080 &&
                  STYLE_BUTTON == 0x50030000 && STYLE_CHECK == 0x50030003,
              "style constants of the kinds");

// What a combo box without CBS_DROPDOWN gets: a tab stop and a list without edit field.
constexpr DWORD COMBO_LIST_DEFAULT = WS_TABSTOP | CBS_DROPDOWNLIST; // 0x10003

// Class procedures behind the kinds' own procedures. Every control of a kind has the same
// class, so one remembered procedure per kind serves them all. Atomic: the banner thread creates
// controls too.
std::atomic<WNDPROC> g_frameClassProc{nullptr};
std::atomic<WNDPROC> g_editClassProc{nullptr};
std::atomic<WNDPROC> g_buttonClassProc{nullptr};

// ---- Internal functions ----

// Hands a message to the class's own procedure remembered for the kind.
LRESULT PassOn(const std::atomic<WNDPROC>& classProc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = classProc.load();
    if (proc == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return CallWindowProcW(proc, hwnd, message, wParam, lParam);
}

// Puts a kind's own procedure in front of the class's and remembers the class's.
void Subclass(HWND hwnd, WNDPROC own, std::atomic<WNDPROC>& classProc) {
    WNDPROC previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own)));
    if (previous != nullptr && previous != own) {
        classProc.store(previous);
    }
}

// Frames without caption draw only their edge or border: the client area is never painted,
// so the controls inside and whatever lies behind stay visible.
LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            ValidateRect(hwnd, nullptr);
            return 0;
        default:
            return PassOn(g_frameClassProc, hwnd, message, wParam, lParam);
    }
}

// A paste into a digits-only edit (the class filters typed keys only). All-digit text is put in
// place of the selection; anything else is refused like a typed letter: the class is handed one,
// which it turns away in the platform's way (with a balloon tip in the newer common controls).
void PasteDigits(HWND hwnd) {
    if (!OpenClipboard(hwnd)) {
        return;
    }
    bool digits = false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* text = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (text != nullptr) {
        // Another program filled the block: the zero is looked for only inside it.
        const SIZE_T size = GlobalSize(data) / sizeof(wchar_t);
        SIZE_T n = 0;
        while (n < size && text[n] >= L'0' && text[n] <= L'9') {
            ++n;
        }
        digits = n < size && text[n] == L'\0';
        if (digits) {
            SendMessageW(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    if (text != nullptr && !digits) {
        PassOn(g_editClassProc, hwnd, WM_CHAR, 'A', 1);
    }
}

// The edit reports focus changes as control events; the class still sees every message
// (and still sends EN_SETFOCUS / EN_KILLFOCUS). A digits-only field stays digits-only when
// text is pasted (WM_PASTE, and Shift+Insert, which the class may paste with directly).
LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFOCUS:
            PostControlEvent(hwnd, CTL_EVENT_FOCUS);
            break;
        case WM_KILLFOCUS:
            PostControlEvent(hwnd, CTL_EVENT_LOSTFOCUS);
            break;
        case WM_KEYDOWN:
            if (wParam != VK_INSERT || GetKeyState(VK_SHIFT) >= 0) {
                break;
            }
            [[fallthrough]];
        case WM_PASTE:
            if ((GetWindowLongPtrW(hwnd, GWL_STYLE) & (ES_NUMBER | ES_READONLY)) == ES_NUMBER) {
                PasteDigits(hwnd);
                return 0;
            }
            break;
        default:
            break;
    }
    return PassOn(g_editClassProc, hwnd, message, wParam, lParam);
}

// Enter presses a focused push button as Space does; the class itself answers Space only.
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message == WM_KEYDOWN || message == WM_KEYUP) && wParam == VK_RETURN) {
        wParam = VK_SPACE;
    }
    return PassOn(g_buttonClassProc, hwnd, message, wParam, lParam);
}

// Setup steps run between taking the record and registering the control.

// Frame without caption: paint suppression.
void SetupFrame(ControlRecord*, HWND hwnd, void*) {
    Subclass(hwnd, FrameProc, g_frameClassProc);
}

// Text: no colours of its own yet.
void SetupText(ControlRecord* record, HWND, void*) {
    record->wordA = COLOR_NONE;
    record->wordB = COLOR_NONE;
}

// Edit: focus reporting, no colours of its own yet.
void SetupEdit(ControlRecord* record, HWND hwnd, void*) {
    Subclass(hwnd, EditProc, g_editClassProc);
    record->wordA = COLOR_NONE;
    record->wordB = COLOR_NONE;
}

// Push button: Enter as Space.
void SetupButton(ControlRecord*, HWND hwnd, void*) {
    Subclass(hwnd, ButtonProc, g_buttonClassProc);
}

// An editable combo box: keyboard navigation stops in its inner edit field.
void SetupEditableCombo(ControlRecord*, HWND hwnd, void*) {
    HWND edit = GetWindow(hwnd, GW_CHILD);
    if (edit != nullptr) {
        SetWindowLongPtrW(edit, GWL_STYLE, GetWindowLongPtrW(edit, GWL_STYLE) | WS_TABSTOP);
    }
}

// Combo box operations.
// Index of the selected item, -1 for none.
intptr_t ComboGetState(ControlRecord* record) {
    return static_cast<int32_t>(SendMessageW(record->hwnd, CB_GETCURSEL, 0, 0));
}

// Selects the item at the index; -1 clears the selection.
void ComboSetState(ControlRecord* record, intptr_t value) {
    SendMessageW(record->hwnd, CB_SETCURSEL, static_cast<WPARAM>(static_cast<int32_t>(value)), 0);
}

// Inserts at the position (-1 appends); positions below -1 are ignored. Always 0.
int32_t ComboAddItem(ControlRecord* record, int32_t position, const char* text, int32_t) {
    if (position >= -1) {
        SendMessageW(record->hwnd, CB_INSERTSTRING, static_cast<WPARAM>(position),
                     reinterpret_cast<LPARAM>(WideText(text).Get()));
    }
    return 0;
}

// A list selects the item with this text (the platform ignores case), "" clears the selection
// and an unknown text changes nothing; an editable combo box takes the text as it is.
void ComboSetText(ControlRecord* record, const char* text) {
    HWND hwnd = record->hwnd;
    if ((GetWindowLongPtrW(hwnd, GWL_STYLE) & 1) == 0) {
        SetWindowTextW(hwnd, WideText(text).Get());
        return;
    }
    if (text[0] == '\0') {
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        return;
    }
    LRESULT index = SendMessageW(hwnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(WideText(text).Get()));
    if (index != CB_ERR) {
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

// Button and check box: only the checked bit counts (indeterminate reads as unchecked).
intptr_t ButtonGetState(ControlRecord* record) {
    return SendMessageW(record->hwnd, BM_GETCHECK, 0, 0) & 1;
}

// Checks for any non-zero value, unchecks for 0.
void ButtonSetState(ControlRecord* record, intptr_t value) {
    SendMessageW(record->hwnd, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Operation tables, constant from the start: only their contents matter.
// Slots: code, ParentMessage, Release, GetState, SetState, SetText, AddItem, SetColor.
constexpr ControlKind kFrameKind = {CTL_KIND_FRAME, nullptr, nullptr, nullptr,
                                    nullptr,        nullptr, nullptr, nullptr};
constexpr ControlKind kTextKind = {
    CTL_KIND_TEXT, Ctl_ColorAnswerText, Ctl_ColorRelease, nullptr, nullptr, nullptr, nullptr, Ctl_ColorSet};
constexpr ControlKind kComboKind = {CTL_KIND_COMBO, nullptr,      nullptr,      ComboGetState,
                                    ComboSetState,  ComboSetText, ComboAddItem, nullptr};
constexpr ControlKind kEditKind = {
    CTL_KIND_EDIT, Ctl_ColorAnswerEdit, Ctl_ColorRelease, nullptr, nullptr, nullptr, nullptr, Ctl_ColorSet};
constexpr ControlKind kButtonKind = {CTL_KIND_BUTTON, nullptr, nullptr, ButtonGetState,
                                     ButtonSetState,  nullptr, nullptr, nullptr};
constexpr ControlKind kCheckKind = {CTL_KIND_CHECK, nullptr, nullptr, ButtonGetState,
                                    ButtonSetState, nullptr, nullptr, nullptr};

} // namespace

// ---- Public functions ----

ObjId Ctl_Frame(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
                int32_t frameType) {
    if (frameType == FRAME_GROUP) {
        return Ctl_Create(number, &kFrameKind, 0, "Button", text, STYLE_GROUP_FRAME, x, y, width, height);
    }
    DWORD exStyle = 0;
    DWORD style = STYLE_FRAME;
    if (frameType == FRAME_SUNKEN) {
        exStyle = WS_EX_CLIENTEDGE;
    } else if (frameType == FRAME_EDGE) {
        exStyle = WS_EX_STATICEDGE;
    } else {
        style |= WS_BORDER;
    }
    return Ctl_Create(number, &kFrameKind, exStyle, "Static", nullptr, style, x, y, width, height,
                      SetupFrame);
}

ObjId Ctl_Text(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
               int32_t flags) {
    const DWORD exStyle = (flags & CTL_FLAG_EDGE) ? WS_EX_CLIENTEDGE : 0;
    return Ctl_Create(number, &kTextKind, exStyle, "Static", text, STYLE_TEXT | static_cast<DWORD>(flags), x,
                      y, width, height, SetupText);
}

ObjId Ctl_Image(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, HANDLE image,
                int32_t exStyle) {
    HWND hwnd =
        Ctl_CreateWindow(static_cast<DWORD>(exStyle), "STATIC", nullptr, STYLE_IMAGE, x, y, width, height);
    if (hwnd == nullptr) {
        return 0;
    }
    ImageCtl_Install(hwnd);
    ControlRecord* record = Ctl_AcquireRecord(number, hwnd, x, y, width, height);
    if (record == nullptr) {
        return 0;
    }
    const ObjId result = Ctl_Finish(number, record, hwnd, ImageCtl_Kind());
    SendMessageW(hwnd, STM_SETIMAGE, 0, reinterpret_cast<LPARAM>(image));
    return result;
}

ObjId Ctl_Combo(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags) {
    DWORD style = static_cast<DWORD>(flags);
    const bool editable = (style & CBS_DROPDOWN) != 0;
    if (!editable) {
        style |= COMBO_LIST_DEFAULT;
    }
    return Ctl_Create(number, &kComboKind, WS_EX_CLIENTEDGE, "ComboBox", nullptr, STYLE_COMBO | style, x, y,
                      width, height, editable ? SetupEditableCombo : nullptr);
}

ObjId Ctl_Edit(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
               int32_t flags) {
    const DWORD exStyle = (flags & CTL_FLAG_EDGE) ? 0 : WS_EX_CLIENTEDGE;
    return Ctl_Create(number, &kEditKind, exStyle, "Edit", text, STYLE_EDIT | static_cast<DWORD>(flags), x, y,
                      width, height, SetupEdit);
}

ObjId Ctl_Button(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
                 int32_t flags) {
    return Ctl_Create(number, &kButtonKind, 0, "Button", text, STYLE_BUTTON | static_cast<DWORD>(flags), x, y,
                      width, height, SetupButton);
}

ObjId Ctl_Check(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
                int32_t flags) {
    return Ctl_Create(number, &kCheckKind, 0, "Button", text, STYLE_CHECK | static_cast<DWORD>(flags), x, y,
                      width, height);
}
