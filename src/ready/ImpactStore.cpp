#include "ready/ImpactStore.h"

#include <iterator>
#include <map>

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/Text.h"

namespace ready {
namespace {

constexpr DWORD kValueSize = 16;

void PutLittleEndian(std::uint64_t number, BYTE* bytes) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<BYTE>(number >> (8 * i));
}
std::uint64_t GetLittleEndian(const BYTE* bytes) {
    std::uint64_t number = 0;
    for (int i = 7; i >= 0; --i) number = (number << 8) | bytes[i];
    return number;
}

// Value names as the registry compares them: without regard to letter case.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_LESS_THAN;
    }
};
using Measures = std::map<std::wstring, Impact, NameOrder>;

// Every value of the key that is a measure; the longest name the registry
// allows, and nothing read past the 16 bytes of one.
Measures ReadMeasures(const registry::Key& key) {
    Measures measures;
    if (!key) return measures;
    std::wstring name(16384, L'\0');
    BYTE data[kValueSize];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size()), type = REG_NONE, size = kValueSize;
        const LONG status = RegEnumValueW(key.Get(), index, &name[0], &length, nullptr, &type, data, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS && type == REG_BINARY && size == kValueSize)
            measures[name.substr(0, length)] = ImpactOf(Usage{GetLittleEndian(data), GetLittleEndian(data + 8)});
        else if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            break;
    }
    return measures;
}

registry::Key OpenForReading(HKEY root) {
    registry::Key key;
    key.Open(root, win::WidenAscii(keys::kImpact), KEY_QUERY_VALUE);
    return key;
}

}  // namespace

bool ImpactStore::Write(const std::wstring& name, const Usage& usage) const {
    registry::Key key;
    if (key.Create(root_, win::WidenAscii(keys::kImpact), KEY_SET_VALUE) != ERROR_SUCCESS) return false;
    BYTE bytes[kValueSize];
    PutLittleEndian(usage.cpuMs, bytes);
    PutLittleEndian(usage.diskBytes, bytes + 8);
    return key.WriteValue(name, RegValueBlob(REG_BINARY, bytes, kValueSize)) == ERROR_SUCCESS;
}

std::vector<Impact> ImpactStore::ReadAll(const EntryList& entries) const { return ReadAllOf(entries); }

template <typename Entries>
std::vector<Impact> ImpactStore::ReadAllOf(const Entries& entries) const {
    const Measures measures = ReadMeasures(OpenForReading(root_));
    const auto count = static_cast<std::size_t>(std::distance(entries.begin(), entries.end()));
    if (measures.empty()) return std::vector<Impact>(count, Impact::NotMeasured);  // no name to convert
    std::vector<Impact> impacts;
    for (const StartupEntry& entry : entries) {
        const auto found = measures.find(entry.name);
        impacts.push_back(found == measures.end() ? Impact::NotMeasured : found->second);
    }
    return impacts;
}

}  // namespace ready
