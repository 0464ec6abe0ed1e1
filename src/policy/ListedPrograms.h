#pragma once
#include <string>
#include <vector>

namespace policy {

// A list of programs an administrator's policy names (LeaveAlone, StartAtLogOn).
//
// What an item starts is its command's program: a leading quoted path, or
// unquoted the text up to the first blank that follows ".exe" (as the program
// itself reads a command), environment references expanded. A list entry
// without a backslash names a program by its file name; one with a backslash
// by its full path, environment references expanded and `.` and `..`
// resolved. Both compare letter case aside and whole: "vpnui.exe" is not
// "myvpnui.exe", and a name in the arguments names nothing.
class ListedPrograms {
public:
    ListedPrograms() = default;
    explicit ListedPrograms(const std::vector<std::wstring>& programs);

    // The programs the machine's LeaveAlone policy keeps out of every
    // take-over (Windows goes on starting them from where their installers
    // put them), read afresh. A user's list of the same name is not read: an
    // account could otherwise keep its programs from its administrator's
    // Pacewick and the keeper service.
    static ListedPrograms LeaveAloneOfMachine();
    // The programs the StartAtLogOn policies start at log-on for every
    // account: the machine's list and this user's, read afresh.
    static ListedPrograms StartAtLogOn();

    bool Empty() const { return names_.empty() && paths_.empty(); }
    // True when the command's program is one the list names.
    bool Names(const std::wstring& command) const;
    // True when the program at `path` (a command's, already read from it) is one the list names.
    bool NamesProgram(const std::wstring& path) const;

private:
    std::vector<std::wstring> names_;  // file names
    std::vector<std::wstring> paths_;  // full paths, expanded and resolved
};

}  // namespace policy
