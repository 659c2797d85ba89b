// Long run: a thousand "Starten"/"Abbrechen" cycles at random moments — right after the start,
// inside a step's sleep, around the first warning at one second — with both warning boxes checked.
// Nothing may be started, every cancel must bring back the idle set, and the program's threads,
// handles and banner windows must not pile up.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "app_support.h"
#include "long_support.h"

using apptest::Program;

namespace {

constexpr int kCycles = 1000;
constexpr int kInputControls[] = {3, 6, 7, 8, 9, 10, 11, 12, 17, 18};
constexpr int kCancel = 13;

// True when the controls show the idle set: inputs enabled, "Abbrechen" disabled.
bool IdleSet(Program& program) {
    for (int number : kInputControls) {
        if (!program.Enabled(number)) {
            return false;
        }
    }
    return !program.Enabled(kCancel);
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

} // namespace

TEST(CyclesLong, test_thousand_start_cancel_cycles_start_nothing_and_leave_nothing_behind) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    program.SetText(9, "600");
    ASSERT_TRUE(program.Click(17));
    ASSERT_TRUE(program.Click(18));
    longrun::Census idle = longrun::Take(program);
    ASSERT_GT(idle.threads, 0);
    ASSERT_GT(idle.handles, 0);

    const unsigned seed = 20240611u;
    std::mt19937 random(seed);
    longrun::Census atHundred;
    int nearWarning = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ASSERT_TRUE(program.Click(12)) << "cycle " << cycle << ": Starten did not answer";
        ASSERT_TRUE(apptest::WaitFor([&] { return program.Enabled(kCancel); }, 3000, 1))
            << "cycle " << cycle << ": the running set did not come";
        const DWORD delay = RandomDelay(random);
        nearWarning += delay > 940 ? 1 : 0;
        Sleep(delay);
        ASSERT_TRUE(program.Click(kCancel)) << "cycle " << cycle << ": Abbrechen did not answer";
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

    // Still the same program: a last start runs, Esc's menu item ends it with exit code 0.
    ASSERT_TRUE(program.Click(12));
    EXPECT_TRUE(apptest::WaitFor([&] { return program.Enabled(kCancel); }, 3000));
    program.ChooseMenu(2);
    EXPECT_EQ(program.WaitExit(5000), 0u);
    EXPECT_TRUE(program.Records().empty()) << "the task ran although the program was ended";
}
