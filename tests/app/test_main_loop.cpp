// The main loop as a user meets it: cancelling and restarting the countdown, the ways to end the
// program, hiding and showing, the tray icon's clicks, the menu items and their shortcuts.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <set>

#include "app_support.h"

using apptest::Program;

namespace {

constexpr char kAboutBody[] =
    "Nachtriegel fährt den Computer nach einer einstellbaren Zeit herunter, startet ihn "
    "neu, versetzt ihn in den Ruhezustand, sperrt ihn oder meldet den Benutzer ab.";
constexpr char kLiabilityText[] = "Bei Soft- und Hardwareschäden, die diese Software verursacht hat, "
                                  "übernimmt dieser Hersteller keine Haftung.";

// The execution states the program has asked for: staying awake while it counts and until its tool has
// started, letting go after a cancel.
constexpr DWORD kStayAwake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
constexpr DWORD kLetGo = ES_CONTINUOUS;
std::vector<DWORD> States(Program& program) {
    std::vector<DWORD> states;
    std::string why;
    EXPECT_TRUE(program.ExecutionStates(&states, &why)) << why;
    return states;
}

bool IdleSet(Program& program) {
    return program.Enabled(kStartButton) && !program.Enabled(kCancelButton) && program.Enabled(kTimeField) &&
           program.Enabled(kTaskList);
}

bool RunningSet(Program& program) {
    return !program.Enabled(kStartButton) && program.Enabled(kCancelButton) && !program.Enabled(kTimeField) &&
           !program.Enabled(kTaskList);
}

// Shown again from the tray: visible, not minimised and in front, also after a second of mouse moves over
// the icon.
void ExpectBroughtBack(Program& program, const char* how) {
    HWND main = program.Main();
    auto shown = [&] { return IsWindowVisible(main) && !IsIconic(main); };
    EXPECT_TRUE(apptest::WaitFor(shown, 2000)) << how << ": expected shown and restored, got visible "
                                               << IsWindowVisible(main) << ", minimised " << IsIconic(main);
    program.HoverTray(1000);
    EXPECT_TRUE(shown()) << how
                         << ": after mouse moves over the icon expected shown and restored, got visible "
                         << IsWindowVisible(main) << ", minimised " << IsIconic(main);
    EXPECT_EQ(GetForegroundWindow(), main) << how << ": the window is not in front";
}

std::set<HWND> Banners(Program& program) {
    std::vector<HWND> found = program.WindowsOfClass("WindowClass_1");
    return std::set<HWND>(found.begin(), found.end());
}

} // namespace

TEST(MainLoop, test_cancel_leaves_no_warning_and_no_command) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("end 2 x 1 1"));
    ASSERT_TRUE(apptest::WaitFor([&] { return RunningSet(program); }, 2000)) << "the countdown did not start";
    std::set<HWND> bannersAtCancel = Banners(program);
    ASSERT_TRUE(program.Click(kCancelButton));
    EXPECT_TRUE(apptest::WaitFor([&] { return IdleSet(program); }, 2000)) << "the idle set did not come back";
    EXPECT_EQ(program.Text(kTimeField), "2") << "Abbrechen keeps the field";
    EXPECT_EQ(program.Selection(), 0);
    EXPECT_EQ(program.Checked(kBannerBox), BST_CHECKED);
    // Past the moment the task would have run: nothing starts, no new banner appears.
    Sleep(4000);
    EXPECT_TRUE(program.Records().empty()) << "a command ran after Abbrechen";
    EXPECT_EQ(Banners(program), bannersAtCancel) << "a warning came after Abbrechen";
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(IdleSet(program));
    EXPECT_EQ(program.Quit(), 0u);
}

// The computer is kept awake while a countdown runs and until its tool has started; "Abbrechen" gives it
// back at once.
TEST(MainLoop, test_cancel_then_start_counts_afresh) {
    REQUIRE_RECORDER();
    Program program;
    program.WatchWineLog();
    ASSERT_TRUE(program.Start("restart 30"));
    Sleep(1200);
    EXPECT_EQ(States(program), std::vector<DWORD>({kStayAwake})) << "a running countdown must keep it awake";
    ASSERT_TRUE(program.Click(kCancelButton));
    ASSERT_TRUE(apptest::WaitFor([&] { return IdleSet(program); }, 2000));
    EXPECT_EQ(States(program), std::vector<DWORD>({kStayAwake, kLetGo})) << "Abbrechen must let go";
    program.SetText(kTimeField, "2");
    double startedAt = apptest::NowMs();
    ASSERT_TRUE(program.Click(kStartButton));
    EXPECT_TRUE(apptest::WaitFor([&] { return RunningSet(program); }, 2000));
    ASSERT_GT(program.WaitForRecord(10000), 0);
    double elapsed = apptest::NowMs() - startedAt;
    EXPECT_GE(elapsed, 3000.0) << "the new countdown must start from 0";
    EXPECT_LE(elapsed, 4800.0);
    apptest::ExpectEndWithCommand(program, apptest::ExpectedCommand("shutdown.exe", "-r -f"));
    // Held until the tool has started: an idle machine could otherwise fall asleep between the count's
    // end and the shutdown. The process's end lets go.
    EXPECT_EQ(States(program), std::vector<DWORD>({kStayAwake, kLetGo, kStayAwake}))
        << "the countdown let go before its tool had started";
}

// Wine's taskbar object logs the first call of each kind, and Wine never announces the button: the test does.
TEST(MainLoop, test_countdown_shows_on_the_real_taskbar_object_once_the_button_is_announced) {
    REQUIRE_RECORDER();
    Program program;
    program.WatchWineLog();
    ASSERT_TRUE(program.Start("end 99"));
    const UINT buttonCreated = RegisterWindowMessageA("TaskbarButtonCreated");
    std::vector<std::string> values, states;
    std::string why;
    Sleep(1200);
    ASSERT_TRUE(program.WineLog("SetProgressValue ", &values, &why)) << why;
    EXPECT_TRUE(values.empty()) << "expected no call before the button was announced";
    SendMessageA(program.Main(), buttonCreated, 0, 0);
    ASSERT_TRUE(program.Click(kCancelButton));
    ASSERT_TRUE(apptest::WaitFor([&] { return IdleSet(program); }, 2000));
    program.WineLog("SetProgressValue ", &values, &why);
    program.WineLog("SetProgressState ", &states, &why);
    // Wine prints handles in hexadecimal.
    const auto main = reinterpret_cast<uintptr_t>(program.Main());
    auto hex = [](const std::string& text, size_t at) {
        return at == std::string::npos ? 0 : std::strtoull(text.c_str() + at, nullptr, 16);
    };
    ASSERT_EQ(values.size(), 1u) << "expected one first value call";
    EXPECT_EQ(hex(values[0], values[0].find("hwnd ") + 5), main) << "expected window 0, got " << values[0];
    EXPECT_NE(values[0].find("ullTotal 64 "), std::string::npos)
        << "expected 99 + 1 steps, got " << values[0];
    ASSERT_EQ(states.size(), 1u) << "expected Abbrechen to clear the button";
    EXPECT_NE(states[0].find("flags 0"), std::string::npos) << "expected no progress, got " << states[0];
    EXPECT_EQ(program.Quit(), 0u);
}

TEST(MainLoop, test_every_way_out_ends_the_program_without_the_task) {
    REQUIRE_RECORDER();
    struct Way {
        const char* name;
        void (*act)(Program&);
    };
    const Way ways[] = {
        {"Esc", [](Program& p) { EXPECT_TRUE(p.Keys({VK_ESCAPE})); }},
        {"Beenden (menu bar)", [](Program& p) { p.ChooseMenu(kItemQuit); }},
        {"Beenden (tray menu)", [](Program& p) { p.ChooseMenu(kItemTrayQuit); }},
        {"close box", [](Program& p) { PostMessageA(p.Main(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Way& way : ways) {
        Program program;
        ASSERT_TRUE(program.Start("end 3")) << way.name;
        way.act(program);
        EXPECT_EQ(program.WaitExit(5000), 0u) << way.name;
        Sleep(3500 - std::min(3500.0, apptest::NowMs() - program.StartedAtMs()));
        EXPECT_TRUE(program.Records().empty()) << way.name << ": the task ran";
        EXPECT_TRUE(program.TrayIconsGone()) << way.name << ": the tray icon was left behind";
    }
}

TEST(MainLoop, test_hide_show_minimise_and_tray_clicks) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    HWND main = program.Main();
    auto shownNormal = [&] { return IsWindowVisible(main) && !IsIconic(main); };
    auto hiddenNormal = [&] { return !IsWindowVisible(main) && !IsIconic(main); };
    auto hiddenMinimised = [&] { return !IsWindowVisible(main) && IsIconic(main); };
    // The focus is not on the first input, so that a window that only focuses that one is caught.
    HWND field = program.Control(kTimeField);
    for (int tab = 0; tab < 8 && program.Focus() != field; ++tab) {
        HWND before = program.Focus();
        program.Keys({VK_TAB});
        apptest::WaitFor([&] { return program.Focus() != before; }, 1000);
    }
    ASSERT_EQ(program.Focus(), field) << "Tab did not reach the time field";

    program.ChooseMenu(kItemHide);
    EXPECT_TRUE(apptest::WaitFor(hiddenNormal, 2000)) << "Verstecken did not hide the window";
    program.ChooseMenu(kItemShow);
    EXPECT_TRUE(apptest::WaitFor(shownNormal, 2000)) << "Anzeigen did not show it in the normal state";
    EXPECT_EQ(program.Focus(), field) << "Verstecken, Anzeigen: the focus did not come back";

    program.ChooseMenu(kItemHide);
    ASSERT_TRUE(apptest::WaitFor(hiddenNormal, 2000));
    program.TrayCallback(WM_LBUTTONDBLCLK); // double clicks do nothing
    Sleep(400);
    EXPECT_TRUE(hiddenNormal()) << "a double click showed the window";
    program.TrayCallback(WM_LBUTTONUP);
    EXPECT_TRUE(apptest::WaitFor(shownNormal, 2000)) << "a left click did not show the window";
    EXPECT_EQ(program.Focus(), field) << "Verstecken, left click: the focus did not come back";

    // Minimised, then brought back: restored, in front, the focus where it was, and it stays so while the
    // mouse rests on the icon (every move is a callback that wakes the main loop).
    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0); // the minimise box
    EXPECT_TRUE(apptest::WaitFor(hiddenMinimised, 3000)) << "a minimised window must leave the screen";
    EXPECT_TRUE(program.Running());
    program.TrayCallback(WM_LBUTTONUP);
    ExpectBroughtBack(program, "minimise box, left click");
    EXPECT_EQ(program.Focus(), field) << "minimise box, left click: the focus did not come back";
    EXPECT_EQ(program.Quit(), 0u);

    Program hidden; // the guide's safe start, brought back with the tray menu
    ASSERT_TRUE(hidden.Start("x 900 minimize"));
    main = hidden.Main();
    EXPECT_TRUE(apptest::WaitFor(hiddenMinimised, 3000)) << "minimize did not hide the window";
    hidden.ChooseMenu(kItemShow);
    ExpectBroughtBack(hidden, "minimize, Anzeigen");
    EXPECT_TRUE(IdleSet(hidden)) << "showing the window must start nothing";
    EXPECT_EQ(hidden.Quit(), 0u);
    EXPECT_TRUE(hidden.Records().empty());
}

// A restarted shell forgets every icon and broadcasts "TaskbarCreated": the icon comes back once, with
// its tip, and still brings the hidden window back; the countdown goes on meanwhile.
TEST(MainLoop, test_taskbar_restart_brings_the_tray_icon_back) {
    REQUIRE_RECORDER();
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    Program program;
    ASSERT_TRUE(program.Start("end 600"));
    HWND main = program.Main();
    program.ChooseMenu(kItemHide); // Verstecken: only the icon is left
    ASSERT_TRUE(apptest::WaitFor([&] { return !IsWindowVisible(main); }, 2000));
    // The shell does not ask who removes an icon.
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = main;
    icon.uID = kTrayIconNumber;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &icon));
    ASSERT_TRUE(program.TrayIconsGone());
    for (int round = 1; round <= 2; ++round) {
        PostMessageA(main, taskbarCreated, 0, 0);
        EXPECT_TRUE(apptest::WaitFor([&] { return program.TrayIcon() != nullptr; }, 3000))
            << "round " << round << ": no icon with the version tip came back";
        Sleep(300);
        EXPECT_EQ(program.NewTrayIcons().size(), 1u) << "round " << round << ": expected exactly one icon";
    }
    EXPECT_FALSE(IsWindowVisible(main)) << "the window must stay hidden";
    EXPECT_TRUE(RunningSet(program)) << "the countdown must keep running";
    program.TrayCallback(WM_LBUTTONUP);
    EXPECT_TRUE(apptest::WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 2000))
        << "a left click on the icon did not show the window";
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.Records().empty());
    EXPECT_TRUE(program.TrayIconsGone()) << "the tray icon outlived the program";
}

TEST(MainLoop, test_tray_right_click_opens_the_popup_menu) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    program.TrayCallback(WM_RBUTTONUP);
    EXPECT_TRUE(apptest::WaitFor(
        [&] { return !apptest::TopWindows(program.ProcessId(), "#32768", nullptr, true).empty(); }, 3000))
        << "no pop-up menu appeared";
    if (!apptest::TopWindows(program.ProcessId(), "#32768", nullptr, true).empty()) {
        // The menu's three items, chosen with the keyboard: the last one is "Beenden".
        program.Keys({VK_UP});
        program.Keys({VK_RETURN});
        EXPECT_EQ(program.WaitExit(5000), 0u) << "Beenden in the pop-up menu did not end the program";
    }
}

TEST(MainLoop, test_about_and_liability_messages_and_their_shortcuts) {
    REQUIRE_RECORDER();
    // The size shown is that of the file named Nachtriegel.exe in the current directory, read anew.
    std::string current = apptest::MakeTempDir("about");
    ASSERT_TRUE(apptest::WriteBytes(current + "\\Nachtriegel.exe", std::string(1000, '\0')));
    {
        Program program;
        apptest::Layout layout;
        layout.currentDir = current;
        ASSERT_TRUE(program.Start("", layout));
        ASSERT_TRUE(program.Keys({VK_CONTROL, 'I'}));
        EXPECT_EQ(program.CloseBox("Informationen"), std::string("Nachtriegel 0.1000\r\r") + kAboutBody);

        ASSERT_TRUE(apptest::WriteBytes(current + "\\Nachtriegel.exe", std::string(2345, '\0')));
        program.ChooseMenu(kItemAbout);
        EXPECT_EQ(program.CloseBox("Informationen"), std::string("Nachtriegel 0.2345\r\r") + kAboutBody)
            << "the about text must be built anew";
        EXPECT_EQ(apptest::Inspect(program.Main()).title, "Nachtriegel 0.1000") << "the title stays";

        ASSERT_TRUE(program.Keys({VK_CONTROL, 'H'}));
        EXPECT_EQ(program.CloseBox("Haftung"), kLiabilityText);
        program.ChooseMenu(kItemLiability);
        EXPECT_EQ(program.CloseBox("Haftung"), kLiabilityText);

        // Control+E and "Einstellungen" do nothing.
        ASSERT_TRUE(program.Keys({VK_CONTROL, 'E'}));
        program.ChooseMenu(kItemSettings);
        Sleep(700);
        EXPECT_TRUE(apptest::TopWindows(program.ProcessId(), "#32770", nullptr, true).empty())
            << "Einstellungen opened something";
        EXPECT_TRUE(IdleSet(program));
        EXPECT_TRUE(program.Running());
        EXPECT_EQ(program.Quit(), 0u);
    }
    apptest::RemoveTree(current);
}

TEST(MainLoop, test_countdown_ends_the_program_while_a_message_box_is_open) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("change-user 2"));
    program.ChooseMenu(kItemLiability);
    ASSERT_NE(program.FindBox("Haftung", 3000), nullptr);
    // The box stays open; the countdown's end must still end the whole program cleanly.
    ASSERT_GT(program.WaitForRecord(10000), 0);
    apptest::ExpectEndWithCommand(program,
                                  apptest::ExpectedCommand("rundll32.exe", "user32.dll,LockWorkStation"));
    EXPECT_TRUE(program.TrayIconsGone()) << "the tray icon was left behind";
}

// The keyboard as a user meets it: the focus starts on the task list and comes back where it was,
// Tab follows the layout, Enter presses the focused button, and Esc and Enter belong to an open list.
TEST(MainLoop, test_focus_tab_enter_and_the_dropped_list) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    program.SetText(kTimeField, "600");
    const WORD tab = VK_TAB, enter = VK_RETURN;
    const std::vector<WORD> back = {VK_SHIFT, VK_TAB};
    // Keys, where the focus must be then and the field's text (null: not looked at): "Abbrechen" is
    // skipped while disabled, both ways wrap around, Tab and Shift+Tab select the field's text as in a
    // dialog (a digit typed then replaces it, the next one follows it), Enter in the field starts nothing
    // (the Shift+Tab after it could not reach a locked list).
    const struct {
        std::vector<WORD> keys;
        int focus;
        const char* field;
    } steps[] = {
        {{}, kTaskList, "600"},        {{tab}, kTimeField, "600"},        {{'9'}, kTimeField, "9"},
        {{tab}, kBannerBox, nullptr},  {{tab}, kToneBox, nullptr},        {{tab}, kStartButton, nullptr},
        {{tab}, kTaskList, nullptr},   {back, kStartButton, nullptr},     {back, kToneBox, nullptr},
        {back, kBannerBox, nullptr},   {back, kTimeField, "9"},           {{'5'}, kTimeField, "5"},
        {{'0'}, kTimeField, "50"},     {{enter}, kTimeField, "50"},       {back, kTaskList, nullptr},
        {back, kStartButton, nullptr}, {{enter}, kCancelButton, nullptr}, {{enter}, kStartButton, nullptr}};
    for (const auto& step : steps) {
        ASSERT_TRUE(step.keys.empty() || program.Keys(step.keys));
        EXPECT_TRUE(apptest::WaitFor([&] { return program.FocusNumber() == step.focus; }, 2000))
            << "expected the focus on " << step.focus << ", got " << program.FocusNumber();
        if (step.field != nullptr) {
            EXPECT_TRUE(apptest::WaitFor([&] { return program.Text(kTimeField) == step.field; }, 2000))
                << "expected the field '" << step.field << "', got '" << program.Text(kTimeField) << "'";
        }
    }
    // A click keeps placing the caret: the digit goes where it is (after the short text), nothing is
    // replaced.
    ASSERT_TRUE(program.MouseClick(kTimeField) && program.Keys({'1'}));
    EXPECT_TRUE(apptest::WaitFor([&] { return program.Text(kTimeField) == "501"; }, 2000))
        << "expected '501' after a click and a digit, got '" << program.Text(kTimeField) << "'";
    HWND editor = apptest::OpenEditor(); // the user leaves for another program and comes back
    ASSERT_EQ(GetForegroundWindow(), editor);
    SetForegroundWindow(program.Main());
    EXPECT_TRUE(apptest::WaitFor([&] { return program.FocusNumber() == kTimeField; }, 2000))
        << "activated again: got " << program.FocusNumber();
    DestroyWindow(editor);
    auto dropped = [&] { return SendMessageA(program.Control(kTaskList), CB_GETDROPPEDSTATE, 0, 0) != 0; };
    ASSERT_TRUE(program.Keys(back)); // from the field back to the list
    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        ASSERT_TRUE(program.Keys({VK_F4}) && apptest::WaitFor(dropped, 2000)) << "F4 did not drop the list";
        ASSERT_TRUE(program.Keys({key}) && apptest::WaitFor([&] { return !dropped(); }, 2000))
            << key << " left it open";
        EXPECT_TRUE(program.Running()) << key << " in an open list ended the program";
    }
    ASSERT_TRUE(program.Keys({VK_ESCAPE}));
    EXPECT_EQ(program.WaitExit(5000), 0u) << "Esc with the list closed must end the program";
}
