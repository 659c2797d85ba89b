// The task table's look-ups and FinalAction, the fixed end of every countdown that runs out.
#include "app/tasks.h"

#include <windows.h>

#include "app/ids.h"
#include "app/state.h"
#include "app/trace.h"
#include "controls/control.h"
#include "core/strings.h"
#include "core/sysdir.h"
#include "core/threads.h"
#include "shell/launcher.h"

namespace {

// The end signal: rising tones of 100 ms each, lowest first.
constexpr std::array<DWORD, 5> kEndTones = {1000, 1500, 2000, 2500, 3000};
constexpr DWORD kEndToneMs = 100;

} // namespace

// ---- Public functions ----

// Row of a task, or null.
const TaskRow* Task_Row(int32_t kind) {
    if (kind < 0 || kind >= TASK_COUNT) {
        return nullptr;
    }
    return &kTasks[static_cast<size_t>(kind)];
}

// Task of a command-line keyword, or -1.
int32_t Task_FromKeyword(const char* text) {
    for (int32_t kind = 0; kind < TASK_COUNT; ++kind) {
        if (Str_Compare(text, kTasks[static_cast<size_t>(kind)].keyword)) {
            return kind;
        }
    }
    return -1;
}

// Full path of the task's tool. The tools are started from the system directory by their full
// path so that a same-named program in the current directory can never be started instead.
bool Task_ToolPath(int32_t kind, int32_t target) {
    Scratch_SetPos(target);
    const TaskRow* row = Task_Row(kind);
    char path[MAX_PATH + 1];
    if (row == nullptr || !SysDir_Path(row->tool, path)) {
        return false;
    }
    Str_Concat(path);
    return true;
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
        ScratchFrame frame;
        if (Task_ToolPath(kind, frame.Start())) {
            Thread_CheckCancel(); // leaving here skips only the frame's end; the area goes with the thread
            TRACE_MARK("tool");
            TRACE_WRITE();
            Proc_Launch(Scratch_Ptr(frame.Start()), row->arguments, "", 0);
        }
    }
    // Once the tool may have started the program ends, even if "Abbrechen" came just now. The
    // countdown's stay-awake request is still held here; it ends with the thread or the process.
    ProgramEnd();
}
