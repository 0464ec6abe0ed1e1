#pragma once
#include <cstddef>

// Where an entry came from. The window turns it into the text it shows.
enum class Origin {
    CurrentUser,    // the current user's BackUp key
    AllUsers,       // a machine BackUp key
    Both,           // a value of this exact name is in the user's and a machine BackUp key
    TaskScheduler,  // a scheduled task triggered at user logon
};

// The start-up lists whose BackUp keys hold an entry, one bit per row of
// StartupLists(): what deleting the entry deletes from.
using ListSet = unsigned;
constexpr ListSet ListBit(std::size_t row) { return 1u << row; }

// One delayed start-up item: three fixed-width 8-bit texts, and where it is kept.
struct StartupEntry {
    static constexpr std::size_t kFieldSize = 255;  // 254 characters and the NUL

    char name[kFieldSize] = {};     // the registry value name (or task name): the entry's identity
    char command[kFieldSize] = {};  // the command line as read, unchanged
    char company[kFieldSize] = {};  // from the program's version resource, or "Unknown"
    Origin origin = Origin::CurrentUser;
    ListSet lists = 0;  // empty for a logon task
};

// Copies text into a field. Never writes past the field: a text of more than
// 254 characters is cut there and reported by returning false, so that the
// caller can refuse the entry instead of using the cut text.
bool SetField(char (&field)[StartupEntry::kFieldSize], const char* text);
