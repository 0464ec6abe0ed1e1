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
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::unique_lock<std::timed_mutex> process(process_, std::defer_lock);
    const auto refused = [&holding](DWORD error, const std::string& why) {
        holding.error_ = error;
        holding.why_ = why;
        return std::move(holding);
    };
    if (!process.try_lock_for(std::chrono::milliseconds(timeoutMs))) return refused(WAIT_TIMEOUT, std::string());
    if (!OpenFolder()) return refused(ERROR_ACCESS_DENIED, why_);
    const std::wstring path = folder_.Path() + L"\\" + kLockFile;
    for (;;) {
        UniqueHandle file = OpenLockFile(path);
        const DWORD error = file ? ERROR_SUCCESS : GetLastError();
        // Checked once: only the account and the administrators can change the folder.
        if (file && (fileChecked_ || Acceptable(file.Get(), path, HandleKind::File, Owners::OwnAccountToo))) {
            fileChecked_ = true;
            holding.process_ = std::move(process);
            holding.file_ = std::move(file);
            return holding;
        }
        // A link or a folder of its name: nobody's lock.
        if (file || error != ERROR_SHARING_VIOLATION)
            return refused(file ? ERROR_ACCESS_DENIED : error, "its file is a link, a folder or not the account's");
        if (GetTickCount64() >= deadline) return refused(WAIT_TIMEOUT, std::string());
        Sleep(kRetryMs);
    }
}

}  // namespace win
