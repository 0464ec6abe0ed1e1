#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ready/ReadyStart.h"
#include "entry/EntryList.h"

namespace ready {

// What each entry used in its first minute, kept with the account's settings
// (keys::kImpact): one REG_BINARY value per entry name, 16 bytes (processor
// milliseconds, then bytes of disk, each little-endian). A value of any other type or size counts as never measured.
class ImpactStore {
public:
    explicit ImpactStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

    bool Write(const std::wstring& name, const Usage& usage) const;
    // Each entry's class, in the list's order: the measures are read once,
    // so that the cost follows what was measured, not what is held.
    std::vector<Impact> ReadAll(const EntryList& entries) const;

private:
    HKEY root_;
};

}  // namespace ready
