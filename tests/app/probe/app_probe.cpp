// Looks at and drives a running Pacewick from outside, as a user would: finds its
// main window by class, reads the rows of its list, answers a message box,
// minimises the window and ends the program. Used by the end-to-end test scripts.
//   app_probe wait-window MS      exit 0 once the main window exists
//   app_probe wait-gone MS        exit 0 once no main window exists
//   app_probe rows                one line per list row: name|command|company|origin
//   app_probe state               "visible=V iconic=I foreground=F"
//   app_probe minimize            minimises the main window
//   app_probe exit                presses the window's Exit button
//   app_probe wait-box CAPTION MS        exit 0 once a message box of that caption exists
//   app_probe answer CAPTION yes|no|ok MS   prints the box's text, then presses the button
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kMainClass = "PACEWICK_SINGLE_INSTANCE_APP";
constexpr int kListId = 1012;
constexpr WORD kExitId = 1002;
constexpr int kColumns = 4;
constexpr size_t kTextRoom = 1024;

HWND MainWindow() { return FindWindowA(kMainClass, nullptr); }

template <typename Found>
bool WaitFor(DWORD milliseconds, Found found) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (found()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(100);
    }
}

// Memory in the program's process: a list view reads and writes item texts only
// through pointers into its own address space.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return address_ != nullptr; }
    char* At(size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const {
        return WriteProcessMemory(process_, At(offset), data, size, nullptr) != 0;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        return ReadProcessMemory(process_, At(offset), data, size, nullptr) != 0;
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

std::string CellText(HWND list, const RemoteBuffer& remote, int row, int column) {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = remote.At(sizeof(item));
    item.cchTextMax = static_cast<int>(kTextRoom);
    if (!remote.Write(0, &item, sizeof(item))) return "?";
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.At(0)));
    char text[kTextRoom + 1] = {};
    remote.Read(sizeof(item), text, kTextRoom);
    return text;
}

int PrintRows() {
    HWND list = GetDlgItem(MainWindow(), kListId);
    if (!list) return 2;
    RemoteBuffer remote(list, sizeof(LVITEMA) + kTextRoom);
    if (!remote.Valid()) return 3;
    const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        std::string line;
        for (int column = 0; column < kColumns; ++column) {
            if (column) line += '|';
            line += CellText(list, remote, row, column);
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

int PrintState() {
    HWND window = MainWindow();
    if (!window) return 2;
    HWND foreground = GetForegroundWindow();
    const bool front = foreground == window || foreground == GetLastActivePopup(window);
    std::printf("visible=%d iconic=%d foreground=%d\n", IsWindowVisible(window) ? 1 : 0,
                IsIconic(window) ? 1 : 0, front ? 1 : 0);
    return 0;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM text) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpiA(className, "Static") == 0) {
        char buffer[kTextRoom] = {};
        GetWindowTextA(child, buffer, sizeof(buffer));
        *reinterpret_cast<std::string*>(text) += buffer;
    }
    return TRUE;
}

HWND WaitForBox(const char* caption, DWORD milliseconds) {
    HWND box = nullptr;
    WaitFor(milliseconds, [&] { return (box = FindWindowA("#32770", caption)) != nullptr; });
    return box;
}

int Answer(const char* caption, const char* button, DWORD milliseconds) {
    HWND box = WaitForBox(caption, milliseconds);
    if (!box) return 2;
    std::string text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    const WORD id = std::strcmp(button, "yes") == 0 ? IDYES : std::strcmp(button, "no") == 0 ? IDNO : IDOK;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    return WaitFor(milliseconds, [&] { return !IsWindow(box); }) ? 0 : 4;
}

int Run(int argc, char** argv) {
    if (argc < 2) return 64;
    const std::string command = argv[1];
    const DWORD wait = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[argc - 1], nullptr, 10)) : 0;
    if (command == "wait-window") return WaitFor(wait, [] { return MainWindow() != nullptr; }) ? 0 : 1;
    if (command == "wait-gone") return WaitFor(wait, [] { return MainWindow() == nullptr; }) ? 0 : 1;
    if (command == "rows") return PrintRows();
    if (command == "state") return PrintState();
    if (command == "minimize") return MainWindow() && ShowWindow(MainWindow(), SW_MINIMIZE) >= 0 ? 0 : 2;
    if (command == "exit")
        return MainWindow() && PostMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(kExitId, BN_CLICKED), 0) ? 0 : 2;
    if (command == "wait-box" && argc == 4) return WaitForBox(argv[2], wait) ? 0 : 1;
    if (command == "answer" && argc == 5) return Answer(argv[2], argv[3], wait);
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    const int result = Run(argc, argv);
    std::fflush(stdout);
    return result;
}
