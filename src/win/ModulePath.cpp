#include "win/ModulePath.h"

#include <windows.h>

namespace win {
namespace {
// Beyond the longest path Windows allows (32767 UTF-16 units, up to 3 UTF-8
// bytes each): a longer answer would mean something else is wrong.
constexpr size_t kLongestPath = 3 * 32768;

// A folder that Windows reports into a buffer, with the file appended; empty
// when it cannot say. The 8-bit calls give UTF-8 under the program's manifest.
template <typename Folder>
std::string InFolder(Folder folder, const char* fileName) {
    char path[MAX_PATH] = {};
    const UINT length = folder(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(path, length) + "\\" + fileName;
}
}  // namespace

std::string RunningExecutablePath() {
    std::string path(MAX_PATH, '\0');
    while (path.size() <= kLongestPath) {
        const DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        // A path that fills the buffer may have been cut: ask again with more room.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return std::string();
}

std::string BesideExecutable(const char* fileName) {
    std::string path = RunningExecutablePath();
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return std::string();
    path.resize(slash + 1);
    return path + fileName;
}

std::string InWindowsFolder(const char* fileName) { return InFolder(GetSystemWindowsDirectoryA, fileName); }

std::string InSystemFolder(const char* fileName) { return InFolder(GetSystemDirectoryA, fileName); }

void LoadLibrariesFromSystemFolderOnly() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

}  // namespace win
