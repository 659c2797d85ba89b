// The countdown: the thread that counts the seconds of the time field and ends in the final
// action, and the two ways the main thread starts and stops it.
#pragma once

#include <windows.h>

#include <cstdint>

// ---- Public functions ----

// Thread body: counts one second per step, re-reading the time field (control 9) at every step,
// starts a warning every sixtieth step and runs FinalAction when the count has passed the field's
// value. The argument is ignored; the thread never returns (it ends in FinalAction or is
// cancelled).
DWORD WINAPI Countdown(LPVOID ignored);

// "Starten": the running set first, then a new countdown thread (its number is kept for
// "Abbrechen"); once it runs, the focus goes to "Abbrechen".
void Countdown_Start();

// "Abbrechen": the countdown thread is stopped (once this returns it runs no further code),
// then the idle set, and the focus goes back to "Starten".
void Countdown_Cancel();
