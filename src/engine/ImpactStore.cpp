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

Impact ImpactStore::Read(const std::string& name) const {
    const auto wide = win::Wide(name);
    registry::Key key;
    RegValueBlob value;
    if (!wide || key.Open(root_, win::WidenAscii(keys::kImpact), KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        key.ReadValue(*wide, &value) != ERROR_SUCCESS || value.type != REG_BINARY || value.count() != kValueSize)
        return Impact::NotMeasured;
    return ImpactOf(Usage{GetLittleEndian(value.data()), GetLittleEndian(value.data() + 8)});
}

}  // namespace ready
