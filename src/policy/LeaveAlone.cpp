#include "policy/LeaveAlone.h"

#include <windows.h>

#include <optional>

#include "policy/PolicyLists.h"
#include "registry/RegistryKeys.h"
#include "win/CommandLine.h"

namespace policy {
namespace {

bool Same(const std::wstring& one, const std::wstring& other) {
    return CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

// A path as the list compares it: a drive's path resolved, any other as written.
std::optional<std::wstring> Comparable(const std::wstring& path) {
    return win::OnADrive(path) ? win::FullPath(path) : std::optional<std::wstring>(path);
}

}  // namespace

LeaveAloneList::LeaveAloneList(const std::vector<std::wstring>& programs) {
    for (const std::wstring& program : programs) {
        if (program.find(L'\\') == std::wstring::npos) {
            names_.push_back(program);
            continue;
        }
        // An entry that cannot be expanded names no path.
        const std::optional<std::wstring> expanded = win::Expanded(program);
        const std::optional<std::wstring> path = expanded ? Comparable(*expanded) : std::nullopt;
        if (path) paths_.push_back(*path);
    }
}

LeaveAloneList LeaveAloneList::OfMachine() {
    return LeaveAloneList(ReadProgramList(HKEY_LOCAL_MACHINE, keys::kPolicies, L"LeaveAlone").programs);
}

bool LeaveAloneList::Names(const std::wstring& command) const {
    if (Empty()) return false;
    const std::optional<std::wstring> line = win::Expanded(command);
    const std::optional<win::CommandSplit> split = line ? win::SplitCommand(*line) : std::nullopt;
    if (!split || split->path.empty()) return false;
    const std::size_t slash = split->path.find_last_of(L"\\/");
    const std::wstring file = slash == std::wstring::npos ? split->path : split->path.substr(slash + 1);
    for (const std::wstring& name : names_)
        if (Same(file, name)) return true;
    if (paths_.empty() || slash == std::wstring::npos) return false;
    const std::optional<std::wstring> path = Comparable(split->path);
    if (!path) return false;
    for (const std::wstring& listed : paths_)
        if (Same(*path, listed)) return true;
    return false;
}

}  // namespace policy
