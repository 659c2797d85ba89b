// Keyboard shortcuts: a key combination of one window that yields EVENT_MENU with an
// item number, kept in the window's accelerator entries.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "core/objtable.h"

// Modifier bits of a shortcut key code (low 16 bits: the virtual-key code).
constexpr int32_t KEY_SHIFT = 0x10000;
constexpr int32_t KEY_CONTROL = 0x20000;
constexpr int32_t KEY_ALT = 0x40000;

// Binds keyCode on the window to item (cut to 16 bits), replacing an existing binding of the
// same key and modifiers. Returns the window's new accelerator table, 0 for an unknown window.
HACCEL Shortcut_Add(ObjId window, int32_t keyCode, int32_t item);
