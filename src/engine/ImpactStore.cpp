#include "engine/ImpactStore.h"

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

// A key that could not be opened reads as nothing measured.
Impact ReadFrom(const registry::Key& key, const std::string& name) {
    const auto wide = win::Wide(name);
    RegValueBlob value;
    if (!wide || key.ReadValue(*wide, &value) != ERROR_SUCCESS || value.type != REG_BINARY ||
        value.count() != kValueSize)
        return Impact::NotMeasured;
    return ImpactOf(Usage{GetLittleEndian(value.data()), GetLittleEndian(value.data() + 8)});
}

registry::Key OpenForReading(HKEY root) {
    registry::Key key;
    key.Open(root, win::WidenAscii(keys::kImpact), KEY_QUERY_VALUE);
    return key;
}

}  // namespace

bool ImpactStore::Write(const std::string& name, const Usage& usage) const {
    const auto wide = win::Wide(name);
    registry::Key key;
    if (!wide || key.Create(root_, win::WidenAscii(keys::kImpact), KEY_SET_VALUE) != ERROR_SUCCESS) return false;
    BYTE bytes[kValueSize];
    PutLittleEndian(usage.cpuMs, bytes);
    PutLittleEndian(usage.diskBytes, bytes + 8);
    return key.WriteValue(*wide, RegValueBlob(REG_BINARY, bytes, kValueSize)) == ERROR_SUCCESS;
}

Impact ImpactStore::Read(const std::string& name) const { return ReadFrom(OpenForReading(root_), name); }

std::vector<Impact> ImpactStore::ReadAll(const EntryList& entries) const {
    const registry::Key key = OpenForReading(root_);
    std::vector<Impact> impacts;
    for (const StartupEntry& entry : entries) impacts.push_back(ReadFrom(key, entry.name));
    return impacts;
}

}  // namespace ready
