#include "sources/Companies.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <unordered_map>

#include "sources/ShellLink.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// In UTF-8, as the command lines this file reads programs' paths from.
std::string WindowsDirectory() {
    wchar_t directory[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
    return length < MAX_PATH ? win::Utf8(std::wstring(directory, length)).value_or(std::string()) : std::string();
}

const std::string kExe = ".exe";

// Where ".exe" first stands, in any letter case, as Windows names files.
std::size_t FindExe(const std::string& text) {
    const auto found = std::search(text.begin(), text.end(), kExe.begin(), kExe.end(), [](char one, char other) {
        return std::tolower(static_cast<unsigned char>(one)) == other;
    });
    return found == text.end() ? std::string::npos : static_cast<std::size_t>(found - text.begin());
}

bool FullyQualified(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    return drive || path.rfind(L"\\\\", 0) == 0;
}

// What tells one content of a file from another: its size, its write time and
// its change time, which every write or replacement moves on and which, unlike
// the write time, a copy cannot carry over from another file.
struct FileStamp {
    LONGLONG size = 0;
    LONGLONG written = 0;
    LONGLONG changed = 0;
    bool operator==(const FileStamp& other) const {
        return size == other.size && written == other.written && changed == other.changed;
    }
};

// The stamp of a file, or the error that kept it from being read.
DWORD StampFile(const std::wstring& path, FileStamp* stamp) {
    win::UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileSizeEx(file.Get(), &size))
        return GetLastError();
    *stamp = FileStamp{size.QuadPart, basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
    return ERROR_SUCCESS;
}

// Reading a version resource costs about a millisecond a file: a file's
// company is read again only when the file has changed.
class CompanyCache {
public:
    std::string CompanyOf(const std::wstring& path, CFileVersionInfo& versionInfo) {
        // The version reader takes UTF-8; a path that has none names no file it could read.
        const std::optional<std::string> text = win::Utf8(path);
        if (!text || text->empty()) return kUnknownCompany;
        // A bare name is searched for by the version reader, in more places than
        // one file could stand for: it is read every time.
        if (!FullyQualified(path)) return CompanyOrUnknown(versionInfo, text->c_str());
        FileStamp stamp;
        const DWORD error = StampFile(path, &stamp);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kUnknownCompany;
        if (error != ERROR_SUCCESS) return CompanyOrUnknown(versionInfo, text->c_str());
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            const auto known = companies_.find(path);
            if (known != companies_.end() && known->second.stamp == stamp) return known->second.company;
        }
        const std::string company = CompanyOrUnknown(versionInfo, text->c_str());
        const std::lock_guard<std::mutex> guard(mutex_);
        if (companies_.size() >= kLimit) companies_.clear();
        companies_[path] = Known{stamp, company};
        return company;
    }

private:
    static constexpr std::size_t kLimit = 4096;
    struct Known {
        FileStamp stamp;
        std::string company;
    };
    std::mutex mutex_;
    std::unordered_map<std::wstring, Known> companies_;
};

std::string CompanyOfPath(const std::wstring& path, CFileVersionInfo& versionInfo) {
    static CompanyCache* const cache = new CompanyCache();  // never destroyed: monitors may still read it at exit
    return cache->CompanyOf(path, versionInfo);
}

bool EndsWith(const std::wstring& path, const wchar_t* extension) {
    const int length = lstrlenW(extension);
    return path.size() > static_cast<std::size_t>(length) &&
           CompareStringOrdinal(path.c_str() + path.size() - length, length, extension, length, TRUE) == CSTR_EQUAL;
}

// A shortcut's company is its target's; one that makes no sense (read by the
// program's own reader) is "Unknown".
std::string CompanyOfShortcut(const std::optional<shell_link::Shortcut>& shortcut, CFileVersionInfo& versionInfo) {
    return shortcut ? CompanyOfPath(shortcut->target, versionInfo) : kUnknownCompany;
}

// What a shortcut opens, as a command line shows it: its target (quoted when
// it holds a blank), then its arguments; a control character (a line break
// among the arguments) shows as a blank.
std::wstring OpensOf(const shell_link::Shortcut& shortcut) {
    std::wstring opens = shortcut.target.find(L' ') == std::wstring::npos ? shortcut.target : L"\"" + shortcut.target + L"\"";
    if (!shortcut.arguments.empty()) opens += L" " + shortcut.arguments;
    std::replace_if(opens.begin(), opens.end(), [](wchar_t unit) { return unit < L' '; }, L' ');
    return FitShown(opens);
}

}  // namespace

std::string CompanyOfItem(const std::wstring& item, CFileVersionInfo& versionInfo) {
    if (shell_link::IsShortcut(item)) return CompanyOfShortcut(shell_link::Read(item), versionInfo);
    return EndsWith(item, L".exe") ? CompanyOfPath(item, versionInfo) : kUnknownCompany;
}

std::string ProgramPathFromCommand(const std::string& command) {
    std::string path = command;
    const std::size_t exe = FindExe(path);
    if (exe != std::string::npos) {
        path.resize(exe + kExe.size());
        if (path.find('"') != std::string::npos) path.erase(0, 1);
        return path;
    }
    const std::size_t quote = path.find('"');
    if (quote != std::string::npos) {
        path.erase(quote, 1);
        const std::size_t closing = path.find('"', quote);
        if (closing != std::string::npos) path.resize(closing);
    } else {
        const std::size_t space = path.find(' ');
        if (space != std::string::npos) path.resize(space);
    }
    path += ".exe";
    if (path.find("%systemroot%") != std::string::npos) ReplaceAll(path, "%systemroot%", WindowsDirectory());
    return path;
}

std::string CompanyOfCommand(const std::wstring& command, CFileVersionInfo& versionInfo) {
    const std::optional<std::string> text = win::Utf8(command);
    const std::optional<std::wstring> path = text ? win::Wide(ProgramPathFromCommand(*text)) : std::nullopt;
    return path ? CompanyOfPath(*path, versionInfo) : kUnknownCompany;
}

void FillCompany(StartupEntry& entry, CFileVersionInfo& versionInfo) {
    entry.opens.clear();
    if (!entry.item.empty() && shell_link::IsShortcut(entry.item)) {
        // One read for both: the company and what the list shows it opens.
        const std::optional<shell_link::Shortcut> shortcut = shell_link::Read(entry.item);
        entry.company = FitShown(CompanyOfShortcut(shortcut, versionInfo));
        if (shortcut) entry.opens = OpensOf(*shortcut);
        return;
    }
    entry.company = FitShown(entry.item.empty() ? CompanyOfCommand(entry.command, versionInfo)
                                                : CompanyOfItem(entry.item, versionInfo));
}
