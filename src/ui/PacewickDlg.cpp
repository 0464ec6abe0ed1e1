#include "ui/PacewickDlg.h"

#include <commctrl.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "plan/PlanStore.h"
#include "plan/StartPlan.h"
#include "resource.h"
#include "ui/EntryMenu.h"
#include "ui/ListPlace.h"
#include "ui/MainWindowClass.h"
#include "ui/OriginLabel.h"
#include "ui/ResourceText.h"
#include "win/ModulePath.h"
#include "win/Text.h"

namespace {

constexpr const wchar_t* kHelpFile = L"PacewickManual.chm";

constexpr int kMinMinutes = 1;
constexpr int kMaxMinutes = 30;

struct Column {
    UINT heading;
    int format;
    int widthUnits;  // in sixths of the list's client width
};
constexpr Column kColumns[] = {
    {IDS_COLUMN_NAME, LVCFMT_CENTER, 1},
    {IDS_COLUMN_COMMAND, LVCFMT_LEFT, 2},
    {IDS_COLUMN_COMPANY, LVCFMT_LEFT, 1},
    {IDS_COLUMN_ORIGIN, LVCFMT_LEFT, 1},
    {IDS_COLUMN_IMPACT, LVCFMT_LEFT, 1},
    {IDS_COLUMN_STARTS, LVCFMT_LEFT, 1},
};
constexpr int kWidthUnits = 7;

// Task Manager's words for what a program used in its first minute.
std::wstring ImpactLabel(ready::Impact impact) {
    switch (impact) {
    case ready::Impact::High: return ui::ResourceText(IDS_IMPACT_HIGH);
    case ready::Impact::Medium: return ui::ResourceText(IDS_IMPACT_MEDIUM);
    case ready::Impact::Low: return ui::ResourceText(IDS_IMPACT_LOW);
    default: return ui::ResourceText(IDS_IMPACT_NOT_MEASURED);
    }
}
// A start level as the Starts column shows it.
std::wstring LevelLabel(plan::StartLevel level) { return ui::ResourceText(IDS_LEVEL_AS_SET + static_cast<UINT>(level)); }

int NextSelected(HWND list, int after) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

// The program file's name without directory and extension.
std::wstring ApplicationName() {
    std::wstring name = win::RunningExecutable();
    const auto slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const auto dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

// A number as a status or count line shows it.
std::wstring Number(unsigned long long number) { return std::to_wstring(number); }

// A question of the string table: its text and caption by id.
int Ask(HWND owner, UINT text, UINT caption, UINT buttons) {
    return MessageBoxW(owner, ui::ResourceText(text).c_str(), ui::ResourceText(caption).c_str(), buttons);
}

}  // namespace

CPacewickDlg::CPacewickDlg(HWND parent, Engine engine, StopMonitorsFunction stopMonitors)
    : ui::CDialog(IDD_PACEWICK_DIALOG, parent),
      engine_(engine),
      stopMonitors_(std::move(stopMonitors)),
      openMessage_(ui::OpenWindowMessage()) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}

// The tray icon goes with the window (WM_DESTROY).
CPacewickDlg::~CPacewickDlg() = default;

BOOL CPacewickDlg::OnInitDialog() {
    helpLink_.Attach(Hwnd(), IDC_HELP_LINK);
    // The manual beside the program, by its full path: Pacewick started at log-on
    // does not run in its own folder, and the working folder must not supply it.
    helpLink_.SetLink(win::BesideExecutable(kHelpFile));
    helpLink_.SetOpening(CStaticLink::Opening::InHelpViewer);
    webLink_.Attach(Hwnd(), IDC_WEB_LINK);
    webLink_.SetLink(L"" PACEWICK_WEB_ADDRESS);
    webLink_.SetOpening(CStaticLink::Opening::Directly);

    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    // The icon reaches the tray at the first non-client paint, and again after
    // every restart of Explorer.
    tray_.HearExplorerRestarts(Hwnd());
    // A second start asks the window to open, even when this one runs elevated.
    if (openMessage_ != 0) ChangeWindowMessageFilterEx(Hwnd(), openMessage_, MSGFLT_ALLOW, nullptr);

    elapsedSeconds_ = 0;
    HWND spin = Item(IDC_MINUTES_SPIN);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(IDC_MINUTES)), 0);
    SendMessageW(spin, UDM_SETRANGE, 0, MAKELPARAM(kMaxMinutes, kMinMinutes));
    SendMessageW(spin, UDM_SETPOS, 0, MAKELPARAM(kMinMinutes, 0));

    FillList();
    // The engine's threads change the list; the window follows at once. A post,
    // never a send: they may hold the engine's lock. One post waits at a time: a
    // burst of take-overs must not queue a refill each ahead of the user's clicks.
    HWND window = Hwnd();
    std::shared_ptr<std::atomic<bool>> pending = listChangePending_;
    engine_.model.SetListChangedCallback([window, pending] {
        if (!pending->exchange(true)) PostMessageW(window, kListChangedMessage, 0, 0);
    });

    ReadSettings();
    delay_ = settings_.DelayMilliseconds();
    routes_.SetSettings(StartSettings());
    window_ = Hwnd();
    manual_ = settings_.Manual();
    if (manual_) {
        SetDlgItemTextW(Hwnd(), IDC_ELAPSED, L"");
        SetStatus(ui::ResourceText(IDS_STATUS_MANUAL));
    } else {
        SetTimer(Hwnd(), kTickTimer, 1000, nullptr);
        SetTimer(Hwnd(), kLaunchTimer, delay_, nullptr);
        SetStatus(CountdownStatus());
        StartWhenReady();
    }
    ShowSwitches();
    ShowPolicies();
    OpenNewcomers();
    ShowHoldOff(HoldOffOffer::Made);
    SumUp();  // the At log-on starts may be through already
    return TRUE;
}

// The countdown stays the deadline: its end starts whatever has not started.
// Only the entries whose level is When ready (or As set, with ready-start on) start so.
void CPacewickDlg::StartWhenReady() {
    const EntryList entries = routes_.ForReadyStart(engine_.model.CopyList());
    if (entries.Empty()) return;
    HWND window = Hwnd();
    readyOpen_ = true;
    ready_ = std::make_unique<ready::ReadySession>(
        entries, engine_.launcher,
        ready::ReadySession::Hooks{
            [window](std::size_t started, std::size_t total) {
                PostMessageW(window, kReadyProgressMessage, static_cast<WPARAM>(started), static_cast<LPARAM>(total));
            },
            [this](const StartupEntry& entry, bool started) {
                tally_.Record(entry.name, started, ui::LogOnTally::Now());
            }},
        loadFactory_ ? loadFactory_() : nullptr);
}

void CPacewickDlg::SetStatus(const std::wstring& text) { SetDlgItemTextW(Hwnd(), IDC_STATUS, text.c_str()); }

void CPacewickDlg::ShowHoldOff(HoldOffOffer offer) {
    const bool held = machineLists_.heldOff && machineLists_.heldOff();
    SetDlgItemTextW(Hwnd(), IDC_HOLD_OFF_NOTE, held ? ui::ResourceText(IDS_HOLD_OFF_NOTE).c_str() : L"");
    ShowWindow(Item(IDC_HOLD_OFF_NOTE), held ? SW_SHOWNA : SW_HIDE);
    if (held && offer == HoldOffOffer::Made && machineLists_.endHoldOff) PostMessageW(Hwnd(), kEndHoldOffMessage, 0, 0);
}

// --- the list -------------------------------------------------------------------

void CPacewickDlg::ResetColumns(HWND list) {
    if (HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0))) {
        const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < columns; ++i) SendMessageW(list, LVM_DELETECOLUMN, 0, 0);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    }
    RECT client = {};
    GetClientRect(list, &client);
    const int unit = (client.right - client.left) / kWidthUnits;
    int index = 0;
    for (const Column& column : kColumns) {
        std::wstring heading = ui::ResourceText(column.heading);
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvc.fmt = column.format;
        lvc.cx = unit * column.widthUnits;
        lvc.pszText = heading.data();
        lvc.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&lvc));
    }
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

// The list keeps no text of its own (LVS_OWNERDATA): it is told how many rows
// there are and asks for the cells it shows, so that a list of thousands of
// entries is filled at once, whatever a take-over changed.
void CPacewickDlg::FillList() {
    HWND list = Item(IDC_ENTRY_LIST);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    // The user's selection stays with its entries, wherever the refill puts them.
    const ui::ListPlace place = ui::PlaceIn(list, rows_);
    ResetColumns(list);
    // A copy: the monitor threads may rebuild the manager's list meanwhile, and
    // its lock must not be held while the list control is sent messages. The
    // commands act on these entries, never on what the cells read back.
    engine_.model.CopyList(rows_);
    impacts_ = ready::ImpactStore().ReadAll(rows_);
    ReadLevels();
    SendMessageW(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows_.Count()), 0);
    ui::Restore(list, rows_, place);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    const auto count = static_cast<unsigned>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    SetDlgItemTextW(Hwnd(), IDC_ENTRY_COUNT, ui::ResourceText(IDS_ENTRY_COUNT, {Number(count)}).c_str());
    ShowWaiting();
}

std::wstring CPacewickDlg::CellText(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.Count()) return std::wstring();
    const StartupEntry& entry = rows_[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: return entry.name;
    case 1: return entry.opens.empty() ? entry.command : entry.opens;
    case 2: return entry.company;
    case 3: return ui::OriginLabel(entry.origin);
    case 4: return static_cast<std::size_t>(row) < impacts_.size() ? ImpactLabel(impacts_[row]) : std::wstring();
    case 5: return static_cast<std::size_t>(row) < levels_.size() && levels_[row] ? LevelLabel(*levels_[row]) : std::wstring();
    default: return std::wstring();
    }
}

void CPacewickDlg::RebuildAndFillList() {
    engine_.manager.RebuildList();
    FillList();
}

// --- commands -------------------------------------------------------------------

bool CPacewickDlg::OnCommand(WORD id, WORD notification, HWND control) {
    switch (id) {
    case IDC_RUN: RunSelected(); return true;
    case IDC_RUN_ALL:
    case ID_TRAY_RUN_ALL: LaunchAll(); return true;
    case IDC_EXIT:
    case ID_TRAY_EXIT: EndDialog(0); return true;
    case IDC_APPLY: {
        const LRESULT reported = SendMessageW(Item(IDC_MINUTES_SPIN), UDM_GETPOS, 0, 0);
        const int minutes = static_cast<int>(LOWORD(reported));
        const DWORD delay = static_cast<DWORD>(minutes < kMinMinutes   ? kMinMinutes
                                               : minutes > kMaxMinutes ? kMaxMinutes
                                                                       : minutes) * kMinute;
        ChooseDelay(StartMode::AfterDelay, delay);
        return true;
    }
    case ID_TRAY_DELAY_1_MIN: ChooseDelay(StartMode::AfterDelay, 1 * kMinute); return true;
    case ID_TRAY_DELAY_3_MIN: ChooseDelay(StartMode::AfterDelay, 3 * kMinute); return true;
    case ID_TRAY_DELAY_5_MIN: ChooseDelay(StartMode::AfterDelay, 5 * kMinute); return true;
    case ID_TRAY_MANUAL:
    case IDC_MANUAL_START: ChooseDelay(StartMode::Manual, std::nullopt); return true;
    case IDC_DELETE_ENTRY: DeleteEntry(); return true;
    case IDC_RESTORE_ALL: RestoreAll(); return true;
    case ID_TRAY_OPEN: OpenFromTray(); return true;
    // Enter where no button has the focus (the list, which has it first): it
    // presses nothing, and never ends Pacewick as a dialog's OK would.
    case IDOK: return true;
    default: return ChooseSwitch(id) || CDialog::OnCommand(id, notification, control);
    }
}

void CPacewickDlg::OnTimer(UINT_PTR id) {
    if (id == kLaunchTimer) {
        EndCountdown();
    } else if (id == kTickTimer) {
        ++elapsedSeconds_;
        const auto seconds = static_cast<unsigned>(elapsedSeconds_);
        SetDlgItemTextW(Hwnd(), IDC_ELAPSED, ui::ResourceText(IDS_ELAPSED, {Number(seconds / 60), Number(seconds % 60)}).c_str());
    }
}

// Run All: once per window, whatever asks, and each entry once (what started
// at log-on, by the ready-start or at the countdown's end is not started again).
void CPacewickDlg::LaunchAll() {
    if (launched_) return;
    launched_ = true;
    countdownOver_ = true;
    KillTimer(Hwnd(), kLaunchTimer);
    KillTimer(Hwnd(), kTickTimer);
    StartTurn(true);
}

// Every program has been started: the window goes to the tray.
void CPacewickDlg::OnLaunched() {
    tray_.RefreshPicture();
    ShowWindow(Hwnd(), SW_HIDE);
}

std::vector<std::size_t> CPacewickDlg::SelectedRows() {
    std::vector<std::size_t> rows;
    HWND list = Item(IDC_ENTRY_LIST);
    for (int row = NextSelected(list, -1); row != -1 && static_cast<std::size_t>(row) < rows_.Count();
         row = NextSelected(list, row))
        rows.push_back(static_cast<std::size_t>(row));
    return rows;
}

EntryList CPacewickDlg::SelectedEntries() {
    const std::vector<std::size_t> rows = SelectedRows();
    EntryList selected;  // in the list's order
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) selected.InsertFront(rows_[*row]);
    return selected;
}

void CPacewickDlg::RunSelected() {
    launches_.LaunchEach(SelectedEntries(), nullptr);
}

void CPacewickDlg::DeleteEntry() {
    // Taken before the question: the list may be refilled while it is asked.
    const EntryList selected = SelectedEntries();
    if (Ask(Hwnd(), IDS_DELETE_TEXT, IDS_DELETE_QUESTION, MB_YESNO) != IDYES) return;

    bool changed = false;
    for (const StartupEntry& entry : selected) {
        if (entry.origin == Origin::TaskScheduler) {
            MessageBoxW(Hwnd(), ui::ResourceText(IDS_TASK_REFUSAL).c_str(), ApplicationName().c_str(), MB_OK);
            continue;
        }
        changed = engine_.manager.DeleteBackupEntry(entry);
        const ListSet elsewhere = entry.lists & ~engine_.manager.WrittenLists();
        if (elsewhere && machineLists_.deleteEntry) changed = machineLists_.deleteEntry(Hwnd(), entry, elsewhere) || changed;
        if (changed) AfterDeletion(entry);
        break;
    }
}

void CPacewickDlg::RestoreAll() {
    if (Ask(Hwnd(), IDS_RESTORE_TEXT, IDS_RESTORE_QUESTION, MB_YESNO) != IDYES) return;
    // What has not been started yet goes back to its Run key and starts from there.
    ready_.reset();
    launches_.Stop();
    // The monitors would take the restored values straight back.
    if (stopMonitors_) stopMonitors_();
    engine_.manager.RestoreAll();
    if (machineLists_.restoreAll) machineLists_.restoreAll(Hwnd());
    engine_.config.SetRestored(1);
    engine_.config.WriteSettings();
    EndDialog(0);
}

// The running countdown keeps the delay read at opening; these change the next
// start. What a policy sets stays the account's own in its Config.
void CPacewickDlg::ChooseDelay(StartMode mode, std::optional<DWORD> delay) {
    const DWORD manual = mode == StartMode::Manual ? 1 : 0;
    if (settings_.Choose(policy::Setting::Manual, manual)) engine_.config.SetManual(static_cast<int>(manual));
    if (delay && settings_.Choose(policy::Setting::DelayMinutes, *delay)) engine_.config.SetTimeDelay(*delay);
    engine_.config.WriteSettings();
}

void CPacewickDlg::ReadSettings() {
    engine_.config.ReadSettings();
    if (!settingsGiven_) settings_ = policy::EffectiveSettings::Read();
    // Written back with any other choice: the account keeps the delay and mode it starts
    // with, a machine's default among them, and never a policy's.
    if (!settings_.SetByPolicy(policy::Setting::DelayMinutes)) engine_.config.SetTimeDelay(settings_.DelayMilliseconds());
    if (!settings_.SetByPolicy(policy::Setting::Manual)) engine_.config.SetManual(settings_.Manual() ? 1 : 0);
}

namespace {

struct SwitchControls {
    WORD box;
    WORD trayItem;
    policy::Setting setting;
    void (CConfigStore::*set)(bool);
};
constexpr SwitchControls kSwitches[] = {
    {IDC_START_WHEN_READY, ID_TRAY_START_WHEN_READY, policy::Setting::StartWhenReady, &CConfigStore::SetStartWhenReady},
    {IDC_NOTIFY_NEWCOMERS, ID_TRAY_NOTIFY_NEWCOMERS, policy::Setting::NotifyNewcomers, &CConfigStore::SetNotifyNewcomers},
};

// The window's controls and the tray's items of each setting a policy may set.
struct PolicyControls {
    policy::Setting setting;
    std::initializer_list<WORD> controls;
    std::initializer_list<UINT> trayItems;
};
const PolicyControls kPolicyControls[] = {
    {policy::Setting::DelayMinutes,
     {IDC_MINUTES, IDC_MINUTES_SPIN, IDC_APPLY},
     {ID_TRAY_DELAY_1_MIN, ID_TRAY_DELAY_3_MIN, ID_TRAY_DELAY_5_MIN}},
    {policy::Setting::Manual, {IDC_MANUAL_START}, {ID_TRAY_MANUAL}},
    {policy::Setting::StartWhenReady, {IDC_START_WHEN_READY}, {ID_TRAY_START_WHEN_READY}},
    {policy::Setting::NotifyNewcomers, {IDC_NOTIFY_NEWCOMERS}, {ID_TRAY_NOTIFY_NEWCOMERS}},
};

}  // namespace

// The box says what it now shows; the tray item turns the switch over. A
// switch a policy sets stays as it is (its box shows it again).
bool CPacewickDlg::ChooseSwitch(WORD command) {
    for (const SwitchControls& choice : kSwitches) {
        if (command != choice.box && command != choice.trayItem) continue;
        const bool on = command == choice.box ? IsDlgButtonChecked(Hwnd(), choice.box) == BST_CHECKED
                                              : settings_.Value(choice.setting) == 0;
        if (settings_.Choose(choice.setting, on ? 1 : 0)) {
            (engine_.config.*choice.set)(on);
            engine_.config.WriteSettings();
        }
        ShowSwitches();
        return true;
    }
    return false;
}

void CPacewickDlg::ShowSwitches() {
    for (const SwitchControls& choice : kSwitches) {
        const bool on = settings_.Value(choice.setting) != 0;
        CheckDlgButton(Hwnd(), choice.box, on ? BST_CHECKED : BST_UNCHECKED);
        tray_.CheckMenuItem(choice.trayItem, on);
    }
    std::vector<UINT> setByPolicy;
    for (const PolicyControls& set : kPolicyControls)
        if (settings_.SetByPolicy(set.setting))
            setByPolicy.insert(setByPolicy.end(), set.trayItems.begin(), set.trayItems.end());
    tray_.ShowSetByPolicy(setByPolicy);
}

// A greyed control gets no mouse: the tip is the window's, over the control's place.
void CPacewickDlg::ShowPolicies() {
    policyTips_ = nullptr;  // an earlier window's went with it
    const std::wstring why = ui::ResourceText(IDS_SET_BY_ADMINISTRATOR);
    for (const PolicyControls& set : kPolicyControls) {
        if (!settings_.SetByPolicy(set.setting)) continue;
        if (!policyTips_)
            policyTips_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(), nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
        for (WORD id : set.controls) {
            HWND control = Item(id);
            EnableWindow(control, FALSE);
            if (!policyTips_) continue;
            TOOLINFOW tool = {};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_SUBCLASS;
            tool.hwnd = Hwnd();
            tool.uId = id;
            GetWindowRect(control, &tool.rect);
            MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&tool.rect), 2);
            tool.lpszText = const_cast<wchar_t*>(why.c_str());
            SendMessageW(policyTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

// --- the start plan -------------------------------------------------------------

// A logon task has no level: the Task Scheduler starts it.
void CPacewickDlg::ReadLevels() {
    const std::vector<plan::StartLevel> levels = plan::LevelsOf(rows_);
    levels_.assign(rows_.Count(), std::nullopt);
    for (std::size_t row = 0; row < rows_.Count() && row < levels.size(); ++row)
        if (rows_[row].origin != Origin::TaskScheduler) levels_[row] = levels[row];
}

bool CPacewickDlg::OnContextMenu(HWND from, LPARAM at) {
    HWND list = Item(IDC_ENTRY_LIST);
    if (from != list) return false;
    // Taken before the menu shows: the list may be refilled while it is open.
    const std::vector<std::size_t> rows = SelectedRows();
    const EntryList entries = SelectedEntries();
    const std::optional<POINT> point = ui::MenuPoint(list, at);
    if (rows.empty() || !point) return true;
    std::vector<std::optional<plan::StartLevel>> levels;
    for (std::size_t row : rows) levels.push_back(row < levels_.size() ? levels_[row] : std::nullopt);
    const ui::EntryMenuChoice choice = ui::ShowEntryMenu(Hwnd(), *point, ui::MenuStateOf(levels));
    switch (choice.kind) {
    case ui::EntryMenuChoice::Kind::Level: ChooseLevel(entries, choice.level); break;
    case ui::EntryMenuChoice::Kind::Run: RunSelected(); break;
    case ui::EntryMenuChoice::Kind::Delete: DeleteEntry(); break;
    case ui::EntryMenuChoice::Kind::Nothing: break;
    }
    return true;
}

void CPacewickDlg::ChooseLevel(const EntryList& entries, plan::StartLevel level) {
    const plan::PlanStore plans;
    for (const StartupEntry& entry : entries)
        if (entry.origin != Origin::TaskScheduler) plans.Write(entry, level);
    ReadLevels();
    InvalidateRect(Item(IDC_ENTRY_LIST), nullptr, TRUE);
}

// --- tray -----------------------------------------------------------------------

bool CPacewickDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (tray_.IsExplorerRestart(message)) {
        OnTaskbarCreated();
        *result = 0;
        return true;
    }
    // A second start: the window opens, and nothing else happens.
    if (openMessage_ != 0 && message == openMessage_) {
        OpenFromTray();
        SetForegroundWindow(Hwnd());
        *result = 0;
        return true;
    }
    switch (message) {
    case WM_CONTEXTMENU:
        *result = 0;
        return OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_ENTRY_LIST || header->code != LVN_GETDISPINFOW) return false;
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
            lstrcpynW(item.pszText, CellText(item.iItem, item.iSubItem).c_str(), item.cchTextMax);
        *result = 0;
        return true;
    }
    case WM_NOTIFYFORMAT:  // the list's notifications come in UTF-16, whatever the class's default
        *result = NFR_UNICODE;
        return true;
    case WM_NCPAINT:
        if (hiddenToTray_) ShowWindow(Hwnd(), SW_HIDE);
        if (!tray_.IsSetUp()) SetUpTray();
        return false;  // the default painting follows
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != SC_CLOSE) return false;
        OnCloseBox();
        *result = 0;
        return true;
    case kTrayMessage:
        if (wParam == kTrayIconId && lParam == NIN_BALLOONUSERCLICK) OpenNoticed();
        *result = tray_.OnCallback(wParam, lParam);
        return true;
    case kNewcomerMessage:
        TellOfNewcomers();
        return true;
    case kListChangedMessage:
        listChangePending_->store(false);  // before the copy: a later change posts again
        FillList();
        // A restore or a resume by the service changes the machine's BackUp places, watched here.
        ShowHoldOff(HoldOffOffer::NotMade);
        return true;
    case kReadyProgressMessage: {
        const auto started = static_cast<std::size_t>(wParam);
        // A count posted before the countdown's end must not hide what waits after it.
        if (countdownOver_) return true;
        SetStatus(ui::ResourceText(IDS_STATUS_READY_PROGRESS, {Number(started), Number(static_cast<std::size_t>(lParam))}));
        if (started >= static_cast<std::size_t>(lParam)) {
            readyOpen_ = false;
            SumUp();
        }
        return true;
    }
    case kTallyMessage:
        SumUp();
        return true;
    case kLaunchedMessage:
        OnLaunched();
        return true;
    case kEndHoldOffMessage:
        machineLists_.endHoldOff(Hwnd());
        ShowHoldOff(HoldOffOffer::NotMade);
        return true;
    case WM_DESTROY:
        window_ = nullptr;
        ready_.reset();    // the ready-start too, and its programs' priorities given back
        launches_.Stop();  // waits for the start in hand at most
        engine_.model.SetListChangedCallback(nullptr);
        if (newcomers_) newcomers_->Close();
        tray_.Remove();
        return false;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(icon_);
        return true;
    default:
        return false;
    }
}

void CPacewickDlg::OnCloseBox() {
    hiddenToTray_ = true;
    SetUpTray();
}

void CPacewickDlg::SetUpTray() {
    tray_.SetUp(Hwnd(), icon_);
    ShowSwitches();  // the menu is there from now on
    if (!hiddenToTray_) return;
    ShowWindow(Hwnd(), SW_MINIMIZE);
    if (tray_.Shown()) {
        ShowWindow(Hwnd(), SW_HIDE);
    } else {
        // Without an icon nothing could bring a hidden window back: it stays
        // on the taskbar instead.
        hiddenToTray_ = false;
    }
}

// The icon comes back and the window stays as it is. Without its icon a hidden
// window could not be reached: it goes to the taskbar instead.
void CPacewickDlg::OnTaskbarCreated() {
    if (!tray_.IsSetUp() || tray_.AddAgain() || IsWindowVisible(Hwnd())) return;
    hiddenToTray_ = false;
    ShowWindow(Hwnd(), SW_MINIMIZE);
}

void CPacewickDlg::OpenFromTray() {
    hiddenToTray_ = false;
    ShowWindow(Hwnd(), SW_RESTORE);
    ShowWindow(Hwnd(), SW_SHOW);
}
