#include "app/RemovalSwitch.h"

#include <shellapi.h>

#include <cwchar>

#include "app/SingleInstance.h"
#include "takeover/OwnedEngine.h"
#include "ui/MainWindowClass.h"
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

constexpr wchar_t kCaption[] = L"Pacewick is not removed";
constexpr wchar_t kStillRunningText[] =
    L"Pacewick is still running and did not end when asked to.\n"
    L"Close Pacewick (answer its open question, then Exit), then remove it again.";
constexpr wchar_t kNotRestoredText[] =
    L"Some of your delayed programs could not be put back into your start-up list.\n"
    L"Pacewick is not removed, so that none of them is lost.";

int Refuse(int code, const wchar_t* text, bool installerShowsWindow) {
    PrintLine("Removal stopped (%d): %ls\n", code, text);
    if (installerShowsWindow) MessageBoxW(nullptr, text, kCaption, MB_OK | MB_ICONSTOP | MB_TOPMOST | MB_SETFOREGROUND);
    return code;
}

int RestoreForRemoval(bool installerShowsWindow) {
    // Held until the process ends: no instance starts again and takes the
    // entries back while they are restored.
    win::UniqueHandle instance;
    if (ui::PressExitOfRunningInstance()) PrintLine("The running Pacewick was asked to exit\n");
    if (WaitForInstanceMutex(kRemovalWait, &instance) == WAIT_TIMEOUT)
        return Refuse(kStillRunning, kStillRunningText, installerShowsWindow);
    if (!takeover::OwnedEngine(takeover::kUserScope, takeover::kUserScope, takeover::CompanyReading::Skipped).manager.RestoreAll()) return Refuse(kNotRestored, kNotRestoredText, installerShowsWindow);
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
