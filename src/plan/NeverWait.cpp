#include "plan/NeverWait.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "win/CommandLine.h"
#include "win/KnownFolder.h"

namespace plan {
namespace {

enum class Place { System, ProgramFiles };

// One system component that starts at log-on unless the user chose otherwise:
// the program's file in a folder only an administrator may write, and where
// given, the Run value's name and the exact arguments its installer writes.
// Each row's source is in the README ("What never waits").
struct Row {
    const wchar_t* value;      // nullptr: any value name
    Place place;               // the system folder (either) or Program Files (either)
    const wchar_t* subfolder;  // below the place; empty: the place itself
    const wchar_t* file;
    const wchar_t* arguments;  // nullptr: any arguments; else these words exactly
};

constexpr Row kRows[] = {
    // Windows Security's notification-area icon.
    {L"SecurityHealth", Place::System, L"", L"SecurityHealthSystray.exe", nullptr},
    // The text input processor: input methods, the touch keyboard, handwriting.
    {nullptr, Place::System, L"", L"ctfmon.exe", nullptr},
    // Realtek's audio helper.
    {nullptr, Place::System, L"", L"RtkAudUService64.exe", nullptr},
    // Synaptics and Elan touchpad helpers.
    {nullptr, Place::ProgramFiles, L"Synaptics\\SynTP", L"SynTPEnh.exe", nullptr},
    {nullptr, Place::ProgramFiles, L"Elantech", L"ETDCtrl.exe", nullptr},
    // Virtual machines' guest tools: VirtualBox's tray program, VMware's user process.
    {nullptr, Place::System, L"", L"VBoxTray.exe", nullptr},
    {nullptr, Place::ProgramFiles, L"VMware\\VMware Tools", L"vmtoolsd.exe", L"-n vmusr"},
};

constexpr const wchar_t* kBlanks = L" \t";

bool Same(const std::wstring& one, const std::wstring& other) {
    return CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

// What a command starts: its program's folder and file name, and the rest.
struct Program {
    std::wstring folder;
    std::wstring file;
    std::wstring arguments;
};

std::optional<Program> ProgramOf(const std::wstring& command) {
    const std::optional<std::wstring> line = win::Expanded(command);
    if (!line) return std::nullopt;
    const std::optional<win::CommandSplit> split = win::SplitCommand(*line);
    if (!split) return std::nullopt;
    const std::wstring& path = split->path;
    const std::size_t rest = split->rest;
    const bool unquoted = split->unquoted;
    if (!win::OnADrive(path)) return std::nullopt;
    const std::optional<std::wstring> full = win::FullPath(path);
    if (!full) return std::nullopt;
    // Windows tries an unquoted path's text up to each blank first: such a
    // path is taken only as written out in full, so that each shorter try lies
    // in a folder above the program's own ("C:\a b\..\Windows\..." would first
    // start C:\a.exe).
    if (unquoted && path.find_first_of(kBlanks) != std::wstring::npos && *full != path) return std::nullopt;
    const std::size_t slash = full->rfind(L'\\');
    if (slash == std::wstring::npos) return std::nullopt;
    Program program{full->substr(0, slash), full->substr(slash + 1), std::wstring()};
    const std::size_t arguments = line->find_first_not_of(kBlanks, rest);
    if (arguments != std::wstring::npos) program.arguments = line->substr(arguments);
    return program;
}

std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    for (std::size_t at = text.find_first_not_of(kBlanks); at != std::wstring::npos;) {
        const std::size_t end = text.find_first_of(kBlanks, at);
        words.push_back(text.substr(at, end == std::wstring::npos ? end : end - at));
        at = text.find_first_not_of(kBlanks, end);
    }
    return words;
}

// A program reads its own arguments, in its own letter case: the row's words exactly.
bool SameWords(const std::wstring& given, const wchar_t* wanted) { return Words(given) == Words(wanted); }

bool InFolder(const Program& program, std::wstring root, const wchar_t* subfolder) {
    while (!root.empty() && root.back() == L'\\') root.pop_back();
    if (root.empty()) return false;
    if (*subfolder) root += std::wstring(L"\\") + subfolder;
    return Same(program.folder, root);
}

bool Matches(const Row& row, const Program& program, const std::wstring& value, const SystemFolders& folders) {
    if (!Same(program.file, row.file)) return false;
    if (row.value && !Same(value, row.value)) return false;
    if (row.arguments && !SameWords(program.arguments, row.arguments)) return false;
    return row.place == Place::System
               ? InFolder(program, folders.system, row.subfolder) || InFolder(program, folders.system32Bit, row.subfolder)
               : InFolder(program, folders.programFiles, row.subfolder) ||
                     InFolder(program, folders.programFilesX86, row.subfolder);
}

bool FileInTable(const Program& program) {
    for (const Row& row : kRows)
        if (Same(program.file, row.file)) return true;
    return false;
}

// Every command the entry starts must match: a value of the same name in
// another Run key starts beside it.
template <typename Match>
bool EveryCommandMatches(const StartupEntry& entry, Match matches) {
    if (!entry.item.empty() || entry.origin == Origin::TaskScheduler || entry.origin == Origin::UserFolder ||
        entry.origin == Origin::AllUsersFolder)
        return false;
    std::vector<const std::wstring*> commands{&entry.command};
    for (const std::wstring& other : entry.otherCommands) commands.push_back(&other);
    for (const std::wstring* command : commands) {
        const std::optional<Program> program = ProgramOf(*command);
        if (!program || !matches(*program)) return false;
    }
    return true;
}

bool InTable(const StartupEntry& entry, const SystemFolders* given) {
    std::optional<SystemFolders> running;
    return EveryCommandMatches(entry, [&](const Program& program) {
        if (!FileInTable(program)) return false;
        if (!given && !running) running = RunningFolders();
        const SystemFolders& folders = given ? *given : *running;
        bool matched = false;
        for (const Row& row : kRows) matched = matched || Matches(row, program, entry.name, folders);
        return matched;
    });
}

template <typename Call>
std::wstring SystemPath(Call call) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const UINT length = call(path.data(), static_cast<UINT>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) return std::wstring(path.data(), length);
        path.resize(length);
    }
}

}  // namespace

SystemFolders RunningFolders() {
    SystemFolders folders;
    folders.system = SystemPath(GetSystemDirectoryW);
    folders.system32Bit = SystemPath(GetSystemWow64DirectoryW);
    // A 32-bit build is told Program Files (x86) for FOLDERID_ProgramFiles: the native one is asked first.
    folders.programFiles = win::KnownFolder(FOLDERID_ProgramFilesX64);
    if (folders.programFiles.empty()) folders.programFiles = win::KnownFolder(FOLDERID_ProgramFiles);
    folders.programFilesX86 = win::KnownFolder(FOLDERID_ProgramFilesX86);
    return folders;
}

bool InNeverWaitTable(const StartupEntry& entry, const SystemFolders& folders) { return InTable(entry, &folders); }

bool InNeverWaitTable(const StartupEntry& entry, const policy::ListedPrograms& startAtLogOn) {
    return InTable(entry, nullptr) || InProgramList(entry, startAtLogOn);
}

bool InNeverWaitTable(const StartupEntry& entry) {
    return InNeverWaitTable(entry, policy::ListedPrograms::StartAtLogOn());
}

bool InProgramList(const StartupEntry& entry, const policy::ListedPrograms& programs) {
    if (programs.Empty()) return false;
    return EveryCommandMatches(entry, [&programs](const Program& program) {
        return programs.NamesProgram(program.folder + L"\\" + program.file);
    });
}

bool InProgramList(const StartupEntry& entry, const std::vector<std::wstring>& programs) {
    return InProgramList(entry, policy::ListedPrograms(programs));
}

}  // namespace plan
