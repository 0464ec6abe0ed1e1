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

// Hands the user to the running instance (a second start): its window opens,
// also when it is hidden in the tray, and its last active pop-up (a message
// box it shows, say) or the window itself comes to the front.
void ActivateRunningInstance(HWND running);

// The message that asks the main window to open itself, as the tray's "Open
// Pacewick" does. Any process may send it (an elevated window lets it
// through): it does nothing else. 0 when it could not be registered.
UINT OpenWindowMessage();

// Asks the running instance of this desktop, if any, to end as its Exit button
// does (the window closes, the monitors finish their take-over, the process
// ends). Returns at once; true when an instance's window was asked.
bool PressExitOfRunningInstance();
// Posts to the window what its Exit button sends; false when there is none or
// the post fails.
bool PressExit(HWND window);
// This process's main window, or null while it has none (yet).
HWND OwnMainWindow();

}  // namespace ui
