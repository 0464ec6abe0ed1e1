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

bool PressExitOfRunningInstance() {
    HWND running = FindWindowW(kMainWindowClass, nullptr);
    return running && PostMessageW(running, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
}

}  // namespace ui
