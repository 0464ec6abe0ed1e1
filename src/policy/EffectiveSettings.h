#pragma once
#include <windows.h>

#include <array>
#include <functional>

#include "policy/PolicyTable.h"

namespace policy {

// Where a setting's value came from, strongest first.
enum class Source { MachinePolicy, UserPolicy, Account, MachineDefault, BuiltIn };

// A value that was there but is not used: of another type than REG_DWORD (of
// four bytes) or out of the setting's range. Only the policies' places and the
// machine's defaults are checked; the account's Config is read as it always was.
struct IgnoredValue {
    Source place;
    Setting setting;
};
using IgnoredFunction = std::function<void(const IgnoredValue&)>;
// A place as the output and the Event Log name it ("machine policy", ...).
const char* PlaceName(Source place);

// Each setting as it holds for this log-on: the machine's policy, else the
// user's policy, else the account's Config, else the machine's defaults, else
// the built-in default. Read once at the program's start; the account's own
// choices change only what no policy sets, and nothing here writes a policy's
// value anywhere.
class EffectiveSettings {
public:
    // Everything from its built-in default.
    EffectiveSettings();

    // From the registry. Each ignored value is said once in a diagnostic line
    // (by its place and setting, never its data) and handed to `ignored` when given.
    static EffectiveSettings Read(const IgnoredFunction& ignored = nullptr);

    // The delay in milliseconds, the switches 0 or 1.
    DWORD Value(Setting setting) const { return Of(setting).value; }
    Source SourceOf(Setting setting) const { return Of(setting).source; }
    bool SetByPolicy(Setting setting) const {
        return SourceOf(setting) == Source::MachinePolicy || SourceOf(setting) == Source::UserPolicy;
    }
    DWORD DelayMilliseconds() const { return Value(Setting::DelayMinutes); }
    bool Manual() const { return Value(Setting::Manual) != 0; }
    bool StartWhenReady() const { return Value(Setting::StartWhenReady) != 0; }
    bool NotifyNewcomers() const { return Value(Setting::NotifyNewcomers) != 0; }

    // The account chose `value` (in Value's units): it holds unless a policy
    // sets the setting. False, and nothing changed, when one does.
    bool Choose(Setting setting, DWORD value);

private:
    struct Held {
        DWORD value;
        Source source;
    };
    const Held& Of(Setting setting) const { return held_[static_cast<std::size_t>(setting)]; }
    std::array<Held, kSettingCount> held_;
};

}  // namespace policy
