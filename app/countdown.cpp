// The countdown thread and its start and stop from the main thread.
#include "app/countdown.h"

#include <climits>

#include "app/banner.h"
#include "app/mainwindow.h"
#include "app/state.h"
#include "app/tasks.h"
#include "app/trace.h"
#include "controls/control.h"
#include "core/threads.h"
#include "shell/power.h"
#include "shell/taskbar.h"
#include "window/window.h"

namespace {

// One countdown step.
constexpr uint64_t kStepMs = 1000;
// A warning is started at every step whose counter is a multiple of this.
constexpr int32_t kStepsPerWarning = 60;

} // namespace

// ---- Public functions ----

// Counts V + 1 seconds for a field holding V (none for a negative V), then the final action. Step n's
// sleep ends n + 1 seconds after the start on the clock, so neither a step's own cost (a main thread
// that answers the field late) nor a sleep that overshoots (to the next clock tick) adds up.
// Sleep_Until and Thread_Start are the cancellation points where "Abbrechen" stops the thread.
DWORD WINAPI Countdown(LPVOID ignored) {
    (void)ignored;
    // The machine must not fall asleep before its task is due, nor before its tool has started: the
    // request is held through the final action and ends with this thread (or the process).
    Power_StayAwake();
    const uint64_t start = Clock_Ms();
    TRACE_MARK("countdown");
    int32_t step = 0;
    // A warning step passed while the countdown was behind the clock, not yet started, or -1.
    int32_t warning = -1;
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
        PostMessageW(Win_Handle(MAIN_WINDOW), MSG_APP_STEP, static_cast<WPARAM>(step), limit);
        const uint64_t next = start + static_cast<uint64_t>(step) * kStepMs + kStepMs;
        Sleep_Until(next);
        if (step % kStepsPerWarning == 0) {
            warning = step;
        }
        // After a stall the steps are caught up at once; the warning waits until the count is back on the
        // clock, so that a stall across several warning steps shows the last of them, not a burst.
        if (warning >= 0 && Clock_Ms() < next + kStepMs) {
            Thread_Start(ShowWarning, warning);
            warning = -1;
        }
        if (step == INT32_MAX) {
            break; // the counter cannot pass this limit without wrapping
        }
        ++step;
    }
    if (warning >= 0) {
        Thread_Start(ShowWarning, warning);
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
    while (PeekMessageW(&stale, main, MSG_APP_STEP, MSG_APP_STEP, PM_REMOVE)) {
    }
    Taskbar_SetProgress(main, 0, 0);
    MainWindow_SetRunning(false);
    Ctl_Focus(CTL_START_BUTTON);
}
