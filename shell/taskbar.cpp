// Progress on the taskbar button. Windows creates a button some time after a window is shown and
// announces it with the registered message "TaskbarButtonCreated"; calls made before it are lost, and a
// button that comes back (the window was hidden and shown, Explorer restarted) starts without progress.
// So the module keeps the one progress it shows and shows it again at every attach.
#include "shell/taskbar.h"

namespace {

ITaskbarList3* g_list = nullptr; // the taskbar object, or null before the first attach and where missing
DWORD g_owner = 0;               // the thread that attached: the only one that calls the object
TaskbarProc g_proc = nullptr;    // a test's stand-in, or null
HWND g_window = nullptr;         // the window whose progress is kept
uint32_t g_completed = 0;
uint32_t g_total = 0; // 0: no progress

// ---- Internal functions ----

// Carries the kept progress to the object (or to a test's stand-in) on the attached thread, while the
// window is visible: a hidden window has no button. A value puts the button into the normal state by
// itself, so counting costs one call per step.
int32_t Show(HWND window) {
    if (g_owner != GetCurrentThreadId() || !IsWindowVisible(window))
        return 0;
    TBPFLAG state = g_total != 0 ? TBPF_NORMAL : TBPF_NOPROGRESS;
    HRESULT result = E_FAIL;
    if (g_proc != nullptr)
        result = g_proc(window, state, g_completed, g_total);
    else if (g_list != nullptr)
        result = state == TBPF_NORMAL ? g_list->SetProgressValue(window, g_completed, g_total)
                                      : g_list->SetProgressState(window, state);
    return SUCCEEDED(result) ? 1 : 0;
}

} // namespace

// ---- Public functions ----

// Windows before 7 have the class but not this interface; without the shell's taskbar HrInit fails.
int32_t Taskbar_Attach(HWND window) {
    if (g_owner != 0 && g_owner != GetCurrentThreadId())
        return 0;
    if (g_list == nullptr && g_proc == nullptr) {
        ITaskbarList3* list = nullptr;
        if (FAILED(CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                                    __uuidof(ITaskbarList3), reinterpret_cast<void**>(&list))))
            return 0;
        if (FAILED(list->HrInit())) {
            list->Release();
            return 0;
        }
        g_list = list;
    }
    g_owner = GetCurrentThreadId();
    if (window == g_window && g_total != 0)
        Show(window);
    return 1;
}

// Clearing what is not shown would be a wasted call.
int32_t Taskbar_SetProgress(HWND window, uint32_t completed, uint32_t total) {
    if (total == 0 && g_total == 0)
        return 0;
    g_window = window;
    g_completed = completed;
    g_total = total;
    return Show(window);
}

// On another thread the object is left to the end of the process: calling it there is not allowed.
void Taskbar_Release() {
    if (g_owner != GetCurrentThreadId())
        return;
    Taskbar_SetProgress(g_window, 0, 0);
    if (g_list != nullptr)
        g_list->Release();
    g_list = nullptr;
    g_owner = 0;
}

// ---- Test support ----

TaskbarProc Taskbar_SetProc(TaskbarProc proc) {
    TaskbarProc previous = g_proc;
    g_proc = proc;
    return previous;
}
