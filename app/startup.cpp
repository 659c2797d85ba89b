// Process entry, start-up sequence and command line.
#include "app/startup.h"

#include <array>

#include "app/countdown.h"
#include "app/mainloop.h"
#include "app/mainwindow.h"
#include "app/state.h"
#include "app/tasks.h"
#include "app/trace.h"
#include "controls/control.h"
#include "controls/images.h"
#include "core/objtable.h"
#include "core/params.h"
#include "core/strings.h"
#include "core/sysdir.h"
#include "core/threads.h"
#include "shell/desktop.h"
#include "shell/launcher.h"
#include "shell/menus.h"
#include "shell/msgbox.h"
#include "shell/taskbar.h"
#include "shell/tray.h"
#include "window/focus.h"
#include "window/window.h"
#include "window/winproc.h"

namespace {

// The images loaded at start-up, numbers 1 to 10, relative to the current directory.
constexpr std::array<const char*, 10> kImageFiles = {
    "Symbole\\Einleitung.ico", "Symbole\\Vorgang.ico",      "Bilder\\Einstellungen.bmp",
    "Bilder\\Beenden.bmp",     "Bilder\\Informationen.bmp", "Symbole\\Nachtriegel-16.ico",
    "Bilder\\Anzeigen.bmp",    "Bilder\\Verstecken.bmp",    "Bilder\\Haftung.bmp",
    "Symbole\\Warnung.ico",
};

// Parameter positions.
constexpr int32_t kParamTask = 0, kParamSeconds = 1, kParamWindow = 2, kParamBanner = 3, kParamTone = 4;

// Window 0's own messages: the shell's two registered messages, the countdown's step and the end request
// of another thread. Answered wherever the main thread is dispatching, also inside a message box or the
// pop-up menu.
LRESULT MainWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A restarted shell has forgotten every tray icon, and a shell that was not ready at start-up is ready
    // now. (A registered message has no fixed number, so it cannot be a case label.) Once the end has begun
    // the icon is being removed: nothing is added back.
    if (message == g_app.taskbarCreated && message != 0) {
        if (!App_Ending()) {
            MainWindow_RestoreTrayIcon();
        }
        return 0;
    }
    // Sent whenever the window's taskbar button appears, also after the window was hidden and shown.
    if (message == g_app.taskbarButtonCreated && message != 0) {
        Taskbar_Attach(hwnd);
        return 0;
    }
    switch (message) {
        case MSG_APP_STEP:
            // The countdown thread only posts its step: the taskbar object is this thread's.
            Taskbar_SetProgress(hwnd, static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam) + 1);
            return 0;
        case MSG_APP_END:
            ProgramEnd();
        default:
            return NOT_HANDLED;
    }
}

// Lets the shell's messages through and gives window 0 its handler.
void ListenToShell() {
    // The shell broadcasts this message to every top-level window when the taskbar is created anew.
    g_app.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // The shell runs at medium integrity: run as administrator, the window gets its broadcast only
    // through the message filter.
    Win_AllowMessage(MAIN_WINDOW, g_app.taskbarCreated);
    // Calls to the taskbar button are lost until the shell announces it. Run as administrator, the window
    // would not receive the announcement without the filter's permission.
    g_app.taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
    Win_AllowMessage(MAIN_WINDOW, g_app.taskbarButtonCreated);
    Win_SetHandler(MAIN_WINDOW, MainWindowMessage);
}

// The toolkit modules, in dependency order. Ctl_Init before Menu_Init also orders their DPI handlers: the
// controls first, then the menu bar's pictures.
void InitToolkit() {
    Str_Init();
    List_Init();
    Win_Init();
    Ctl_Init();
    Decoder_Reset();
    Img_Init();
    Menu_Init();
    Param_Init();
    Proc_InitLock();
    Msg_Init();
    Tray_Init();
    Thread_Init();
}

// The five command-line parameters, read once.
void ReadParameters() {
    for (int32_t n = 0; n < APP_PARAM_COUNT; ++n) {
        ScratchFrame frame;
        Param_Get(n, frame.Start());
        Str_Assign(&g_app.param[n], frame.Start());
    }
}

// Images 1 to 10; a missing file leaves its number empty.
void LoadImages() {
    for (size_t i = 0; i < kImageFiles.size(); ++i) {
        Img_Load(static_cast<ObjId>(i + 1), kImageFiles[i], 0);
    }
}

} // namespace

// ---- Public functions ----

// Field and boxes first, so that an auto-started countdown and its first warning see them.
void App_ApplyCommandLine() {
    if (!Str_Compare(g_app.param[kParamSeconds], "")) {
        Ctl_SetText(CTL_TIME_FIELD, g_app.param[kParamSeconds]);
    }
    if (Str_Compare(g_app.param[kParamBanner], "1")) {
        Ctl_SetState(CTL_BANNER_BOX, 1);
    }
    if (Str_Compare(g_app.param[kParamTone], "1")) {
        Ctl_SetState(CTL_TONE_BOX, 1);
    }
    int32_t kind = Task_FromKeyword(g_app.param[kParamTask]);
    if (kind >= 0) {
        Ctl_SetState(CTL_TASK_LIST, kind);
        Countdown_Start();
    }
    if (Str_Compare(g_app.param[kParamWindow], "minimize")) {
        Win_SetState(MAIN_WINDOW, WIN_STATE_MINIMIZED);
    }
}

// Start-up in its fixed order, then the main loop; every path ends in ProgramEnd.
void App_Main() {
    Mem_Zero(&g_app, sizeof g_app);
    g_app.instance = GetModuleHandleA(nullptr);
    g_app.mainThreadId = GetCurrentThreadId();
    g_app.mainHeap = Heap_CreateMain();
    TRACE_MARK("entry");
    InitToolkit();
    TRACE_MARK("toolkit");
    ReadParameters();
    TRACE_MARK("parameters");
    LoadImages();
    TRACE_MARK("images");
    Desk_Examine();
    TRACE_MARK("displays");

    bool opened = false;
    {
        ScratchFrame title;
        App_VersionText(title.Start());
        opened = MainWindow_Open(Scratch_Ptr(title.Start()));
    }
    if (!opened) {
        ProgramEnd(APP_EXIT_NO_WINDOW);
    }
    ListenToShell();
    TRACE_MARK("window");

    {
        ScratchFrame tip;
        App_VersionText(tip.Start());
        Str_Assign(&g_app.trayTip, tip.Start());
    }
    MainWindow_Build(g_app.trayTip);

    App_ApplyCommandLine();
    TRACE_MARK("command line");
    // Shown once, filled, with the focus on its first input (or on "Abbrechen" once a countdown runs).
    MainWindow_Show();
    Win_RestoreFocus(MAIN_WINDOW);
    TRACE_MARK("shown");
    MainLoop_Run();
    ProgramEnd();
}

// The process entry, taken directly from the system without the C runtime's start-up: the program reads
// its command line itself, has no static constructors and leaves only through ExitProcess, so the
// runtime's argument parsing, constructor and exit lists and thread-storage callbacks would be dead weight.
// The system may enter with a stack aligned to 4 bytes only; the compiler realigns it here.
// Before anything can load a DLL late, the DLL search is narrowed to the system directory.
extern "C" __attribute__((force_align_arg_pointer, externally_visible)) void WINAPI App_Entry() {
    SysDir_RestrictDllSearch();
    App_Main();
}
