// The application state, the version text and ProgramEnd, the single way out of the process.
#pragma once

#include <windows.h>

#include <cstdint>

// Number of positional command-line parameters the program reads.
constexpr int32_t APP_PARAM_COUNT = 5;

// Exit codes: 0 for every end but a start whose main window could not be opened.
constexpr UINT APP_EXIT_OK = 0;
constexpr UINT APP_EXIT_NO_WINDOW = 1;

// Private message to window 0: another thread asks the main thread to end the program.
constexpr UINT MSG_APP_END = WM_APP + 0x2E1;
// Private message to window 0: the countdown has begun step wParam of the time field's value lParam plus one.
constexpr UINT MSG_APP_STEP = WM_APP + 0x2E2;

// The one process-wide record of the application, all zero before start-up.
struct AppState {
    HANDLE mainHeap;              // the toolkit's main heap, destroyed by ProgramEnd
    HINSTANCE instance;           // the program's own module
    int32_t currentEvent;         // result of the main loop's latest Win_WaitEvent
    char* param[APP_PARAM_COUNT]; // the command-line parameters, read once
    int32_t quit;                 // 1 once the main window asked to close
    int32_t countdownThread;      // number of the latest countdown thread, for "Abbrechen"
    DWORD mainThreadId;           // the thread that owns window 0 and runs the main loop
    volatile LONG ending;         // set once ProgramEnd has begun
    int32_t hasTrayIcon;          // 1 once the tray icon is shown: only then may the window hide
    char* trayTip;                // the tray icon's tip, kept to show the icon again
    UINT taskbarCreated;          // the shell's registered "TaskbarCreated" message, or 0
    UINT taskbarButtonCreated;    // the shell's registered "TaskbarButtonCreated" message, or 0
};

extern AppState g_app;

// ---- Public functions ----

// Writes the version text "Nachtriegel 0." + the size of Nachtriegel.exe in the current
// directory at target in the string scratch.
void App_VersionText(int32_t target);

// True once ProgramEnd has begun; the helper threads stop touching the toolkit then.
bool App_Ending();

// Stops the helper threads, releases the toolkit, destroys the main heap once no other thread can
// touch it, and ends the process with exitCode. Called on another thread than the main thread,
// it hands the end over to the main thread (which ends with APP_EXIT_OK).
[[noreturn]] void ProgramEnd(UINT exitCode = APP_EXIT_OK);
