// The host window of the toolkit tests: the numbered window a fixture's tests work in, opened per test or
// once per suite, as a HostWindow constant describes it.
#pragma once

#include <gtest/gtest.h>

#include "common/harness_common.h"
#include "controls/control.h"
#include "window/window.h"

// What the set-up does besides opening the window.
enum HostSetUp : unsigned {
    kHostActive = 1,     // made the thread's active window
    kHostForeground = 2, // shown and brought to the foreground first, then made active
    kHostControls = 4,   // new controls go into it (Ctl_BeginList)
    kHostPerSuite = 8,   // opened once for the suite, not for every test
    kHostCloseAll = 16,  // closed with every other window the tests opened (Win_End)
};

struct HostWindow {
    ObjId number;
    int32_t x, y, width, height; // as Win_Open takes them
    const char* title;
    uint32_t flags;     // Win_Open's
    unsigned setUp;     // HostSetUp bits
    DWORD openQuietMs;  // pumped until this quiet once open (0: not pumped)
    DWORD closeQuietMs; // and once closed
};

// Fixture of tests in the host window kHost (a constant of the test program): hwnd_. A fixture that starts
// more modules starts them, after TestToolkit_Init, before HostWindowTest's SetUp (or SetUpTestSuite).
template <const HostWindow& kHost> class HostWindowTest : public ::testing::Test {
  protected:
    // The toolkit started and the window opened; null when it cannot open or receive its controls.
    static HWND Open() {
        TestToolkit_Init();
        if (!Win_Open(kHost.number, kHost.x, kHost.y, kHost.width, kHost.height, kHost.title, kHost.flags))
            return nullptr;
        HWND hwnd = Win_Handle(kHost.number);
        if (kHost.setUp & kHostForeground) {
            ShowWindow(hwnd, SW_SHOW);
            SetForegroundWindow(hwnd);
        }
        if (kHost.setUp & (kHostActive | kHostForeground))
            SetActiveWindow(hwnd);
        if ((kHost.setUp & kHostControls) && Ctl_BeginList(hwnd) != hwnd)
            return nullptr;
        if (kHost.openQuietMs != 0)
            Test_DrainEvents(kHost.openQuietMs, 3000);
        return hwnd;
    }
    static void Close() {
        if (kHost.setUp & kHostCloseAll)
            Win_End();
        else
            Win_Close(kHost.number);
        Test_DrainEvents(kHost.closeQuietMs, 3000);
    }
    static void SetUpTestSuite() {
        if (kHost.setUp & kHostPerSuite)
            Open();
    }
    static void TearDownTestSuite() {
        if (kHost.setUp & kHostPerSuite)
            Close();
    }
    void SetUp() override {
        hwnd_ = (kHost.setUp & kHostPerSuite) ? Win_Handle(kHost.number) : Open();
        ASSERT_NE(hwnd_, nullptr) << "host window '" << kHost.title << "' did not open";
    }
    void TearDown() override {
        if (!(kHost.setUp & kHostPerSuite))
            Close();
    }
    HWND hwnd_ = nullptr;
};
