// The application state, the version text and ProgramEnd: the releases in their order and the hand-over
// of the end from another thread to the main thread.
#include "app/state.h"

#include "app/ids.h"
#include "controls/images.h"
#include "core/objtable.h"
#include "core/strings.h"
#include "core/threads.h"
#include "shell/desktop.h"
#include "shell/taskbar.h"
#include "shell/tray.h"
#include "window/window.h"

AppState g_app;

namespace {

// The program's own file, whose size is the minor version.
constexpr char kProgramFile[] = "Nachtriegel.exe";

// A thread that asked the main thread to end the program waits this long (in cancellable
// steps) before it ends the program itself, so the exit never depends on a stuck main thread.
constexpr DWORD kHandOverStepMs = 100;
constexpr int32_t kHandOverSteps = 150;
// How long the end waits in all for the helper threads to stop.
constexpr DWORD kStopThreadsMs = 5000;

// Runs the releases once; a second caller waits for the first to end the process (in cancellable
// sleeps, so that the first caller can still stop it).
[[noreturn]] void ReleaseAndExit(UINT exitCode) {
    if (InterlockedCompareExchange(&g_app.ending, 1, 0) != 0) {
        for (;;) {
            Sleep_Ms(kHandOverStepMs);
        }
    }
    // The threads' release stops them first: a countdown must not reach its final action during
    // the releases, and a banner thread must not paint its text from tables that are being freed.
    const bool alone = Thread_StopAll(kStopThreadsMs);
    Tray_ReleaseAll();
    Taskbar_Release();
    Img_FreeAll();
    Win_End();
    Desk_Release();
    // Every toolkit call reads the tables in the main heap, so it is destroyed only when no other
    // thread can make one: every helper has ended and this is the main thread (which may otherwise
    // still be dispatching). Else the heap goes with the process.
    if (alone && GetCurrentThreadId() == g_app.mainThreadId) {
        Heap_DestroyMain();
    }
    ExitProcess(exitCode);
}

} // namespace

// ---- Public functions ----

void App_VersionText(int32_t target) {
    Scratch_SetPos(target);
    Str_Concat("Nachtriegel 0.");
    // Only the low 32 bits of the size, read as a signed number (-1 for a missing file).
    int64_t size = File_QuerySize(kProgramFile);
    Str_FromInt(static_cast<int32_t>(static_cast<uint32_t>(size)), Scratch_Pos());
}

bool App_Ending() {
    return g_app.ending != 0;
}

// The releases act on windows, the tray icon and images that the main thread uses, so another
// thread (the countdown after its final action) hands the end over to the main thread and
// waits there; only if the main thread does not answer in time does it end the program itself.
void ProgramEnd(UINT exitCode) {
    if (GetCurrentThreadId() != g_app.mainThreadId && !App_Ending()) {
        HWND main = Win_Handle(MAIN_WINDOW);
        if (main != nullptr && PostMessageW(main, MSG_APP_END, 0, 0)) {
            for (int32_t i = 0; i < kHandOverSteps; ++i) {
                Sleep_Ms(kHandOverStepMs);
            }
        }
    }
    ReleaseAndExit(exitCode);
}
