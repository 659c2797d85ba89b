// The main thread's event loop.
#include "app/mainloop.h"

#include "app/countdown.h"
#include "app/mainwindow.h"
#include "app/state.h"
#include "app/trace.h"
#include "core/strings.h"
#include "shell/menus.h"
#include "shell/msgbox.h"
#include "window/events.h"
#include "window/focus.h"
#include "window/window.h"

namespace {

constexpr int32_t kMessageOkOnly = 0; // MB_OK, no icon

constexpr char kAboutTitle[] = "Informationen";
constexpr char kAboutBody[] =
    "Nachtriegel fährt den Computer nach einer einstellbaren Zeit herunter, startet ihn "
    "neu, versetzt ihn in den Ruhezustand, sperrt ihn oder meldet den Benutzer ab.";
constexpr char kNoTimeTitle[] = "Zeit fehlt";
constexpr char kNoTimeText[] =
    "Bitte geben Sie unter „Zeit:“ die Wartezeit in Sekunden ein, zum Beispiel 600 für "
    "zehn Minuten.";
constexpr char kLiabilityTitle[] = "Haftung";
constexpr char kLiabilityText[] =
    "Bei Soft- und Hardwareschäden, die diese Software verursacht hat, übernimmt "
    "dieser Hersteller keine Haftung.";

// Shown as it is, a window hidden while minimised would only come back as a task-bar button, which the
// next pass hides again: it is restored and brought to the front with its focus back.
void ShowMainWindow() {
    Win_Hide(MAIN_WINDOW, 0);
    if (Win_GetState(MAIN_WINDOW) == WIN_STATE_MINIMIZED) {
        Win_SetState(MAIN_WINDOW, WIN_STATE_NORMAL);
    }
    SetForegroundWindow(Win_Handle(MAIN_WINDOW));
    Win_RestoreFocus(MAIN_WINDOW);
}

// A tray click arrives in one pass and is answered at the start of the next.
void AnswerTrayClick() {
    switch (Event_Type()) {
        case TRAY_RIGHT_CLICK:
            Menu_ShowPopup(MAIN_TRAY_MENU, Win_Handle(MAIN_WINDOW));
            break;
        case TRAY_LEFT_CLICK:
            ShowMainWindow();
            break;
        default:
            break; // double clicks do nothing
    }
}

// The action of a menu item or its shortcut.
void RunMenuItem(ObjId item) {
    switch (item) {
        case ITEM_QUIT:
        case ITEM_TRAY_QUIT:
            ProgramEnd();
        case ITEM_ABOUT:
            MainLoop_ShowAbout();
            break;
        case ITEM_SHOW:
            ShowMainWindow();
            break;
        case ITEM_HIDE:
            Win_Hide(MAIN_WINDOW, 1);
            break;
        case ITEM_LIABILITY:
            MainLoop_ShowLiability();
            break;
        default:
            break; // "Einstellungen" and unknown items have no action
    }
}

// "Starten" and "Abbrechen"; other controls report nothing the loop acts on.
void RunButton(ObjId control) {
    switch (control) {
        case CTL_START_BUTTON:
            // Without a number the task would run after a second, closing programs by force.
            if (!MainWindow_TimeGiven()) {
                Msg_Box(kNoTimeTitle, kNoTimeText, kMessageOkOnly);
                SetFocus(GetDlgItem(Win_Handle(MAIN_WINDOW), CTL_TIME_FIELD));
                break;
            }
            Countdown_Start();
            break;
        case CTL_CANCEL_BUTTON:
            Countdown_Cancel();
            break;
        default:
            break;
    }
}

} // namespace

// ---- Public functions ----

// One pass: hide when minimised, last pass's tray click, wait, menu, buttons, close.
void MainLoop_Run() {
    TRACE_MARK("loop");
    TRACE_WRITE();
    do {
        // Hidden, the window comes back only through the tray icon; without one (its image
        // could not be loaded) it stays minimised on the task bar instead of being lost.
        if (Win_GetState(MAIN_WINDOW) == WIN_STATE_MINIMIZED && g_app.hasTrayIcon) {
            Win_Hide(MAIN_WINDOW, 1);
        }
        if (g_app.currentEvent == EVENT_TRAY) {
            AnswerTrayClick();
        }
        g_app.currentEvent = Win_WaitEvent();
        if (g_app.currentEvent == EVENT_MENU) {
            RunMenuItem(Event_Menu());
        }
        if (g_app.currentEvent == EVENT_CONTROL) {
            RunButton(Event_Control());
        }
        if (g_app.currentEvent == EVENT_CLOSE) {
            g_app.quit = 1;
        }
    } while (g_app.quit != 1);
}

// The version text, two line breaks and what the program does.
void MainLoop_ShowAbout() {
    ScratchFrame frame;
    App_VersionText(frame.Start());
    Str_Concat("\r\r");
    Str_Concat(kAboutBody);
    Msg_Box(kAboutTitle, Scratch_Ptr(frame.Start()), kMessageOkOnly);
}

void MainLoop_ShowLiability() {
    Msg_Box(kLiabilityTitle, kLiabilityText, kMessageOkOnly);
}
