#include "ui/TrayIcon.h"

#include <algorithm>

#include "resource.h"
#include "ui/ResourceText.h"

namespace ui {

bool InsertTextItem(HMENU menu, UINT position, UINT command, UINT text, UINT type, UINT state) {
    std::wstring shown = ResourceText(text);
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    item.fType = type;
    item.fState = state;
    item.wID = command;
    item.dwTypeData = shown.data();
    return InsertMenuItemW(menu, position, TRUE, &item) != FALSE;
}

namespace {

// The item at `at` is `command`'s, or a submenu holding it at any depth.
bool Holds(HMENU menu, int at, UINT command) {
    if (GetMenuItemID(menu, at) == command) return true;
    HMENU submenu = GetSubMenu(menu, at);
    return submenu && GetMenuState(submenu, command, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

}  // namespace

TrayIcon::TrayIcon(UINT callbackMessage, UINT id)
    : taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")),
      notify_([](DWORD message, NOTIFYICONDATAW* data) { return Shell_NotifyIconW(message, data); }) {
    record_.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record_.uID = id;
    record_.uCallbackMessage = callbackMessage;
}

// Started elevated (to write the machine Run key), the owner would not hear
// from an Explorer of lower integrity without this.
void TrayIcon::HearExplorerRestarts(HWND owner) const {
    if (taskbarCreated_ != 0) ChangeWindowMessageFilterEx(owner, taskbarCreated_, MSGFLT_ALLOW, nullptr);
}

void TrayIcon::SetUp(HWND owner, HICON icon) {
    if (setUp_) return;
    // Set first: the message boxes below repaint the owner, and its paint
    // must not start a second set-up.
    setUp_ = true;
    record_.hWnd = owner;
    record_.hIcon = icon;
    CopyTip();
    menu_.Reset(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (!menu_) MessageBoxW(owner, ResourceText(IDS_TRAY_MENU_FAILED).c_str(), ResourceText(IDS_TRAY_ERROR_CAPTION).c_str(), MB_OK);
    shown_ = Add();
    if (!shown_) MessageBoxW(owner, ResourceText(IDS_TRAY_ICON_FAILED).c_str(), ResourceText(IDS_TRAY_ERROR_CAPTION).c_str(), MB_OK);
}

// The whole icon each time: a modification since may have left fewer flags.
bool TrayIcon::Add() {
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return notify_(NIM_ADD, &record_) != FALSE;
}

bool TrayIcon::AddAgain() {
    if (!setUp_) return false;
    shown_ = Add();
    return shown_;
}

void TrayIcon::RefreshPicture() {
    if (!shown_) return;
    record_.uFlags = NIF_ICON;
    notify_(NIM_MODIFY, &record_);
}

void TrayIcon::CopyTip() {
    lstrcpynW(record_.szTip, (tip_.empty() ? ResourceText(IDS_TRAY_TIP) : tip_).c_str(), ARRAYSIZE(record_.szTip));
}

void TrayIcon::SetTip(const std::wstring& tip) {
    tip_ = tip;
    CopyTip();
    if (!shown_) return;
    record_.uFlags = NIF_TIP;
    notify_(NIM_MODIFY, &record_);
}

void TrayIcon::GrayMenuItem(UINT command) {
    if (menu_) EnableMenuItem(GetSubMenu(menu_.Get(), 0), command, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
}

// The line goes on the menu's first level (a choice in a submenu counts as the
// submenu's item), read without opening a submenu; and below the last item a
// policy sets, so that it never directly follows an item no policy touches.
void TrayIcon::ShowSetByPolicy(const std::vector<UINT>& commands) {
    if (!menu_) return;
    HMENU items = GetSubMenu(menu_.Get(), 0);
    DeleteMenu(items, ID_TRAY_SET_BY_ADMINISTRATOR, MF_BYCOMMAND);
    int below = -1;
    for (UINT command : commands) {
        GrayMenuItem(command);
        for (int at = 0; at < GetMenuItemCount(items); ++at)
            if (Holds(items, at, command)) below = std::max(below, at);
    }
    if (below >= 0)
        InsertTextItem(items, static_cast<UINT>(below + 1), ID_TRAY_SET_BY_ADMINISTRATOR, IDS_SET_BY_ADMINISTRATOR,
                       MFT_STRING, MFS_GRAYED);
}

void TrayIcon::CheckMenuItem(UINT command, bool checked) {
    if (menu_) ::CheckMenuItem(GetSubMenu(menu_.Get(), 0), command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

// The icon keeps its first version's record (any shell takes it); a notice
// needs the second's, which holds its texts.
bool TrayIcon::ShowNotice(const std::wstring& title, const std::wstring& text) {
    if (!shown_) return false;
    NOTIFYICONDATAW notice = record_;
    notice.cbSize = NOTIFYICONDATAW_V2_SIZE;
    notice.uFlags = NIF_INFO;
    notice.dwInfoFlags = NIIF_INFO;
    lstrcpynW(notice.szInfoTitle, title.c_str(), ARRAYSIZE(notice.szInfoTitle));
    lstrcpynW(notice.szInfo, text.c_str(), ARRAYSIZE(notice.szInfo));
    return notify_(NIM_MODIFY, &notice) != FALSE;
}

// Asked even when the last add failed: the shell may hold the icon all the same.
void TrayIcon::Remove() {
    if (!setUp_) return;
    shown_ = false;
    notify_(NIM_DELETE, &record_);
}

LRESULT TrayIcon::OnCallback(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != record_.uID) return E_FAIL;
    if (mouseMessage == WM_CONTEXTMENU || mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_RBUTTONDOWN) {
        POINT cursor = {};
        GetCursorPos(&cursor);
        ShowMenu(cursor.x, cursor.y);
    }
    return 0;
}

void TrayIcon::ShowMenu(int x, int y) {
    SetForegroundWindow(record_.hWnd);
    if (menu_) {
        TrackPopupMenu(GetSubMenu(menu_.Get(), 0), TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, x, y, 0, record_.hWnd,
                       nullptr);
    }
    // Lets the menu close when the user clicks elsewhere (documented need).
    PostMessageW(record_.hWnd, WM_NULL, 0, 0);
}

}  // namespace ui
