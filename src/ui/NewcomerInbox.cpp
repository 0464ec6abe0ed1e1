#include "ui/NewcomerInbox.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace ui {

void NewcomerInbox::Open(HWND window, UINT message) {
    const std::lock_guard<std::mutex> guard(mutex_);
    window_ = window;
    message_ = message;
    posted_ = false;
    waiting_.Clear();
}

void NewcomerInbox::Close() { Open(nullptr, 0); }

void NewcomerInbox::Hand(const EntryList& moved) {
    if (moved.Empty()) return;
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!window_) return;
    const std::size_t room = kMaxWaiting - std::min(kMaxWaiting, waiting_.Count());
    const auto taken = static_cast<std::ptrdiff_t>(std::min(room, moved.Count()));
    waiting_.Insert(waiting_.end(), moved.begin(), moved.begin() + taken);
    if (!posted_ && !waiting_.Empty()) posted_ = PostMessageW(window_, message_, 0, 0) != FALSE;
}

EntryList NewcomerInbox::Take() {
    const std::lock_guard<std::mutex> guard(mutex_);
    posted_ = false;
    return std::exchange(waiting_, EntryList());
}

}  // namespace ui
