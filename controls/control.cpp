// Control framework: the control table, the creation target, the creation path shared by
// all kinds, ControlProc (which ties a record's life to its native window), the
// kind-independent operations, the colour handling of text and edit, and the brush
// cache that lets controls of one back colour share a brush.
#include "controls/control.h"

#include <commctrl.h>

#include "core/strings.h"
#include "core/tls.h"
#include "window/dpi.h"
#include "window/focus.h"
#include "window/window.h"

namespace {

// One cached brush: colour, brush and the number of controls using it.
struct BrushEntry {
    COLORREF colour;
    HBRUSH brush;
    int32_t refs;
};

ObjectTable* g_controls = nullptr;
CreationTarget* g_target = nullptr;
CRITICAL_SECTION g_brushLock;
ListRecord* g_brushes = nullptr;

// The 100 % font height in pixels: 8 points at 96 DPI (MulDiv(8, 96, 72), as the platform rounds).
constexpr LONG kFontPoints = 8;
constexpr LONG kPointsPerInch = 72;
constexpr LONG kFontBase = 11;
static_assert(kFontBase == (kFontPoints * DPI_BASE * 2 + kPointsPerInch) / (2 * kPointsPerInch),
              "the 100 % height is 8 points at 96 DPI");

// Fonts made for DPIs other than the display's (windows on monitors of other scales), kept for the
// life of the process like the display's own; when all slots are taken, the last one serves. Locked: the
// banner thread makes controls, and so fonts, too.
struct FontEntry {
    int32_t dpi;
    HFONT font;
};
constexpr int32_t kFontSlots = 8;
FontEntry g_fonts[kFontSlots];
SRWLOCK g_fontLock = SRWLOCK_INIT;

// Holds the brush-cache lock for one scope.
class BrushLock {
  public:
    BrushLock() {
        EnterCriticalSection(&g_brushLock);
    }
    ~BrushLock() {
        LeaveCriticalSection(&g_brushLock);
    }
    BrushLock(const BrushLock&) = delete;
    BrushLock& operator=(const BrushLock&) = delete;
};

// Each thread's target window: a thread creates controls in the window it named itself, never
// in one that another thread named meanwhile.
ThreadSlot<> g_targetSlot;

// The calling thread's target window, or null.
HWND LoadTarget() {
    return static_cast<HWND>(g_targetSlot.Get());
}

// Unregisters a control whose window could not be destroyed (it belongs to another thread,
// or is gone already), so that its number is free for the new control.
void Detach(ObjId number, ControlRecord* record) {
    HWND hwnd = record->hwnd;
    if (IsWindow(hwnd)) {
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == ControlProc) {
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->prevProc));
        }
        RemovePropA(hwnd, CTL_PROP_ID);
        SetWindowLongPtrW(hwnd, GWLP_ID, -1);
    }
    if (record->kind != nullptr && record->kind->Release != nullptr) {
        record->kind->Release(record);
    }
    ObjTable_Discard(g_controls, number);
}

// Release routine of the control table: destroys the control that holds the number.
void ReleaseControl(ObjId number) {
    ControlRecord* record = Ctl_Record(number);
    if (record == nullptr) {
        return;
    }
    // ControlProc clears the record at WM_NCDESTROY.
    DestroyWindow(record->hwnd);
    record = Ctl_Record(number);
    if (record != nullptr) {
        Detach(number, record);
    }
}

// Colour answer shared by text and edit.
LRESULT ColorAnswer(ControlRecord* record, WPARAM wParam, int systemColour) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    const int32_t back = static_cast<int32_t>(record->wordA);
    const int32_t front = static_cast<int32_t>(record->wordB);
    HBRUSH brush = reinterpret_cast<HBRUSH>(record->wordC);
    LRESULT result = NOT_HANDLED;
    if (front != COLOR_NONE) {
        SetTextColor(dc, static_cast<COLORREF>(front));
        if (back == COLOR_NONE) {
            SetBkColor(dc, GetSysColor(systemColour));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(systemColour));
        }
    }
    if (back != COLOR_NONE) {
        SetBkColor(dc, static_cast<COLORREF>(back));
        // Without a brush (its creation failed) the default background is drawn.
        if (brush != nullptr) {
            result = reinterpret_cast<LRESULT>(brush);
        }
    }
    return result;
}

// Width of a sample of letters in the font, 0 when it cannot be measured.
int32_t SampleWidth(HDC dc, HFONT font) {
    static const char sample[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (font == nullptr) {
        return 0;
    }
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32A(dc, sample, sizeof sample - 1, &size);
    SelectObject(dc, previous);
    return size.cx;
}

// The font of every control at a DPI: the face of the platform's GUI font at the size that Windows
// gives its 8 points there (the 100 % height, 11 pixels, scaled with MulDiv), not at the stock font's
// own size, which exists only at the display's DPI. Layouts are drawn against the 100 % font, and a
// size at another scale is rounded and hinted, so its text may run wider than the layout scaled;
// then the largest smaller size whose text runs no wider is taken, never below the 100 % size. The
// same DPI always gives the same font, in a window opened there or moved there; where that is the
// stock font's size (at 96 DPI), the stock font itself serves.
HFONT MakeFont(int32_t dpi) {
    HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW face = {};
    GetObjectW(stock, sizeof face, &face);
    const LONG stockHeight = face.lfHeight;
    HDC dc = GetDC(nullptr);
    face.lfHeight = -kFontBase;
    HFONT font = CreateFontIndirectW(&face);
    const int32_t limit = Dpi_ScaleAt(SampleWidth(dc, font), dpi);
    for (LONG height = MulDiv(kFontPoints, dpi, kPointsPerInch); height > kFontBase; --height) {
        face.lfHeight = -height;
        HFONT candidate = CreateFontIndirectW(&face);
        if (candidate != nullptr && SampleWidth(dc, candidate) <= limit) {
            DeleteObject(font);
            font = candidate;
            break;
        }
        DeleteObject(candidate);
        face.lfHeight = -kFontBase;
    }
    ReleaseDC(nullptr, dc);
    if (face.lfHeight == stockHeight) {
        DeleteObject(font);
        return stock;
    }
    return font;
}

// Places a control of a window whose DPI changed from its units, gives it the DPI's font, and shows an
// image control's picture again, which its kind fits to the window's new DPI.
BOOL CALLBACK RescaleControl(HWND hwnd, LPARAM dpi) {
    ControlRecord* record = Ctl_RecordOf(hwnd);
    if (record == nullptr) {
        return TRUE; // a child of a control, such as a combo box's field
    }
    const int32_t scale = static_cast<int32_t>(dpi);
    int32_t pixels[4];
    for (int i = 0; i < 4; ++i) {
        pixels[i] = Dpi_ScaleAt(record->units[i], scale);
    }
    SetWindowPos(hwnd, nullptr, pixels[0], pixels[1], pixels[2], pixels[3], SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Ctl_Font(scale)), TRUE);
    const ControlKind* kind = record->kind;
    if (kind != nullptr && kind->code == CTL_KIND_IMAGE) {
        kind->SetState(record, kind->GetState(record));
    }
    return TRUE;
}

// A message the parent window received about a control, offered to the control's kind.
LRESULT OfferToKind(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlRecord* record = Ctl_RecordOf(control);
    if (record == nullptr || record->kind == nullptr || record->kind->ParentMessage == nullptr) {
        return NOT_HANDLED;
    }
    return record->kind->ParentMessage(record, parent, message, wParam, lParam);
}

} // namespace

// ---- Public functions ----

void Ctl_Init() {
    if (g_controls != nullptr) {
        return;
    }
    InitializeCriticalSection(&g_brushLock);
    HFONT font = MakeFont(Dpi_Get());
    g_controls = ObjTable_Create(sizeof(ControlRecord), 50, ReleaseControl);
    g_target = static_cast<CreationTarget*>(ModuleState_Create(sizeof(CreationTarget), nullptr));
    if (g_target != nullptr) {
        g_target->font = font;
    }
    INITCOMMONCONTROLSEX icc = {};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;
    InitCommonControlsEx(&icc);
    Win_SetControlHandler(OfferToKind);
    Win_AddDpiHandler(Ctl_Rescale);
}

HWND Ctl_BeginList(HWND window) {
    if (g_target == nullptr || !g_targetSlot.Set(window)) {
        return nullptr;
    }
    return window;
}

void Ctl_Disable(ObjId number, int32_t flag) {
    ControlRecord* record = Ctl_Record(number);
    if (record != nullptr) {
        EnableWindow(record->hwnd, flag != 0 ? FALSE : TRUE);
    }
}

void Ctl_Focus(ObjId number) {
    ControlRecord* record = Ctl_Record(number);
    if (record == nullptr) {
        return;
    }
    Win_FocusControl(record->hwnd);
}

void Ctl_SetText(ObjId number, const char* text) {
    ControlRecord* record = Ctl_Record(number);
    if (record == nullptr) {
        return;
    }
    if (text == nullptr) {
        text = "";
    }
    if (record->kind != nullptr && record->kind->SetText != nullptr) {
        record->kind->SetText(record, text);
    } else {
        SetWindowTextW(record->hwnd, WideText(text).Get());
    }
}

// Writes the control's text at target; the write position ends on its zero. For a control of another
// thread every message is a round trip to that thread (the countdown reads the time field every second),
// so the text is fetched into room for most texts at once, and measured only when it filled that room.
// It comes in UTF-16 and is kept in 1252.
void Ctl_GetText(ObjId number, int32_t target) {
    ControlRecord* record = Ctl_Record(number);
    HWND hwnd = record != nullptr ? record->hwnd : nullptr;
    wchar_t guess[CTL_TEXT_GUESS + 1];
    wchar_t* text = guess;
    int32_t room = CTL_TEXT_GUESS;
    int32_t fetched = hwnd != nullptr ? GetWindowTextW(hwnd, guess, room + 1) : 0;
    // A text that filled the room may go on; the second fetch takes what the measured room holds (the
    // text may have changed meanwhile, on another thread).
    const int32_t length = fetched == room ? GetWindowTextLengthW(hwnd) : 0;
    if (length > room) {
        text = static_cast<wchar_t*>(
            HeapAlloc(Str_Heap(), 0, (static_cast<size_t>(length) + 1) * sizeof(wchar_t)));
        room = text != nullptr ? length : 0;
        fetched = text != nullptr ? GetWindowTextW(hwnd, text, length + 1) : 0;
    }
    Str_FromWide(text, fetched < 0 || fetched > room ? 0 : fetched, target);
    if (text != guess && text != nullptr) {
        HeapFree(Str_Heap(), 0, text);
    }
}

intptr_t Ctl_GetState(ObjId number) {
    ControlRecord* record = Ctl_Record(number);
    if (record == nullptr || record->kind == nullptr || record->kind->GetState == nullptr) {
        return 0;
    }
    return record->kind->GetState(record);
}

void Ctl_SetState(ObjId number, intptr_t value) {
    ControlRecord* record = Ctl_Record(number);
    if (record != nullptr && record->kind != nullptr && record->kind->SetState != nullptr) {
        record->kind->SetState(record, value);
    }
}

int32_t Ctl_AddItem(ObjId number, int32_t position, const char* text, int32_t extra, int32_t) {
    ControlRecord* record = Ctl_Record(number);
    if (record == nullptr || record->kind == nullptr || record->kind->AddItem == nullptr) {
        return 0;
    }
    return record->kind->AddItem(record, position, text != nullptr ? text : "", extra);
}

void Ctl_SetColor(ObjId number, int32_t colourKind, int32_t value) {
    ControlRecord* record = Ctl_Record(number);
    if (record != nullptr && record->kind != nullptr && record->kind->SetColor != nullptr) {
        record->kind->SetColor(record, colourKind, value);
    }
}

// The display's font from the creation target; another DPI's from the slots, made on its first use.
HFONT Ctl_Font(int32_t dpi) {
    if (dpi == Dpi_Get() && g_target != nullptr) {
        return g_target->font;
    }
    AcquireSRWLockExclusive(&g_fontLock);
    FontEntry* entry = g_fonts;
    while (entry->dpi != 0 && entry->dpi != dpi && entry < g_fonts + kFontSlots - 1) {
        ++entry;
    }
    if (entry->dpi == 0) {
        entry->font = MakeFont(dpi);
        entry->dpi = dpi;
    }
    HFONT font = entry->font;
    ReleaseSRWLockExclusive(&g_fontLock);
    return font;
}

void Ctl_Rescale(HWND window, int32_t dpi) {
    EnumChildWindows(window, RescaleControl, dpi);
}

// ---- Creation path for the kinds ----

ObjId Ctl_Create(ObjId number, const ControlKind* kind, DWORD exStyle, const char* className,
                 const char* text, DWORD style, int32_t x, int32_t y, int32_t width, int32_t height,
                 CtlSetupFn setup, void* context) {
    HWND hwnd = Ctl_CreateWindow(exStyle, className, text, style, x, y, width, height);
    if (hwnd == nullptr) {
        return 0;
    }
    ControlRecord* record = Ctl_AcquireRecord(number, hwnd, x, y, width, height);
    if (record == nullptr) {
        return 0;
    }
    if (setup != nullptr) {
        setup(record, hwnd, context);
    }
    return Ctl_Finish(number, record, hwnd, kind);
}

// The control's native window in the current target window (control ID -1 for now).
HWND Ctl_CreateWindow(DWORD exStyle, const char* className, const char* text, DWORD style, int32_t x,
                      int32_t y, int32_t width, int32_t height) {
    if (g_target == nullptr || g_controls == nullptr) {
        return nullptr;
    }
    // The application's 96-DPI units become pixels here, for every kind, at the target window's DPI.
    HWND target = LoadTarget();
    const int32_t dpi = Win_DpiOf(target);
    return CreateWindowExW(
        exStyle, WideText(className).Get(), WideText(text).Get(), style, Dpi_ScaleAt(x, dpi),
        Dpi_ScaleAt(y, dpi), Dpi_ScaleAt(width, dpi), Dpi_ScaleAt(height, dpi), target,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)), GetModuleHandleA(nullptr), nullptr);
}

ControlRecord* Ctl_AcquireRecord(ObjId number, HWND hwnd, int32_t x, int32_t y, int32_t width,
                                 int32_t height) {
    ControlRecord* record =
        g_controls != nullptr ? static_cast<ControlRecord*>(ObjTable_Acquire(g_controls, number)) : nullptr;
    if (record == nullptr) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    record->units[0] = static_cast<int16_t>(x);
    record->units[1] = static_cast<int16_t>(y);
    record->units[2] = static_cast<int16_t>(width);
    record->units[3] = static_cast<int16_t>(height);
    return record;
}

ObjId Ctl_Finish(ObjId number, ControlRecord* record, HWND hwnd, const ControlKind* kind) {
    const ObjId id = number == OBJ_ANY ? reinterpret_cast<ObjId>(record) : number;
    record->hwnd = hwnd;
    record->kind = kind;
    record->prevProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    SetWindowLongPtrW(hwnd, GWLP_ID, id);
    SetPropA(hwnd, CTL_PROP_ID, reinterpret_cast<HANDLE>(id));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Ctl_Font(Win_DpiOf(hwnd))), TRUE);
    return number == OBJ_ANY ? id : reinterpret_cast<ObjId>(hwnd);
}

// ---- Colours of the text and edit kinds ----

LRESULT Ctl_ColorAnswerText(ControlRecord* record, HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_CTLCOLORSTATIC) {
        return NOT_HANDLED;
    }
    return ColorAnswer(record, wParam, COLOR_BTNFACE);
}

// Edit: answers WM_CTLCOLOREDIT, and WM_CTLCOLORSTATIC (sent when read-only) only while
// enabled, so a disabled edit keeps the platform's disabled look.
LRESULT Ctl_ColorAnswerEdit(ControlRecord* record, HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_CTLCOLOREDIT || (message == WM_CTLCOLORSTATIC && IsWindowEnabled(record->hwnd))) {
        return ColorAnswer(record, wParam, COLOR_BTNHIGHLIGHT);
    }
    return NOT_HANDLED;
}

void Ctl_ColorSet(ControlRecord* record, int32_t colourKind, int32_t value) {
    if (colourKind == CTL_COLOR_FRONT) {
        record->wordB = value;
    } else if (colourKind == CTL_COLOR_BACK) {
        if (record->wordC != 0) {
            Brush_Release(reinterpret_cast<HBRUSH>(record->wordC));
        }
        record->wordC =
            value == COLOR_NONE ? 0 : reinterpret_cast<intptr_t>(Brush_Acquire(static_cast<COLORREF>(value)));
        record->wordA = value;
    }
    RedrawWindow(record->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE);
}

void Ctl_ColorRelease(ControlRecord* record) {
    if (record->wordC != 0) {
        Brush_Release(reinterpret_cast<HBRUSH>(record->wordC));
        record->wordC = 0;
    }
}

// ---- Brush cache ----

HBRUSH Brush_Acquire(COLORREF colour) {
    if (g_controls == nullptr) {
        return nullptr;
    }
    BrushLock lock;
    for (void* p = List_First(g_brushes); p != nullptr; p = List_Older(p)) {
        BrushEntry* entry = static_cast<BrushEntry*>(p);
        if (entry->colour == colour) {
            entry->refs += 1;
            return entry->brush;
        }
    }
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush == nullptr) {
        return nullptr;
    }
    BrushEntry* entry = static_cast<BrushEntry*>(List_Add(&g_brushes, sizeof(BrushEntry)));
    if (entry == nullptr) {
        DeleteObject(brush);
        return nullptr;
    }
    entry->colour = colour;
    entry->brush = brush;
    entry->refs = 1;
    return brush;
}

void Brush_Release(HBRUSH brush) {
    if (g_controls == nullptr || brush == nullptr) {
        return;
    }
    BrushLock lock;
    for (void* p = List_First(g_brushes); p != nullptr; p = List_Older(p)) {
        BrushEntry* entry = static_cast<BrushEntry*>(p);
        if (entry->brush == brush) {
            entry->refs -= 1;
            if (entry->refs <= 0) {
                DeleteObject(entry->brush);
                List_Remove(&g_brushes, entry);
            }
            return;
        }
    }
}

int32_t Brush_RefCount(HBRUSH brush) {
    if (g_controls == nullptr || brush == nullptr) {
        return 0;
    }
    BrushLock lock;
    for (void* p = List_First(g_brushes); p != nullptr; p = List_Older(p)) {
        const BrushEntry* entry = static_cast<const BrushEntry*>(p);
        if (entry->brush == brush) {
            return entry->refs;
        }
    }
    return 0;
}

// ---- Shared helpers ----

void PostControlEvent(HWND control, int32_t type) {
    HWND top = TopWindowOf(control);
    if (top == nullptr) {
        return;
    }
    PostMessageW(top, MSG_CONTROL_EVENT, static_cast<WPARAM>(GetWindowLongPtrW(control, GWLP_ID)),
                 static_cast<LPARAM>(type));
}

HWND TopWindowOf(HWND control) {
    HWND w = control;
    while (w != nullptr) {
        if (GetPropA(w, WIN_PROP_ID) != nullptr) {
            return w;
        }
        HWND parent = GetParent(w);
        if (parent == nullptr) {
            return w;
        }
        w = parent;
    }
    return nullptr;
}

ControlRecord* Ctl_Record(ObjId number) {
    if (g_controls == nullptr) {
        return nullptr;
    }
    return static_cast<ControlRecord*>(ObjTable_Find(g_controls, number));
}

ControlRecord* Ctl_RecordOf(HWND control) {
    if (control == nullptr) {
        return nullptr;
    }
    const ObjId id = static_cast<ObjId>(GetWindowLongPtrW(control, GWLP_ID));
    if (id == -1 || reinterpret_cast<ObjId>(GetPropA(control, CTL_PROP_ID)) != id) {
        return nullptr;
    }
    ControlRecord* record = Ctl_Record(id);
    // The record must really be this window's (a foreign child may carry a matching ID of 0).
    return record != nullptr && record->hwnd == control ? record : nullptr;
}

CreationTarget* Ctl_Target() {
    return g_target;
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const ObjId id = static_cast<ObjId>(GetWindowLongPtrW(hwnd, GWLP_ID));
    if (id == -1) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    ControlRecord* record = Ctl_Record(id);
    if (record == nullptr || record->hwnd != hwnd || record->prevProc == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    const LRESULT result = CallWindowProcW(record->prevProc, hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The call above may have moved the table: look the record up again.
        record = Ctl_Record(id);
        if (record != nullptr && record->hwnd == hwnd) {
            if (record->kind != nullptr && record->kind->Release != nullptr) {
                record->kind->Release(record);
            }
        } else {
            record = nullptr;
        }
        RemovePropA(hwnd, CTL_PROP_ID);
        SetWindowLongPtrW(hwnd, GWLP_ID, -1);
        if (record != nullptr) {
            ObjTable_Discard(g_controls, id);
        }
    }
    return result;
}
