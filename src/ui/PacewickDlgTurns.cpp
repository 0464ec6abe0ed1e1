// The window's starts by each entry's level: At log-on before it opens, the
// ready-start and the countdown's end while it runs, Run All for the rest.
#include <string>

#include "plan/PlanStore.h"
#include "resource.h"
#include "ui/PacewickDlg.h"
#include "ui/ResourceText.h"

plan::Settings CPacewickDlg::StartSettings() const {
    return plan::Settings{settings_.Manual(), settings_.StartWhenReady()};
}

void CPacewickDlg::StartAtLogOn() {
    ReadSettings();
    routes_.SetSettings(StartSettings());
    const EntryList due = routes_.AtStart(engine_.model.CopyList());
    if (!due.Empty()) launches_.LaunchAll(due, nullptr);
}

void CPacewickDlg::EndCountdown() {
    if (countdownOver_) return;
    countdownOver_ = true;
    KillTimer(Hwnd(), kLaunchTimer);
    KillTimer(Hwnd(), kTickTimer);
    StartTurn(false);
}

void CPacewickDlg::StartTurn(bool everyEntry) {
    ready::ReadySession* session = ready_.get();
    ui::StartRoutes::FinishReady finish;
    if (session) finish = [session](const EntryList& entries) { return session->Finish(entries); };
    const EntryList due = routes_.AtTurn(engine_.model.CopyList(), finish, everyEntry);
    HWND window = Hwnd();
    launches_.LaunchAll(due, [window] { PostMessageW(window, kLaunchedMessage, 0, 0); });
    ShowWaiting();
}

std::wstring CPacewickDlg::CountdownStatus() const {
    return ui::ResourceText(IDS_STATUS_COUNTDOWN, {std::to_wstring(delay_ / kMinute)});
}

void CPacewickDlg::ShowWaiting() {
    // Before the countdown's end it says when they start; in Manual that everything waits.
    if (!countdownOver_) return;
    const std::size_t waiting = launched_ ? 0 : routes_.WaitingForHand(rows_);
    if (waiting == 0) {
        // Nothing is left for Run All: it is no longer offered, as once it has run.
        launched_ = true;
        tray_.GrayMenuItem(ID_TRAY_RUN_ALL);
        EnableWindow(Item(IDC_RUN_ALL), FALSE);
    }
    const std::wstring said = waiting ? ui::ResourceText(IDS_STATUS_WAITING, {std::to_wstring(waiting)}) : L"";
    if (said == waitingShown_) return;
    waitingShown_ = said;
    SetStatus(said.empty() ? CountdownStatus() : said);
    tray_.SetTip(said);
}

void CPacewickDlg::AfterDeletion(const StartupEntry& entry) {
    RebuildAndFillList();
    for (const StartupEntry& row : rows_)
        if (plan::SharePlan(row, entry)) return;
    plan::PlanStore().Drop(entry);
}
