// Beside the keeper the program changes only the user's lists and opens no machine key to write.
#include <mutex>
#include <set>

#include "TakeOverSupport.h"
#include "registry/RegKey.h"

using namespace enginetest;
using S = RegistrySandbox;

namespace {

std::mutex opensMutex;
std::set<std::wstring> machineWrites;  // machine keys opened with a right to change them

void RecordOpen(HKEY root, const std::wstring& path, REGSAM access) {
    const REGSAM changing = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE | WRITE_DAC | WRITE_OWNER;
    if (root != HKEY_LOCAL_MACHINE || !(access & changing)) return;
    const std::lock_guard<std::mutex> guard(opensMutex);
    machineWrites.insert(path);
}

struct ObserverReset {
    ~ObserverReset() { registry::KeyOpenObserver() = nullptr; }
};

}  // namespace

TEST(ListSet, UserRowOnlyListsMachineBackUpKeysAndNeverOpensAMachineKeyToWrite) {
    S sandbox;
    S::PutText(kUser, keys::kRun, "user tool", "C:\\user.exe");
    S::PutText(kMachine, keys::kRun, "machine tool", "C:\\machine.exe", REG_EXPAND_SZ);
    S::PutText(kMachine, keys::kRun32, "machine32 tool", "C:\\machine32.exe");
    S::PutText(kMachine, keys::kRun, "Pacewick", "\"C:\\installer's value.exe\"");
    S::PutText(kMachine, keys::kBackUp, "kept machine", "C:\\kept.exe");
    S::PutText(kMachine, keys::kBackUp32, "kept machine32", "C:\\kept32.exe");
    const Snapshot machine[] = {Take(kMachine, keys::kRun), Take(kMachine, keys::kBackUp),
                                Take(kMachine, keys::kRun32), Take(kMachine, keys::kBackUp32)};
    const ObserverReset reset;
    {
        const std::lock_guard<std::mutex> guard(opensMutex);
        machineWrites.clear();
    }
    registry::KeyOpenObserver() = RecordOpen;
    TestEngine engine(takeover::kUserScope, takeover::kEveryScope);
    takeover::CStartupManager& manager = engine.manager;

    manager.TakeOver();
    EXPECT_EQ((Names{"user tool"}), NamesOf(Take(kUser, keys::kBackUp)));
    EXPECT_TRUE(Take(kUser, keys::kRun).empty());
    EntryList list = engine.List();
    EXPECT_EQ((Names{"kept machine", "kept machine32", "user tool"}), Sorted(NamesOf(list)));

    EXPECT_EQ(0, manager.RegisterSelf("\"C:\\elsewhere\\pacewick.exe\""));
    for (const StartupEntry& entry : list)
        if (entry.origin == Origin::AllUsers) {
            EXPECT_FALSE(manager.DeleteBackupEntry(entry));
        }
    manager.RestoreAll();
    EXPECT_EQ((Names{"user tool"}), NamesOf(Take(kUser, keys::kRun)));

    const Snapshot after[] = {Take(kMachine, keys::kRun), Take(kMachine, keys::kBackUp),
                              Take(kMachine, keys::kRun32), Take(kMachine, keys::kBackUp32)};
    for (int key = 0; key < 4; ++key) EXPECT_EQ(machine[key], after[key]) << "machine key " << key;
    const std::lock_guard<std::mutex> guard(opensMutex);
    EXPECT_TRUE(machineWrites.empty()) << "opened to write: " << *machineWrites.begin();
}
