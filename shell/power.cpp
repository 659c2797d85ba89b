// Keeping the computer awake: SetThreadExecutionState with ES_SYSTEM_REQUIRED, continuous until let go.
// A per-thread execution state dies with its thread, so a countdown that is stopped or ends never
// leaves the machine unable to sleep; power requests with a reason text would outlive a killed thread.
#include "shell/power.h"

// ---- Public functions ----

// System required, not display required: the screen may still turn off while the task is pending.
bool Power_StayAwake() {
    return SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
}

void Power_LetGo() {
    SetThreadExecutionState(ES_CONTINUOUS);
}
