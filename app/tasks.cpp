// The task table's look-ups and FinalAction, the fixed end of every countdown that runs out.
#include "app/tasks.h"

#include <windows.h>

#include "app/ids.h"
#include "app/state.h"
#include "app/trace.h"
#include "controls/control.h"
#include "core/strings.h"
#include "core/threads.h"
#include "shell/launcher.h"

namespace {

// The end signal: rising tones of 100 ms each, lowest first.
constexpr std::array<DWORD, 5> kEndTones = {1000, 1500, 2000, 2500, 3000};
constexpr DWORD kEndToneMs = 100;

} // namespace

// ---- Public functions ----

const TaskRow* Task_Row(int32_t kind) {
    if (kind < 0 || kind >= TASK_COUNT) {
        return nullptr;
    }
    return &kTasks[static_cast<size_t>(kind)];
}

int32_t Task_FromKeyword(const char* text) {
    for (int32_t kind = 0; kind < TASK_COUNT; ++kind) {
        if (Str_Compare(text, kTasks[static_cast<size_t>(kind)].keyword)) {
            return kind;
        }
    }
    return -1;
}

// Tones, tool, end. Cancellation is checked before each tone and right before the tool starts:
// "Abbrechen" must never be followed by a tone or a command.
void FinalAction() {
    for (DWORD frequency : kEndTones) {
        Thread_CheckCancel(); // a cancel during the tones silences the rest
        Beep(frequency, kEndToneMs);
    }
    int32_t kind = static_cast<int32_t>(Ctl_GetState(CTL_TASK_LIST));
    const TaskRow* row = Task_Row(kind);
    if (row != nullptr) {
        Thread_CheckCancel();
        TRACE_MARK("tool");
        TRACE_WRITE();
        // By its full path in the system directory: a same-named program in the current directory (often
        // the download folder) can never be started instead.
        Proc_Launch(row->tool, row->arguments, "", LAUNCH_SYSTEM_TOOL);
    }
    // Once the tool may have started the program ends, even if "Abbrechen" came just now. The
    // countdown's stay-awake request is still held here; it ends with the thread or the process.
    ProgramEnd();
}
