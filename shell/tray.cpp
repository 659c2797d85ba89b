// Numbered icons in the notification area. Every request to the shell uses the first,
// shortest NOTIFYICONDATAW layout (the tip in UTF-16), which every shell version accepts. Icons are managed
// on the main thread (and by the program's end routine); the table is not locked.
#include "shell/tray.h"

#include "core/strings.h"

namespace {

constexpr int32_t kTrayGrowthStep = 16;

ObjectTable* g_tray = nullptr;
TrayNotifyProc g_notify = nullptr; // a test's stand-in for the shell, or null

// Carries a request to the shell (or to a test's stand-in).
BOOL Notify(DWORD message, NOTIFYICONDATAW* request) {
    return (g_notify != nullptr ? g_notify : Shell_NotifyIconW)(message, request);
}

// ---- Internal functions ----

// A zero-filled request for the icon id of window. The shell knows an icon by its window and
// its 32-bit identifier; an OBJ_ANY identifier is cut to its low 32 bits, consistently in
// every request.
void FillRequest(NOTIFYICONDATAW* request, HWND window, ObjId id, UINT flags) {
    Mem_Zero(request, sizeof(*request));
    request->cbSize = NOTIFYICONDATAW_V1_SIZE;
    request->hWnd = window;
    request->uID = static_cast<UINT>(id);
    request->uFlags = flags;
}

// A shell that is just starting may answer an add with ERROR_TIMEOUT although it has taken the icon;
// a modify succeeds only for an icon it knows. Taken for failed, the icon would stay in the tray
// unknown to the table (and a later add would double it).
bool AddedDespiteTimeOut(NOTIFYICONDATAW* request) {
    return GetLastError() == ERROR_TIMEOUT && Notify(NIM_MODIFY, request);
}

} // namespace

// ---- Public functions ----

void Tray_Init() {
    if (g_tray == nullptr)
        g_tray = ObjTable_Create(sizeof(TrayRecord), kTrayGrowthStep, Tray_Remove);
}

ObjId Tray_Add(ObjId number, HWND window, HICON icon) {
    if (window == nullptr || icon == nullptr)
        return 0;
    if (g_tray == nullptr)
        Tray_Init();
    if (g_tray == nullptr)
        return 0;
    // Acquiring runs Tray_Remove on an icon still holding the number.
    auto* record = static_cast<TrayRecord*>(ObjTable_Acquire(g_tray, number));
    if (record == nullptr)
        return 0;
    ObjId id = (number == OBJ_ANY) ? reinterpret_cast<ObjId>(record) : number;
    NOTIFYICONDATAW request;
    FillRequest(&request, window, id, NIF_MESSAGE | NIF_ICON);
    request.uCallbackMessage = MSG_TRAY_NOTIFY;
    request.hIcon = icon;
    SetLastError(ERROR_SUCCESS); // a failed add does not always set an error of its own
    if (!Notify(NIM_ADD, &request) && !AddedDespiteTimeOut(&request)) {
        // A fresh OBJ_ANY record would otherwise stay in the table's list for ever.
        if (number == OBJ_ANY)
            ObjTable_Discard(g_tray, id);
        return 0;
    }
    record->owner = window;
    return reinterpret_cast<ObjId>(record);
}

int32_t Tray_SetTip(ObjId number, const char* text) {
    if (text == nullptr)
        return 0;
    auto* record = static_cast<TrayRecord*>(ObjTable_Find(g_tray, number));
    if (record == nullptr)
        return 0;
    NOTIFYICONDATAW request;
    FillRequest(&request, record->owner, number, NIF_TIP);
    Str_ToWide(text, request.szTip, TRAY_TIP_MAX);
    return Notify(NIM_MODIFY, &request) ? 1 : 0;
}

void Tray_Remove(ObjId number) {
    auto* record = static_cast<TrayRecord*>(ObjTable_Find(g_tray, number));
    if (record == nullptr)
        return;
    NOTIFYICONDATAW request;
    FillRequest(&request, record->owner, number, 0);
    Notify(NIM_DELETE, &request);
    ObjTable_Discard(g_tray, number);
}

// Removes every icon, so none is left behind in the notification area.
void Tray_ReleaseAll() {
    if (g_tray == nullptr)
        return;
    ObjTable_Rewind(g_tray);
    ObjId number = 0;
    while (ObjTable_Next(g_tray, &number) != nullptr)
        Tray_Remove(number);
}

// ---- Test support ----

TrayNotifyProc Tray_SetNotifyProc(TrayNotifyProc proc) {
    TrayNotifyProc previous = g_notify != nullptr ? g_notify : Shell_NotifyIconW;
    g_notify = proc;
    return previous;
}
