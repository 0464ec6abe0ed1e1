#include "app/UninstallSwitch.h"

#include <msi.h>

#include <cwchar>

#include "engine/StartupManager.h"
#include "engine/model/StartupLists.h"
#include "keeper/link/KeeperClient.h"
#include "pacewick_version.h"
#include "ui/MainWindowClass.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace {

constexpr wchar_t kSwitch[] = L"-UNINSTALL";
constexpr wchar_t kRefusalText[] = L"Please exit Pacewick app 1st then run uninstaller again";
constexpr wchar_t kRefusalCaption[] = L"Pacewick Needs to be closed";
constexpr wchar_t kKeeperRefusalText[] =
    L"The programs of all users could not be put back into their start-up list.\n"
    L"Pacewick is not removed; see the keeper's log.";
constexpr wchar_t kNoPackageText[] =
    L"Every delayed program is back in its start-up list.\n"
    L"No installed Pacewick package was found to remove.";
constexpr wchar_t kInstaller[] = L"msiexec.exe";

// The parameters must outlive the record.
SHELLEXECUTEINFOW UninstallerRecord(const std::wstring& parameters) {
    SHELLEXECUTEINFOW record{};
    record.cbSize = sizeof record;  // the size on the platform built for, which the shell checks
    record.fMask = 0;               // no process handle: nothing waits for the installer
    record.lpVerb = L"";
    record.lpFile = kInstaller;
    record.lpParameters = parameters.c_str();
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

std::wstring InstalledProductCode() {
    wchar_t code[39] = {};  // a GUID in braces and its terminating zero
    return MsiEnumRelatedProductsW(PACEWICK_UPGRADE_CODE, 0, 0, code) == ERROR_SUCCESS ? code : std::wstring();
}

bool HandleUninstallSwitch(const wchar_t* commandLine, const InstallerLauncher& launch,
                           const ProductFinder& findProduct) {
    if (!HasSwitchArgument(commandLine)) return false;
    if (FindWindowA(ui::kMainWindowClass, nullptr) != nullptr) {
        // The running instance would take the restored entries over again at once.
        MessageBoxW(nullptr, kRefusalText, kRefusalCaption, MB_OK);
        return true;
    }
    // The keeper service restores the machine's entries, which this account
    // may not write, and holds off until the installer has removed it; the
    // package is removed only once they are back.
    CStartupManager* manager = CStartupManager::GetInstance();
    if (keeper::KeeperRunning()) {
        const keeper::Reply reply = keeper::Call(keeper::Request{keeper::Verb::RestoreForUninstall, 0, L""});
        if (reply.status != keeper::Status::Ok) {
            PrintLine("Keeper did not restore the machine entries (%u): uninstall stopped\n",
                      static_cast<unsigned>(reply.status));
            MessageBoxW(nullptr, kKeeperRefusalText, L"Pacewick", MB_OK);
            return true;
        }
        manager->SetLists(ListBit(kUserList), ~0u);
    }
    manager->RestoreAll();
    // Each version of the package has a product code of its own.
    const std::wstring product = findProduct();
    if (product.empty()) {
        PrintLine("No installed package found: nothing to remove\n");
        MessageBoxW(nullptr, kNoPackageText, L"Pacewick", MB_OK);
        return true;
    }
    const std::wstring parameters = L"/x " + product;
    SHELLEXECUTEINFOW record = UninstallerRecord(parameters);
    launch(&record);
    return true;
}

bool HandleUninstallSwitch() {
    return HandleUninstallSwitch(GetCommandLineW(), LaunchWithShell, InstalledProductCode);
}
