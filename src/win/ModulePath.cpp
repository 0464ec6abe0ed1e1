#include "win/ModulePath.h"

#include <windows.h>

#include "win/Text.h"

namespace win {
namespace {
// The longest path Windows allows, in UTF-16 units: a longer answer would mean
// something else is wrong.
constexpr size_t kLongestPath = 32768;

// A folder that Windows reports into a buffer, with the file appended; empty
// when it cannot say.
template <typename Folder>
std::wstring InFolder(Folder folder, const wchar_t* fileName) {
    wchar_t path[MAX_PATH] = {};
    const UINT length = folder(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return std::wstring(path, length) + L"\\" + fileName;
}
}  // namespace

std::wstring RunningExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    while (path.size() <= kLongestPath) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        // A path that fills the buffer may have been cut: ask again with more room.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return std::wstring();
}

std::string RunningExecutablePath() { return Utf8(RunningExecutable()).value_or(std::string()); }

std::wstring BesideExecutable(const wchar_t* fileName) {
    std::wstring path = RunningExecutable();
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    path.resize(slash + 1);
    return path + fileName;
}

std::wstring InWindowsFolder(const wchar_t* fileName) { return InFolder(GetSystemWindowsDirectoryW, fileName); }

std::wstring InSystemFolder(const wchar_t* fileName) { return InFolder(GetSystemDirectoryW, fileName); }

void LoadLibrariesFromSystemFolderOnly() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

}  // namespace win
