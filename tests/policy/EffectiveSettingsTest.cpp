// The effective settings: which place wins, and which values no place may hold.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "policy/EffectiveSettings.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;
using policy::Setting;
using policy::Source;

// One place's value in a row: none, a number, or text where a number belongs.
struct Value {
    enum { None, Number, Text } kind = None;
    DWORD number = 0;
};
constexpr Value kNone{};
constexpr Value N(DWORD number) { return {Value::Number, number}; }
constexpr Value kText{Value::Text, 0};

struct Row {
    Setting setting;
    Value machinePolicy, userPolicy, config, machineDefault;
    DWORD value;
    Source source;
    std::vector<Source> ignored;
};

const wchar_t* ConfigName(Setting setting) {
    return setting == Setting::DelayMinutes ? L"TimeDelay" : policy::PolicyOf(setting).valueName;
}

void Place(HKEY hive, const wchar_t* path, const wchar_t* name, const Value& value) {
    if (value.kind == Value::None) return;
    S::Create(hive, path);
    S::Put(hive, path, name, value.kind == Value::Number ? S::Dword(value.number) : S::Text("5"));
}

TEST(EffectiveSettings, MachinePolicyBeatsUserPolicyBeatsTheAccountBeatsTheMachinesDefaultsAndBadValuesCountAsAbsent) {
    constexpr DWORD kMinute = 60000;
    const Row rows[] = {
        {Setting::DelayMinutes, kNone, kNone, kNone, kNone, 3 * kMinute, Source::BuiltIn, {}},
        {Setting::DelayMinutes, kNone, kNone, kNone, N(5), 5 * kMinute, Source::MachineDefault, {}},
        {Setting::DelayMinutes, kNone, kNone, kNone, N(31), 3 * kMinute, Source::BuiltIn, {Source::MachineDefault}},
        {Setting::DelayMinutes, kNone, kNone, N(90000), N(5), 90000, Source::Account, {}},
        {Setting::DelayMinutes, kNone, N(0), N(90000), N(5), 90000, Source::Account, {Source::UserPolicy}},
        {Setting::DelayMinutes, kNone, N(30), N(90000), N(5), 30 * kMinute, Source::UserPolicy, {}},
        {Setting::DelayMinutes, N(31), N(2), N(90000), kNone, 2 * kMinute, Source::UserPolicy, {Source::MachinePolicy}},
        {Setting::DelayMinutes, N(1), N(2), N(90000), N(5), 1 * kMinute, Source::MachinePolicy, {}},
        {Setting::DelayMinutes, kText, kText, N(90000), kText, 90000, Source::Account,
         {Source::MachineDefault, Source::UserPolicy, Source::MachinePolicy}},
        {Setting::Manual, N(2), N(1), N(0), kNone, 1, Source::UserPolicy, {Source::MachinePolicy}},
        {Setting::Manual, N(0), N(1), N(1), N(1), 0, Source::MachinePolicy, {}},
        {Setting::Manual, kNone, kNone, kNone, N(1), 1, Source::MachineDefault, {}},
        {Setting::StartWhenReady, kNone, kNone, kNone, N(1), 1, Source::MachineDefault, {}},
        {Setting::StartWhenReady, kNone, kNone, N(0), N(1), 0, Source::Account, {}},
        {Setting::StartWhenReady, kNone, kText, kNone, N(2), 0, Source::BuiltIn,
         {Source::MachineDefault, Source::UserPolicy}},
        // The package sets no default for the notices: a value there is not read.
        {Setting::NotifyNewcomers, kNone, kNone, kNone, N(0), 1, Source::BuiltIn, {}},
        {Setting::NotifyNewcomers, kNone, N(0), N(1), kNone, 0, Source::UserPolicy, {}},
    };
    for (const Row& row : rows) {
        RegistrySandbox sandbox;
        const wchar_t* name = policy::PolicyOf(row.setting).valueName;
        Place(HKEY_LOCAL_MACHINE, keys::kPolicies, name, row.machinePolicy);
        Place(HKEY_CURRENT_USER, keys::kPolicies, name, row.userPolicy);
        Place(HKEY_CURRENT_USER, keys::kConfig, ConfigName(row.setting), row.config);
        Place(HKEY_LOCAL_MACHINE, keys::kDefaults, name, row.machineDefault);
        std::vector<Source> ignored;
        policy::EffectiveSettings settings = policy::EffectiveSettings::Read([&](const policy::IgnoredValue& value) {
            EXPECT_EQ(value.setting, row.setting);
            ignored.push_back(value.place);
        });
        const std::string where = "row " + std::to_string(&row - rows);
        EXPECT_EQ(settings.Value(row.setting), row.value) << where;
        EXPECT_EQ(settings.SourceOf(row.setting), row.source) << where;
        EXPECT_EQ(ignored, row.ignored) << where;
        // The account's choice holds only where no policy sets the setting.
        const bool byPolicy = row.source == Source::MachinePolicy || row.source == Source::UserPolicy;
        EXPECT_EQ(settings.Choose(row.setting, row.value + 1), !byPolicy) << where;
        EXPECT_EQ(settings.Value(row.setting), byPolicy ? row.value : row.value + 1) << where;
        // Nothing read from a policy was written to the account's Config.
        const std::optional<RegValueBlob> config = S::Get(HKEY_CURRENT_USER, keys::kConfig, ConfigName(row.setting));
        EXPECT_EQ(config.has_value(), row.config.kind != Value::None) << where;
    }
}

}  // namespace
