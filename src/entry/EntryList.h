#pragma once
#include <cstddef>
#include <list>

#include "entry/StartupEntry.h"

// The ordered list of delayed entries. Producers insert at the front, so the
// list reads in the reverse of the order in which entries were found. Copies are
// ordinary copies (same entries, same order).
class EntryList {
public:
    using const_iterator = std::list<StartupEntry>::const_iterator;
    using iterator = std::list<StartupEntry>::iterator;

    void InsertFront(const StartupEntry& entry) { entries_.push_front(entry); }
    void Insert(iterator before, const StartupEntry& entry) { entries_.insert(before, entry); }
    void Clear() { entries_.clear(); }
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

private:
    std::list<StartupEntry> entries_;
};

// The duplicate rule: every listed entry of exactly this name (letter case
// counts) is marked as present in both the user's and the machine's BackUp
// keys (unless it came from the same side, the machine's two views), and as
// kept in `lists` too; a `command` it does not start yet is started beside its
// own. 1 when any matched (the caller then lists no second entry), else 0.
int MarkPresentInBoth(EntryList& list, const std::wstring& name, ListSet lists = 0, Origin origin = Origin::Both,
                      const std::wstring* command = nullptr);
