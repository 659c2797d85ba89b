// Control framework, tested through kinds defined here: creation and registration,
// number reuse, the record's life with its window, the kind-independent operations,
// the colour answer, the brush cache and controls posting events to their top window.
#include <gtest/gtest.h>

#include <string>

#include "controls/testkinds.h"
#include "window/harness.h"
#include "window/winproc.h"

namespace {

// A kind that records what the framework hands its operations.
struct Recorded {
    int setText = 0;
    std::string text;
    int addItem = 0;
    int32_t position = 0;
    int32_t extra = 0;
    intptr_t stateSet = 0;
    int32_t colourKind = 0;
    int32_t colour = 0;
};
Recorded g_rec;

intptr_t Rec_GetState(ControlRecord*) {
    return 4711;
}
void Rec_SetState(ControlRecord*, intptr_t value) {
    g_rec.stateSet = value;
}
void Rec_SetText(ControlRecord*, const char* text) {
    g_rec.setText += 1;
    g_rec.text = text != nullptr ? text : "(null)";
}
int32_t Rec_AddItem(ControlRecord*, int32_t position, const char* text, int32_t extra) {
    g_rec.addItem += 1;
    g_rec.position = position;
    g_rec.text = text != nullptr ? text : "(null)";
    g_rec.extra = extra;
    return 33;
}
void Rec_SetColor(ControlRecord*, int32_t kind, int32_t value) {
    g_rec.colourKind = kind;
    g_rec.colour = value;
}
const ControlKind kRecordingKind = {8,           nullptr,     nullptr,     Rec_GetState, Rec_SetState,
                                    Rec_SetText, Rec_AddItem, Rec_SetColor};

// A kind without any operation (like a frame).
const ControlKind kBareKind = {7, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

ObjId Bare(ObjId number, const char* text) {
    return Ctl_Create(number, &kBareKind, 0, "Static", text, WS_CHILD | WS_VISIBLE, 0, 0, 50, 20);
}

constexpr HostWindow kControlHost = {
    90, 100, 100, 400, 300, "controls", 0x00CA0000u, kHostControls | kHostCloseAll, 0, 20};

class ControlTest : public HostWindowTest<kControlHost> {
  protected:
    void SetUp() override {
        g_rec = Recorded();
        HostWindowTest::SetUp();
        dc_ = CreateCompatibleDC(nullptr);
    }
    void TearDown() override {
        DeleteDC(dc_);
        HostWindowTest::TearDown();
    }
    // The colour answer as the parent's procedure gives it (before DefWindowProcA).
    LRESULT AskColour(UINT message, HWND control) {
        return Win_Dispatch(hwnd_, message, reinterpret_cast<WPARAM>(dc_), reinterpret_cast<LPARAM>(control));
    }
    HDC dc_ = nullptr;
};

std::string TextOf(ObjId number) {
    ScratchFrame frame;
    const int32_t start = Scratch_Pos();
    Ctl_GetText(number, start);
    return Scratch_Ptr(start);
}

} // namespace

TEST_F(ControlTest, test_creation_registers_the_control) {
    HWND text = reinterpret_cast<HWND>(TestText(3, 5, 5, 100, 20, "Zeit"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(GetParent(text), hwnd_);
    EXPECT_EQ(GetWindowLongPtrA(text, GWLP_ID), 3);
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(text, "KX_ID")), 3);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(text, WM_GETFONT, 0, 0)),
              GetStockObject(DEFAULT_GUI_FONT));
    // A Unicode window, subclassed as one: only so does it take and give its text in UTF-16.
    EXPECT_TRUE(IsWindowUnicode(text)) << "expected a Unicode control";
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(text, GWLP_WNDPROC)), ControlProc);
    ControlRecord* record = Ctl_Record(3);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->hwnd, text);
    EXPECT_EQ(record->kind, &kTestTextKind);
    EXPECT_NE(record->prevProc, nullptr);
    EXPECT_EQ(static_cast<int32_t>(record->wordA), COLOR_NONE);
    EXPECT_EQ(Ctl_RecordOf(text), record);
    EXPECT_EQ(TextOf(3), "Zeit") << "the class procedure still answers through ControlProc";

    // OBJ_ANY: the identifier is the record's address and the control ID.
    const ObjId id = TestButton(OBJ_ANY, 5, 40, 80, 24, "OK", BS_AUTOCHECKBOX);
    ASSERT_NE(id, 0);
    record = Ctl_Record(id);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<ObjId>(record), id);
    EXPECT_EQ(GetWindowLongPtrA(record->hwnd, GWLP_ID), id);
    EXPECT_EQ(reinterpret_cast<ObjId>(GetPropA(record->hwnd, "KX_ID")), id);
    Ctl_SetState(id, 1);
    EXPECT_EQ(Ctl_GetState(id), 1);
}

TEST_F(ControlTest, test_reusing_a_number_replaces_the_control) {
    HWND old = reinterpret_cast<HWND>(TestText(5, 5, 5, 100, 20, "alt"));
    Ctl_SetColor(5, CTL_COLOR_BACK, 0x102030);
    const HBRUSH brush = reinterpret_cast<HBRUSH>(Ctl_Record(5)->wordC);
    ASSERT_EQ(Brush_RefCount(brush), 1);

    // A failed creation leaves the old control alone.
    EXPECT_EQ(Ctl_Create(5, &kTestTextKind, 0, "NoSuchClass", "x", WS_CHILD, 0, 0, 5, 5), 0);
    EXPECT_TRUE(IsWindow(old));
    EXPECT_EQ(Ctl_Record(5)->hwnd, old);

    HWND neu = reinterpret_cast<HWND>(TestButton(5, 5, 5, 100, 20, "neu"));
    ASSERT_NE(neu, nullptr);
    EXPECT_FALSE(IsWindow(old)) << "the old control's window is destroyed";
    EXPECT_EQ(Brush_RefCount(brush), 0) << "and its brush released";
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(Ctl_Record(5)->hwnd, neu);
    EXPECT_EQ(Ctl_Record(5)->kind, &kTestButtonKind);
}

TEST_F(ControlTest, test_record_lives_as_long_as_the_window) {
    HWND text = reinterpret_cast<HWND>(TestText(6, 5, 5, 100, 20, "t"));
    Ctl_SetColor(6, CTL_COLOR_BACK, 0x445566);
    const HBRUSH brush = reinterpret_cast<HBRUSH>(Ctl_Record(6)->wordC);
    DestroyWindow(text);
    EXPECT_EQ(Ctl_Record(6), nullptr);
    EXPECT_EQ(GetObjectType(brush), 0u) << "the kind's release ran at WM_NCDESTROY";

    // Closing the parent frees every control on it; the numbers then name nothing.
    TestButton(7, 5, 5, 50, 20, "b");
    Ctl_Create(8, &kRecordingKind, 0, "Static", "r", WS_CHILD, 0, 0, 5, 5);
    ASSERT_NE(Ctl_Record(8), nullptr);
    Win_Close(90);
    for (ObjId n : {6, 7, 8}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Ctl_Record(n), nullptr);
        EXPECT_EQ(Ctl_GetState(n), 0);
        EXPECT_EQ(Ctl_AddItem(n, -1, "x", 0, 0), 0);
        EXPECT_EQ(TextOf(n), "");
        Ctl_SetText(n, "x");
        Ctl_SetState(n, 1);
        Ctl_Disable(n, 1);
        Ctl_SetColor(n, CTL_COLOR_BACK, 0);
    }
    EXPECT_EQ(g_rec.setText, 0);
    EXPECT_EQ(g_rec.addItem, 0);
}

TEST_F(ControlTest, test_unknown_numbers_are_no_ops) {
    for (ObjId n : {ObjId{0}, ObjId{49}, ObjId{50}, ObjId{5000}, ObjId{-7}, OBJ_ANY, ObjId{0x7654321}}) {
        SCOPED_TRACE(n);
        const int32_t start = Scratch_Pos();
        Str_Concat("abc");
        const int32_t at = Scratch_Pos();
        Ctl_GetText(n, at);
        EXPECT_EQ(Scratch_Pos(), at);
        EXPECT_STREQ(Scratch_Ptr(start), "abc");
        Scratch_SetPos(start);
        EXPECT_EQ(Ctl_GetState(n), 0);
        EXPECT_EQ(Ctl_AddItem(n, 0, nullptr, 0, 0), 0);
        Ctl_SetText(n, nullptr);
        Ctl_SetState(n, 1);
        Ctl_Disable(n, 1);
        Ctl_SetColor(n, CTL_COLOR_FRONT, 0);
    }
}

TEST_F(ControlTest, test_operations_go_through_the_kind) {
    HWND rec = reinterpret_cast<HWND>(
        Ctl_Create(9, &kRecordingKind, 0, "Static", "r", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20));
    ASSERT_NE(rec, nullptr);
    Ctl_SetText(9, nullptr);
    EXPECT_EQ(g_rec.setText, 1);
    EXPECT_EQ(g_rec.text, "") << "a null text is handed on as \"\"";
    EXPECT_EQ(Ctl_AddItem(9, -1, nullptr, 7, 9), 33);
    EXPECT_EQ(g_rec.position, -1);
    EXPECT_EQ(g_rec.text, "");
    EXPECT_EQ(g_rec.extra, 7) << "the first further integer goes to the kind";
    EXPECT_EQ(Ctl_GetState(9), 4711);
    Ctl_SetState(9, 5);
    EXPECT_EQ(g_rec.stateSet, 5);
    Ctl_SetColor(9, CTL_COLOR_BACK, 0xABCDEF);
    EXPECT_EQ(g_rec.colourKind, CTL_COLOR_BACK);
    EXPECT_EQ(g_rec.colour, 0xABCDEF);

    Ctl_Disable(9, 2);
    EXPECT_FALSE(IsWindowEnabled(rec));
    Ctl_Disable(9, 0);
    EXPECT_TRUE(IsWindowEnabled(rec));

    // Kinds without the operations fall back.
    HWND bare = reinterpret_cast<HWND>(Bare(10, "vorher"));
    ASSERT_NE(bare, nullptr);
    Ctl_SetText(10, "nachher");
    EXPECT_EQ(TextOf(10), "nachher") << "SetWindowTextA without a SetText operation";
    Ctl_SetText(10, nullptr);
    EXPECT_EQ(TextOf(10), "");
    EXPECT_EQ(Ctl_GetState(10), 0);
    Ctl_SetState(10, 1);
    EXPECT_EQ(Ctl_AddItem(10, 0, "x", 0, 0), 0);
    Ctl_SetColor(10, CTL_COLOR_BACK, 0x112233);
}

TEST_F(ControlTest, test_get_text_in_the_scratch_area) {
    TestText(11, 5, 5, 100, 20, "Hallo Welt");
    TestText(12, 5, 5, 100, 20, "");

    const int32_t w0 = Scratch_Pos();
    Str_Concat("Zeit: ");
    Ctl_GetText(11, Scratch_Pos());
    EXPECT_STREQ(Scratch_Ptr(w0), "Zeit: Hallo Welt");
    EXPECT_EQ(Scratch_Pos(), w0 + 16) << "the write position ends on the terminating zero";
    Scratch_SetPos(w0);

    Ctl_GetText(12, w0);
    EXPECT_EQ(Scratch_Pos(), w0);
    EXPECT_STREQ(Scratch_Ptr(w0), "");

    // A text longer than the area grows it; one that fills the first fetch's room is measured and fetched
    // again, whole.
    for (int length : {40000, CTL_TEXT_GUESS - 1, CTL_TEXT_GUESS, CTL_TEXT_GUESS + 1}) {
        std::string text(static_cast<size_t>(length), 'x');
        Ctl_SetText(11, text.c_str());
        EXPECT_EQ(TextOf(11), text) << "length " << length;
        EXPECT_EQ(Scratch_Pos(), w0);
    }

    // 1252 in, Unicode on the screen, 1252 back, whatever the ANSI code page (the code-page run has 1251);
    // what 1252 lacks reads back as '?'.
    Ctl_SetText(11, "auswählen \x80");
    wchar_t shown[32] = L"";
    GetWindowTextW(Ctl_Record(11)->hwnd, shown, 32);
    EXPECT_STREQ(shown, L"auswählen €");
    EXPECT_EQ(TextOf(11), "auswählen \x80");
    SetWindowTextW(Ctl_Record(11)->hwnd, L"Jürgen \x0414\x043E\x043C");
    EXPECT_EQ(TextOf(11), "Jürgen ???");
}

TEST_F(ControlTest, test_colour_answer_of_text) {
    HWND text = reinterpret_cast<HWND>(TestText(13, 5, 5, 100, 20, "t"));
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, text), NOT_HANDLED) << "no colours: the platform's default";

    Ctl_SetColor(13, CTL_COLOR_FRONT, 0x0000FF);
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, text), reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
    EXPECT_EQ(GetTextColor(dc_), 0x0000FFu);
    EXPECT_EQ(GetBkColor(dc_), GetSysColor(COLOR_BTNFACE));

    Ctl_SetColor(13, CTL_COLOR_BACK, 0xD53500);
    const HBRUSH brush = reinterpret_cast<HBRUSH>(Ctl_Record(13)->wordC);
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, text), reinterpret_cast<LRESULT>(brush));
    EXPECT_EQ(GetBkColor(dc_), 0xD53500u);
    EXPECT_EQ(AskColour(WM_CTLCOLOREDIT, text), NOT_HANDLED) << "a text answers WM_CTLCOLORSTATIC only";

    // Through the real window procedure the brush is the answer.
    EXPECT_EQ(
        SendMessageA(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_), reinterpret_cast<LPARAM>(text)),
        reinterpret_cast<LRESULT>(brush));

    // Unknown colour kinds change nothing.
    Ctl_SetColor(13, 3, 0x000000);
    EXPECT_EQ(static_cast<int32_t>(Ctl_Record(13)->wordA), 0xD53500);
    EXPECT_EQ(static_cast<int32_t>(Ctl_Record(13)->wordB), 0x0000FF);

    // A child that is not one of ours gets no answer.
    HWND foreign = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 5, 5, hwnd_, nullptr, nullptr, nullptr);
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, foreign), NOT_HANDLED);
    SetPropA(foreign, "KX_ID", reinterpret_cast<HANDLE>(13));
    SetWindowLongPtrA(foreign, GWLP_ID, 13);
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, foreign), NOT_HANDLED) << "a borrowed identifier is not enough";
    DestroyWindow(foreign);
}

TEST_F(ControlTest, test_colour_answer_of_edit) {
    HWND edit = reinterpret_cast<HWND>(TestEdit(14, 5, 5, 100, 20, "e"));
    Ctl_SetColor(14, CTL_COLOR_FRONT, 0x00FF00);
    EXPECT_EQ(AskColour(WM_CTLCOLOREDIT, edit),
              reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(GetBkColor(dc_), GetSysColor(COLOR_BTNHIGHLIGHT));
    Ctl_SetColor(14, CTL_COLOR_BACK, 0x202020);
    const LRESULT brush = static_cast<LRESULT>(Ctl_Record(14)->wordC);
    EXPECT_EQ(AskColour(WM_CTLCOLOREDIT, edit), brush);
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, edit), brush) << "read-only look while enabled";
    Ctl_Disable(14, 1);
    EXPECT_EQ(AskColour(WM_CTLCOLORSTATIC, edit), NOT_HANDLED) << "a disabled edit keeps the disabled look";
    EXPECT_EQ(AskColour(WM_CTLCOLOREDIT, edit), brush);
}

TEST_F(ControlTest, test_brush_cache_shares_and_counts) {
    TestText(20, 5, 5, 50, 20, "a");
    TestText(21, 5, 30, 50, 20, "b");
    TestEdit(22, 5, 60, 50, 20, "c");
    Ctl_SetColor(20, CTL_COLOR_BACK, 0x010203);
    Ctl_SetColor(21, CTL_COLOR_BACK, 0x010203);
    const HBRUSH shared = reinterpret_cast<HBRUSH>(Ctl_Record(20)->wordC);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(Ctl_Record(21)->wordC), shared) << "one brush per colour";
    EXPECT_EQ(Brush_RefCount(shared), 2);

    // Another colour for one user keeps the brush for the other.
    Ctl_SetColor(21, CTL_COLOR_BACK, 0x040506);
    EXPECT_EQ(Brush_RefCount(shared), 1);
    EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_BRUSH));
    const HBRUSH other = reinterpret_cast<HBRUSH>(Ctl_Record(21)->wordC);
    EXPECT_NE(other, shared);
    EXPECT_EQ(Brush_RefCount(other), 1);

    // The same colour twice with a single user: released and made anew.
    Ctl_SetColor(21, CTL_COLOR_BACK, 0x040506);
    const HBRUSH again = reinterpret_cast<HBRUSH>(Ctl_Record(21)->wordC);
    EXPECT_EQ(Brush_RefCount(again), 1);
    EXPECT_EQ(GetObjectType(again), static_cast<DWORD>(OBJ_BRUSH));

    // An edit shares the cache with texts.
    Ctl_SetColor(22, CTL_COLOR_BACK, 0x010203);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(Ctl_Record(22)->wordC), shared);
    EXPECT_EQ(Brush_RefCount(shared), 2);

    // The last user going back to COLOR_NONE deletes the brush.
    Ctl_SetColor(20, CTL_COLOR_BACK, COLOR_NONE);
    EXPECT_EQ(Ctl_Record(20)->wordC, 0);
    Ctl_SetColor(22, CTL_COLOR_BACK, COLOR_NONE);
    EXPECT_EQ(Brush_RefCount(shared), 0);
    EXPECT_EQ(GetObjectType(shared), 0u);

    // Unknown brushes are ignored.
    HBRUSH foreign = CreateSolidBrush(0x777777);
    Brush_Release(foreign);
    Brush_Release(nullptr);
    EXPECT_EQ(GetObjectType(foreign), static_cast<DWORD>(OBJ_BRUSH));
    DeleteObject(foreign);
}

namespace {

DWORD WINAPI HammerBrushes(LPVOID param) {
    const COLORREF base = static_cast<COLORREF>(reinterpret_cast<intptr_t>(param));
    for (int i = 0; i < 3000; ++i) {
        HBRUSH a = Brush_Acquire(base + static_cast<COLORREF>(i % 4));
        HBRUSH b = Brush_Acquire(0x00ABCDEF);
        if (a == nullptr || b == nullptr) {
            return 1;
        }
        Brush_Release(a);
        Brush_Release(b);
    }
    return 0;
}

} // namespace

TEST_F(ControlTest, test_brush_cache_under_concurrent_use) {
    HBRUSH held = Brush_Acquire(0x00ABCDEF);
    HANDLE threads[4];
    for (int i = 0; i < 4; ++i) {
        threads[i] =
            CreateThread(nullptr, 0, HammerBrushes,
                         reinterpret_cast<LPVOID>(static_cast<intptr_t>(0x100 * (i % 2))), 0, nullptr);
    }
    EXPECT_EQ(WaitForMultipleObjects(4, threads, TRUE, 30000), WAIT_OBJECT_0);
    for (HANDLE t : threads) {
        DWORD code = 99;
        GetExitCodeThread(t, &code);
        EXPECT_EQ(code, 0u) << "an acquisition failed";
        CloseHandle(t);
    }
    EXPECT_EQ(Brush_RefCount(held), 1) << "counts must balance after concurrent use";
    Brush_Release(held);
    EXPECT_EQ(GetObjectType(held), 0u);
}

TEST_F(ControlTest, test_control_events_reach_the_top_window) {
    HWND box = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 10, 10, 200, 100, hwnd_, nullptr,
                               nullptr, nullptr);
    Ctl_BeginList(box);
    HWND inner = reinterpret_cast<HWND>(TestButton(30, 5, 5, 50, 20, "x"));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(TopWindowOf(inner), hwnd_);
    EXPECT_EQ(TopWindowOf(hwnd_), hwnd_);
    EXPECT_EQ(TopWindowOf(nullptr), nullptr);

    Tk_Pump(20);
    PostControlEvent(inner, CTL_EVENT_DRAGSTART);
    EXPECT_EQ(Win_WaitEvent(500), EVENT_CONTROL);
    EXPECT_EQ(Event_Control(), 30);
    EXPECT_EQ(Event_Type(), CTL_EVENT_DRAGSTART);

    // Outside any toolkit window the walk ends at the outermost window.
    HWND plainTop =
        CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND plainChild =
        CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 5, 5, plainTop, nullptr, nullptr, nullptr);
    EXPECT_EQ(TopWindowOf(plainChild), plainTop);
    DestroyWindow(plainTop);
}

TEST_F(ControlTest, test_stale_target_fails_creation) {
    HWND keep = reinterpret_cast<HWND>(TestButton(31, 5, 5, 50, 20, "keep"));
    HWND gone = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(Ctl_BeginList(gone), gone) << "the handle is stored unchecked";
    EXPECT_EQ(TestButton(31, 5, 5, 50, 20, "new"), 0);
    EXPECT_EQ(Ctl_Record(31)->hwnd, keep) << "the earlier control survives";
    EXPECT_EQ(Ctl_BeginList(nullptr), nullptr);
    EXPECT_EQ(TestButton(32, 5, 5, 50, 20, "orphan"), 0);
}

namespace {

struct ForeignThread {
    HANDLE ready;
    HANDLE finish;
    HWND control;
    HBRUSH brush;
};

// Opens its own window with text control 14 (coloured), then pumps until told to finish.
DWORD WINAPI OwnControl(LPVOID param) {
    ForeignThread* t = static_cast<ForeignThread*>(param);
    HWND w = reinterpret_cast<HWND>(Win_Open(91, 0, 0, 200, 50, "banner", WS_POPUP));
    Ctl_BeginList(w);
    t->control = reinterpret_cast<HWND>(TestText(14, 5, 5, 100, 20, "alt"));
    Ctl_SetColor(14, CTL_COLOR_BACK, 0xD53500);
    t->brush = reinterpret_cast<HBRUSH>(Ctl_Record(14)->wordC);
    SetEvent(t->ready);
    while (MsgWaitForMultipleObjects(1, &t->finish, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        Win_WaitEvent(0);
    }
    return 0;
}

} // namespace

TEST_F(ControlTest, test_number_taken_from_another_threads_control) {
    ForeignThread t = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                       CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, OwnControl, &t, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(t.ready, 5000), WAIT_OBJECT_0);
    ASSERT_NE(t.control, nullptr);
    ASSERT_EQ(Brush_RefCount(t.brush), 1);

    // The other thread's window cannot be destroyed from here: it is let go instead.
    Ctl_BeginList(hwnd_);
    HWND mine = reinterpret_cast<HWND>(TestText(14, 5, 5, 100, 20, "neu"));
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(Ctl_Record(14)->hwnd, mine);
    EXPECT_TRUE(IsWindow(t.control));
    EXPECT_EQ(GetWindowLongPtrA(t.control, GWLP_ID), -1);
    EXPECT_EQ(GetPropA(t.control, "KX_ID"), nullptr);
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(t.control, GWLP_WNDPROC)), ControlProc);
    EXPECT_EQ(Brush_RefCount(t.brush), 0) << "the old control's brush is given back";
    char text[16] = {};
    GetWindowTextA(t.control, text, sizeof text);
    EXPECT_STREQ(text, "alt") << "the old control still works with its class procedure";

    // When its thread ends the old window goes; the new control is untouched.
    SetEvent(t.finish);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(IsWindow(t.control));
    ASSERT_NE(Ctl_Record(14), nullptr);
    EXPECT_EQ(Ctl_Record(14)->hwnd, mine);
    EXPECT_EQ(TextOf(14), "neu");
    CloseHandle(thread);
    CloseHandle(t.ready);
    CloseHandle(t.finish);
}

namespace {

// A thread with a target window of its own. It names its window, lets the test create a control
// meanwhile, then creates one itself.
struct TargetThread {
    HANDLE named;
    HANDLE go;
    HWND window;
    HWND created;
    HWND parent;
};

DWORD WINAPI CreateInOwnTarget(LPVOID param) {
    TargetThread* t = static_cast<TargetThread*>(param);
    t->window = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
    Ctl_BeginList(t->window);
    SetEvent(t->named);
    WaitForSingleObject(t->go, 5000);
    t->created = reinterpret_cast<HWND>(TestButton(36, 5, 5, 50, 20, "dort"));
    t->parent = GetParent(t->created);
    DestroyWindow(t->window);
    return 0;
}

// Creates a control without having named a target window.
DWORD WINAPI CreateWithoutTarget(LPVOID param) {
    *static_cast<ObjId*>(param) = TestButton(37, 5, 5, 50, 20, "nirgends");
    return 0;
}

} // namespace

// Each thread creates in the window it named itself: another thread's Ctl_BeginList meanwhile
// does not redirect it, and a thread that named no window creates nothing.
TEST_F(ControlTest, test_creation_target_belongs_to_the_calling_thread) {
    TargetThread t = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                      CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr, nullptr, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, CreateInOwnTarget, &t, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(t.named, 5000), WAIT_OBJECT_0);
    HWND mine = reinterpret_cast<HWND>(TestButton(35, 5, 5, 50, 20, "hier"));
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(GetParent(mine), hwnd_) << "another thread's Ctl_BeginList redirected this creation";
    SetEvent(t.go);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_NE(t.created, nullptr);
    EXPECT_EQ(t.parent, t.window) << "the thread's own creation went elsewhere";
    EXPECT_EQ(Ctl_Record(36), nullptr) << "its control went with its window";

    ObjId orphan = -5;
    HANDLE lone = CreateThread(nullptr, 0, CreateWithoutTarget, &orphan, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(lone, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(orphan, 0) << "a thread that named no window must create nothing";
    EXPECT_EQ(Ctl_Record(37), nullptr);
    EXPECT_EQ(GetParent(mine), hwnd_);
    CloseHandle(lone);
    CloseHandle(thread);
    CloseHandle(t.named);
    CloseHandle(t.go);
}
