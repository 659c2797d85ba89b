// Tests of numbered threads, termination and sleeping.
// Worker threads only record what they see; all assertions run on the test's own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "core/objtable.h"
#include "core/strings.h"
#include "core/threads.h"

namespace {

// Thread_Start calls made by this program so far (the very first one must get number 1).
int g_startsSoFar = 0;

int32_t Start(ThreadProcedure procedure, intptr_t argument = 0) {
    int32_t number = Thread_Start(procedure, argument);
    if (number != 0)
        ++g_startsSoFar;
    return number;
}

// A real handle to the calling thread, for the test to wait on after the record is gone.
HANDLE DuplicateSelf() {
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return self;
}

// Shared with the worker of one test at a time.
HANDLE g_selfHandle = nullptr;
HANDLE g_ready = nullptr;
HANDLE g_go = nullptr;
std::atomic<int> g_counter{0};
std::atomic<int> g_after{0};
std::atomic<intptr_t> g_argumentSeen{0};
std::atomic<bool> g_stop{false};
std::atomic<int32_t> g_ownNumber{0};

// Returns at once with its argument as exit code.
DWORD WINAPI QuickBody(LPVOID argument) {
    g_argumentSeen = reinterpret_cast<intptr_t>(argument);
    g_selfHandle = DuplicateSelf();
    SetEvent(g_ready);
    return static_cast<DWORD>(reinterpret_cast<intptr_t>(argument) & 0xFFFF);
}

// Counts its 10 ms sleeps until it is cancelled or told to stop.
DWORD WINAPI SleeperBody(LPVOID) {
    g_selfHandle = DuplicateSelf();
    SetEvent(g_ready);
    while (!g_stop) {
        Sleep_Ms(10);
        ++g_counter;
    }
    return 7;
}

// A wait that ends after a quarter of its time, as a wait's time-out can on Windows 7 after the computer
// slept; it counts its calls.
std::atomic<int> g_waits{0};
DWORD ShortWait(HANDLE event, DWORD ms) {
    ++g_waits;
    return event != nullptr ? WaitForSingleObject(event, ms / 4) : (Sleep(ms / 4), WAIT_TIMEOUT);
}

// Terminates itself once it knows its number.
DWORD WINAPI SelfTerminatingBody(LPVOID) {
    g_selfHandle = DuplicateSelf();
    WaitForSingleObject(g_go, 5000);
    Thread_Terminate(g_ownNumber);
    ++g_after; // must never run
    return 9;
}

// Reports whether it runs with a cancel event.
std::atomic<int> g_cancelState{-1};
DWORD WINAPI CancelStateBody(LPVOID) {
    int state = 0;
    if (Thread_CancelEvent() != nullptr)
        state |= 1;
    if (Thread_IsCancelled())
        state |= 2;
    Thread_CheckCancel(); // not cancelled: returns
    state |= 4;
    g_cancelState = state;
    return 0;
}

// A child of the thread-starting worker: counts that it ran.
std::atomic<int> g_childRuns{0};
DWORD WINAPI ChildBody(LPVOID) {
    ++g_childRuns;
    return 0;
}

// Starts children and counts each start after it returned, with checks before each count.
std::atomic<int> g_childStarts{0};
std::atomic<int> g_irreversible{0};
DWORD WINAPI StarterBody(LPVOID) {
    g_selfHandle = DuplicateSelf();
    SetEvent(g_ready);
    for (;;) {
        if (Thread_Start(ChildBody, 0) != 0)
            ++g_childStarts;
        Thread_CheckCancel();
        ++g_irreversible;
    }
}

// Sends messages to the test's window without any cancellation point in between.
HWND g_window = nullptr;
std::atomic<int> g_sentAnswered{0};
DWORD WINAPI SenderBody(LPVOID) {
    g_selfHandle = DuplicateSelf();
    SetEvent(g_ready);
    for (;;) {
        SendMessageA(g_window, WM_USER + 1, 0, 0);
        SendMessageA(g_window, WM_USER + 1, 0, 0);
        Sleep_Ms(0);
        ++g_counter;
    }
}

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 1) {
        ++g_sentAnswered;
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of this thread that answers (and counts) what SenderBody sends.
HWND CountingWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "CoreThreadsTestWindow";
    RegisterClassA(&windowClass); // fails harmlessly when a test registered it before
    return CreateWindowA("CoreThreadsTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// Spins without ever reaching a cancellation point.
DWORD WINAPI SpinnerBody(LPVOID) {
    g_selfHandle = DuplicateSelf();
    SetEvent(g_ready);
    volatile unsigned long long spin = 0;
    for (;;)
        spin = spin + 1;
}

class ThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Heap_CreateMain();
        Str_Init();
        List_Init();
        Thread_Init();
        g_ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        g_go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        g_selfHandle = nullptr;
        g_counter = 0;
        g_after = 0;
        g_stop = false;
    }
    void TearDown() override {
        g_stop = true;
        if (g_selfHandle != nullptr) {
            WaitForSingleObject(g_selfHandle, 5000);
            CloseHandle(g_selfHandle);
        }
        g_selfHandle = nullptr;
        CloseHandle(g_ready);
        CloseHandle(g_go);
    }
    // Waits for the worker's ready signal (bounded).
    void WaitReady() {
        ASSERT_EQ(WaitForSingleObject(g_ready, 5000), WAIT_OBJECT_0) << "worker did not start";
    }
};

// Milliseconds since a start tick.
DWORD Since(DWORD start) {
    return GetTickCount() - start;
}

} // namespace

TEST_F(ThreadsTest, test_numbers_count_from_one) {
    bool first = g_startsSoFar == 0;
    int32_t a = Start(QuickBody);
    ASSERT_NE(a, 0);
    if (first) {
        EXPECT_EQ(a, 1) << "the first thread gets number 1";
    }
    WaitReady();
    int32_t b = Start(QuickBody);
    EXPECT_EQ(b, a + 1);
    WaitReady();
    EXPECT_EQ(Thread_Start(nullptr, 0), 0) << "a failed start returns 0";
    int32_t c = Start(QuickBody);
    EXPECT_EQ(c, b + 1) << "a failed start must not use up a number";
    WaitReady();
}

TEST_F(ThreadsTest, test_procedure_gets_argument_and_sets_exit_code) {
    const intptr_t argument =
        static_cast<intptr_t>(0x1234ABCD) | (sizeof(intptr_t) > 4 ? (intptr_t{1} << 40) : 0);
    ASSERT_NE(Start(QuickBody, argument), 0);
    WaitReady();
    EXPECT_EQ(g_argumentSeen.load(), argument) << "the procedure must receive exactly its argument";
    ASSERT_EQ(WaitForSingleObject(g_selfHandle, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(g_selfHandle, &code);
    EXPECT_EQ(code, 0xABCDu) << "the procedure's result is the exit code";
}

TEST_F(ThreadsTest, test_ended_thread_keeps_record_until_swept) {
    ASSERT_NE(Start(QuickBody), 0);
    WaitReady();
    ASSERT_EQ(WaitForSingleObject(g_selfHandle, 5000), WAIT_OBJECT_0);
    int32_t withEnded = Thread_RecordCount();
    EXPECT_GE(withEnded, 1) << "an ended thread keeps its record";
    CloseHandle(g_selfHandle);
    g_selfHandle = nullptr;
    Sleep(100); // threads of earlier tests have ended by now
    // The next start sweeps every ended thread and adds one record.
    int32_t next = Start(SleeperBody);
    ASSERT_NE(next, 0);
    WaitReady();
    EXPECT_EQ(Thread_RecordCount(), 1) << "only the running sleeper may remain";
    Thread_Terminate(next);
    EXPECT_EQ(Thread_RecordCount(), 0);
}

TEST_F(ThreadsTest, test_terminate_running_thread) {
    int32_t number = Start(SleeperBody);
    ASSERT_NE(number, 0);
    WaitReady();
    Sleep(55);
    int32_t records = Thread_RecordCount();
    DWORD start = GetTickCount();
    Thread_Terminate(number);
    DWORD took = Since(start);
    // Once Terminate has returned the thread is gone.
    EXPECT_EQ(WaitForSingleObject(g_selfHandle, 0), WAIT_OBJECT_0) << "the thread still runs after Terminate";
    int counted = g_counter;
    EXPECT_LT(took, 1000u) << "a sleeping thread must leave at once";
    DWORD code = 99;
    GetExitCodeThread(g_selfHandle, &code);
    EXPECT_EQ(code, 0u) << "a terminated thread ends with exit code 0";
    EXPECT_EQ(Thread_RecordCount(), records - 1) << "the record must be removed";
    Sleep(50);
    EXPECT_EQ(g_counter.load(), counted) << "the thread ran on after Terminate";

    // A second Terminate with the same number does nothing.
    start = GetTickCount();
    Thread_Terminate(number);
    EXPECT_LT(Since(start), 100u);
    EXPECT_EQ(Thread_RecordCount(), records - 1);
}

TEST_F(ThreadsTest, test_terminate_unknown_numbers_does_nothing) {
    int32_t number = Start(SleeperBody);
    ASSERT_NE(number, 0);
    WaitReady();
    int32_t records = Thread_RecordCount();
    Thread_Terminate(0);
    Thread_Terminate(-1);
    Thread_Terminate(number + 1000);
    Thread_Terminate(INT32_MAX);
    EXPECT_EQ(Thread_RecordCount(), records);
    int before = g_counter;
    Sleep(60);
    EXPECT_GT(g_counter.load(), before) << "an unrelated thread must go on running";
    Thread_Terminate(number);
}

TEST_F(ThreadsTest, test_terminate_ended_thread_only_removes_record) {
    int32_t number = Start(QuickBody, 5);
    ASSERT_NE(number, 0);
    WaitReady();
    ASSERT_EQ(WaitForSingleObject(g_selfHandle, 5000), WAIT_OBJECT_0);
    int32_t records = Thread_RecordCount();
    Thread_Terminate(number);
    EXPECT_EQ(Thread_RecordCount(), records - 1);
    DWORD code = 0;
    GetExitCodeThread(g_selfHandle, &code);
    EXPECT_EQ(code, 5u) << "an ended thread keeps its own exit code";
}

TEST_F(ThreadsTest, test_thread_terminating_itself) {
    int32_t number = Start(SelfTerminatingBody);
    ASSERT_NE(number, 0);
    g_ownNumber = number;
    int32_t records = Thread_RecordCount();
    SetEvent(g_go);
    // Wait for the handle the thread publishes, then for its end.
    DWORD start = GetTickCount();
    while (g_selfHandle == nullptr && Since(start) < 5000)
        Sleep(1);
    ASSERT_NE(g_selfHandle, nullptr);
    ASSERT_EQ(WaitForSingleObject(g_selfHandle, 5000), WAIT_OBJECT_0)
        << "self-termination must end the thread";
    EXPECT_EQ(g_after.load(), 0) << "code after a self-termination ran";
    DWORD code = 99;
    GetExitCodeThread(g_selfHandle, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Thread_RecordCount(), records - 1);
}

TEST_F(ThreadsTest, test_cancel_state_queries) {
    EXPECT_EQ(Thread_CancelEvent(), nullptr) << "a thread not started here has no cancel event";
    EXPECT_FALSE(Thread_IsCancelled());
    Thread_CheckCancel(); // returns
    g_cancelState = -1;
    int32_t number = Start(CancelStateBody);
    ASSERT_NE(number, 0);
    DWORD start = GetTickCount();
    while (g_cancelState == -1 && Since(start) < 5000)
        Sleep(1);
    EXPECT_EQ(g_cancelState.load(), 1 | 4) << "event present, not cancelled, CheckCancel returned";
}

TEST_F(ThreadsTest, test_sleep_durations) {
    DWORD start = GetTickCount();
    Sleep_Ms(100);
    DWORD took = Since(start);
    EXPECT_GE(took, 85u);
    EXPECT_LT(took, 1000u);
    Sleep_Ms(0);
}

// Sleep_Until ends when the clock has reached its deadline, not before, also when its waits end early; a
// deadline that has passed returns without a wait. The clock is the unbiased interrupt time in ms.
TEST_F(ThreadsTest, test_sleep_until_ends_on_the_clock_deadline) {
    ULONGLONG units = 0;
    QueryUnbiasedInterruptTime(&units);
    EXPECT_NEAR(static_cast<double>(Clock_Ms()), static_cast<double>(units / 10000), 20.0);
    for (SleepWaitProc wait : {SleepWaitProc{nullptr}, ShortWait}) {
        g_waits = 0;
        Sleep_SetWaitProc(wait);
        const uint64_t deadline = Clock_Ms() + 200;
        Sleep_Until(deadline);
        const int waits = g_waits;
        Sleep_Until(deadline - 100);
        EXPECT_EQ(g_waits, waits) << "a passed deadline must not wait";
        const uint64_t woke = Clock_Ms();
        Sleep_SetWaitProc(nullptr);
        EXPECT_GE(woke, deadline) << (wait ? "early waits" : "system wait") << ": woke before the deadline";
        EXPECT_LT(woke, deadline + 100) << (wait ? "early waits" : "system wait");
        EXPECT_TRUE(wait == nullptr || g_waits >= 2) << "expected the rest slept after an early wake";
    }
}

TEST_F(ThreadsTest, test_cancelled_thread_starts_no_thread) {
    g_childRuns = 0;
    g_childStarts = 0;
    g_irreversible = 0;
    int32_t number = Start(StarterBody);
    ASSERT_NE(number, 0);
    WaitReady();
    Sleep(100);
    Thread_Terminate(number);
    ASSERT_EQ(WaitForSingleObject(g_selfHandle, 0), WAIT_OBJECT_0);
    int starts = g_childStarts;
    int irreversible = g_irreversible;
    EXPECT_GT(starts, 0) << "the worker never started a child";
    // Children already started finish; no further start may happen.
    DWORD start = GetTickCount();
    while (g_childRuns < starts && Since(start) < 5000)
        Sleep(5);
    Sleep(50);
    EXPECT_EQ(g_childStarts.load(), starts) << "a child was started after Terminate returned";
    EXPECT_EQ(g_irreversible.load(), irreversible) << "the worker acted after Terminate returned";
    EXPECT_EQ(g_childRuns.load(), starts) << "every returned start runs its child exactly once";
}

TEST_F(ThreadsTest, test_terminate_answers_messages_sent_to_the_caller) {
    g_window = CountingWindow();
    ASSERT_NE(g_window, nullptr);
    g_sentAnswered = 0;
    int32_t number = Start(SenderBody);
    ASSERT_NE(number, 0);
    WaitReady();
    // The sender is now blocked in SendMessage: this thread pumps nothing until Terminate.
    Sleep(100);
    EXPECT_EQ(g_sentAnswered.load(), 0);
    DWORD start = GetTickCount();
    Thread_Terminate(number);
    DWORD took = Since(start);
    EXPECT_EQ(WaitForSingleObject(g_selfHandle, 0), WAIT_OBJECT_0);
    EXPECT_LT(took, 3000u) << "Terminate must answer the sent message instead of waiting for the time-out";
    EXPECT_GE(g_sentAnswered.load(), 1);
    DestroyWindow(g_window);
    g_window = nullptr;
}

TEST_F(ThreadsTest, test_stuck_thread_is_killed_after_the_time_out) {
    int32_t number = Start(SpinnerBody);
    ASSERT_NE(number, 0);
    WaitReady();
    DWORD start = GetTickCount();
    Thread_Terminate(number);
    DWORD took = Since(start);
    EXPECT_EQ(WaitForSingleObject(g_selfHandle, 0), WAIT_OBJECT_0) << "the last resort must end the thread";
    EXPECT_GE(took, 9000u) << "a stuck thread gets the full grace time";
    EXPECT_LT(took, 20000u);
    // The thread lock is still usable.
    int32_t next = Start(QuickBody);
    EXPECT_NE(next, 0);
    WaitForSingleObject(g_ready, 5000);
}

// The program's end: Thread_StopAll cancels all other threads at once and waits for them within
// one budget, also for one that keeps starting children and one blocked in a SendMessage to the
// caller. A thread that never reaches a cancellation point is reported, within the budget, and
// left running (killing it could leave a heap locked).
TEST_F(ThreadsTest, test_stop_all_ends_every_other_thread_within_its_budget) {
    g_window = CountingWindow();
    ASSERT_NE(g_window, nullptr);
    g_childStarts = 0;
    std::vector<HANDLE> workers;
    for (ThreadProcedure body : {StarterBody, SleeperBody, SenderBody}) {
        ASSERT_NE(Start(body), 0);
        WaitReady();
        workers.push_back(g_selfHandle);
    }
    g_selfHandle = nullptr;
    Sleep(50);

    DWORD start = GetTickCount();
    EXPECT_TRUE(Thread_StopAll(5000));
    EXPECT_LT(Since(start), 3000u) << "every worker was at a cancellation point or in a SendMessage";
    for (HANDLE worker : workers) {
        EXPECT_EQ(WaitForSingleObject(worker, 0), WAIT_OBJECT_0)
            << "a worker still runs after Thread_StopAll";
        CloseHandle(worker);
    }
    EXPECT_EQ(Thread_RecordCount(), 0) << "the children started meanwhile are stopped as well";
    const int starts = g_childStarts;
    Sleep(50);
    EXPECT_EQ(g_childStarts.load(), starts) << "a child was started after Thread_StopAll returned";
    DestroyWindow(g_window);
    g_window = nullptr;

    ASSERT_NE(Start(SpinnerBody), 0);
    WaitReady();
    start = GetTickCount();
    EXPECT_FALSE(Thread_StopAll(300)) << "a thread that did not end must be reported";
    EXPECT_GE(Since(start), 250u);
    EXPECT_LT(Since(start), 3000u) << "the budget bounds the wait";
    EXPECT_EQ(WaitForSingleObject(g_selfHandle, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "it must not be killed";
    TerminateThread(g_selfHandle, 0);
}

TEST_F(ThreadsTest, test_release_all_keeps_threads_running) {
    int32_t a = Start(SleeperBody);
    ASSERT_NE(a, 0);
    WaitReady();
    HANDLE first = g_selfHandle;
    int32_t b = Start(SleeperBody);
    ASSERT_NE(b, 0);
    WaitReady();
    Thread_ReleaseAll();
    EXPECT_EQ(Thread_RecordCount(), 0);
    int before = g_counter;
    Sleep(60);
    EXPECT_GT(g_counter.load(), before) << "released threads go on running";
    // Their numbers name nothing any more.
    Thread_Terminate(a);
    Thread_Terminate(b);
    before = g_counter;
    Sleep(60);
    EXPECT_GT(g_counter.load(), before);
    g_stop = true;
    EXPECT_EQ(WaitForSingleObject(first, 5000), WAIT_OBJECT_0);
    CloseHandle(first);
    // New numbers continue after the old ones.
    int32_t c = Start(QuickBody);
    EXPECT_EQ(c, b + 1);
    WaitForSingleObject(g_ready, 5000);
}

TEST_F(ThreadsTest, test_starts_from_several_threads_get_unique_numbers) {
    constexpr int starters = 4;
    constexpr int perStarter = 40;
    std::vector<std::vector<int32_t>> numbers(starters);
    std::vector<std::thread> threads;
    for (int s = 0; s < starters; ++s) {
        threads.emplace_back([s, &numbers] {
            for (int i = 0; i < perStarter; ++i)
                numbers[s].push_back(Thread_Start(ChildBody, 0));
        });
    }
    for (auto& t : threads)
        t.join();
    std::set<int32_t> unique;
    for (auto& list : numbers)
        for (int32_t n : list) {
            EXPECT_NE(n, 0);
            unique.insert(n);
        }
    EXPECT_EQ(unique.size(), static_cast<size_t>(starters * perStarter)) << "numbers were handed out twice";
    EXPECT_EQ(*unique.rbegin() - *unique.begin() + 1, starters * perStarter) << "numbers must be consecutive";
    g_startsSoFar += starters * perStarter;
}
