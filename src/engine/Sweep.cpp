// The one pass over every value of a key, in its three uses: back up a Run key,
// list a BackUp key, restore a BackUp key into its Run key.
#include <cstring>
#include <unordered_map>
#include <vector>

#include "engine/Diagnostics.h"
#include "engine/StartupManager.h"
#include "engine/ValueTransfer.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "sources/FileVersionInfo.h"
#include "win/Scoped.h"

namespace {

constexpr DWORD kValueNameCapacity = 16383;  // the registry's longest value name and its NUL
constexpr DWORD kSubkeyNameCapacity = 255;

// Reads a value as text, telling a failed read apart from an empty value.
bool TryReadText(HKEY key, const char* name, std::string* text) {
    RegValueBlob value;
    if (RegistryAccess().ReadValue(key, name, &value) != ERROR_SUCCESS) return false;
    *text = transfer::TextOf(value);
    return true;
}

void ListSubkeys(HKEY key, DWORD count) {
    if (count == 0) return;
    PrintLine("\nNumber of subkeys: %lu\n", static_cast<unsigned long>(count));
    for (DWORD index = 0; index < count; ++index) {
        char name[kSubkeyNameCapacity];
        DWORD length = kSubkeyNameCapacity;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            PrintLine("(%lu) %s\n", static_cast<unsigned long>(index + 1), name);
    }
}

bool FullyQualified(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || path.rfind("\\\\", 0) == 0;
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
DWORD StampFile(const std::string& path, FileStamp* stamp) {
    win::UniqueHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
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

// Every monitor wake-up and every delete rebuilds the whole list, and reading a
// version resource costs about a millisecond a file: a file's company is read
// again only when the file has changed. Used under the manager's lock only.
class CompanyCache {
public:
    std::string CompanyOf(const std::string& path, CFileVersionInfo& versionInfo) {
        // A bare name is searched for by the version reader, in more places than
        // one file could stand for: it is read every time.
        if (!FullyQualified(path)) return CompanyOrUnknown(versionInfo, path.c_str());
        FileStamp stamp;
        const DWORD error = StampFile(path, &stamp);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kUnknownCompany;
        if (error != ERROR_SUCCESS) return CompanyOrUnknown(versionInfo, path.c_str());
        const auto known = companies_.find(path);
        if (known != companies_.end() && known->second.stamp == stamp) return known->second.company;
        if (companies_.size() >= kLimit) companies_.clear();
        Known& entry = companies_[path];
        entry = Known{stamp, CompanyOrUnknown(versionInfo, path.c_str())};
        return entry.company;
    }

private:
    static constexpr std::size_t kLimit = 4096;
    struct Known {
        FileStamp stamp;
        std::string company;
    };
    std::unordered_map<std::string, Known> companies_;
};

std::string CompanyOf(const std::string& command, CFileVersionInfo& versionInfo) {
    static CompanyCache cache;
    return cache.CompanyOf(CStartupManager::ProgramPathFromCommand(command), versionInfo);
}

// Fills an entry from one BackUp value. False when the name or the command does
// not fit its field: such a value is left out of the list rather than cut short.
bool BuildEntry(const char* name, const std::string& command, int originSelector, CFileVersionInfo& versionInfo,
                StartupEntry* entry) {
    if (!SetField(entry->command, command.c_str()) || !SetField(entry->name, name)) return false;
    SetField(entry->company, CompanyOf(command, versionInfo).c_str());  // a cut company name harms nothing
    SetField(entry->origin, originSelector == 1 ? origin::kCurrentUser : origin::kAllUsers);
    return true;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string WindowsDirectory() {
    char directory[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
    return length < MAX_PATH ? std::string(directory, length) : std::string();
}

// One BackUp value as an entry of the list, unless the duplicate rule folds it
// into an entry of the same name already listed.
void ListValue(CStartupManager& manager, EntryList& list, const char* name, const std::string* command,
               int originSelector, CFileVersionInfo& versionInfo) {
    StartupEntry entry;
    if (!command) {
        PrintLine("Entry not listed, its data cannot be read as text: %s\n", name);
        return;
    }
    if (!BuildEntry(name, *command, originSelector, versionInfo, &entry)) {
        PrintLine("Entry not listed, its name or command is too long: %s\n", name);
        return;
    }
    if (!manager.MarkPresentInBoth(name)) list.InsertFront(entry);
}

}  // namespace

std::string CStartupManager::ReadValueText(HKEY key, const char* name) {
    std::string text;
    if (!TryReadText(key, name, &text)) PrintLine("Reg entry put UNSUCCESSFUL!!\n");
    return text;
}

int CStartupManager::PutOrDeleteValue(HKEY key, int put, const char* name, const char* data) {
    const RegistryAccess access;
    if (!put) return transfer::ReportDelete(access.DeleteValue(key, name) == ERROR_SUCCESS);
    const std::string text = data ? data : "";
    const RegValueBlob value(REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    return transfer::ReportPut(access.WriteValue(key, name, &value) == ERROR_SUCCESS);
}

std::string CStartupManager::ProgramPathFromCommand(const std::string& command) {
    std::string path = command;
    const std::size_t exe = path.find("exe");
    if (exe != std::string::npos) {
        path.resize(exe + 3);
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

void CStartupManager::SweepKey(HKEY source, EntryList* list, int originSelector, int copyFlag, HKEY destination,
                               bool keepChanged) {
    auto lock = Lock();
    char className[MAX_PATH] = {};
    DWORD classLength = MAX_PATH;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(source, className, &classLength, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;  // nothing can be known of the key, so nothing is done with it
    CFileVersionInfo versionInfo;
    ListSubkeys(source, subkeys);
    if (values == 0) return;
    PrintLine("\nNumber of values: %lu\n", static_cast<unsigned long>(values));

    std::vector<char> name(kValueNameCapacity);
    for (DWORD index = 0; index < values; ++index) {
        DWORD length = kValueNameCapacity;
        if (RegEnumValueA(source, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        PrintLine("(%lu) %s (null)\n", static_cast<unsigned long>(index + 1), name.data());

        std::string text;
        const bool readable = !list || TryReadText(source, name.data(), &text);
        if (!readable) PrintLine("Reg entry put UNSUCCESSFUL!!\n");

        // The copy is exact, whatever the size or type: the text above is only
        // what the list shows and launches.
        if (copyFlag == 1 && std::strcmp(name.data(), keys::kSelfValueName) != 0)
            transfer::CopyValue(source, destination, name.data(), keepChanged);

        if (list) ListValue(*this, *list, name.data(), readable ? &text : nullptr, originSelector, versionInfo);
    }
}
