#include "policy/EffectiveSettings.h"

#include <optional>

#include "registry/ConfigStore.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"

namespace policy {
namespace {

constexpr DWORD kMinute = 60000;

}  // namespace

const char* PlaceName(Source place) {
    switch (place) {
    case Source::MachinePolicy: return "machine policy";
    case Source::UserPolicy: return "user policy";
    case Source::Account: return "account";
    case Source::MachineDefault: return "machine default";
    case Source::BuiltIn: break;
    }
    return "built-in";
}

namespace {

// A place's value as read: absent, unusable, or a number.
struct Found {
    bool present = false;
    std::optional<DWORD> number;
};

// A value of another type or size is there, and unusable.
Found ReadNumber(const registry::Key& key, const wchar_t* name) {
    DWORD number = 0;
    const LONG status = key.ReadDword(name, &number);
    if (status == ERROR_SUCCESS) return Found{true, number};
    return Found{status == ERROR_INVALID_DATA, std::nullopt};
}

// A policy's or a default's value in Value's units, when it is in the row's range.
std::optional<DWORD> Checked(const Policy& row, std::optional<DWORD> number) {
    if (!number || *number < row.minimum || *number > row.maximum) return std::nullopt;
    return row.kind == Kind::Decimal ? *number * kMinute : *number;
}

// The account's Config as CConfigStore reads it: the delay in milliseconds
// under its own name, Manual on only at 1, a switch on at anything but 0.
std::optional<DWORD> AccountValue(const registry::Key& config, Setting setting) {
    const Policy& row = PolicyOf(setting);
    const std::optional<DWORD> number =
        ReadNumber(config, setting == Setting::DelayMinutes ? L"TimeDelay" : row.valueName).number;
    if (!number) return std::nullopt;
    if (setting == Setting::DelayMinutes) return *number;
    if (setting == Setting::Manual) return *number == 1 ? 1u : 0u;
    return *number != 0 ? 1u : 0u;
}

DWORD BuiltIn(Setting setting) {
    switch (setting) {
    case Setting::DelayMinutes: return CConfigStore::kDefaultTimeDelay;
    case Setting::Manual: return CConfigStore::kDefaultManual;
    case Setting::StartWhenReady: return CConfigStore::kDefaultStartWhenReady ? 1 : 0;
    case Setting::NotifyNewcomers: break;
    }
    return CConfigStore::kDefaultNotifyNewcomers ? 1 : 0;
}

registry::Key Opened(HKEY root, const wchar_t* path) {
    registry::Key key;
    key.Open(root, path, KEY_QUERY_VALUE);
    return key;
}

}  // namespace

EffectiveSettings::EffectiveSettings() {
    for (std::size_t at = 0; at < kSettingCount; ++at) held_[at] = {BuiltIn(static_cast<Setting>(at)), Source::BuiltIn};
}

EffectiveSettings EffectiveSettings::Read(const IgnoredFunction& ignored) {
    const registry::Key machinePolicy = Opened(HKEY_LOCAL_MACHINE, keys::kPolicies);
    const registry::Key userPolicy = Opened(HKEY_CURRENT_USER, keys::kPolicies);
    const registry::Key config = Opened(HKEY_CURRENT_USER, keys::kConfig);
    const registry::Key defaults = Opened(HKEY_LOCAL_MACHINE, keys::kDefaults);
    EffectiveSettings settings;
    for (std::size_t at = kSettingCount; at-- > 0;) {
        const Setting setting = static_cast<Setting>(at);
        const Policy& row = PolicyOf(setting);
        Held& held = settings.held_[at];
        // Weakest first, so that each stronger place that holds a usable value replaces it.
        const auto consider = [&](const registry::Key& key, Source place) {
            const Found read = ReadNumber(key, row.valueName);
            if (!read.present) return;
            if (const std::optional<DWORD> value = Checked(row, read.number)) {
                held = {*value, place};
                return;
            }
            PrintLine("Setting %ls of the %s ignored: not a number in its range\n", row.valueName, PlaceName(place));
            if (ignored) ignored(IgnoredValue{place, setting});
        };
        if (row.inDefaults) consider(defaults, Source::MachineDefault);
        if (const std::optional<DWORD> own = AccountValue(config, setting)) held = {*own, Source::Account};
        if (row.classes & kUserClass) consider(userPolicy, Source::UserPolicy);
        if (row.classes & kMachineClass) consider(machinePolicy, Source::MachinePolicy);
    }
    return settings;
}

bool EffectiveSettings::Choose(Setting setting, DWORD value) {
    if (SetByPolicy(setting)) return false;
    held_[static_cast<std::size_t>(setting)] = {value, Source::Account};
    return true;
}

}  // namespace policy
