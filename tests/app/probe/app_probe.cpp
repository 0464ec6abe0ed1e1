// Looks at and drives a running Pacewick from outside, as a user would: finds its
// main window by class, reads the rows of its list, answers a message box,
// minimises the window and ends the program. Used by the end-to-end test scripts.
//   app_probe wait-window MS      exit 0 once the main window exists
//   app_probe rows                one line per list row: name|command|company|origin
//   app_probe select NAME         selects the row of that name alone (exit 1: none)
//   app_probe started             when the program's process was made, in ms since 1601 (UTC)
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
class RemoteList {
public:
    RemoteList() : list_(GetDlgItem(MainWindow(), kListId)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(list_, &pid);
        process_ = list_ ? OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid) : nullptr;
        remote_ = process_ ? static_cast<char*>(VirtualAllocEx(process_, nullptr, sizeof(LVITEMA) + kTextRoom,
                                                                MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
    }
    ~RemoteList() {
        if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;

    bool Usable() const { return remote_ != nullptr; }
    int Rows() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }
    std::string Text(int row, int column) const {
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = remote_ + sizeof item;
        item.cchTextMax = static_cast<int>(kTextRoom);
        char text[kTextRoom + 1] = {};
        WriteProcessMemory(process_, remote_, &item, sizeof item, nullptr);
        SendMessageA(list_, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_));
        ReadProcessMemory(process_, remote_ + sizeof item, text, kTextRoom, nullptr);
        return text;
    }
    // Row -1: every row.
    void SetSelected(int row, bool selected) const {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED;
        item.state = selected ? LVIS_SELECTED : 0;
        WriteProcessMemory(process_, remote_, &item, sizeof item, nullptr);
        SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_));
    }

private:
    HWND list_;
    HANDLE process_ = nullptr;
    char* remote_ = nullptr;
};

int PrintRows() {
    const RemoteList list;
    if (!list.Usable()) return 2;
    for (int row = 0; row < list.Rows(); ++row)
        for (int column = 0; column < kColumns; ++column)
            std::printf(column + 1 < kColumns ? "%s|" : "%s\n", list.Text(row, column).c_str());
    return 0;
}

int SelectRow(const std::string& name) {
    const RemoteList list;
    if (!list.Usable()) return 2;
    list.SetSelected(-1, false);
    for (int row = 0; row < list.Rows(); ++row)
        if (list.Text(row, 0) == name) return list.SetSelected(row, true), 0;
    return 1;
}

// When the process of the main window was made, in milliseconds since 1601 (UTC).
int PrintStarted() {
    DWORD pid = 0;
    GetWindowThreadProcessId(MainWindow(), &pid);
    HANDLE process = pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : nullptr;
    FILETIME created{}, ended{}, kernel{}, user{};
    const bool read = process && GetProcessTimes(process, &created, &ended, &kernel, &user);
    if (process) CloseHandle(process);
    if (!read) return 2;
    std::printf("%llu\n", ((static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime) / 10000);
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
    if (command == "select" && argc == 3) return SelectRow(argv[2]);
    if (command == "started") return PrintStarted();
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
