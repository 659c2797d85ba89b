// Text composition in the string scratch area, string variables, comparison, the
// integer <-> decimal conversions and the conversion at the platform's boundary. Texts are
// 8-bit, zero-terminated, code page 1252 whatever the system's ANSI code page; the platform
// gets and gives them as UTF-16 (WideText, Str_FromWide).
//
// Every thread has its own scratch area (created on first use), so threads can build
// texts at the same time. Text producers take the target offset as their last argument
// and leave the write position on the terminating zero of what they wrote. Offsets, not
// pointers, survive growth of the area: turn an offset into a pointer (Scratch_Ptr) only
// once the text is complete.
#pragma once

#include <windows.h>

#include <cstdint>

// Creates the string heap (idempotent). Start-up calls it right after the main heap.
void Str_Init(void);
// The string heap (serialised; created on first use if Str_Init has not run yet).
HANDLE Str_Heap(void);

// Makes room for n bytes at target, sets the write position to target + n and returns
// the address of target. Returns null and changes nothing if the area cannot grow.
char* Scratch_Reserve(int32_t n, int32_t target);
// Moves the write position back by k bytes.
void Scratch_Shrink(int32_t k);
// Sets the write position to offset and puts a zero byte there.
void Scratch_SetPos(int32_t offset);
// Current write position of this thread's area.
int32_t Scratch_Pos(void);
// Address of offset in this thread's area (valid until the area grows).
char* Scratch_Ptr(int32_t offset);
// Usable size of this thread's area.
int32_t Scratch_Capacity(void);
// Frees the calling thread's area. Run by the thread module when a thread ends.
void Scratch_ReleaseThread(void);

// Appends text (null = empty) at the write position; the write position ends on its zero.
void Str_Concat(const char* text);
// Copies the text from start to the write position into the string variable (null = empty
// text; the block is reused) and sets the write position back to start.
void Str_Assign(char** variable, int32_t start);
// 1 if both texts are byte for byte equal (null = empty text), else 0.
int32_t Str_Compare(const char* a, const char* b);
// Writes the decimal text of value at target.
void Str_FromInt(int32_t value, int32_t target);
// Decimal text to integer: leading blanks and tabs, one sign, digits; 32-bit wrap-around.
int32_t Str_ToInt(const char* text);
// The same reading, but a number beyond the 32-bit range gives INT32_MAX or INT32_MIN.
int32_t Str_ToIntClamped(const char* text);
// Whether the text holds a number by those rules: a digit after the blanks, tabs and one sign.
bool Str_HasNumber(const char* text);
// red + green * 256 + blue * 65536 (0x00BBGGRR).
int32_t Color_Make(int32_t red, int32_t green, int32_t blue);

// ---- Texts at the platform's boundary ----

// Writes the UTF-16 form of at most `most` characters of a 1252 text (null = empty) and a zero at out
// (room for most + 1 units); returns the number of characters written. The five bytes 1252 leaves free
// keep their value, as Windows' own table has them.
size_t Str_ToWide(const char* text, wchar_t* out, size_t most);
// Writes the code page 1252 form of length UTF-16 units at target; the write position ends on its
// zero. A character that 1252 lacks becomes one '?' (also one written as a surrogate pair).
void Str_FromWide(const wchar_t* text, int32_t length, int32_t target);

// The UTF-16 form of a 1252 text (null = empty) for as long as the object lives: what every call
// that hands a text to the platform passes. Short texts stay on the stack; a longer one that cannot
// get memory is passed as empty.
class WideText {
  public:
    explicit WideText(const char* text);
    ~WideText();
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    const wchar_t* Get() const {
        return text_;
    }

  private:
    static constexpr int32_t kOnStack = 64;
    wchar_t* text_;
    wchar_t onStack_[kOnStack];
};

// Ends a text frame that began at start: the write position goes back to start. A position
// below start means that code inside the frame dropped text it did not build; that is
// reported as a breach of the contract (CONTRACT_SCRATCH_FRAME).
void Scratch_EndFrame(int32_t start);

// The one way to keep a write position: a frame takes it when it begins and gives it back
// when the expression is complete:
//   ScratchFrame frame; ... build at frame.Start() ...; consumer(Scratch_Ptr(frame.Start()));
class ScratchFrame {
  public:
    ScratchFrame() : start_(Scratch_Pos()) {}
    ~ScratchFrame() {
        Scratch_EndFrame(start_);
    }
    ScratchFrame(const ScratchFrame&) = delete;
    ScratchFrame& operator=(const ScratchFrame&) = delete;
    int32_t Start() const {
        return start_;
    }

  private:
    int32_t start_;
};
