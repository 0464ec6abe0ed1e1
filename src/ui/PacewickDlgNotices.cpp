// The main window's notices of newcomers: a program that adds itself to a
// start-up list while Pacewick runs is taken over by the watchers as ever, and
// then the user is told, once a day per name, from the tray icon; a click on
// the notice shows its entry in the list.
#include "ui/PacewickDlg.h"

#include <commctrl.h>

#include "plan/PlanStore.h"
#include "resource.h"
#include "ui/NewcomerNotice.h"
#include "ui/ResourceText.h"

// From the window's opening on: what the start's own take-over moved is not news.
void CPacewickDlg::OpenNewcomers() {
    if (newcomers_) newcomers_->Open(Hwnd(), kNewcomerMessage);
}

// Here, on the window's thread, and never on a watcher's: the registry work of
// a notice does not hold up a take-over.
void CPacewickDlg::TellOfNewcomers() {
    if (!newcomers_) return;
    const EntryList newcomers = newcomers_->Take();
    if (!settings_.NotifyNewcomers() || !tray_.Shown()) return;
    const plan::Settings settings = StartSettings();
    const ui::NoticeDays days;
    const DWORD today = ui::NoticeDays::Today();
    for (const StartupEntry& entry : newcomers) {
        const EntryIdentity identity = IdentityOf(entry);
        if (!days.Claim(identity.name, today)) continue;
        const plan::StartLevel level = plan::LevelOf(entry, plan::PlanStore().Read(entry));
        if (tray_.ShowNotice(ui::ResourceText(IDS_NOTICE_TITLE), ui::NoticeText(entry, level, settings)))
            noticed_ = identity;
    }
}

// The shell shows one notice at a time: a click is on the last one shown. Its
// entry's row is selected, focused and in view, with its menu open, as long as
// the list still holds it.
void CPacewickDlg::OpenNoticed() {
    OpenFromTray();
    SetForegroundWindow(Hwnd());
    if (!noticed_) return;
    HWND list = Item(IDC_ENTRY_LIST);
    for (std::size_t row = 0; row < rows_.Count(); ++row) {
        const EntryIdentity shown = IdentityOf(rows_[row]);
        if (shown.name != noticed_->name || !(shown.lists & noticed_->lists)) continue;
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
        SendMessageW(Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        // As the keyboard asks for a row's menu (Shift+F10): at the focused row.
        PostMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
        return;
    }
}
