// Long run: bad inputs must end harmlessly — 200 random command lines (quotes, tabs, long texts,
// bytes of 128 and above, huge numbers), broken image files (empty, truncated, "BM" with garbage,
// an icon header with garbage, a directory in a file's place), and Nachtriegel.exe missing or a
// directory. The program must open its window as the rules say, stay responsive, start at most its
// task's own command, and end with exit code 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>

#include "app_support.h"
#include "long_support.h"

using apptest::Program;

namespace {

constexpr int kLines = 200;
constexpr int kAtOnce = 4; // programs run side by side to keep the test short
constexpr int kImageControls[] = {2, 5, 16};
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
    const std::string field = program.Text(9);
    expect(field == e.field, "time field: expected '" + Shown(e.field) + "', got '" + Shown(field) + "'");
    const int banner = program.Checked(17);
    expect(banner == (e.banner ? BST_CHECKED : BST_UNCHECKED), "banner box: got " + std::to_string(banner));
    const int tone = program.Checked(18);
    expect(tone == (e.tone ? BST_CHECKED : BST_UNCHECKED), "tone box: got " + std::to_string(tone));
    const int selection = program.Selection();
    expect(selection == (e.task >= 0 ? e.task : 0), "task: expected " +
                                                        std::to_string(e.task >= 0 ? e.task : 0) + ", got " +
                                                        std::to_string(selection));
    expect(program.Enabled(12) == (e.task < 0), e.task < 0 ? "a countdown started" : "no countdown started");
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
        program.ChooseMenu(2);
        EXPECT_EQ(program.WaitExit(5000), 0u) << where << ": exit code after Beenden";
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

// Writes a file with the given bytes.
bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
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
                WriteBytes(path, "");
                break;
            case Damage::Truncated: {
                const std::string whole = apptest::ReadFile(apptest::BinDir() + "\\" + name);
                WriteBytes(path, whole.substr(0, whole.size() * 2 / 5));
                break;
            }
            case Damage::BitmapGarbage:
                WriteBytes(path, "BM" + garbage);
                break;
            case Damage::IconGarbage:
                // Reserved 0, type 1 (icon), three entries — followed by nothing that makes sense.
                WriteBytes(path, std::string("\0\0\1\0\3\0", 6) + garbage);
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

TEST(BadInputsLong, test_random_command_lines_follow_the_rules_and_end_harmlessly) {
    REQUIRE_RECORDER();
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

TEST(BadInputsLong, test_damaged_image_files_leave_their_places_empty) {
    REQUIRE_RECORDER();
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
            program.SetText(9, "600");
            EXPECT_TRUE(program.Click(12));
            EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(13); }, 3000)) << DamageName(damage);
            EXPECT_TRUE(program.Click(13));
            EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(12); }, 3000)) << DamageName(damage);
            program.ChooseMenu(2);
            EXPECT_EQ(program.WaitExit(5000), 0u) << DamageName(damage);
            EXPECT_TRUE(program.Records().empty()) << DamageName(damage);
        }
        apptest::RemoveTree(dir);
    }
}

TEST(BadInputsLong, test_program_file_missing_or_a_directory_shows_in_the_version_only) {
    REQUIRE_RECORDER();
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
        SIZE size = ControlSize(program, 2);
        EXPECT_GT(size.cx, 0) << "the pictures of the current directory are shown";
        program.ChooseMenu(2);
        EXPECT_EQ(program.WaitExit(5000), 0u) << c.name;
        EXPECT_TRUE(program.Records().empty());
        apptest::RemoveTree(dir);
    }
}
