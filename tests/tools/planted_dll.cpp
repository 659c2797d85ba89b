// A DLL that does nothing: the tests place it beside the program under a name no system DLL has, and
// ask the running program for it by that bare name, as a planted DLL in a download folder would be.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
