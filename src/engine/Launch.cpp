#include "engine/Launch.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace launch {
namespace {

// Windows expands the environment references of expandable Run values before it
// starts them; the delayed start does the same, so %ProgramFiles% and the like work.
std::vector<char> ExpandedCommand(const char* command) {
    std::vector<char> expanded(MAX_PATH);
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsA(command, expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0) break;  // cannot expand: start the command as written
        if (needed <= expanded.size()) return expanded;
        expanded.resize(needed);
    }
    const std::size_t length = std::strlen(command);
    return std::vector<char>(command, command + length + 1);
}

}  // namespace

bool LaunchCommand(const char* command) {
    std::vector<char> commandLine = ExpandedCommand(command ? command : "");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        PrintLine("CreateProcess failed (%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    // The program runs on its own; nothing here waits for it or keeps its handles.
    win::UniqueHandle processHandle(process.hProcess);
    win::UniqueHandle threadHandle(process.hThread);
    return true;
}

}  // namespace launch
