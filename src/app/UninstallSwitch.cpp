#include "app/UninstallSwitch.h"

#include <cwchar>

#include "engine/StartupManager.h"
#include "win/Scoped.h"

namespace {

constexpr wchar_t kSwitch[] = L"-UNINSTALL";
constexpr char kInstanceClass[] = "PACEWICK_SINGLE_INSTANCE_APP";
constexpr wchar_t kRefusalText[] = L"Please exit Pacewick app 1st then run uninstaller again";
constexpr wchar_t kRefusalCaption[] = L"Pacewick Needs to be closed";
constexpr wchar_t kInstaller[] = L"msiexec.exe";
constexpr wchar_t kInstallerParameters[] = L"/x {6D2F0A91-3C4E-4B7A-9E15-28C7D04B3A62}";

SHELLEXECUTEINFOW UninstallerRecord() {
    SHELLEXECUTEINFOW record{};
    record.cbSize = sizeof record;  // the size on the platform built for, which the shell checks
    record.fMask = 0;               // no process handle: nothing waits for the installer
    record.lpVerb = L"";
    record.lpFile = kInstaller;
    record.lpParameters = kInstallerParameters;
    record.lpDirectory = L"";
    record.nShow = SW_SHOWNORMAL;
    return record;
}

bool LaunchWithShell(SHELLEXECUTEINFOW* record) { return ShellExecuteExW(record) != FALSE; }

// An argument after the program's path, exactly and case-sensitively: a path
// that holds the switch (a folder named after it) must not restore everything
// and start the uninstaller at every start. The line is split as Windows
// documents it, quotes and all.
bool HasSwitchArgument(const wchar_t* commandLine) {
    if (commandLine == nullptr) return false;
    int count = 0;
    const win::UniqueArgv arguments(CommandLineToArgvW(commandLine, &count));
    if (!arguments) return false;
    for (int i = 1; i < count; ++i)
        if (std::wcscmp(arguments.Get()[i], kSwitch) == 0) return true;
    return false;
}

}  // namespace

bool HandleUninstallSwitch(const wchar_t* commandLine, const InstallerLauncher& launch) {
    if (!HasSwitchArgument(commandLine)) return false;
    if (FindWindowA(kInstanceClass, nullptr) != nullptr) {
        // The running instance would take the restored entries over again at once.
        MessageBoxW(nullptr, kRefusalText, kRefusalCaption, MB_OK);
        return true;
    }
    CStartupManager::GetInstance()->RestoreAll();
    SHELLEXECUTEINFOW record = UninstallerRecord();
    launch(&record);
    return true;
}

bool HandleUninstallSwitch() { return HandleUninstallSwitch(GetCommandLineW(), LaunchWithShell); }
