// Long-run reliability of the real program. A ten-minute countdown with both warning boxes runs
// beside all the other tests of this file (it spends its time asleep) and is watched by a thread of
// its own; the last test waits for its end and judges it: a banner a minute with the right minutes,
// at most one banner window, thread and handle counts that do not grow, then the restart command.
// Meanwhile: a thousand "Starten"/"Abbrechen" cycles at random moments, 200 random command lines,
// damaged image files, and a missing program file — all must end harmlessly.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "app_support.h"
#include "long_support.h"

using apptest::Program;

namespace {

// ---- The ten-minute countdown, watched from its own thread ----

constexpr int kMinutes = 10;
constexpr int kTaskRestart = 1;
// The count keeps the clock, so nothing adds up over the ten minutes; the slack is for a loaded machine
// (the other tests of this file run meanwhile) and the watcher's 100 ms polls.
constexpr double kSlackMs = 1500;

std::string RestartSentence(int minutes) {
    return "Hinweis: Der Computer wird in " + std::to_string(minutes) + " Minute(n) neu gestartet";
}

struct SeenBanner {
    HWND window;
    double atMs; // since "Starten", when its sentence was first seen
    std::string text;
};

// What the watcher saw of the countdown.
struct Observation {
    std::string setupError;
    longrun::Census idle;
    std::vector<SeenBanner> banners;
    std::vector<longrun::Census> afterSlides; // taken 6 s after each banner appeared
    int mostBannerWindows = 0;
    DWORD exitCode = STILL_ACTIVE;
    double endedAtMs = -1;
    std::vector<std::string> records;
};

class CountdownWatch {
  public:
    // Starts the program once, on the test thread (so it gets its own record file before any other
    // program of this file is started), and the watcher thread that drives and observes it.
    void Start() {
        if (started_) {
            return;
        }
        started_ = true;
        program_ = std::make_unique<Program>();
        if (!program_->Start("")) {
            seen_.setupError = "the program did not start";
            return;
        }
        watcher_ = std::thread([this] { Watch(); });
    }

    // Waits for the watcher, which ends with the program (or its own deadline).
    const Observation& Finish() {
        if (watcher_.joinable()) {
            watcher_.join();
        }
        return seen_;
    }

    // Stops watching and ends the program (when the last test did not run).
    void Abandon() {
        stop_ = true;
        Finish();
        program_.reset();
    }

  private:
    void Watch() {
        Program& program = *program_;
        program.Select(kTaskRestart);
        program.SetText(kTimeField, std::to_string(kMinutes * 60));
        program.Click(kBannerBox);
        program.Click(kToneBox);
        if (program.Checked(kBannerBox) != BST_CHECKED || program.Checked(kToneBox) != BST_CHECKED) {
            seen_.setupError = "the warning boxes could not be checked";
            return;
        }
        seen_.idle = longrun::Take(program);
        const double started = apptest::NowMs();
        program.Click(kStartButton);
        if (!apptest::WaitFor([&] { return program.Enabled(kCancelButton); }, 3000)) {
            seen_.setupError = "the countdown did not start";
            return;
        }
        // A banner is new when its window is new or its window shows another sentence.
        std::vector<std::pair<HWND, std::string>> shown;
        const double deadline = started + (kMinutes * 60 + 1) * 1000.0 + 30000;
        while (!stop_ && program.Running() && apptest::NowMs() < deadline) {
            std::vector<HWND> windows = program.WindowsOfClass("WindowClass_1");
            seen_.mostBannerWindows = std::max(seen_.mostBannerWindows, static_cast<int>(windows.size()));
            for (HWND window : windows) {
                std::string text = program.BannerText(window);
                if (text.empty() || text[0] == '<') {
                    continue; // its sentence is not made yet, or the window has just gone
                }
                auto it =
                    std::find_if(shown.begin(), shown.end(),
                                 [&](const std::pair<HWND, std::string>& s) { return s.first == window; });
                if (it == shown.end() || it->second != text) {
                    if (it == shown.end()) {
                        shown.emplace_back(window, text);
                    } else {
                        it->second = text;
                    }
                    seen_.banners.push_back({window, apptest::NowMs() - started, text});
                }
            }
            if (!seen_.banners.empty() && seen_.afterSlides.size() < seen_.banners.size() &&
                apptest::NowMs() - started - seen_.banners.back().atMs > 6000) {
                seen_.afterSlides.push_back(longrun::Take(program));
            }
            // The last warning is started in the same step as the final action: look closely then.
            const bool nearEnd = apptest::NowMs() - started > (kMinutes * 60 - 3) * 1000.0;
            Sleep(nearEnd ? 1 : 100);
        }
        seen_.exitCode = program.WaitExit(stop_ ? 0 : 10000);
        seen_.endedAtMs = apptest::NowMs() - started;
        // The started command reaches its recorder a moment after the program has ended.
        apptest::WaitFor([&] { return !program.Records().empty(); }, stop_ ? 0 : 3000);
        seen_.records = program.Records();
    }

    std::unique_ptr<Program> program_;
    std::thread watcher_;
    std::atomic<bool> stop_{false};
    bool started_ = false;
    Observation seen_;
};

// The one watch of this test program; ended at exit if the last test did not wait for it.
CountdownWatch& TenMinuteCountdown() {
    static CountdownWatch* watch = new CountdownWatch;
    static const bool registered = std::atexit([] { TenMinuteCountdown().Abandon(); }) == 0;
    (void)registered;
    return *watch;
}

// ---- Start/cancel cycles ----

constexpr int kCycles = 1000;

// True when the controls show the idle set: inputs enabled, "Abbrechen" disabled.
bool IdleSet(Program& program) {
    for (int number : kInputControls) {
        if (!program.Enabled(number)) {
            return false;
        }
    }
    return !program.Enabled(kCancelButton);
}

// How long to let the countdown run before "Abbrechen": mostly within the first step's sleep, some
// across the rest of it, and some around the first warning (started right after the first second).
DWORD RandomDelay(std::mt19937& random) {
    std::uniform_int_distribution<int> kind(0, 99);
    const int k = kind(random);
    if (k < 88) {
        return std::uniform_int_distribution<DWORD>(0, 40)(random);
    }
    if (k < 95) {
        return std::uniform_int_distribution<DWORD>(41, 940)(random);
    }
    return std::uniform_int_distribution<DWORD>(941, 1100)(random);
}

// ---- Bad inputs ----

constexpr int kLines = 200;
constexpr int kAtOnce = 4; // programs run side by side to keep the test short
constexpr int kImageControls[] = {kIntroImage, kTaskImage, kWarnImage};
constexpr const char* kImageFiles[] = {
    "Symbole\\Einleitung.ico", "Symbole\\Vorgang.ico",      "Bilder\\Einstellungen.bmp",
    "Bilder\\Beenden.bmp",     "Bilder\\Informationen.bmp", "Symbole\\Nachtriegel-16.ico",
    "Bilder\\Anzeigen.bmp",    "Bilder\\Verstecken.bmp",    "Bilder\\Haftung.bmp",
    "Symbole\\Warnung.ico",
};

// A command line shown readably in failure messages: control and high bytes as \xNN, cut when long.
std::string Shown(const std::string& text) {
    std::string out;
    for (unsigned char c : text.substr(0, 160)) {
        if (c < 32 || c >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return text.size() > 160 ? out + "...(" + std::to_string(text.size()) + " bytes)" : out;
}

// One random word: keywords and near-keywords, numbers small and huge, quotes, tabs, long texts and
// bytes of 128 and above.
std::string RandomWord(std::mt19937& random) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    static const char* const kFixed[] = {
        "end",
        "restart",
        "standby",
        "change-user",
        "end-user",
        "END",
        "Restart",
        "minimize",
        "Minimize",
        "1",
        "0",
        "yes",
        "true",
        "-5",
        "+7",
        "007",
        "99999999999",
        "4294967296",
        "2147483648",
        "-2147483648",
        "600s",
        "abc",
        "\"\"",
        "\"a b\"",
        "x\"y",
        "\"600\"",
        "6\t0",
        "\t60",
        "\\\\server\\share",
        "%PATH%",
        "-",
        "+",
        "1 1",
    };
    switch (pick(6)) {
        case 0:
        case 1:
            return kFixed[pick(static_cast<int>(sizeof kFixed / sizeof kFixed[0]))];
        case 2:
            return std::to_string(std::uniform_int_distribution<int>(0, 100000)(random));
        case 3: { // bytes of 128 and above, some mixed with digits
            std::string word;
            const int length = 1 + pick(12);
            for (int i = 0; i < length; ++i) {
                word += pick(4) == 0 ? static_cast<char>('0' + pick(10)) : static_cast<char>(128 + pick(128));
            }
            return word;
        }
        case 4: { // a long text, now and then quoted so that it holds spaces
            std::string word;
            const int length = 100 + pick(2900);
            const bool quoted = pick(2) == 0;
            for (int i = 0; i < length; ++i) {
                const int r = pick(40);
                word += r == 0 ? (quoted ? ' ' : '\t') : static_cast<char>('a' + r % 26);
            }
            return quoted ? "\"" + word + "\"" : word;
        }
        default: { // tabs and quotes inside a word, or an unclosed quote
            static const char* const kOdd[] = {"a\tb", "\"unclosed", "q\"", "\"x\"y", "\t", "\"\t\""};
            return kOdd[pick(6)];
        }
    }
}

// A random command line (after the program name). Now and then it begins with a task keyword, so
// that countdowns start with odd times.
std::string RandomLine(std::mt19937& random) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    std::string line;
    const int words = pick(8);
    for (int i = 0; i < words; ++i) {
        std::string word = i == 0 && pick(3) == 0 ? longrun::kKeywords[pick(5)] : RandomWord(random);
        if (!line.empty() || pick(5) == 0) {
            line += std::string(1 + pick(3), ' ');
        }
        line += word;
    }
    if (pick(6) == 0) {
        line += "   ";
    }
    return line;
}

// What the program must do with a command line, by its splitting and conversion rules.
struct Expectation {
    std::string field;
    int task = -1; // -1: no countdown
    bool minimize = false;
    bool banner = false;
    bool tone = false;
    int32_t limit = 0;
};

Expectation Expect(const std::string& line) {
    Expectation e;
    const std::string full = "prog " + line;
    const std::string task = longrun::ParamOf(full, 0);
    for (int i = 0; i < 5; ++i) {
        if (task == longrun::kKeywords[i]) {
            e.task = i;
        }
    }
    e.field = longrun::ParamOf(full, 1);
    e.minimize = longrun::ParamOf(full, 2) == "minimize";
    e.banner = longrun::ParamOf(full, 3) == "1";
    e.tone = longrun::ParamOf(full, 4) == "1";
    e.limit = longrun::ToInt(e.field);
    return e;
}

// Checks the window of one program run against its expectation. A countdown with a small limit may
// end the program at any moment; a reading that fails because the program has just ended is no fault.
void CheckWindow(Program& program, bool ready, const std::string& line, const Expectation& e) {
    const std::string where = "command line '" + Shown(line) + "'";
    const bool mayEnd = e.task >= 0 && e.limit < 30;
    if (e.task >= 0 && e.limit <= 1) {
        return; // over after about a second: EndRun and CheckRecords judge it
    }
    std::vector<std::string> faults;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            faults.push_back(what);
        }
    };
    // Reported unless the countdown turns out to have been ending the program meanwhile.
    auto report = [&] {
        if (faults.empty() ||
            (mayEnd && program.WaitExit(static_cast<DWORD>(e.limit + 3) * 1000) != STILL_ACTIVE)) {
            return;
        }
        for (const std::string& fault : faults) {
            ADD_FAILURE() << where << ": " << fault;
        }
    };
    if (!ready || !program.Running()) {
        expect(false, "the program was not ready, or ended on its own");
        report();
        return;
    }
    const std::string field = program.Text(kTimeField);
    expect(field == e.field, "time field: expected '" + Shown(e.field) + "', got '" + Shown(field) + "'");
    const int banner = program.Checked(kBannerBox);
    expect(banner == (e.banner ? BST_CHECKED : BST_UNCHECKED), "banner box: got " + std::to_string(banner));
    const int tone = program.Checked(kToneBox);
    expect(tone == (e.tone ? BST_CHECKED : BST_UNCHECKED), "tone box: got " + std::to_string(tone));
    const int selection = program.Selection();
    expect(selection == (e.task >= 0 ? e.task : 0), "task: expected " +
                                                        std::to_string(e.task >= 0 ? e.task : 0) + ", got " +
                                                        std::to_string(selection));
    expect(program.Enabled(kStartButton) == (e.task < 0),
           e.task < 0 ? "a countdown started" : "no countdown started");
    HWND main = program.Main();
    if (e.minimize) {
        expect(apptest::WaitFor([&] { return !IsWindowVisible(main); }, 3000), "the window was not hidden");
    } else {
        expect(IsWindowVisible(main) != FALSE, "the window is hidden");
    }
    report();
}

// Ends one program run (or waits for its countdown) and checks its exit code.
void EndRun(Program& program, const std::string& line, const Expectation& e) {
    const std::string where = "command line '" + Shown(line) + "'";
    if (e.task >= 0 && e.limit <= 1) {
        EXPECT_EQ(program.WaitExit(10000), 0u) << where << ": the countdown did not end the program";
    } else {
        EXPECT_EQ(program.Quit(), 0u) << where << ": exit code after Beenden";
    }
}

// Checks what one run started, once its recorder has had time to write: only the task's own command,
// and only when the countdown could have run out.
void CheckRecords(Program& program, const std::string& line, const Expectation& e) {
    const std::string where = "command line '" + Shown(line) + "'";
    const bool mayEnd = e.task >= 0 && e.limit < 30;
    const bool mustEnd = e.task >= 0 && e.limit <= 1;
    std::vector<std::string> records = program.Records();
    if (mustEnd) {
        EXPECT_EQ(records.size(), 1u) << where << ": expected the task's command";
    }
    if (!mayEnd) {
        EXPECT_TRUE(records.empty()) << where << ": a command was started: "
                                     << (records.empty() ? "" : Shown(records.front()));
    } else if (!records.empty()) {
        EXPECT_EQ(records.size(), 1u) << where;
        EXPECT_EQ(records.front(), longrun::TaskCommand(e.task)) << where;
    }
}

// Lays out a current directory whose ten image files are all damaged the same way.
enum class Damage { Empty, Truncated, BitmapGarbage, IconGarbage, Directory };

std::string DamagedFolder(Damage damage) {
    std::string dir = apptest::MakeTempDir("images");
    CreateDirectoryA((dir + "\\Symbole").c_str(), nullptr);
    CreateDirectoryA((dir + "\\Bilder").c_str(), nullptr);
    std::mt19937 random(7);
    for (const char* name : kImageFiles) {
        const std::string path = dir + "\\" + name;
        std::string garbage(300, '\0');
        for (char& c : garbage) {
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        }
        switch (damage) {
            case Damage::Empty:
                apptest::WriteBytes(path, "");
                break;
            case Damage::Truncated: {
                const std::string whole = apptest::ReadFile(apptest::BinDir() + "\\" + name);
                apptest::WriteBytes(path, whole.substr(0, whole.size() * 2 / 5));
                break;
            }
            case Damage::BitmapGarbage:
                apptest::WriteBytes(path, "BM" + garbage);
                break;
            case Damage::IconGarbage:
                // Reserved 0, type 1 (icon), three entries — followed by nothing that makes sense.
                apptest::WriteBytes(path, std::string("\0\0\1\0\3\0", 6) + garbage);
                break;
            case Damage::Directory:
                CreateDirectoryA(path.c_str(), nullptr);
                break;
        }
    }
    return dir;
}

const char* DamageName(Damage damage) {
    switch (damage) {
        case Damage::Empty:
            return "empty files";
        case Damage::Truncated:
            return "truncated files";
        case Damage::BitmapGarbage:
            return "BM and garbage";
        case Damage::IconGarbage:
            return "icon header and garbage";
        case Damage::Directory:
            return "directories";
    }
    return "?";
}

// Size of a control in window 0's client area.
SIZE ControlSize(Program& program, int number) {
    RECT rect = program.ControlRect(number);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

// The reference that judges the random command lines is checked against cases worked out by hand
// from the splitting and conversion rules, so that a mistake it shared with the program could not
// pass unseen.
TEST(ReliabilityLong, test_reference_rules_agree_with_hand_written_cases) {
    struct Split {
        const char* line;
        std::vector<std::string> parameters; // after the program name
    };
    const Split splits[] = {
        {"prog.exe restart 600 minimize 1 0", {"restart", "600", "minimize", "1", "0"}},
        {"prog.exe", {}},
        {"prog.exe   ", {}},
        {"\"C:\\Program Files\\prog.exe\" end 60", {"end", "60"}},
        {"\"p q\"r s", {"r", "s"}},
        {"prog \"a b\" c", {"a b", "c"}},
        {"prog \"a\"b", {"a", "b"}},
        {"prog \"\" x", {"", "x"}},
        {"prog \"abc", {"abc"}},
        {"prog x\"y z\"", {"x\"y", "z\""}},
        {"prog a   b   ", {"a", "b"}},
        {"prog a\tb \t", {"a\tb", "\t"}},
        {"prog \"x y\"\"z\" w", {"x y", "z", "w"}},
    };
    for (const Split& c : splits) {
        for (int index = -1; index <= static_cast<int>(c.parameters.size()); ++index) {
            const std::string expected =
                index >= 0 && index < static_cast<int>(c.parameters.size()) ? c.parameters[index] : "";
            EXPECT_EQ(longrun::ParamOf(c.line, index), expected)
                << "'" << Shown(c.line) << "' parameter " << index;
        }
    }
    struct Number {
        const char* text;
        int32_t value;
    };
    const Number numbers[] = {
        {"600", 600},
        {"  \t42", 42},
        {"+7", 7},
        {"-13x", -13},
        {"12.9", 12},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"\n5", 0},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"4294967296", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-99999999999", INT32_MIN},
    };
    for (const Number& c : numbers) {
        EXPECT_EQ(longrun::ToInt(c.text), c.value) << "'" << Shown(c.text) << "'";
    }
}

TEST(ReliabilityLong, test_thousand_start_cancel_cycles_start_nothing_and_leave_nothing_behind) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    Program program;
    program.WatchWineLog();
    ASSERT_TRUE(program.Start(""));
    program.SetText(kTimeField, "600");
    ASSERT_TRUE(program.Click(kBannerBox));
    ASSERT_TRUE(program.Click(kToneBox));
    longrun::Census idle = longrun::Take(program);
    ASSERT_GT(idle.threads, 0);
    ASSERT_GT(idle.handles, 0);

    const unsigned seed = 20240611u;
    std::mt19937 random(seed);
    longrun::Census atHundred;
    int nearWarning = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ASSERT_TRUE(program.Click(kStartButton)) << "cycle " << cycle << ": Starten did not answer";
        ASSERT_TRUE(apptest::WaitFor([&] { return program.Enabled(kCancelButton); }, 3000, 1))
            << "cycle " << cycle << ": the running set did not come";
        const DWORD delay = RandomDelay(random);
        nearWarning += delay > 940 ? 1 : 0;
        Sleep(delay);
        ASSERT_TRUE(program.Click(kCancelButton)) << "cycle " << cycle << ": Abbrechen did not answer";
        ASSERT_TRUE(apptest::WaitFor([&] { return IdleSet(program); }, 3000, 1))
            << "cycle " << cycle << " (cancel after " << delay << " ms): the idle set did not come back";
        ASSERT_TRUE(program.Records().empty()) << "cycle " << cycle << ": a command was started";
        ASSERT_TRUE(program.Running()) << "cycle " << cycle << ": the program ended";
        if (cycle == 99) {
            Sleep(4500); // let a banner that is on its way finish its slide
            atHundred = longrun::Take(program);
        }
    }
    // Banners started by late cancels finish their slides; then count what is left.
    Sleep(4500);
    longrun::Census end = longrun::Take(program);
    std::printf("seed %u, %d cancels near the first warning; idle %d handles/%d threads, after 100 cycles "
                "%d/%d, after %d cycles %d/%d, banner windows %d\n",
                seed, nearWarning, idle.handles, idle.threads, atHundred.handles, atHundred.threads, kCycles,
                end.handles, end.threads, end.banners);
    EXPECT_GT(nearWarning, 0) << "no cancel came near the first warning";
    EXPECT_TRUE(program.Records().empty());
    EXPECT_TRUE(IdleSet(program));
    EXPECT_LE(end.banners, 1) << "banner windows piled up";
    // At most one banner thread (waiting with its banner) beyond the idle program's threads.
    EXPECT_LE(end.threads, idle.threads + 1)
        << "expected at most " << idle.threads + 1 << " threads, got " << end.threads;
    EXPECT_LE(end.threads, atHundred.threads) << "threads grew between cycle 100 and the end";
    EXPECT_LE(end.handles, atHundred.handles + 4)
        << "handles grew from " << atHundred.handles << " after 100 cycles to " << end.handles;
    // Every countdown that asked to keep the computer awake let go again when it was cancelled (one that
    // was cancelled before it began asked for nothing), and nothing is held now.
    std::vector<DWORD> states;
    std::string why;
    ASSERT_TRUE(program.ExecutionStates(&states, &why)) << why;
    int requests = 0;
    for (size_t i = 0; i < states.size(); ++i) {
        if (states[i] == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) {
            ++requests;
            EXPECT_TRUE(i + 1 < states.size() && states[i + 1] == ES_CONTINUOUS)
                << "request " << requests << " was not let go before the next one";
        } else {
            EXPECT_EQ(states[i], static_cast<DWORD>(ES_CONTINUOUS)) << "unexpected state at call " << i;
        }
    }
    EXPECT_GT(requests, kCycles / 2) << "the countdowns did not ask to keep the computer awake";
    EXPECT_EQ(states.empty() ? 0 : states.back(), static_cast<DWORD>(ES_CONTINUOUS))
        << "a request was left behind";

    // Still the same program: a last start runs, Esc's menu item ends it with exit code 0.
    ASSERT_TRUE(program.Click(kStartButton));
    EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(kCancelButton); }, 3000));
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.Records().empty()) << "the task ran although the program was ended";
}

TEST(ReliabilityLong, test_random_command_lines_follow_the_rules_and_end_harmlessly) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    const unsigned seed = 4711u;
    std::mt19937 random(seed);
    std::printf("seed %u, active code page %u\n", seed, GetACP());
    int countdowns = 0;
    for (int first = 0; first < kLines; first += kAtOnce) {
        std::vector<std::unique_ptr<Program>> programs;
        std::vector<std::string> lines;
        std::vector<Expectation> expected;
        for (int i = first; i < first + kAtOnce && i < kLines; ++i) {
            lines.push_back(RandomLine(random));
            expected.push_back(Expect(lines.back()));
            countdowns += expected.back().task >= 0 ? 1 : 0;
            programs.push_back(std::make_unique<Program>());
            ASSERT_TRUE(programs.back()->Launch(lines.back()))
                << "cannot start for '" << Shown(lines.back()) << "'";
        }
        const double t0 = apptest::NowMs();
        for (size_t i = 0; i < programs.size(); ++i) {
            CheckWindow(*programs[i], programs[i]->WaitReady(), lines[i], expected[i]);
        }
        const double t1 = apptest::NowMs();
        for (size_t i = 0; i < programs.size(); ++i) {
            EndRun(*programs[i], lines[i], expected[i]);
        }
        // A started command reaches its recorder a moment after the program has ended.
        Sleep(800);
        for (size_t i = 0; i < programs.size(); ++i) {
            CheckRecords(*programs[i], lines[i], expected[i]);
        }
        std::printf("batch %d: ready and checked %.0f ms, ended %.0f ms\n", first / kAtOnce, t1 - t0,
                    apptest::NowMs() - t1);
    }
    std::printf("%d lines, %d of them started a countdown\n", kLines, countdowns);
    EXPECT_GT(countdowns, 20) << "too few lines began with a task keyword to test the countdown's start";
}

TEST(ReliabilityLong, test_damaged_image_files_leave_their_places_empty) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    for (Damage damage :
         {Damage::Empty, Damage::Truncated, Damage::BitmapGarbage, Damage::IconGarbage, Damage::Directory}) {
        const std::string dir = DamagedFolder(damage);
        const int traysBefore = apptest::TrayIconCount();
        {
            Program program;
            apptest::Layout layout;
            layout.withImages = false;
            layout.currentDir = dir;
            ASSERT_TRUE(program.Start("", layout)) << DamageName(damage) << ": no main window";
            // No Nachtriegel.exe in this current directory.
            EXPECT_EQ(apptest::Inspect(program.Main()).title, "Nachtriegel 0.-1") << DamageName(damage);
            for (int number : kImageControls) {
                SIZE size = ControlSize(program, number);
                std::printf("%s: image control %d is %ldx%ld\n", DamageName(damage), number, size.cx,
                            size.cy);
                if (damage == Damage::Truncated) {
                    // Whatever the platform makes of a cut file, the control stays within an icon's size.
                    EXPECT_LE(size.cx, 256) << DamageName(damage) << ", control " << number;
                    EXPECT_LE(size.cy, 256) << DamageName(damage) << ", control " << number;
                } else {
                    EXPECT_EQ(size.cx, 0)
                        << DamageName(damage) << ", control " << number << " shows a picture";
                    EXPECT_EQ(size.cy, 0)
                        << DamageName(damage) << ", control " << number << " shows a picture";
                }
            }
            Sleep(500);
            const int trays = apptest::TrayIconCount();
            std::printf("%s: tray icons before %d, now %d\n", DamageName(damage), traysBefore, trays);
            if (damage != Damage::Truncated) {
                EXPECT_EQ(trays, traysBefore) << DamageName(damage) << ": a tray icon without its picture";
            }
            // Still fully working: a countdown starts and is cancelled, the menu ends the program.
            program.SetText(kTimeField, "600");
            EXPECT_TRUE(program.Click(kStartButton));
            EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(kCancelButton); }, 3000))
                << DamageName(damage);
            EXPECT_TRUE(program.Click(kCancelButton));
            EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(kStartButton); }, 3000))
                << DamageName(damage);
            EXPECT_EQ(program.Quit(), 0u) << DamageName(damage);
            EXPECT_TRUE(program.Records().empty()) << DamageName(damage);
        }
        apptest::RemoveTree(dir);
    }
}

TEST(ReliabilityLong, test_program_file_missing_or_a_directory_shows_in_the_version_only) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    struct Case {
        const char* name;
        bool directory;
        const char* title;
    };
    for (const Case& c :
         {Case{"missing", false, "Nachtriegel 0.-1"}, Case{"a directory", true, "Nachtriegel 0.-2"}}) {
        // The current directory has the pictures but no program file (or a directory of that name).
        const std::string dir = apptest::MakeTempDir("noexe");
        Program program;
        apptest::Layout layout;
        layout.currentDir = dir;
        layout.withImages = false;
        const std::string bin = apptest::BinDir();
        CreateDirectoryA((dir + "\\Symbole").c_str(), nullptr);
        CreateDirectoryA((dir + "\\Bilder").c_str(), nullptr);
        for (const char* name : kImageFiles) {
            CopyFileA((bin + "\\" + name).c_str(), (dir + "\\" + name).c_str(), FALSE);
        }
        if (c.directory) {
            CreateDirectoryA((dir + "\\Nachtriegel.exe").c_str(), nullptr);
        }
        ASSERT_TRUE(program.Start("", layout)) << c.name;
        EXPECT_EQ(apptest::Inspect(program.Main()).title, c.title) << "program file " << c.name;
        SIZE size = ControlSize(program, kIntroImage);
        EXPECT_GT(size.cx, 0) << "the pictures of the current directory are shown";
        EXPECT_EQ(program.Quit(), 0u) << c.name;
        EXPECT_TRUE(program.Records().empty());
        apptest::RemoveTree(dir);
    }
}

namespace {

// ---- Ending while banners slide and repaint ----

// Runs of the exit test, and how many programs run side by side.
constexpr int kEndRuns = 240;
constexpr int kEndAtOnce = 6;

// Keeps the banners of the programs it is aimed at painting: from outside, it invalidates each banner
// window and its text and sends them WM_PAINT, again and again, so that each banner thread runs its
// windows' procedures at every moment of its program's end. Other programs (the ten-minute countdown,
// whose timing is judged) are left alone.
class RepaintHammer {
  public:
    RepaintHammer() {
        for (std::thread& thread : threads_) {
            thread = std::thread([this] { Run(); });
        }
    }
    ~RepaintHammer() {
        stop_ = true;
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    // The processes whose banners are painted from now on.
    void Aim(const std::vector<DWORD>& processes) {
        std::lock_guard<std::mutex> lock(mutex_);
        processes_ = processes;
    }
    long Painted() const {
        return painted_;
    }

  private:
    bool Aimed(HWND window) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        std::lock_guard<std::mutex> lock(mutex_);
        return std::find(processes_.begin(), processes_.end(), process) != processes_.end();
    }

    void Run() {
        while (!stop_) {
            HWND banner = nullptr;
            bool any = false;
            while ((banner = FindWindowExA(nullptr, banner, "WindowClass_1", nullptr)) != nullptr) {
                if (!Aimed(banner)) {
                    continue;
                }
                any = true;
                HWND text = GetDlgItem(banner, kBannerText);
                RedrawWindow(banner, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
                DWORD_PTR result = 0;
                for (HWND window : {text, banner}) {
                    if (window != nullptr &&
                        SendMessageTimeoutA(window, WM_PAINT, 0, 0, SMTO_ABORTIFHUNG, 200, &result) != 0) {
                        ++painted_;
                    }
                }
            }
            if (!any) {
                Sleep(1);
            }
        }
    }

    std::mutex mutex_;
    std::vector<DWORD> processes_;
    std::atomic<bool> stop_{false};
    std::atomic<long> painted_{0};
    std::thread threads_[3];
};

// The ways a user ends the program while a banner is up.
enum class EndWay { Escape, CloseBox, TrayMenu };
const char* EndWayName(EndWay way) {
    switch (way) {
        case EndWay::Escape:
            return "Esc";
        case EndWay::CloseBox:
            return "close box";
        case EndWay::TrayMenu:
            return "Beenden (tray menu)";
    }
    return "?";
}

// Only one run at a time may take the foreground for its key.
std::mutex g_keyboard;

// What one run saw; judged on the test's thread.
struct EndSeen {
    int run = 0;
    EndWay way = EndWay::Escape;
    DWORD delayMs = 0;
    bool banner = false;
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::string> records;
};

// Waits for the program's banner, lets it slide for delayMs, ends the program and waits for its end.
void EndWhileSliding(Program& program, EndSeen& seen) {
    seen.banner = program.WaitForBanner(10000) != nullptr;
    if (!seen.banner) {
        return;
    }
    Sleep(seen.delayMs);
    switch (seen.way) {
        case EndWay::Escape: {
            // The key goes to the foreground window, which another program's banner may take in
            // between: it is pressed again until this program ends.
            std::lock_guard<std::mutex> keyboard(g_keyboard);
            for (int attempt = 0; attempt < 5 && program.Running(); ++attempt) {
                program.Keys({VK_ESCAPE});
                program.WaitExit(500);
            }
            break;
        }
        case EndWay::CloseBox:
            PostMessageA(program.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case EndWay::TrayMenu:
            program.ChooseMenu(kItemTrayQuit);
            break;
    }
    seen.exitCode = program.WaitExit(10000);
    // A started command reaches its recorder a moment after the program has ended.
    Sleep(300);
    seen.records = program.Records();
}

} // namespace

// The end of the program while banners slide in and are painted from outside all the time: the end
// must never run toolkit code on freed memory. Every run ends with exit code 0, starts no task and
// leaves no tray icon behind.
TEST(ReliabilityLong, test_ending_while_banners_slide_and_repaint_is_clean_every_time) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    RepaintHammer hammer;
    const unsigned seed = 1604u;
    std::mt19937 random(seed);
    int failed = 0;
    int runs = 0;
    const double started = apptest::NowMs();
    for (int first = 0; first < kEndRuns && failed < 5; first += kEndAtOnce) {
        std::vector<std::unique_ptr<Program>> programs;
        std::vector<EndSeen> seen(kEndAtOnce);
        for (int i = 0; i < kEndAtOnce; ++i) {
            seen[i].run = first + i;
            seen[i].way = static_cast<EndWay>(seen[i].run % 3);
            // Somewhere in the slide-in or the pause after it.
            seen[i].delayMs = std::uniform_int_distribution<DWORD>(0, 800)(random);
            programs.push_back(std::make_unique<Program>());
            ASSERT_TRUE(programs.back()->Launch("end 600 x 1")) << "run " << seen[i].run;
        }
        std::vector<DWORD> processes;
        for (auto& program : programs) {
            processes.push_back(program->ProcessId());
        }
        hammer.Aim(processes);
        std::vector<std::thread> drivers;
        for (int i = 0; i < kEndAtOnce; ++i) {
            drivers.emplace_back(EndWhileSliding, std::ref(*programs[i]), std::ref(seen[i]));
        }
        for (std::thread& driver : drivers) {
            driver.join();
        }
        for (const EndSeen& r : seen) {
            const std::string where = "run " + std::to_string(r.run) + " (" + EndWayName(r.way) + " after " +
                                      std::to_string(r.delayMs) + " ms)";
            EXPECT_TRUE(r.banner) << where << ": no banner";
            EXPECT_EQ(r.exitCode, 0u) << where << ": exit code " << r.exitCode;
            EXPECT_TRUE(r.records.empty()) << where << ": the task ran";
            failed += r.banner && r.exitCode == 0 && r.records.empty() ? 0 : 1;
            ++runs;
        }
        EXPECT_TRUE(apptest::WaitFor(
            [&] {
                for (auto& program : programs) {
                    if (!program->NewTrayIcons().empty()) {
                        return false;
                    }
                }
                return true;
            },
            3000))
            << "runs " << first << " to " << first + kEndAtOnce - 1 << ": a tray icon was left behind";
    }
    std::printf("seed %u: %d runs in %.0f s, %ld paints sent\n", seed, runs,
                (apptest::NowMs() - started) / 1000, hammer.Painted());
}

// A stall across two warning steps: the main thread cannot answer from 50 s to 125 s of a countdown of
// 130 s with banners, so the countdown waits at its read. Then it catches up at once: of the warnings of
// steps 60 and 120 only the last one comes ("0 Minute(n)", no burst), and the task still comes after 131 s.
TEST(ReliabilityLong, test_stall_across_warning_steps_catches_up_with_one_warning) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    Program program;
    ASSERT_TRUE(program.Start("x 130 x 1"));
    program.Select(kTaskRestart);
    const double started = program.StartCountdown();
    ASSERT_GT(started, 0) << "the countdown did not start";
    std::vector<SeenBanner> banners;
    auto watch = [&] {
        for (HWND window : program.WindowsOfClass("WindowClass_1")) {
            std::string text = program.BannerText(window);
            bool known = std::any_of(banners.begin(), banners.end(),
                                     [&](const SeenBanner& seen) { return seen.window == window; });
            if (!known && !text.empty() && text[0] != '<') {
                banners.push_back({window, apptest::NowMs() - started, text});
            }
        }
        return false;
    };
    apptest::WaitFor([&] { return watch() || apptest::NowMs() - started > 50000; }, 55000, 100);
    ASSERT_TRUE(program.SuspendMain(75000));
    double commandAt = -1;
    apptest::WaitFor([&] { return watch() || (commandAt = program.WaitForCommandStart(0)) > 0; }, 15000, 50);
    ASSERT_GT(commandAt, 0) << "no command within 15 s after the stall";
    EXPECT_NEAR(commandAt - started, 131000, 1500) << "expected the task on the clock";
    ASSERT_EQ(banners.size(), 2u) << "expected the first warning and one after the stall";
    EXPECT_EQ(banners[0].text, RestartSentence(2));
    EXPECT_NEAR(banners[0].atMs, 1000, kSlackMs);
    EXPECT_EQ(banners[1].text, RestartSentence(0)) << "expected the last warning step passed, 120";
    EXPECT_NEAR(banners[1].atMs, 125000, kSlackMs) << "expected the warning once the count is on the clock";
    EXPECT_EQ(program.WaitExit(10000), 0u);
    apptest::WaitFor([&] { return !program.Records().empty(); }, 3000);
    EXPECT_EQ(program.Records(), std::vector<std::string>{longrun::TaskCommand(kTaskRestart)});
}

TEST(ReliabilityLong, test_ten_minute_countdown_warns_every_minute_then_restarts) {
    REQUIRE_RECORDER();
    TenMinuteCountdown().Start();
    const Observation& seen = TenMinuteCountdown().Finish();
    ASSERT_TRUE(seen.setupError.empty()) << seen.setupError;
    std::string trail;
    for (const SeenBanner& banner : seen.banners) {
        char line[160];
        std::snprintf(line, sizeof line, "  %8.0f ms  %s\n", banner.atMs, banner.text.c_str());
        trail += line;
    }
    std::printf("banners seen:\n%s", trail.c_str());

    // The end: the restart command, once, and exit code 0.
    EXPECT_EQ(seen.exitCode, 0u) << "the program did not end after the countdown";
    EXPECT_NEAR(seen.endedAtMs, (kMinutes * 60 + 1) * 1000.0, kSlackMs + 2000) << "time of the final action";
    ASSERT_EQ(seen.records.size(), 1u) << "expected one started command";
    EXPECT_EQ(seen.records[0], longrun::TaskCommand(kTaskRestart));

    // One banner a minute, 10 down to 0 minutes, the first one second after "Starten". The last one
    // (0 minutes) is started in the very step that runs the final action; under Wine the closing tones
    // take no time, so the program ends before that banner can open. It may be missing then, but only
    // because the end came at its moment (checked above).
    ASSERT_GE(seen.banners.size(), static_cast<size_t>(kMinutes)) << "expected one banner a minute:\n"
                                                                  << trail;
    ASSERT_LE(seen.banners.size(), static_cast<size_t>(kMinutes + 1)) << "more banners than minutes:\n"
                                                                      << trail;
    for (size_t i = 0; i < seen.banners.size(); ++i) {
        EXPECT_EQ(seen.banners[i].text, RestartSentence(kMinutes - static_cast<int>(i))) << "banner " << i;
        EXPECT_NEAR(seen.banners[i].atMs, 1000.0 + 60000.0 * static_cast<double>(i), kSlackMs)
            << "time of banner " << i;
    }

    // What the banners leave behind: at most one banner window at any moment, and afterwards at most
    // the countdown thread and one waiting banner thread beyond the threads of the idle program.
    EXPECT_LE(seen.mostBannerWindows, 1) << "old banners stayed open";
    ASSERT_EQ(seen.afterSlides.size(), seen.banners.size());
    std::string counts;
    for (size_t i = 0; i < seen.afterSlides.size(); ++i) {
        const longrun::Census& census = seen.afterSlides[i];
        counts += std::to_string(census.handles) + "/" + std::to_string(census.threads) + " ";
        EXPECT_LE(census.banners, 1) << "after banner " << i;
        EXPECT_LE(census.threads, seen.idle.threads + 2)
            << "after banner " << i << ": expected at most " << seen.idle.threads + 2 << " threads, got "
            << census.threads;
    }
    std::printf("idle: %d handles, %d threads; after each banner (handles/threads): %s\n", seen.idle.handles,
                seen.idle.threads, counts.c_str());
    // Counts do not grow from minute to minute (the first banner is the first of its kind).
    const longrun::Census& second = seen.afterSlides[1];
    const longrun::Census& last = seen.afterSlides.back();
    EXPECT_LE(last.threads, second.threads) << "threads grew from minute 2 to the end";
    EXPECT_LE(last.handles, second.handles + 2)
        << "handles grew from " << second.handles << " (minute 2) to " << last.handles;
}
