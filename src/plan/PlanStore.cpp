#include "plan/PlanStore.h"

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"

namespace plan {

namespace {

struct Place {
    std::wstring subkey;
    std::wstring value;
};

// Where an entry's choice is kept; nothing for a logon task.
std::optional<Place> PlaceOf(const StartupEntry& entry) {
    const std::wstring plan = keys::kPlan;
    switch (entry.origin) {
    case Origin::TaskScheduler: return std::nullopt;
    case Origin::UserFolder: return Place{plan + L"\\Startup", IdentityOf(entry).name};
    case Origin::AllUsersFolder: return Place{plan + L"\\Common Startup", IdentityOf(entry).name};
    default: return Place{plan + L"\\Run", entry.name};
    }
}

}  // namespace

bool SharePlan(const StartupEntry& one, const StartupEntry& other) {
    const std::optional<Place> place = PlaceOf(one), otherPlace = PlaceOf(other);
    return place && otherPlace && place->subkey == otherPlace->subkey && place->value == otherPlace->value;
}

std::optional<StartLevel> PlanStore::Read(const StartupEntry& entry) const {
    const std::optional<Place> place = PlaceOf(entry);
    if (!place) return std::nullopt;
    registry::Key key;
    if (key.Open(root_, place->subkey, KEY_QUERY_VALUE) != ERROR_SUCCESS) return std::nullopt;
    if (key.FindValue(place->value) != ERROR_SUCCESS) return std::nullopt;
    DWORD number = 0;
    if (key.ReadDword(place->value, &number) != ERROR_SUCCESS) return StartLevel::AsSet;
    return LevelFromNumber(number);
}

std::vector<std::optional<StartLevel>> PlanStore::ReadAll(const EntryList& entries) const {
    std::vector<std::optional<StartLevel>> levels;
    levels.reserve(entries.Count());
    for (const StartupEntry& entry : entries) levels.push_back(Read(entry));
    return levels;
}

bool PlanStore::Write(const StartupEntry& entry, StartLevel level) const {
    const std::optional<Place> place = PlaceOf(entry);
    if (!place) return false;
    registry::Key key;
    return key.Create(root_, place->subkey, KEY_SET_VALUE) == ERROR_SUCCESS &&
           key.WriteDword(place->value, static_cast<DWORD>(level)) == ERROR_SUCCESS;
}

bool PlanStore::Drop(const StartupEntry& entry) const {
    const std::optional<Place> place = PlaceOf(entry);
    if (!place) return true;
    registry::Key key;
    const LONG opened = key.Open(root_, place->subkey, KEY_SET_VALUE);
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    const LONG deleted = key.DeleteValue(place->value);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

}  // namespace plan
