// The per-minute warning: a beep and a blue banner (window 1) that slides in from above the
// top edge of the screen, names the task and the minutes left, and slides out again.
#pragma once

#include <windows.h>

#include <cstdint>

// Banner geometry and colours.
constexpr int32_t BANNER_HEIGHT = 25;
constexpr int32_t BANNER_HIDDEN_Y = -40; // out of sight above the screen
constexpr int32_t BANNER_BLUE_RED = 0, BANNER_BLUE_GREEN = 53, BANNER_BLUE_BLUE = 213;

// ---- Public functions ----

// Thread body, started by the countdown with its step counter as argument: beeps when the tone
// box is checked; when the banner box is checked opens the banner, starts SlideBanner and
// waits in its own event loop until the banner is closed. Returns 0.
DWORD WINAPI ShowWarning(LPVOID elapsed);

// Thread body: slides window 1 down to y 0 in 41 steps of 10 ms, keeps it there for 3000 ms
// and slides it back up to y -40, every position at its time on the clock, then hides it (the window
// stays open until the next warning replaces it). The argument is ignored. Returns 0.
DWORD WINAPI SlideBanner(LPVOID ignored);

// The slide's position (y) at elapsedMs since it began, and the time (ms since it began) at which the
// position next changes; at 3820 ms and later the slide is over, at y -40.
int32_t Banner_SlideY(int32_t elapsedMs);
int32_t Banner_SlideNextMs(int32_t elapsedMs);

// Minutes the warning at step counter `elapsed` announces for a time field holding `limit`:
// (limit div 60) - (elapsed div 60), both divisions truncating.
int32_t Banner_Minutes(int32_t limit, int32_t elapsed);

// Writes the warning sentence of a task (prefix, minute number, suffix) at target in the string
// scratch. Returns false, writing an empty text, for an unknown task.
bool Banner_Sentence(int32_t kind, int32_t minutes, int32_t target);

// ---- Test support ----

// Whether high contrast is on: the system's query, or a test's stand-in (Wine cannot switch it on).
typedef bool (*BannerContrastProc)(void);

// Replaces the query (null restores the system's); returns the previous one.
BannerContrastProc Banner_SetContrastProc(BannerContrastProc proc);
