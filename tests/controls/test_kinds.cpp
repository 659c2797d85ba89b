// Tests of the seven control kinds: classes and styles as created, the combo box's items,
// selection and text, the digits-only edit, the edit's focus events through the pump,
// button and check box state, the frames' paint suppression and failed creations.
#include "kinds_fixture.h"

#include <string.h>

namespace {

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

DWORD StyleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
}

DWORD ExStyleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
}

std::string WindowText(HWND hwnd) {
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof(text));
    return text;
}

// The control's text through Ctl_GetText.
std::string CtlText(ObjId number) {
    const int32_t start = Scratch_Pos();
    Ctl_GetText(number, start);
    std::string text = Scratch_Ptr(start);
    Scratch_SetPos(start);
    return text;
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[128] = {};
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int32_t KindCode(ObjId number) {
    ControlRecord* record = Ctl_Record(number);
    return record != nullptr && record->kind != nullptr ? record->kind->code : -1;
}

// What CreateWindowExA was asked for, as seen by a CBT hook before the window procedure can
// adjust anything (the combo box, for one, moves its border into its own drawing).
struct Requested {
    HWND hwnd;
    DWORD style;
    DWORD exStyle;
    std::string className;
    std::string text;
};
std::vector<Requested> g_requested;

LRESULT CALLBACK CreationSpy(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        Requested r = {reinterpret_cast<HWND>(wParam), static_cast<DWORD>(cs->style), cs->dwExStyle, "", ""};
        if (!IS_INTRESOURCE(cs->lpszClass)) {
            r.className = cs->lpszClass;
        }
        if (cs->lpszName != nullptr) {
            r.text = cs->lpszName;
        }
        g_requested.push_back(r);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

const Requested* RequestOf(HWND hwnd) {
    for (const Requested& r : g_requested) {
        if (r.hwnd == hwnd) {
            return &r;
        }
    }
    return nullptr;
}

class Kinds : public KindsTest {};

TEST_F(Kinds, test_styles_of_each_kind_as_created) {
    struct Expected {
        const char* what;
        ObjId handle;
        ObjId number;
        const char* className;
        DWORD style;
        DWORD exEdges; // WS_EX_CLIENTEDGE / WS_EX_STATICEDGE bits expected
        int32_t kind;
    };
    const DWORD edges = WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;
    g_requested.clear();
    HHOOK hook = SetWindowsHookExA(WH_CBT, CreationSpy, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const Expected cases[] = {
        {"group frame", Ctl_Frame(101, 5, 5, 100, 50, "Gruppe", FRAME_GROUP), 101, "Button", 0x50020007, 0,
         CTL_KIND_FRAME},
        {"sunken frame", Ctl_Frame(102, 5, 5, 100, 50, "ignored", FRAME_SUNKEN), 102, "Static", 0x54020001,
         WS_EX_CLIENTEDGE, CTL_KIND_FRAME},
        {"edge frame", Ctl_Frame(103, 5, 5, 100, 50, nullptr, FRAME_EDGE), 103, "Static", 0x54020001,
         WS_EX_STATICEDGE, CTL_KIND_FRAME},
        {"flat frame", Ctl_Frame(104, 5, 5, 100, 50, nullptr, FRAME_FLAT), 104, "Static", 0x54820001, 0,
         CTL_KIND_FRAME},
        {"frame type 99", Ctl_Frame(105, 5, 5, 100, 50, nullptr, 99), 105, "Static", 0x54820001, 0,
         CTL_KIND_FRAME},
        {"text", Ctl_Text(106, 5, 5, 100, 20, "Text", 0), 106, "Static", 0x50020000, 0, CTL_KIND_TEXT},
        {"sunken text", Ctl_Text(107, 5, 5, 100, 20, "Text", 0x20000), 107, "Static", 0x50020000,
         WS_EX_CLIENTEDGE, CTL_KIND_TEXT},
        {"combo", Ctl_Combo(108, 5, 5, 100, 200, 0), 108, "ComboBox", 0x50A30203, WS_EX_CLIENTEDGE,
         CTL_KIND_COMBO},
        {"editable combo", Ctl_Combo(109, 5, 5, 100, 200, CBS_DROPDOWN), 109, "ComboBox", 0x50A20202,
         WS_EX_CLIENTEDGE, CTL_KIND_COMBO},
        {"edit", Ctl_Edit(110, 5, 5, 100, 20, "", 0), 110, "Edit", 0x50030080, WS_EX_CLIENTEDGE,
         CTL_KIND_EDIT},
        {"edit without edge", Ctl_Edit(111, 5, 5, 100, 20, "", 0x20000), 111, "Edit", 0x50030080, 0,
         CTL_KIND_EDIT},
        {"number edit", Ctl_Edit(112, 5, 5, 100, 20, "", 0x2000), 112, "Edit", 0x50032080, WS_EX_CLIENTEDGE,
         CTL_KIND_EDIT},
        {"button", Ctl_Button(113, 5, 5, 100, 20, "Starten", 0), 113, "Button", 0x50030000, 0,
         CTL_KIND_BUTTON},
        {"check box", Ctl_Check(114, 5, 5, 100, 20, "Warnton", 0), 114, "Button", 0x50030003, 0,
         CTL_KIND_CHECK},
    };
    UnhookWindowsHookEx(hook);
    for (const Expected& c : cases) {
        ASSERT_NE(c.handle, 0) << c.what << ": creation failed";
        HWND hwnd = H(c.handle);
        EXPECT_EQ(hwnd, Ctl_Record(c.number)->hwnd) << c.what << ": must return the native handle";
        const Requested* r = RequestOf(hwnd);
        ASSERT_NE(r, nullptr) << c.what;
        // With common controls 6 the platform reports the class with its version prefix.
        const std::string requested = r->className.substr(r->className.find('!') + 1);
        EXPECT_EQ(_stricmp(requested.c_str(), c.className), 0) << c.what << ": class " << r->className;
        EXPECT_EQ(_stricmp(ClassOf(hwnd).c_str(), c.className), 0) << c.what << ": class " << ClassOf(hwnd);
        EXPECT_EQ(r->style, c.style) << c.what << ": expected style 0x" << std::hex << c.style << ", got 0x"
                                     << r->style;
        EXPECT_EQ(r->exStyle, c.exEdges)
            << c.what << ": expected extended style 0x" << std::hex << c.exEdges << ", got 0x" << r->exStyle;
        if (c.kind != CTL_KIND_COMBO) {
            // The other classes keep the style they were given.
            EXPECT_EQ(StyleOf(hwnd), c.style) << c.what << ": style changed after creation";
            EXPECT_EQ(ExStyleOf(hwnd) & edges, c.exEdges) << c.what << ": wrong edge";
        }
        EXPECT_EQ(KindCode(c.number), c.kind) << c.what;
        EXPECT_EQ(GetDlgCtrlID(hwnd), c.number) << c.what << ": control ID";
    }
    // Only the group box shows its text; the other frames have none.
    EXPECT_EQ(WindowText(Ctl_Record(101)->hwnd), "Gruppe");
    EXPECT_EQ(WindowText(Ctl_Record(102)->hwnd), "");
    EXPECT_EQ(RequestOf(Ctl_Record(103)->hwnd)->text, "");
    EXPECT_EQ(RequestOf(Ctl_Record(108)->hwnd)->text, "");
    // Text and edit start without colours of their own.
    for (ObjId n : {ObjId(106), ObjId(110)}) {
        EXPECT_EQ(Ctl_Record(n)->wordA, COLOR_NONE) << n;
        EXPECT_EQ(Ctl_Record(n)->wordB, COLOR_NONE) << n;
        EXPECT_EQ(Ctl_Record(n)->wordC, 0) << n;
    }
    // A drop-down list is a tab stop; an editable combo box is not, its edit field is.
    EXPECT_EQ(StyleOf(Ctl_Record(108)->hwnd) & (WS_TABSTOP | 3),
              static_cast<DWORD>(WS_TABSTOP | CBS_DROPDOWNLIST));
    EXPECT_FALSE(StyleOf(Ctl_Record(109)->hwnd) & WS_TABSTOP);
    HWND inner = GetWindow(Ctl_Record(109)->hwnd, GW_CHILD);
    ASSERT_NE(inner, nullptr) << "editable combo box without edit field";
    EXPECT_TRUE(StyleOf(inner) & WS_TABSTOP) << "the inner edit must be a tab stop";
    // Frames and buttons have no state; the state operations leave them alone.
    Ctl_SetState(101, 1);
    EXPECT_EQ(Ctl_GetState(101), 0);
    EXPECT_EQ(Ctl_AddItem(113, -1, "x", 0, 0), 0);
    for (ObjId n = 101; n <= 114; ++n) {
        DestroyWindow(Ctl_Record(n)->hwnd);
    }
}

TEST_F(Kinds, test_combo_items_selection_and_text) {
    ObjId combo = Ctl_Combo(7, 110, 120, 300, 300, 0);
    ASSERT_NE(combo, 0);
    HWND hwnd = H(combo);
    EXPECT_EQ(Ctl_GetState(7), -1) << "no selection before any";
    EXPECT_EQ(CtlText(7), "");

    const char* labels[] = {"Computer herunterfahren", "Computer neu starten", "Standby", "Benutzer wechseln",
                            "Benutzer abmelden"};
    for (const char* label : labels) {
        EXPECT_EQ(Ctl_AddItem(7, -1, label, 0, 0), 0);
    }
    std::vector<std::string> expected(std::begin(labels), std::end(labels));
    EXPECT_EQ(ComboItems(hwnd), expected) << "items must keep the call order";

    Ctl_AddItem(7, 0, "Zuerst", 0, 0);
    EXPECT_EQ(ComboItems(hwnd).front(), "Zuerst") << "position 0 must insert first";
    Ctl_AddItem(7, -2, "nie", 0, 0);
    EXPECT_EQ(ComboItems(hwnd).size(), 6u) << "positions below -1 add nothing";
    Ctl_AddItem(7, -1, nullptr, 0, 0);
    EXPECT_EQ(ComboItems(hwnd).back(), "") << "a null text counts as empty";

    Ctl_SetState(7, 0);
    EXPECT_EQ(Ctl_GetState(7), 0);
    EXPECT_EQ(CtlText(7), "Zuerst") << "Ctl_GetText must give the selected item";

    Ctl_SetText(7, "computer NEU starten");
    EXPECT_EQ(Ctl_GetState(7), 2) << "SetText must select the item regardless of case";
    EXPECT_EQ(CtlText(7), "Computer neu starten");

    Ctl_SetText(7, "gibt es nicht");
    EXPECT_EQ(Ctl_GetState(7), 2) << "an unknown text must leave the selection";
    Ctl_SetText(7, "Computer");
    EXPECT_EQ(Ctl_GetState(7), 2) << "a prefix is no exact match";

    Ctl_SetText(7, "");
    EXPECT_EQ(Ctl_GetState(7), -1) << "an empty text must clear the selection";
    Ctl_SetState(7, 3);
    Ctl_SetText(7, nullptr);
    EXPECT_EQ(Ctl_GetState(7), -1) << "a null text counts as empty";
    Ctl_SetState(7, 4);
    Ctl_SetState(7, -1);
    EXPECT_EQ(Ctl_GetState(7), -1);

    // An editable combo box takes any text into its edit field.
    ASSERT_NE(Ctl_Combo(8, 110, 160, 300, 300, CBS_DROPDOWN), 0);
    Ctl_AddItem(8, -1, "eins", 0, 0);
    Ctl_SetText(8, "frei geschrieben");
    EXPECT_EQ(CtlText(8), "frei geschrieben");
    EXPECT_EQ(Ctl_GetState(8), -1);
    DestroyWindow(hwnd);
    DestroyWindow(Ctl_Record(8)->hwnd);
}

TEST_F(Kinds, test_number_edit_refuses_typed_letters_but_takes_set_text) {
    ObjId number = Ctl_Edit(9, 110, 180, 100, 20, "", CTL_FLAG_NUMBER);
    ObjId plain = Ctl_Edit(19, 110, 210, 100, 20, "", 0);
    ASSERT_NE(number, 0);
    ASSERT_NE(plain, 0);
    for (HWND hwnd : {H(number), H(plain)}) {
        for (char c : std::string("a1B2-")) {
            PostMessageA(hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
        }
    }
    Kinds_Pump();
    EXPECT_EQ(CtlText(9), "12") << "the digits-only edit must refuse typed letters";
    EXPECT_EQ(CtlText(19), "a1B2-") << "a plain edit takes letters";

    // Pasted text: all digits are taken, anything else is refused like a typed letter.
    for (const char* text : {"4x5 Minuten", "450"}) {
        ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard());
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
        memcpy(GlobalLock(block), text, strlen(text) + 1);
        GlobalUnlock(block);
        SetClipboardData(CF_TEXT, block);
        CloseClipboard();
        SendMessageA(H(number), WM_PASTE, 0, 0);
        SendMessageA(H(plain), WM_PASTE, 0, 0);
    }
    EXPECT_EQ(CtlText(9), "12450") << "the digits-only edit must refuse pasted letters";
    EXPECT_EQ(CtlText(19), "a1B2-4x5 Minuten450");

    Ctl_SetText(9, "abc 600");
    EXPECT_EQ(CtlText(9), "abc 600") << "text set by the program is shown as it is";
    DestroyWindow(H(number));
    DestroyWindow(H(plain));
}

TEST_F(Kinds, test_edit_focus_events_arrive_through_the_pump) {
    ObjId a = Ctl_Edit(21, 10, 10, 100, 20, "", 0);
    ObjId b = Ctl_Edit(22, 10, 40, 100, 20, "", 0);
    ObjId button = Ctl_Button(23, 10, 70, 100, 20, "Knopf", 0);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    SetFocus(H(button));
    Kinds_Pump();

    MessageRecorder recorder(hwnd_);
    SetFocus(H(a));
    std::vector<CtlEvent> events = Kinds_Pump();
    EXPECT_EQ(GetFocus(), H(a));
    std::vector<CtlEvent> expectA = {{21, CTL_EVENT_FOCUS}};
    EXPECT_EQ(Kinds_Of(events, 21), expectA);

    SetFocus(H(b));
    events = Kinds_Pump();
    std::vector<CtlEvent> expectLost = {{21, CTL_EVENT_LOSTFOCUS}};
    std::vector<CtlEvent> expectB = {{22, CTL_EVENT_FOCUS}};
    EXPECT_EQ(Kinds_Of(events, 21), expectLost);
    EXPECT_EQ(Kinds_Of(events, 22), expectB);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], expectLost[0]) << "the old field's loss comes first";

    // The class's own notifications still reach the parent.
    std::vector<int> notesA = recorder.Notifications(21);
    std::vector<int> expectedA = {EN_SETFOCUS, EN_KILLFOCUS};
    EXPECT_EQ(notesA, expectedA);
    std::vector<int> notesB = recorder.Notifications(22);
    ASSERT_FALSE(notesB.empty());
    EXPECT_EQ(notesB.front(), EN_SETFOCUS);

    // Moving focus to a button reports the edit's loss only.
    SetFocus(H(button));
    events = Kinds_Pump();
    EXPECT_EQ(Kinds_Of(events, 22), (std::vector<CtlEvent>{{22, CTL_EVENT_LOSTFOCUS}}));
    EXPECT_TRUE(Kinds_Of(events, 23).empty()) << "buttons report no focus events";
    DestroyWindow(H(a));
    DestroyWindow(H(b));
    DestroyWindow(H(button));
}

TEST_F(Kinds, test_check_box_and_button_state) {
    ObjId check = Ctl_Check(17, 60, 240, 200, 20, "Jede Minute eine Warnung anzeigen", 0);
    ASSERT_NE(check, 0);
    EXPECT_EQ(Ctl_GetState(17), 0) << "check boxes start unchecked";
    Ctl_SetState(17, 5);
    EXPECT_EQ(SendMessageA(H(check), BM_GETCHECK, 0, 0), BST_CHECKED) << "any non-zero value checks";
    EXPECT_EQ(Ctl_GetState(17), 1);
    Ctl_SetState(17, 0);
    EXPECT_EQ(Ctl_GetState(17), 0);

    // A click by the user toggles the box before it reports BN_CLICKED.
    PostMessageA(H(check), BM_CLICK, 0, 0);
    std::vector<CtlEvent> events = Kinds_Pump();
    EXPECT_EQ(Ctl_GetState(17), 1) << "the user's tick must read as 1";
    EXPECT_EQ(Kinds_Of(events, 17), (std::vector<CtlEvent>{{17, BN_CLICKED}}));

    // A three-state box in its third state reads as unchecked.
    ObjId tri = Ctl_Button(24, 60, 270, 200, 20, "Drei", BS_AUTO3STATE);
    ASSERT_NE(tri, 0);
    SendMessageA(H(tri), BM_SETCHECK, BST_INDETERMINATE, 0);
    ASSERT_EQ(SendMessageA(H(tri), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    EXPECT_EQ(Ctl_GetState(24), 0) << "indeterminate must read as 0";

    ObjId push = Ctl_Button(12, 280, 300, 100, 20, "Starten", 0);
    ASSERT_NE(push, 0);
    PostMessageA(H(push), BM_CLICK, 0, 0);
    events = Kinds_Pump();
    EXPECT_EQ(Kinds_Of(events, 12), (std::vector<CtlEvent>{{12, BN_CLICKED}}));
    EXPECT_EQ(Ctl_GetState(12), 0);
    EXPECT_EQ(WindowText(H(push)), "Starten");
    DestroyWindow(H(check));
    DestroyWindow(H(tri));
    DestroyWindow(H(push));
}

// Colour of a pixel of the window as drawn on its surface.
COLORREF PixelOf(HWND hwnd, int x, int y) {
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

// Paints the control's client area green behind the platform's back, then lets it repaint.
COLORREF RepaintOverGreen(HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    HDC dc = GetDC(hwnd);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    FillRect(dc, &client, green);
    DeleteObject(green);
    ReleaseDC(hwnd, dc);
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    return PixelOf(hwnd, client.right / 2, client.bottom / 2);
}

TEST_F(Kinds, test_frames_without_caption_never_paint_their_inside) {
    ObjId text = Ctl_Text(31, 20, 20, 200, 100, "", 0);
    ASSERT_NE(text, 0);
    Kinds_Pump();
    ASSERT_NE(RepaintOverGreen(H(text)), RGB(0, 255, 0)) << "a text must paint its background (test premise)";

    for (int32_t type : {FRAME_SUNKEN, FRAME_EDGE, FRAME_FLAT}) {
        ObjId frame = Ctl_Frame(32, 20, 130, 200, 100, nullptr, type);
        ASSERT_NE(frame, 0);
        Kinds_Pump();
        EXPECT_EQ(RepaintOverGreen(H(frame)), RGB(0, 255, 0))
            << "frame type " << type << " painted its inside";
        RECT update = {};
        EXPECT_FALSE(GetUpdateRect(H(frame), &update, FALSE)) << "the frame must validate its client area";
    }
    // A flat frame has a one-pixel border around its client area.
    RECT window = {}, client = {};
    GetWindowRect(Ctl_Record(32)->hwnd, &window);
    GetClientRect(Ctl_Record(32)->hwnd, &client);
    EXPECT_EQ((window.right - window.left) - client.right, 2);
    DestroyWindow(H(text));
    DestroyWindow(Ctl_Record(32)->hwnd);
}

TEST_F(Kinds, test_reused_number_and_obj_any) {
    ObjId first = Ctl_Button(41, 10, 10, 80, 20, "eins", 0);
    ASSERT_NE(first, 0);
    ObjId second = Ctl_Check(41, 10, 40, 80, 20, "zwei", 0);
    ASSERT_NE(second, 0);
    EXPECT_FALSE(IsWindow(H(first))) << "the old control must be destroyed";
    EXPECT_EQ(KindCode(41), CTL_KIND_CHECK);

    ObjId any = Ctl_Edit(OBJ_ANY, 10, 70, 80, 20, "frei", 0);
    ASSERT_NE(any, 0);
    ControlRecord* record = Ctl_Record(any);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<ObjId>(record), any) << "OBJ_ANY yields the record's address";
    EXPECT_EQ(static_cast<ObjId>(GetWindowLongPtrA(record->hwnd, GWLP_ID)), any);
    EXPECT_EQ(CtlText(any), "frei");
    DestroyWindow(record->hwnd);
    EXPECT_EQ(Ctl_Record(any), nullptr);
    DestroyWindow(H(second));
}

TEST_F(Kinds, test_failed_creation_returns_zero_and_keeps_the_old_control) {
    ObjId old = Ctl_Button(42, 10, 10, 80, 20, "bleibt", 0);
    ASSERT_NE(old, 0);
    // A target that is no window makes every creation fail.
    Ctl_BeginList(reinterpret_cast<HWND>(static_cast<intptr_t>(0x7FFF0)));
    EXPECT_EQ(Ctl_Frame(42, 0, 0, 10, 10, "x", FRAME_GROUP), 0);
    EXPECT_EQ(Ctl_Frame(42, 0, 0, 10, 10, nullptr, FRAME_FLAT), 0);
    EXPECT_EQ(Ctl_Text(42, 0, 0, 10, 10, "x", 0), 0);
    EXPECT_EQ(Ctl_Image(42, 0, 0, 10, 10, nullptr, 0), 0);
    EXPECT_EQ(Ctl_Combo(42, 0, 0, 10, 10, 0), 0);
    EXPECT_EQ(Ctl_Edit(42, 0, 0, 10, 10, "x", 0), 0);
    EXPECT_EQ(Ctl_Button(42, 0, 0, 10, 10, "x", 0), 0);
    EXPECT_EQ(Ctl_Check(42, 0, 0, 10, 10, "x", 0), 0);
    Ctl_BeginList(hwnd_);
    EXPECT_TRUE(IsWindow(H(old)));
    EXPECT_EQ(Ctl_Record(42)->hwnd, H(old)) << "the earlier control must keep its number";
    DestroyWindow(H(old));
}

} // namespace
