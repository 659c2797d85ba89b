// Numbered threads with cooperative cancellation, and the cancellable sleep.
//
// Every thread started here gets a manual-reset cancel event. Thread_Terminate sets it and
// waits until the thread has gone; the thread notices it at its next cancellation point
// (Sleep_Ms, Thread_Start, Thread_CheckCancel), where it holds no toolkit lock, frees its
// scratch area and leaves with exit code 0. A thread is killed from outside only when it
// has not reached a cancellation point within a generous time.
#include "core/threads.h"

#include "core/objtable.h"
#include "core/strings.h"
#include "core/tls.h"

namespace {

// How long Thread_Terminate waits for a cancelled thread before killing it.
constexpr DWORD CANCEL_TIMEOUT_MS = 10000;
// How long to wait for a killed thread to be gone.
constexpr DWORD KILL_TIMEOUT_MS = 2000;

// Payload of a thread-list record. The record owns both handles.
struct ThreadRecord {
    HANDLE handle;      // native thread handle
    int32_t number;     // 1, 2, ...
    DWORD threadId;     // to recognise a thread terminating itself
    HANDLE cancelEvent; // set by Thread_Terminate
};

// Handed to the new thread by Thread_Start; freed by the thread.
struct StartBlock {
    ThreadProcedure procedure;
    LPVOID argument;
    HANDLE cancelEvent; // the thread's own duplicate of the record's event
    bool abandon;       // set before the thread first runs: leave without calling procedure
};

ListRecord* g_threads = nullptr;
int32_t g_issued = 0; // numbers handed out so far: the next thread gets g_issued + 1
CRITICAL_SECTION g_lock;
volatile LONG g_lockState = 0; // 0 none, 1 being set up, 2 ready

// The calling thread's own cancel event (null for threads not started by Thread_Start).
ThreadSlot<> g_cancelSlot;

// A test's stand-in for the wait under every sleep, or null.
SleepWaitProc g_wait = nullptr;

HANDLE OwnCancelEvent() {
    return static_cast<HANDLE>(g_cancelSlot.Get());
}

// ---- Internal functions ----

// Sets up the thread lock once, also when two threads get here at the same time.
void LockSetUp() {
    if (InterlockedCompareExchange(&g_lockState, 2, 2) == 2)
        return;
    if (InterlockedCompareExchange(&g_lockState, 1, 0) == 0) {
        InitializeCriticalSection(&g_lock);
        InterlockedExchange(&g_lockState, 2);
        return;
    }
    while (InterlockedCompareExchange(&g_lockState, 2, 2) != 2)
        Sleep(0);
}

// Holds the thread lock for one scope.
class ThreadLock {
  public:
    ThreadLock() {
        LockSetUp();
        EnterCriticalSection(&g_lock);
    }
    ~ThreadLock() {
        LeaveCriticalSection(&g_lock);
    }
    ThreadLock(const ThreadLock&) = delete;
    ThreadLock& operator=(const ThreadLock&) = delete;
};

// Closes the handles of a record and removes it (thread lock held).
void DropRecord(ThreadRecord* record) {
    CloseHandle(record->handle);
    CloseHandle(record->cancelEvent);
    List_Remove(&g_threads, record);
}

// Removes the records of threads that have ended (thread lock held).
void SweepEnded() {
    auto* record = static_cast<ThreadRecord*>(List_First(g_threads));
    while (record != nullptr) {
        auto* older = static_cast<ThreadRecord*>(List_Older(record));
        if (WaitForSingleObject(record->handle, 0) == WAIT_OBJECT_0)
            DropRecord(record);
        record = older;
    }
}

// Record with that number, newest first (thread lock held).
ThreadRecord* FindRecord(int32_t number) {
    for (auto* record = static_cast<ThreadRecord*>(List_First(g_threads)); record != nullptr;
         record = static_cast<ThreadRecord*>(List_Older(record))) {
        if (record->number == number)
            return record;
    }
    return nullptr;
}

// value / 10000 in 32-bit divisions, 16 bits of the quotient at a time: a 32-bit program would otherwise
// link the runtime's 64-bit division (1 KiB) for this one quotient.
uint64_t PerTenThousand(uint64_t value) {
    uint64_t quotient = 0;
    uint32_t rest = 0;
    for (int shift = 48; shift >= 0; shift -= 16) {
        const uint32_t part = (rest << 16) | static_cast<uint32_t>((value >> shift) & 0xFFFF);
        quotient = (quotient << 16) | part / 10000;
        rest = part % 10000;
    }
    return quotient;
}

// Leaves the calling thread after giving back what it owns. Only called at cancellation
// points, where no toolkit lock is held.
[[noreturn]] void LeaveThread() {
    Scratch_ReleaseThread();
    HANDLE event = OwnCancelEvent();
    g_cancelSlot.Set(nullptr);
    if (event != nullptr)
        CloseHandle(event);
    ExitThread(0);
}

// Waits for a thread to end while answering messages that other threads send to the
// caller: the thread may be blocked in a SendMessage to one of our windows (reading a
// control's text), and would otherwise never reach its cancellation point.
bool WaitAnsweringSentMessages(HANDLE thread, DWORD timeoutMs) {
    DWORD started = GetTickCount();
    for (;;) {
        MSG message;
        // Delivers pending sent messages; posted messages stay in the queue untouched.
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= timeoutMs)
            return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_OBJECT_0 + 1)
            return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    }
}

// Start routine of every thread: takes over the cancel event, then runs the procedure.
DWORD WINAPI ThreadTrampoline(LPVOID parameter) {
    auto* block = static_cast<StartBlock*>(parameter);
    ThreadProcedure procedure = block->procedure;
    LPVOID argument = block->argument;
    bool abandon = block->abandon;
    g_cancelSlot.Set(block->cancelEvent);
    HeapFree(Heap_List(), 0, block);
    if (abandon)
        LeaveThread();
    Thread_CheckCancel();
    DWORD result = procedure(argument);
    Scratch_ReleaseThread();
    HANDLE event = OwnCancelEvent();
    g_cancelSlot.Set(nullptr);
    if (event != nullptr)
        CloseHandle(event);
    return result;
}

} // namespace

// ---- Public functions ----

void Thread_Init(void) {
    LockSetUp();
}

int32_t Thread_Start(ThreadProcedure procedure, intptr_t argument) {
    Thread_CheckCancel();
    if (procedure == nullptr)
        return 0;
    HANDLE process = GetCurrentProcess();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return 0;
    HANDLE threadEvent = nullptr;
    if (!DuplicateHandle(process, event, process, &threadEvent, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        CloseHandle(event);
        return 0;
    }
    auto* block = static_cast<StartBlock*>(HeapAlloc(Heap_List(), HEAP_ZERO_MEMORY, sizeof(StartBlock)));
    if (block == nullptr) {
        CloseHandle(threadEvent);
        CloseHandle(event);
        return 0;
    }
    block->procedure = procedure;
    block->argument = reinterpret_cast<LPVOID>(argument);
    block->cancelEvent = threadEvent;
    // Suspended, so that the record and its cancel event exist before the thread runs.
    // Stack size 0: the executable's default reserve; a few KiB would not carry window
    // procedures and message boxes safely.
    DWORD threadId = 0;
    HANDLE handle = CreateThread(nullptr, 0, ThreadTrampoline, block, CREATE_SUSPENDED, &threadId);
    if (handle == nullptr) {
        HeapFree(Heap_List(), 0, block);
        CloseHandle(threadEvent);
        CloseHandle(event);
        return 0;
    }
    int32_t number = 0;
    {
        ThreadLock lock;
        SweepEnded();
        if (g_issued < INT32_MAX - 1) { // numbers stay below INT32_MAX
            auto* record = static_cast<ThreadRecord*>(List_Add(&g_threads, sizeof(ThreadRecord)));
            if (record != nullptr) {
                number = ++g_issued;
                record->handle = handle;
                record->number = number;
                record->threadId = threadId;
                record->cancelEvent = event;
            }
        }
    }
    if (number == 0) {
        // No record: let the thread go without running the procedure.
        block->abandon = true;
        ResumeThread(handle);
        CloseHandle(handle);
        CloseHandle(event);
        return 0;
    }
    if (Thread_IsCancelled()) {
        // Cancelled meanwhile: the new thread must not run; its record is swept later.
        block->abandon = true;
        ResumeThread(handle);
        LeaveThread();
    }
    ResumeThread(handle);
    return number;
}

void Thread_Terminate(int32_t number) {
    if (number <= 0)
        return;
    HANDLE handle = nullptr;
    HANDLE event = nullptr;
    DWORD threadId = 0;
    {
        ThreadLock lock;
        ThreadRecord* record = FindRecord(number);
        if (record == nullptr)
            return;
        handle = record->handle;
        event = record->cancelEvent;
        threadId = record->threadId;
        // The record goes now; the lock is not held while waiting, so the thread can still
        // pass Thread_Start on its way to a cancellation point.
        List_Remove(&g_threads, record);
    }
    SetEvent(event);
    if (threadId == GetCurrentThreadId()) {
        CloseHandle(handle);
        CloseHandle(event);
        LeaveThread();
    }
    if (!WaitAnsweringSentMessages(handle, CANCEL_TIMEOUT_MS)) {
        // Last resort for a thread stuck outside every cancellation point.
        TerminateThread(handle, 0);
        WaitForSingleObject(handle, KILL_TIMEOUT_MS);
    }
    CloseHandle(handle);
    CloseHandle(event);
}

void Thread_ReleaseAll(void) {
    ThreadLock lock;
    while (g_threads != nullptr)
        DropRecord(static_cast<ThreadRecord*>(List_First(g_threads)));
}

// Cancels all other threads of the list, then takes their records one by one and waits for each
// thread within one time budget. Every round cancels again whatever is in the list, so threads
// started meanwhile are cancelled too.
bool Thread_StopAll(DWORD timeoutMs) {
    const DWORD started = GetTickCount();
    const DWORD self = GetCurrentThreadId();
    bool allEnded = true;
    for (;;) {
        HANDLE handle = nullptr;
        HANDLE event = nullptr;
        {
            ThreadLock lock;
            ThreadRecord* taken = nullptr;
            for (auto* record = static_cast<ThreadRecord*>(List_First(g_threads)); record != nullptr;
                 record = static_cast<ThreadRecord*>(List_Older(record))) {
                if (record->threadId != self) {
                    SetEvent(record->cancelEvent);
                    taken = record;
                }
            }
            if (taken == nullptr) {
                // Only the caller's own record can be left: it goes as well.
                while (g_threads != nullptr)
                    DropRecord(static_cast<ThreadRecord*>(List_First(g_threads)));
                return allEnded;
            }
            handle = taken->handle;
            event = taken->cancelEvent;
            List_Remove(&g_threads, taken);
        }
        const DWORD elapsed = GetTickCount() - started;
        if (!WaitAnsweringSentMessages(handle, elapsed < timeoutMs ? timeoutMs - elapsed : 0))
            allEnded = false;
        CloseHandle(handle);
        CloseHandle(event);
    }
}

int32_t Thread_RecordCount(void) {
    ThreadLock lock;
    int32_t count = 0;
    for (void* record = List_First(g_threads); record != nullptr; record = List_Older(record))
        ++count;
    return count;
}

void Sleep_Ms(DWORD milliseconds) {
    HANDLE event = OwnCancelEvent();
    if (g_wait != nullptr) {
        if (g_wait(event, milliseconds) == WAIT_OBJECT_0 && event != nullptr)
            LeaveThread();
        return;
    }
    if (event == nullptr) {
        Sleep(milliseconds);
        return;
    }
    if (WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0)
        LeaveThread();
    if (milliseconds == 0)
        Sleep(0); // keep the yield of a zero sleep
}

// A wait's time-out counts the time asleep on Windows 7 but not on Windows 8 and later; a wait that ends
// before the deadline is followed by another for the rest, so the end comes on this clock on both.
void Sleep_Until(uint64_t deadline) {
    bool slept = false;
    for (;;) {
        const uint64_t now = Clock_Ms();
        if (now >= deadline) {
            // A sleep has just looked at the cancel event; without one this is still a cancellation point.
            if (!slept)
                Thread_CheckCancel();
            return;
        }
        const uint64_t rest = deadline - now;
        Sleep_Ms(rest < INFINITE ? static_cast<DWORD>(rest) : INFINITE - 1);
        slept = true;
    }
}

// The interrupt time counts 100-ns units; "unbiased" leaves out the time asleep.
uint64_t Clock_Ms(void) {
    ULONGLONG units = 0;
    QueryUnbiasedInterruptTime(&units);
    return PerTenThousand(units);
}

void Thread_CheckCancel(void) {
    if (Thread_IsCancelled())
        LeaveThread();
}

bool Thread_IsCancelled(void) {
    HANDLE event = OwnCancelEvent();
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

HANDLE Thread_CancelEvent(void) {
    return OwnCancelEvent();
}

// ---- Test support ----

SleepWaitProc Sleep_SetWaitProc(SleepWaitProc proc) {
    SleepWaitProc previous = g_wait;
    g_wait = proc;
    return previous;
}
