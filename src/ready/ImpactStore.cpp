#include "ready/ImpactStore.h"

#include <map>

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/LittleEndian.h"
#include "win/Text.h"

namespace ready {
namespace {

constexpr DWORD kValueSize = 16;

// Value names as the registry compares them: without regard to letter case.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_LESS_THAN;
    }
};
using Measures = std::map<std::wstring, Impact, NameOrder>;

// Every value of the key that is a measure; nothing read past the 16 bytes of one.
Measures ReadMeasures(const registry::KeyRef& key) {
    Measures measures;
    std::vector<std::wstring> names;
    if (key.ValueNames(&names) != ERROR_SUCCESS) return measures;
    BYTE data[kValueSize];
    for (const std::wstring& name : names)
        if (key.ReadExact(name, REG_BINARY, data, kValueSize) == ERROR_SUCCESS)
            measures[name] = ImpactOf(Usage{win::GetLittleEndian<std::uint64_t>(data),
                                            win::GetLittleEndian<std::uint64_t>(data + 8)});
    return measures;
}

registry::Key OpenForReading(HKEY root) {
    registry::Key key;
    key.Open(root, keys::kImpact, KEY_QUERY_VALUE);
    return key;
}

}  // namespace

bool ImpactStore::Write(const std::wstring& name, const Usage& usage) const {
    registry::Key key;
    if (key.Create(root_, keys::kImpact, KEY_SET_VALUE) != ERROR_SUCCESS) return false;
    BYTE bytes[kValueSize];
    win::PutLittleEndian<std::uint64_t>(usage.cpuMs, bytes);
    win::PutLittleEndian<std::uint64_t>(usage.diskBytes, bytes + 8);
    return key.WriteValue(name, RegValueBlob(REG_BINARY, bytes, kValueSize)) == ERROR_SUCCESS;
}

std::vector<Impact> ImpactStore::ReadAll(const EntryList& entries) const {
    const Measures measures = ReadMeasures(OpenForReading(root_));
    if (measures.empty()) return std::vector<Impact>(entries.Count(), Impact::NotMeasured);
    std::vector<Impact> impacts;
    for (const StartupEntry& entry : entries) {
        const auto found = measures.find(entry.name);
        impacts.push_back(found == measures.end() ? Impact::NotMeasured : found->second);
    }
    return impacts;
}

}  // namespace ready
