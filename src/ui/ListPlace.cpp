#include "ui/ListPlace.h"

#include <commctrl.h>

#include <algorithm>

namespace ui {

namespace {

int Next(HWND list, int after, UINT flags) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after), MAKELPARAM(flags, 0)));
}

std::optional<EntryIdentity> IdentityAt(const EntryList& rows, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows.Count()) return std::nullopt;
    return IdentityOf(rows[static_cast<std::size_t>(row)]);
}

void SetState(HWND list, int row, UINT state) {
    LVITEMW item = {};
    item.stateMask = state;
    item.state = state;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

ListPlace PlaceIn(HWND list, const EntryList& rows) {
    ListPlace place;
    for (int row = Next(list, -1, LVNI_SELECTED); row != -1; row = Next(list, row, LVNI_SELECTED))
        if (const auto identity = IdentityAt(rows, row)) place.selected.push_back(*identity);
        else break;
    place.focused = IdentityAt(rows, Next(list, -1, LVNI_FOCUSED));
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0)
        place.top = IdentityAt(rows, static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)));
    return place;
}

void Restore(HWND list, const EntryList& rows, const ListPlace& place) {
    if (place.selected.empty() && !place.focused && !place.top) return;
    int top = -1;
    int row = 0;
    for (const StartupEntry& entry : rows) {
        const EntryIdentity identity = IdentityOf(entry);
        if (std::find(place.selected.begin(), place.selected.end(), identity) != place.selected.end())
            SetState(list, row, LVIS_SELECTED);
        if (place.focused == identity) {
            SetState(list, row, LVIS_FOCUSED);
            SendMessageW(list, LVM_SETSELECTIONMARK, 0, row);  // where a Shift+click range starts
        }
        if (place.top == identity) top = row;
        ++row;
    }
    RECT first = {};
    first.left = LVIR_BOUNDS;
    const int shown = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    if (top > shown && SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first)))
        SendMessageW(list, LVM_SCROLL, 0, (top - shown) * (first.bottom - first.top));
}

}  // namespace ui
