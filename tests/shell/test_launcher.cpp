// Tests of the program launcher: real starts of the recorder and pipe child programs,
// observed through what the children record and write.
#include <gtest/gtest.h>

#include <string>

#include "shell/launcher.h"
#include "shell/shell_support.h"

using namespace shelltest;

namespace {

constexpr DWORD kChildTimeoutMs = 10000;

// Every test gets a temporary folder and a record file for cmdrecorder in it.
class LauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitToolkit();
        Proc_InitLock();
        dir_ = MakeTempDir("launch");
        ASSERT_FALSE(dir_.empty());
        record_ = dir_ + "\\record.txt";
        SetEnvironmentVariableA("NR_RECORD_FILE", record_.c_str());
        recorder_ = BinDir() + "\\cmdrecorder.exe";
        pipechild_ = BinDir() + "\\pipechild.exe";
        ASSERT_TRUE(Exists(recorder_)) << recorder_;
        ASSERT_TRUE(Exists(pipechild_)) << pipechild_;
    }
    void TearDown() override {
        SetEnvironmentVariableA("NR_RECORD_FILE", nullptr);
        RemoveTree(dir_);
    }

    // The recorder's lines once its file exists (empty after the time-out).
    std::vector<std::string> Recorded() {
        if (!WaitFor([&] { return Exists(record_); }, kChildTimeoutMs))
            return {};
        return Lines(ReadFile(record_));
    }

    // The command line the recorder received, or "<not started>".
    std::string RecordedCommandLine() {
        std::vector<std::string> lines = Recorded();
        return lines.empty() ? "<not started>" : lines[0];
    }

    std::string dir_;
    std::string record_;
    std::string recorder_;
    std::string pipechild_;
};

// Reads a pipe until end of file; fails the read (returns "<no eof>" appended) if the write
// end stays open after the writer has ended.
std::string ReadToEnd(HANDLE pipe, HANDLE writerProcess) {
    std::string text;
    DWORD start = GetTickCount();
    bool writerEnded = false;
    DWORD endedAt = 0;
    while (GetTickCount() - start < kChildTimeoutMs) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE)
                return text;
            return text + "<peek failed>";
        }
        if (available > 0) {
            char buffer[512];
            DWORD got = 0;
            if (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr))
                text.append(buffer, got);
            continue;
        }
        if (!writerEnded && WaitForSingleObject(writerProcess, 0) == WAIT_OBJECT_0) {
            writerEnded = true;
            endedAt = GetTickCount();
        }
        // After the writer ended, end of file must follow at once.
        if (writerEnded && GetTickCount() - endedAt > 1000)
            return text + "<no eof>";
        Sleep(10);
    }
    return text + "<timeout>";
}

bool Inheritable(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT);
}

// Registers a file type whose "open" command runs the recorder with the document as argument,
// so that only the shell (not CreateProcessA) can start a document of that type.
class ShellFallbackTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        std::string command = "\"" + recorder_ + "\" \"%1\"";
        ASSERT_TRUE(SetClass(".nrshelltest", "nrshelltest.doc"));
        ASSERT_TRUE(SetClass("nrshelltest.doc\\shell\\open\\command", command.c_str()));
        document_ = dir_ + "\\paper.nrshelltest";
        ASSERT_TRUE(testsupport::WriteBytes(document_, ""));
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "nrshelltest.doc");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ".nrshelltest");
        LauncherTest::TearDown();
    }
    static bool SetClass(const char* key, const char* value) {
        HKEY handle = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
            ERROR_SUCCESS)
            return false;
        LONG rc = RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 static_cast<DWORD>(strlen(value) + 1));
        RegCloseKey(handle);
        return rc == ERROR_SUCCESS;
    }
    std::string document_;
};

} // namespace

// ---- Command line composition ----

TEST_F(LauncherTest, test_command_line_quotes_program_and_adds_parameters) {
    // The program is found next to the test program; the recorder shows the line it got.
    EXPECT_EQ(Proc_Launch("cmdrecorder.exe", "PowrProf.dll,SetSuspendState", "", 0), 1);
    EXPECT_EQ(RecordedCommandLine(), "\"cmdrecorder.exe\" PowrProf.dll,SetSuspendState");

    DeleteFileA(record_.c_str());
    EXPECT_EQ(Proc_Launch("cmdrecorder.exe", "-l -f", nullptr, 0), 1);
    EXPECT_EQ(RecordedCommandLine(), "\"cmdrecorder.exe\" -l -f");
}

TEST_F(LauncherTest, test_command_line_without_parameters_has_no_trailing_space) {
    EXPECT_EQ(Proc_Launch("cmdrecorder.exe", "", "", 0), 1);
    EXPECT_EQ(RecordedCommandLine(), "\"cmdrecorder.exe\"");

    DeleteFileA(record_.c_str());
    EXPECT_EQ(Proc_Launch("cmdrecorder.exe", nullptr, nullptr, 0), 1);
    EXPECT_EQ(RecordedCommandLine(), "\"cmdrecorder.exe\"");
}

TEST_F(LauncherTest, test_program_path_with_spaces_is_quoted_once) {
    std::string spaced = dir_ + "\\dir with space";
    ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
    std::string copy = spaced + "\\rec.exe";
    ASSERT_TRUE(CopyFileA(recorder_.c_str(), copy.c_str(), FALSE));

    // Unquoted: the launcher adds the quotes.
    EXPECT_EQ(Proc_Launch(copy.c_str(), "a b", "", 0), 1);
    EXPECT_EQ(RecordedCommandLine(), "\"" + copy + "\" a b");

    // Already quoted: taken unchanged, not quoted again.
    DeleteFileA(record_.c_str());
    std::string quoted = "\"" + copy + "\"";
    EXPECT_EQ(Proc_Launch(quoted.c_str(), "x", "", 0), 1);
    EXPECT_EQ(RecordedCommandLine(), quoted + " x");

    DeleteFileA(record_.c_str());
    EXPECT_EQ(Proc_Launch(quoted.c_str(), "", "", 0), 1);
    EXPECT_EQ(RecordedCommandLine(), quoted);
}

TEST_F(LauncherTest, test_program_text_with_own_arguments_is_one_program_name) {
    // The whole text is quoted, so it names one program: "run -s -f" (+ ".exe") with no arguments.
    std::string whole = dir_ + "\\run -s -f";
    ASSERT_TRUE(CopyFileA(recorder_.c_str(), (whole + ".exe").c_str(), FALSE));
    EXPECT_EQ(Proc_Launch(whole.c_str(), "", "", 0), 1);
    EXPECT_EQ(RecordedCommandLine(), "\"" + whole + "\"");

    // No program of the whole name: the recorder must not run with -s -f as its arguments, and
    // the shell finds no file of that name either.
    DeleteFileA(record_.c_str());
    EXPECT_EQ(Proc_Launch("cmdrecorder.exe -s -f", "", "", LAUNCH_WAIT_END), 0);
    EXPECT_FALSE(Exists(record_)) << ReadFile(record_);
}

// ---- Directory and window ----

TEST_F(LauncherTest, test_directory_given_or_current) {
    EXPECT_EQ(Proc_Launch(recorder_.c_str(), "", dir_.c_str(), 0), 1);
    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], dir_);

    DeleteFileA(record_.c_str());
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof(current), current);
    EXPECT_EQ(Proc_Launch(recorder_.c_str(), "", "", 0), 1);
    lines = Recorded();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], current);
}

TEST_F(LauncherTest, test_hidden_flag_sets_show_window) {
    EXPECT_EQ(Proc_Launch(recorder_.c_str(), "", "", LAUNCH_HIDDEN), 1);
    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "show=0 flags=1"); // SW_HIDE, STARTF_USESHOWWINDOW

    DeleteFileA(record_.c_str());
    EXPECT_EQ(Proc_Launch(recorder_.c_str(), "", "", 0), 1);
    lines = Recorded();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "show=1 flags=1"); // SW_SHOWNORMAL
}

// ---- Waiting and keeping ----

TEST_F(LauncherTest, test_wait_end_returns_after_the_program_ended) {
    std::string marker = dir_ + "\\done.txt";
    std::string parameters = "sleep 400 touch \"" + marker + "\"";

    DWORD start = GetTickCount();
    EXPECT_EQ(Proc_Launch(pipechild_.c_str(), parameters.c_str(), "", LAUNCH_WAIT_END), 1);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(Exists(marker)) << "the child had not finished when the launcher returned";
    EXPECT_GE(elapsed, 350u);

    // Without the flag the call returns while the child still sleeps.
    DeleteFileA(marker.c_str());
    EXPECT_EQ(Proc_Launch(pipechild_.c_str(), parameters.c_str(), "", 0), 1);
    EXPECT_FALSE(Exists(marker)) << "the launcher waited without LAUNCH_WAIT_END";
    EXPECT_TRUE(WaitFor([&] { return Exists(marker); }, kChildTimeoutMs));
}

TEST_F(LauncherTest, test_keep_handle_returns_record_of_started_process) {
    intptr_t result = Proc_Launch(recorder_.c_str(), "", "", LAUNCH_KEEP_HANDLE);
    ASSERT_GT(result, 1);
    auto* record = reinterpret_cast<ProcessRecord*>(result);
    ASSERT_NE(record->process, nullptr);
    EXPECT_EQ(WaitForSingleObject(record->process, kChildTimeoutMs), WAIT_OBJECT_0);
    EXPECT_EQ(static_cast<DWORD>(record->id), GetProcessId(record->process));
    EXPECT_EQ(record->input, nullptr);
    EXPECT_EQ(record->output, nullptr);
    EXPECT_EQ(record->errors, nullptr);

    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], "pid=" + std::to_string(record->id));
}

// ---- Pipes ----

TEST_F(LauncherTest, test_output_and_error_pipes_carry_the_child_output) {
    intptr_t result = Proc_Launch(pipechild_.c_str(), "out hello err oops", "",
                                  LAUNCH_KEEP_HANDLE | LAUNCH_PIPE_OUTPUT | LAUNCH_PIPE_ERRORS);
    ASSERT_GT(result, 1);
    auto* record = reinterpret_cast<ProcessRecord*>(result);
    ASSERT_NE(record->output, nullptr);
    ASSERT_NE(record->errors, nullptr);
    EXPECT_EQ(record->input, nullptr);
    // The parent's ends are private, so no later child can hold them open.
    EXPECT_FALSE(Inheritable(record->output));
    EXPECT_FALSE(Inheritable(record->errors));

    EXPECT_EQ(ReadToEnd(record->output, record->process), "hello");
    EXPECT_EQ(ReadToEnd(record->errors, record->process), "oops");
}

TEST_F(LauncherTest, test_input_pipe_feeds_the_child) {
    intptr_t result = Proc_Launch(pipechild_.c_str(), "cat", "",
                                  LAUNCH_KEEP_HANDLE | LAUNCH_PIPE_INPUT | LAUNCH_PIPE_OUTPUT);
    ASSERT_GT(result, 1);
    auto* record = reinterpret_cast<ProcessRecord*>(result);
    ASSERT_NE(record->input, nullptr);
    EXPECT_FALSE(Inheritable(record->input));

    const char text[] = "ping pong";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(record->input, text, sizeof(text) - 1, &written, nullptr));
    // Closing our write end must be end of file for the child: it holds no copy of its own.
    CloseHandle(record->input);
    record->input = nullptr;
    EXPECT_EQ(ReadToEnd(record->output, record->process), "ping pong");
    EXPECT_EQ(WaitForSingleObject(record->process, kChildTimeoutMs), WAIT_OBJECT_0);
}

TEST_F(LauncherTest, test_chained_input_reads_the_source_output) {
    intptr_t first =
        Proc_Launch(pipechild_.c_str(), "out chained-data", "", LAUNCH_KEEP_HANDLE | LAUNCH_PIPE_OUTPUT);
    ASSERT_GT(first, 1);
    auto* source = reinterpret_cast<ProcessRecord*>(first);
    ASSERT_NE(source->output, nullptr);

    intptr_t second = Proc_LaunchEx(pipechild_.c_str(), "cat", "",
                                    LAUNCH_KEEP_HANDLE | LAUNCH_PIPE_OUTPUT | LAUNCH_CHAIN_INPUT, source);
    ASSERT_GT(second, 1);
    auto* sink = reinterpret_cast<ProcessRecord*>(second);
    EXPECT_EQ(sink->input, nullptr) << "chaining makes no input pipe of its own";
    EXPECT_EQ(ReadToEnd(sink->output, sink->process), "chained-data");
    // The source keeps its private read end.
    EXPECT_FALSE(Inheritable(source->output));
}

TEST_F(LauncherTest, test_pipes_without_keep_handle_are_not_made) {
    // No record to hold the read end, so no pipe: the start succeeds with the plain result.
    EXPECT_EQ(Proc_Launch(recorder_.c_str(), "", "", LAUNCH_PIPE_OUTPUT | LAUNCH_PIPE_INPUT), 1);
    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "show=1 flags=1") << "standard handles were connected";
}

// ---- Failure and the shell fallback ----

TEST_F(LauncherTest, test_missing_program_gives_zero) {
    std::string missing = dir_ + "\\nothing-here.exe";
    EXPECT_EQ(Proc_Launch(missing.c_str(), "x", "", 0), 0);
    EXPECT_EQ(Proc_Launch(missing.c_str(), "", "", LAUNCH_KEEP_HANDLE | LAUNCH_PIPE_OUTPUT), 0);
    EXPECT_EQ(Proc_Launch("", "", "", 0), 0);
    EXPECT_EQ(Proc_Launch(nullptr, nullptr, nullptr, 0), 0);
}

TEST_F(ShellFallbackTest, test_shell_opens_what_create_process_cannot_start) {
    // No directory: the shell runs in the document's own folder.
    intptr_t result = Proc_Launch(document_.c_str(), "", "", LAUNCH_WAIT_END);
    EXPECT_EQ(result, 1);
    ASSERT_TRUE(Exists(record_)) << "LAUNCH_WAIT_END returned before the opened program ended";
    std::vector<std::string> lines = Lines(ReadFile(record_));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find(document_), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], dir_);
}

TEST_F(ShellFallbackTest, test_shell_start_keeps_record_without_process_id) {
    intptr_t result = Proc_Launch(document_.c_str(), "", "", LAUNCH_KEEP_HANDLE);
    ASSERT_GT(result, 1);
    auto* record = reinterpret_cast<ProcessRecord*>(result);
    EXPECT_EQ(record->id, -1);
    EXPECT_EQ(record->output, nullptr);
    if (record->process != nullptr) {
        EXPECT_EQ(WaitForSingleObject(record->process, kChildTimeoutMs), WAIT_OBJECT_0);
    }
    EXPECT_FALSE(Recorded().empty());
}

TEST_F(ShellFallbackTest, test_pipes_requested_means_no_shell_fallback) {
    // Had the shell been asked, LAUNCH_WAIT_END would have waited for the recorder.
    EXPECT_EQ(
        Proc_Launch(document_.c_str(), "", "", LAUNCH_WAIT_END | LAUNCH_KEEP_HANDLE | LAUNCH_PIPE_OUTPUT), 0);
    EXPECT_EQ(Proc_Launch(document_.c_str(), "", "", LAUNCH_WAIT_END | LAUNCH_PIPE_ERRORS), 0);
    ProcessRecord source = {};
    source.output = GetStdHandle(STD_OUTPUT_HANDLE);
    EXPECT_EQ(Proc_LaunchEx(document_.c_str(), "", "", LAUNCH_WAIT_END | LAUNCH_CHAIN_INPUT, &source), 0);
    EXPECT_FALSE(Exists(record_));

    // The same start without pipes does reach the shell.
    EXPECT_EQ(Proc_Launch(document_.c_str(), "", "", LAUNCH_WAIT_END), 1);
    EXPECT_TRUE(Exists(record_));
}
