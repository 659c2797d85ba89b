// The program at the display scale of its run (100 % in the ordinary test prefix, 125, 150 and
// 200 % in prefixes of their own): every text fits its control in the controls' own font, the
// pictures come at their scaled size and are the images drawn for that size, the rounding of
// 96-DPI units to pixels covers the display and comes back unchanged, and the program's main window,
// which Windows moves to a monitor of another scale, is laid out as one opened there.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "app/startup.h"
#include "app_support.h"
#include "common/harness_common.h"
#include "controls/control.h"
#include "controls/images.h"
#include "controls/kinds.h"
#include "shell/desktop.h"
#include "shell/menus.h"
#include "shell/tray.h"
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

// The program's own code, run on a thread of this test program as its main thread: WM_DPICHANGED reaches
// a window only from its own process.
DWORD WINAPI RunProgram(LPVOID) {
    App_Main();
}

// The program's main window, opened, built and shown by its own code in this process (once: the program
// runs once per process), started in its folder, where its pictures are; null when it did not come up. Its
// tray icon is taken away at once, so that no later program takes it for its own.
HWND OwnMainWindow() {
    static const HWND main = [] {
        char home[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, home);
        SetCurrentDirectoryA(apptest::BinDir().c_str());
        CloseHandle(CreateThread(nullptr, 0, RunProgram, nullptr, 0, nullptr));
        const bool shown = apptest::WaitFor([] { return IsWindowVisible(Win_Handle(0)) != FALSE; }, 10000);
        SetCurrentDirectoryA(home);
        Tray_Remove(kTrayIconNumber);
        return shown ? Win_Handle(0) : nullptr;
    }();
    return main;
}

// The main window's layout and its task list.
constexpr apptest::ControlPlace kTaskListPlace = {kTaskList, 110, 120, 300, 300, nullptr};
constexpr int kPlaceCount = static_cast<int>(std::size(apptest::kLayout)) + 1;
const apptest::ControlPlace& Place(int i) {
    return i < kPlaceCount - 1 ? apptest::kLayout[i] : kTaskListPlace;
}

// The height a font was made with.
LONG FontHeight(HFONT font) {
    LOGFONTA face{};
    GetObjectA(font, sizeof face, &face);
    return face.lfHeight;
}

// Place and size in the main window's client area (a drop-down list's height is its field's, which its
// font sets) and font height of each control of the layout, five values each.
std::vector<long> Geometry(HWND main) {
    std::vector<long> values;
    for (int i = 0; i < kPlaceCount; ++i) {
        HWND control = GetDlgItem(main, Place(i).number);
        RECT box{};
        GetWindowRect(control, &box);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&box), 2);
        values.insert(values.end(),
                      {box.left, box.top, box.right - box.left, box.bottom - box.top,
                       FontHeight(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)))});
    }
    return values;
}

// Width and height of a rectangle, and of a menu item's check-mark bitmap.
std::pair<long, long> SizeOf(const RECT& r) {
    return {r.right - r.left, r.bottom - r.top};
}
std::pair<long, long> ItemBitmapSize(HMENU menu, UINT item) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_CHECKMARKS;
    BITMAP bm{};
    GetMenuItemInfoA(menu, item, FALSE, &info);
    GetObjectA(info.hbmpChecked, sizeof bm, &bm);
    return {bm.bmWidth, bm.bmHeight};
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

// The controls' font is measured against its 100 % height, 11 pixels, whatever height the platform gave
// its 8 pt GUI font (Windows -MulDiv(8, dpi, 72): 13 at 120 DPI; Wine 14). Measured against 10 pixels
// (Windows' 13 unscaled), the check would take a font one size too small: never more than one pixel below
// the 100 % height scaled, never above Windows' own 8 pt.
TEST(DisplayScale, test_gui_font_has_its_100_percent_size_at_every_scale) {
    TestToolkit_Init();
    for (int dpi : {96, 120, 144, 168, 192}) {
        LOGFONTA face = {};
        ASSERT_NE(GetObjectA(Ctl_Font(dpi), sizeof face, &face), 0) << dpi << " DPI";
        const LONG height = face.lfHeight < 0 ? -face.lfHeight : face.lfHeight;
        EXPECT_GE(height, MulDiv(11, dpi, 96) - 1) << dpi << " DPI: a font smaller than the 100 % one scaled";
        EXPECT_LE(height, std::max(11, MulDiv(8, dpi, 72))) << dpi << " DPI: larger than Windows' 8 pt";
    }
}

TEST(DisplayScale, test_a_dpi_change_lays_the_window_out_as_if_opened_at_that_scale) {
    // Windows sends WM_DPICHANGED to the window's thread; Wine never does, so the test sends it from this
    // process, where the program runs.
    REQUIRE_RECORDER();
    const HWND main = OwnMainWindow();
    ASSERT_NE(main, nullptr) << "the program's main window did not come up";
    const int own = Dpi_Get();
    const std::vector<long> opened = Geometry(main);
    const apptest::WindowInfo before = apptest::Inspect(main);
    auto adjust =
        reinterpret_cast<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(reinterpret_cast<void (*)(void)>(
            GetProcAddress(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
    ASSERT_NE(adjust, nullptr);
    for (int dpi : {144, 120, 96, own, 144, 120, 96, own}) {
        SIZE asked{};
        EXPECT_TRUE(SendMessageA(main, 0x02E4 /* WM_GETDPISCALEDSIZE */, MAKEWPARAM(dpi, dpi),
                                 reinterpret_cast<LPARAM>(&asked)));
        RECT suggested = {dpi, 2 * dpi, dpi + asked.cx, 2 * dpi + asked.cy};
        SendMessageA(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        // As opened at this scale: caption, system menu and minimise box around 500 x 350 units at the DPI,
        // the menu bar within.
        RECT frame = {0, 0, Dpi_ScaleAt(500, dpi), Dpi_ScaleAt(350, dpi)};
        adjust(&frame, 0xCA0000, FALSE, static_cast<DWORD>(GetWindowLongPtrA(main, GWL_EXSTYLE)), dpi);
        const apptest::WindowInfo now = apptest::Inspect(main);
        EXPECT_EQ(SizeOf(now.outer), SizeOf(frame)) << dpi << " DPI: window size";
        EXPECT_EQ(SizeOf(suggested), SizeOf(frame)) << dpi << " DPI: size answered beforehand";
        EXPECT_EQ(now.outer.left, suggested.left) << dpi << " DPI: not at the suggested place";
        EXPECT_EQ(now.outer.top, suggested.top) << dpi << " DPI: not at the suggested place";

        // Every control at its units at the DPI, in the DPI's font.
        const std::vector<long> moved = Geometry(main);
        const HFONT font = Ctl_Font(dpi);
        for (int i = 0; i < kPlaceCount; ++i) {
            const apptest::ControlPlace& c = Place(i);
            const long* got = &moved[5 * i];
            // An image its picture's 32 units; a drop-down list's field as high as its font makes it.
            const int width = c.width != 0 ? c.width : 32, height = c.height != 0 ? c.height : 32;
            EXPECT_EQ(
                std::vector<long>(got, got + 5),
                (std::vector<long>{Dpi_ScaleAt(c.x, dpi), Dpi_ScaleAt(c.y, dpi), Dpi_ScaleAt(width, dpi),
                                   c.text != nullptr ? Dpi_ScaleAt(height, dpi) : got[3], FontHeight(font)}))
                << dpi << " DPI, control " << c.number;
            // The texts still fit, a check box's beside its box (13 pixels and a gap at 100 %).
            const bool check = c.number == kBannerBox || c.number == kToneBox;
            RECT box = {0, 0, Dpi_ScaleAt(c.width - (check ? 16 : 0), dpi), 0}, need = box;
            HDC dc = GetDC(nullptr);
            SelectObject(dc,
                         reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(main, c.number), WM_GETFONT, 0, 0)));
            DrawTextA(dc, c.text != nullptr ? c.text : "", -1, &need,
                      DT_CALCRECT | (check ? DT_SINGLELINE : DT_WORDBREAK));
            ReleaseDC(nullptr, dc);
            EXPECT_TRUE(c.width == 0 ||
                        (need.right <= box.right && need.bottom <= Dpi_ScaleAt(c.height, dpi)))
                << dpi << " DPI: text of control " << c.number << " needs " << need.right << " x "
                << need.bottom;
        }
        // Sharp: each picture is its icon file's image drawn for the size.
        const int side = Dpi_ScaleAt(32, dpi);
        for (auto [number, file] :
             {std::pair(kIntroImage, "Einleitung"), {kTaskImage, "Vorgang"}, {kWarnImage, "Warnung"}}) {
            const std::vector<BYTE> drawn =
                IconFilePixels(apptest::BinDir() + "\\Symbole\\" + file + ".ico", side);
            HANDLE shown =
                reinterpret_cast<HANDLE>(SendMessageA(GetDlgItem(main, number), STM_GETIMAGE, IMAGE_ICON, 0));
            EXPECT_TRUE(!drawn.empty() && IconPixels(shown, side, side) == drawn)
                << dpi << " DPI: picture of control " << number;
        }
        // The bar's pictures follow the window; the tray menu's (menu 1) stay at the display's scale,
        // also the picture of "Beenden" that both menus show.
        for (int item : {kItemSettings, kItemQuit, kItemAbout, kItemLiability}) {
            EXPECT_EQ(ItemBitmapSize(GetMenu(main), item),
                      SizeOf({0, 0, Dpi_ScaleAt(13, dpi), Dpi_ScaleAt(13, dpi)}))
                << dpi << " DPI, menu bar item " << item;
        }
        for (int item : {kItemShow, kItemHide, kItemTrayQuit}) {
            EXPECT_EQ(ItemBitmapSize(Menu_Handle(1), item),
                      SizeOf({0, 0, Dpi_ScaleAt(13, own), Dpi_ScaleAt(13, own)}))
                << dpi << " DPI, tray menu item " << item;
        }
        if (dpi == own) {
            // Back at the scale it was opened at: exactly as it was, nothing grown or shrunk by rounding.
            EXPECT_EQ(moved, opened);
            EXPECT_EQ(SizeOf(now.client), SizeOf(before.client));
            EXPECT_EQ(SizeOf(now.outer), SizeOf(before.outer));
        }
    }
}
