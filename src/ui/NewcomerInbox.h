#pragma once
#include <windows.h>

#include <cstddef>
#include <mutex>

#include "entry/EntryList.h"

namespace ui {

// The entries the watchers' take-overs moved while the window is open, on
// their way to the window's thread, which tells the user of them. A watcher
// hands them in once its take-over has returned (never under the engine's
// lock) and goes back to watching at once: the window is told by a post, never
// a send, and reads them when it gets to it.
class NewcomerInbox {
public:
    // Entries waiting beyond these are dropped: a program that adds hundreds of
    // values at once gets no more notices than the user could read.
    static constexpr std::size_t kMaxWaiting = 32;

    NewcomerInbox() = default;
    NewcomerInbox(const NewcomerInbox&) = delete;
    NewcomerInbox& operator=(const NewcomerInbox&) = delete;

    // The window's thread: from now on each hand-in posts `message` to the
    // window (one post waits at a time). What was moved before, at Pacewick's
    // own start above all, is nobody's news.
    void Open(HWND window, UINT message);
    // The window is going: later hand-ins are dropped, and so is what waits.
    void Close();
    // Any thread: the entries a take-over moved.
    void Hand(const EntryList& moved);
    // The window's thread: what was handed in since the last call, in order.
    EntryList Take();

private:
    std::mutex mutex_;
    HWND window_ = nullptr;
    UINT message_ = 0;
    bool posted_ = false;
    EntryList waiting_;
};

}  // namespace ui
