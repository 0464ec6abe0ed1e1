#include "engine/Launch.h"

#include <windows.h>

#include <string>
#include <vector>

#include "win/Diagnostics.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace launch {
namespace {

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

}  // namespace

bool LaunchCommand(const char* command) {
    // The command is UTF-8 whatever the process's code page: the wide call
    // starts it with every character it names.
    const auto wide = win::Wide(command ? command : "");
    if (!wide) {
        PrintLine("CreateProcess failed (%d)\n", static_cast<int>(ERROR_NO_UNICODE_TRANSLATION));
        return false;
    }
    std::vector<wchar_t> commandLine = ExpandedCommand(*wide);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
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
