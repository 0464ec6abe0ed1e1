#include "app/SingleInstance.h"

#include <utility>

namespace {
constexpr const wchar_t* kMutexName = L"CpacewickApp{4E1D7C20-A9B3}";
}  // namespace

DWORD WaitForInstanceMutex(DWORD milliseconds, win::UniqueHandle* owned) {
    win::UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kMutexName));
    if (!mutex) return WAIT_FAILED;
    const DWORD wait = WaitForSingleObject(mutex.Get(), milliseconds);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) *owned = std::move(mutex);
    return wait;
}
