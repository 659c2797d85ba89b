// The main window (window 0): its controls, the menu bar and the tray's pop-up menu, the
// shortcuts, the menu bitmaps, the tray icon, and the running and idle sets of control states.
#pragma once

#include <cstdint>

#include "app/ids.h"

// ---- Public functions ----

// Opens window 0 with the title, hidden; false when the window cannot be opened.
bool MainWindow_Open(const char* title);

// Shows window 0 in the normal state, unless it is on the screen already (minimised by the command line).
void MainWindow_Show();

// Builds the controls, menus, shortcuts, menu bitmaps and the tray icon with its tip.
void MainWindow_Build(const char* trayTip);

// Adds tray icon 1 with its image and the tip of the start-up once the shell announces its taskbar: again
// after the shell has restarted, or for the first time when the add at start-up failed (a minimised window
// then hides to the tray). If the shell refuses an icon that was shown, the window is shown, since it could
// no longer be brought back from the tray.
void MainWindow_RestoreTrayIcon();

// The time field's value now: its text converted with the toolkit's integer rules (a number past the
// 32-bit range counts as the range's end).
int32_t MainWindow_ReadTime();

// True when the time field's text starts with a number (after blanks and tabs and one sign), as
// "Starten" needs it; the command line starts the countdown on any text.
bool MainWindow_TimeGiven();

// Applies the running set (true) or the idle set (false) to the eleven input controls.
void MainWindow_SetRunning(bool running);
