#include "keeper/Keeper.h"

#include <cstdarg>
#include <cstdio>

#include "keeper/KeeperLog.h"
#include "keeper/RemovalNotice.h"
#include "registry/RegKey.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace keeper {

namespace {

// Under the work lock (or alone in the process).
bool RestoreMachineEntries(takeover::OwnedEngine& engine, const KeeperEvents& counted, const char* why) {
    Log("Restore of the machine entries (%s)", why);
    const unsigned long before = counted.Deletions();
    const bool back = engine.manager.RestoreAll();
    const unsigned long restored = counted.Deletions() - before;
    Log("Restored: %lu entries back in their start-up lists", restored);
    if (!back) Log("Not every machine entry is back in its start-up list: see the lines above");
    if (events::Sink* log = counted.Events()) {
        const std::wstring reason = win::WidenAscii(why);
        log->Report(PACEWICK_EVENT_RESTORED, events::Type::Information, {std::to_wstring(restored), reason});
        if (!back) log->Report(PACEWICK_EVENT_RESTORE_INCOMPLETE, events::Type::Error, {reason});
    }
    return back;
}

const char* OutcomeText(accounts::Outcome outcome) {
    switch (outcome) {
    case accounts::Outcome::Begun: return "putting its entries back";
    case accounts::Outcome::Back: return "every entry is back";
    case accounts::Outcome::NotAllBack: return "some entries stay held";
    case accounts::Outcome::Unreachable: return "not reached, every entry stays held";
    }
    return "";
}

// Each account's lines in the log, between its own first and last line; one
// event for each account whose programs stay held, and one for all.
void RestoreEveryAccount(const accounts::Places& places, KeeperEvents& counted) {
    Log("Restore of every account's entries (the package's removal)");
    events::Sink* log = counted.Events();
    const accounts::Tally tally =
        accounts::RestoreEveryAccount(places, counted, [&](const accounts::AccountNews& news) {
            const std::string sid = win::Utf8ForDisplay(news.sid);
            if (news.why.empty()) Log("Account %s: %s", sid.c_str(), OutcomeText(news.outcome));
            else Log("Account %s: %s: %s", sid.c_str(), OutcomeText(news.outcome), news.why.c_str());
            const bool held = news.outcome == accounts::Outcome::NotAllBack || news.outcome == accounts::Outcome::Unreachable;
            if (held && log) {
                const std::wstring why = news.why.empty() ? L"the keeper's log names them" : win::WidenAscii(news.why.c_str());
                log->Report(PACEWICK_EVENT_ACCOUNT_STILL_HELD, events::Type::Warning, {events::InsertionText(sid), why});
            }
        });
    Log("Accounts: %u with every entry back, %u with some held, %u not reached", tally.back, tally.notAllBack,
        tally.unreachable);
    if (log)
        log->Report(PACEWICK_EVENT_ACCOUNTS_RESTORED, events::Type::Information,
                    {std::to_wstring(tally.back), std::to_wstring(tally.notAllBack + tally.unreachable)});
}

}  // namespace

void KeeperEvents::Left(const ItemEvent& event, const char* why, events::Type type) {
    if (log_) log_->Report(PACEWICK_EVENT_ITEM_LEFT, type, {events::InsertionText(event.name), win::WidenAscii(why)});
}

void KeeperEvents::Report(const ItemEvent& event) {
    switch (event.what) {
    case ItemHappened::Deleted: ++deletions_; return;
    case ItemHappened::Copied: return;
    // A Run value not deleted was changed or deleted meanwhile; a file kept open (capped in the log).
    case ItemHappened::DeleteFailed:
        if (event.kind == ItemKind::File) {
            const unsigned long written = RefusalsWritten();
            lines_.Report(event);
            if (RefusalsWritten() != written) Left(event, "it could not be deleted", events::Type::Warning);
        }
        return;
    case ItemHappened::CopyFailed:
        lines_.Report(event);
        return Left(event, "it could not be copied", events::Type::Warning);
    // Left by the rules (switched off, not listable): what the service should do, said as information.
    case ItemHappened::Kept:
    case ItemHappened::NotListed:
        lines_.Report(event);
        return Left(event, event.reason ? event.reason : "", events::Type::Information);
    case ItemHappened::LeftOnlyHeld:
        lines_.Report(event);
        return Left(event, "only its BackUp place holds it", events::Type::Information);
    // A walk's lines are logged as they come, and count as nothing.
    case ItemHappened::SubkeysCounted:
    case ItemHappened::SubkeyFound:
    case ItemHappened::ValuesCounted:
    case ItemHappened::ValueFound:
    default: lines_.Report(event);
    }
}

// The engine changes and lists the machine's rows only, and never opens the
// files that entries name (any user may have written them).
Keeper::Keeper(Options options)
    : options_(std::move(options)),
      events_(options_.events),
      engine_(takeover::kMachineScope, takeover::kMachineScope, takeover::CompanyReading::Skipped, &events_),
      watchers_(lists::WatchTargetsOf(engine_.sources, engine_.Rows(takeover::kMachineScope)),
                [this] { TakeOverUnlessHeld(nullptr); }),
      server_(options_.pipeName, [this](const Request& request, HANDLE pipe) { return Handle(request, pipe); }) {}

Keeper::~Keeper() { Stop(); }

bool Keeper::Start() {
    // The pipe first: its name is the keeper's before any take-over, and
    // accounts' requests wait for that take-over's lock rather than find no pipe.
    const bool serving = server_.Start();
    // Watching before the take-over: a value written during it is seen.
    watchers_.Start();
    TakeOverUnlessHeld("start");
    Log("Keeper started");
    started_ = true;
    if (options_.events) options_.events->Report(PACEWICK_EVENT_KEEPER_STARTED, events::Type::Information, {});
    return serving;
}

void Keeper::Stop() {
    server_.Stop();
    watchers_.Stop();
    if (started_.exchange(false) && options_.events)
        options_.events->Report(PACEWICK_EVENT_KEEPER_STOPPED, events::Type::Information, {});
}

bool Keeper::HeldOff() {
    registry::Key key;
    DWORD held = 0;
    LONG status = key.Open(HKEY_LOCAL_MACHINE, kKeeperKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    if (status == ERROR_SUCCESS) status = key.ReadDword(kHoldOffValue, &held);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Log("Hold-off not read (%ld): taking over", status);
    return status == ERROR_SUCCESS && held != 0;
}

bool Keeper::SetHeldOff(bool held) {
    registry::Key key;
    LONG status = key.Create(HKEY_LOCAL_MACHINE, kKeeperKey, KEY_SET_VALUE | KEY_WOW64_64KEY);
    if (status == ERROR_SUCCESS) status = key.WriteDword(kHoldOffValue, held ? 1 : 0);
    if (status != ERROR_SUCCESS) Log("Hold-off not stored (%ld)", status);
    return status == ERROR_SUCCESS;
}

void Keeper::TakeOverUnlessHeld(const char* why) {
    const std::lock_guard<std::mutex> guard(work_);
    if (HeldOff()) {
        if (why) Log("Take-over held off after a restore (%s)", why);
        return;
    }
    if (why) Log("Take-over (%s)", why);
    const unsigned long before = events_.Deletions();
    engine_.manager.TakeOver();
    // Deletions from the start-up places, each after its identical copy was made.
    if (const unsigned long moved = events_.Deletions() - before) {
        Log("Taken over: %lu entries", moved);
        if (options_.events)
            options_.events->Report(PACEWICK_EVENT_TAKEN_OVER, events::Type::Information, {std::to_wstring(moved)});
    }
}

Reply Keeper::Restore(const char* why) {
    const std::lock_guard<std::mutex> guard(work_);
    // Held before anything goes back, so that no change the restore makes is taken over again.
    if (!SetHeldOff(true)) return Reply{Status::Failed, 0};
    return Reply{RestoreMachineEntries(engine_, events_, why) ? Status::Ok : Status::Failed, 0};
}

Reply Keeper::Delete(const Request& request, HANDLE pipe) {
    if (request.row >= engine_.sources.size() || !(MachineRows() & ListBit(request.row))) {
        Refuse("Delete refused: row %u is not a machine row", request.row);
        return Reply{Status::BadRequest, 0};
    }
    const std::optional<std::string> name = win::Utf8(request.name);
    // A Run value's name fits an entry whole; a Startup folder file's is a
    // file name (at most 255 units), which the list may show cut.
    const bool file = engine_.sources[request.row]->Kind() == ItemKind::File;
    const bool fits = name && (FitsEntry(*name) || (file && request.name.size() <= 255));
    if (!fits) {
        Refuse("Delete refused: the name is no entry's name (%lu units)",
                   static_cast<unsigned long>(request.name.size()));
        return Reply{Status::BadRequest, 0};
    }
    // The log shows as much of the name as the list would.
    const std::string logged = name->substr(0, kEntryTextBytes);
    if (!Granted(pipe)) {
        Refuse("Delete refused: the caller is not an elevated administrator: %s", logged.c_str());
        return Reply{Status::Denied, 0};
    }
    // A Startup folder item's name is its identity, whatever its length.
    StartupEntry entry = EntryOf(EntryIdentity{ListBit(request.row), request.name});
    entry.origin = Origin::AllUsers;
    const std::lock_guard<std::mutex> guard(work_);
    Log("Delete of %s from row %u", logged.c_str(), request.row);
    const bool changed = engine_.manager.DeleteBackupEntry(entry);
    return Reply{Status::Ok, changed ? 1u : 0u};
}

Reply Keeper::Resume() {
    {
        const std::lock_guard<std::mutex> guard(work_);
        if (!SetHeldOff(false)) return Reply{Status::Failed, 0};
    }
    TakeOverUnlessHeld("an account's Pacewick resumes");
    return Reply{Status::Ok, 0};
}

bool Keeper::Granted(HANDLE pipe) const { return options_.callerCheck && options_.callerCheck(pipe); }

void Keeper::Refuse(const char* format, ...) {
    char text[1024];  // as the log's own: a longer text is cut there, and here by InsertionText
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (LogRefusal("%s", text) && options_.events)
        options_.events->Report(PACEWICK_EVENT_REQUEST_REFUSED, events::Type::Warning, {events::InsertionText(text)});
}

// Restore All and Resume change the machine for every account (the hold-off
// leaves every account's machine entries with Windows): an elevated
// administrator's request only.
Reply Keeper::Handle(const Request& request, HANDLE pipe) {
    const bool machineWide = request.verb == Verb::RestoreAll || request.verb == Verb::Resume;
    if (machineWide && !Granted(pipe)) {
        Refuse("Request refused: %s needs an elevated administrator", VerbName(request.verb));
        return Reply{Status::Denied, 0};
    }
    switch (request.verb) {
    case Verb::Ping:
        return Reply{Status::Ok, MachineRows() | (HeldOff() ? kHeldOff : 0)};
    case Verb::RestoreAll:
        return Restore("an account's Restore All");
    case Verb::Resume:
        return Resume();
    case Verb::DeleteEntry:
        return Delete(request, pipe);
    }
    Refuse("Request refused: unknown verb");
    return Reply{Status::BadRequest, 0};
}

int RestoreForRemoval(events::Sink* log, const accounts::Places& accounts) {
    OpenLog();
    RemovalNotice notice;  // up while this step works, withdrawn when it ends, done or failed
    const bool ended = EndEveryPacewick();
    KeeperEvents counted(log);
    // A Pacewick still running would take its account's programs over again.
    if (ended) RestoreEveryAccount(accounts, counted);
    takeover::OwnedEngine engine(takeover::kMachineScope, takeover::kMachineScope, takeover::CompanyReading::Skipped,
                                 &counted);
    const bool back = ended && RestoreMachineEntries(engine, counted, "the package's removal");
    if (!back) Log("The package's removal stops: it is undone, Pacewick stays installed");
    notice.Withdraw();
    CloseLog();
    return back ? 0 : 1;
}

}  // namespace keeper
