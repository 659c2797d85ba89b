// Numbered object tables, doubly linked list records, module state blocks and the
// toolkit's private heaps. This is the bottom layer: it only talks to the platform heap.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// An object number (0, 1, 2 ...) or, for objects made with OBJ_ANY, the object identifier.
// Pointer sized so that an identifier (the record's payload address) fits on both
// architectures.
typedef intptr_t ObjId;

// Asks ObjTable_Acquire for a record outside the numbered slots.
constexpr ObjId OBJ_ANY = -1;

// Numbers at or above this limit are refused by ObjTable_Acquire. The first 64 KiB of
// the address space are never handed out by the platform, so an identifier (a payload
// address) can never collide with a valid slot number.
constexpr ObjId OBJ_NUMBER_LIMIT = 0x10000;

// Called with a number just before its slot is handed out, so that an object still
// holding that number is destroyed first.
typedef void (*ObjReleaseProc)(ObjId number);

// Initialiser handed to ModuleState_Create.
typedef void (*ModuleStateInit)(void* block);

// Header of a list record; the payload follows directly after it. Callers hold payload
// pointers only; the list itself is named by its head pointer (the newest record).
struct ListRecord {
    ListRecord* next;     // older record, or null
    ListRecord* previous; // newer record, or null
};

// One table per object kind. Slot rule: the first pointer-sized field of every record holds
// the object's native handle; zero means the slot is free.
//
// Threads: the thread that creates a table owns it. Other threads may look records up (and
// fill or clear the slots of objects they own), but once any other thread has used a table its
// slot array never moves again: a growth is refused (ObjTable_Acquire returns null) and reported
// as a breach of the thread contract, since a reader there may hold a record pointer. The list
// of OBJ_ANY records is searched and changed under the table's lock. An iteration (a release at the
// program's end, a look-up that walks the table) is the owner thread's alone: the table has one cursor.
struct ObjectTable {
    int32_t recordSize;     // bytes of one record
    int32_t growthStep;     // initial capacity and extra slots added on growth
    int32_t capacity;       // valid numbers are 0 .. capacity - 1
    ListRecord* listHead;   // newest OBJ_ANY record, or null
    ObjReleaseProc release; // may be null
    int32_t iterIndex;      // next slot to examine in an iteration
    ListRecord* iterCursor; // next list record to return in an iteration
    uint8_t* slots;         // capacity * recordSize bytes in the main heap
    DWORD owner;            // thread that created the table
    volatile LONG shared;   // 1 once another thread has used the table: the slots stay put
    SRWLOCK lock;           // orders a growth against a first use elsewhere; guards the list
};

// ---- Heaps ----

// Creates the main heap (idempotent). The application's start-up calls it first of all.
HANDLE Heap_CreateMain(void);
// Destroys the main heap; everything allocated from it (tables, state blocks) is gone.
void Heap_DestroyMain(void);
// The main heap; created on first use if start-up has not done so yet.
HANDLE Heap_Main(void);
// Creates the list heap (idempotent). Start-up calls it right after Str_Init.
void List_Init(void);
// The list heap; created on first use if List_Init has not run yet.
HANDLE Heap_List(void);

// Zero-filled block from the main heap, or null.
void* Mem_Alloc(size_t bytes);
// Resizes a main-heap block; added bytes are zero. Returns null (block untouched) on failure.
void* Mem_ReAlloc(void* block, size_t bytes);
// Frees a main-heap block; null is ignored.
void Mem_Free(void* block);
// Fills bytes with zero.
void Mem_Zero(void* pointer, size_t bytes);

// ---- Object tables ----

// New table with growthStep zeroed slots, or null (bad sizes, no memory).
// recordSize must be at least pointer sized.
ObjectTable* ObjTable_Create(int32_t recordSize, int32_t growthStep, ObjReleaseProc release);
// Record to fill for number (grows the table, runs the release routine first), or for OBJ_ANY
// a new list record whose payload address is the new identifier. Null on failure, also when the
// table would have to grow after another thread has used it.
void* ObjTable_Acquire(ObjectTable* table, ObjId number);
// Record of a used slot or of a live OBJ_ANY identifier of this table, else null.
void* ObjTable_Find(ObjectTable* table, ObjId number);
// Record if number is a used slot or the identifier of one of the table's list records
// (used or not), else null.
void* ObjTable_Contains(ObjectTable* table, ObjId number);
// Forgets an object: clears its slot or unlinks and frees its list record. Does not destroy
// the platform object.
void ObjTable_Discard(ObjectTable* table, ObjId number);
// Starts an iteration: numbered slots ascending, then OBJ_ANY records oldest first.
void ObjTable_Rewind(ObjectTable* table);
// Next object of the iteration (stores its number or identifier), or null at the end.
// The returned object may be discarded before the next call.
void* ObjTable_Next(ObjectTable* table, ObjId* number);

// ---- Lists ----

// Zero-filled record with a payload of bytes, linked as the new head; returns the payload
// or null.
void* List_Add(ListRecord** head, size_t bytes);
// Unlinks the record carrying payload and frees it. Null payload is ignored.
void List_Remove(ListRecord** head, void* payload);
// Payload of the newest record, or null for an empty list.
void* List_First(ListRecord* head);
// Payload of the record added before this one (older), or null.
void* List_Older(void* payload);
// Payload of the record added after this one (newer), or null.
void* List_Newer(void* payload);

// ---- Module state blocks ----

// Zero-filled block from the main heap, passed to initialiser (if any); null on failure.
void* ModuleState_Create(size_t bytes, ModuleStateInit initialiser);
// Returns the block.
void* ModuleState_Get(void* block);
