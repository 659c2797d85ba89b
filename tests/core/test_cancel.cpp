// Stress test of thread termination: workers that sleep, build texts and start threads are
// terminated at random moments, over and over. After each Thread_Terminate the worker must
// never make progress again, and the thread lock, the heaps and the string areas must stay
// usable and intact.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "core/objtable.h"
#include "core/strings.h"
#include "core/threads.h"

namespace {

constexpr int ROUNDS = 1200;

struct Round {
    std::atomic<int> progress{0}; // raised after every step of the worker
    std::atomic<int> textErrors{0};
    std::atomic<HANDLE> handle{nullptr};
};

Round g_rounds[ROUNDS];
std::atomic<int> g_childStarts{0};
std::atomic<int> g_childRuns{0};

// A child started by a worker: builds a text of its own and ends.
DWORD WINAPI ChildBody(LPVOID) {
    int32_t w0 = Scratch_Pos();
    Str_Concat("Kind ");
    Str_FromInt(42, Scratch_Pos());
    Scratch_SetPos(w0);
    ++g_childRuns;
    return 0;
}

// Sleeps, composes and checks texts, assigns them to a variable and starts children,
// counting every step.
DWORD WINAPI WorkerBody(LPVOID argument) {
    const int round = static_cast<int>(reinterpret_cast<intptr_t>(argument));
    Round& me = g_rounds[round];
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    me.handle = self;
    ++me.progress;
    char* variable = nullptr;
    char expected[2200];
    for (int step = 0;; ++step) {
        Sleep_Ms(step % 3 == 0 ? 1 : 0);
        ++me.progress;

        int32_t w0 = Scratch_Pos();
        Str_Concat("Runde ");
        Str_FromInt(round, Scratch_Pos());
        Str_Concat(" Schritt ");
        Str_FromInt(-step, Scratch_Pos());
        int length = std::snprintf(expected, sizeof(expected), "Runde %d Schritt %d", round, -step);
        if (step % 5 == 2) {
            // A long piece makes the area grow in the middle of the text.
            std::memset(expected + length, 'z', 2000);
            expected[length + 2000] = '\0';
            Str_Concat(expected + length);
        }
        if (std::strcmp(Scratch_Ptr(w0), expected) != 0)
            ++me.textErrors;
        Str_Assign(&variable, w0);
        if (Str_Compare(variable, expected) != 1 || Scratch_Pos() != w0)
            ++me.textErrors;
        ++me.progress;

        if (step % 4 == 1) {
            if (Thread_Start(ChildBody, 0) != 0)
                ++g_childStarts;
            ++me.progress;
        }
        Thread_CheckCancel();
        ++me.progress;
    }
}

// Runs check on another thread; false if it does not finish within five seconds (a lock
// left held by a terminated thread would block it for ever).
template <typename Check> bool FinishesInTime(Check check) {
    // Shared with the checker, which may outlive this call when it hangs.
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread worker([done, check] {
        check();
        *done = true;
    });
    DWORD start = GetTickCount();
    while (!*done && GetTickCount() - start < 5000)
        Sleep(5);
    if (!*done) {
        worker.detach();
        return false;
    }
    worker.join();
    return true;
}

// Bytes in use in a heap.
size_t BusyBytes(HANDLE heap) {
    size_t busy = 0;
    if (!HeapLock(heap))
        return 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            busy += entry.cbData;
    }
    HeapUnlock(heap);
    return busy;
}

} // namespace

TEST(CancelStressTest, test_terminated_threads_never_run_on) {
    Heap_CreateMain();
    Str_Init();
    List_Init();
    Thread_Init();

    const unsigned seed = GetTickCount();
    std::mt19937 random(seed);
    std::printf("seed %u\n", seed);

    int snapshot[ROUNDS];
    int beforeFirstStep = 0;
    DWORD longestTerminate = 0;
    int mainTextErrors = 0;
    const DWORD started = GetTickCount();

    for (int r = 0; r < ROUNDS; ++r) {
        int32_t number = Thread_Start(WorkerBody, r);
        ASSERT_NE(number, 0) << "round " << r << ": Thread_Start failed";
        // A fifth at once (often before the worker ran), a fifth within 3 ms, the rest later.
        switch (random() % 5) {
            case 0:
                break;
            case 1: {
                DWORD until = GetTickCount() + random() % 4;
                while (GetTickCount() < until)
                    SwitchToThread();
                break;
            }
            default:
                Sleep(2 + random() % 24);
                break;
        }
        DWORD start = GetTickCount();
        Thread_Terminate(number);
        longestTerminate = std::max<DWORD>(longestTerminate, GetTickCount() - start);
        snapshot[r] = g_rounds[r].progress;
        if (snapshot[r] == 0)
            ++beforeFirstStep;
        HANDLE handle = g_rounds[r].handle;
        if (handle != nullptr) {
            EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0)
                << "round " << r << ": the worker still runs after Terminate returned";
        }
        // The main thread composes texts meanwhile.
        int32_t w0 = Scratch_Pos();
        Str_Concat("Haupt ");
        Str_FromInt(r, Scratch_Pos());
        if (Str_Compare(Scratch_Ptr(w0), ("Haupt " + std::to_string(r)).c_str()) != 1)
            ++mainTextErrors;
        Scratch_SetPos(w0);
    }
    const DWORD elapsed = GetTickCount() - started;

    // Children that were started go to their end; then nothing may move any more.
    DWORD start = GetTickCount();
    while (g_childRuns < g_childStarts && GetTickCount() - start < 10000)
        Sleep(10);
    Sleep(200);
    int ranOn = 0;
    int textErrors = 0;
    int firstRanOn = -1;
    int midway = 0;
    for (int r = 0; r < ROUNDS; ++r) {
        if (g_rounds[r].progress != snapshot[r]) {
            if (ranOn++ == 0)
                firstRanOn = r;
        }
        if (snapshot[r] > 1)
            ++midway;
        textErrors += g_rounds[r].textErrors;
        HANDLE handle = g_rounds[r].handle;
        if (handle != nullptr)
            CloseHandle(handle);
    }
    std::printf("%d rounds in %lu ms; %d terminated before the first step, %d after some steps; "
                "%d children; longest Terminate %lu ms\n",
                ROUNDS, elapsed, beforeFirstStep, midway, g_childStarts.load(), longestTerminate);

    EXPECT_EQ(ranOn, 0) << "workers made progress after Terminate returned (first: round " << firstRanOn
                        << ")";
    EXPECT_EQ(textErrors, 0) << "texts built by workers were damaged";
    EXPECT_EQ(mainTextErrors, 0) << "texts built by the main thread were damaged";
    EXPECT_EQ(g_childRuns.load(), g_childStarts.load()) << "every child started must run exactly once";
    EXPECT_GT(midway, 0) << "no worker was terminated after making progress: the test proves nothing";
    EXPECT_LT(longestTerminate, 5000u) << "a worker missed its cancellation points and was killed";

    // The thread lock, the heaps and the string area are still usable.
    EXPECT_TRUE(FinishesInTime([] { Thread_RecordCount(); })) << "the thread lock was left held";
    EXPECT_TRUE(FinishesInTime([] {
        HeapValidate(Heap_Main(), 0, nullptr);
        HeapValidate(Heap_List(), 0, nullptr);
        HeapValidate(Str_Heap(), 0, nullptr);
    })) << "a heap lock was left held";
    EXPECT_TRUE(HeapValidate(Heap_Main(), 0, nullptr));
    EXPECT_TRUE(HeapValidate(Heap_List(), 0, nullptr));
    EXPECT_TRUE(HeapValidate(Str_Heap(), 0, nullptr));
    // Terminated threads gave back their scratch areas (each would hold at least 16 KiB).
    size_t stringBytes = BusyBytes(Str_Heap());
    std::printf("string heap in use: %zu bytes\n", stringBytes);
    EXPECT_LT(stringBytes, static_cast<size_t>(ROUNDS) * 16384 / 4) << "scratch areas of ended threads leak";

    int32_t number = Thread_Start(ChildBody, 0);
    EXPECT_NE(number, 0);
    Thread_Terminate(number);
    void* record = Mem_Alloc(64);
    EXPECT_NE(record, nullptr);
    Mem_Free(record);
    ListRecord* head = nullptr;
    void* payload = List_Add(&head, 32);
    EXPECT_NE(payload, nullptr);
    List_Remove(&head, payload);
    int32_t w0 = Scratch_Pos();
    Str_Concat("Nachtriegel 0.");
    Str_FromInt(123, Scratch_Pos());
    EXPECT_STREQ(Scratch_Ptr(w0), "Nachtriegel 0.123");
    Scratch_SetPos(w0);
}
