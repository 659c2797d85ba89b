// Tests of the string scratch area, string variables, comparison and conversions.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/contract.h"
#include "core/strings.h"

namespace {

// The decimal text Str_FromInt produces, checking the write position on the way.
std::string FromInt(int32_t value) {
    int32_t start = Scratch_Pos();
    Str_FromInt(value, start);
    std::string text = Scratch_Ptr(start);
    EXPECT_EQ(Scratch_Pos(), start + static_cast<int32_t>(text.size()))
        << "the write position must end on the terminating zero";
    Scratch_SetPos(start);
    return text;
}

// Runs body on a new thread, which starts with a fresh scratch area.
template <typename Body> void OnFreshThread(Body body) {
    std::thread worker(body);
    worker.join();
}

class StringsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Str_Init();
    }
};

} // namespace

TEST_F(StringsTest, test_source_literals_are_ansi_bytes) {
    const char* text = "ö";
    ASSERT_EQ(std::strlen(text), 1u) << "ö must be one byte (CP1252), not UTF-8";
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xF6);
    EXPECT_EQ(static_cast<unsigned char>("ä"[0]), 0xE4);
    EXPECT_EQ(static_cast<unsigned char>("ü"[0]), 0xFC);
}

// The platform's boundary: every 1252 byte to its UTF-16 unit as Windows' own table has it (an oracle
// independent of the fixed table), and back; what 1252 lacks comes back as one '?' per character. The
// code-page run proves something only at another ANSI code page than 1252.
TEST_F(StringsTest, test_code_page_1252_to_and_from_utf16) {
    char lang[64] = "";
    if (GetEnvironmentVariableA("LANG", lang, sizeof lang) != 0 && std::strncmp(lang, "ru_RU", 5) == 0) {
        EXPECT_EQ(GetACP(), 1251u) << "expected the Russian locale's ANSI code page in the code-page run";
    }
    for (int byte = 1; byte < 256; ++byte) {
        const char one[2] = {static_cast<char>(byte), 0};
        wchar_t expected = 0;
        ASSERT_EQ(MultiByteToWideChar(1252, 0, one, 1, &expected, 1), 1);
        EXPECT_EQ(WideText(one).Get()[0], expected) << "byte " << byte;
        ScratchFrame frame;
        Str_FromWide(&expected, 1, frame.Start());
        EXPECT_EQ(std::string(Scratch_Ptr(frame.Start())), std::string(one)) << "byte " << byte;
    }
    const struct {
        const wchar_t* wide;
        const char* narrow;
    } cases[] = {
        {L"auswählen € „Zeit:“", "auswählen € „Zeit:“"},
        {L"Загрузки", "????????"}, // a folder name 1252 lacks
        {L"a\U0001F600b", "a?b"},  // one character in two units: one '?'
        {L"\xD800x", "?x"},        // a lone surrogate
        {L"ą", "?"},               // no best fit to 'a'
        {L"", ""},
    };
    for (const auto& c : cases) {
        ScratchFrame frame;
        Str_FromWide(c.wide, static_cast<int32_t>(wcslen(c.wide)), frame.Start());
        EXPECT_EQ(std::string(Scratch_Ptr(frame.Start())), c.narrow);
        EXPECT_EQ(Scratch_Pos(), frame.Start() + static_cast<int32_t>(strlen(c.narrow)))
            << "expected the write position on the zero";
    }
    // Longer texts than the stack holds go through the heap; null is the empty text.
    const std::string longText(5000, '\xE4');
    WideText wide(longText.c_str());
    EXPECT_EQ(std::wstring(wide.Get()), std::wstring(5000, L'ä'));
    EXPECT_EQ(std::wstring(WideText(nullptr).Get()), L"");
}

TEST_F(StringsTest, test_from_int) {
    EXPECT_EQ(FromInt(0), "0");
    EXPECT_EQ(FromInt(7), "7");
    EXPECT_EQ(FromInt(-15), "-15");
    EXPECT_EQ(FromInt(600), "600");
    EXPECT_EQ(FromInt(1000000), "1000000");
    EXPECT_EQ(FromInt(INT32_MAX), "2147483647");
    EXPECT_EQ(FromInt(INT32_MIN), "-2147483648");
    EXPECT_EQ(FromInt(-1), "-1");
}

TEST_F(StringsTest, test_to_int) {
    EXPECT_EQ(Str_ToInt("600"), 600);
    EXPECT_EQ(Str_ToInt("  \t42"), 42);
    EXPECT_EQ(Str_ToInt("+7"), 7);
    EXPECT_EQ(Str_ToInt("-13x"), -13);
    EXPECT_EQ(Str_ToInt("12.9"), 12);
    EXPECT_EQ(Str_ToInt("90s"), 90);
    EXPECT_EQ(Str_ToInt("007"), 7);
    EXPECT_EQ(Str_ToInt("12 34"), 12);
    EXPECT_EQ(Str_ToInt("abc"), 0);
    EXPECT_EQ(Str_ToInt(""), 0);
    EXPECT_EQ(Str_ToInt("- 5"), 0);
    EXPECT_EQ(Str_ToInt("+-5"), 0);
    EXPECT_EQ(Str_ToInt("--5"), 0);
    EXPECT_EQ(Str_ToInt(nullptr), 0);
    EXPECT_EQ(Str_ToInt("\n5"), 0) << "only blanks and tabs are skipped";
    EXPECT_EQ(Str_ToInt("\xB2"), 0) << "a superscript two is no digit";
    EXPECT_EQ(Str_ToInt("1\xB9"), 1);
}

TEST_F(StringsTest, test_to_int_wraps_around) {
    EXPECT_EQ(Str_ToInt("4294967297"), 1) << "2^32 + 1 wraps to 1";
    EXPECT_EQ(Str_ToInt("2147483647"), INT32_MAX);
    EXPECT_EQ(Str_ToInt("2147483648"), INT32_MIN);
    EXPECT_EQ(Str_ToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(Str_ToInt("4294967295"), -1);
    EXPECT_EQ(Str_ToInt("-4294967296"), 0);
    // 99999999999 mod 2^32 = 1215752191
    EXPECT_EQ(Str_ToInt("99999999999"), 1215752191);
    EXPECT_EQ(Str_ToInt("-99999999999"), -1215752191);
}

TEST_F(StringsTest, test_to_int_clamped_stops_at_the_range_ends) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        // Inside the range: the same reading as Str_ToInt.
        {"600", 600},
        {"  \t-13x", -13},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {nullptr, 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"0000000000000000000600", 600},
        {"-000000000000000000000", 0},
        // Beyond it: the nearest end, never a wrapped value.
        {"2147483648", INT32_MAX},
        {"4294967296", INT32_MAX},
        {"4294967297", INT32_MAX},
        {"99999999999", INT32_MAX},
        {"184467440737095516160000000000", INT32_MAX},
        {"-2147483649", INT32_MIN},
        {"-4294967296", INT32_MIN},
        {"-99999999999", INT32_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Str_ToIntClamped(c.text), c.expected)
            << "text '" << (c.text != nullptr ? c.text : "(null)") << "'";
    }
    // Whether a number is there at all: a digit after the blanks and one sign, "0" included.
    const std::pair<const char*, bool> numbers[] = {
        {"0", true},    {" \t-5", true}, {"+7x", true},  {"30min", true}, {"", false},
        {"abc", false}, {" - 5", false}, {"--5", false}, {"-", false},    {nullptr, false}};
    for (const auto& n : numbers) {
        EXPECT_EQ(Str_HasNumber(n.first), n.second)
            << "text '" << (n.first != nullptr ? n.first : "(null)") << "'";
    }
}

TEST_F(StringsTest, test_compare) {
    EXPECT_EQ(Str_Compare("end", "end"), 1);
    EXPECT_EQ(Str_Compare("end", "End"), 0);
    EXPECT_EQ(Str_Compare("end", "end "), 0);
    EXPECT_EQ(Str_Compare("end ", "end"), 0);
    EXPECT_EQ(Str_Compare(nullptr, ""), 1);
    EXPECT_EQ(Str_Compare("", nullptr), 1);
    EXPECT_EQ(Str_Compare(nullptr, nullptr), 1);
    EXPECT_EQ(Str_Compare("", "1"), 0);
    EXPECT_EQ(Str_Compare(nullptr, "1"), 0);
    EXPECT_EQ(Str_Compare("Größe", "Größe"), 1);
    EXPECT_EQ(Str_Compare("Größe", "Grösse"), 0);
}

TEST_F(StringsTest, test_color_make) {
    EXPECT_EQ(Color_Make(255, 255, 255), 0x00FFFFFF);
    EXPECT_EQ(Color_Make(0, 53, 213), 0x00D53500);
    EXPECT_EQ(Color_Make(1, 2, 3), 0x00030201);
    EXPECT_EQ(Color_Make(0, 0, 0), 0);
}

TEST_F(StringsTest, test_build_expression_and_restore_position) {
    int32_t w0 = Scratch_Pos();
    int32_t start = Scratch_Pos();
    Str_Concat("Nachtriegel 0.");
    Str_FromInt(123, Scratch_Pos());
    EXPECT_STREQ(Scratch_Ptr(start), "Nachtriegel 0.123");
    // A second argument after the first one's zero.
    Scratch_Reserve(1, Scratch_Pos());
    int32_t second = Scratch_Pos();
    Str_Concat("Tip ");
    Str_Concat(nullptr);
    Str_FromInt(-5, Scratch_Pos());
    EXPECT_STREQ(Scratch_Ptr(start), "Nachtriegel 0.123") << "the first argument must survive";
    EXPECT_STREQ(Scratch_Ptr(second), "Tip -5");
    Scratch_SetPos(w0);
    EXPECT_EQ(Scratch_Pos(), w0) << "after the consumer the position is where building started";
    EXPECT_EQ(*Scratch_Ptr(w0), '\0');
}

TEST_F(StringsTest, test_frame_restores_position) {
    int32_t before = Scratch_Pos();
    const int32_t breaches = Contract_Count(CONTRACT_SCRATCH_FRAME);
    {
        ScratchFrame frame;
        EXPECT_EQ(frame.Start(), before);
        Str_Concat("temporary text");
        EXPECT_GT(Scratch_Pos(), before);
    }
    EXPECT_EQ(Scratch_Pos(), before);
    EXPECT_EQ(Contract_Count(CONTRACT_SCRATCH_FRAME), breaches) << "a frame that gives back its own text";

    // Code inside a frame that drops text of the enclosing expression is caught when the frame ends.
    Str_Concat("outer ");
    const int32_t outerEnd = Scratch_Pos();
    {
        ScratchFrame frame;
        Str_Concat("inner");
        Scratch_SetPos(before); // a helper that resets to a position it saved long ago
    }
    EXPECT_EQ(Contract_Count(CONTRACT_SCRATCH_FRAME), breaches + 1)
        << "the dropped outer text went unnoticed";
    EXPECT_EQ(Scratch_Pos(), outerEnd) << "the frame still gives back its start";
    Scratch_SetPos(before);
}

TEST_F(StringsTest, test_first_block_and_growth) {
    OnFreshThread([] {
        EXPECT_EQ(Scratch_Capacity(), 16) << "a new area starts with 16 usable bytes";
        EXPECT_EQ(Scratch_Pos(), 0);
        EXPECT_EQ(HeapSize(Str_Heap(), 0, Scratch_Ptr(0)), 16u) << "the first block has 16 bytes";
        // 0 + 11 < 16 - 4: fits without growth.
        Str_Concat("Hello World");
        EXPECT_EQ(Scratch_Capacity(), 16);
        EXPECT_STREQ(Scratch_Ptr(0), "Hello World");
        // One byte more crosses the reserve: grows once to position + piece + 16384.
        Str_Concat("!");
        EXPECT_EQ(Scratch_Capacity(), 11 + 1 + 16384);
        EXPECT_EQ(HeapSize(Str_Heap(), 0, Scratch_Ptr(0)), static_cast<SIZE_T>(Scratch_Capacity() + 5))
            << "a grown block has capacity + 5 bytes";
        EXPECT_STREQ(Scratch_Ptr(0), "Hello World!");

        // A piece longer than the area: one growth, earlier pieces survive the move.
        std::string big(40000, 'x');
        int32_t position = Scratch_Pos();
        Str_Concat(big.c_str());
        EXPECT_EQ(Scratch_Capacity(), position + 40000 + 16384);
        EXPECT_EQ(std::string(Scratch_Ptr(0)), "Hello World!" + big);
        EXPECT_EQ(Scratch_Pos(), 12 + 40000);
        EXPECT_TRUE(HeapValidate(Str_Heap(), 0, nullptr));
        Scratch_ReleaseThread();
    });
}

TEST_F(StringsTest, test_reserve_shrink_setpos) {
    OnFreshThread([] {
        char* p = Scratch_Reserve(5, 0);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, Scratch_Ptr(0));
        EXPECT_EQ(Scratch_Pos(), 5);
        Scratch_Shrink(2);
        EXPECT_EQ(Scratch_Pos(), 3);
        Scratch_Shrink(100);
        EXPECT_EQ(Scratch_Pos(), 0) << "shrinking never goes below the start";
        // A target far above the position must still get room for its bytes.
        char* high = Scratch_Reserve(10, 30000);
        ASSERT_NE(high, nullptr);
        EXPECT_GT(Scratch_Capacity(), 30010 + 4);
        std::memset(high, 'y', 10);
        high[10] = '\0';
        EXPECT_EQ(Scratch_Pos(), 30010);
        Scratch_SetPos(7);
        EXPECT_EQ(Scratch_Pos(), 7);
        EXPECT_EQ(*Scratch_Ptr(7), '\0');
        Scratch_SetPos(-4);
        EXPECT_EQ(Scratch_Pos(), 0) << "a negative offset is taken as 0";
        EXPECT_TRUE(HeapValidate(Str_Heap(), 0, nullptr));
        Scratch_ReleaseThread();
    });
}

TEST_F(StringsTest, test_concat_of_text_inside_the_area) {
    OnFreshThread([] {
        // "abcdefgh" sits at 0; appending it to itself forces growth, which moves the block.
        Str_Concat("abcdefgh");
        char* inside = Scratch_Ptr(0);
        Str_Concat(inside);
        EXPECT_STREQ(Scratch_Ptr(0), "abcdefghabcdefgh");
        Scratch_ReleaseThread();
    });
}

TEST_F(StringsTest, test_assign_copies_and_restores) {
    char* variable = nullptr;
    int32_t s = Scratch_Pos();
    Str_Concat("restart");
    Str_Assign(&variable, s);
    ASSERT_NE(variable, nullptr);
    EXPECT_STREQ(variable, "restart");
    EXPECT_EQ(Scratch_Pos(), s) << "assignment sets the write position back to the start";
    EXPECT_EQ(HeapSize(Str_Heap(), 0, variable), 7u + 5u) << "the block holds the length + 5 bytes";
    // The copy is independent of the area.
    Str_Concat("XXXXXXXXXXXX");
    EXPECT_STREQ(variable, "restart");
    Scratch_SetPos(s);

    // A shorter text reuses the block, resized to its length + 5.
    Str_Concat("end");
    Str_Assign(&variable, s);
    EXPECT_STREQ(variable, "end");
    EXPECT_EQ(HeapSize(Str_Heap(), 0, variable), 3u + 5u);

    // An empty text.
    Str_Assign(&variable, s);
    EXPECT_STREQ(variable, "");

    // A start above the position gives the empty text and leaves the position valid.
    Str_Concat("abc");
    int32_t position = Scratch_Pos();
    Str_Assign(&variable, position + 10);
    EXPECT_STREQ(variable, "");
    EXPECT_EQ(Scratch_Pos(), position);
    Scratch_SetPos(s);

    char* never = nullptr;
    EXPECT_EQ(Str_Compare(never, ""), 1) << "an unassigned variable is the empty text";
    Str_Assign(nullptr, s); // ignored
    EXPECT_TRUE(HeapValidate(Str_Heap(), 0, nullptr));
}

TEST_F(StringsTest, test_nested_text_dropped) {
    int32_t w0 = Scratch_Pos();
    Str_Concat("Noch ");
    // A nested input text, read and dropped.
    int32_t nested = Scratch_Pos();
    Str_Concat("  42");
    int32_t value = Str_ToInt(Scratch_Ptr(nested));
    Scratch_SetPos(nested);
    Str_FromInt(value, Scratch_Pos());
    Str_Concat(" Minuten");
    EXPECT_STREQ(Scratch_Ptr(w0), "Noch 42 Minuten");
    Scratch_SetPos(w0);
}

TEST_F(StringsTest, test_release_thread_starts_over) {
    OnFreshThread([] {
        Str_Concat("some text that grows the area");
        EXPECT_GT(Scratch_Capacity(), 16);
        Scratch_ReleaseThread();
        EXPECT_EQ(Scratch_Capacity(), 16) << "after release the next use starts a new area";
        EXPECT_EQ(Scratch_Pos(), 0);
        Scratch_ReleaseThread();
        Scratch_ReleaseThread(); // twice is harmless
    });
}

TEST_F(StringsTest, test_threads_build_texts_at_once) {
    constexpr int threadCount = 8;
    constexpr int rounds = 3000;
    std::vector<int> failures(threadCount, 0);
    std::vector<std::string> firstFailure(threadCount);
    std::vector<std::thread> workers;
    for (int t = 0; t < threadCount; ++t) {
        workers.emplace_back([t, &failures, &firstFailure] {
            char* variable = nullptr;
            for (int i = 0; i < rounds; ++i) {
                int32_t w0 = Scratch_Pos();
                Str_Concat("Thread ");
                Str_FromInt(t, Scratch_Pos());
                Str_Concat(" Runde ");
                Str_FromInt(i, Scratch_Pos());
                // Every so often a long piece forces growth in the middle of a text.
                if (i % 97 == 0)
                    Str_Concat(
                        std::string(static_cast<size_t>(1000 + i), static_cast<char>('a' + t)).c_str());
                std::string expected = "Thread " + std::to_string(t) + " Runde " + std::to_string(i);
                if (i % 97 == 0)
                    expected += std::string(static_cast<size_t>(1000 + i), static_cast<char>('a' + t));
                if (expected != Scratch_Ptr(w0)) {
                    if (failures[t]++ == 0)
                        firstFailure[t] = std::string("expected ") + expected + ", got " + Scratch_Ptr(w0);
                }
                Str_Assign(&variable, w0);
                if (Str_Compare(variable, expected.c_str()) != 1 || Scratch_Pos() != w0) {
                    if (failures[t]++ == 0)
                        firstFailure[t] = std::string("variable expected ") + expected + ", got " + variable;
                }
            }
            Scratch_ReleaseThread();
        });
    }
    for (auto& w : workers)
        w.join();
    for (int t = 0; t < threadCount; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t << ": " << firstFailure[t];
    EXPECT_TRUE(HeapValidate(Str_Heap(), 0, nullptr));
}
