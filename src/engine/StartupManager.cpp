#include "engine/StartupManager.h"

#include <cstring>

CStartupManager* CStartupManager::GetInstance() {
    // Never destroyed: monitor threads may still use it while the process ends.
    static CStartupManager* const instance = new CStartupManager();
    return instance;
}

EntryList CStartupManager::CopyList() {
    auto lock = Lock();
    return list_;
}

void CStartupManager::WalkList(const std::function<void(const StartupEntry&)>& visit) {
    auto lock = Lock();
    for (const StartupEntry& entry : list_) visit(entry);
}

int CStartupManager::MarkPresentInBoth(const char* name) {
    auto lock = Lock();
    int found = 0;
    for (StartupEntry& entry : list_) {
        if (std::strcmp(entry.name, name) == 0) {
            SetField(entry.origin, origin::kBoth);
            found = 1;
        }
    }
    return found;
}
