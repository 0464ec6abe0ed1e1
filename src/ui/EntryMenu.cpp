#include "ui/EntryMenu.h"

#include <commctrl.h>
#include <windowsx.h>

#include "resource.h"
#include "ui/ResourceText.h"
#include "ui/TrayIcon.h"

namespace ui {

namespace {

// The levels in the menu's order: from the earliest start to none, then the account's own setting.
constexpr plan::StartLevel kMenuOrder[] = {plan::StartLevel::AtLogOn, plan::StartLevel::WhenReady,
                                           plan::StartLevel::AfterDelay, plan::StartLevel::OnlyByHand,
                                           plan::StartLevel::AsSet};

UINT CommandOf(plan::StartLevel level) { return ID_LEVEL_AS_SET + static_cast<UINT>(level); }

bool Append(HMENU menu, UINT command, UINT text, UINT type, UINT state) {
    return InsertTextItem(menu, static_cast<UINT>(GetMenuItemCount(menu)), command, text, type, state);
}

}  // namespace

EntryMenuState MenuStateOf(const std::vector<std::optional<plan::StartLevel>>& levels) {
    EntryMenuState state;
    bool differ = false;
    for (const auto& level : levels) {
        if (!level) continue;
        differ = differ || (state.levelsOffered && state.shared != level);
        state.shared = level;
        state.levelsOffered = true;
    }
    if (differ) state.shared.reset();
    return state;
}

EntryMenuChoice ShowEntryMenu(HWND owner, POINT at, const EntryMenuState& state) {
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return {};
    const UINT offered = state.levelsOffered ? MFS_ENABLED : MFS_GRAYED;
    for (plan::StartLevel level : kMenuOrder)
        Append(menu.Get(), CommandOf(level), IDS_MENU_AS_SET + static_cast<UINT>(level), MFT_STRING | MFT_RADIOCHECK,
               offered | (state.shared == level ? MFS_CHECKED : MFS_UNCHECKED));
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    Append(menu.Get(), IDC_RUN, IDS_MENU_RUN, MFT_STRING, MFS_ENABLED);
    Append(menu.Get(), IDC_DELETE_ENTRY, IDS_MENU_DELETE_ENTRY, MFT_STRING, MFS_ENABLED);

    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, 0, owner, nullptr));
    EntryMenuChoice choice;
    if (chosen == IDC_RUN) choice.kind = EntryMenuChoice::Kind::Run;
    if (chosen == IDC_DELETE_ENTRY) choice.kind = EntryMenuChoice::Kind::Delete;
    if (chosen >= ID_LEVEL_AS_SET && chosen <= ID_LEVEL_ONLY_BY_HAND && state.levelsOffered) {
        choice.kind = EntryMenuChoice::Kind::Level;
        choice.level = plan::LevelFromNumber(chosen - ID_LEVEL_AS_SET);
    }
    return choice;
}

std::optional<POINT> MenuPoint(HWND list, LPARAM at) {
    if (GET_X_LPARAM(at) != -1 || GET_Y_LPARAM(at) != -1) {
        // The mouse: on a row only, not on the column headings or below the rows.
        const POINT mouse = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
        LVHITTESTINFO hit = {};
        hit.pt = mouse;
        ScreenToClient(list, &hit.pt);
        if (SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 || !(hit.flags & LVHT_ONITEM))
            return std::nullopt;
        return mouse;
    }
    int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_FOCUSED, 0)));
    if (row < 0) row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    if (row < 0) return std::nullopt;
    RECT label = {};
    label.left = LVIR_LABEL;
    if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&label))) return std::nullopt;
    RECT client = {};
    GetClientRect(list, &client);
    // A row scrolled out of view: the menu opens at the list's top instead.
    POINT below = {label.left, label.bottom < client.top || label.bottom > client.bottom ? client.top : label.bottom};
    if (below.x < client.left) below.x = client.left;
    ClientToScreen(list, &below);
    return below;
}

}  // namespace ui
