#include "app/RemovalSwitch.h"

#include <shellapi.h>

#include <cwchar>

#include "app/SingleInstance.h"
#include "resource.h"
#include "takeover/OwnedEngine.h"
#include "ui/MainWindowClass.h"
#include "ui/ResourceText.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace {

constexpr wchar_t kSwitch[] = L"-RESTORE-FOR-REMOVAL";
// INSTALLUILEVEL_BASIC: from it up the installer shows a window of its own.
// The level's flags lie above INSTALLUILEVEL_MASK.
constexpr unsigned long kFirstLevelWithWindow = 3;
constexpr unsigned long kLevelMask = 7;
constexpr int kStillRunning = 1;
constexpr int kNotRestored = 2;

int Refuse(int code, UINT why, bool installerShowsWindow) {
    const std::wstring text = ui::ResourceText(why);
    PrintLine("Removal stopped (%d): %ls\n", code, text.c_str());
    if (installerShowsWindow)
        MessageBoxW(nullptr, text.c_str(), ui::ResourceText(IDS_REMOVAL_CAPTION).c_str(),
                    MB_OK | MB_ICONSTOP | MB_TOPMOST | MB_SETFOREGROUND);
    return code;
}

int RestoreForRemoval(bool installerShowsWindow) {
    // Held until the process ends: no instance starts again and takes the
    // entries back while they are restored.
    win::UniqueHandle instance;
    if (ui::PressExitOfRunningInstance()) PrintLine("The running Pacewick was asked to exit\n");
    if (WaitForInstanceMutex(kRemovalWait, &instance) == WAIT_TIMEOUT)
        return Refuse(kStillRunning, IDS_REMOVAL_STILL_RUNNING, installerShowsWindow);
    if (!takeover::OwnedEngine(takeover::kUserScope, takeover::kUserScope, takeover::CompanyReading::Skipped).manager.RestoreAll()) return Refuse(kNotRestored, IDS_REMOVAL_NOT_RESTORED, installerShowsWindow);
    PrintLine("This account's entries are back in its Run key for the removal\n");
    return 0;
}

}  // namespace

bool HandleRemovalSwitch(const wchar_t* commandLine, int* exitCode) {
    int count = 0;
    const win::UniqueArgv arguments(CommandLineToArgvW(commandLine, &count));
    if (!arguments || count < 2 || std::wcscmp(arguments.Get()[1], kSwitch) != 0) return false;
    const unsigned long uiLevel = count > 2 ? std::wcstoul(arguments.Get()[2], nullptr, 10) : 0;
    *exitCode = RestoreForRemoval((uiLevel & kLevelMask) >= kFirstLevelWithWindow);
    return true;
}

bool HandleRemovalSwitch(int* exitCode) { return HandleRemovalSwitch(GetCommandLineW(), exitCode); }
