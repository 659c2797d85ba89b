// Keyboard shortcuts: entries in a window's accelerator array, from which the platform
// accelerator table is rebuilt after every change.
#include "window/shortcuts.h"

#include "window/window.h"

namespace {

// fVirt flags of a shortcut key code.
BYTE VirtFlags(int32_t keyCode) {
    BYTE flags = FVIRTKEY | FNOINVERT;
    if (keyCode & KEY_SHIFT) {
        flags |= FSHIFT;
    }
    if (keyCode & KEY_CONTROL) {
        flags |= FCONTROL;
    }
    if (keyCode & KEY_ALT) {
        flags |= FALT;
    }
    return flags;
}

} // namespace

// ---- Public functions ----

HACCEL Shortcut_Add(ObjId window, int32_t keyCode, int32_t item) {
    WindowRecord* record = Win_Record(window);
    if (record == nullptr) {
        return nullptr;
    }
    const BYTE fVirt = VirtFlags(keyCode);
    const WORD key = static_cast<WORD>(keyCode & 0xFFFF);
    const WORD cmd = static_cast<WORD>(item);

    bool found = false;
    for (int32_t i = 0; i < record->accelCount; ++i) {
        if (record->accels[i].key == key && record->accels[i].fVirt == fVirt) {
            record->accels[i].cmd = cmd;
            found = true;
            break;
        }
    }
    if (!found) {
        const size_t bytes = static_cast<size_t>(record->accelCount + 1) * sizeof(ACCEL);
        ACCEL* grown = static_cast<ACCEL*>(record->accels == nullptr ? Mem_Alloc(bytes)
                                                                     : Mem_ReAlloc(record->accels, bytes));
        if (grown == nullptr) {
            // No room: the entries and the table stay as they were.
            return record->accelTable;
        }
        grown[record->accelCount].fVirt = fVirt;
        grown[record->accelCount].key = key;
        grown[record->accelCount].cmd = cmd;
        record->accels = grown;
        record->accelCount += 1;
    }

    if (record->accelTable != nullptr) {
        DestroyAcceleratorTable(record->accelTable);
    }
    record->accelTable = CreateAcceleratorTableW(record->accels, record->accelCount);
    return record->accelTable;
}
