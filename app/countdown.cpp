// The countdown thread and its start and stop from the main thread.
#include "app/countdown.h"

#include <climits>

#include "app/banner.h"
#include "app/mainwindow.h"
#include "app/state.h"
#include "app/tasks.h"
#include "controls/control.h"
#include "core/threads.h"
#include "shell/power.h"
#include "shell/taskbar.h"
#include "window/window.h"

namespace {

// One countdown step.
constexpr DWORD kStepMs = 1000;
// A warning is started at every step whose counter is a multiple of this.
constexpr int32_t kStepsPerWarning = 60;

} // namespace

// ---- Public functions ----

// Counts V + 1 seconds for a field holding V (none for a negative V), then the final action.
// Sleep_Ms and Thread_Start are the cancellation points where "Abbrechen" stops the thread.
DWORD WINAPI Countdown(LPVOID ignored) {
    (void)ignored;
    // The machine must not fall asleep before its task is due, nor before its tool has started: the
    // request is held through the final action and ends with this thread (or the process).
    Power_StayAwake();
    int32_t step = 0;
    for (;;) {
        if (App_Ending()) {
            return 0;
        }
        // The field is read afresh at every step, so the value in force is always the one shown.
        int32_t limit = MainWindow_ReadTime();
        if (limit < step) {
            break;
        }
        // The share already passed, for the taskbar button; the main thread owns the taskbar object.
        PostMessageA(Win_Handle(MAIN_WINDOW), MSG_APP_STEP, static_cast<WPARAM>(step), limit);
        Sleep_Ms(kStepMs);
        if (step % kStepsPerWarning == 0) {
            Thread_Start(ShowWarning, step);
        }
        if (step == INT32_MAX) {
            break; // the counter cannot pass this limit without wrapping
        }
        ++step;
    }
    FinalAction();
}

// "Starten" and the command-line auto-start. Disabling "Starten" takes the focus from it, so it
// goes to "Abbrechen", the one control left, once a countdown runs.
void Countdown_Start() {
    MainWindow_SetRunning(true);
    g_app.countdownThread = Thread_Start(Countdown, 0);
    if (g_app.countdownThread != 0) {
        Ctl_Focus(CTL_CANCEL_BUTTON);
    }
}

// "Abbrechen". Thread_Terminate returns only when the thread can no longer beep, warn or
// start a command, so the idle set never appears while the old countdown could still act.
void Countdown_Cancel() {
    Thread_Terminate(g_app.countdownThread);
    // The stopped thread's request has ended with it; where the system keeps one request per process,
    // it ends only here.
    Power_LetGo();
    // A step posted before the thread stopped would show the progress again after the clear.
    HWND main = Win_Handle(MAIN_WINDOW);
    MSG stale;
    while (PeekMessageA(&stale, main, MSG_APP_STEP, MSG_APP_STEP, PM_REMOVE)) {
    }
    Taskbar_SetProgress(main, 0, 0);
    MainWindow_SetRunning(false);
    Ctl_Focus(CTL_START_BUTTON);
}
