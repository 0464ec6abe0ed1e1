#include "policy/ListedPrograms.h"

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

ListedPrograms::ListedPrograms(const std::vector<std::wstring>& programs) {
    for (const std::wstring& program : programs) {
        if (program.find_first_of(L"\\/") == std::wstring::npos) {
            names_.push_back(program);
            continue;
        }
        // An entry that cannot be expanded names no path.
        const std::optional<std::wstring> expanded = win::Expanded(program);
        const std::optional<std::wstring> path = expanded ? Comparable(*expanded) : std::nullopt;
        if (path) paths_.push_back(*path);
    }
}

ListedPrograms ListedPrograms::LeaveAloneOfMachine() {
    return ListedPrograms(ReadProgramList(HKEY_LOCAL_MACHINE, keys::kPolicies, L"LeaveAlone").programs);
}

ListedPrograms ListedPrograms::StartAtLogOn() {
    std::vector<std::wstring> programs;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const std::vector<std::wstring> listed = ReadProgramList(root, keys::kPolicies, L"StartAtLogOn").programs;
        programs.insert(programs.end(), listed.begin(), listed.end());
    }
    return ListedPrograms(programs);
}

bool ListedPrograms::Names(const std::wstring& command) const {
    if (Empty()) return false;
    const std::optional<std::wstring> line = win::Expanded(command);
    const std::optional<win::CommandSplit> split = line ? win::SplitCommand(*line) : std::nullopt;
    return split && NamesProgram(split->path);
}

bool ListedPrograms::NamesProgram(const std::wstring& program) const {
    if (program.empty()) return false;
    const std::size_t slash = program.find_last_of(L"\\/");
    const std::wstring file = slash == std::wstring::npos ? program : program.substr(slash + 1);
    for (const std::wstring& name : names_)
        if (Same(file, name)) return true;
    if (paths_.empty() || slash == std::wstring::npos) return false;
    const std::optional<std::wstring> path = Comparable(program);
    if (!path) return false;
    for (const std::wstring& listed : paths_)
        if (Same(*path, listed)) return true;
    return false;
}

}  // namespace policy
