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

// One delayed start-up item: its texts as Windows keeps them (UTF-16), and
// where it is kept.
struct StartupEntry {
    std::wstring name;     // the registry value name, the task's name, or a Startup item's name as shown
    std::wstring command;  // the command line as read, unchanged
    std::wstring company;  // from the program's version resource, or "Unknown"
    Origin origin = Origin::CurrentUser;
    ListSet lists = 0;  // empty for a logon task
    // A Startup folder item: its held file, by its full path (a name in any
    // script may be longer than the list shows, which then shows it cut).
    // Empty for a Run value and a logon task.
    std::wstring item;
    // What the list shows of a Startup folder item that is a shortcut: the
    // target and arguments it opens (read with its company, never by the
    // keeper). Empty otherwise: the list shows the command.
    std::wstring opens;
    // Windows starts every list's value of a name; the list shows one entry.
    // The commands of the same name in the other lists that differ from this
    // one's (and from each other) are started beside it.
    std::vector<std::wstring> otherCommands;
};

// What the program knows an entry by, whatever the list shows of it: the lists
// that keep it and the name they keep it under (a Run value's name, a Startup
// folder item's file name, a logon task's name). Compared exactly.
struct EntryIdentity {
    ListSet lists = 0;
    std::wstring name;
    bool operator==(const EntryIdentity& other) const { return lists == other.lists && name == other.name; }
    bool operator!=(const EntryIdentity& other) const { return !(*this == other); }
};
EntryIdentity IdentityOf(const StartupEntry& entry);
// The entry an identity names, as a request to delete it is made from one: its
// name is the Run values' name and, when it can be one, the held files' name
// (IdentityOf gives the identity back). The list's name is the text as shown.
StartupEntry EntryOf(const EntryIdentity& identity);

// The longest text an entry takes, in bytes of UTF-8: what the list has always
// held of a name, a command or a company.
constexpr std::size_t kEntryTextBytes = 254;

// True when the text converts to UTF-8 exactly and takes at most
// kEntryTextBytes there. A Run value whose name or command does not fit stays
// in its Run key: a cut text would name another value or program.
bool FitsEntry(const std::wstring& text);
bool FitsEntry(const std::string& utf8);

// A text as the list shows it when it need not be exact (a Startup item's
// name, a company): cut at a character to fit, and each character that cannot
// be converted shown as U+FFFD.
std::wstring FitShown(const std::wstring& text);
// A UTF-8 text read from a program's file (a company), as the list shows it:
// its first kEntryTextBytes bytes, and bytes that are no character as U+FFFD.
std::wstring FitShown(const std::string& utf8);
