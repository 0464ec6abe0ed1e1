#pragma once
#include "takeover/PrintedEvents.h"
#include "takeover/StartupListModel.h"
#include "takeover/StartupManager.h"
#include "lists/SourceTable.h"

namespace takeover {

// Whose lists an engine changes or lists, by scope rather than by row.
enum ScopeSet : unsigned { kNoScope = 0, kUserScope = 1, kMachineScope = 2, kEveryScope = 3 };

inline ListSet RowsOf(const lists::SourceTable& table, ScopeSet scopes) {
    return ((scopes & kUserScope) ? lists::RowsOf(table, lists::Scope::User) : 0) |
           ((scopes & kMachineScope) ? lists::RowsOf(table, lists::Scope::Machine) : 0);
}

// An engine with everything it works on, for the process or switch that builds
// it: the source table, the list model and the lines (or the caller's sink).
class OwnedEngine {
public:
    OwnedEngine(ScopeSet written, ScopeSet listed, CompanyReading companies = CompanyReading::Read,
                ItemEventSink* events = nullptr)
        : sources(lists::BuildSourceTable()),
          model(companies),
          manager(sources, RowsOf(sources, written), RowsOf(sources, listed), events ? *events : lines, model) {}
    OwnedEngine(const OwnedEngine&) = delete;
    OwnedEngine& operator=(const OwnedEngine&) = delete;

    ListSet Rows(ScopeSet scopes) const { return RowsOf(sources, scopes); }

    const lists::SourceTable sources;
    PrintedEvents lines;
    StartupListModel model;
    CStartupManager manager;
};

}  // namespace takeover
