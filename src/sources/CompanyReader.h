#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "entry/EntryList.h"
#include "sources/ReadRequests.h"

// Reads the companies of listed entries (and what a shortcut opens) on a thread of its own, so that no
// thread that moves start-up items (a watcher's, the window's) ever opens a
// file that an entry names: a slow or hostile file delays only this reader.
// What it read last is kept by command (or held file), and a list is shown
// first with that, then again once the reader has read what it lacked.
class CompanyReader {
public:
    CompanyReader();
    // Returns without waiting for a read under way (a file may take long to
    // open), but after any call of the read callback under way: none comes later.
    ~CompanyReader();
    CompanyReader(const CompanyReader&) = delete;
    CompanyReader& operator=(const CompanyReader&) = delete;

    struct Filled {
        bool unknown = false;  // an entry's file was never read
        bool changed = false;  // an entry's company is not what it was
    };
    // Sets each entry's company from the reads so far, "" when never read. Opens no file.
    Filled FillKnown(EntryList& entries);
    // Asks for the companies of these entries; returns at once.
    void Request(const EntryList& entries);
    // Waits until every read requested before this call has ended; false when
    // that takes longer than the time limit.
    bool WaitForReads(DWORD timeoutMs);
    // Called on the reader's thread after each read.
    void SetOnRead(std::function<void()> onRead);

private:
    using Key = std::pair<std::wstring, std::wstring>;  // the command, the held file
    // Keys compared with views of an entry's fields, which a lookup need not copy.
    struct KeyOrder {
        using is_transparent = void;
        template <typename One, typename Other>
        bool operator()(const One& one, const Other& other) const {
            const int first = std::wstring_view(one.first).compare(std::wstring_view(other.first));
            return first != 0 ? first < 0 : std::wstring_view(one.second) < std::wstring_view(other.second);
        }
    };
    // Shared with the reading thread, which may outlive the reader.
    struct State : ReadRequests {
        struct Shown {
            std::wstring company;
            std::wstring opens;
        };
        std::map<Key, Shown, KeyOrder> known;  // as the list shows them
        std::vector<Key> pending;  // what each read needs, not whole entries
    };
    static void Run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};
