// The window's starts by each entry's level: At log-on before it opens, the
// ready-start and the countdown's end while it runs, Run All for the rest.
#include <algorithm>
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
    if (!due.Empty()) LaunchCounted(due, 0);
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
    LaunchCounted(due, kLaunchedMessage);
    turnOpen_ = false;
    readyOpen_ = false;  // what it had left is in this batch
    ShowWaiting();
}

void CPacewickDlg::LaunchCounted(const EntryList& due, UINT doneMessage) {
    tally_.Open();
    // The At log-on batch may end before the window is there: it sums up once open.
    const auto post = [this](UINT message) {
        if (HWND window = window_.load()) PostMessageW(window, message, 0, 0);
    };
    launches_.LaunchAll(
        due,
        [this, post, doneMessage] {
            tally_.Close();
            post(kTallyMessage);
            if (doneMessage != 0) post(doneMessage);
        },
        [this](const StartupEntry& entry, bool started) { tally_.Record(entry.name, started, ui::LogOnTally::Now()); });
}

// Before the countdown's end when nothing is left for it: the ready-start has
// started its entries and no After the delay entry waits for the deadline.
void CPacewickDlg::SumUp() {
    if (turnOpen_ && !manual_ && !readyOpen_ && !tally_.Busy() && !routes_.DueAtCountdownEnd(rows_)) turnOpen_ = false;
    if (turnOpen_ || readyOpen_ || tally_.Busy()) return;
    if (!summed_) {
        const ui::LogOnTally::Figures counted = tally_.Counted();
        events::ReportLogonSummary(eventSink_, static_cast<unsigned long>(rows_.Count()),
                                   static_cast<unsigned long>(counted.started), static_cast<unsigned long>(counted.failed),
                                   static_cast<unsigned long>(counted.secondsToLast));
    }
    summed_ = true;
    ShowWaiting();
}

std::wstring CPacewickDlg::CountdownStatus() const {
    return ui::ResourceText(IDS_STATUS_COUNTDOWN, {std::to_wstring(delay_ / kMinute)});
}

void CPacewickDlg::ShowWaiting() {
    // Before the countdown's end and the summary it says when they start; in Manual that everything waits.
    if (!countdownOver_ && !summed_) return;
    const std::size_t waiting = !countdownOver_ || launched_ ? 0 : routes_.WaitingForHand(rows_);
    if (countdownOver_ && waiting == 0) {
        // Nothing is left for Run All: it is no longer offered, as once it has run.
        launched_ = true;
        tray_.GrayMenuItem(ID_TRAY_RUN_ALL);
        EnableWindow(Item(IDC_RUN_ALL), FALSE);
    }
    const std::wstring waits = waiting ? ui::ResourceText(IDS_STATUS_WAITING, {std::to_wstring(waiting)}) : L"";
    std::wstring said = waits;
    if (summed_) {
        // The waiting line keeps its room; the summary's names are cut first.
        const std::size_t joined = waits.empty() ? 0 : ui::ResourceText(IDS_SUMMARY_THEN_WAITING, {L"", waits}).size();
        const std::wstring summary = tally_.Summary(ui::kSummaryUnits - std::min(ui::kSummaryUnits, joined));
        if (!summary.empty()) said = waits.empty() ? summary : ui::ResourceText(IDS_SUMMARY_THEN_WAITING, {summary, waits});
    }
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
