#pragma once
// Where the user is in the list, by what the rows show rather than by their
// numbers: a refill (a newcomer taken over, a deletion) may move every row.
#include <windows.h>

#include <optional>
#include <vector>

#include "entry/EntryList.h"

namespace ui {

struct ListPlace {
    std::vector<EntryIdentity> selected;
    std::optional<EntryIdentity> focused;
    std::optional<EntryIdentity> top;  // the first row in view
};

// The place in `list`, whose rows show `rows`.
ListPlace PlaceIn(HWND list, const EntryList& rows);
// Selects and focuses the same entries again among `rows` (those still
// listed), and scrolls their first row in view back to the top.
void Restore(HWND list, const EntryList& rows, const ListPlace& place);

}  // namespace ui
