#include "win/AccountLock.h"

#include <aclapi.h>
#include <sddl.h>

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

// Whether a mutex of the name that existed before was made by the account, by
// SYSTEM or by an administrator: anyone else could hold it, or let others hold
// it, for ever. No other account can name one of these as its owner.
bool MadeByTrustedOwner(HANDLE mutex, const std::wstring& sid) {
    PSID owner = nullptr;
    Unique<LocalTraits<PSECURITY_DESCRIPTOR>> descriptor;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS || !owner)
        return false;
    Unique<LocalTraits<LPWSTR>> text;
    return (ConvertSidToStringSidW(owner, text.Put()) && sid == text.Get()) ||
           IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
}

}  // namespace

std::wstring AccountLock::NameFor(const std::wstring& sid) { return L"Global\\Quorvell.Pacewick.Account." + sid; }

AccountLock AccountLock::Take(DWORD timeoutMs) {
    AccountLock lock;
    // A process's account never changes: its SID is read once, unless that failed.
    static const std::wstring known = CurrentUserSid();
    const std::wstring sid = known.empty() ? CurrentUserSid() : known;
    // Owned by the account, whatever the token names as default owner (an
    // elevated one: the administrators); protected (P): nothing inherited lets
    // anyone else in.
    const std::wstring sddl = L"O:" + sid + L"D:P(A;;GA;;;SY)(A;;GA;;;" + sid + L")";
    Unique<LocalTraits<PSECURITY_DESCRIPTOR>> descriptor;
    if (sid.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                              descriptor.Put(), nullptr)) {
        lock.error_ = sid.empty() ? ERROR_NO_TOKEN : GetLastError();
        return lock;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    const std::wstring name = NameFor(sid);
    UniqueHandle mutex(CreateMutexW(&attributes, FALSE, name.c_str()));
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!mutex || (existed && !MadeByTrustedOwner(mutex.Get(), sid))) {
        lock.error_ = mutex ? ERROR_ACCESS_DENIED : GetLastError();
        return lock;
    }
    const DWORD waited = WaitForSingleObject(mutex.Get(), timeoutMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) lock.mutex_.Reset(mutex.Release());
    else lock.error_ = waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
    return lock;
}

}  // namespace win
