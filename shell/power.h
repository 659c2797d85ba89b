// Keeping the computer awake while a task is pending: a request against the system's idle sleep, held
// by the thread that asks for it. The display may still turn off, and an explicit suspend (the user's
// or the program's own "Ruhezustand/Standby") still puts the machine to sleep.
#pragma once

#include <windows.h>

// ---- Public functions ----

// Asks the system not to fall asleep while the calling thread holds the request (Windows ends it with
// the thread). Returns false when the system refused the request.
bool Power_StayAwake();

// Lets go of the calling thread's request. Also called on the thread that stopped a holder: a system
// that keeps one request per process (Wine) ends it only then.
void Power_LetGo();
