#include "ready/ReadySession.h"

#include <utility>
#include <vector>

namespace ready {
namespace {

bool SameEntry(const StartupEntry& a, const StartupEntry& b) { return IdentityOf(a) == IdentityOf(b); }

}  // namespace

ReadySession::ReadySession(const EntryList& entries, const launch::Launcher& launcher, Hooks hooks,
                           std::unique_ptr<LoadSource> load, HKEY settingsRoot)
    : impacts_(settingsRoot),
      load_(load ? std::move(load) : std::make_unique<SystemLoad>()),
      firstMinute_([this](const std::wstring& name, const Usage& usage) { impacts_.Write(name, usage); }),
      starter_(entries, impacts_.ReadAll(entries), *load_,
               ReadyStarter::Hooks{[&launcher](const StartupEntry& entry, win::UniqueHandle* process) {
                                       return launcher.LaunchEntry(entry, process);
                                   },
                                   std::move(hooks.progress), std::move(hooks.outcome),
                                   [this](const StartupEntry& entry, win::UniqueHandle process) {
                                       firstMinute_.Watch(entry.name, std::move(process));
                                   }},
               LogicalProcessors()) {}

unsigned ReadySession::LogicalProcessors() {
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    return system.dwNumberOfProcessors;
}

EntryList ReadySession::Finish(const EntryList& current) {
    const std::size_t started = starter_.Stop();
    const EntryList& order = starter_.Order();
    EntryList rest;  // in the current list's order
    for (std::size_t index = current.Count(); index-- > 0;) {
        bool done = false;
        for (std::size_t i = 0; i < started && !done; ++i) done = SameEntry(current[index], order[i]);
        if (!done) rest.InsertFront(current[index]);
    }
    return rest;
}

}  // namespace ready
