#include "ui/PacewickDlg.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "resource.h"
#include "ui/OriginLabel.h"
#include "ui/ResourceText.h"
#include "win/ModulePath.h"

namespace {

constexpr const char* kHelpFile = "PacewickManual.chm";
constexpr const char* kDeleteQuestion = "Are you sure to delete this entry?";
constexpr const char* kDeleteText = "Press [Yes] to delete this entry.\n";
constexpr const char* kRestoreQuestion = "Are you sure to restore?";
constexpr const char* kRestoreText =
    "Restoring all will move all your programs from delayed list to\nregular startup list and \n"
    "it will also disable Pacewick Functionality.\nPress [Yes] to restore everything.\n";
constexpr const char* kTaskRefusal = "Sorry in this version you cannot delete entry from scheduled task";

constexpr int kMinMinutes = 1;
constexpr int kMaxMinutes = 30;

struct Column {
    const char* heading;
    int format;
    int widthUnits;  // in sixths of the list's client width
};
constexpr Column kColumns[] = {
    {"Program Name", LVCFMT_CENTER, 1},
    {"Program Location", LVCFMT_LEFT, 2},
    {"Company", LVCFMT_LEFT, 1},
    {"Location", LVCFMT_LEFT, 1},
    {"Start-up impact", LVCFMT_LEFT, 1},
};
constexpr int kWidthUnits = 6;

// Task Manager's words for what a program used in its first minute.
const char* ImpactLabel(ready::Impact impact) {
    switch (impact) {
    case ready::Impact::High: return "High";
    case ready::Impact::Medium: return "Medium";
    case ready::Impact::Low: return "Low";
    default: return "Not measured";
    }
}
int NextSelected(HWND list, int after) {
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

// The program file's name without directory and extension.
std::string ApplicationName() {
    std::string name = win::RunningExecutablePath();
    const auto slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

CPacewickDlg::CPacewickDlg(HWND parent, Engine engine, StopMonitorsFunction stopMonitors)
    : ui::CDialog(IDD_PACEWICK_DIALOG, parent),
      engine_(engine),
      stopMonitors_(std::move(stopMonitors)) {
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
    webLink_.SetLink(PACEWICK_WEB_ADDRESS);
    webLink_.SetOpening(CStaticLink::Opening::Directly);

    icon_ = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    SendMessageA(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    // The icon reaches the tray at the first non-client paint, and again after
    // every restart of Explorer.
    tray_.HearExplorerRestarts(Hwnd());

    elapsedSeconds_ = 0;
    HWND spin = Item(IDC_MINUTES_SPIN);
    SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(IDC_MINUTES)), 0);
    SendMessageA(spin, UDM_SETRANGE, 0, MAKELPARAM(kMaxMinutes, kMinMinutes));
    SendMessageA(spin, UDM_SETPOS, 0, MAKELPARAM(kMinMinutes, 0));

    FillList();
    // The engine's threads change the list; the window follows at once. A post,
    // never a send: they may hold the engine's lock. One post waits at a time: a
    // burst of take-overs must not queue a refill each ahead of the user's clicks.
    HWND window = Hwnd();
    std::shared_ptr<std::atomic<bool>> pending = listChangePending_;
    engine_.model.SetListChangedCallback([window, pending] {
        if (!pending->exchange(true)) PostMessageA(window, kListChangedMessage, 0, 0);
    });

    engine_.config.ReadSettings();
    delay_ = engine_.config.GetTimeDelay();
    if (engine_.config.GetManual() == 1) {
        SetDlgItemTextA(Hwnd(), IDC_ELAPSED, "");
        SetStatus("Start manually");
    } else {
        SetTimer(Hwnd(), kTickTimer, 1000, nullptr);
        SetTimer(Hwnd(), kLaunchTimer, delay_, nullptr);
        char status[64];
        std::snprintf(status, sizeof status, "Will start in %d minute", static_cast<int>(delay_ / kMinute));
        SetStatus(status);
        if (engine_.config.GetStartWhenReady()) StartWhenReady();
    }
    ShowStartWhenReady();
    ShowHoldOff(HoldOffOffer::Made);
    return TRUE;
}

// The countdown stays the deadline: its end starts whatever has not started.
void CPacewickDlg::StartWhenReady() {
    HWND window = Hwnd();
    ready_ = std::make_unique<ready::ReadySession>(
        engine_.model.CopyList(), engine_.launcher, [window](std::size_t started, std::size_t total) {
            PostMessageA(window, kReadyProgressMessage, static_cast<WPARAM>(started), static_cast<LPARAM>(total));
        },
        loadFactory_ ? loadFactory_() : nullptr);
}

void CPacewickDlg::SetStatus(const char* text) { SetDlgItemTextA(Hwnd(), IDC_STATUS, text); }

void CPacewickDlg::ShowHoldOff(HoldOffOffer offer) {
    const bool held = machineLists_.heldOff && machineLists_.heldOff();
    SetDlgItemTextW(Hwnd(), IDC_HOLD_OFF_NOTE, held ? ui::ResourceText(IDS_HOLD_OFF_NOTE).c_str() : L"");
    ShowWindow(Item(IDC_HOLD_OFF_NOTE), held ? SW_SHOWNA : SW_HIDE);
    if (held && offer == HoldOffOffer::Made && machineLists_.endHoldOff) PostMessageW(Hwnd(), kEndHoldOffMessage, 0, 0);
}

// --- the list -------------------------------------------------------------------

void CPacewickDlg::ResetColumns(HWND list) {
    if (HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0))) {
        const int columns = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < columns; ++i) SendMessageA(list, LVM_DELETECOLUMN, 0, 0);
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    }
    RECT client = {};
    GetClientRect(list, &client);
    const int unit = (client.right - client.left) / kWidthUnits;
    int index = 0;
    for (const Column& column : kColumns) {
        LVCOLUMNA lvc = {};
        lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvc.fmt = column.format;
        lvc.cx = unit * column.widthUnits;
        lvc.pszText = const_cast<char*>(column.heading);
        lvc.iSubItem = index;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&lvc));
    }
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

// The list keeps no text of its own (LVS_OWNERDATA): it is told how many rows
// there are and asks for the cells it shows, so that a list of thousands of
// entries is filled at once, whatever a take-over changed.
void CPacewickDlg::FillList() {
    HWND list = Item(IDC_ENTRY_LIST);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ResetColumns(list);
    // A copy: the monitor threads may rebuild the manager's list meanwhile, and
    // its lock must not be held while the list control is sent messages. The
    // commands act on these entries, never on what the cells read back.
    engine_.model.CopyList(rows_);
    impacts_ = ready::ImpactStore().ReadAll(rows_);
    SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows_.size()), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    char count[64];
    std::snprintf(count, sizeof count, "Total Entries: %d",
                  static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
    SetDlgItemTextA(Hwnd(), IDC_ENTRY_COUNT, count);
}

const char* CPacewickDlg::CellText(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return "";
    const StartupEntry& entry = rows_[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: return entry.name;
    case 1: return entry.command;
    case 2: return entry.company;
    case 3: return ui::OriginLabel(entry.origin);
    case 4: return static_cast<std::size_t>(row) < impacts_.size() ? ImpactLabel(impacts_[row]) : "";
    default: return "";
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
        const LRESULT reported = SendMessageA(Item(IDC_MINUTES_SPIN), UDM_GETPOS, 0, 0);
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
    case IDC_START_WHEN_READY: ChooseStartWhenReady(IsDlgButtonChecked(Hwnd(), IDC_START_WHEN_READY) == BST_CHECKED); return true;
    case ID_TRAY_START_WHEN_READY: ChooseStartWhenReady(!engine_.config.GetStartWhenReady()); return true;
    case IDC_DELETE_ENTRY: DeleteEntry(); return true;
    case IDC_RESTORE_ALL: RestoreAll(); return true;
    case ID_TRAY_OPEN: OpenFromTray(); return true;
    default: return CDialog::OnCommand(id, notification, control);
    }
}

void CPacewickDlg::OnTimer(UINT_PTR id) {
    if (id == kLaunchTimer) {
        LaunchAll();
    } else if (id == kTickTimer) {
        ++elapsedSeconds_;
        char text[32];
        std::snprintf(text, sizeof text, "%d : %d", elapsedSeconds_ / 60, elapsedSeconds_ % 60);
        SetDlgItemTextA(Hwnd(), IDC_ELAPSED, text);
    }
}

void CPacewickDlg::LaunchAll() {
    // Once per window, whatever asks: a second start of every program would
    // run each of them twice.
    if (launched_) return;
    launched_ = true;
    KillTimer(Hwnd(), kLaunchTimer);
    KillTimer(Hwnd(), kTickTimer);
    tray_.GrayMenuItem(ID_TRAY_RUN_ALL);
    EnableWindow(Item(IDC_RUN_ALL), FALSE);
    HWND window = Hwnd();
    const EntryList entries = ready_ ? ready_->Finish(engine_.model.CopyList()) : engine_.model.CopyList();
    launches_.LaunchAll(entries, [window] { PostMessageA(window, kLaunchedMessage, 0, 0); });
}

// Every program has been started: the window goes to the tray.
void CPacewickDlg::OnLaunched() {
    tray_.RefreshPicture();
    ShowWindow(Hwnd(), SW_HIDE);
}

std::vector<StartupEntry> CPacewickDlg::SelectedEntries() {
    std::vector<StartupEntry> selected;
    HWND list = Item(IDC_ENTRY_LIST);
    for (int row = NextSelected(list, -1); row != -1 && static_cast<std::size_t>(row) < rows_.size();
         row = NextSelected(list, row))
        selected.push_back(rows_[row]);
    return selected;
}

void CPacewickDlg::RunSelected() {
    launches_.LaunchEach(SelectedEntries(), nullptr);
}

void CPacewickDlg::DeleteEntry() {
    // Taken before the question: the list may be refilled while it is asked.
    const std::vector<StartupEntry> selected = SelectedEntries();
    if (MessageBoxA(Hwnd(), kDeleteText, kDeleteQuestion, MB_YESNO) != IDYES) return;

    bool changed = false;
    for (const StartupEntry& entry : selected) {
        if (entry.origin == Origin::TaskScheduler) {
            MessageBoxA(Hwnd(), kTaskRefusal, ApplicationName().c_str(), MB_OK);
            continue;
        }
        changed = engine_.manager.DeleteBackupEntry(entry);
        const ListSet elsewhere = entry.lists & ~engine_.manager.WrittenLists();
        if (elsewhere && machineLists_.deleteEntry) changed = machineLists_.deleteEntry(Hwnd(), entry, elsewhere) || changed;
        break;
    }
    if (changed) RebuildAndFillList();
}

void CPacewickDlg::RestoreAll() {
    if (MessageBoxA(Hwnd(), kRestoreText, kRestoreQuestion, MB_YESNO) != IDYES) return;
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

// The running countdown keeps the delay read at opening; these change the next start.
void CPacewickDlg::ChooseDelay(StartMode mode, std::optional<DWORD> delay) {
    engine_.config.SetManual(mode == StartMode::Manual ? 1 : 0);
    if (delay) engine_.config.SetTimeDelay(*delay);
    engine_.config.WriteSettings();
}

void CPacewickDlg::ChooseStartWhenReady(bool on) {
    engine_.config.SetStartWhenReady(on);
    engine_.config.WriteSettings();
    ShowStartWhenReady();
}

void CPacewickDlg::ShowStartWhenReady() {
    const bool on = engine_.config.GetStartWhenReady();
    CheckDlgButton(Hwnd(), IDC_START_WHEN_READY, on ? BST_CHECKED : BST_UNCHECKED);
    tray_.CheckMenuItem(ID_TRAY_START_WHEN_READY, on);
}

// --- tray -----------------------------------------------------------------------

bool CPacewickDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (tray_.IsExplorerRestart(message)) {
        OnTaskbarCreated();
        *result = 0;
        return true;
    }
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_ENTRY_LIST || header->code != LVN_GETDISPINFOA) return false;
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(lParam)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
            lstrcpynA(item.pszText, CellText(item.iItem, item.iSubItem), item.cchTextMax);
        *result = 0;
        return true;
    }
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
        *result = tray_.OnCallback(wParam, lParam);
        return true;
    case kListChangedMessage:
        listChangePending_->store(false);  // before the copy: a later change posts again
        FillList();
        // A restore or a resume by the service changes the machine's BackUp places, watched here.
        ShowHoldOff(HoldOffOffer::NotMade);
        return true;
    case kReadyProgressMessage: {
        char status[64];
        std::snprintf(status, sizeof status, "Starting when ready: %u of %u", static_cast<unsigned>(wParam),
                      static_cast<unsigned>(lParam));
        SetStatus(status);
        return true;
    }
    case kLaunchedMessage:
        OnLaunched();
        return true;
    case kEndHoldOffMessage:
        machineLists_.endHoldOff(Hwnd());
        ShowHoldOff(HoldOffOffer::NotMade);
        return true;
    case WM_DESTROY:
        ready_.reset();    // the ready-start too, and its programs' priorities given back
        launches_.Stop();  // waits for the start in hand at most
        engine_.model.SetListChangedCallback(nullptr);
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
    ShowStartWhenReady();  // the menu is there from now on
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
