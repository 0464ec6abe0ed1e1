#include "app/HeldMachineEntries.h"

#include "takeover/OwnedEngine.h"

namespace machinekeys {
namespace {

// Whether Windows starts a program of this name from one of the entry's Run
// keys already: a restore that found a newer value there left the old copy
// behind, and only the newer one is Windows's.
bool StartedByWindows(const lists::SourceTable& sources, const StartupEntry& entry) {
    for (std::size_t row = 0; row < sources.size(); ++row)
        if ((entry.lists & ListBit(row)) && sources[row]->StartedByWindows(entry)) return true;
    return false;
}

}  // namespace

void StartHeldMachineEntries(const launch::Launcher::Starts& starts) {
    takeover::OwnedEngine engine(takeover::kNoScope, takeover::kMachineScope, takeover::CompanyReading::Skipped);
    engine.manager.RebuildList();
    const EntryList listed = engine.model.CopyList();
    EntryList toStart;  // in the list's order
    for (std::size_t index = listed.Count(); index-- > 0;)
        if (!StartedByWindows(engine.sources, listed[index])) toStart.InsertFront(listed[index]);
    launch::Launcher(engine.model, starts).LaunchAll(toStart);
}

}  // namespace machinekeys
