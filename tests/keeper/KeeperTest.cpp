// The keeper service's work in this process, on a pipe of its own, against the
// sandboxed registry: the same Keeper object the service runs, without the
// Service Control Manager (tests/app/keeper*.sh run the installed service).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "../engine/EngineTestSupport.h"
#include "engine/model/StartupLists.h"
#include "keeper/Keeper.h"
#include "keeper/link/KeeperClient.h"

using namespace enginetest;
using S = RegistrySandbox;

namespace {

std::wstring TestPipe() { return L"\\\\.\\pipe\\Quorvell.Pacewick.KeeperTest." + std::to_wstring(GetCurrentProcessId()); }

keeper::Reply Ask(keeper::Verb verb, std::uint32_t row = 0, const std::wstring& name = L"") {
    return keeper::Call(keeper::Request{verb, row, name}, TestPipe());
}

struct KeeperUnderTest {
    std::atomic<bool> grant{false};
    std::atomic<int> checks{0};
    keeper::Keeper keeper{keeper::Keeper::Options{TestPipe(), [this](HANDLE) {
                                                     ++checks;
                                                     return grant.load();
                                                 }}};
    KeeperUnderTest() { EXPECT_TRUE(keeper.Start()); }
    ~KeeperUnderTest() {
        keeper.Stop();
        Manager().SetLists(~0u, ~0u);
        Manager().SetReadsCompanies(true);
    }
};

const RegValueBlob kExpand = S::Text("\"%ProgramFiles%\\Tool\\tool.exe\" /tray", REG_EXPAND_SZ);
const RegValueBlob kText32 = S::Text("C:\\Tools32\\t.exe -x");

// The machine's keys, and the user's BackUp key, which no request may change.
std::vector<Snapshot> Keys() {
    return {Take(kMachine, keys::kRun), Take(kMachine, keys::kBackUp), Take(kMachine, keys::kRun32),
            Take(kMachine, keys::kBackUp32), Take(kUser, keys::kBackUp)};
}

}  // namespace

TEST(Keeper, TakesOverBothViewsAtStartAndOnChangeAndRestoresAndHoldsOffAcrossARestart) {
    S sandbox;
    S::Put(kMachine, keys::kRun, "at start", kExpand);
    S::PutText(kMachine, keys::kRun, "Pacewick", "\"C:\\Program Files\\p.exe\"");
    S::PutText(kUser, keys::kRun, "user tool", "C:\\user.exe");
    const Snapshot userRun = Take(kUser, keys::kRun);
    {
        KeeperUnderTest service;
        EXPECT_EQ(kExpand, S::Get(kMachine, keys::kBackUp, "at start"));
        // The service opens no file an entry names: not even "Unknown" is looked up.
        const EntryList listed = Manager().CopyList();
        ASSERT_EQ(1u, listed.Count());
        EXPECT_STREQ("", listed.begin()->company);
        S::Put(kMachine, keys::kRun32, "on change", kText32);
        EXPECT_TRUE(WaitUntil([] { return S::Get(kMachine, keys::kBackUp32, "on change") == kText32; }));
        EXPECT_TRUE(WaitUntil([] { return Take(kMachine, keys::kRun32).empty(); }));
        EXPECT_EQ((Names{"Pacewick"}), NamesOf(Take(kMachine, keys::kRun)));
        EXPECT_EQ(userRun, Take(kUser, keys::kRun));  // never the user's keys

        EXPECT_EQ(keeper::MachineRows(), Ask(keeper::Verb::Ping).detail);
        EXPECT_EQ(keeper::Status::Ok, Ask(keeper::Verb::RestoreAll).status);
        EXPECT_EQ(kExpand, S::Get(kMachine, keys::kRun, "at start"));
        EXPECT_EQ(kText32, S::Get(kMachine, keys::kRun32, "on change"));
        EXPECT_TRUE(Take(kMachine, keys::kBackUp).empty());
        EXPECT_TRUE(Take(kMachine, keys::kBackUp32).empty());
        EXPECT_EQ(keeper::MachineRows() | keeper::kHeldOff, Ask(keeper::Verb::Ping).detail);
        S::PutText(kMachine, keys::kRun, "while held", "C:\\held.exe");
        Sleep(300);
        EXPECT_TRUE(S::Get(kMachine, keys::kRun, "while held").has_value());
    }
    {
        KeeperUnderTest restarted;  // the hold-off is kept in the registry
        Sleep(300);
        EXPECT_TRUE(S::Get(kMachine, keys::kRun, "while held").has_value());
        EXPECT_TRUE(Take(kMachine, keys::kBackUp).empty());
        EXPECT_EQ(keeper::Status::Ok, Ask(keeper::Verb::Resume).status);
        // Taken over before the reply: the program lists right after it.
        EXPECT_EQ((Names{"at start", "while held"}), NamesOf(Take(kMachine, keys::kBackUp)));
        EXPECT_EQ((Names{"on change"}), NamesOf(Take(kMachine, keys::kBackUp32)));
        EXPECT_EQ(keeper::MachineRows(), Ask(keeper::Verb::Ping).detail);
    }
    EXPECT_EQ(userRun, Take(kUser, keys::kRun));
}

TEST(Keeper, DeletesOnlyForAnElevatedAdministratorFromAMachineRowAndAnswersMalformedRequestsWithAnError) {
    S sandbox;
    S::PutText(kMachine, keys::kBackUp, "machine entry", "C:\\m.exe");
    S::Put(kMachine, keys::kBackUp32, "machine entry", kExpand);
    S::PutText(kUser, keys::kBackUp, "machine entry", "C:\\user.exe");
    S::PutText(kMachine, keys::kRun32, "Pacewick", "x");
    KeeperUnderTest service;
    std::vector<Snapshot> before = Keys();

    // Refused by the token check: nothing changes.
    EXPECT_EQ(keeper::Status::Denied, Ask(keeper::Verb::DeleteEntry, kMachineList, L"machine entry").status);
    EXPECT_EQ(1, service.checks.load());
    // Never the user's row, nor a row past the table, nor a name no entry can have, whoever asks.
    service.grant = true;
    EXPECT_EQ(keeper::Status::BadRequest, Ask(keeper::Verb::DeleteEntry, kUserList, L"machine entry").status);
    EXPECT_EQ(keeper::Status::BadRequest, Ask(keeper::Verb::DeleteEntry, 7, L"machine entry").status);
    EXPECT_EQ(keeper::Status::BadRequest,
              Ask(keeper::Verb::DeleteEntry, kMachineList, std::wstring(1, wchar_t(0xD800)) + L"x").status);
    EXPECT_EQ(keeper::Status::BadRequest, Ask(keeper::Verb::DeleteEntry, kMachineList, std::wstring(16383, L'n')).status);
    // Requests that do not decode.
    std::vector<BYTE> restore = keeper::EncodeRequest(keeper::Request{keeper::Verb::RestoreAll, 0, L"ab"});
    const std::vector<std::vector<BYTE>> requests = {
        {},                                                  // nothing
        {1, 0, 0},                                           // shorter than a header
        [&] { auto r = restore; r.pop_back(); return r; }(), // a name cut short
        [&] { auto r = restore; r.push_back(0); return r; }(),  // a byte too many
        [&] { auto r = restore; r[12] = 0; r[13] = 0; return r; }(),  // a NUL in the name
        [&] { auto r = restore; r[0] = 42; return r; }(),    // an unknown verb
        std::vector<BYTE>(keeper::kMaxRequest + 1, 0x20),    // oversized
    };
    for (const std::vector<BYTE>& request : requests) {
        std::vector<BYTE> reply;
        ASSERT_TRUE(keeper::Exchange(TestPipe(), request, &reply)) << request.size() << " bytes";
        keeper::Reply decoded;
        ASSERT_TRUE(keeper::DecodeReply(reply.data(), static_cast<DWORD>(reply.size()), &decoded));
        EXPECT_EQ(keeper::Status::BadRequest, decoded.status) << request.size() << " bytes";
    }
    // A client that connects and says nothing is dropped; the next one is served.
    {
        win::UniqueHandle silent;
        for (int attempt = 0; attempt < 50 && !silent; ++attempt) {
            WaitNamedPipeW(TestPipe().c_str(), 1000);
            silent.Reset(CreateFileW(TestPipe().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
        }
        ASSERT_TRUE(silent);
        EXPECT_EQ(keeper::MachineRows(), Ask(keeper::Verb::Ping).detail) << "held off";
    }
    EXPECT_EQ(before, Keys());

    // Granted: that row's BackUp key loses the name, and no other key.
    const keeper::Reply deleted = Ask(keeper::Verb::DeleteEntry, 2, L"machine entry");
    EXPECT_EQ(keeper::Status::Ok, deleted.status);
    EXPECT_EQ(1u, deleted.detail);
    before[3].clear();
    EXPECT_EQ(before, Keys());
}
