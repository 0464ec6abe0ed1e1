#include "keeper/LogFolder.h"

namespace keeper {
namespace {

// SYSTEM and the administrators: everything; users: read (with Notepad).
// Protected: nothing is inherited from %ProgramData%, where users may make files.
constexpr const wchar_t* kFolderSecurity = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";
const std::vector<std::wstring>& Folders() {
    static const std::vector<std::wstring> folders = {L"Quorvell Software", L"Pacewick"};
    return folders;
}

// The keeper's own account (SYSTEM for the service) is trusted too: what it owns
// redirects nothing, and under Wine every file belongs to the one user.
const win::Owners kOwners = win::Owners::OwnAccountToo;

}  // namespace

std::wstring LogFolder::PathBelow(const std::wstring& root, const wchar_t* name) {
    std::wstring path = root;
    for (const std::wstring& folder : Folders()) path.append(L"\\").append(folder);
    return path.append(L"\\").append(name);
}

bool LogFolder::Open(const std::wstring& root, std::string* why) {
    return folder_.Open(root, Folders(), kFolderSecurity, kOwners, why);
}

win::UniqueHandle LogFolder::OpenFile(const wchar_t* name, std::string* why) const {
    const std::wstring path = PathOf(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        win::UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) break;
        if (win::Acceptable(file.Get(), path, win::HandleKind::File, kOwners)) return file;
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
