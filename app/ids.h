// The numbers by which the application names its windows, controls, menus, menu items and tray icon.
// A leaf of the application: every module that names one of these objects includes this alone.
#pragma once

#include <cstdint>

// Numbers of the main window's controls.
enum MainControl : int32_t {
    CTL_INTRO_FRAME = 1,
    CTL_INTRO_IMAGE = 2,
    CTL_INTRO_TEXT = 3,
    CTL_TASK_FRAME = 4,
    CTL_TASK_IMAGE = 5,
    CTL_STEP1_TEXT = 6,
    CTL_TASK_LIST = 7,
    CTL_STEP2_TEXT = 8,
    CTL_TIME_FIELD = 9,
    CTL_TASK_CAPTION = 10,
    CTL_TIME_CAPTION = 11,
    CTL_START_BUTTON = 12,
    CTL_CANCEL_BUTTON = 13,
    CTL_WARN_FRAME = 15,
    CTL_WARN_IMAGE = 16,
    CTL_BANNER_BOX = 17,
    CTL_TONE_BOX = 18,
};

// Menu item numbers (menu bar 0 and pop-up menu 1 report to the same window, so they differ).
enum MenuItem : int32_t {
    ITEM_SETTINGS = 1,
    ITEM_QUIT = 2,
    ITEM_ABOUT = 3,
    ITEM_SHOW = 4,
    ITEM_HIDE = 5,
    ITEM_TRAY_QUIT = 6,
    ITEM_LIABILITY = 7,
};

constexpr int32_t MAIN_WINDOW = 0;
constexpr int32_t MAIN_MENU_BAR = 0;
constexpr int32_t MAIN_TRAY_MENU = 1;
constexpr int32_t MAIN_TRAY_ICON = 1;
