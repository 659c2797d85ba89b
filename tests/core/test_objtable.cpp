// Tests of the object tables, list records, module state blocks and heaps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/contract.h"
#include "core/objtable.h"

namespace {

// A record as the object kinds lay it out: the native handle first.
struct TestRecord {
    uintptr_t handle;
    int32_t value;
};

// State seen by the release routine of the table under test.
ObjectTable* g_releaseTable = nullptr;
std::vector<ObjId> g_releaseCalls;
std::vector<uintptr_t> g_destroyedHandles;

// Release routine like the kinds': find the number, "destroy" the object, discard the slot.
void ReleaseTestObject(ObjId number) {
    g_releaseCalls.push_back(number);
    auto* record = static_cast<TestRecord*>(ObjTable_Find(g_releaseTable, number));
    if (record == nullptr)
        return;
    g_destroyedHandles.push_back(record->handle);
    ObjTable_Discard(g_releaseTable, number);
}

// Fills a record as a creating operation would after the platform object exists.
void* MakeObject(ObjectTable* table, ObjId number, uintptr_t handle) {
    auto* record = static_cast<TestRecord*>(ObjTable_Acquire(table, number));
    if (record != nullptr)
        record->handle = handle;
    return record;
}

bool AllZero(const void* p, size_t bytes) {
    auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < bytes; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

class ObjTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Heap_CreateMain();
        List_Init();
        g_releaseCalls.clear();
        g_destroyedHandles.clear();
    }
};

} // namespace

TEST_F(ObjTableTest, test_create_and_growth_sizes) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->capacity, 16) << "a new table holds growth step slots";
    EXPECT_EQ(table->growthStep, 16);
    EXPECT_EQ(table->recordSize, static_cast<int32_t>(sizeof(TestRecord)));
    EXPECT_EQ(table->listHead, nullptr);
    EXPECT_TRUE(AllZero(table->slots, 16 * sizeof(TestRecord))) << "new slots must be zero";

    MakeObject(table, 3, 0x1234);
    ASSERT_NE(ObjTable_Acquire(table, 16), nullptr);
    EXPECT_EQ(table->capacity, 32) << "acquiring 16 grows to 16 + step";
    ASSERT_NE(ObjTable_Acquire(table, 100), nullptr);
    EXPECT_EQ(table->capacity, 116) << "acquiring 100 grows to 100 + step";
    auto* kept = static_cast<TestRecord*>(ObjTable_Find(table, 3));
    ASSERT_NE(kept, nullptr) << "growth must keep existing slots";
    EXPECT_EQ(kept->handle, 0x1234u);
    for (ObjId n = 16; n < 116; ++n)
        EXPECT_EQ(ObjTable_Find(table, n), nullptr) << "grown slot " << n << " must be free";
    // Numbering 1, 2, 3 ... grows once per step.
    ASSERT_NE(ObjTable_Acquire(table, 116), nullptr);
    EXPECT_EQ(table->capacity, 132);
    ASSERT_NE(ObjTable_Acquire(table, 117), nullptr);
    EXPECT_EQ(table->capacity, 132);
}

TEST_F(ObjTableTest, test_create_rejects_bad_sizes) {
    EXPECT_EQ(ObjTable_Create(0, 16, nullptr), nullptr) << "records must hold a pointer-sized handle";
    EXPECT_EQ(ObjTable_Create(static_cast<int32_t>(sizeof(void*)) - 1, 16, nullptr), nullptr);
    EXPECT_EQ(ObjTable_Create(sizeof(TestRecord), 0, nullptr), nullptr);
    EXPECT_EQ(ObjTable_Create(sizeof(TestRecord), -3, nullptr), nullptr);
}

TEST_F(ObjTableTest, test_acquire_runs_release_routine) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, ReleaseTestObject);
    ASSERT_NE(table, nullptr);
    g_releaseTable = table;

    // A free number: the routine runs and finds nothing to do.
    MakeObject(table, 5, 0xAAAA);
    ASSERT_EQ(g_releaseCalls.size(), 1u);
    EXPECT_EQ(g_releaseCalls[0], 5);
    EXPECT_TRUE(g_destroyedHandles.empty());

    // The same number again: the old object is destroyed before the slot is handed out.
    auto* record = static_cast<TestRecord*>(ObjTable_Acquire(table, 5));
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(g_destroyedHandles.size(), 1u);
    EXPECT_EQ(g_destroyedHandles[0], 0xAAAAu);
    EXPECT_EQ(record->handle, 0u) << "the slot comes back cleared";

    // Growth happens before the routine is called with the new number.
    g_releaseCalls.clear();
    ASSERT_NE(ObjTable_Acquire(table, 40), nullptr);
    ASSERT_EQ(g_releaseCalls.size(), 1u);
    EXPECT_EQ(g_releaseCalls[0], 40);

    // OBJ_ANY never calls the routine.
    g_releaseCalls.clear();
    ASSERT_NE(ObjTable_Acquire(table, OBJ_ANY), nullptr);
    EXPECT_TRUE(g_releaseCalls.empty());
}

TEST_F(ObjTableTest, test_find_free_and_discarded_slots) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ObjTable_Find(table, 0), nullptr) << "never filled";
    EXPECT_EQ(ObjTable_Find(table, 15), nullptr);
    MakeObject(table, 2, 0x77);
    EXPECT_EQ(ObjTable_Find(table, 2), table->slots + 2 * sizeof(TestRecord));
    EXPECT_EQ(ObjTable_Contains(table, 2), ObjTable_Find(table, 2));
    ObjTable_Discard(table, 2);
    EXPECT_EQ(ObjTable_Find(table, 2), nullptr) << "discarded";
    EXPECT_EQ(ObjTable_Contains(table, 2), nullptr);
    EXPECT_TRUE(AllZero(table->slots + 2 * sizeof(TestRecord), sizeof(TestRecord)));
    // An acquired slot whose handle was never written (a failed creation) stays free.
    ASSERT_NE(ObjTable_Acquire(table, 7), nullptr);
    EXPECT_EQ(ObjTable_Find(table, 7), nullptr);
}

TEST_F(ObjTableTest, test_identifiers_of_obj_any) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    void* payload = MakeObject(table, OBJ_ANY, 0x4242);
    ASSERT_NE(payload, nullptr);
    ObjId id = reinterpret_cast<ObjId>(payload);
    EXPECT_NE(id, OBJ_ANY);
    EXPECT_FALSE(id >= 0 && id < table->capacity) << "identifier " << id << " collides with a slot number";
    EXPECT_TRUE(id >= OBJ_NUMBER_LIMIT || id < 0) << "identifier below the number limit: " << id;
    EXPECT_EQ(table->capacity, 16) << "OBJ_ANY must not touch the slot array";

    EXPECT_EQ(ObjTable_Find(table, id), payload);
    EXPECT_EQ(ObjTable_Contains(table, id), payload);
    ObjTable_Discard(table, id);
    EXPECT_EQ(ObjTable_Find(table, id), nullptr) << "discarded identifier must be gone";
    EXPECT_EQ(ObjTable_Contains(table, id), nullptr);
    EXPECT_EQ(table->listHead, nullptr) << "the list record must be unlinked";

    // A list record whose handle is not set yet is contained but not found.
    void* blank = ObjTable_Acquire(table, OBJ_ANY);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(ObjTable_Contains(table, reinterpret_cast<ObjId>(blank)), blank);
    EXPECT_EQ(ObjTable_Find(table, reinterpret_cast<ObjId>(blank)), nullptr);
    ObjTable_Discard(table, reinterpret_cast<ObjId>(blank));
}

TEST_F(ObjTableTest, test_numbers_that_name_nothing_yield_null) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ObjectTable* other = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(other, nullptr);
    MakeObject(table, OBJ_ANY, 0x99);
    void* foreign = MakeObject(other, OBJ_ANY, 0x98);
    // Live memory that is no identifier of this table (the other table's record, a heap
    // block) and plain numbers beyond capacity must not be read through.
    void* block = Mem_Alloc(64);
    std::memset(block, 0xFF, 64);
    const ObjId bogus[] = {16,
                           17,
                           1000,
                           OBJ_NUMBER_LIMIT,
                           -2,
                           -12345,
                           OBJ_ANY,
                           reinterpret_cast<ObjId>(foreign),
                           reinterpret_cast<ObjId>(block)};
    for (ObjId n : bogus) {
        EXPECT_EQ(ObjTable_Find(table, n), nullptr) << "Find(" << n << ")";
        EXPECT_EQ(ObjTable_Contains(table, n), nullptr) << "Contains(" << n << ")";
        ObjTable_Discard(table, n); // must do nothing
    }
    EXPECT_NE(ObjTable_Find(other, reinterpret_cast<ObjId>(foreign)), nullptr)
        << "Discard hit a foreign table";
    EXPECT_NE(table->listHead, nullptr) << "Discard of a bogus number removed a record";
    EXPECT_EQ(table->capacity, 16);
    Mem_Free(block);
}

TEST_F(ObjTableTest, test_acquire_refuses_numbers_out_of_range) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ObjTable_Acquire(table, -2), nullptr);
    EXPECT_EQ(ObjTable_Acquire(table, OBJ_NUMBER_LIMIT), nullptr);
    EXPECT_EQ(table->capacity, 16);
    // The highest number is accepted, capacity stops at the limit.
    ASSERT_NE(ObjTable_Acquire(table, OBJ_NUMBER_LIMIT - 1), nullptr);
    EXPECT_EQ(table->capacity, OBJ_NUMBER_LIMIT);
}

TEST_F(ObjTableTest, test_failed_growth_keeps_table) {
    // Records of 256 MiB: growing to 1001 of them cannot succeed.
    constexpr int32_t huge = 256 * 1024 * 1024;
    ObjectTable* table = ObjTable_Create(huge, 1, nullptr);
    if (table == nullptr)
        GTEST_SKIP() << "no room for even one 256 MiB record";
    uint8_t* slots = table->slots;
    *reinterpret_cast<uintptr_t*>(slots) = 0x55;
    EXPECT_EQ(ObjTable_Acquire(table, 1000), nullptr) << "growth to 250 GiB must fail";
    EXPECT_EQ(table->capacity, 1) << "a failed growth keeps the old capacity";
    EXPECT_EQ(table->slots, slots) << "a failed growth keeps the old array";
    EXPECT_NE(ObjTable_Find(table, 0), nullptr) << "a failed growth keeps the old contents";
    Mem_Free(table->slots);
    Mem_Free(table);
}

namespace {

// What another thread saw of a table: the record of a number, or lookups of identifiers while
// the test adds and discards them.
struct OtherThread {
    ObjectTable* table;
    ObjId number;
    void* record;
    volatile LONG stop;
    volatile LONG lookups;
    volatile LONG wrong;
    void* acquired;
};

// Looks one number up and keeps the record's address, as a thread that reads a control would.
DWORD WINAPI LookUpOnce(LPVOID parameter) {
    auto* other = static_cast<OtherThread*>(parameter);
    other->record = ObjTable_Find(other->table, other->number);
    return 0;
}

// Tries to make an object under a number beyond the table's capacity.
DWORD WINAPI AcquireBeyond(LPVOID parameter) {
    auto* other = static_cast<OtherThread*>(parameter);
    other->acquired = ObjTable_Acquire(other->table, other->number);
    return 0;
}

// Looks up the identifier published in `record` (a record that stays) until told to stop; it
// must always be found, with the value the test gave it.
DWORD WINAPI LookUpIdentifiers(LPVOID parameter) {
    auto* other = static_cast<OtherThread*>(parameter);
    while (InterlockedCompareExchange(&other->stop, 0, 0) == 0) {
        void* published = InterlockedCompareExchangePointer(&other->record, nullptr, nullptr);
        auto* found =
            static_cast<TestRecord*>(ObjTable_Find(other->table, reinterpret_cast<ObjId>(published)));
        if (published != nullptr && (found == nullptr || found->value != 77))
            InterlockedIncrement(&other->wrong);
        InterlockedIncrement(&other->lookups);
    }
    return 0;
}

void RunAndJoin(LPTHREAD_START_ROUTINE body, OtherThread* other) {
    HANDLE thread = CreateThread(nullptr, 0, body, other, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

} // namespace

// The thread contract of a table: its owner (the creating thread) grows it freely until another
// thread has used it; from then on the slot array never moves, so record pointers held elsewhere
// stay valid. A growth is refused like a failed allocation and counted as a breach.
TEST_F(ObjTableTest, test_slots_never_move_once_another_thread_used_the_table) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    MakeObject(table, 3, 0x33);
    ASSERT_NE(MakeObject(table, 20, 0x20), nullptr) << "the owner alone grows the table";
    ASSERT_EQ(table->capacity, 36);

    OtherThread other = {table, 3, nullptr, 0, 0, 0, nullptr};
    RunAndJoin(LookUpOnce, &other);
    ASSERT_EQ(other.record, ObjTable_Find(table, 3));

    const int32_t breaches = Contract_Count(CONTRACT_TABLE_GROWTH);
    uint8_t* slots = table->slots;
    EXPECT_EQ(MakeObject(table, 40, 0x40), nullptr) << "growing would move the record the other thread holds";
    EXPECT_EQ(Contract_Count(CONTRACT_TABLE_GROWTH), breaches + 1) << "the refused growth must be reported";
    EXPECT_EQ(table->slots, slots);
    EXPECT_EQ(table->capacity, 36);
    EXPECT_EQ(ObjTable_Find(table, 3), other.record);
    EXPECT_NE(MakeObject(table, 35, 0x35), nullptr) << "numbers within the capacity are still handed out";

    // Another thread cannot grow the table either.
    other.number = 36;
    RunAndJoin(AcquireBeyond, &other);
    EXPECT_EQ(other.acquired, nullptr);
    EXPECT_EQ(Contract_Count(CONTRACT_TABLE_GROWTH), breaches + 2);
    EXPECT_EQ(table->capacity, 36);

    // OBJ_ANY records live outside the array. While another thread looks up the ones that stay,
    // others come and go in the same list.
    other.record = nullptr;
    HANDLE reader = CreateThread(nullptr, 0, LookUpIdentifiers, &other, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    const DWORD start = GetTickCount();
    while (InterlockedCompareExchange(&other.lookups, 0, 0) == 0 && GetTickCount() - start < 5000)
        Sleep(1);
    for (int i = 0; i < 3000 || (other.lookups < 1000 && GetTickCount() - start < 5000); ++i) {
        auto* record = static_cast<TestRecord*>(MakeObject(table, OBJ_ANY, 0x1000 + i));
        ASSERT_NE(record, nullptr);
        record->value = 77;
        if (i % 2 == 0)
            InterlockedExchangePointer(&other.record, record);
        else
            ObjTable_Discard(table, reinterpret_cast<ObjId>(record));
    }
    InterlockedExchange(&other.stop, 1);
    EXPECT_EQ(WaitForSingleObject(reader, 5000), WAIT_OBJECT_0);
    CloseHandle(reader);
    EXPECT_GT(other.lookups, 100) << "the lookups must run beside the changes";
    EXPECT_EQ(other.wrong, 0);
    EXPECT_TRUE(HeapValidate(Heap_List(), 0, nullptr));
    EXPECT_EQ(Contract_Count(CONTRACT_TABLE_GROWTH), breaches + 2) << "OBJ_ANY records never grow the array";
}

TEST_F(ObjTableTest, test_iteration_order_and_discard_during_walk) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 16, nullptr);
    ASSERT_NE(table, nullptr);
    MakeObject(table, 3, 0x33);
    MakeObject(table, 1, 0x11);
    ObjId a = reinterpret_cast<ObjId>(MakeObject(table, OBJ_ANY, 0xA));
    ObjId b = reinterpret_cast<ObjId>(MakeObject(table, OBJ_ANY, 0xB));
    // An unused list record is returned too.
    ObjId c = reinterpret_cast<ObjId>(ObjTable_Acquire(table, OBJ_ANY));

    std::vector<ObjId> seen;
    ObjTable_Rewind(table);
    ObjId number = 0;
    while (void* record = ObjTable_Next(table, &number)) {
        seen.push_back(number);
        if (number >= 0 && number < table->capacity)
            EXPECT_EQ(record, ObjTable_Find(table, number));
        else
            EXPECT_EQ(record, reinterpret_cast<void*>(number));
    }
    const std::vector<ObjId> expected = {1, 3, a, b, c};
    EXPECT_EQ(seen, expected);

    // Discarding every object as it is returned still ends after the last one.
    seen.clear();
    ObjTable_Rewind(table);
    int guard = 0;
    while (ObjTable_Next(table, &number) != nullptr && ++guard < 100) {
        seen.push_back(number);
        ObjTable_Discard(table, number);
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(table->listHead, nullptr);
    ObjTable_Rewind(table);
    EXPECT_EQ(ObjTable_Next(table, &number), nullptr) << "everything was discarded";
}

TEST_F(ObjTableTest, test_discarding_an_object_not_yet_returned) {
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 4, nullptr);
    ASSERT_NE(table, nullptr);
    ObjId a = reinterpret_cast<ObjId>(MakeObject(table, OBJ_ANY, 0xA));
    ObjId b = reinterpret_cast<ObjId>(MakeObject(table, OBJ_ANY, 0xB));
    ObjId c = reinterpret_cast<ObjId>(MakeObject(table, OBJ_ANY, 0xC));
    ObjTable_Rewind(table);
    ObjId number = 0;
    ASSERT_NE(ObjTable_Next(table, &number), nullptr);
    EXPECT_EQ(number, a);
    // A release routine may destroy more than the object in hand.
    ObjTable_Discard(table, b);
    ASSERT_NE(ObjTable_Next(table, &number), nullptr);
    EXPECT_EQ(number, c) << "the walk must skip the freed record";
    EXPECT_EQ(ObjTable_Next(table, &number), nullptr);
}

TEST_F(ObjTableTest, test_list_links_after_removal) {
    ListRecord* head = nullptr;
    std::vector<void*> payloads;
    for (int i = 0; i < 5; ++i) {
        void* p = List_Add(&head, 24);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(AllZero(p, 24)) << "payload " << i << " must start zeroed";
        static_cast<int*>(p)[0] = i;
        payloads.push_back(p);
    }
    EXPECT_EQ(List_First(head), payloads[4]) << "the head is the newest record";

    // Walks both directions and returns the values newest first.
    auto walk = [&head]() {
        std::vector<int> forward;
        void* last = nullptr;
        for (void* p = List_First(head); p != nullptr; p = List_Older(p)) {
            forward.push_back(static_cast<int*>(p)[0]);
            last = p;
        }
        std::vector<int> backward;
        for (void* p = last; p != nullptr; p = List_Newer(p))
            backward.insert(backward.begin(), static_cast<int*>(p)[0]);
        EXPECT_EQ(forward, backward) << "previous and next links disagree";
        if (head != nullptr) {
            EXPECT_EQ(List_Newer(List_First(head)), nullptr) << "the head has no newer record";
        }
        return forward;
    };
    EXPECT_EQ(walk(), (std::vector<int>{4, 3, 2, 1, 0}));
    List_Remove(&head, payloads[4]); // head
    EXPECT_EQ(walk(), (std::vector<int>{3, 2, 1, 0}));
    List_Remove(&head, payloads[2]); // middle
    EXPECT_EQ(walk(), (std::vector<int>{3, 1, 0}));
    List_Remove(&head, payloads[0]); // last (oldest)
    EXPECT_EQ(walk(), (std::vector<int>{3, 1}));
    List_Remove(&head, payloads[3]);
    List_Remove(&head, payloads[1]);
    EXPECT_EQ(head, nullptr);
    List_Remove(&head, nullptr); // ignored
    EXPECT_TRUE(HeapValidate(Heap_List(), 0, nullptr));
}

TEST_F(ObjTableTest, test_module_state_and_zero_fill) {
    static void* seen = nullptr;
    struct State {
        int32_t a;
        void* b;
        char text[40];
    };
    void* block = ModuleState_Create(sizeof(State), [](void* p) {
        seen = p;
        EXPECT_TRUE(AllZero(p, sizeof(State))) << "the initialiser must get a zeroed block";
        static_cast<State*>(p)->a = 7;
    });
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(seen, block);
    EXPECT_EQ(ModuleState_Get(block), block);
    EXPECT_EQ(static_cast<State*>(block)->a, 7);
    void* plain = ModuleState_Create(16, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(AllZero(plain, 16));

    char bytes[10];
    std::memset(bytes, 'x', sizeof(bytes));
    Mem_Zero(bytes + 2, 5);
    EXPECT_EQ(std::string(bytes, 10), std::string("xx\0\0\0\0\0xxx", 10));
    Mem_Zero(nullptr, 5); // ignored
}

TEST_F(ObjTableTest, test_heaps_are_created_once) {
    HANDLE main = Heap_CreateMain();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Heap_CreateMain(), main) << "a second start-up call must not make a new heap";
    EXPECT_EQ(Heap_Main(), main);
    List_Init();
    HANDLE list = Heap_List();
    ASSERT_NE(list, nullptr);
    List_Init();
    EXPECT_EQ(Heap_List(), list);
    EXPECT_NE(list, main);
    void* p = Mem_Alloc(100);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(p, 100));
    p = Mem_ReAlloc(p, 4000);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(static_cast<uint8_t*>(p) + 100, 3900)) << "grown part must be zero";
    Mem_Free(p);
    Mem_Free(nullptr);
    EXPECT_TRUE(HeapValidate(main, 0, nullptr));
}

// Runs last in this program: the main heap can be destroyed and made anew.
TEST_F(ObjTableTest, test_zz_destroy_main_heap) {
    HANDLE before = Heap_CreateMain();
    ASSERT_NE(before, nullptr);
    Heap_DestroyMain();
    Heap_DestroyMain(); // a second call does nothing
    HANDLE after = Heap_CreateMain();
    ASSERT_NE(after, nullptr);
    ObjectTable* table = ObjTable_Create(sizeof(TestRecord), 4, nullptr);
    ASSERT_NE(table, nullptr) << "tables must work in the new main heap";
    EXPECT_TRUE(HeapValidate(after, 0, table));
}
