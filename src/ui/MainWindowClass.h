#pragma once
// The window class of the main dialog. Its name is also the program's
// single-instance identity: a second start finds the running instance by it.
#include <windows.h>

namespace ui {

constexpr const wchar_t* kMainWindowClass = L"PACEWICK_SINGLE_INSTANCE_APP";

// Registers the class for dialogs (DefDlgProcW, DLGWINDOWEXTRA: its windows
// get UTF-16 messages) with the program's icon, the arrow and a button-face
// background. True when the class is registered now or was already.
bool RegisterMainWindowClass(HINSTANCE instance);

// Asks the running instance of this desktop, if any, to end as its Exit button
// does (the window closes, the monitors finish their take-over, the process
// ends). Returns at once; true when an instance's window was asked.
bool PressExitOfRunningInstance();

}  // namespace ui
