#pragma once
// A row's menu in the list, as Explorer offers one on an item: the start
// levels as radio items, then Run and Delete entry (the buttons' commands).
#include <windows.h>

#include <optional>
#include <vector>

#include "plan/StartLevel.h"

namespace ui {

// What the menu shows of the chosen rows, each row's level given (none for a
// logon task, which has no plan).
struct EntryMenuState {
    std::optional<plan::StartLevel> shared;  // checked: the level every row with one has
    bool levelsOffered = false;              // some row can have a level; else the levels are greyed
};
EntryMenuState MenuStateOf(const std::vector<std::optional<plan::StartLevel>>& levels);

// What the user chose.
struct EntryMenuChoice {
    enum class Kind { Nothing, Level, Run, Delete };
    Kind kind = Kind::Nothing;
    plan::StartLevel level = plan::StartLevel::AsSet;
};

// Shows the menu at `at` (screen coordinates) and waits for the choice. The
// choice is returned, never posted: no message another process sends the
// window can stand for it.
EntryMenuChoice ShowEntryMenu(HWND owner, POINT at, const EntryMenuState& state);

// Where the menu of WM_CONTEXTMENU from the list opens (screen coordinates):
// at the mouse when it is on a row, or, asked by the keyboard (Shift+F10, the menu key: the
// position -1, -1), below the start of the focused row, else of the first
// selected one; none without such a row.
std::optional<POINT> MenuPoint(HWND list, LPARAM at);

}  // namespace ui
