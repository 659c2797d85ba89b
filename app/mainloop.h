// The main event loop: hides a minimised main window, answers tray clicks, carries out menu
// items and shortcuts, starts and cancels the countdown, and ends when the window is closed.
#pragma once

// ---- Public functions ----

// Runs passes until the main window asks to close; items "Beenden" end the program at once.
void MainLoop_Run();

// Shows the about message ("Informationen"), built anew with the current version text.
void MainLoop_ShowAbout();

// Shows the liability message ("Haftung").
void MainLoop_ShowLiability();
