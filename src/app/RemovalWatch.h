#pragma once
#include <windows.h>

#include "monitor/ChangeWatcher.h"
#include "win/Scoped.h"

// The system step of the package's removal (pacewick-keeper.exe
// -restore-for-removal) sets keys::kRemovalStarted in the machine's program key
// before it puts the held programs back, in every session at once: a Pacewick
// still running would take its account's programs over again, and hold them
// for ever once the package is gone. Only administrators and the system may
// write there, so no user can end another's Pacewick by it.
//
// True when the value is there and fresh: a REG_QWORD FILETIME at most
// kRemovalNoticeLife old and at most kRemovalNoticeAhead ahead of this clock.
// A stale one (a step that was killed) never keeps Pacewick from working.
bool RemovalUnderWay();
constexpr ULONGLONG kRemovalNoticeLife = 10ull * 60 * 10000000;  // ten minutes, in FILETIME units
constexpr ULONGLONG kRemovalNoticeAhead = 60ull * 10000000;      // a minute

// Watches the value (the program key's values, not its subkeys) while
// Pacewick runs: a change that shows it fresh ends the program as its Exit
// does, posting Exit to this process's main window (once it has one).
class RemovalWatch {
public:
    RemovalWatch();
    ~RemovalWatch();
    RemovalWatch(const RemovalWatch&) = delete;
    RemovalWatch& operator=(const RemovalWatch&) = delete;

    // Arms the watch, then reads the value, so that a removal that begins in
    // between is seen either way. True when one is under way already: the
    // start then stops before it takes anything over.
    bool Start();

private:
    void OnChange();

    // Set at the end: a change seen before the window exists waits for it until then.
    win::UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    ChangeWatcher watcher_;
};
