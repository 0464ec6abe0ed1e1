// The start-up sequence: uninstall switch, single instance, the question after
// an earlier Restore All, monitors, take-over, self-registration, splash and
// the main window. Every way out returns FALSE and the process ends.
#include "app/PacewickApp.h"

#include <cstdio>
#include <new>
#include <string>

#include "resource.h"

#include "app/ElevatedSwitch.h"
#include "app/HeldMachineEntries.h"
#include "app/KeeperHandOver.h"
#include "app/MachineVerbs.h"
#include "app/RemovalSwitch.h"
#include "app/RemovalWatch.h"
#include "app/SelfCommand.h"
#include "app/SingleInstance.h"
#include "app/UninstallSwitch.h"
#include "events/EventLog.h"
#include "launch/Launcher.h"
#include "takeover/OwnedEngine.h"
#include "monitor/ChangeWatcher.h"
#include "monitor/TakeOverQuiet.h"
#include "keeperlink/KeeperClient.h"
#include "resource.h"
#include "registry/AccountKeys.h"
#include "registry/ConfigStore.h"
#include "policy/EffectiveSettings.h"
#include "policy/PolicyLists.h"
#include "ui/MainWindowClass.h"
#include "ui/PacewickDlg.h"
#include "ui/ResourceText.h"
#include "ui/SplashScreenEx.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace {

constexpr DWORD kMutexWait = 1000;

constexpr DWORD kSplashTime = 1000;
constexpr DWORD kSplashFlags = CSplashScreenEx::SPLASH_FADE_IN | CSplashScreenEx::SPLASH_FADE_OUT |
                               CSplashScreenEx::SPLASH_SHADOW |
                               CSplashScreenEx::SPLASH_CENTER_SCREEN;
// Long enough for the splash's display time to fall due before the dialog opens.
constexpr DWORD kPauseBeforeWindow = 1000;

// The mutex is this instance's for its whole life: a start that finds it owned
// ends, whether or not the owner has its window yet (it may still be taking the
// programs over), so that the programs are taken over and started once. True,
// with the mutex handed over as owned, when this start goes on. A mutex that
// cannot be made or waited for leaves the window test alone to decide.
bool TakeInstanceMutex(win::UniqueHandle* owned) {
    const DWORD wait = WaitForInstanceMutex(kMutexWait, owned);
    // Abandoned: the instance that owned it was killed; this one takes its place.
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return true;
    HWND running = FindWindowW(ui::kMainWindowClass, nullptr);
    if (running) ui::ActivateRunningInstance(running);
    return wait != WAIT_TIMEOUT && !running;
}

enum class AfterRestore { NotAsked, Yes, No };

// After "Restore All" the user is asked before the programs are taken over
// again. On No nothing at all has been changed.
AfterRestore ConfirmStartAfterRestore(CConfigStore* config) {
    config->ReadSettings();
    if (config->GetRestored() == 0) return AfterRestore::NotAsked;
    switch (MessageBoxW(nullptr, ui::ResourceText(IDS_RESTORED_TEXT).c_str(), ui::ResourceText(IDS_RESTORED_CAPTION).c_str(), MB_YESNO)) {
    case IDNO:
        return AfterRestore::No;
    case IDYES:
        config->SetRestored(0);
        config->WriteSettings();
        return AfterRestore::Yes;
    default:  // the box could not be shown: start with the settings as they are
        return AfterRestore::NotAsked;
    }
}

// The splash deletes itself once its window is destroyed; when no window could
// be made there is nothing to destroy, so it is deleted here. Without memory
// the program starts without its splash.
void ShowSplash() {
    auto* splash = new (std::nothrow) CSplashScreenEx();
    if (!splash) return;
    // The main window does not exist before DoModal: the splash has no owner.
    if (!splash->Create(nullptr, kSplashTime, kSplashFlags)) {
        delete splash;
        return;
    }
    splash->SetPicture(IDB_SPLASH, 255, 0, 255);
    splash->Display();
}

}  // namespace

void CPacewickApp::InitInstance() {
    if (HandleRemovalSwitch(&exitCode_)) return;
    if (HandleUninstallSwitch()) return;
    if (machinekeys::HandleElevatedSwitch()) return;
    ui::RegisterMainWindowClass(GetModuleHandleW(nullptr));
    // Never released (closing the handle does not release it): ownership ends
    // with the process, and a start after a killed instance finds it abandoned.
    win::UniqueHandle instanceMutex;
    if (!TakeInstanceMutex(&instanceMutex)) return;
    // The package's removal, run as the system, ends every Pacewick of every
    // session before it puts their programs back: one that starts meanwhile
    // takes nothing over.
    RemovalWatch removal;
    if (removal.Start()) return;
    // Windows starts the program for accounts the installer never set up.
    registry::CreateAccountKeys();
    const AfterRestore answer = ConfirmStartAfterRestore(&config_);
    if (answer == AfterRestore::No) {
        // Windows starts what the Run keys hold; what the keeper service holds
        // all the same (its hold-off was ended meanwhile) is started here.
        if (keeper::KeeperInstalled()) machinekeys::StartHeldMachineEntries();
        return;
    }

    // With the keeper service the machine's lists are its own: this program,
    // with the user's rights, changes only the user's and reads the machine's
    // BackUp places, where the service puts what it takes over.
    const bool keeperKeeps = machinekeys::HandOverToKeeper();
    takeover::OwnedEngine engine(keeperKeeps ? takeover::kUserScope : takeover::kEveryScope, takeover::kEveryScope);
    const ListSet machineRows = engine.Rows(takeover::kMachineScope);
    // Every row is watched, so a target's index is its row. A change in a
    // BackUp place the keeper fills is read afresh; one in a start-up place is
    // taken over (that row alone), and Exit stops the take-over between two items.
    // The starts give way to both.
    TakeOverQuiet quiet;
    const ListSet heldWatched = keeperKeeps ? machineRows : 0;
    // What a watcher moves goes to the window, which tells the user of it,
    // once the take-over has let go of the engine.
    ui::NewcomerInbox newcomers;
    WatcherSet monitors(lists::WatchTargetsOf(engine.sources, ~0u, heldWatched),
                        [&engine, &monitors, &quiet, &newcomers, heldWatched](std::size_t row) {
                            quiet.During([&] {
                                if (heldWatched & ListBit(row))
                                    return engine.manager.RebuildList(takeover::TaskQuery::FirstOnly);
                                newcomers.Hand(engine.manager.TakeOverNewcomers(
                                    [&monitors] { return monitors.StopAsked(); }, ListBit(row)));
                            });
                        });
    const auto stopMonitors = [&monitors] { return StopRunKeyMonitors(monitors); };
    monitors.Start();
    // This account restored and now takes over again: the keeper's hold-off
    // after its Restore All ends too. Other accounts leave it as it is (their
    // machine entries start with Windows meanwhile).
    if (keeperKeeps && answer == AfterRestore::Yes) machinekeys::ResumeKeeper(nullptr);
    engine.manager.TakeOver();
    // The running exe's path, whatever its length: a cut path would register a
    // program that does not exist, and the next log-on would not start Pacewick.
    // With the keeper the installer's Run value stands.
    const std::string self = SelfCommand();
    if (!keeperKeeps && !self.empty()) engine.manager.RegisterSelf(self.c_str());

    // A program that does not start is a warning in the Event Log too.
    events::EventLog eventLog(events::kProgramSource);
    const launch::Launcher launcher(engine.model, {}, &eventLog);
    CPacewickDlg mainWindow(nullptr, CPacewickDlg::Engine{engine.manager, engine.model, launcher, config_},
                            stopMonitors);
    // Yes to "Start Pacewick?" has asked the keeper to end its hold-off already.
    if (keeperKeeps) mainWindow.SetMachineLists(machinekeys::ThroughKeeper(answer != AfterRestore::Yes));
    mainWindow.SetNewcomers(newcomers);
    // Once for this log-on: each policy value left out is said here, once, and in the Event Log.
    mainWindow.SetSettings(policy::EffectiveSettings::Read([&eventLog](const policy::IgnoredValue& ignored) {
        events::ReportIgnoredPolicy(&eventLog, policy::PolicyOf(ignored.setting).valueName,
                                    win::WidenAscii(policy::PlaceName(ignored.place)));
    }));
    for (const policy::IgnoredListValue& ignored : policy::IgnoredListValues())
        events::ReportIgnoredPolicy(&eventLog, ignored.value, ignored.machine ? L"machine policy" : L"user policy");
    mainWindow.SetEventSink(&eventLog);
    mainWindow.SetLaunchPace([&quiet](const launch::Launcher::StopCheck& stopped) { quiet.Wait(stopped); });
    // The At log-on entries start now, in Manual too, while the splash shows.
    mainWindow.StartAtLogOn();
    ShowSplash();
    Sleep(kPauseBeforeWindow);
    mainWindow.DoModal();

    // A monitor past its bound is still in its take-over, which uses the
    // engine: the process ends here, cutting it off, rather than wait for it.
    if (!stopMonitors()) {
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode_));
    }
}

// A take-over under way finishes before the monitors end, so that no value is
// left half moved between a start-up place and its BackUp place.
bool CPacewickApp::StopRunKeyMonitors(WatcherSet& monitors) { return monitors.Stop(kWatcherStopTimeout); }
