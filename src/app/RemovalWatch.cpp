#include "app/RemovalWatch.h"

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "ui/MainWindowClass.h"
#include "win/Clock.h"
#include "win/Diagnostics.h"

namespace {

// How often a change seen before the main window exists looks for it again.
constexpr DWORD kWindowPoll = 100;

}  // namespace

bool RemovalUnderWay() {
    registry::Key key;
    ULONGLONG started = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, keys::kProgram, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        key.ReadExact(keys::kRemovalStarted, REG_QWORD, reinterpret_cast<BYTE*>(&started), sizeof started) !=
            ERROR_SUCCESS)
        return false;
    const ULONGLONG now = win::FileTimeNow();
    return started <= now + kRemovalNoticeAhead && now <= started + kRemovalNoticeLife;
}

RemovalWatch::RemovalWatch()
    : watcher_(WatchTarget{HKEY_LOCAL_MACHINE, keys::kProgram, KEY_WOW64_64KEY, {}, true}, [this] { OnChange(); }) {}

RemovalWatch::~RemovalWatch() {
    SetEvent(stop_.Get());
    watcher_.Stop();
}

bool RemovalWatch::Start() {
    watcher_.Start();
    if (!RemovalUnderWay()) return false;
    PrintLine("The package is being removed: Pacewick does not start\n");
    return true;
}

void RemovalWatch::OnChange() {
    if (!RemovalUnderWay()) return;
    PrintLine("The package is being removed: Pacewick ends as its Exit does\n");
    // The window may not exist yet (the take-over at start-up runs first):
    // Exit goes to it as soon as it does.
    for (;;) {
        if (ui::PressExit(ui::OwnMainWindow())) return;
        if (WaitForSingleObject(stop_.Get(), kWindowPoll) != WAIT_TIMEOUT) return;
    }
}
