#pragma once
// The program's icon in the notification area: the record the shell keeps of
// it, its menu, and its return after Explorer restarts. The window that owns
// it gets the callback message and the menu's commands.
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "win/Scoped.h"

namespace ui {

struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyMenu(h); }
};
using UniqueMenu = win::Unique<MenuTraits>;

// Puts the string table's `text` into `menu` at `position` as an item of
// `command`, its type and state as given. False when the menu refused it.
bool InsertTextItem(HMENU menu, UINT position, UINT command, UINT text, UINT type, UINT state);

class TrayIcon {
public:
    // Shell_NotifyIconW, or a stand-in (tests).
    using NotifyFunction = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;

    // The icon `id` reports clicks to its owner by `callbackMessage`.
    TrayIcon(UINT callbackMessage, UINT id);
    void SetNotifyFunction(NotifyFunction notify) { notify_ = std::move(notify); }

    // Explorer broadcasts a message when it (re)starts: every tray icon is gone
    // then. Lets the owner hear it, even when it runs elevated.
    void HearExplorerRestarts(HWND owner) const;
    bool IsExplorerRestart(UINT message) const { return message != 0 && message == taskbarCreated_; }

    // Once per owner (later calls do nothing): loads the menu and adds the
    // icon; a message box tells the owner what failed.
    void SetUp(HWND owner, HICON icon);
    bool IsSetUp() const { return setUp_; }
    // The shell holds the icon: only then can it bring a hidden owner back.
    bool Shown() const { return shown_; }

    // A new Explorer shows none of the old one's icons: the whole icon again,
    // if it was ever set up. True when the shell took it.
    bool AddAgain();
    // Hands the shell the icon's picture again (the rest stays as it is).
    void RefreshPicture();
    // The text over the icon: `tip`, or the program's own when empty. Kept for
    // the icon's every return.
    void SetTip(const std::wstring& tip);
    void GrayMenuItem(UINT command);
    // Greys `commands` (a policy sets them) and says so in one greyed line
    // directly below the last item of the menu that holds one; no line
    // without them. Each call takes the earlier one's line away first.
    void ShowSetByPolicy(const std::vector<UINT>& commands);
    void CheckMenuItem(UINT command, bool checked);
    // A notice from the icon (a balloon, or a toast on Windows 10 and later);
    // a click on it comes to the owner as the callback with NIN_BALLOONUSERCLICK.
    // False while the shell holds no icon, or when it refused the notice.
    bool ShowNotice(const std::wstring& title, const std::wstring& text);
    // No icon of an ended program may stay behind in the notification area.
    void Remove();

    // The callback message: a click opens the menu. E_FAIL for another icon's id.
    LRESULT OnCallback(WPARAM iconId, LPARAM mouseMessage);

private:
    bool Add();
    void ShowMenu(int x, int y);
    void CopyTip();

    const UINT taskbarCreated_;
    NOTIFYICONDATAW record_ = {};
    UniqueMenu menu_;
    NotifyFunction notify_;
    std::wstring tip_;  // empty: the program's own
    bool setUp_ = false;  // set-up ran (whether or not it succeeded)
    bool shown_ = false;  // the shell took the icon
};

}  // namespace ui
