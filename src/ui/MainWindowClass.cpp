#include "ui/MainWindowClass.h"

#include "resource.h"

namespace ui {

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = CS_BYTEALIGNWINDOW | CS_SAVEBITS | CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));  // an id, not a text
    wc.hbrBackground = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    wc.lpszClassName = kMainWindowClass;
    if (RegisterClassW(&wc)) return true;  // the class owns the brush from now on

    const DWORD error = GetLastError();
    if (wc.hbrBackground) DeleteObject(wc.hbrBackground);
    return error == ERROR_CLASS_ALREADY_EXISTS;
}

UINT OpenWindowMessage() { return RegisterWindowMessageW(L"Pacewick.OpenWindow"); }

void ActivateRunningInstance(HWND running) {
    if (!IsWindowVisible(running)) {
        // Hidden in the tray: the window opens itself, as "Open Pacewick" does,
        // and may then come to the front, this start being the user's own.
        DWORD process = 0;
        GetWindowThreadProcessId(running, &process);
        AllowSetForegroundWindow(process);
        PostMessageW(running, OpenWindowMessage(), 0, 0);
        return;
    }
    HWND popup = GetLastActivePopup(running);
    BringWindowToTop(running);
    if (IsIconic(popup)) {
        ShowWindow(popup, SW_RESTORE);
    } else {
        SetForegroundWindow(popup);
    }
}

bool PressExit(HWND window) {
    return window && PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
}

bool PressExitOfRunningInstance() { return PressExit(FindWindowW(kMainWindowClass, nullptr)); }

HWND OwnMainWindow() {
    for (HWND window = FindWindowExW(nullptr, nullptr, kMainWindowClass, nullptr); window;
         window = FindWindowExW(nullptr, window, kMainWindowClass, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId()) return window;
    }
    return nullptr;
}

}  // namespace ui
