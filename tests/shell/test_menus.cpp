// Tests of the numbered menus: building order, greying, replacement, and a pop-up menu
// shown for real, driven by keys from a second thread, whose choice comes back as EVENT_MENU.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shell/menus.h"
#include "shell/shell_support.h"
#include "window/events.h"
#include "window/window.h"

using namespace shelltest;

namespace {

constexpr ObjId kBar = 0;
constexpr ObjId kPopup = 1;

std::vector<UINT> ItemIds(HMENU menu) {
    std::vector<UINT> ids;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        ids.push_back(GetMenuItemID(menu, i));
    return ids;
}

std::string ItemText(HMENU menu, int position) {
    char text[128] = "";
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof(text), MF_BYPOSITION);
    return text;
}

bool Greyed(HMENU menu, UINT item) {
    return (GetMenuState(menu, item, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

// The bar of the main window: "Programm" with items 1, 2 and "Hilfe" with items 7, 3.
void BuildBar(HWND window) {
    Menu_Create(kBar, window);
    Menu_Title("Programm");
    Menu_Item(1, "Einstellungen\tStrg+E");
    Menu_Item(2, "Beenden\tEsc");
    Menu_Title("Hilfe");
    Menu_Item(7, "Haftung");
    Menu_Item(3, "Informationen\tStrg+I");
}

void BuildPopup() {
    Menu_CreatePopup(kPopup);
    Menu_Item(4, "Anzeigen");
    Menu_Item(5, "Verstecken");
    Menu_Item(6, "Beenden");
}

// The visible pop-up menu window, polled for a bounded time; null if none appears.
HWND FindOpenMenu() {
    HWND menu = nullptr;
    WaitFor(
        [&] {
            menu = FindWindowA("#32768", nullptr);
            return menu != nullptr && IsWindowVisible(menu);
        },
        5000, 20);
    return (menu != nullptr && IsWindowVisible(menu)) ? menu : nullptr;
}

constexpr HostWindow kMenuHost = {0, 100, 100, 320, 200, "NR Menus", WIN_DEFAULT_FLAGS, 0, 50, 50};

class MenuTest : public HostWindowTest<kMenuHost> {
  protected:
    void SetUp() override {
        InitToolkit();
        Menu_Init();
        HostWindowTest::SetUp();
    }
    void TearDown() override {
        Menu_Free(kBar);
        Menu_Free(kPopup);
        HostWindowTest::TearDown();
    }
};

} // namespace

TEST_F(MenuTest, test_bar_holds_two_dropdowns_in_declared_order) {
    ObjId created = Menu_Create(kBar, hwnd_);
    ASSERT_NE(created, 0);
    HMENU bar = Menu_Handle(kBar);
    EXPECT_EQ(reinterpret_cast<HMENU>(created), bar);
    EXPECT_EQ(GetMenu(hwnd_), nullptr) << "the bar is attached with its first title";

    Menu_Title("Programm");
    EXPECT_EQ(GetMenu(hwnd_), bar);
    Menu_Item(1, "Einstellungen\tStrg+E");
    Menu_Item(2, "Beenden\tEsc");
    Menu_Title("Hilfe");
    Menu_Item(7, "Haftung");
    Menu_Item(3, "Informationen\tStrg+I");

    ASSERT_EQ(GetMenuItemCount(bar), 2);
    EXPECT_EQ(ItemText(bar, 0), "Programm");
    EXPECT_EQ(ItemText(bar, 1), "Hilfe");
    HMENU program = GetSubMenu(bar, 0);
    HMENU help = GetSubMenu(bar, 1);
    ASSERT_NE(program, nullptr);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(ItemIds(program), (std::vector<UINT>{1, 2}));
    EXPECT_EQ(ItemIds(help), (std::vector<UINT>{7, 3}));
    EXPECT_EQ(ItemText(program, 0), "Einstellungen\tStrg+E");
    EXPECT_EQ(ItemText(help, 1), "Informationen\tStrg+I");
}

TEST_F(MenuTest, test_items_on_the_bar_itself_attach_it_and_are_laid_out_at_once) {
    ASSERT_NE(Menu_Create(kBar, hwnd_), 0);
    HMENU bar = Menu_Handle(kBar);
    RECT before = {};
    GetClientRect(hwnd_, &before);
    Menu_Item(1, "Eins");
    EXPECT_EQ(GetMenu(hwnd_), bar) << "an item on the bar attaches it like a title";
    Menu_Item(2, "Zwei");
    // Laid out means: each item has its place on the bar, and the client area gave the bar its room.
    for (int i = 0; i < 2; ++i) {
        RECT item = {};
        ASSERT_TRUE(GetMenuItemRect(hwnd_, bar, static_cast<UINT>(i), &item));
        EXPECT_GT(item.right - item.left, 0) << "item " << i << " has no place on the bar";
    }
    RECT after = {};
    GetClientRect(hwnd_, &after);
    EXPECT_LT(after.bottom, before.bottom) << "expected the bar to take room from the client area";
}

TEST_F(MenuTest, test_popup_items_go_into_the_popup_not_the_last_dropdown) {
    BuildBar(hwnd_);
    ObjId created = Menu_CreatePopup(kPopup);
    ASSERT_NE(created, 0);
    Menu_Item(4, "Anzeigen");
    Menu_Item(5, "Verstecken");
    Menu_Item(6, "Beenden");

    HMENU popup = Menu_Handle(kPopup);
    EXPECT_EQ(reinterpret_cast<HMENU>(created), popup);
    EXPECT_EQ(ItemIds(popup), (std::vector<UINT>{4, 5, 6}));
    EXPECT_EQ(ItemIds(GetSubMenu(Menu_Handle(kBar), 1)), (std::vector<UINT>{7, 3}));
    EXPECT_EQ(GetMenu(hwnd_), Menu_Handle(kBar)) << "a pop-up menu is never attached";

    // A title on a pop-up menu opens a drop-down inside it, on its top level.
    Menu_Title("Mehr");
    Menu_Item(8, "Acht");
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    EXPECT_EQ(ItemIds(GetSubMenu(popup, 3)), (std::vector<UINT>{8}));
}

TEST_F(MenuTest, test_items_are_greyed_and_enabled_by_command) {
    BuildBar(hwnd_);
    HMENU bar = Menu_Handle(kBar);
    EXPECT_FALSE(Greyed(bar, 1));
    Menu_DisableItem(kBar, 1, 1);
    EXPECT_TRUE(Greyed(bar, 1)) << "lookup by command reaches into the drop-down";
    EXPECT_FALSE(Greyed(bar, 2));
    EXPECT_FALSE(Greyed(bar, 3));
    Menu_DisableItem(kBar, 1, 0);
    EXPECT_FALSE(Greyed(bar, 1));
    Menu_DisableItem(kBar, 3, 5);
    EXPECT_TRUE(Greyed(bar, 3)) << "any non-zero state greys";
}

TEST_F(MenuTest, test_recreating_a_number_detaches_and_destroys_the_old_bar) {
    BuildBar(hwnd_);
    HMENU old = Menu_Handle(kBar);
    HMENU oldHelp = GetSubMenu(old, 1);
    ASSERT_EQ(GetMenu(hwnd_), old);

    ASSERT_NE(Menu_Create(kBar, hwnd_), 0);
    HMENU fresh = Menu_Handle(kBar);
    ASSERT_NE(fresh, old);
    EXPECT_FALSE(IsMenu(old));
    EXPECT_FALSE(IsMenu(oldHelp)) << "drop-downs go with their bar";
    EXPECT_EQ(GetMenu(hwnd_), nullptr);
    EXPECT_EQ(GetMenuItemCount(fresh), 0);
}

TEST_F(MenuTest, test_freed_menu_is_gone_and_building_stops) {
    BuildBar(hwnd_);
    BuildPopup();
    Menu_Free(kPopup);
    EXPECT_EQ(Menu_Handle(kPopup), nullptr);
    // The menu being built is gone: these must neither crash nor land in another menu.
    Menu_Item(9, "Nirgends");
    Menu_Title("Nirgends");
    HMENU bar = Menu_Handle(kBar);
    EXPECT_EQ(GetMenuItemCount(bar), 2);
    EXPECT_EQ(ItemIds(GetSubMenu(bar, 1)), (std::vector<UINT>{7, 3}));

    Menu_Free(kBar);
    EXPECT_EQ(Menu_Handle(kBar), nullptr);
    EXPECT_EQ(GetMenu(hwnd_), nullptr);
    EXPECT_FALSE(IsMenu(bar));

    // Numbers that hold no menu do nothing.
    Menu_Free(kBar);
    Menu_DisableItem(kBar, 1, 1);
    Menu_ShowPopupAt(kBar, hwnd_, 10, 10);
    EXPECT_EQ(Menu_Handle(12345), nullptr);
    EXPECT_EQ(Menu_Handle(-7), nullptr);
}

TEST_F(MenuTest, test_menu_of_another_window_is_not_detached) {
    // Freeing a bar leaves a different menu that the window carries by now.
    BuildBar(hwnd_);
    HMENU other = CreateMenu();
    AppendMenuA(other, MF_STRING, 99, "Fremd");
    SetMenu(hwnd_, other);
    Menu_Free(kBar);
    EXPECT_EQ(GetMenu(hwnd_), other);
    SetMenu(hwnd_, nullptr);
    DestroyMenu(other);
}

TEST_F(MenuTest, test_obj_any_menu_is_named_by_its_identifier) {
    ObjId id = Menu_CreatePopup(OBJ_ANY);
    ASSERT_NE(id, 0);
    ASSERT_NE(id, OBJ_ANY);
    Menu_Item(11, "Elf");
    HMENU menu = Menu_Handle(id);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(ItemIds(menu), (std::vector<UINT>{11}));
    Menu_Free(id);
    EXPECT_EQ(Menu_Handle(id), nullptr);
    EXPECT_FALSE(IsMenu(menu));
}

TEST_F(MenuTest, test_posted_menu_command_becomes_event_menu) {
    BuildBar(hwnd_);
    PostMessageA(hwnd_, WM_COMMAND, 7, 0);
    ASSERT_TRUE(Test_WaitForEvent(EVENT_MENU));
    EXPECT_EQ(Event_Menu(), 7);
    EXPECT_EQ(Event_Type(), -1);
}

TEST_F(MenuTest, test_popup_opens_at_cursor_and_choice_becomes_event_menu) {
    BuildPopup();
    ASSERT_TRUE(SetCursorPos(500, 300));
    POINT cursor;
    ASSERT_TRUE(GetCursorPos(&cursor));
    ASSERT_EQ(cursor.x, 500);

    std::atomic<bool> found{false};
    RECT rect = {};
    std::thread driver([&] {
        HWND menu = FindOpenMenu();
        if (menu == nullptr)
            return;
        found = true;
        GetWindowRect(menu, &rect);
        // Down twice selects the second item ("Verstecken", 5); Return chooses it.
        Test_PostKey(menu, VK_DOWN);
        Test_PostKey(menu, VK_DOWN);
        Test_PostKey(menu, VK_RETURN);
    });
    Menu_ShowPopup(kPopup, hwnd_);
    driver.join();
    ASSERT_TRUE(found) << "the pop-up menu never appeared";
    EXPECT_EQ(rect.left, 499);
    EXPECT_EQ(rect.top, 299);

    ASSERT_TRUE(Test_WaitForEvent(EVENT_MENU));
    EXPECT_EQ(Event_Menu(), 5);
}

TEST_F(MenuTest, test_popup_at_point_cancelled_gives_no_event) {
    BuildPopup();
    std::atomic<bool> found{false};
    RECT rect = {};
    std::thread driver([&] {
        HWND menu = FindOpenMenu();
        if (menu == nullptr)
            return;
        found = true;
        GetWindowRect(menu, &rect);
        Test_PostKey(menu, VK_ESCAPE);
    });
    Menu_ShowPopupAt(kPopup, hwnd_, 200, 150);
    driver.join();
    ASSERT_TRUE(found) << "the pop-up menu never appeared";
    EXPECT_EQ(rect.left, 200);
    EXPECT_EQ(rect.top, 150);
    EXPECT_FALSE(IsWindowVisible(FindWindowA("#32768", nullptr)));
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(Win_WaitEvent(50), EVENT_MENU);
}
