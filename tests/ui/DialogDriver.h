#pragma once
// Runs the main window modally on the test thread while a second thread drives
// it with real messages and reads its controls, as a user and the shell would.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "ui/MainWindowClass.h"
#include "ui/PacewickDlg.h"

namespace uitest {

constexpr DWORD kPatience = 10000;  // ms: longer than any wait the program makes

// Polls until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeout = kPatience) {
    const ULONGLONG end = GetTickCount64() + timeout;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

inline HWND WaitForMainWindow() {
    HWND found = nullptr;
    // The dialog manager shows the window once its initialisation is over.
    WaitFor([&] {
        found = FindWindowA(ui::kMainWindowClass, nullptr);
        return found && IsWindowVisible(found);
    });
    return found;
}

// A message box (or any dialog) of this process, by its caption.
inline HWND WaitForBox(const char* caption) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindWindowA("#32770", caption)) != nullptr && IsWindowVisible(found); });
    return found;
}

inline std::string BoxText(HWND box) {
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message box's text static
    return text;
}

// Presses a button of a message box and waits until the box is gone.
inline bool Press(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return WaitFor([&] { return !IsWindow(box); });
}

// Posts a command whose handler may open a message box, then answers it.
// Returns the box's text ("" when no box came).
inline std::string CommandAnswered(HWND dialog, int command, const char* caption, int answer) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    HWND box = WaitForBox(caption);
    if (!box) return "";
    const std::string text = BoxText(box);
    Press(box, answer);
    SendMessageA(dialog, WM_NULL, 0, 0);  // returns once the command has finished
    return text;
}

inline void Command(HWND dialog, int command) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
}

inline std::string Text(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_ENTRY_LIST); }

inline int RowCount(HWND dialog) {
    return static_cast<int>(SendMessageA(List(dialog), LVM_GETITEMCOUNT, 0, 0));
}

inline std::string Cell(HWND dialog, int row, int column) {
    char text[300] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(List(dialog), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// Every row as its four cells.
inline std::vector<std::vector<std::string>> Rows(HWND dialog) {
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < RowCount(dialog); ++row)
        rows.push_back({Cell(dialog, row, 0), Cell(dialog, row, 1), Cell(dialog, row, 2), Cell(dialog, row, 3)});
    return rows;
}

inline std::vector<std::string> Headings(HWND dialog) {
    std::vector<std::string> headings;
    for (int column = 0;; ++column) {
        char text[64] = {};
        LVCOLUMNA lvc = {};
        lvc.mask = LVCF_TEXT;
        lvc.pszText = text;
        lvc.cchTextMax = sizeof text;
        if (!SendMessageA(List(dialog), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&lvc))) break;
        headings.emplace_back(text);
    }
    return headings;
}

// Selects the row whose name is `name`, or clears the selection with "".
inline bool Select(HWND dialog, const std::string& name) {
    LVITEMA clear = {};
    clear.stateMask = LVIS_SELECTED;
    SendMessageA(List(dialog), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    for (int row = 0; row < RowCount(dialog); ++row) {
        if (Cell(dialog, row, 0) != name) continue;
        LVITEMA select = {};
        select.stateMask = LVIS_SELECTED;
        select.state = LVIS_SELECTED;
        SendMessageA(List(dialog), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&select));
        return true;
    }
    return name.empty();
}

// Counts the shell calls of the tray and keeps the last record of each kind.
struct TrayShell {
    std::atomic<int> adds{0};
    std::atomic<int> modifies{0};
    std::atomic<int> others{0};
    NOTIFYICONDATAA added = {};
    NOTIFYICONDATAA modified = {};
    bool accept = true;

    CPacewickDlg::NotifyIconFunction Function() {
        return [this](DWORD message, NOTIFYICONDATAA* data) -> BOOL {
            if (message == NIM_ADD) {
                added = *data;
                ++adds;
            } else if (message == NIM_MODIFY) {
                modified = *data;
                ++modifies;
            } else {
                ++others;
            }
            return accept;
        };
    }
};

// Runs the dialog modally here while `drive` works on its window from a second
// thread; the dialog is ended with "Exit" if `drive` leaves it open.
inline INT_PTR RunDialog(CPacewickDlg& dialog, const std::function<void(HWND)>& drive) {
    std::thread driver([&] {
        HWND window = WaitForMainWindow();
        if (!window) {
            ADD_FAILURE() << "the main window never appeared";
            return;
        }
        drive(window);
        if (IsWindow(window)) PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
    });
    const INT_PTR result = dialog.DoModal();
    driver.join();
    return result;
}

}  // namespace uitest
