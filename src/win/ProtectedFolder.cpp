#include "win/ProtectedFolder.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

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

void ReadOwner(HANDLE handle, const OwnAccount& own, HandleFacts* facts) {
    PSID owner = nullptr;
    UniqueSecurity descriptor;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS)
        return;
    facts->adminOwner = IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    facts->trustedOwner = facts->adminOwner || own.Is(owner);
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

}  // namespace

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
    ReadOwner(handle, own, facts);
    return true;
}

std::atomic<HandleFactsReader>& HandleFactsHook() {
    static std::atomic<HandleFactsReader> reader{ReadWithoutTest};
    return reader;
}

bool Acceptable(HANDLE handle, const std::wstring& path, bool folder, Owners owners) {
    HandleFacts facts;
    if (!HandleFactsHook().load()(handle, path, &facts)) return false;
    const bool isFolder = (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool trusted = owners == Owners::AdminsOnly ? facts.adminOwner : facts.trustedOwner;
    return trusted && !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && isFolder == folder &&
           (folder || facts.links == 1);
}

bool ProtectedFolder::Open(const std::wstring& root, const std::vector<std::wstring>& names,
                           const wchar_t* security, Owners owners, std::string* why) {
    Close();
    if (names.empty()) return false;
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
    std::wstring path = root;
    for (const std::wstring& name : names) {
        path += L"\\";
        path += name;
        if (security) CreateDirectoryW(path.c_str(), &attributes);  // or there already: checked all the same
        // Opened, not followed: the checks are of this very folder, which stays open.
        const bool last = security && folders_.size() + 1 == names.size();  // whose rights are set below
        const DWORD access = FILE_READ_ATTRIBUTES | READ_CONTROL | (last ? WRITE_DAC : 0);
        UniqueHandle folder(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
        if (!folder || !Acceptable(folder.Get(), path, true, owners)) {
            *why = "a folder of its path is a link, belongs to another account or cannot be opened";
            Close();
            return false;
        }
        folders_.push_back(std::move(folder));
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
