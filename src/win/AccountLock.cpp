#include "win/AccountLock.h"

#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace win {

std::wstring CurrentUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return std::wstring();
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return std::wstring();
    Unique<LocalTraits<LPWSTR>> text;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.Put()))
        return std::wstring();
    return text.Get();
}

namespace {

constexpr const wchar_t* kLockFile = L"account.lock";
constexpr DWORD kRetryMs = 15;

std::wstring LocalAppData() {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &path))) folder = path;
    CoTaskMemFree(path);
    return folder;
}

// Opened without sharing, so that no other process opens it meanwhile; not
// followed when it is a link.
UniqueHandle OpenLockFile(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

bool AccountLock::OpenFolder() {
    if (opened_) return true;
    const std::wstring sid = CurrentUserSid(), root = LocalAppData();
    if (sid.empty() || root.empty()) {
        why_ = "the account's local folder is not known";
        return false;
    }
    // The account's own, as its profile is: nothing inherited from above lets anyone else in.
    const std::wstring security = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + sid + L")";
    opened_ = folder_.Open(root, {L"Quorvell Software", L"Pacewick"}, security.c_str(), Owners::OwnAccountToo, &why_);
    return opened_;
}

AccountLock::Holding AccountLock::Take(DWORD timeoutMs) {
    Holding holding;
    std::wstring path;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (!OpenFolder()) {
            holding.error_ = ERROR_ACCESS_DENIED;
            holding.why_ = why_;
            return holding;
        }
        path = folder_.Path() + L"\\" + kLockFile;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        UniqueHandle file = OpenLockFile(path);
        const DWORD error = file ? ERROR_SUCCESS : GetLastError();
        if (file && Acceptable(file.Get(), path, false, Owners::OwnAccountToo)) {
            holding.file_ = std::move(file);
            return holding;
        }
        if (file || error != ERROR_SHARING_VIOLATION) {  // a link or a folder of its name: nobody's lock
            holding.error_ = file ? ERROR_ACCESS_DENIED : error;
            holding.why_ = "its file is a link, a folder or not the account's";
            return holding;
        }
        if (GetTickCount64() >= deadline) {
            holding.error_ = WAIT_TIMEOUT;
            return holding;
        }
        Sleep(kRetryMs);
    }
}

}  // namespace win
