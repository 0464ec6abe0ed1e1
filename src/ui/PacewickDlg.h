#pragma once
// The main window: the list of delayed entries, the countdown after which
// they are all started, the elapsed time, every user command, and the
// notification-area icon with its menu.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "launch/LaunchWorker.h"
#include "ready/ReadySession.h"
#include "launch/Launcher.h"
#include "takeover/StartupListModel.h"
#include "takeover/StartupManager.h"
#include "entry/StartupEntry.h"
#include "registry/ConfigStore.h"
#include "plan/StartLevel.h"
#include "policy/EffectiveSettings.h"
#include "ui/Dialog.h"
#include "events/EventLog.h"
#include "ui/LogOnTally.h"
#include "ui/NewcomerInbox.h"
#include "ui/StartRoutes.h"
#include "ui/StaticLink.h"
#include "ui/TrayIcon.h"

class CPacewickDlg : public ui::CDialog {
public:
    // The window's own messages, from WM_APP up: below it, the WM_USER range
    // is the dialog's and its controls' (DM_GETDEFID, ...).
    // Posted by the engine's threads whenever its list has changed.
    static constexpr UINT kListChangedMessage = WM_APP + 1;
    // The tray icon's callback, and the icon's id.
    static constexpr UINT kTrayMessage = WM_APP + 2;
    static constexpr UINT kTrayIconId = 1;
    // Posted by the launch worker once every program of the countdown or Run All has been started.
    static constexpr UINT kLaunchedMessage = WM_APP + 3;
    // Posted by the ready-start with how many of how many entries it has started.
    static constexpr UINT kReadyProgressMessage = WM_APP + 4;
    // Posted to itself at the start, to offer ending the service's hold-off once the window shows.
    static constexpr UINT kEndHoldOffMessage = WM_APP + 5;
    // Posted by the launch worker as each batch of this log-on's own starts ends.
    static constexpr UINT kTallyMessage = WM_APP + 6;
    // Posted by the newcomer inbox when a watcher's take-over has moved entries.
    static constexpr UINT kNewcomerMessage = WM_APP + 12;
    // Timer ids: 0 fires once after the delay and starts everything, 1 ticks
    // the elapsed-time display every second.
    static constexpr UINT_PTR kLaunchTimer = 0;
    static constexpr UINT_PTR kTickTimer = 1;
    static constexpr DWORD kMinute = 60000;

    // Ends the Run-key monitors, before "Restore All" writes anything back.
    using StopMonitorsFunction = std::function<void()>;

    // The machine's start-up lists, when the program may not change them itself
    // (the keeper service does): Restore All and Delete entry hand their part
    // to these. Empty: the engine changes every list itself.
    struct MachineLists {
        std::function<void(HWND owner)> restoreAll;  // after the engine's own restore
        // The entry's rows that the engine may not change; true when anything changed.
        std::function<bool(HWND owner, const StartupEntry& entry, ListSet rows)> deleteEntry;
        // Whether the service holds off after a Restore All (none: never); the window says so.
        std::function<bool()> heldOff;
        // Offered once the window is up while the service holds off (none: this account may not end it).
        std::function<void(HWND owner)> endHoldOff;
    };

    // What the window works with, owned by the program's start-up.
    struct Engine {
        takeover::CStartupManager& manager;
        takeover::StartupListModel& model;
        const launch::Launcher& launcher;
        CConfigStore& config;
    };

    CPacewickDlg(HWND parent, Engine engine, StopMonitorsFunction stopMonitors);
    ~CPacewickDlg() override;

    void SetNotifyIconFunction(ui::TrayIcon::NotifyFunction function) { tray_.SetNotifyFunction(std::move(function)); }
    void SetMachineLists(MachineLists lists) { machineLists_ = std::move(lists); }
    // How the starts give way to the engine's take-overs (none: they do not).
    void SetLaunchPace(launch::LaunchWorker::Pace pace) { launches_.SetPace(std::move(pace)); }
    // Where a ready-start reads the machine's load; tests script it (null: the machine's own).
    using LoadFactory = std::function<std::unique_ptr<ready::LoadSource>()>;
    void SetLoadFactory(LoadFactory factory) { loadFactory_ = std::move(factory); }
    // Where the watchers hand the entries they take over while the window is
    // open, each told of by a notice (none: no notices).
    void SetNewcomers(ui::NewcomerInbox& inbox) { newcomers_ = &inbox; }
    // Where the log-on's summary goes as an event (null: nowhere).
    void SetEventSink(events::Sink* sink) { eventSink_ = sink; }
    // The settings as policies, the account and the machine's defaults give them,
    // read once at the program's start (none given: the window reads them as it opens).
    void SetSettings(const policy::EffectiveSettings& settings) {
        settings_ = settings;
        settingsGiven_ = true;
    }
    // Before the window opens, right after the take-over: starts the At log-on
    // entries, in Manual too, off the caller's thread (each once for the window's life).
    void StartAtLogOn();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD notification, HWND control) override;
    void OnTimer(UINT_PTR id) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // --- the list and the engine ----------------------------------------------
    void FillList();
    // The text of one cell, for the list, which keeps none of its own; "" outside the rows.
    std::wstring CellText(int row, int column) const;
    void RebuildAndFillList();
    EntryList SelectedEntries();
    std::vector<std::size_t> SelectedRows();
    void ResetColumns(HWND list);
    void LaunchAll();
    void OnLaunched();
    void RunSelected();
    void DeleteEntry();
    void RestoreAll();
    // How the next log-on starts the held programs: after the delay, or only when the user asks.
    enum class StartMode { AfterDelay, Manual };
    void ChooseDelay(StartMode mode, std::optional<DWORD> delay);
    // The account's on/off settings, each a check box and a checked tray item:
    // false when `command` is neither.
    bool ChooseSwitch(WORD command);
    void ShowSwitches();
    // The account's Config, and the settings where none were given; the
    // account's store keeps what no policy sets as it now holds.
    void ReadSettings();
    // The controls of each setting a policy sets, greyed, with a tip that says why.
    void ShowPolicies();
    void StartWhenReady();
    void SetStatus(const std::wstring& text);
    // The line under the list while the service holds off; the offer to end it follows when made.
    enum class HoldOffOffer { Made, NotMade };
    void ShowHoldOff(HoldOffOffer offer);

    // --- notices of newcomers (PacewickDlgNotices.cpp) -------------------------
    void OpenNewcomers();
    void TellOfNewcomers();
    void OpenNoticed();
    // --- the start plan ---------------------------------------------------------
    // Each row's level, as the Starts column shows it.
    void ReadLevels();
    // A row's menu (WM_CONTEXTMENU); false when it did not come from the list.
    bool OnContextMenu(HWND from, LPARAM at);
    void ChooseLevel(const EntryList& entries, plan::StartLevel level);
    // --- the starts by level (PacewickDlgTurns.cpp) ----------------------------
    plan::Settings StartSettings() const;
    // The countdown's turn: what is due by its level; the by-hand entries wait.
    void EndCountdown();
    // The entries due at this turn (Run All: `everyEntry`), handed to the starts.
    void StartTurn(bool everyEntry);
    // A batch of this log-on's own starts (At log-on, the countdown's, Run
    // All's), each start told to the tally; `doneMessage` (0: none) posted at its end.
    void LaunchCounted(const EntryList& due, UINT doneMessage);
    // Once this log-on's own starts are through, the summary shows.
    void SumUp();
    // The status and the tray's tip: the summary once this log-on's starts are
    // through, then, after the countdown, how many wait for the user; Run All
    // stays offered while any do.
    void ShowWaiting();
    std::wstring CountdownStatus() const;
    // After Delete entry changed a list: the list refilled, and the entry's
    // level gone with it once no list holds it any more.
    void AfterDeletion(const StartupEntry& entry);

    // --- tray -----------------------------------------------------------------
    void SetUpTray();
    void OnTaskbarCreated();
    void OpenFromTray();
    void OnCloseBox();

    int elapsedSeconds_ = 0;
    HICON icon_ = nullptr;  // shared resource icon: not destroyed
    ui::TrayIcon tray_{kTrayMessage, kTrayIconId};
    DWORD delay_ = 0;
    bool hiddenToTray_ = false;
    bool launched_ = false;       // Run All has run, or after the countdown nothing is left for it
    bool countdownOver_ = false;  // the countdown's turn has come (Run All ends it too)
    bool manual_ = false;         // this window's log-on starts nothing after the delay
    bool readyOpen_ = false;      // the ready-start has entries left to start
    bool turnOpen_ = true;        // the countdown's turn (in Manual, Run All) may still start some
    bool summed_ = false;         // this log-on's own starts are through: the summary shows
    events::Sink* eventSink_ = nullptr;
    ui::StartRoutes routes_;
    std::wstring waitingShown_;   // what the status says waits; empty: nothing
    CStaticLink helpLink_;
    CStaticLink webLink_;
    Engine engine_;
    // This log-on's starts; before the worker, which tells it of them.
    ui::LogOnTally tally_{ui::LogOnTally::ProcessCreation()};
    // Where the worker posts (null: not open yet, or gone).
    std::atomic<HWND> window_{nullptr};
    policy::EffectiveSettings settings_;
    bool settingsGiven_ = false;
    HWND policyTips_ = nullptr;  // owned by the window, and destroyed with it
    // The starts run here, off the window's thread; ended with the window, so
    // that nothing starts once it is gone.
    launch::LaunchWorker launches_{engine_.launcher};
    // While the entries start when the computer is ready (until the countdown ends).
    std::unique_ptr<ready::ReadySession> ready_;
    LoadFactory loadFactory_;
    StopMonitorsFunction stopMonitors_;
    MachineLists machineLists_;
    ui::NewcomerInbox* newcomers_ = nullptr;
    std::optional<EntryIdentity> noticed_;  // the entry of the last notice shown
    EntryList rows_;  // the entry each row of the list shows
    std::vector<ready::Impact> impacts_;  // each row's start-up impact
    std::vector<std::optional<plan::StartLevel>> levels_;  // each row's start level; none for a logon task
    // What a second start sends to have the window open (0: none registered).
    const UINT openMessage_;
    // Shared with the engine's callback, which may run on a monitor thread after
    // the window is gone.
    std::shared_ptr<std::atomic<bool>> listChangePending_ = std::make_shared<std::atomic<bool>>(false);
};
