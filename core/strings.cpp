// The string scratch area, string variables, comparison and decimal conversions.
// Each thread composes its texts in its own scratch area (thread-local, created on first
// use), so texts built on several threads at once never overlap. All areas and all string
// variables live in one string heap; it is a serialised heap because blocks are allocated,
// grown and freed by several threads, and a variable may be reassigned on another thread
// than the one that first filled it.
#include "core/strings.h"
#include "core/contract.h"
#include "core/tls.h"

#include <cstring>

namespace {

// First block of a thread's area: 16 bytes, all usable.
constexpr int32_t FIRST_BLOCK = 16;
// Growth beyond what the piece in hand needs.
constexpr int32_t GROWTH = 16384;
// Bytes kept free at the end of the usable size for the terminating zero.
constexpr int32_t TAIL = 4;
// Extra bytes of every grown block and of every string variable.
constexpr int32_t EXTRA = 5;

struct ScratchState {
    char* base;       // block in the string heap, or null before first use
    int32_t position; // write position
    int32_t capacity; // usable size
    int32_t size;     // bytes of the block
};

HANDLE g_stringHeap = nullptr;

void NTAPI FreeScratchState(void* value);

// Each thread's ScratchState, freed with its block when the thread ends.
ThreadSlot<FreeScratchState> g_scratchSlot;

// ---- Internal functions ----

// Creates the string heap once, also when two threads get here at the same time.
HANDLE StringHeap() {
    HANDLE heap = static_cast<HANDLE>(InterlockedCompareExchangePointer(&g_stringHeap, nullptr, nullptr));
    if (heap != nullptr)
        return heap;
    HANDLE created = HeapCreate(0, 4096, 0);
    if (created == nullptr)
        return nullptr;
    HANDLE previous = static_cast<HANDLE>(InterlockedCompareExchangePointer(&g_stringHeap, created, nullptr));
    if (previous != nullptr) {
        HeapDestroy(created);
        return previous;
    }
    return created;
}

// Frees a thread's area and its state record (at thread end, or on request).
void NTAPI FreeScratchState(void* value) {
    ScratchState* s = static_cast<ScratchState*>(value);
    if (s == nullptr)
        return;
    if (s->base != nullptr)
        HeapFree(StringHeap(), 0, s->base);
    HeapFree(StringHeap(), 0, s);
}

// The calling thread's state record, created on first use; null if no memory could be had.
ScratchState* ThreadState() {
    ScratchState* s = static_cast<ScratchState*>(g_scratchSlot.Get());
    if (s != nullptr)
        return s;
    HANDLE heap = StringHeap();
    if (heap == nullptr)
        return nullptr;
    s = static_cast<ScratchState*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ScratchState)));
    if (s == nullptr)
        return nullptr;
    if (!g_scratchSlot.Set(s)) {
        HeapFree(heap, 0, s);
        return nullptr;
    }
    return s;
}

// The calling thread's area, created on first use; null if no memory could be had.
ScratchState* Scratch() {
    ScratchState* s = ThreadState();
    if (s == nullptr)
        return nullptr;
    if (s->base != nullptr)
        return s;
    HANDLE heap = StringHeap();
    if (heap == nullptr)
        return nullptr;
    s->base = static_cast<char*>(HeapAlloc(heap, 0, FIRST_BLOCK));
    if (s->base == nullptr)
        return nullptr;
    s->base[0] = '\0';
    s->position = 0;
    s->capacity = FIRST_BLOCK;
    s->size = FIRST_BLOCK;
    return s;
}

// Makes sure a text may extend to offset end (end < capacity - 4); false if it cannot grow.
bool EnsureRoom(ScratchState* s, int64_t end) {
    if (end < s->capacity - TAIL)
        return true;
    int64_t capacity = end + GROWTH;
    if (capacity + EXTRA > INT32_MAX)
        return false;
    void* grown = HeapReAlloc(StringHeap(), 0, s->base, static_cast<SIZE_T>(capacity + EXTRA));
    if (grown == nullptr)
        return false; // the old block and its contents stay
    s->base = static_cast<char*>(grown);
    s->capacity = static_cast<int32_t>(capacity);
    s->size = static_cast<int32_t>(capacity + EXTRA);
    return true;
}

// Offset of text if it lies inside the area (its address would go stale on growth), else -1.
int64_t OffsetInArea(const ScratchState* s, const char* text) {
    if (text >= s->base && text < s->base + s->size)
        return text - s->base;
    return -1;
}

// Past the blanks and tabs and one sign of a number's text; *negative tells whether the sign was '-'.
const char* SkipBlanksAndSign(const char* text, bool* negative) {
    while (*text == ' ' || *text == '\t')
        ++text;
    *negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    return text;
}

// Shared scanner of both conversions: blanks and tabs, one sign, then digits. The wrapped value
// is the 32-bit two's-complement result; *tooLarge tells whether the magnitude left the range.
int32_t ScanDecimal(const char* text, bool* tooLarge, bool* negative) {
    *tooLarge = false;
    *negative = false;
    if (text == nullptr)
        return 0;
    text = SkipBlanksAndSign(text, negative);
    uint32_t value = 0;
    uint64_t magnitude = 0; // exact, held at the first value past 2^31
    constexpr uint64_t kPastRange = 0x80000001ull;
    while (*text >= '0' && *text <= '9') {
        const uint32_t digit = static_cast<uint32_t>(*text - '0');
        value = value * 10u + digit;
        if (magnitude < kPastRange)
            magnitude = magnitude * 10u + digit;
        ++text;
    }
    *tooLarge = magnitude > (*negative ? 0x80000000ull : 0x7FFFFFFFull);
    if (*negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

} // namespace

// ---- Scratch area ----

void Str_Init(void) {
    StringHeap();
}

HANDLE Str_Heap(void) {
    return StringHeap();
}

char* Scratch_Reserve(int32_t n, int32_t target) {
    ScratchState* s = Scratch();
    if (s == nullptr)
        return nullptr;
    if (n < 0)
        n = 0;
    if (target < 0)
        target = 0;
    // The text may be written above the current position; make room for the higher end.
    int64_t from = target > s->position ? target : s->position;
    if (!EnsureRoom(s, from + n))
        return nullptr;
    s->position = target + n;
    return s->base + target;
}

void Scratch_Shrink(int32_t k) {
    ScratchState* s = Scratch();
    if (s == nullptr)
        return;
    int64_t position = static_cast<int64_t>(s->position) - k;
    if (position < 0)
        position = 0;
    if (position > s->position)
        position = s->position; // a negative k does not move forward
    s->position = static_cast<int32_t>(position);
}

void Scratch_SetPos(int32_t offset) {
    ScratchState* s = Scratch();
    if (s == nullptr)
        return;
    if (offset < 0)
        offset = 0;
    if (!EnsureRoom(s, offset))
        return;
    s->position = offset;
    s->base[offset] = '\0';
}

void Scratch_EndFrame(int32_t start) {
    if (Scratch_Pos() < start)
        Contract_Report(CONTRACT_SCRATCH_FRAME);
    Scratch_SetPos(start);
}

int32_t Scratch_Pos(void) {
    ScratchState* s = Scratch();
    return s != nullptr ? s->position : 0;
}

char* Scratch_Ptr(int32_t offset) {
    ScratchState* s = Scratch();
    if (s == nullptr)
        return nullptr;
    return s->base + offset;
}

int32_t Scratch_Capacity(void) {
    ScratchState* s = Scratch();
    return s != nullptr ? s->capacity : 0;
}

void Scratch_ReleaseThread(void) {
    ScratchState* s = static_cast<ScratchState*>(g_scratchSlot.Get());
    if (s == nullptr)
        return;
    g_scratchSlot.Set(nullptr);
    FreeScratchState(s);
}

// ---- Texts ----

void Str_Concat(const char* text) {
    ScratchState* s = Scratch();
    if (s == nullptr)
        return;
    if (text == nullptr) {
        s->base[s->position] = '\0';
        return;
    }
    size_t length = std::strlen(text);
    if (length > static_cast<size_t>(INT32_MAX))
        return;
    int32_t n = static_cast<int32_t>(length);
    // A text taken from the area itself moves with it when the area grows.
    int64_t sourceOffset = OffsetInArea(s, text);
    char* destination = Scratch_Reserve(n, s->position);
    if (destination == nullptr)
        return;
    const char* source = sourceOffset >= 0 ? s->base + sourceOffset : text;
    std::memmove(destination, source, length);
    destination[n] = '\0';
}

void Str_Assign(char** variable, int32_t start) {
    ScratchState* s = Scratch();
    if (s == nullptr || variable == nullptr)
        return;
    if (start < 0)
        start = 0;
    int32_t n = s->position - start;
    if (n < 0) {
        n = 0;
        start = s->position;
    }
    SIZE_T bytes = static_cast<SIZE_T>(n) + EXTRA;
    char* block = *variable == nullptr ? static_cast<char*>(HeapAlloc(StringHeap(), 0, bytes))
                                       : static_cast<char*>(HeapReAlloc(StringHeap(), 0, *variable, bytes));
    if (block != nullptr) {
        std::memcpy(block, s->base + start, static_cast<size_t>(n));
        block[n] = '\0';
        *variable = block;
    }
    // Without memory the variable keeps its old text.
    s->position = start;
    s->base[start] = '\0';
}

int32_t Str_Compare(const char* a, const char* b) {
    if (a == nullptr)
        a = "";
    if (b == nullptr)
        b = "";
    for (;; ++a, ++b) {
        if (*a != *b)
            return 0;
        if (*a == '\0')
            return 1;
    }
}

void Str_FromInt(int32_t value, int32_t target) {
    char* out = Scratch_Reserve(32, target);
    if (out == nullptr)
        return;
    int32_t length = 0;
    // Unsigned magnitude: also right for the most negative value, whose negation overflows.
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        out[length++] = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    int32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0)
        out[length++] = digits[--count];
    out[length] = '\0';
    Scratch_Shrink(32 - length);
}

int32_t Str_ToInt(const char* text) {
    bool tooLarge;
    bool negative;
    return ScanDecimal(text, &tooLarge, &negative);
}

bool Str_HasNumber(const char* text) {
    bool negative;
    if (text == nullptr)
        return false;
    text = SkipBlanksAndSign(text, &negative);
    return *text >= '0' && *text <= '9';
}

int32_t Str_ToIntClamped(const char* text) {
    bool tooLarge;
    bool negative;
    const int32_t value = ScanDecimal(text, &tooLarge, &negative);
    if (!tooLarge)
        return value;
    return negative ? INT32_MIN : INT32_MAX;
}

// ---- Texts at the platform's boundary ----

namespace {

// U+0080 to U+009F in 1252 hold the typographic characters; these are their bytes 0x80 to 0x9F.
constexpr wchar_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The 1252 byte of one UTF-16 unit, '?' where 1252 has none.
char NarrowChar(wchar_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int32_t i = 0; i < 32; ++i) {
        if (kHighControls[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

// The fixed table, not MultiByteToWideChar: the system's ANSI code page must not matter.
size_t Str_ToWide(const char* text, wchar_t* out, size_t most) {
    size_t n = 0;
    for (; text != nullptr && n < most && text[n] != '\0'; ++n) {
        const auto byte = static_cast<unsigned char>(text[n]);
        out[n] = (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : static_cast<wchar_t>(byte);
    }
    out[n] = L'\0';
    return n;
}

// One byte per UTF-16 unit at most, so length bytes always hold the result.
void Str_FromWide(const wchar_t* text, int32_t length, int32_t target) {
    char* out = (text != nullptr && length > 0) ? Scratch_Reserve(length, target) : nullptr;
    if (out == nullptr) {
        Scratch_SetPos(target);
        return;
    }
    int32_t n = 0;
    for (int32_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        // A character beyond U+FFFF is a pair of units: one '?' for both.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            ++i;
        out[n++] = NarrowChar(c);
    }
    Scratch_Shrink(length - n);
    out[n] = '\0';
}

// The stack holds most texts; the string heap the rest.
WideText::WideText(const char* text) : text_(onStack_) {
    if (text == nullptr)
        text = "";
    size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(kOnStack)) {
        void* block =
            length < 0x3FFFFFFF ? HeapAlloc(StringHeap(), 0, (length + 1) * sizeof(wchar_t)) : nullptr;
        if (block != nullptr)
            text_ = static_cast<wchar_t*>(block);
        else
            length = 0;
    }
    Str_ToWide(text, text_, length);
}

WideText::~WideText() {
    if (text_ != onStack_)
        HeapFree(StringHeap(), 0, text_);
}

// Platform colour 0x00BBGGRR; components are added unmasked.
int32_t Color_Make(int32_t red, int32_t green, int32_t blue) {
    uint32_t colour = static_cast<uint32_t>(red) + static_cast<uint32_t>(green) * 256u +
                      static_cast<uint32_t>(blue) * 65536u;
    return static_cast<int32_t>(colour);
}
