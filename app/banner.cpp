// ShowWarning and SlideBanner: the per-minute beep and the sliding warning banner (window 1
// with its text, control 14).
#include "app/banner.h"

#include "app/mainwindow.h"
#include "app/state.h"
#include "app/tasks.h"
#include "controls/control.h"
#include "controls/kinds.h"
#include "core/strings.h"
#include "core/threads.h"
#include "shell/desktop.h"
#include "window/events.h"
#include "window/window.h"

namespace {

// The banner window and its text.
constexpr ObjId kBannerWindow = 1;
constexpr ObjId kBannerText = 14;

// The warning tone.
constexpr DWORD kToneHz = 1000;
constexpr DWORD kToneMs = 100;

// The banner: a captionless pop-up that is never activated, so that it informs without taking
// the keyboard from the window the user works in.
constexpr uint32_t kBannerFlags = WS_POPUP | WIN_NO_ACTIVATE;
static_assert(WS_POPUP == 0x80000000, "the banner is a pop-up");
constexpr int32_t kTextX = 5, kTextY = 5, kTextWidth = 1000, kTextHeight = 20;

// The slide's timeline: 41 positions of 10 ms each from y -40 down to 0, 3000 ms in view, and 41
// positions of 10 ms each back up to -40. Times in ms since the slide began.
constexpr int32_t kShownY = 0;
constexpr int32_t kSlideStepMs = 10;
constexpr int32_t kSlidePositions = kShownY - BANNER_HIDDEN_Y + 1;
constexpr int32_t kSlideInMs = kSlidePositions * kSlideStepMs;
constexpr int32_t kInViewMs = 3000;
constexpr int32_t kSlideOutFromMs = kSlideInMs + kInViewMs;
constexpr int32_t kSlideEndMs = kSlideOutFromMs + kSlideInMs;
static_assert(kSlidePositions == 41 && kSlideEndMs == 3820, "410 ms down, 3000 ms in view, 410 ms up");

// The banner loop looks this often whether its window still exists (it may be destroyed from
// outside, for instance with its owner).
constexpr int32_t kBannerPollMs = 500;
// How long a new banner waits for the previous banner's thread to end.
constexpr DWORD kRetireWaitMs = 2000;

// Whether the user has switched high contrast on.
bool SystemHighContrast() {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

BannerContrastProc g_highContrast = SystemHighContrast; // a test's stand-in for the query, or the system's

// The banner's blue and white; under high contrast the system's highlight colours, which the user chose to
// be readable.
void BannerColours(int32_t* back, int32_t* front) {
    if (g_highContrast()) {
        *back = static_cast<int32_t>(GetSysColor(COLOR_HIGHLIGHT));
        *front = static_cast<int32_t>(GetSysColor(COLOR_HIGHLIGHTTEXT));
        return;
    }
    *back = Color_Make(BANNER_BLUE_RED, BANNER_BLUE_GREEN, BANNER_BLUE_BLUE);
    *front = Color_Make(255, 255, 255);
}

// Closes the banner of an earlier warning and waits (bounded) until its thread has ended, so
// that at most one banner and one banner thread exist. The close request goes to the banner's
// own thread, the only one that can destroy its window.
void RetireEarlierBanner() {
    HWND old = Win_Handle(kBannerWindow);
    if (old == nullptr) {
        return;
    }
    DWORD owner = GetWindowThreadProcessId(old, nullptr);
    if (owner == 0 || owner == GetCurrentThreadId()) {
        return;
    }
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, owner);
    if (PostMessageW(old, WM_CLOSE, 0, 0) && thread != nullptr) {
        WaitForSingleObject(thread, kRetireWaitMs);
    }
    if (thread != nullptr) {
        CloseHandle(thread);
    }
}

// Moves the banner to y, unless it has been replaced by a newer banner or the program is
// ending. Returns false when the slide should stop.
bool SlideTo(HWND banner, int32_t y) {
    if (App_Ending() || Win_Handle(kBannerWindow) != banner) {
        return false;
    }
    Win_Resize(kBannerWindow, IGNORE_VALUE, y, IGNORE_VALUE, IGNORE_VALUE);
    return true;
}

// Creates the banner's sentence for the selected task, when the task is a known one.
void CreateBannerText(int32_t elapsed) {
    int32_t kind = static_cast<int32_t>(Ctl_GetState(CTL_TASK_LIST));
    if (Task_Row(kind) == nullptr) {
        return;
    }
    int32_t minutes = Banner_Minutes(MainWindow_ReadTime(), elapsed);
    ScratchFrame frame;
    Banner_Sentence(kind, minutes, frame.Start());
    Ctl_Text(kBannerText, kTextX, kTextY, kTextWidth, kTextHeight, Scratch_Ptr(frame.Start()), 0);
}

} // namespace

// ---- Public functions ----

int32_t Banner_Minutes(int32_t limit, int32_t elapsed) {
    return limit / 60 - elapsed / 60;
}

bool Banner_Sentence(int32_t kind, int32_t minutes, int32_t target) {
    Scratch_SetPos(target);
    const TaskRow* row = Task_Row(kind);
    if (row == nullptr) {
        return false;
    }
    Str_Concat(row->warnPrefix);
    Str_FromInt(minutes, Scratch_Pos());
    Str_Concat(row->warnSuffix);
    return true;
}

// One warning. The banner is created on this thread, which therefore has to pump its messages
// until the banner is closed.
DWORD WINAPI ShowWarning(LPVOID elapsedArgument) {
    int32_t elapsed = static_cast<int32_t>(reinterpret_cast<intptr_t>(elapsedArgument));
    if (Ctl_GetState(CTL_TONE_BOX) == 1) {
        Beep(kToneHz, kToneMs);
    }
    if (Ctl_GetState(CTL_BANNER_BOX) != 1 || App_Ending()) {
        return 0;
    }
    RetireEarlierBanner();
    if (Win_Open(kBannerWindow, 0, BANNER_HIDDEN_Y, Desk_Width(0), BANNER_HEIGHT, "Warnmeldung", kBannerFlags,
                 Win_Handle(MAIN_WINDOW)) == 0) {
        return 0;
    }
    HWND banner = Win_Handle(kBannerWindow);
    if (Ctl_BeginList(banner) != nullptr) {
        CreateBannerText(elapsed);
    }
    Win_SetTopmost(kBannerWindow, 1);
    int32_t back = 0;
    int32_t front = 0;
    BannerColours(&back, &front);
    Win_SetColor(kBannerWindow, back);
    Ctl_SetColor(kBannerText, CTL_COLOR_FRONT, front);
    Ctl_SetColor(kBannerText, CTL_COLOR_BACK, back);
    Thread_Start(SlideBanner, 0);

    // The event state is per thread, so EVENT_CLOSE here is always about this banner.
    for (;;) {
        int32_t event = Win_WaitEvent(kBannerPollMs);
        if (event == EVENT_CLOSE || !IsWindow(banner) || App_Ending()) {
            break;
        }
    }
    if (!App_Ending() && Win_Handle(kBannerWindow) == banner) {
        Win_Close(kBannerWindow);
    }
    return 0;
}

// The slide of the banner that holds number 1 when the slide begins. Each move goes to the position due at
// that moment, so a sleep that lasts longer (to the next clock tick) skips positions instead of stretching
// the slide; it always ends back at -40, hidden: above the screen is in sight on a monitor placed above.
DWORD WINAPI SlideBanner(LPVOID ignored) {
    (void)ignored;
    HWND banner = Win_Handle(kBannerWindow);
    const uint64_t begun = Clock_Ms();
    int32_t shown = INT32_MIN;
    for (uint64_t elapsed = 0; elapsed < kSlideEndMs; elapsed = Clock_Ms() - begun) {
        const int32_t y = Banner_SlideY(static_cast<int32_t>(elapsed));
        if (y != shown) {
            if (!SlideTo(banner, y)) {
                return 0;
            }
            shown = y;
        }
        Sleep_Until(begun + static_cast<uint64_t>(Banner_SlideNextMs(static_cast<int32_t>(elapsed))));
    }
    if (shown != BANNER_HIDDEN_Y && !SlideTo(banner, BANNER_HIDDEN_Y)) {
        return 0;
    }
    if (!App_Ending() && Win_Handle(kBannerWindow) == banner) {
        Win_Hide(kBannerWindow, 1);
    }
    return 0;
}

// ---- Test support ----

BannerContrastProc Banner_SetContrastProc(BannerContrastProc proc) {
    BannerContrastProc previous = g_highContrast;
    g_highContrast = proc != nullptr ? proc : SystemHighContrast;
    return previous;
}

// Down one pixel every 10 ms, at the top from 400 ms on, up one pixel every 10 ms from 3410 ms on.
int32_t Banner_SlideY(int32_t elapsedMs) {
    if (elapsedMs < kSlideInMs) {
        return BANNER_HIDDEN_Y + elapsedMs / kSlideStepMs;
    }
    if (elapsedMs < kSlideOutFromMs) {
        return kShownY;
    }
    if (elapsedMs < kSlideEndMs) {
        return kShownY - (elapsedMs - kSlideOutFromMs) / kSlideStepMs;
    }
    return BANNER_HIDDEN_Y;
}

// The next multiple of 10 ms, but in view nothing moves until the first step up.
int32_t Banner_SlideNextMs(int32_t elapsedMs) {
    if (elapsedMs >= kSlideInMs - kSlideStepMs && elapsedMs < kSlideOutFromMs + kSlideStepMs) {
        return kSlideOutFromMs + kSlideStepMs;
    }
    return (elapsedMs / kSlideStepMs + 1) * kSlideStepMs;
}
