// Black-box harness for the application tests: lays out Nachtriegel.exe with its image
// folders in a temporary folder, installs and verifies the recorder programs that stand in
// for shutdown.exe and rundll32.exe, starts the real program, and probes and drives its windows
// from outside like a user would (by control number, menu item, shortcut and tray callback).
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/harness_common.h"

// The numbers by which the program names the controls of its main window (and, 14, the banner's
// text) and its menu items, as the tests drive and read them from outside. Written down here, apart
// from the program's own headers, so that a number that changes in the program fails the tests.
enum AppControl : int {
    kIntroFrame = 1,
    kIntroImage = 2,
    kIntroText = 3,
    kTaskFrame = 4,
    kTaskImage = 5,
    kStep1Text = 6,
    kTaskList = 7,
    kStep2Text = 8,
    kTimeField = 9,
    kTaskCaption = 10,
    kTimeCaption = 11,
    kStartButton = 12,
    kCancelButton = 13,
    kBannerText = 14, // on the banner, window 1
    kWarnFrame = 15,
    kWarnImage = 16,
    kBannerBox = 17,
    kToneBox = 18,
};
enum AppMenuItem : int {
    kItemSettings = 1,
    kItemQuit = 2,
    kItemAbout = 3,
    kItemShow = 4,
    kItemHide = 5,
    kItemTrayQuit = 6,
    kItemLiability = 7,
};
// The tray icon's number (the callback's wParam).
constexpr int kTrayIconNumber = 1;

// The controls that the running and idle sets switch, without "Abbrechen" (enabled exactly when
// the others are not); frames and images never change.
constexpr AppControl kInputControls[] = {kIntroText,   kStep1Text,   kTaskList,    kStep2Text, kTimeField,
                                         kTaskCaption, kTimeCaption, kStartButton, kBannerBox, kToneBox};
constexpr AppControl kFixedControls[] = {kIntroFrame, kIntroImage, kTaskFrame,
                                         kTaskImage,  kWarnFrame,  kWarnImage};

namespace apptest {

// The main window's controls at their places in 96-DPI units, with their texts (the task list apart).
struct ControlPlace {
    int number;
    int x, y, width, height; // width/height 0: an image control that takes its image's size
    const char* text;
};

constexpr ControlPlace kLayout[] = {
    {kIntroFrame, 10, 10, 480, 60, "Einleitung"},
    {kIntroImage, 20, 30, 0, 0, ""},
    {kIntroText, 60, 30, 420, 30,
     "Mit diesem Programm können Sie eine Aufgabe auswählen, wie Sie Ihren Computer herunterfahren möchten."},
    {kTaskFrame, 10, 80, 480, 130, "Vorgang"},
    {kTaskImage, 20, 100, 0, 0, ""},
    {kStep1Text, 60, 100, 420, 20, "1. Wählen Sie in der Liste eine Aufgabe aus, die Sie ausführen möchten."},
    {kStep2Text, 60, 150, 420, 30,
     "2. Geben Sie in der Eingabe die Zeit in Sekunden ein, wann dieser Vorgang durchgeführt werden soll."},
    {kTimeField, 110, 180, 100, 20, ""},
    {kTaskCaption, 60, 120, 50, 20, "Aufgabe:"},
    {kTimeCaption, 60, 180, 50, 20, "Zeit:"},
    {kStartButton, 280, 300, 100, 20, "Starten"},
    {kCancelButton, 390, 300, 100, 20, "Abbrechen"},
    {kWarnFrame, 10, 220, 480, 70, "Warnmeldung"},
    {kWarnImage, 20, 240, 0, 0, ""},
    {kBannerBox, 60, 240, 200, 20, "Jede Minute eine Warnung anzeigen"},
    {kToneBox, 60, 260, 200, 20, "Warnton ausgeben"},
};

// The program folder (where Nachtriegel.exe, fake_tool.exe and the image folders are), temporary
// folders, reading and writing files and waiting: the helpers of all test programs.
using testsupport::BinDir;
using testsupport::MakeTempDir;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WaitFor;
using testsupport::WriteBytes;

// The Windows system directory.
std::string SystemDir();
// Size of a file, or -1.
long long FileSize(const std::string& path);

// Installs the recorder as system32\shutdown.exe and system32\rundll32.exe and proves that
// starting those paths runs the recorder. Checked once per test program; false (with the
// reason) when the final actions could reach a real tool.
bool RecorderReady(std::string* why);

// Texts are read from the program's windows as Unicode and compared as 1252 bytes, like the tables here;
// its windows found by class and title and asked by message.
using testsupport::Ask;
using testsupport::From16;
using testsupport::TextOf;
using testsupport::TitleOf;
using testsupport::To16;
using testsupport::TopWindows;

// Tray icons shown in Wine's stand-alone tray (of all programs).
int TrayIconCount();
// The icon windows of the tray, and each icon window with its tip.
std::vector<HWND> TrayIcons();
std::vector<std::pair<HWND, std::string>> TrayIconTips();

// Milliseconds since an arbitrary start (monotonic).
double NowMs();

// The display scale of this run: the screen's DPI, and 96-DPI units turned into pixels the way
// the program rounds them (to the nearest pixel, halves away from zero).
int DisplayDpi();
int Scaled(int units);

// Geometry and state of a top-level window as seen from outside.
struct WindowInfo {
    bool exists = false;
    bool visible = false;
    bool minimized = false;
    RECT outer{};  // screen coordinates
    RECT client{}; // client rectangle (0, 0, width, height)
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    HWND owner = nullptr;
    std::string title;
};
WindowInfo Inspect(HWND window);

// Another program the user types in: an edit field of the calling thread, brought to the foreground.
HWND OpenEditor();

// How the program is laid out for one run.
struct Layout {
    bool withImages = true; // copy Symbole and Bilder next to the program
    std::string currentDir; // "" = the program's folder; else started with this current directory
    std::vector<std::string> besideProgram; // files of the build's folder copied next to the program
    // Not empty: this test program runs in the program's place, as the program's own code with the
    // stand-ins named here, blank-separated: "read=MS" (every read of the time field, control 9, takes
    // MS longer), "late=MS" (every sleep ends MS late), "tick" (every sleep ends on a 15.625 ms clock
    // tick, as on Windows), "shell=late" (the shell refuses the first tray icon, as at a start at logon),
    // "contrast" (high contrast is on).
    std::string standIns;
};

// One run of the real program in its own temporary folder.
class Program {
  public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Copies the program (and images) and starts it with the arguments; waits (bounded) until
    // its main window exists. Refuses to start unless the recorders are in place.
    bool Start(const std::string& arguments, const Layout& layout = Layout());
    // The two halves of Start: create the process; wait until it is built and answering.
    bool Launch(const std::string& arguments, const Layout& layout = Layout());
    bool WaitReady();

    const std::string& Folder() const {
        return folder_;
    }
    const std::string& ExePath() const {
        return exe_;
    }
    DWORD ProcessId() const {
        return pi_.dwProcessId;
    }
    double StartedAtMs() const {
        return startedMs_;
    }
    double ReadyAtMs() const {
        return readyMs_;
    }

    // Window 0 ("WindowClass_0") and window 1 ("WindowClass_1") of this process, or null.
    HWND Main();
    HWND Banner();
    // Waits for window 1 and returns it (null on time-out).
    HWND WaitForBanner(DWORD timeoutMs);
    // The sentence of a banner window (its text control 14), "" when it has none yet.
    std::string BannerText(HWND banner);
    // All top-level windows of this process with the class name.
    std::vector<HWND> WindowsOfClass(const char* className);
    // Waits for the message box (a visible top-level window of this process) with the title: the box or
    // null; its message text once OK is pressed ("<no box 'title'>" when none came).
    HWND FindBox(const char* title, DWORD timeoutMs = 5000) {
        return testsupport::FindBox(title, ProcessId(), timeoutMs);
    }
    std::string CloseBox(const char* title) {
        return testsupport::CloseBox(title, ProcessId());
    }
    // The keyboard focus of the thread that owns the main window (GetGUIThreadInfo), or null.
    HWND Focus();

    // Controls of window 0 by number.
    HWND Control(int number);
    std::string Text(int number);
    bool Enabled(int number);
    int Checked(int number); // BM_GETCHECK
    int Selection();         // task list CB_GETCURSEL
    std::vector<std::string> TaskItems();
    RECT ControlRect(int number); // in window 0's client coordinates

    // Driving the program.
    bool Click(int number);                       // BM_CLICK on a button or check box
    void SetText(int number, const std::string&); // WM_SETTEXT
    void Select(int index);                       // CB_SETCURSEL on the task list
    void ChooseMenu(int item);                    // WM_COMMAND for a menu item
    void TrayCallback(LPARAM mouseMessage);       // MSG_TRAY_NOTIFY for tray icon 1
    void HoverTray(DWORD ms);                     // WM_MOUSEMOVE callbacks, as the mouse resting on it
    bool Keys(const std::vector<WORD>& keys);     // SendInput: press in order, release reversed
    // "Beenden" chosen in the menu; the exit code once the program ended, STILL_ACTIVE after 5 s.
    DWORD Quit() {
        ChooseMenu(kItemQuit);
        return WaitExit(5000);
    }
    // A real left click in the middle of the control, as a user's: unlike BM_CLICK it lets the focus
    // change (and its event) be taken before the click.
    bool MouseClick(int number);
    // The number of the control of window 0 that has its thread's focus (GetGUIThreadInfo), else 0.
    int FocusNumber();

    // Tray icons that appeared since the start (gone again once the program has ended cleanly),
    // and among them the one whose tip is the main window's title, or null.
    std::vector<HWND> NewTrayIcons();
    HWND TrayIcon();
    // Whether the new tray icons are gone within 3 s.
    bool TrayIconsGone() {
        return WaitFor([this] { return NewTrayIcons().empty(); }, 3000);
    }

    // Before Launch/Start: the program logs its execution-state requests, its taskbar calls and its
    // message-filter changes to Wine's debug output, which reaches this test program's own output file
    // (scripts/wine-run names it in NACHTRIEGEL_WINE_LOG).
    void WatchWineLog();
    // The program's log lines that hold call, each from the end of call on, oldest first. False (with the
    // reason) when this test program has no output file to read them back from.
    bool WineLog(const std::string& call, std::vector<std::string>* found, std::string* why);
    // The execution states the program asked for (ES_* flags), oldest first.
    bool ExecutionStates(std::vector<DWORD>* states, std::string* why);

    // Has a thread started inside the program's process call LoadLibraryA(name), so the name is looked
    // up by the process's own search rules: 1 loaded, 0 refused, -1 when the thread could not run.
    int LoadInside(const std::string& name);

    // Clicks "Starten" and returns the moment (NowMs) the running set shows, right before the countdown
    // starts (the click reads the field first, which a slowed field makes slow); -1 if it never shows.
    double StartCountdown();
    // Suspends the program's main thread for ms, as a main thread that cannot answer (a stall).
    bool SuspendMain(DWORD ms);
    // Waits until the program has started its final command (a shutdown.exe or rundll32.exe) and returns
    // the moment it was first seen (NowMs), or -1. Polled every millisecond: closer to the start than the
    // recorder's file.
    double WaitForCommandStart(DWORD timeoutMs);

    // Running state.
    bool Running();
    // Waits for the process to end; returns its exit code or STILL_ACTIVE.
    DWORD WaitExit(DWORD timeoutMs);
    // Number of threads of the process (Toolhelp).
    int ThreadCount();

    // The recorder's file for this run and its lines.
    const std::string& RecordPath() const {
        return record_;
    }
    std::vector<std::string> Records();
    // Waits until the recorder has written a line; returns the ms since start, or -1.
    double WaitForRecord(DWORD timeoutMs);

  private:
    void Stop();
    bool SendInputs(const std::vector<INPUT>& inputs); // to the main window, brought to the front

    std::string folder_;
    std::string exe_;
    std::string record_;
    std::string extraDir_;
    PROCESS_INFORMATION pi_{};
    double startedMs_ = 0;
    double readyMs_ = 0;
    bool expectTray_ = false;
    bool watchState_ = false;
    std::vector<HWND> traysBefore_;
    HWND main_ = nullptr;
};

// The first banner of a run with the arguments, and the sentence it must say.
struct SentenceCase {
    const char* arguments;
    const char* sentence;
};
// Runs each case: its banner comes and says the sentence, "Beenden" then ends the program cleanly without a
// command. With stillCountingMs, the countdown must first still be running that long after the banner
// (nothing started, "Abbrechen" enabled).
void ExpectBannerSentences(std::initializer_list<SentenceCase> cases, DWORD stillCountingMs = 0);

// The program ends cleanly (within 8 s), having started exactly this one command; label names the case.
void ExpectEndWithCommand(Program& program, const std::string& command, const std::string& label = "");

// Expected command line for a tool in the system directory with its switches.
std::string ExpectedCommand(const char* tool, const char* switches);

// Expected version text for a file size.
std::string VersionText(long long size);

} // namespace apptest

// Shorthand in tests: skip the whole test when the recorder is not proven to be in place,
// so that a final action can never reach a real tool.
#define REQUIRE_RECORDER()                                                                                   \
    do {                                                                                                     \
        std::string why_;                                                                                    \
        ASSERT_TRUE(apptest::RecorderReady(&why_)) << "refusing to run final actions: " << why_;             \
    } while (0)
