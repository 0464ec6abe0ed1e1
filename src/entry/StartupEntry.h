#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Where an entry came from. The window turns it into the text it shows.
enum class Origin {
    CurrentUser,    // the current user's BackUp key
    AllUsers,       // a machine BackUp key
    Both,           // a value of this exact name is in the user's and a machine BackUp key
    TaskScheduler,  // a scheduled task triggered at user logon
    UserFolder,     // the current user's Startup folder, held in the user's BackUp folder
    AllUsersFolder, // the all-users Startup folder, held in the machine's BackUp folder
};

// The start-up lists whose BackUp places hold an entry, one bit per source of
// the source table: what deleting the entry deletes from.
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
    // A Startup folder item: its held file, by its full path (a name in any
    // script may be longer than the name field, which then shows it cut).
    // Empty for a Run value and a logon task.
    std::wstring item;
    // Windows starts every list's value of a name; the list shows one entry.
    // The commands of the same name in the other lists that differ from this
    // one's (and from each other) are started beside it.
    std::vector<std::string> otherCommands;
};

// Copies text into a field. Never writes past the field: a text of more than
// 254 characters is cut there and reported by returning false, so that the
// caller can refuse the entry instead of using the cut text.
bool SetField(char (&field)[StartupEntry::kFieldSize], const char* text);
