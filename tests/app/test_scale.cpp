// The program at the display scale of its run (100 % in the ordinary test prefix, 125, 150 and
// 200 % in prefixes of their own): every text fits its control in the controls' own font, the
// pictures come at their scaled size and are the images drawn for that size, and the rounding of
// 96-DPI units to pixels covers the display and comes back unchanged.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "app_support.h"
#include "common/harness_common.h"
#include "controls/control.h"
#include "controls/images.h"
#include "controls/kinds.h"
#include "shell/desktop.h"
#include "window/dpi.h"
#include "window/window.h"

using apptest::Program;
using apptest::Scaled;

namespace {

// A window of this test process with controls made by the toolkit, as the program makes its own.
constexpr ObjId kProbeWindow = 7;

// The sizes every icon file of the program offers: 100, 125, 150 and 200 % of 16 and of 32 pixels.
constexpr int kIconSizes[] = {16, 20, 24, 32, 40, 48, 64};

// The pixels of the image of a given width in an icon file (32 bits, bottom-up rows), empty when the
// file has no image of that width.
std::vector<BYTE> IconFilePixels(const std::string& path, int width) {
    std::string file = apptest::ReadFile(path);
    const BYTE* b = reinterpret_cast<const BYTE*>(file.data());
    size_t count = file.size() >= 6 ? b[4] | (b[5] << 8) : 0;
    for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= file.size(); ++i) {
        const BYTE* entry = b + 6 + 16 * i;
        size_t offset =
            entry[12] | (entry[13] << 8) | (entry[14] << 16) | (static_cast<size_t>(entry[15]) << 24);
        size_t bytes = static_cast<size_t>(width) * width * 4;
        if (entry[0] == width && offset + 40 + bytes <= file.size()) {
            return std::vector<BYTE>(b + offset + 40, b + offset + 40 + bytes);
        }
    }
    return {};
}

// The colour pixels of a loaded icon (32 bits, bottom-up rows).
std::vector<BYTE> IconPixels(HANDLE icon, int width, int height) {
    std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
    ICONINFO info{};
    if (!GetIconInfo(static_cast<HICON>(icon), &info)) {
        return {};
    }
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, info.hbmColor, 0, height, pixels.data(), &bmi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return rows == height ? pixels : std::vector<BYTE>();
}

} // namespace

TEST(DisplayScale, test_every_text_fits_its_control_in_the_controls_font) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));

    // The toolkit in this process picks the controls' font as the program's does; the program's
    // task list shows that it is the same: a drop-down list's field is as high as its font makes it.
    TestToolkit_Init();
    ASSERT_NE(Win_Open(kProbeWindow, 0, 0, 500, 350, "probe", WIN_INVISIBLE), 0);
    Ctl_BeginList(Win_Handle(kProbeWindow));
    HWND list = reinterpret_cast<HWND>(Ctl_Combo(1, 110, 120, 300, 300, 0));
    ASSERT_NE(list, nullptr);
    DWORD_PTR programField = 0;
    ASSERT_TRUE(SendMessageTimeoutA(program.Control(7), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0,
                                    SMTO_ABORTIFHUNG, 5000, &programField));
    EXPECT_EQ(static_cast<LRESULT>(programField),
              SendMessageA(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0))
        << "the program's controls do not carry the font the toolkit picks";

    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, Ctl_Target()->font);
    // Static texts break at word ends like DrawText: the lines they need must fit the control.
    for (int number : {3, 6, 8, 10, 11}) {
        RECT box = program.ControlRect(number);
        std::string text = program.Text(number);
        RECT need = {0, 0, box.right - box.left, 0};
        DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        EXPECT_LE(need.right, box.right - box.left) << "'" << text << "' is wider than control " << number;
        EXPECT_LE(need.bottom, box.bottom - box.top) << "'" << text << "' is taller than control " << number;
    }
    // The banner's one line of text.
    RECT line = {0, 0, Scaled(1000), 0};
    DrawTextA(dc, "Hinweis: Der Computer wird in 2 Minute(n) neu gestartet", -1, &line, DT_CALCRECT);
    EXPECT_LE(line.bottom, Scaled(20)) << "the banner's text is taller than its control";
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);

    // Check boxes: the box, its gap and the text on one line, as the button class measures them.
    for (int number : {17, 18}) {
        RECT box = program.ControlRect(number);
        std::string text = program.Text(number);
        HWND check = reinterpret_cast<HWND>(Ctl_Check(2, 60, 240, 200, 20, text.c_str(), 0));
        ASSERT_NE(check, nullptr);
        SIZE ideal = {};
        ASSERT_TRUE(SendMessageA(check, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
        EXPECT_LE(ideal.cx, box.right - box.left) << "'" << text << "' is wider than check box " << number;
        EXPECT_LE(ideal.cy, box.bottom - box.top) << "'" << text << "' is taller than check box " << number;
    }
    Win_Close(kProbeWindow);
}

TEST(DisplayScale, test_pictures_come_at_their_scaled_size_drawn_for_it) {
    REQUIRE_RECORDER();
    Program program;
    ASSERT_TRUE(program.Start(""));
    for (int number : {2, 5, 16}) {
        RECT image = program.ControlRect(number);
        EXPECT_EQ(image.right - image.left, Scaled(32)) << "image control " << number;
        EXPECT_EQ(image.bottom - image.top, Scaled(32)) << "image control " << number;
    }

    // The program's ten files, loaded by the toolkit in this process at the same scale.
    struct Picture {
        const char* file;
        int own; // pixels at 100 %
        bool icon;
    };
    const Picture pictures[] = {
        {"Symbole\\Einleitung.ico", 32, true},    {"Symbole\\Vorgang.ico", 32, true},
        {"Symbole\\Warnung.ico", 32, true},       {"Symbole\\Nachtriegel-16.ico", 16, true},
        {"Bilder\\Einstellungen.bmp", 13, false}, {"Bilder\\Beenden.bmp", 13, false},
        {"Bilder\\Informationen.bmp", 13, false}, {"Bilder\\Anzeigen.bmp", 13, false},
        {"Bilder\\Verstecken.bmp", 13, false},    {"Bilder\\Haftung.bmp", 13, false},
    };
    TestToolkit_Init();
    Img_Init();
    for (const Picture& picture : pictures) {
        std::string path = apptest::BinDir() + "\\" + picture.file;
        ASSERT_NE(Img_Load(1, path.c_str(), 0), 0) << picture.file;
        int32_t width = 0, height = 0, depth = 0;
        ASSERT_TRUE(Img_Measure(Img_Handle(1), &width, &height, &depth)) << picture.file;
        EXPECT_EQ(width, Scaled(picture.own)) << picture.file;
        EXPECT_EQ(height, Scaled(picture.own)) << picture.file;
        if (!picture.icon) {
            continue;
        }
        // Crisp: where the file holds an image of the scaled size, that image is shown as drawn.
        std::vector<BYTE> drawn = IconFilePixels(path, width);
        if (std::find(std::begin(kIconSizes), std::end(kIconSizes), width) != std::end(kIconSizes)) {
            EXPECT_FALSE(drawn.empty()) << picture.file << " has no image of " << width << " pixels";
        }
        if (!drawn.empty()) {
            EXPECT_TRUE(IconPixels(Img_Handle(1), width, height) == drawn)
                << picture.file << ": not the file's " << width << "-pixel image";
        }
    }
    // The tray icon, image 6 of the program, is the system's small icon size.
    ASSERT_NE(Img_Load(1, (apptest::BinDir() + "\\Symbole\\Nachtriegel-16.ico").c_str(), 0), 0);
    int32_t width = 0, height = 0, depth = 0;
    Img_Measure(Img_Handle(1), &width, &height, &depth);
    EXPECT_EQ(width, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(height, GetSystemMetrics(SM_CYSMICON));
    Img_Free(1);
}

TEST(DisplayScale, test_units_round_to_pixels_and_back_without_drift_and_cover_the_display) {
    EXPECT_EQ(Dpi_Get(), apptest::DisplayDpi());
    int wrong = 0, drift = 0, shortfall = 0, wasteful = 0;
    for (int dpi : {72, 96, 120, 144, 168, 192, 240, 288}) {
        for (int units = -200; units <= 3000; ++units) {
            // The nearest pixel, halves away from zero.
            long long twice = 2LL * units * dpi;
            int expected = static_cast<int>((twice + (units < 0 ? -96 : 96)) / 192);
            wrong += Dpi_ScaleAt(units, dpi) != expected;
            drift += dpi >= 96 && Dpi_UnscaleAt(Dpi_ScaleAt(units, dpi), dpi) != units;
        }
        for (int pixels = -300; pixels <= 4000; ++pixels) {
            int units = Dpi_UnscaleAt(pixels, dpi);
            shortfall += Dpi_ScaleAt(units, dpi) < pixels;
            wasteful += Dpi_ScaleAt(units - 1, dpi) >= pixels;
        }
    }
    EXPECT_EQ(wrong, 0) << "units not rounded to the nearest pixel";
    EXPECT_EQ(drift, 0) << "scaled values do not come back unchanged";
    EXPECT_EQ(shortfall, 0) << "units that scale back to fewer pixels";
    EXPECT_EQ(wasteful, 0) << "not the smallest units that cover the pixels";

    // The banner is Desk_Width(0) units wide: all of the primary display, by less than one unit more.
    TestToolkit_Init();
    ASSERT_GE(Desk_Examine(), 1);
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_GE(Dpi_Scale(Desk_Width(0)), screen);
    EXPECT_LT(Dpi_Scale(Desk_Width(0) - 1), screen);
}

// The controls' font is measured against its 100 % size, which must be the same whichever way the
// platform rounded the 8 pt GUI font: Windows makes it -MulDiv(8, dpi, 72), Wine scales the 96-DPI -11.
TEST(DisplayScale, test_gui_font_has_its_100_percent_size_at_every_scale) {
    const struct {
        int dpi;
        int windows; // pixels, as Windows makes DEFAULT_GUI_FONT
        int wine;
    } scales[] = {{96, 11, 11}, {120, 13, 14}, {144, 16, 17}, {168, 19, 19}, {192, 21, 22}};
    for (const auto& scale : scales) {
        EXPECT_EQ(Dpi_FontBaseHeight(scale.windows, scale.dpi), 11)
            << "Windows' " << scale.windows << " pixels at " << scale.dpi << " DPI";
        EXPECT_EQ(Dpi_FontBaseHeight(scale.wine, scale.dpi), 11)
            << "Wine's " << scale.wine << " pixels at " << scale.dpi << " DPI";
    }
    // Other point sizes keep theirs: 9 pt is 12 pixels at 100 %, 10 pt 13.
    EXPECT_EQ(Dpi_FontBaseHeight(15, 120), 12);
    EXPECT_EQ(Dpi_FontBaseHeight(20, 144), 13);
    EXPECT_EQ(Dpi_FontBaseHeight(0, 120), 0);
}
