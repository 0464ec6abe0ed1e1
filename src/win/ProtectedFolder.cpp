#include "win/ProtectedFolder.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace win {
namespace {

using UniqueSecurity = Unique<LocalTraits<PSECURITY_DESCRIPTOR>>;

// The account this process runs as, read from its token.
struct OwnAccount {
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    bool read = false;
    OwnAccount() {
        UniqueHandle token;
        DWORD size = 0;
        read = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) &&
               GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size);
    }
    bool Is(PSID sid) const { return read && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid); }
};

// Windows' own installer service, which owns some of the folders Windows made
// (all users' Start menu among them on some versions): as trusted as SYSTEM.
bool IsTrustedInstaller(PSID owner) {
    static const struct Sid {
        PSID sid = nullptr;
        Sid() { ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &sid); }
        ~Sid() { LocalFree(sid); }
    } installer;
    return installer.sid && EqualSid(owner, installer.sid);
}

void ReadOwner(HANDLE handle, const OwnAccount& own, HandleFacts* facts) {
    PSID owner = nullptr;
    UniqueSecurity descriptor;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS)
        return;
    facts->adminOwner = IsWellKnownSid(owner, WinLocalSystemSid) ||
                        IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsTrustedInstaller(owner);
    facts->trustedOwner = facts->adminOwner || own.Is(owner);
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(owner, &text)) {
        facts->owner = text;
        LocalFree(text);
    }
}

// True when the folder's DACL is already `dacl`, protected from inheritance:
// setting it again would cost a walk of the parent's rights.
bool HasProtectedDacl(HANDLE handle, const ACL* dacl) {
    UniqueSecurity descriptor;
    return GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                           descriptor.Put()) == ERROR_SUCCESS &&
           IsProtectedDacl(descriptor.Get(), dacl);
}

bool ReadWithoutTest(HANDLE handle, const std::wstring&, HandleFacts* facts) { return ReadHandleFacts(handle, facts); }

constexpr const char* kRefused = "a folder of its path is a link, belongs to another account or cannot be opened";

// A full path without its \\?\ prefix (\\?\UNC\ back to \\) or a trailing backslash.
std::wstring Plain(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) path.erase(2, 6);
    else if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return path;
}

// A folder opened as named, its links followed (a trusted root, or the folder
// a file is named in), for its final path.
std::wstring FinalPathOfNamed(const std::wstring& path) {
    const UniqueHandle folder(CreateFileW(LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder ? FinalPath(folder.Get()) : std::wstring();
}

}  // namespace

std::wstring LongPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

std::wstring OpenablePath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) break;
        const bool fits = length < path.size();
        path.resize(length);  // when it did not fit: the size needed, its terminator included
        if (fits) return path;
    }
    return std::wstring();
}

std::wstring FinalPath(HANDLE handle) {
    const std::wstring path = OpenablePath(handle);
    if (!path.empty()) return Plain(path);
    // Wine gives no final path longer than MAX_PATH: the path within its volume then.
    std::vector<char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(buffer.size())))
        return std::wstring();
    return std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

bool SamePath(const std::wstring& one, const std::wstring& other) {
    std::wstring a = Plain(one), b = Plain(other);
    // A path within its volume (\dir\name) is compared with the other's within its drive.
    const auto withinVolume = [](const std::wstring& path) { return path.size() > 1 && path[0] == L'\\' && path[1] != L'\\'; };
    const auto dropDrive = [](std::wstring& path) {
        if (path.size() > 2 && path[1] == L':') path.erase(0, 2);
    };
    if (withinVolume(a)) dropDrive(b);
    if (withinVolume(b)) dropDrive(a);
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool OpenedAt(HANDLE file, const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    const std::wstring folder = FinalPathOfNamed(path.substr(0, slash));
    return !folder.empty() && SamePath(FinalPath(file), folder + path.substr(slash));
}

bool IsProtectedDacl(PSECURITY_DESCRIPTOR descriptor, const ACL* dacl) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL held = nullptr;
    return dacl && GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED) &&
           GetSecurityDescriptorDacl(descriptor, &present, &held, &defaulted) && present && held &&
           held->AclSize == dacl->AclSize && std::memcmp(held, dacl, dacl->AclSize) == 0;
}

bool ReadHandleFacts(HANDLE handle, HandleFacts* facts) {
    static const OwnAccount own;  // a process's account never changes: read once

    // Not GetFileInformationByHandle: the volume's serial number it also reads
    // costs a round trip to the mount manager under Wine.
    FILE_ATTRIBUTE_TAG_INFO tag{};
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard))
        return false;
    facts->attributes = tag.FileAttributes;
    facts->links = standard.NumberOfLinks;
    facts->trustedOwner = facts->adminOwner = false;
    facts->owner.clear();
    ReadOwner(handle, own, facts);
    return true;
}

std::atomic<HandleFactsReader>& HandleFactsHook() {
    static std::atomic<HandleFactsReader> reader{ReadWithoutTest};
    return reader;
}

std::vector<std::wstring> NamesBelow(const std::wstring& path, const std::wstring& root) {
    const std::size_t length = root.size();
    if (length == 0 || path.size() <= length + 1 || path[length] != L'\\' ||
        CompareStringOrdinal(path.c_str(), static_cast<int>(length), root.c_str(), static_cast<int>(length), TRUE) !=
            CSTR_EQUAL)
        return {};
    std::vector<std::wstring> names;
    for (std::size_t start = length + 1; start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        std::wstring name = path.substr(start, end - start);
        if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"/:") != std::wstring::npos)
            return {};
        names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

bool Owners::Trust(const HandleFacts& facts) const {
    switch (whose_) {
    case Whose::Admins:
        return facts.adminOwner;
    case Whose::OwnAccount:
        return facts.trustedOwner;
    case Whose::Account:
        return facts.trustedOwner || (!sid_.empty() && facts.owner == sid_);
    }
    return false;
}

bool Acceptable(HANDLE handle, const std::wstring& path, HandleKind kind, const Owners& owners) {
    const bool folder = kind == HandleKind::Folder;
    HandleFacts facts;
    if (!HandleFactsHook().load()(handle, path, &facts)) return false;
    const bool isFolder = (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return owners.Trust(facts) && !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && isFolder == folder &&
           (folder || facts.links == 1);
}

bool ProtectedFolder::Open(const std::wstring& root, const std::vector<std::wstring>& names,
                           const wchar_t* security, const Owners& owners, std::string* why) {
    return Open(root, RootFinal(root), names, security ? IfMissing::Make : IfMissing::Fail, security, owners, why);
}

std::wstring ProtectedFolder::RootFinal(const std::wstring& root) { return FinalPathOfNamed(root); }

bool ProtectedFolder::OpenBelow(const ProtectedFolder& parent, const std::wstring& name, IfMissing missing,
                                const Owners& owners, std::string* why) {
    return Open(parent.Path(), parent.Final(), {name}, missing, nullptr, owners, why);
}

bool ProtectedFolder::Open(const std::wstring& root, const std::wstring& rootFinal,
                           const std::vector<std::wstring>& names, IfMissing ifMissing, const wchar_t* security,
                           const Owners& owners, std::string* why) {
    const bool make = ifMissing == IfMissing::Make;
    Close();
    why->clear();
    if (names.empty() || rootFinal.empty()) {
        *why = kRefused;
        return false;
    }
    UniqueSecurity descriptor;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (security && (!ConvertStringSecurityDescriptorToSecurityDescriptorW(security, SDDL_REVISION_1,
                                                                           descriptor.Put(), nullptr) ||
                     !GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted))) {
        *why = "its folder's security could not be made";
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    std::wstring path = root, expected = rootFinal;
    for (const std::wstring& name : names) {
        const std::wstring above = expected;
        path += L"\\";
        path += name;
        expected += L"\\";
        expected += name;
        // Opened, not followed: the checks are of this very folder, which stays open.
        const bool last = security && folders_.size() + 1 == names.size();  // whose rights are set below
        const DWORD access = FILE_READ_ATTRIBUTES | READ_CONTROL | (last ? WRITE_DAC : 0);
        const auto open = [&] {
            return UniqueHandle(CreateFileW(LongPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        };
        UniqueHandle folder = open();
        const DWORD error = GetLastError();
        const bool missing = !folder && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
        // Made only in a folder that is where it is expected: through a link it would be made elsewhere.
        if (missing && make &&
            (folders_.empty() || SamePath(FinalPath(folders_.back().Get()), above)) &&
            CreateDirectoryW(LongPath(path).c_str(), security ? &attributes : nullptr))
            folder = open();
        if (!folder || !Acceptable(folder.Get(), path, HandleKind::Folder, owners)) {
            if (!missing || make) *why = kRefused;  // a folder not made yet is no refusal
            Close();
            return false;
        }
        folders_.push_back(std::move(folder));
    }
    // Where the last one is shows a link at any level of the chain, and the
    // links that Wine opens as their targets whatever the flags.
    final_ = FinalPath(folders_.back().Get());
    if (!SamePath(final_, expected)) {
        *why = kRefused;
        Close();
        return false;
    }
    // An older folder may have inherited %ProgramData%'s rights, under which users may make files.
    if (security && !HasProtectedDacl(folders_.back().Get(), dacl) &&
        SetSecurityInfo(folders_.back().Get(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                        nullptr) != ERROR_SUCCESS) {
        *why = "its folder's rights could not be set";
        Close();
        return false;
    }
    path_ = path;
    return true;
}

}  // namespace win
