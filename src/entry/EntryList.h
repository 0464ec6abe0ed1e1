#pragma once
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "entry/StartupEntry.h"

// The ordered list of delayed entries. Producers insert at the front, so the
// list reads in the reverse of the order in which entries were found. The
// entries are kept last-first in one vector, so that putting one in front
// costs no more than appending: a list of thousands is made in linear time.
// Copies are ordinary copies (same entries, same order).
class EntryList {
public:
    using const_iterator = std::vector<StartupEntry>::const_reverse_iterator;
    using iterator = std::vector<StartupEntry>::reverse_iterator;

    void InsertFront(StartupEntry entry) { entries_.push_back(std::move(entry)); }
    // Puts the entries [first, last) of another list, in their order, before `before`.
    void Insert(iterator before, const_iterator first, const_iterator last) {
        entries_.insert(before.base(), last.base(), first.base());
    }
    // Puts every entry of `back`, in its order, behind this list's.
    void Append(const EntryList& back) {
        entries_.insert(entries_.begin(), back.entries_.begin(), back.entries_.end());
    }
    // The list becomes `front`'s entries followed by `back`'s, in the room it
    // has: refilled with a list of its size, it allocates nothing for the
    // entries whose texts fit their old room.
    void Assign(const EntryList& front, const EntryList& back) {
        entries_.resize(front.Count() + back.Count());
        const auto after = std::copy(back.entries_.begin(), back.entries_.end(), entries_.begin());
        std::copy(front.entries_.begin(), front.entries_.end(), after);
    }
    void Clear() { entries_.clear(); }
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    // The entry at this place of the list (0 is the first).
    const StartupEntry& operator[](std::size_t index) const { return entries_[entries_.size() - 1 - index]; }

    iterator begin() { return entries_.rbegin(); }
    iterator end() { return entries_.rend(); }
    const_iterator begin() const { return entries_.rbegin(); }
    const_iterator end() const { return entries_.rend(); }

private:
    std::vector<StartupEntry> entries_;  // last first
};

// The duplicate rule: every listed entry of exactly this name (letter case
// counts) is marked as present in both the user's and the machine's BackUp
// keys (unless it came from the same side, the machine's two views), and as
// kept in `lists` too; a `command` it does not start yet is started beside its
// own. 1 when any matched (the caller then lists no second entry), else 0.
int MarkPresentInBoth(EntryList& list, const std::wstring& name, ListSet lists = 0, Origin origin = Origin::Both,
                      const std::wstring* command = nullptr);
