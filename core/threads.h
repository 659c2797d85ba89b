// Threads named by small numbers (1, 2, ... never reused), safe cancellation, the cancellable sleep
// and the clock that sleeps are measured against.
//
// Cancellation is cooperative: Thread_Terminate signals the thread's cancel event and waits
// until the thread has left. A thread started with Thread_Start leaves at its next
// cancellation point: Sleep_Ms, Thread_Start and Thread_CheckCancel. At those points it holds
// no toolkit lock, so nothing is left held or half-built. Note that leaving skips the C++
// destructors of the thread's own frames: thread bodies must not hold RAII-owned resources
// across a cancellation point.
#pragma once

#include <windows.h>

#include <cstdint>

// A thread body: receives the argument given to Thread_Start; its result is the exit code.
typedef DWORD(WINAPI* ThreadProcedure)(LPVOID argument);

// Sets up the thread lock (idempotent).
void Thread_Init(void);
// Starts procedure(argument) on a new thread; returns its number, or 0 on failure.
// Called on a cancelled thread it starts nothing and leaves the calling thread.
int32_t Thread_Start(ThreadProcedure procedure, intptr_t argument);
// Stops thread number. Once it returns the thread runs no further application code. Called
// with the caller's own number it leaves the calling thread. Unknown numbers do nothing.
void Thread_Terminate(int32_t number);
// Closes every handle of the thread list; running threads go on.
void Thread_ReleaseAll(void);
// The program's end of the thread list: cancels every thread of the list but the caller, all at
// once, and waits until they have ended (answering messages sent to the caller meanwhile), at most
// timeoutMs in all; threads they start meanwhile are stopped as well. A thread that does not end in
// time is not killed, as it might hold a heap's lock. Then every record is gone, as after
// Thread_ReleaseAll. True when every other thread has ended.
bool Thread_StopAll(DWORD timeoutMs);
// Sleeps milliseconds; on a cancelled thread it leaves the thread instead.
void Sleep_Ms(DWORD milliseconds);
// Sleeps until Clock_Ms() has reached deadline, again for the rest whenever a wait ends early; returns at
// once for a deadline that has passed. A cancellation point like Sleep_Ms.
void Sleep_Until(uint64_t deadline);

// Milliseconds of a monotonic clock that stands still while the computer sleeps or hibernates (the
// unbiased interrupt time). It moves in the system's clock ticks, 15.6 ms by default.
uint64_t Clock_Ms(void);

// Number of records in the thread list (for diagnostics and tests).
int32_t Thread_RecordCount(void);

// Cancellation point: leaves the calling thread if it has been cancelled, else returns.
// Use before an irreversible action.
void Thread_CheckCancel(void);
// True if the calling thread has been cancelled (does not leave).
bool Thread_IsCancelled(void);
// The calling thread's cancel event (signalled on cancel), or null for a thread not started
// by Thread_Start. Blocking waits elsewhere in the toolkit may include it and then call
// Thread_CheckCancel.
HANDLE Thread_CancelEvent(void);

// ---- Test support ----

// The wait under every sleep: up to milliseconds for the event (null: none), WAIT_OBJECT_0 when the event
// was set. A stand-in can make waits last as long as they do elsewhere (to the next clock tick, or later).
typedef DWORD (*SleepWaitProc)(HANDLE event, DWORD milliseconds);
// Replaces the wait (null restores the system's). Returns the previous one.
SleepWaitProc Sleep_SetWaitProc(SleepWaitProc proc);
