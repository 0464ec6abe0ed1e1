#include "win/CommandLine.h"

#include <windows.h>

#include <vector>

namespace win {
namespace {

constexpr const wchar_t* kBlanks = L" \t";

bool EndsWithExe(const std::wstring& text, std::size_t begin, std::size_t end) {
    constexpr int kLength = 4;
    return end - begin > kLength &&
           CompareStringOrdinal(text.c_str() + end - kLength, kLength, L".exe", kLength, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::optional<std::wstring> Expanded(const std::wstring& command) {
    std::vector<wchar_t> expanded(MAX_PATH);
    for (;;) {
        const DWORD needed =
            ExpandEnvironmentStringsW(command.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0) return std::nullopt;
        if (needed <= expanded.size()) return std::wstring(expanded.data());
        expanded.resize(needed);
    }
}

std::optional<std::wstring> FullPath(const std::wstring& path) {
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < full.size()) return std::wstring(full.data(), length);
        full.resize(length);
    }
}

std::optional<CommandSplit> SplitCommand(const std::wstring& line) {
    const std::size_t begin = line.find_first_not_of(kBlanks);
    if (begin == std::wstring::npos) return std::nullopt;
    CommandSplit split;
    if (line[begin] == L'"') {
        const std::size_t close = line.find(L'"', begin + 1);
        if (close == std::wstring::npos) return std::nullopt;
        split.path = line.substr(begin + 1, close - begin - 1);
        split.rest = close + 1;
        return split;
    }
    for (std::size_t end = line.find_first_of(kBlanks, begin);; end = line.find_first_of(kBlanks, end + 1)) {
        const std::size_t stop = end == std::wstring::npos ? line.size() : end;
        if (EndsWithExe(line, begin, stop)) {
            split.path = line.substr(begin, stop - begin);
            split.rest = stop;
            split.unquoted = true;
            return split;
        }
        if (end == std::wstring::npos) return std::nullopt;
    }
}

bool OnADrive(const std::wstring& path) {
    return path.size() > 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

}  // namespace win
