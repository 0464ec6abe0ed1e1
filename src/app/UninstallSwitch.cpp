#include "app/UninstallSwitch.h"

#include <msi.h>

#include <cwchar>
#include <string>

#include "takeover/OwnedEngine.h"
#include "keeperlink/KeeperClient.h"
#include "pacewick_version.h"
#include "resource.h"
#include "ui/MainWindowClass.h"
#include "ui/ResourceText.h"
#include "win/Diagnostics.h"
#include "win/ModulePath.h"
#include "win/Scoped.h"

namespace {

constexpr wchar_t kSwitch[] = L"-UNINSTALL";

// The path and the parameters must outlive the record.
SHELLEXECUTEINFOW UninstallerRecord(const std::wstring& installer, const std::wstring& parameters) {
    SHELLEXECUTEINFOW record{};
    record.cbSize = sizeof record;  // the size on the platform built for, which the shell checks
    record.fMask = 0;               // no process handle: nothing waits for the installer
    record.lpVerb = L"";
    record.lpFile = installer.c_str();
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
    // Loaded from the system folder, never imported: an elevated copy of the
    // program run from a folder its user can write would load a msi.dll put there.
    const win::UniqueLibrary msi(LoadLibraryExW(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!msi) return std::wstring();
    using EnumRelatedProducts = decltype(&MsiEnumRelatedProductsW);
    const auto enumRelated =
        reinterpret_cast<EnumRelatedProducts>(GetProcAddress(msi.Get(), "MsiEnumRelatedProductsW"));
    wchar_t code[39] = {};  // a GUID in braces and its terminating zero
    return enumRelated && enumRelated(PACEWICK_UPGRADE_CODE, 0, 0, code) == ERROR_SUCCESS ? code : std::wstring();
}

bool HandleUninstallSwitch(const wchar_t* commandLine, const InstallerLauncher& launch,
                           const ProductFinder& findProduct) {
    if (!HasSwitchArgument(commandLine)) return false;
    if (FindWindowW(ui::kMainWindowClass, nullptr) != nullptr) {
        // The running instance would take the restored entries over again at once.
        MessageBoxW(nullptr, ui::ResourceText(IDS_UNINSTALL_REFUSAL).c_str(),
                    ui::ResourceText(IDS_UNINSTALL_REFUSAL_CAPTION).c_str(), MB_OK);
        return true;
    }
    // With the keeper service installed the machine's entries are its own: the
    // package's removal puts them back as the system (no account's request
    // may), once the service is stopped and before any file goes.
    const takeover::ScopeSet scopes = keeper::KeeperInstalled() ? takeover::kUserScope : takeover::kEveryScope;
    takeover::OwnedEngine(scopes, scopes, takeover::CompanyReading::Skipped).manager.RestoreAll();
    // Each version of the package has a product code of its own.
    const std::wstring product = findProduct();
    if (product.empty()) {
        PrintLine("No installed package found: nothing to remove\n");
        MessageBoxW(nullptr, ui::ResourceText(IDS_UNINSTALL_NO_PACKAGE).c_str(),
                    ui::ResourceText(IDS_UNINSTALL_CAPTION).c_str(), MB_OK);
        return true;
    }
    // The installer of the system folder, never one found by bare name (the current folder, the path).
    const std::wstring installer = win::InSystemFolder(L"msiexec.exe");
    const std::wstring parameters = L"/x " + product;
    SHELLEXECUTEINFOW record = UninstallerRecord(installer, parameters);
    if (installer.empty() || !launch(&record)) PrintLine("The uninstaller was not started (%lu)\n", GetLastError());
    return true;
}

bool HandleUninstallSwitch() {
    return HandleUninstallSwitch(GetCommandLineW(), LaunchWithShell, InstalledProductCode);
}
