#include "ui/MainWindowClass.h"

#include "resource.h"

namespace ui {

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_BYTEALIGNWINDOW | CS_SAVEBITS | CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    wc.lpszClassName = kMainWindowClass;
    if (RegisterClassA(&wc)) return true;  // the class owns the brush from now on

    const DWORD error = GetLastError();
    if (wc.hbrBackground) DeleteObject(wc.hbrBackground);
    return error == ERROR_CLASS_ALREADY_EXISTS;
}

bool PressExitOfRunningInstance() {
    HWND running = FindWindowA(kMainWindowClass, nullptr);
    return running && PostMessageA(running, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
}

}  // namespace ui
