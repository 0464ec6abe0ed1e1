#include "win/AccountLock.h"

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

std::wstring AccountLock::NameFor(const std::wstring& sid) { return L"Global\\Quorvell.Pacewick.Account." + sid; }

AccountLock AccountLock::Take(DWORD timeoutMs) {
    AccountLock lock;
    const std::wstring sid = CurrentUserSid();
    // Protected (P): no inherited entry lets anyone else in.
    const std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;" + sid + L")";
    Unique<LocalTraits<PSECURITY_DESCRIPTOR>> descriptor;
    if (sid.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.Put(), nullptr)) {
        lock.error_ = GetLastError();
        return lock;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    UniqueHandle mutex(CreateMutexW(&attributes, FALSE, NameFor(sid).c_str()));
    if (!mutex) {
        lock.error_ = GetLastError();
        return lock;
    }
    const DWORD waited = WaitForSingleObject(mutex.Get(), timeoutMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) lock.mutex_.Reset(mutex.Release());
    else lock.error_ = waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
    return lock;
}

}  // namespace win
