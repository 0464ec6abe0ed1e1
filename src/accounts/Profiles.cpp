#include "accounts/Profiles.h"

#include <initializer_list>
#include <optional>

#include "registry/RegKey.h"
#include "registry/ValueWalk.h"
#include "win/ProtectedFolder.h"

namespace accounts {
namespace {

constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const wchar_t* kServiceAccounts[] = {L"S-1-5-18", L"S-1-5-19", L"S-1-5-20"};
// Windows' own places, below the profile and below %APPDATA%.
constexpr const wchar_t* kDefaultAppData = L"AppData\\Roaming";
constexpr const wchar_t* kDefaultStartup = L"Microsoft\\Windows\\Start Menu\\Programs\\Startup";
// A path's longest form that Windows keeps in these values.
constexpr std::size_t kLongestPath = 32767;

// An account's SID as Windows writes it; not the ".bak" copy Windows keeps of a profile it could not load.
bool IsAccountSid(const std::wstring& name) {
    return name.size() > 4 && name.compare(0, 4, L"S-1-") == 0 &&
           name.find_first_not_of(L"0123456789-", 4) == std::wstring::npos;
}

bool SameText(const std::wstring& one, const wchar_t* other) {
    return CompareStringOrdinal(one.c_str(), -1, other, -1, TRUE) == CSTR_EQUAL;
}

std::optional<std::wstring> ReadPath(const registry::KeyRef& key, const wchar_t* name) {
    RegValueBlob value;
    if (key.ReadValue(name, &value) != ERROR_SUCCESS) return std::nullopt;
    std::optional<std::wstring> text = StringOf(value);
    if (!text || text->empty() || text->size() > kLongestPath) return std::nullopt;
    return text;
}

// Expands the one variable a path of the account's may begin with (%USERPROFILE%,
// %APPDATA%) from what is known of the account: the system's own environment is
// not the account's. Any other variable leaves the path unknown (empty).
struct Variable {
    const wchar_t* name;
    const std::wstring& value;
};
std::wstring Expanded(const std::wstring& path, std::initializer_list<Variable> known) {
    if (path.find(L'%') == std::wstring::npos) return path;
    for (const Variable& variable : known) {
        const std::wstring name = std::wstring(L"%") + variable.name + L"%";
        if (variable.value.empty() || path.size() < name.size() ||
            CompareStringOrdinal(path.c_str(), static_cast<int>(name.size()), name.c_str(), -1, TRUE) != CSTR_EQUAL)
            continue;
        const std::wstring rest = path.substr(name.size());
        return rest.find(L'%') == std::wstring::npos ? variable.value + rest : std::wstring();
    }
    return std::wstring();
}

}  // namespace

std::vector<Account> ProfileAccounts(HKEY machine) {
    std::vector<Account> found;
    registry::Key list;
    std::vector<std::wstring> sids;
    if (list.Open(machine, kProfileList, KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS || list.SubkeyNames(&sids))
        return found;
    for (const std::wstring& sid : sids) {
        bool service = false;
        for (const wchar_t* account : kServiceAccounts) service = service || SameText(sid, account);
        if (service || !IsAccountSid(sid)) continue;
        registry::Key profile;
        Account account{sid, std::wstring()};
        if (profile.Open(list.Get(), sid, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS) {
            // The list is the machine's (administrators' only): its variables are the system's.
            const std::optional<std::wstring> path = ReadPath(profile, L"ProfileImagePath");
            wchar_t expanded[MAX_PATH * 4] = {};
            const DWORD length = path ? ExpandEnvironmentStringsW(path->c_str(), expanded, MAX_PATH * 4) : 0;
            if (length > 0 && length <= MAX_PATH * 4) account.profile = expanded;
            while (!account.profile.empty() && account.profile.back() == L'\\') account.profile.pop_back();
        }
        found.push_back(std::move(account));
    }
    return found;
}

AccountFolders FoldersOf(HKEY hive, const Account& account, std::string* why) {
    AccountFolders folders;
    registry::Key shell;
    std::optional<std::wstring> appData, startup;
    // The account's own values, which it may point anywhere: read never through a link, kept only below its profile.
    if (shell.OpenOwnNames(hive, kShellFolders, KEY_QUERY_VALUE) == ERROR_SUCCESS) {
        appData = ReadPath(shell, L"AppData");
        startup = ReadPath(shell, L"Startup");
    }
    folders.appData = appData ? Expanded(*appData, {{L"USERPROFILE", account.profile}})
                              : account.profile + L"\\" + kDefaultAppData;
    folders.startup = startup ? Expanded(*startup, {{L"USERPROFILE", account.profile}, {L"APPDATA", folders.appData}})
                              : folders.appData + L"\\" + kDefaultStartup;
    if (win::NamesBelow(folders.appData, account.profile).empty() ||
        win::NamesBelow(folders.startup, account.profile).empty()) {
        *why = "its Startup folder or its application data folder lies outside its profile folder";
        return AccountFolders{};
    }
    return folders;
}

}  // namespace accounts
