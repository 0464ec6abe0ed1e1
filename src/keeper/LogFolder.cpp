#include "keeper/LogFolder.h"

#include <aclapi.h>
#include <sddl.h>

#include <iterator>

namespace keeper {
namespace {

// SYSTEM and the administrators: everything; users: read (with Notepad).
// Protected: nothing is inherited from %ProgramData%, where users may make files.
constexpr const wchar_t* kFolderSecurity = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";
constexpr const wchar_t* kFolders[] = {L"Quorvell Software", L"Pacewick"};

using UniqueSecurity = win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>>;

bool IsOwnAccount(PSID owner) {
    win::UniqueHandle token;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) &&
           GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size) &&
           EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

// The keeper's own account (SYSTEM for the service) is trusted too: what it owns
// redirects nothing, and under Wine every file belongs to the one user.
bool OwnerTrusted(HANDLE handle) {
    PSID owner = nullptr;
    UniqueSecurity descriptor;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS)
        return false;
    return IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           IsOwnAccount(owner);
}

bool ReadWithoutTest(HANDLE handle, const std::wstring&, HandleFacts* facts) { return ReadHandleFacts(handle, facts); }

// A folder that is a folder, or a file with no other name; neither a reparse
// point, both owned by a trusted account.
bool Acceptable(HANDLE handle, const std::wstring& path, bool folder) {
    HandleFacts facts;
    if (!HandleFactsHook().load()(handle, path, &facts)) return false;
    const bool isFolder = (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return facts.trustedOwner && !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && isFolder == folder &&
           (folder || facts.links == 1);
}

}  // namespace

bool ReadHandleFacts(HANDLE handle, HandleFacts* facts) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) return false;
    facts->attributes = information.dwFileAttributes;
    facts->links = information.nNumberOfLinks;
    facts->trustedOwner = OwnerTrusted(handle);
    return true;
}

std::atomic<HandleFactsReader>& HandleFactsHook() {
    static std::atomic<HandleFactsReader> reader{ReadWithoutTest};
    return reader;
}

std::wstring LogFolder::PathBelow(const std::wstring& root, const wchar_t* name) {
    std::wstring path = root;
    for (const wchar_t* folder : kFolders) path.append(L"\\").append(folder);
    return path.append(L"\\").append(name);
}

bool LogFolder::Open(const std::wstring& root, std::string* why) {
    Close();
    UniqueSecurity security;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSecurity, SDDL_REVISION_1, security.Put(),
                                                              nullptr) ||
        !GetSecurityDescriptorDacl(security.Get(), &present, &dacl, &defaulted)) {
        *why = "its folder's security could not be made";
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.Get(), FALSE};
    std::wstring path = root;
    for (const wchar_t* name : kFolders) {
        path += L"\\";
        path += name;
        CreateDirectoryW(path.c_str(), &attributes);  // or there already: checked all the same
        // Opened, not followed: the checks are of this very folder, which stays open.
        const bool last = folders_.size() + 1 == std::size(kFolders);  // whose rights are set below
        const DWORD access = FILE_READ_ATTRIBUTES | READ_CONTROL | (last ? WRITE_DAC : 0);
        win::UniqueHandle folder(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                             nullptr));
        if (!folder || !Acceptable(folder.Get(), path, true)) {
            *why = "a folder of its path is a link, belongs to another account or cannot be opened";
            Close();
            return false;
        }
        folders_.push_back(std::move(folder));
    }
    // An older version's folder inherited %ProgramData%'s rights, under which users may make files.
    if (SetSecurityInfo(folders_.back().Get(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                        nullptr) != ERROR_SUCCESS) {
        *why = "its folder's rights could not be set";
        Close();
        return false;
    }
    path_ = path;
    return true;
}

win::UniqueHandle LogFolder::OpenFile(const wchar_t* name, std::string* why) const {
    const std::wstring path = PathOf(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        win::UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) break;
        if (Acceptable(file.Get(), path, false)) return file;
        file.Reset();
        // Planted before the folder was the keeper's: only this name goes, a link's target stays as it is.
        if (!DeleteFileW(path.c_str())) break;
    }
    *why = "the file cannot be opened, or is a link or another account's file that cannot be replaced";
    return win::UniqueHandle();
}

win::UniqueHandle LogFolder::Rotate(std::string* why) const {
    if (!MoveFileExW(PathOf(kLogName).c_str(), PathOf(kOldLogName).c_str(), MOVEFILE_REPLACE_EXISTING))
        *why = "the full log could not become keeper.old.log";
    return OpenFile(kLogName, why);
}

}  // namespace keeper
