#pragma once
#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>

#include "takeover/StartupListModel.h"
#include "lists/StartupSource.h"
#include "entry/ItemEvents.h"
#include "win/AccountLock.h"

namespace takeover {

// The engine: every operation on the start-up lists of a source table, for the
// rows this process may change. Built by the program's start-up, by each of its
// switches and by the keeper service for what each of them handles; the window,
// the watchers and the pipe server are handed it. Its lock covers registry and
// file work only; what it reads is published to the list model, which reads
// the companies and the logon tasks outside it.
class CStartupManager {
public:
    // `written`: the rows the engine may change (back up, take from, restore
    // into, delete from, register in); `listed`: the rows whose BackUp places it
    // lists (reading needs no rights). The keeper service changes and lists only
    // the machine's rows; the program, while the keeper holds those, changes
    // only the user's and still lists every row. A row it may not change is
    // never opened for writing.
    CStartupManager(const lists::SourceTable& sources, ListSet written, ListSet listed, ItemEventSink& events,
                    StartupListModel& model);
    CStartupManager(const CStartupManager&) = delete;
    CStartupManager& operator=(const CStartupManager&) = delete;

    ListSet WrittenLists() const { return written_; }

    // Moves what the start-up places hold into the BackUp places and reads the
    // held items afresh, as one unit (start-up, keeper). Items the machine's
    // LeaveAlone policy names stay where they are, and held ones it names go
    // back first.
    void TakeOver();
    // The same for a watcher, of the rows whose start-up places changed: the
    // list gains the items moved, without a full reading unless one's name is
    // listed already. `stop` is asked between items: what is not reached stays
    // in its start-up place. The entries moved in listed rows, each marked
    // with its row: the watchers tell the user of them.
    EntryList TakeOverNewcomers(const lists::StopAsked& stop = nullptr, ListSet rows = ~0u);
    // Reads the held items afresh (and the logon tasks, as `tasks` says) into the list model.
    void RebuildList(TaskQuery tasks = TaskQuery::Afresh);
    // Puts the written rows' held items back, deleting each once its start-up
    // place holds it exactly. True when afterwards every item still held has
    // one of its name in its start-up place (a newer one is kept there): false
    // means a program Windows would no longer start.
    bool RestoreAll();
    // Deletes the entry from every BackUp place of the written rows that keeps
    // it; true when a deletion was made or a place could not be opened (the
    // list is then read again).
    bool DeleteBackupEntry(const StartupEntry& entry);
    // The program's own value in the machine's Run key; 1 when written.
    int RegisterSelf(const char* selfCommand);

    // How long a change waits for another process of the account.
    static constexpr DWORD kAccountLockWaitMs = 20000;

private:
    // Held around every change, taken in this order: the account's lock across
    // processes while this engine changes a user's row (two sessions of one
    // account share its keys and folders, and each checks a copy before it
    // deletes the other's), then the engine's own. None when the account's lock
    // cannot be had, with a line: the operation then changes nothing.
    struct KeysLock {
        win::AccountLock::Holding account;
        std::unique_lock<std::mutex> engine;
    };
    std::optional<KeysLock> LockKeys();

    lists::Reporter ReporterFor(std::size_t row) const;
    template <typename Use>
    void ForEachRow(ListSet rows, Use use) const;

    // Under the lock: the held items, without companies, and the tasks asked for.
    EntryList ListHeld(TaskQuery tasks, unsigned long long* generation);
    // Under the lock: a reading of the held items published.
    void PublishHeld(TaskQuery tasks);
    // The machine's LeaveAlone list as it is now; none when it names nothing.
    lists::LeftAlone LeftAloneNow() const;
    // Under the lock: each written row's take-over, leaving what `leave` names;
    // the entries moved in listed rows.
    EntryList MoveLocked(const lists::StopAsked& stop, ListSet rows, const lists::LeftAlone& leave);

    const lists::SourceTable& sources_;
    const ListSet written_;
    const ListSet listed_;
    ItemEventSink& events_;
    StartupListModel& model_;
    win::AccountLock accountLock_;
    std::mutex mutex_;
};

}  // namespace takeover
