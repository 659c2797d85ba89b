// The end of a countdown: the exact command each task starts, when it starts, and the program's
// exit code afterwards. The system's tools are replaced by the recorder for the whole run.
#include <gtest/gtest.h>

#include <cstring>

#include "app_support.h"

using apptest::Program;

namespace {

struct TaskCase {
    const char* keyword;
    const char* tool;
    const char* switches;
};

constexpr TaskCase kTasks[] = {
    {"end", "shutdown.exe", "-s -f"},
    {"restart", "shutdown.exe", "-r -f"},
    {"standby", "rundll32.exe", "PowrProf.dll,SetSuspendState"},
    {"change-user", "rundll32.exe", "user32.dll,LockWorkStation"},
    {"end-user", "shutdown.exe", "-l -f"},
};

constexpr char kNoTimeText[] =
    "Bitte geben Sie unter „Zeit:“ die Wartezeit in Sekunden ein, zum Beispiel 600 für zehn Minuten.";

// Slack for starting the recorder process and for Wine's scheduling.
constexpr double kLateMs = 1800;

// Expects exactly one recorded command and a clean exit.
void ExpectOneCommandAndExit(Program& program, const TaskCase& task) {
    apptest::ExpectEndWithCommand(program, apptest::ExpectedCommand(task.tool, task.switches), task.keyword);
}

} // namespace

TEST(FinalActions, test_each_task_starts_its_tool_after_field_plus_one_seconds) {
    REQUIRE_RECORDER();
    int field = 1;
    for (const TaskCase& task : kTasks) {
        Program program;
        ASSERT_TRUE(program.Start(std::string(task.keyword) + " " + std::to_string(field))) << task.keyword;
        double recordedAt = program.WaitForRecord(15000);
        ASSERT_GT(recordedAt, 0) << task.keyword << ": no command started";
        double expectedMs = (field + 1) * 1000.0;
        EXPECT_GE(recordedAt, expectedMs) << task.keyword << ": started too early";
        EXPECT_LE(recordedAt - (program.ReadyAtMs() - program.StartedAtMs()), expectedMs + kLateMs)
            << task.keyword << ": started too late";
        ExpectOneCommandAndExit(program, task);
        EXPECT_TRUE(program.TrayIconsGone()) << task.keyword << ": the tray icon outlived the program";
        field = field == 1 ? 2 : 1;
    }
}

TEST(FinalActions, test_negative_or_zero_field_acts_and_a_field_without_number_is_refused) {
    REQUIRE_RECORDER();
    struct FieldCase {
        const char* text;
        int task;
        double seconds; // countdown length the text stands for
    };
    // The field takes digits only from the keyboard; the program's own text rules still apply to
    // whatever text it holds (as from the command line).
    // Only leading digits count ("2min", as the command line may put it there, is 2 seconds).
    const FieldCase cases[] = {{"-5", 1, 0.0}, {"0", 2, 1.0}, {"2min", 3, 3.0}};
    for (const FieldCase& c : cases) {
        Program program;
        ASSERT_TRUE(program.Start(""));
        program.Select(c.task);
        program.SetText(kTimeField, c.text);
        double clickedAt = apptest::NowMs();
        ASSERT_TRUE(program.Click(kStartButton));
        ASSERT_GT(program.WaitForRecord(10000), 0) << "field '" << c.text << "'";
        double elapsed = apptest::NowMs() - clickedAt;
        EXPECT_GE(elapsed, c.seconds * 1000.0) << "field '" << c.text << "'";
        EXPECT_LE(elapsed, c.seconds * 1000.0 + kLateMs) << "field '" << c.text << "'";
        ExpectOneCommandAndExit(program, kTasks[c.task]);
    }
    {
        // Without a number the task would run after a second: "Starten" says what to enter, in a box over
        // the main window with only OK, and puts the focus into the field; nothing starts.
        Program program;
        ASSERT_TRUE(program.Start(""));
        program.Select(4);
        HWND main = program.Main();
        HWND field = program.Control(kTimeField);
        for (const char* text : {"", "abc", " - 5"}) {
            program.SetText(kTimeField, text);
            ASSERT_TRUE(program.MouseClick(kStartButton));
            HWND box = program.FindBox("Zeit fehlt");
            ASSERT_NE(box, nullptr) << "field '" << text << "': no box";
            EXPECT_EQ(GetWindow(box, GW_OWNER), main)
                << "field '" << text << "': the box must be the main window's";
            EXPECT_FALSE(IsWindowEnabled(main)) << "field '" << text << "': the box must be modal";
            HWND button = FindWindowExA(box, nullptr, "Button", nullptr);
            EXPECT_NE(button, nullptr);
            EXPECT_EQ(FindWindowExA(box, button, "Button", nullptr), nullptr) << "expected only OK";
            EXPECT_EQ(program.CloseBox("Zeit fehlt"), kNoTimeText) << "field '" << text << "'";
            EXPECT_TRUE(apptest::WaitFor([&] { return program.Focus() == field; }, 2000))
                << "field '" << text << "': expected the focus in the time field, got " << program.Focus();
            EXPECT_TRUE(program.Enabled(kStartButton) && !program.Enabled(kCancelButton))
                << "field '" << text << "': a countdown started";
        }
        Sleep(1500); // past the second after which a countdown would have acted
        EXPECT_TRUE(program.Records().empty()) << "a command ran";
        EXPECT_TRUE(program.Running());
    }
    // The command line acts on any time, as before: a negative one at once, none or a text after a second.
    struct LineCase {
        const char* arguments;
        int task;
        double seconds;
    };
    const LineCase lines[] = {{"end-user -5", 4, 0.0}, {"standby abc", 2, 1.0}, {"end", 0, 1.0}};
    for (const LineCase& c : lines) {
        Program program;
        ASSERT_TRUE(program.Launch(c.arguments));
        double recordedAt = program.WaitForRecord(15000);
        ASSERT_GT(recordedAt, 0) << c.arguments;
        EXPECT_GE(recordedAt, c.seconds * 1000.0) << c.arguments << ": acted too early";
        ExpectOneCommandAndExit(program, kTasks[c.task]);
    }
}

TEST(FinalActions, test_start_button_runs_the_selected_task) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    program.Select(4);
    program.SetText(kTimeField, "1");
    double clickedAt = apptest::NowMs();
    ASSERT_TRUE(program.Click(kStartButton));
    EXPECT_TRUE(apptest::WaitFor(
        [&] { return program.Enabled(kCancelButton) && !program.Enabled(kStartButton); }, 1500))
        << "the running set was not applied";
    EXPECT_FALSE(program.Enabled(kTaskList)) << "the task list must be locked while counting";
    EXPECT_FALSE(program.Enabled(kTimeField)) << "the time field must be locked while counting";
    ASSERT_GT(program.WaitForRecord(10000), 0);
    double elapsed = apptest::NowMs() - clickedAt;
    EXPECT_GE(elapsed, 2000.0);
    EXPECT_LE(elapsed, 2000.0 + kLateMs);
    ExpectOneCommandAndExit(program, kTasks[4]);
}

// The countdown keeps the clock: step n ends n + 1 seconds after its start, however long the step itself
// took. A field of 5 runs its task after 6 s plus the last read; counting the steps' costs, it would run
// after 6 x 1.2 s (plus a last read of 0.2 s when the reads are slow). A main thread that cannot answer for
// 3 s holds the count at its next read; then it catches up at once, and the task comes after 6 s, not 9.
TEST(FinalActions, test_task_comes_on_the_clock_when_steps_are_slow_or_stalled) {
    REQUIRE_RECORDER();
    struct SlowCase {
        const char* standIns; // "": the program itself
        DWORD stallMs;        // the main thread suspended this long, 2.2 s into the count
        double taskMs;
    };
    const SlowCase cases[] = {{"read=200", 0, 6200}, {"late=200", 0, 6200}, {"", 3000, 6000}};
    for (const SlowCase& c : cases) {
        const std::string name = std::string(c.standIns) + (c.stallMs != 0 ? "stall" : "");
        apptest::Layout layout;
        layout.standIns = c.standIns;
        Program program;
        ASSERT_TRUE(program.Start("", layout)) << name;
        program.SetText(kTimeField, "5");
        const double countingFrom = program.StartCountdown();
        ASSERT_GT(countingFrom, 0) << name << ": no countdown";
        if (c.stallMs != 0) {
            Sleep(2200);
            ASSERT_TRUE(program.SuspendMain(c.stallMs));
        }
        const double startedAt = program.WaitForCommandStart(15000);
        ASSERT_GT(startedAt, 0) << name << ": no command started";
        EXPECT_NEAR(startedAt - countingFrom, c.taskMs, 150) << name;
        EXPECT_GT(program.WaitForRecord(5000), 0) << name;
        ExpectOneCommandAndExit(program, kTasks[0]);
    }
}

TEST(FinalActions, test_time_field_is_read_again_at_every_step) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("end-user 30"));
    Sleep(1500);
    ASSERT_TRUE(program.Records().empty());
    // The program cannot be typed into while counting, but a changed text takes effect at once.
    program.SetText(kTimeField, "1");
    double changedAt = apptest::NowMs();
    ASSERT_GT(program.WaitForRecord(10000), 0);
    EXPECT_LE(apptest::NowMs() - changedAt, 1000.0 + kLateMs) << "the new, smaller value was not used";
    ExpectOneCommandAndExit(program, kTasks[4]);
}

TEST(FinalActions, test_numbers_past_the_32_bit_range_never_come_due) {
    REQUIRE_RECORDER();
    // Wrapped, 4294967296 would be 0 (the task after a second) and 2147483648 would be negative
    // (the task at once). They count as the largest time instead; the banner says how much.
    apptest::ExpectBannerSentences(
        {
            {"restart 4294967296 x 1", "Hinweis: Der Computer wird in 35791394 Minute(n) neu gestartet"},
            {"end 2147483648 x 1", "Hinweis: Der Computer wird in 35791394 Minute(n) heruntergefahren"},
            {"end-user 99999999999 x 1", "Hinweis: Der Benutzer wird in 35791394 Minute(n) abgemeldet"},
        },
        1500);
    // The same typed in and started with the button; the field's 10 digits are kept.
    Program program;
    ASSERT_TRUE(program.Start(""));
    program.SetText(kTimeField, "4294967296");
    ASSERT_TRUE(program.Click(kStartButton));
    Sleep(2500);
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(program.Records().empty()) << "a command was started";
    EXPECT_EQ(program.Text(kTimeField), "4294967296");
    ASSERT_TRUE(program.Click(kCancelButton));
    EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(kStartButton); }, 3000))
        << "Abbrechen did not stop";
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.Records().empty());
}

namespace {

// Machine type in a program file's PE header, or 0.
WORD MachineOf(const std::string& path) {
    std::string image = apptest::ReadFile(path);
    if (image.size() < 0x40) {
        return 0;
    }
    DWORD peOffset = 0;
    memcpy(&peOffset, image.data() + 0x3C, sizeof peOffset);
    if (peOffset + 6 > image.size() || image.compare(peOffset, 4, std::string("PE\0\0", 4)) != 0) {
        return 0;
    }
    WORD machine = 0;
    memcpy(&machine, image.data() + peOffset + 4, sizeof machine);
    return machine;
}

} // namespace

// Each lane proves its own build: in the i686 lane the program under test is the 32-bit product running
// under WOW64, whose system32 is redirected to syswow64; the tool it starts by its system-directory path
// must still be the recorder, and the recorded line the one the program asked for.
TEST(FinalActions, test_the_lanes_program_starts_its_tool_by_the_system_path) {
    REQUIRE_RECORDER();
    const WORD expectedMachine = sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    Program program;
    ASSERT_TRUE(program.Start("end 0"));
    EXPECT_EQ(MachineOf(program.ExePath()), expectedMachine) << "the program is not this lane's build";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, program.ProcessId());
    ASSERT_NE(process, nullptr);
    BOOL wow64 = FALSE;
    EXPECT_TRUE(IsWow64Process(process, &wow64));
    CloseHandle(process);
    EXPECT_EQ(wow64 != FALSE, sizeof(void*) == 4) << "expected a 32-bit program only in the i686 lane";
    ASSERT_GT(program.WaitForRecord(10000), 0) << "the tool did not reach the recorder";
    apptest::ExpectEndWithCommand(program, "\"C:\\windows\\system32\\shutdown.exe\" -s -f");
}
