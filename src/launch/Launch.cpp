#include "launch/Launch.h"

#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <utility>
#include <vector>

#include "launch/DesktopShell.h"
#include "sources/ShellLink.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace launch {
namespace {

struct ProgramAndArguments {
    std::wstring program;
    std::wstring arguments;
};

std::mutex seamMutex;
ElevationCheck elevationCheck;  // none: the process token's
ShellStart shellStart;          // none: the desktop shell

// Windows expands the environment references of expandable Run values before it
// starts them; the delayed start does the same, so %ProgramFiles% and the like work.
std::vector<wchar_t> ExpandedCommand(const std::wstring& command) {
    std::vector<wchar_t> expanded(MAX_PATH);
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(command.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) break;  // cannot expand: start the command as written
        if (needed <= expanded.size()) return expanded;
        expanded.resize(needed);
    }
    return std::vector<wchar_t>(command.c_str(), command.c_str() + command.size() + 1);
}

bool TokenIsElevated() {
    win::UniqueHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return true;  // unknown: the safe side
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) return true;
    return elevation.TokenIsElevated != 0;
}

bool Elevated() {
    ElevationCheck check;
    {
        const std::lock_guard<std::mutex> guard(seamMutex);
        check = elevationCheck;
    }
    return check ? check() : TokenIsElevated();
}

HRESULT StartThroughShell(const ProgramAndArguments& split, const std::wstring& folder, int show,
                          DesktopShell* shell) {
    ShellStart start;
    {
        const std::lock_guard<std::mutex> guard(seamMutex);
        start = shellStart;
    }
    if (start) return start(split.program, split.arguments, folder, show);
    return shell ? shell->Start(split.program, split.arguments, folder, show)
                 : StartThroughDesktopShell(split.program, split.arguments, folder, show);
}

// The full path of an existing file (not a folder) that CreateProcess would
// start for this name (".exe" added to a name without extension); else empty.
std::wstring FoundProgram(const std::wstring& name) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(path.size()),
                                         path.data(), nullptr);
        if (length == 0) return std::wstring();
        if (length < path.size()) break;
        path.resize(length);
    }
    const DWORD attributes = GetFileAttributesW(path.data());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
    return path.data();
}

std::wstring WithoutLeadingBlanks(const std::wstring& text, std::size_t from) {
    const std::size_t start = text.find_first_not_of(L" \t", from);
    return start == std::wstring::npos ? std::wstring() : text.substr(start);
}

std::wstring CurrentFolder() {
    std::vector<wchar_t> folder(MAX_PATH);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (length == 0) return std::wstring();
        if (length < folder.size()) return folder.data();
        folder.resize(length);
    }
}

// A command line split as CreateProcess reads it: the program, found where
// CreateProcess would look for it, and the rest. Empty program: none found.
ProgramAndArguments SplitCommand(const std::wstring& line) {
    const std::size_t begin = line.find_first_not_of(L" \t");
    if (begin == std::wstring::npos) return {};
    if (line[begin] == L'"') {
        const std::size_t close = line.find(L'"', begin + 1);
        const std::wstring quoted = line.substr(begin + 1, close == std::wstring::npos ? close : close - begin - 1);
        return {FoundProgram(quoted),
                close == std::wstring::npos ? std::wstring() : WithoutLeadingBlanks(line, close + 1)};
    }
    // Unquoted, CreateProcess tries the text up to each blank in turn, shortest first.
    for (std::size_t end = line.find_first_of(L" \t", begin);; end = line.find_first_of(L" \t", end + 1)) {
        const std::wstring program = FoundProgram(line.substr(begin, end == std::wstring::npos ? end : end - begin));
        if (!program.empty())
            return {program, end == std::wstring::npos ? std::wstring() : WithoutLeadingBlanks(line, end)};
        if (end == std::wstring::npos) return {};
    }
}

// The elevated way: the shell starts it, or nothing does.
bool LaunchUnelevated(const std::wstring& commandLine, DesktopShell* shell) {
    const ProgramAndArguments split = SplitCommand(commandLine);
    if (split.program.empty()) {
        PrintLine("CreateProcess failed (%d)\n", static_cast<int>(ERROR_FILE_NOT_FOUND));
        return false;
    }
    // The folder CreateProcess would give it: this process's own.
    const HRESULT hr = StartThroughShell(split, CurrentFolder(), SW_SHOWNORMAL, shell);
    if (FAILED(hr)) {
        PrintLine("Not started: the desktop shell could not start it unelevated (0x%08lX)\n",
                  static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool FullyQualified(const std::wstring& path) {
    return (path.size() > 2 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

// What opening a held item starts, as Explorer opens it.
struct ItemStart {
    std::wstring file;
    std::wstring arguments;
    std::wstring folder;
    int show = SW_SHOWNORMAL;
};

// A file opens itself in its own folder. A shortcut starts its target, read by
// the program's own reader (never the shell's, which reads past a damaged one),
// with the shortcut's arguments, working folder (else the target's own) and
// window. False, after its line, when it names nothing that could start.
bool StartOfItem(const std::wstring& path, ItemStart* start) {
    if (!shell_link::IsShortcut(path)) {
        *start = ItemStart{path, std::wstring(), FolderOf(path), SW_SHOWNORMAL};
        return true;
    }
    const auto shortcut = shell_link::Read(path);
    if (!shortcut || !FullyQualified(shortcut->target)) {
        PrintLine("Not started: the shortcut cannot be read or names no path\n");
        return false;
    }
    // Its target's own shortcut would be read by the shell.
    if (shell_link::IsShortcut(shortcut->target)) {
        PrintLine("Not started: the shortcut names another shortcut\n");
        return false;
    }
    if (GetFileAttributesW(shortcut->target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        PrintLine("Not started: the shortcut's target is missing (%lu)\n", GetLastError());
        return false;
    }
    *start = ItemStart{shortcut->target, shortcut->arguments,
                       shortcut->folder.empty() ? FolderOf(shortcut->target) : shortcut->folder, shortcut->show};
    return true;
}

}  // namespace

void SetElevationCheck(ElevationCheck check) {
    const std::lock_guard<std::mutex> guard(seamMutex);
    elevationCheck = std::move(check);
}

void SetShellStart(ShellStart start) {
    const std::lock_guard<std::mutex> guard(seamMutex);
    shellStart = std::move(start);
}

bool LaunchCommand(const std::wstring& command, DesktopShell* shell, win::UniqueHandle* started) {
    // The wide call starts the command with every character it names.
    std::vector<wchar_t> commandLine = ExpandedCommand(command);
    if (Elevated()) return LaunchUnelevated(commandLine.data(), shell);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        PrintLine("CreateProcess failed (%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    // The program runs on its own; nothing here waits for it.
    win::UniqueHandle processHandle(process.hProcess);
    win::UniqueHandle threadHandle(process.hThread);
    if (started) *started = std::move(processHandle);
    return true;
}

bool StartItem(const std::wstring& path, DesktopShell* shell, win::UniqueHandle* started) {
    ItemStart item;
    if (!StartOfItem(path, &item)) return false;
    if (Elevated()) {
        const HRESULT hr = StartThroughShell({item.file, item.arguments}, item.folder, item.show, shell);
        if (FAILED(hr))
            PrintLine("Not started: the desktop shell could not start it unelevated (0x%08lX)\n",
                      static_cast<unsigned long>(hr));
        return SUCCEEDED(hr);
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | (started ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.lpVerb = L"open";
    info.lpFile = item.file.c_str();
    info.lpParameters = item.arguments.empty() ? nullptr : item.arguments.c_str();
    info.lpDirectory = item.folder.empty() ? nullptr : item.folder.c_str();
    info.nShow = item.show;
    if (!ShellExecuteExW(&info)) {
        PrintLine("ShellExecuteEx failed (%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    // None when an open program took the file over (a document in a running editor).
    if (started) started->Reset(info.hProcess);
    return true;
}

}  // namespace launch
