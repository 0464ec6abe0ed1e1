// Looks at and drives a running Pacewick from outside, as a user would: finds its
// main window by class, reads the rows of its list, answers a message box,
// minimises the window and ends the program. Used by the end-to-end test scripts.
//   app_probe wait-window MS      exit 0 once the main window exists
//   app_probe rows                one line per list row: name|command|company|origin
//   app_probe state               "visible=V iconic=I foreground=F"
//   app_probe text ID             the text of the main window's control ID
//   app_probe minimize            minimises the main window
//   app_probe exit                presses the window's Exit button
//   app_probe press ID            presses the main window's button ID (Restore All: 1023)
//   app_probe wait-box CAPTION MS        exit 0 once a message box of that caption exists
//   app_probe answer CAPTION yes|no|ok MS   prints the box's text, then presses the button
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kListId = 1012;
constexpr int kExitId = 1002;
constexpr int kColumns = 4;
constexpr size_t kTextRoom = 1024;

HWND MainWindow() { return FindWindowA("PACEWICK_SINGLE_INSTANCE_APP", nullptr); }

template <typename Found>
bool WaitFor(DWORD milliseconds, Found found) {
    for (const DWORD start = GetTickCount(); !found(); Sleep(100))
        if (GetTickCount() - start >= milliseconds) return false;
    return true;
}

// A list view reads and writes item texts only through pointers into its own
// process, so the item and its text go through memory allocated there.
int PrintRows() {
    HWND list = GetDlgItem(MainWindow(), kListId);
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = list ? OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid) : nullptr;
    char* remote = process ? static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kTextRoom,
                                                                MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
    if (!remote) return 2;
    const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int cell = 0; cell < rows * kColumns; ++cell) {
        LVITEMA item = {};
        item.iSubItem = cell % kColumns;
        item.pszText = remote + sizeof item;
        item.cchTextMax = static_cast<int>(kTextRoom);
        char text[kTextRoom + 1] = {};
        WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(cell / kColumns), reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote + sizeof item, text, kTextRoom, nullptr);
        std::printf(item.iSubItem + 1 < kColumns ? "%s|" : "%s\n", text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return 0;
}

int Press(int id) {
    return MainWindow() && PostMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) ? 0 : 2;
}

HWND WaitForBox(const char* caption, DWORD milliseconds) {
    HWND box = nullptr;
    WaitFor(milliseconds, [&] { return (box = FindWindowA("#32770", caption)) != nullptr; });
    return box;
}

int Answer(const char* caption, const std::string& button, DWORD milliseconds) {
    HWND box = WaitForBox(caption, milliseconds);
    if (!box) return 2;
    char text[kTextRoom] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the box's message
    std::printf("%s\n", text);
    std::fflush(stdout);
    const WORD id = button == "yes" ? IDYES : button == "no" ? IDNO : IDOK;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    return WaitFor(milliseconds, [&] { return !IsWindow(box); }) ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    const DWORD wait = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[argc - 1], nullptr, 10)) : 0;
    HWND window = MainWindow();
    if (command == "wait-window") return WaitFor(wait, [] { return MainWindow() != nullptr; }) ? 0 : 1;
    if (command == "rows") return PrintRows();
    if (command == "state" && window) {
        HWND front = GetForegroundWindow();
        std::printf("visible=%d iconic=%d foreground=%d\n", !!IsWindowVisible(window), !!IsIconic(window),
                    front == window || front == GetLastActivePopup(window));
        return 0;
    }
    if (command == "text" && argc == 3 && window) {
        char text[kTextRoom] = {};
        GetDlgItemTextA(window, std::atoi(argv[2]), text, sizeof text);
        return std::printf("%s\n", text), 0;
    }
    if (command == "minimize" && window) return ShowWindow(window, SW_MINIMIZE), 0;
    if (command == "exit") return Press(kExitId);
    if (command == "press" && argc == 3) return Press(std::atoi(argv[2]));
    if (command == "wait-box" && argc == 4) return WaitForBox(argv[2], wait) ? 0 : 1;
    if (command == "answer" && argc == 5) return Answer(argv[2], argv[3], wait);
    return 64;
}
