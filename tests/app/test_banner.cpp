// The warning banner of a countdown: when it appears, where it slides, how it looks, what it
// says, and that a new banner replaces the old one together with its thread.
#include <gtest/gtest.h>

#include "app_support.h"

using apptest::Program;

namespace {

constexpr COLORREF kBannerBlue = 0xD53500; // red 0, green 53, blue 213
constexpr COLORREF kWhite = 0xFFFFFF;

int Top(HWND banner) {
    RECT rect{};
    GetWindowRect(banner, &rect);
    return rect.top;
}

// Colour of a screen pixel.
COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// Whether any pixel of the screen rectangle is exactly that colour.
bool AnyPixel(const RECT& area, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    bool found = false;
    for (int y = area.top; y < area.bottom && !found; ++y) {
        for (int x = area.left; x < area.right && !found; ++x) {
            found = GetPixel(screen, x, y) == colour;
        }
    }
    ReleaseDC(nullptr, screen);
    return found;
}

// Starts the program counting 70 s with the banner box checked, with the named stand-ins; its first banner.
HWND FirstBanner(Program& program, const char* standIns) {
    apptest::Layout layout;
    layout.standIns = standIns;
    return program.Start("end 70 x 1", layout) ? program.WaitForBanner(4000) : nullptr;
}

} // namespace

TEST(Banner, test_banner_slides_in_stays_three_seconds_and_slides_out) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("end 70 x 1"));
    // The user works in another program meanwhile: the banner must never take it the keyboard.
    HWND editor = apptest::OpenEditor();
    ASSERT_EQ(GetForegroundWindow(), editor);
    HWND banner = program.WaitForBanner(4000);
    ASSERT_NE(banner, nullptr) << "no banner within 4 s";
    double appeared = apptest::NowMs() - program.ReadyAtMs();
    EXPECT_LE(appeared, 2000.0) << "the first warning comes after one second";

    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    apptest::WindowInfo info = apptest::Inspect(banner);
    EXPECT_TRUE(info.visible);
    EXPECT_TRUE(info.style & WS_POPUP);
    EXPECT_EQ(info.style & WS_CAPTION, 0) << "the banner has no caption";
    EXPECT_EQ(info.owner, program.Main()) << "the banner is owned by the main window";
    // Sizes and the slide are 96-DPI figures scaled with the display; the width is the screen's.
    using apptest::Scaled;
    EXPECT_EQ(info.outer.left, 0);
    EXPECT_EQ(info.outer.right - info.outer.left, screenWidth) << "as wide as the screen";
    EXPECT_EQ(info.outer.bottom - info.outer.top, Scaled(25));
    EXPECT_LE(info.outer.top, 0);
    EXPECT_GE(info.outer.top, Scaled(-40));
    EXPECT_EQ(info.title, "Warnmeldung");
    EXPECT_TRUE(
        apptest::WaitFor([&] { return (GetWindowLongPtrA(banner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }, 1000))
        << "the banner must be topmost";
    EXPECT_EQ(program.BannerText(banner), "Hinweis: Der Computer wird in 1 Minute(n) heruntergefahren");
    RECT textRect{};
    GetWindowRect(GetDlgItem(banner, kBannerText), &textRect);
    MapWindowPoints(nullptr, banner, reinterpret_cast<POINT*>(&textRect), 2);
    EXPECT_EQ(textRect.left, Scaled(5));
    EXPECT_EQ(textRect.top, Scaled(5));
    EXPECT_EQ(textRect.right - textRect.left, Scaled(1000));
    EXPECT_EQ(textRect.bottom - textRect.top, Scaled(20));

    bool lost = false;
    ASSERT_TRUE(apptest::WaitFor([&] { return (lost |= GetForegroundWindow() != editor), Top(banner) == 0; },
                                 2000, 5))
        << "the banner never reached y 0";
    double inViewFrom = apptest::NowMs();
    EXPECT_FALSE(lost) << "the banner took the foreground";
    Sleep(300); // let it paint
    EXPECT_EQ(ScreenPixel(screenWidth - 10, 12), kBannerBlue) << "the banner's background is not its blue";
    RECT textArea = {Scaled(5), Scaled(5), Scaled(300), Scaled(25)};
    EXPECT_TRUE(AnyPixel(textArea, kWhite)) << "no white text on the banner";
    // A click on it does not take the foreground either.
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 32768, 65536 * 12 / GetSystemMetrics(SM_CYSCREEN), 0,
                0);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Sleep(300);
    EXPECT_EQ(GetForegroundWindow(), editor) << "a click on the banner took the foreground";

    ASSERT_TRUE(apptest::WaitFor([&] { return Top(banner) < 0; }, 6000, 5)) << "the banner never left";
    double inView = apptest::NowMs() - inViewFrom;
    EXPECT_GE(inView, 2900.0) << "in view for three seconds";
    EXPECT_LE(inView, 4500.0);
    EXPECT_TRUE(apptest::WaitFor([&] { return Top(banner) == Scaled(-40); }, 2000, 5))
        << "back above the screen";
    EXPECT_TRUE(apptest::WaitFor([&] { return !IsWindowVisible(banner); }, 1000))
        << "expected the banner hidden after its slide: above the screen is in sight on a monitor placed "
           "above";
    EXPECT_TRUE(IsWindow(banner)) << "the banner stays open, out of sight";

    ASSERT_TRUE(program.Click(kCancelButton));
    Sleep(500);
    EXPECT_TRUE(program.Records().empty());
    EXPECT_EQ(program.Quit(), 0u);
    DestroyWindow(editor);
}

// High contrast on (a stand-in for the query: Wine cannot switch it on): the banner takes the system's
// highlight colours, which the user chose to be readable, instead of its blue and white.
TEST(Banner, test_high_contrast_gives_the_banner_the_highlight_colours) {
    REQUIRE_RECORDER();
    const COLORREF back = GetSysColor(COLOR_HIGHLIGHT), front = GetSysColor(COLOR_HIGHLIGHTTEXT);
    ASSERT_NE(back, kBannerBlue) << "the check needs a highlight colour other than the banner's blue";
    Program program;
    HWND banner = FirstBanner(program, "contrast");
    ASSERT_NE(banner, nullptr) << "no banner within 4 s";
    ASSERT_TRUE(apptest::WaitFor([&] { return Top(banner) == 0; }, 2000, 5))
        << "the banner never reached y 0";
    Sleep(300); // let it paint
    EXPECT_EQ(ScreenPixel(GetSystemMetrics(SM_CXSCREEN) - 10, 12), back) << "expected the highlight colour";
    RECT textArea = {apptest::Scaled(5), apptest::Scaled(5), apptest::Scaled(300), apptest::Scaled(25)};
    EXPECT_TRUE(AnyPixel(textArea, front)) << "expected text in the highlight's text colour";
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.Records().empty());
}

// Where a sleep of 10 ms lasts a whole clock tick (15.6 ms, as on Windows), the slide still keeps its time:
// each position is the one due at its moment, so positions are skipped instead of the slide stretching to
// 40 ticks (625 ms) each way. Seen from outside, a slide runs from its first move (to y -39, 10 ms after it
// began) to y 0 at 400 ms: 390 ms; the slide-out from 3420 ms to -40 at 3810 ms.
TEST(Banner, test_slide_keeps_its_time_when_every_sleep_ends_on_a_clock_tick) {
    REQUIRE_RECORDER();
    Program program;
    HWND banner = FirstBanner(program, "tick");
    ASSERT_NE(banner, nullptr) << "no banner within 4 s";
    // The moments of the first move, of y 0, of leaving it and of being back at -40, polled every ms.
    const int hidden = apptest::Scaled(-40);
    double at[4] = {};
    const std::function<bool()> reached[4] = {
        [&] { return Top(banner) != hidden; }, [&] { return Top(banner) == 0; },
        [&] { return Top(banner) < 0; }, [&] { return Top(banner) == hidden; }};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(apptest::WaitFor(reached[i], 5000, 1)) << "the slide stopped before step " << i;
        at[i] = apptest::NowMs();
    }
    EXPECT_NEAR(at[1] - at[0], 390, 30) << "slide-in";
    EXPECT_NEAR(at[2] - at[1], 3020, 30) << "in view";
    EXPECT_NEAR(at[3] - at[2], 390, 30) << "slide-out";
    Sleep(100);
    EXPECT_EQ(Top(banner), apptest::Scaled(-40)) << "the slide ends above the screen";
    EXPECT_EQ(program.Quit(), 0u);
    EXPECT_TRUE(program.Records().empty());
}

TEST(Banner, test_sentence_names_the_task_and_the_minutes_left) {
    REQUIRE_RECORDER();
    apptest::ExpectBannerSentences({
        {"end 130 x 1", "Hinweis: Der Computer wird in 2 Minute(n) heruntergefahren"},
        {"restart 130 x 1", "Hinweis: Der Computer wird in 2 Minute(n) neu gestartet"},
        {"standby 130 x 1", "Hinweis: Der Computer wird in 2 Minute(n) in den Standby/Ruhezustand versetzt"},
        {"change-user 125 x 1", "Hinweis: Der Benutzer wird in 2 Minute(n) gewechselt"},
        {"end-user 59 x 1 1", "Hinweis: Der Benutzer wird in 0 Minute(n) abgemeldet"},
    });
}

TEST(Banner, test_tone_box_alone_shows_no_banner) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("end 70 x 0 1"));
    EXPECT_EQ(program.WaitForBanner(2500), nullptr) << "a banner appeared with only the tone box checked";
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.Quit(), 0u);
}

TEST(Banner, test_new_banner_replaces_the_old_one_and_closing_a_banner_ends_its_thread) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start("end 70 x 1"));
    HWND first = program.WaitForBanner(4000);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(apptest::WaitFor([&] { return Top(first) == 0; }, 3000, 5));
    ASSERT_TRUE(apptest::WaitFor([&] { return Top(first) == -40; }, 6000, 5))
        << "the first banner did not slide out";
    Sleep(300); // the slide's thread ends after its last step
    int threadsWithOneBanner = program.ThreadCount();

    // Abbrechen, then Starten: the new countdown's first warning comes while the old banner is
    // still open above the screen.
    ASSERT_TRUE(program.Click(kCancelButton));
    ASSERT_TRUE(apptest::WaitFor([&] { return program.Enabled(kStartButton); }, 2000));
    double startedAt = apptest::NowMs();
    ASSERT_TRUE(program.Click(kStartButton));
    HWND second = nullptr;
    ASSERT_TRUE(apptest::WaitFor(
        [&] {
            for (HWND w : program.WindowsOfClass("WindowClass_1")) {
                if (w != first) {
                    second = w;
                    return true;
                }
            }
            return false;
        },
        4000, 10))
        << "no new banner";
    double appearedAfter = apptest::NowMs() - startedAt;
    EXPECT_GE(appearedAfter, 900.0) << "the first warning comes after the first second";
    EXPECT_LE(appearedAfter, 2500.0) << "the first warning comes after the first second";
    EXPECT_TRUE(apptest::WaitFor([&] { return !IsWindow(first); }, 3000)) << "the old banner was not closed";
    EXPECT_EQ(program.WindowsOfClass("WindowClass_1").size(), 1u) << "more than one banner window";
    EXPECT_TRUE(apptest::WaitFor([&] { return GetDlgItem(second, kBannerText) != nullptr; }, 1000));
    EXPECT_EQ(program.BannerText(second), "Hinweis: Der Computer wird in 1 Minute(n) heruntergefahren");
    ASSERT_TRUE(apptest::WaitFor([&] { return Top(second) == 0; }, 3000, 5))
        << "the new banner did not slide in";
    ASSERT_TRUE(apptest::WaitFor([&] { return Top(second) == -40; }, 6000, 5))
        << "the new banner did not slide out";
    Sleep(300);
    EXPECT_EQ(program.ThreadCount(), threadsWithOneBanner) << "the old banner's thread did not end";

    // Closing the banner ends its thread only; the program goes on.
    PostMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_TRUE(apptest::WaitFor([&] { return !IsWindow(second); }, 3000)) << "the banner did not close";
    EXPECT_TRUE(apptest::WaitFor([&] { return program.ThreadCount() == threadsWithOneBanner - 1; }, 3000))
        << "threads " << program.ThreadCount() << ", expected " << threadsWithOneBanner - 1;
    EXPECT_TRUE(program.Running()) << "closing the banner must not end the program";
    EXPECT_TRUE(IsWindowVisible(program.Main()));

    ASSERT_TRUE(program.Click(kCancelButton));
    ASSERT_TRUE(program.Keys({VK_ESCAPE}));
    EXPECT_EQ(program.WaitExit(5000), 0u);
    EXPECT_TRUE(program.Records().empty());
}
