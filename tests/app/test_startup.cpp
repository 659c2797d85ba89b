// Start-up of the real program: the main window as it opens, the command-line parameters and
// their effects, the version text and a start from another current directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "app_support.h"

using apptest::Program;

namespace {

// Expects the idle set (running == false) or the running set.
void ExpectControlSet(Program& program, bool running) {
    for (int number : kInputControls) {
        EXPECT_EQ(program.Enabled(number), !running)
            << "control " << number << (running ? " running" : " idle");
    }
    EXPECT_EQ(program.Enabled(kCancelButton), running) << "Abbrechen " << (running ? "running" : "idle");
    for (int number : kFixedControls) {
        EXPECT_TRUE(program.Enabled(number)) << "control " << number;
    }
}

bool HiddenInTray(Program& program) {
    apptest::WindowInfo info = apptest::Inspect(program.Main());
    return info.exists && !info.visible && info.minimized;
}

} // namespace

TEST(Startup, test_no_parameters_opens_the_idle_main_window) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    HWND main = program.Main();
    std::string version = apptest::VersionText(apptest::FileSize(program.ExePath()));

    apptest::WindowInfo info = apptest::Inspect(main);
    EXPECT_EQ(info.title, version);
    EXPECT_TRUE(info.visible);
    EXPECT_FALSE(info.minimized);
    EXPECT_EQ(info.style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(info.style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0) << "the window has a fixed size";
    // The 500 x 350 inner size (scaled with the display) is computed without the menu bar, which
    // then takes its room.
    using apptest::Scaled;
    RECT expected = {0, 0, Scaled(500), Scaled(350)};
    AdjustWindowRect(&expected, static_cast<DWORD>(info.style), FALSE);
    int outerWidth = expected.right - expected.left, outerHeight = expected.bottom - expected.top;
    EXPECT_EQ(info.outer.right - info.outer.left, outerWidth);
    EXPECT_EQ(info.outer.bottom - info.outer.top, outerHeight);
    EXPECT_EQ(info.client.right, Scaled(500));
    EXPECT_LT(info.client.bottom, Scaled(350)) << "the menu bar takes its height from the inner size";
    EXPECT_EQ(info.outer.left, (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2) << "centred";
    EXPECT_EQ(info.outer.top, (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2) << "centred";

    for (const apptest::ControlPlace& place : apptest::kLayout) {
        RECT rect = program.ControlRect(place.number);
        EXPECT_EQ(rect.left, Scaled(place.x)) << "control " << place.number;
        EXPECT_EQ(rect.top, Scaled(place.y)) << "control " << place.number;
        if (place.width == 0) {
            EXPECT_GT(rect.right - rect.left, 0)
                << "image control " << place.number << " takes its image's size";
            EXPECT_GT(rect.bottom - rect.top, 0) << "image control " << place.number;
        } else {
            EXPECT_EQ(rect.right - rect.left, Scaled(place.width)) << "control " << place.number;
            EXPECT_EQ(rect.bottom - rect.top, Scaled(place.height)) << "control " << place.number;
        }
        EXPECT_EQ(program.Text(place.number), place.text) << "control " << place.number;
    }
    EXPECT_EQ(program.Control(kBannerText), nullptr) << "the banner's text number is not used on window 0";
    EXPECT_TRUE(GetWindowLongPtrA(program.Control(kTimeField), GWL_STYLE) & ES_NUMBER)
        << "the time field takes digits only";

    std::vector<std::string> expectedItems = {"Computer herunterfahren", "Computer neu starten",
                                              "Computer in den Ruhezustand/Standby versetzen",
                                              "Benutzer wechseln", "Benutzer abmelden"};
    EXPECT_EQ(program.TaskItems(), expectedItems);
    EXPECT_EQ(program.Selection(), 0);
    EXPECT_EQ(program.Checked(kBannerBox), BST_UNCHECKED);
    EXPECT_EQ(program.Checked(kToneBox), BST_UNCHECKED);
    ExpectControlSet(program, false);

    EXPECT_TRUE(apptest::WaitFor([&] { return program.TrayIcon() != nullptr; }, 3000))
        << "no tray icon with the tip '" << version << "'";
    EXPECT_TRUE(program.Records().empty());
}

// Run as administrator, window 0 hears the shell's "TaskbarCreated" (sent at medium integrity) only
// through its message filter. Wine has no integrity levels; it logs the call: window, message, action.
TEST(Startup, test_main_window_lets_the_shells_messages_through_its_filter) {
    REQUIRE_RECORDER();
    Program program;
    program.WatchWineLog();
    ASSERT_TRUE(program.Start(""));
    std::vector<std::string> calls;
    std::string why;
    ASSERT_TRUE(program.WineLog("ChangeWindowMessageFilterEx ", &calls, &why)) << why;
    // The shell's two registered messages: the taskbar's restart and a window's new taskbar button.
    std::vector<UINT> expected = {RegisterWindowMessageA("TaskbarCreated"),
                                  RegisterWindowMessageA("TaskbarButtonCreated")};
    std::vector<UINT> allowed;
    for (const std::string& call : calls) {
        unsigned long long window = 0;
        unsigned message = 0;
        int action = -1;
        ASSERT_EQ(std::sscanf(call.c_str(), "%llx %x %d", &window, &message, &action), 3) << call;
        EXPECT_EQ(window, reinterpret_cast<uintptr_t>(program.Main())) << call;
        EXPECT_EQ(action, MSGFLT_ALLOW) << call;
        allowed.push_back(message);
    }
    std::sort(allowed.begin(), allowed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(allowed, expected) << "expected each of the shell's two messages let through once, got "
                                 << calls.size() << " filter changes";
    EXPECT_EQ(program.Quit(), 0u);
}

TEST(Startup, test_task_keyword_starts_the_countdown_at_once) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("end 900"));
    EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(kCancelButton); }, 3000))
        << "Abbrechen not enabled";
    EXPECT_EQ(program.Text(kTimeField), "900");
    EXPECT_EQ(program.Selection(), 0);
    EXPECT_EQ(program.Checked(kBannerBox), BST_UNCHECKED);
    EXPECT_EQ(program.Checked(kToneBox), BST_UNCHECKED);
    ExpectControlSet(program, true);
    // The first warning would come after one second; without the banner box there is none.
    Sleep(1800);
    EXPECT_EQ(program.Banner(), nullptr) << "a banner appeared although its box is unchecked";
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(program.Records().empty());
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.Records().empty()) << "the task ran although the program was ended";
}

// A start at logon may come before the shell is ready: it refuses the first icon (the stand-in). The
// window then stays minimised on the taskbar until the shell announces its taskbar, and goes to the tray
// with the icon; announced again, the shell still shows one icon.
TEST(Startup, test_minimize_with_both_boxes_hides_the_window_to_the_tray) {
    REQUIRE_RECORDER();
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    for (const char* shell : {"", "shell=late"}) {
        const bool late = shell[0] != '\0';
        apptest::Layout layout;
        layout.standIns = shell;
        Program program;
        ASSERT_TRUE(program.Start("restart 600 minimize 1 1", layout)) << shell;
        if (late) {
            Sleep(1000);
            apptest::WindowInfo info = apptest::Inspect(program.Main());
            EXPECT_TRUE(info.visible && info.minimized)
                << "expected a task-bar button until the shell is ready";
            EXPECT_TRUE(program.NewTrayIcons().empty()) << "expected no icon before the shell is ready";
            for (int round = 0; round < 2; ++round) {
                PostMessageA(program.Main(), taskbarCreated, 0, 0);
                Sleep(300);
            }
        }
        EXPECT_TRUE(apptest::WaitFor([&] { return HiddenInTray(program); }, 3000))
            << shell << ": visible " << apptest::Inspect(program.Main()).visible << ", minimised "
            << apptest::Inspect(program.Main()).minimized;
        EXPECT_TRUE(apptest::WaitFor([&] { return program.TrayIcon() != nullptr; }, 3000))
            << shell << ": only the tray icon should remain";
        EXPECT_EQ(program.NewTrayIcons().size(), 1u) << shell << ": expected exactly one icon";
        EXPECT_EQ(program.Selection(), 1);
        EXPECT_EQ(program.Text(kTimeField), "600");
        EXPECT_EQ(program.Checked(kBannerBox), BST_CHECKED);
        EXPECT_EQ(program.Checked(kToneBox), BST_CHECKED);
        ExpectControlSet(program, true);
        EXPECT_EQ(program.Quit(), 0u);
        EXPECT_TRUE(program.Records().empty());
        EXPECT_TRUE(program.TrayIconsGone()) << shell << ": the tray icon outlived the program";
    }
}

TEST(Startup, test_unrecognised_parameters_only_hold_their_place) {
    REQUIRE_RECORDER();
    {
        Program program; // keywords are case-sensitive
        ASSERT_TRUE(program.Start("END 60"));
        EXPECT_EQ(program.Text(kTimeField), "60");
        EXPECT_EQ(program.Selection(), 0);
        ExpectControlSet(program, false);
        EXPECT_TRUE(apptest::Inspect(program.Main()).visible);
    }
    {
        Program program; // a placeholder task, then the window parameter
        ASSERT_TRUE(program.Start("x 60 minimize"));
        EXPECT_TRUE(apptest::WaitFor([&] { return HiddenInTray(program); }, 3000)) << "window not hidden";
        EXPECT_EQ(program.Text(kTimeField), "60");
        ExpectControlSet(program, false);
    }
    {
        Program program; // only "1" checks a box; only "minimize" hides
        ASSERT_TRUE(program.Start("x 5 y 0 true"));
        EXPECT_EQ(program.Text(kTimeField), "5");
        EXPECT_EQ(program.Checked(kBannerBox), BST_UNCHECKED);
        EXPECT_EQ(program.Checked(kToneBox), BST_UNCHECKED);
        Sleep(300);
        EXPECT_TRUE(apptest::Inspect(program.Main()).visible);
        ExpectControlSet(program, false);
    }
    {
        Program program; // a quoted program path and quoted parameters are single words
        ASSERT_TRUE(program.Start("\"x\" \"7\" \"\" yes 1"));
        EXPECT_EQ(program.Text(kTimeField), "7");
        EXPECT_EQ(program.Checked(kBannerBox), BST_UNCHECKED);
        EXPECT_EQ(program.Checked(kToneBox), BST_CHECKED);
        ExpectControlSet(program, false);
    }
    Sleep(1500);
}

TEST(Startup, test_start_from_another_directory_still_works) {
    REQUIRE_RECORDER();
    std::string elsewhere = apptest::MakeTempDir("cwd");
    apptest::Layout layout; // every run's current directory
    layout.currentDir = elsewhere;
    {
        Program program;
        ASSERT_TRUE(program.Start("", layout));
        EXPECT_EQ(apptest::Inspect(program.Main()).title, "Nachtriegel 0.-1");
        Sleep(500);
        EXPECT_TRUE(program.NewTrayIcons().empty()) << "no tray icon without its image";
        PostMessageA(program.Main(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        Sleep(500);
        EXPECT_TRUE(program.NewTrayIcons().empty())
            << "a restarted taskbar must not bring an icon without image";
        RECT image = program.ControlRect(kIntroImage);
        EXPECT_EQ(image.right - image.left, 0) << "a missing image leaves its control 0 x 0";
        // Still works: the tool is found in the system directory, not the current one.
        program.SetText(kTimeField, "1");
        ASSERT_TRUE(program.Click(kStartButton));
        EXPECT_GT(program.WaitForRecord(8000), 0) << "no command was started";
        apptest::ExpectEndWithCommand(program, apptest::ExpectedCommand("shutdown.exe", "-s -f"));
    }
    {
        // The size shown is that of the file of this name in the current directory.
        ASSERT_TRUE(apptest::WriteBytes(elsewhere + "\\Nachtriegel.exe", std::string(4321, '\0')));
        Program program;
        ASSERT_TRUE(program.Start("", layout));
        EXPECT_EQ(apptest::Inspect(program.Main()).title, "Nachtriegel 0.4321");
    }
    {
        // Without a tray icon "minimize" must not hide the window for good: it stays minimised
        // (on the task bar), from where the user can bring it back.
        Program program;
        ASSERT_TRUE(program.Start("x 60 minimize", layout));
        EXPECT_TRUE(apptest::WaitFor([&] { return apptest::Inspect(program.Main()).minimized; }, 3000))
            << "expected the window minimised";
        Sleep(500); // a main-loop pass that would hide it has run by now
        apptest::WindowInfo info = apptest::Inspect(program.Main());
        EXPECT_TRUE(info.visible) << "expected visible (minimised), got hidden without a tray icon";
        EXPECT_TRUE(info.minimized);
    }
    apptest::RemoveTree(elsewhere);
}

// A DLL beside the program, as anything else in a download folder, is refused by its bare name inside the
// running program; the program starts, shows its pictures and tray icon and ends as before.
TEST(Startup, test_dll_planted_beside_the_program_is_refused) {
    REQUIRE_RECORDER();
    constexpr char kPlanted[] = "planted_dll.dll";
    Program program;
    apptest::Layout layout;
    layout.besideProgram = {kPlanted};
    ASSERT_TRUE(program.Start("", layout));
    EXPECT_EQ(program.LoadInside(kPlanted), 0)
        << "expected the bare name refused (0), got 1 loaded, -1 no answer";
    EXPECT_EQ(program.LoadInside(program.Folder() + "\\" + kPlanted), 1)
        << "by its full path the DLL must load, or the refusal proves nothing";
    for (int image : {kIntroImage, kTaskImage, kWarnImage}) {
        RECT rect = program.ControlRect(image);
        EXPECT_GT(rect.right - rect.left, 0) << "image control " << image << " shows no picture";
    }
    EXPECT_TRUE(apptest::WaitFor([&] { return program.TrayIcon() != nullptr; }, 3000)) << "no tray icon";
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.TrayIconsGone()) << "the tray icon outlived the program";
}
