#include "win/ModulePath.h"

#include <windows.h>

namespace win {
namespace {
// Beyond the longest path Windows allows (32767 UTF-16 units, up to 3 UTF-8
// bytes each): a longer answer would mean something else is wrong.
constexpr size_t kLongestPath = 3 * 32768;
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

}  // namespace win
