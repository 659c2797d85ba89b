// Tests of the command-line splitting.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "core/params.h"
#include "core/strings.h"

namespace {

// Parameter index of line as Param_GetFrom writes it, checking the write position.
std::string Param(const char* line, int32_t index) {
    int32_t start = Scratch_Pos();
    Param_GetFrom(line, index, start);
    std::string text = Scratch_Ptr(start);
    EXPECT_EQ(Scratch_Pos(), start + static_cast<int32_t>(text.size()))
        << "the write position must end on the terminating zero";
    Scratch_SetPos(start);
    return text;
}

// Parameters 0 .. count-1 of line.
std::vector<std::string> Params(const char* line, int32_t count) {
    std::vector<std::string> result;
    for (int32_t i = 0; i < count; ++i)
        result.push_back(Param(line, i));
    return result;
}

using Texts = std::vector<std::string>;

} // namespace

TEST(ParamsTest, test_plain_parameters) {
    EXPECT_EQ(Params("prog.exe restart 600 minimize 1 0", 6),
              (Texts{"restart", "600", "minimize", "1", "0", ""}));
    EXPECT_EQ(Params("prog.exe", 3), (Texts{"", "", ""}));
    EXPECT_EQ(Params("", 2), (Texts{"", ""}));
    EXPECT_EQ(Params(nullptr, 1), (Texts{""}));
}

TEST(ParamsTest, test_quoted_program_path) {
    EXPECT_EQ(Params("\"C:\\Program Files\\Nachtriegel\\Nachtriegel.exe\" end 60", 3),
              (Texts{"end", "60", ""}));
    // A quoted path followed directly by a parameter.
    EXPECT_EQ(Params("\"C:\\a b\\prog.exe\"end 60", 2), (Texts{"end", "60"}));
}

TEST(ParamsTest, test_quoted_parameters) {
    EXPECT_EQ(Params("prog \"a b\" c", 3), (Texts{"a b", "c", ""}));
    EXPECT_EQ(Params("prog \"a\"b", 3), (Texts{"a", "b", ""})) << "a closing quote ends the token";
    EXPECT_EQ(Params("prog \"\" x", 2), (Texts{"", "x"}))
        << "two quotes make one empty parameter that counts";
    EXPECT_EQ(Params("prog \"abc", 2), (Texts{"abc", ""})) << "a missing closing quote runs to the end";
    EXPECT_EQ(Params("prog x\"y z\"", 3), (Texts{"x\"y", "z\"", ""})) << "a quote inside a token is ordinary";
    EXPECT_EQ(Params("prog \"a  \tb\"", 1), (Texts{"a  \tb"})) << "blanks and tabs inside quotes are kept";
    EXPECT_EQ(Params("prog \"\"", 2), (Texts{"", ""}));
    EXPECT_EQ(Params("prog \"", 2), (Texts{"", ""})) << "a lone quote gives one empty parameter";
}

TEST(ParamsTest, test_blanks_tabs_and_trailing_spaces) {
    EXPECT_EQ(Params("prog   a    b", 3), (Texts{"a", "b", ""})) << "several blanks are one separator";
    EXPECT_EQ(Params("prog a b   ", 3), (Texts{"a", "b", ""})) << "trailing blanks add no parameter";
    EXPECT_EQ(Params("   prog a", 2), (Texts{"a", ""})) << "leading blanks before the program name";
    EXPECT_EQ(Params("prog a\tb", 2), (Texts{"a\tb", ""})) << "a tab does not separate";
    EXPECT_EQ(Params("prog\ta b", 2), (Texts{"b", ""})) << "a tab belongs to the program name";
    EXPECT_EQ(Params("prog \t a", 2), (Texts{"\t", "a"})) << "a lone tab is a parameter of its own";
    EXPECT_EQ(Params("prog \"a\"   ", 2), (Texts{"a", ""}));
    EXPECT_EQ(Params("prog     ", 1), (Texts{""}));
}

TEST(ParamsTest, test_negative_index_never_gives_the_program_name) {
    EXPECT_EQ(Param("prog.exe end", -1), "");
    EXPECT_EQ(Param("prog.exe end", -2), "");
}

TEST(ParamsTest, test_scan_reports_start_and_length) {
    const char* line = "prog \"a b\" cd";
    const char* start = nullptr;
    int32_t length = -1;
    ASSERT_TRUE(Param_Scan(line, 0, &start, &length));
    EXPECT_EQ(start, line + 6);
    EXPECT_EQ(length, 3);
    ASSERT_TRUE(Param_Scan(line, 1, &start, &length));
    EXPECT_EQ(start, line + 11);
    EXPECT_EQ(length, 2);
    EXPECT_FALSE(Param_Scan(line, 2, &start, &length));
    EXPECT_EQ(start, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(Param_Scan(nullptr, 0, &start, &length));
}

TEST(ParamsTest, test_text_is_written_at_the_target) {
    int32_t w0 = Scratch_Pos();
    Str_Concat("Wert: ");
    Param_GetFrom("prog 600", 0, Scratch_Pos());
    EXPECT_STREQ(Scratch_Ptr(w0), "Wert: 600");
    // A missing parameter ends the text at the target.
    Param_GetFrom("prog", 0, Scratch_Pos());
    EXPECT_STREQ(Scratch_Ptr(w0), "Wert: 600");
    Scratch_SetPos(w0);
}

TEST(ParamsTest, test_process_command_line) {
    // Param_Get reads the platform's line: it must agree with the scanner on that line, and it
    // must leave the line itself unchanged.
    const char* line = GetCommandLineA();
    std::string copy = line;
    Param_Init();
    for (int32_t i = 0; i < 4; ++i) {
        int32_t start = Scratch_Pos();
        Param_Get(i, start);
        std::string text = Scratch_Ptr(start);
        Scratch_SetPos(start);
        EXPECT_EQ(text, Param(line, i)) << "parameter " << i;
    }
    EXPECT_EQ(copy, GetCommandLineA());
}

namespace {

// Runs the probe program with the given parameters and returns what it prints.
// In UTF-16, as Windows keeps every command line.
std::string RunProbe(const std::wstring& parameters) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, length);
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"core_param_probe.exe";
    std::wstring line = L"\"" + exe + L"\"" + parameters;

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "no pipe";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    BOOL started = CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            output.append(chunk, got);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        output = "probe did not start";
    }
    CloseHandle(readEnd);
    // Line ends of the console are not part of the texts.
    std::string clean;
    for (char c : output)
        if (c != '\r')
            clean += c;
    return clean;
}

} // namespace

TEST(ParamsTest, test_param_get_reads_the_process_line) {
    EXPECT_EQ(RunProbe(L" restart 600 minimize 1 0"), "[restart]\n[600]\n[minimize]\n[1]\n[0]\n[]\n");
    EXPECT_EQ(RunProbe(L" \"a b\"   c\td   "), "[a b]\n[c\td]\n[]\n[]\n[]\n[]\n");
    EXPECT_EQ(RunProbe(L""), "[]\n[]\n[]\n[]\n[]\n[]\n");
    // In 1252 whatever the ANSI code page (the code-page run has 1251): a character 1252 lacks is '?'.
    const std::wstring beyond = L" Jürgen \"Загрузки €\" \U0001F600"; // outside the macro, which quotes it
    EXPECT_EQ(RunProbe(beyond), "[Jürgen]\n[???????? €]\n[?]\n[]\n[]\n[]\n");
}
