// Numbered object tables, list records, module state blocks and the main and list heaps.
// A table belongs to the thread that created it; other threads may use it, but after the
// first such use its slot array never moves (see objtable.h). The heaps are serialised, so
// allocations from several threads are safe.
#include "core/objtable.h"

#include <cstring>

#include "core/contract.h"

namespace {

HANDLE g_mainHeap = nullptr;
HANDLE g_listHeap = nullptr;

// ---- Internal functions ----

// Creates a heap once, also when two threads get here at the same time.
HANDLE CreateHeapOnce(HANDLE* slot, SIZE_T initialSize) {
    HANDLE heap = static_cast<HANDLE>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
    if (heap != nullptr)
        return heap;
    HANDLE created = HeapCreate(0, initialSize, 0);
    if (created == nullptr)
        return nullptr;
    HANDLE previous = static_cast<HANDLE>(InterlockedCompareExchangePointer(slot, created, nullptr));
    if (previous != nullptr) {
        // Another thread won the race; keep its heap.
        HeapDestroy(created);
        return previous;
    }
    return created;
}

// The record header that carries payload.
ListRecord* RecordOf(void* payload) {
    return reinterpret_cast<ListRecord*>(static_cast<uint8_t*>(payload) - sizeof(ListRecord));
}

// The payload that follows a record header.
void* PayloadOf(ListRecord* record) {
    return reinterpret_cast<uint8_t*>(record) + sizeof(ListRecord);
}

// True if number names a slot of the array (rather than an identifier).
bool IsSlotNumber(const ObjectTable* table, ObjId number) {
    return number >= 0 && number < table->capacity;
}

// Address of slot number (number must be a valid slot number).
void* SlotOf(const ObjectTable* table, ObjId number) {
    return table->slots + static_cast<size_t>(number) * static_cast<size_t>(table->recordSize);
}

// The first pointer-sized field of a record: non-zero means used.
bool RecordUsed(const void* record) {
    uintptr_t first;
    std::memcpy(&first, record, sizeof(first));
    return first != 0;
}

// Payload of the table's list record whose payload address equals identifier, or null
// (table lock held).
void* FindListRecord(const ObjectTable* table, ObjId identifier) {
    for (ListRecord* record = table->listHead; record != nullptr; record = record->next) {
        void* payload = PayloadOf(record);
        if (reinterpret_cast<ObjId>(payload) == identifier)
            return payload;
    }
    return nullptr;
}

// FindListRecord under the table's lock, shared with other readers.
void* FindListRecordLocked(ObjectTable* table, ObjId identifier) {
    AcquireSRWLockShared(&table->lock);
    void* payload = FindListRecord(table, identifier);
    ReleaseSRWLockShared(&table->lock);
    return payload;
}

// Notes a use of the table by the calling thread. The first use by a thread other than the
// owner marks the table shared; taking the lock for it waits out a growth in progress, so
// that thread never reads a moving slot array.
void NoteUse(ObjectTable* table) {
    if (GetCurrentThreadId() == table->owner || InterlockedCompareExchange(&table->shared, 1, 1) != 0)
        return;
    AcquireSRWLockExclusive(&table->lock);
    table->shared = 1;
    ReleaseSRWLockExclusive(&table->lock);
}

// Grows the slot array so that it holds number. Refused and reported once the table is
// shared: another thread may hold a record pointer that the move would leave dangling.
bool GrowFor(ObjectTable* table, ObjId number) {
    ObjId wanted = number + table->growthStep;
    if (wanted > OBJ_NUMBER_LIMIT)
        wanted = OBJ_NUMBER_LIMIT;
    AcquireSRWLockExclusive(&table->lock);
    const bool refused = table->shared != 0;
    void* grown = nullptr;
    if (!refused) {
        grown = Mem_ReAlloc(table->slots, static_cast<size_t>(wanted) * table->recordSize);
        if (grown != nullptr) {
            table->slots = static_cast<uint8_t*>(grown);
            table->capacity = static_cast<int32_t>(wanted);
        }
    }
    ReleaseSRWLockExclusive(&table->lock);
    if (refused)
        Contract_Report(CONTRACT_TABLE_GROWTH);
    return grown != nullptr; // on failure the old array and capacity stay
}

} // namespace

// ---- Heaps ----

// Creates the main heap (growable, 4 KiB to start).
HANDLE Heap_CreateMain(void) {
    return CreateHeapOnce(&g_mainHeap, 4096);
}

void Heap_DestroyMain(void) {
    HANDLE heap = static_cast<HANDLE>(InterlockedExchangePointer(&g_mainHeap, nullptr));
    if (heap != nullptr)
        HeapDestroy(heap);
}

HANDLE Heap_Main(void) {
    return CreateHeapOnce(&g_mainHeap, 4096);
}

// Creates the list heap (growable, 1 KiB to start).
void List_Init(void) {
    CreateHeapOnce(&g_listHeap, 1024);
}

HANDLE Heap_List(void) {
    return CreateHeapOnce(&g_listHeap, 1024);
}

void* Mem_Alloc(size_t bytes) {
    HANDLE heap = Heap_Main();
    if (heap == nullptr)
        return nullptr;
    return HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

void* Mem_ReAlloc(void* block, size_t bytes) {
    if (block == nullptr)
        return Mem_Alloc(bytes);
    HANDLE heap = Heap_Main();
    if (heap == nullptr)
        return nullptr;
    return HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, bytes);
}

void Mem_Free(void* block) {
    if (block == nullptr)
        return;
    HANDLE heap = Heap_Main();
    if (heap != nullptr)
        HeapFree(heap, 0, block);
}

void Mem_Zero(void* pointer, size_t bytes) {
    if (pointer != nullptr && bytes != 0)
        std::memset(pointer, 0, bytes);
}

// ---- Object tables ----

ObjectTable* ObjTable_Create(int32_t recordSize, int32_t growthStep, ObjReleaseProc release) {
    if (recordSize < static_cast<int32_t>(sizeof(uintptr_t)) || growthStep <= 0 ||
        growthStep > OBJ_NUMBER_LIMIT)
        return nullptr;
    auto* table = static_cast<ObjectTable*>(Mem_Alloc(sizeof(ObjectTable)));
    if (table == nullptr)
        return nullptr;
    table->slots = static_cast<uint8_t*>(Mem_Alloc(static_cast<size_t>(growthStep) * recordSize));
    if (table->slots == nullptr) {
        Mem_Free(table);
        return nullptr;
    }
    table->recordSize = recordSize;
    table->growthStep = growthStep;
    table->capacity = growthStep;
    table->release = release;
    table->owner = GetCurrentThreadId();
    return table;
}

void* ObjTable_Acquire(ObjectTable* table, ObjId number) {
    if (table == nullptr)
        return nullptr;
    NoteUse(table);
    if (number == OBJ_ANY) {
        AcquireSRWLockExclusive(&table->lock);
        void* payload = List_Add(&table->listHead, static_cast<size_t>(table->recordSize));
        ReleaseSRWLockExclusive(&table->lock);
        return payload;
    }
    // Numbers beyond the limit could collide with identifiers; negative ones are no numbers.
    if (number < 0 || number >= OBJ_NUMBER_LIMIT)
        return nullptr;
    if (number >= table->capacity && !GrowFor(table, number))
        return nullptr;
    if (table->release != nullptr)
        table->release(number);
    // The release routine may have grown the array; compute the address afterwards.
    return SlotOf(table, number);
}

void* ObjTable_Find(ObjectTable* table, ObjId number) {
    if (table == nullptr)
        return nullptr;
    NoteUse(table);
    void* record = IsSlotNumber(table, number) ? SlotOf(table, number) : FindListRecordLocked(table, number);
    if (record == nullptr || !RecordUsed(record))
        return nullptr;
    return record;
}

void* ObjTable_Contains(ObjectTable* table, ObjId number) {
    if (table == nullptr)
        return nullptr;
    NoteUse(table);
    if (IsSlotNumber(table, number)) {
        void* record = SlotOf(table, number);
        return RecordUsed(record) ? record : nullptr;
    }
    return FindListRecordLocked(table, number);
}

void ObjTable_Discard(ObjectTable* table, ObjId number) {
    if (table == nullptr)
        return;
    NoteUse(table);
    if (IsSlotNumber(table, number)) {
        Mem_Zero(SlotOf(table, number), static_cast<size_t>(table->recordSize));
        return;
    }
    AcquireSRWLockExclusive(&table->lock);
    void* payload = FindListRecord(table, number);
    if (payload != nullptr) {
        // Keep a running iteration valid if it was about to return this record.
        ListRecord* record = RecordOf(payload);
        if (table->iterCursor == record)
            table->iterCursor = record->previous;
        List_Remove(&table->listHead, payload);
    }
    ReleaseSRWLockExclusive(&table->lock);
}

void ObjTable_Rewind(ObjectTable* table) {
    if (table == nullptr)
        return;
    table->iterIndex = 0;
    ListRecord* oldest = table->listHead;
    while (oldest != nullptr && oldest->next != nullptr)
        oldest = oldest->next;
    table->iterCursor = oldest;
}

void* ObjTable_Next(ObjectTable* table, ObjId* number) {
    if (table == nullptr)
        return nullptr;
    while (table->iterIndex < table->capacity) {
        int32_t index = table->iterIndex++;
        void* record = SlotOf(table, index);
        if (RecordUsed(record)) {
            if (number != nullptr)
                *number = index;
            return record;
        }
    }
    ListRecord* cursor = table->iterCursor;
    if (cursor == nullptr)
        return nullptr;
    table->iterCursor = cursor->previous;
    void* payload = PayloadOf(cursor);
    if (number != nullptr)
        *number = reinterpret_cast<ObjId>(payload);
    return payload;
}

// ---- Lists ----

void* List_Add(ListRecord** head, size_t bytes) {
    if (head == nullptr)
        return nullptr;
    HANDLE heap = Heap_List();
    if (heap == nullptr)
        return nullptr;
    auto* record = static_cast<ListRecord*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ListRecord) + bytes));
    if (record == nullptr)
        return nullptr;
    if (*head != nullptr) {
        (*head)->previous = record;
        record->next = *head;
    }
    *head = record;
    return PayloadOf(record);
}

void List_Remove(ListRecord** head, void* payload) {
    if (head == nullptr || payload == nullptr)
        return;
    ListRecord* record = RecordOf(payload);
    if (record == *head) {
        *head = record->next;
        if (*head != nullptr)
            (*head)->previous = nullptr;
    } else {
        if (record->previous != nullptr)
            record->previous->next = record->next;
        if (record->next != nullptr)
            record->next->previous = record->previous;
    }
    HeapFree(Heap_List(), 0, record);
}

void* List_First(ListRecord* head) {
    return head != nullptr ? PayloadOf(head) : nullptr;
}

void* List_Older(void* payload) {
    if (payload == nullptr)
        return nullptr;
    ListRecord* next = RecordOf(payload)->next;
    return next != nullptr ? PayloadOf(next) : nullptr;
}

void* List_Newer(void* payload) {
    if (payload == nullptr)
        return nullptr;
    ListRecord* previous = RecordOf(payload)->previous;
    return previous != nullptr ? PayloadOf(previous) : nullptr;
}

// ---- Module state blocks ----

void* ModuleState_Create(size_t bytes, ModuleStateInit initialiser) {
    void* block = Mem_Alloc(bytes);
    if (block != nullptr && initialiser != nullptr)
        initialiser(block);
    return block;
}

void* ModuleState_Get(void* block) {
    return block;
}
