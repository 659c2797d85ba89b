// The countdown thread and its start and stop from the main thread.
#include "app/countdown.h"

#include <climits>

#include "app/banner.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/tasks.h"
#include "controls/control.h"
#include "core/strings.h"
#include "core/threads.h"
#include "shell/power.h"

namespace {

// One countdown step.
constexpr DWORD kStepMs = 1000;
// A warning is started at every step whose counter is a multiple of this.
constexpr int32_t kStepsPerWarning = 60;

} // namespace

// ---- Public functions ----

// The field is read afresh at every step, so the value in force is always the one shown.
// A number past the 32-bit range counts as the range's end: wrapped, "4294967296" would be 0
// and end the countdown after a second instead of never.
int32_t Countdown_ReadLimit() {
    ScratchFrame frame;
    Ctl_GetText(CTL_TIME_FIELD, frame.Start());
    return Str_ToIntClamped(Scratch_Ptr(frame.Start()));
}

// Counts V + 1 seconds for a field holding V (none for a negative V), then the final action.
// Sleep_Ms and Thread_Start are the cancellation points where "Abbrechen" stops the thread.
DWORD WINAPI Countdown(LPVOID ignored) {
    (void)ignored;
    // The machine must not fall asleep before its task is due; the request ends with this thread.
    Power_StayAwake();
    int32_t step = 0;
    for (;;) {
        if (App_Ending()) {
            return 0;
        }
        int32_t limit = Countdown_ReadLimit();
        if (limit < step) {
            break;
        }
        Sleep_Ms(kStepMs);
        if (step % kStepsPerWarning == 0) {
            Thread_Start(ShowWarning, step);
        }
        if (step == INT32_MAX) {
            break; // the counter cannot pass this limit without wrapping
        }
        ++step;
    }
    Power_LetGo();
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
    MainWindow_SetRunning(false);
    Ctl_Focus(CTL_START_BUTTON);
}
