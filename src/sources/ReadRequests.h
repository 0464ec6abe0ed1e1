#pragma once
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>

// What a reader that reads on a detached thread of its own shares with that
// thread: the reads asked for and served, the callback after each, and the
// handshake that lets the reader go while its thread may still be reading (a
// file that never opens, a scheduler that never answers). A reader's state
// derives from it and is held by both, through a shared_ptr.
struct ReadRequests {
    // Under `mutex`: one more read is asked for. True the first time, when the
    // caller starts the thread.
    bool AskLocked();
    // Under `mutex`: whether a read was ever asked for.
    bool EverAskedLocked() const { return requested_ > 0; }
    // Waits until every read asked for before this call has ended; false when
    // that takes longer than the time limit.
    bool WaitForReads(DWORD timeoutMs);
    void SetOnRead(std::function<void()> callback);
    // The reader goes: no read is served and no callback comes after this
    // returns; a callback under way is waited for.
    void LeaveReader();
    bool ReaderGone();

    // On the thread, with `lock` held: waits for a read to serve; false once
    // the reader has gone. `serving` is what the read will count as served.
    bool NextRead(std::unique_lock<std::mutex>& lock, unsigned long long* serving);
    // What a read found: something that changes the list, or nothing new.
    enum class Outcome { Changed, Unchanged };
    // With `lock` held: the read has put what it read in place; the callback
    // is called (when it Changed, and the reader is still there) outside the
    // lock, and then the waiters are told.
    void EndRead(std::unique_lock<std::mutex>& lock, unsigned long long serving, Outcome outcome);

    std::mutex mutex;
    std::condition_variable changed;

private:
    std::function<void()> onRead_;
    unsigned long long requested_ = 0;  // reads asked for
    unsigned long long ended_ = 0;      // of those, how many an ended read has served
    bool threadStarted_ = false;
    bool readerGone_ = false;
    bool callingBack_ = false;
};
