#include "monitor/TakeOverQuiet.h"

namespace {
constexpr DWORD kLookEveryMs = 10;
}  // namespace

void TakeOverQuiet::During(const std::function<void()>& takeOver) {
    ++underWay_;
    takeOver();
    lastEnded_ = GetTickCount64();
    --underWay_;
}

bool TakeOverQuiet::Quiet() const {
    return underWay_ == 0 && GetTickCount64() - lastEnded_ >= kQuietMs;
}

void TakeOverQuiet::Wait(const std::function<bool()>& stopped) const {
    for (const ULONGLONG end = GetTickCount64() + kLongestWaitMs; !Quiet() && GetTickCount64() < end;) {
        if (stopped && stopped()) return;
        Sleep(kLookEveryMs);
    }
}
