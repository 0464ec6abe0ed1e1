// The Keeper object the service runs, on a pipe of its own over the sandboxed registry, without the SCM.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "LogRoot.h"
#include "TakeOverSupport.h"
#include "keeper/Keeper.h"
#include "keeper/KeeperLog.h"
#include "keeper/LogFolder.h"
#include "keeper/ServiceHardening.h"
#include "keeperlink/KeeperClient.h"
#include "win/Text.h"

using namespace enginetest;
using S = RegistrySandbox;

namespace {

// The rows of the requests: the source table's user and machine Run keys.
constexpr std::uint32_t kUserList = 0, kMachineList = 1;

std::string PipeText() { return "\\\\.\\pipe\\Quorvell.Pacewick.KeeperTest." + std::to_string(GetCurrentProcessId()); }
std::wstring TestPipe() { const std::string text = PipeText(); return {text.begin(), text.end()}; }
// The keeper under test serves in this process.
const keeper::ExpectedServer kThisProcess = [] { return GetCurrentProcessId(); };

keeper::Reply Ask(keeper::Verb verb, std::uint32_t row = 0, const std::wstring& name = L"") {
    return keeper::Call(keeper::Request{verb, row, name}, TestPipe(), kThisProcess);
}

// keeper_fixture started with the arguments, its output going to the test's.
win::UniqueHandle StartFixture(const std::string& command) {
    return StartProgram(W("\"" + FixtureDir() + "\\keeper_fixture.exe\" " + command), 0, nullptr, TRUE);
}

struct KeeperUnderTest {
    std::atomic<bool> grant{false};
    std::atomic<int> checks{0};
    keeper::Keeper keeper{keeper::Keeper::Options{TestPipe(), [this](HANDLE) {
                                                     ++checks;
                                                     return grant.load();
                                                 }}};
    explicit KeeperUnderTest(bool pipeFree = true) { EXPECT_EQ(pipeFree, keeper.Start()); }
    ~KeeperUnderTest() {
        keeper.Stop();
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

TEST(Keeper, TakesOverBothViewsAtStartAndOnChangeAndForAnElevatedAdministratorRestoresHoldsOffAndResumes) {
    S sandbox;
    S::Put(kMachine, keys::kRun, "at start", kExpand);
    S::PutText(kMachine, keys::kRun, "Pacewick", "\"C:\\Program Files\\p.exe\"");
    S::PutText(kUser, keys::kRun, "user tool", "C:\\user.exe");
    const Snapshot userRun = Take(kUser, keys::kRun);
    {
        KeeperUnderTest service;
        EXPECT_EQ(kExpand, S::Get(kMachine, keys::kBackUp, "at start"));
        // The service opens no file an entry names: not even "Unknown" is looked up.
        const EntryList listed = service.keeper.Held();
        ASSERT_EQ(1u, listed.Count());
        EXPECT_EQ(L"", listed.begin()->company);
        S::Put(kMachine, keys::kRun32, "on change", kText32);
        EXPECT_TRUE(WaitUntil([] { return S::Get(kMachine, keys::kBackUp32, "on change") == kText32; }));
        EXPECT_TRUE(WaitUntil([] { return Take(kMachine, keys::kRun32).empty(); }));
        EXPECT_EQ((Names{"Pacewick"}), NamesOf(Take(kMachine, keys::kRun)));
        EXPECT_EQ(userRun, Take(kUser, keys::kRun));  // never the user's keys

        EXPECT_EQ(service.keeper.MachineRows(), Ask(keeper::Verb::Ping).detail);
        // Only an elevated administrator's restore: anyone else's changes no key and holds nothing off.
        const std::vector<Snapshot> kept = Keys();
        EXPECT_EQ(keeper::Status::Denied, Ask(keeper::Verb::RestoreAll).status);
        EXPECT_EQ(kept, Keys());
        EXPECT_EQ(service.keeper.MachineRows(), Ask(keeper::Verb::Ping).detail);
        service.grant = true;
        EXPECT_EQ(keeper::Status::Ok, Ask(keeper::Verb::RestoreAll).status);
        EXPECT_EQ(kExpand, S::Get(kMachine, keys::kRun, "at start"));
        EXPECT_EQ(kText32, S::Get(kMachine, keys::kRun32, "on change"));
        EXPECT_TRUE(Take(kMachine, keys::kBackUp).empty());
        EXPECT_TRUE(Take(kMachine, keys::kBackUp32).empty());
        EXPECT_EQ(service.keeper.MachineRows() | keeper::kHeldOff, Ask(keeper::Verb::Ping).detail);
        S::PutText(kMachine, keys::kRun, "while held", "C:\\held.exe");
        Sleep(300);
        EXPECT_TRUE(S::Get(kMachine, keys::kRun, "while held").has_value());
    }
    {
        KeeperUnderTest restarted;  // the hold-off is kept in the registry
        Sleep(300);
        EXPECT_TRUE(S::Get(kMachine, keys::kRun, "while held").has_value());
        EXPECT_TRUE(Take(kMachine, keys::kBackUp).empty());
        EXPECT_EQ(keeper::Status::Denied, Ask(keeper::Verb::Resume).status);
        EXPECT_EQ(restarted.keeper.MachineRows() | keeper::kHeldOff, Ask(keeper::Verb::Ping).detail) << "resumed";
        EXPECT_TRUE(S::Get(kMachine, keys::kRun, "while held").has_value());
        restarted.grant = true;
        EXPECT_EQ(keeper::Status::Ok, Ask(keeper::Verb::Resume).status);
        // Taken over before the reply: the program lists right after it.
        EXPECT_EQ((Names{"at start", "while held"}), NamesOf(Take(kMachine, keys::kBackUp)));
        EXPECT_EQ((Names{"on change"}), NamesOf(Take(kMachine, keys::kBackUp32)));
        EXPECT_EQ(restarted.keeper.MachineRows(), Ask(keeper::Verb::Ping).detail);
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
        [&] { auto r = restore; r[0] = 5; return r; }(),     // a restore before the removal: the removal's own
        std::vector<BYTE>(keeper::kMaxRequest + 1, 0x20),    // oversized
    };
    for (const std::vector<BYTE>& request : requests) {
        std::vector<BYTE> reply;
        ASSERT_TRUE(keeper::Exchange(TestPipe(), request, &reply, kThisProcess)) << request.size() << " bytes";
        keeper::Reply decoded;
        ASSERT_TRUE(keeper::DecodeReply(reply.data(), static_cast<DWORD>(reply.size()), &decoded));
        EXPECT_EQ(keeper::Status::BadRequest, decoded.status) << request.size() << " bytes";
    }
    // A client that connects and says nothing is dropped within a second.
    {
        win::UniqueHandle silent;
        for (int attempt = 0; attempt < 50 && !silent; ++attempt) {
            WaitNamedPipeW(TestPipe().c_str(), 1000);
            silent.Reset(CreateFileW(TestPipe().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
        }
        ASSERT_TRUE(silent);
        const ULONGLONG connected = GetTickCount64();
        BYTE byte = 0;
        DWORD read = 0;
        EXPECT_FALSE(ReadFile(silent.Get(), &byte, 1, &read, nullptr));
        EXPECT_LT(GetTickCount64() - connected, 1000u);
    }
    EXPECT_EQ(before, Keys());

    // Granted: that row's BackUp key loses the name, and no other key.
    const keeper::Reply deleted = Ask(keeper::Verb::DeleteEntry, 2, L"machine entry");
    EXPECT_EQ(keeper::Status::Ok, deleted.status);
    EXPECT_EQ(1u, deleted.detail);
    before[3].clear();
    EXPECT_EQ(before, Keys());
}

TEST(Keeper, LogKeepsEachHostileNameOnOneBoundedLineAndRefusalsCannotFillIt) {
    S sandbox;
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    {
        KeeperUnderTest service;
        EXPECT_EQ(keeper::Status::Denied,
                  Ask(keeper::Verb::DeleteEntry, kMachineList, L"tool\r\n\u202E10.0.0.1 update.example").status);
        for (int request = 0; request < 200; ++request) {
            std::vector<BYTE> reply;
            EXPECT_TRUE(keeper::Exchange(TestPipe(), {1, 0, 0}, &reply, kThisProcess));
        }
    }
    std::string hostile = "name\r\n";
    for (int character = 0; character < 16000; ++character) hostile += "\xC3\xA9";  // é
    PrintLine("Value left in place: %s\n", hostile.c_str());  // the engine's lines, through the same path
    for (int request = 0; request < 100000; ++request) keeper::LogRefusal("Request refused: malformed or unknown");
    keeper::CloseLog();

    const std::vector<std::string> lines = log.Lines();
    const std::string text = LogRoot::Read(log.Path(keeper::kLogName));
    EXPECT_LT(text.size(), 8192u);
    EXPECT_TRUE(win::Wide(text)) << "cut on a character's boundary";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<std::ptrdiff_t>(lines.size())) << "a line break of its own";
    EXPECT_EQ(1, CountOf(text, "administrator: tool\\x0D\\x0A\\xE2\\x80\\xAE10.0.0.1 update.example\r\n"));
    EXPECT_EQ(1, CountOf(text, "Value left in place: name\\x0D\\x0A\xC3\xA9\xC3\xA9"));
    for (const std::string& line : lines) {
        EXPECT_LT(line.size(), 600u);
        EXPECT_TRUE(line.find("Value left in place") == std::string::npos || line.substr(line.size() - 6) == " [cut]");
    }
    EXPECT_EQ(4, CountOf(text, "Request refused: malformed or unknown"));  // and the denied delete: five a minute
    EXPECT_NE(std::string::npos, lines.back().find("Refusals left out of this log: 100196 "));
}

TEST(Keeper, RefusesACallerItCannotIdentifyWithinTheLogsCap) {
    S sandbox;
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    {
        // Wine opens even an anonymous-level client's token: the check is given a handle impersonation refuses.
        keeper::Keeper service{keeper::Keeper::Options{
            TestPipe(), [](HANDLE) { return keeper::CallerIsElevatedAdministrator(nullptr); }}};
        ASSERT_TRUE(service.Start());
        for (int request = 0; request < 300; ++request)
            ASSERT_EQ(keeper::Status::Denied, Ask(keeper::Verb::RestoreAll).status) << request;
        service.Stop();
    }
    keeper::CloseLog();
    const std::string text = LogRoot::Read(log.Path(keeper::kLogName));
    EXPECT_LE(1, CountOf(text, "Caller check: the caller cannot be identified"));
    EXPECT_EQ(5, CountOf(text, "Caller check: ") + CountOf(text, "Request refused: ")) << text.substr(0, 3000);
    EXPECT_NE(std::string::npos, text.find("Refusals left out of this log: 595 "));
}

TEST(Keeper, LogBecomesTheOneOlderFileAtItsCap) {
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    const std::string filler(400, 'x');
    for (int line = 0; line < 6000; ++line) keeper::Log("%05d %s", line, filler.c_str());  // 2.6 MB
    keeper::CloseLog();
    const std::vector<std::string> current = log.Lines(), older = log.Lines(keeper::kOldLogName);
    ASSERT_FALSE(current.empty());
    ASSERT_FALSE(older.empty());
    const auto number = [](const std::string& line) { return std::stoi(line.substr(line.find("] ") + 2, 5)); };
    EXPECT_GT(number(older.front()), 0) << "the first older file is replaced";
    EXPECT_EQ(number(older.back()) + 1, number(current.front())) << "no line lost between them";
    EXPECT_EQ(5999, number(current.back()));
    for (const wchar_t* name : {keeper::kLogName, keeper::kOldLogName})
        EXPECT_LE(LogRoot::Read(log.Path(name)).size(), static_cast<std::size_t>(keeper::kMaxLogBytes));
}

namespace {
// What Wine cannot make: a folder owned by another account, a reparse point.
std::wstring fakedFolder;
keeper::HandleFacts faked;
bool FakeFacts(HANDLE handle, const std::wstring& path, keeper::HandleFacts* facts) {
    if (!keeper::ReadHandleFacts(handle, facts)) return false;
    const std::size_t size = fakedFolder.size();
    if (path.size() >= size && path.compare(path.size() - size, size, fakedFolder) == 0) {
        facts->attributes |= faked.attributes;
        facts->trustedOwner = facts->trustedOwner && faked.trustedOwner;
    }
    return true;
}
}  // namespace

TEST(Keeper, LogIsNeverWrittenThroughAFolderOrFileThatIsNotTheKeepers) {
    const keeper::HandleFactsReader original = keeper::HandleFactsHook().exchange(FakeFacts);
    const std::pair<const wchar_t*, keeper::HandleFacts> refused[] = {
        {L"\\Quorvell Software", keeper::HandleFacts{FILE_ATTRIBUTE_REPARSE_POINT, 0, true, false, {}}},
        {L"\\Pacewick", keeper::HandleFacts{0, 0, false, false, {}}},
    };
    for (const auto& [folder, facts] : refused) {
        LogRoot log;
        fakedFolder = folder;
        faked = facts;
        EXPECT_FALSE(keeper::OpenLog(log.root));
        keeper::Log("through a refused folder");
        keeper::CloseLog();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log.Path(keeper::kLogName).c_str()));
    }
    keeper::HandleFactsHook() = original;

    // A keeper.log planted as a hard link to a user's file: the name goes, the user's file stays as it was.
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    keeper::CloseLog();
    const std::wstring users = log.root + L"\\hosts";
    { win::UniqueHandle file(CreateFileW(users.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); }
    ASSERT_TRUE(DeleteFileW(log.Path(keeper::kLogName).c_str()));
    ASSERT_TRUE(CreateHardLinkW(log.Path(keeper::kLogName).c_str(), users.c_str(), nullptr));
    ASSERT_TRUE(keeper::OpenLog(log.root));
    keeper::Log("into a file of the keeper's own");
    keeper::CloseLog();
    EXPECT_EQ("", LogRoot::Read(users));
    EXPECT_EQ(1, CountOf(LogRoot::Read(log.Path(keeper::kLogName)), "into a file of the keeper's own"));
    DeleteFileW(users.c_str());
}

TEST(Keeper, ServiceDropsEveryPrivilegeButTraversal) {
    win::UniqueHandle process, token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.Put()));
    ASSERT_TRUE(
        DuplicateTokenEx(process.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, token.Put()));
    ASSERT_TRUE(keeper::DropUnusedPrivileges(token.Get()));
    alignas(TOKEN_PRIVILEGES) BYTE buffer[4096];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token.Get(), TokenPrivileges, buffer, sizeof buffer, &size));
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    ASSERT_EQ(1u, privileges->PrivilegeCount);
    wchar_t name[64];
    DWORD length = 64;
    LUID luid = privileges->Privileges[0].Luid;
    ASSERT_TRUE(LookupPrivilegeNameW(nullptr, &luid, name, &length));
    EXPECT_STREQ(L"SeChangeNotifyPrivilege", name);
}

namespace {
std::atomic<DWORD> pingingProcess{0};
std::string AccountPingingApart(DWORD process) {
    return process == pingingProcess ? "another account" : keeper::AccountOfProcess(process);
}
}  // namespace

TEST(Keeper, AnswersOnlyFromItsOwnPipeWhichItMakesOnceASquatterIsGoneAndWithinASecondBesideClientsThatNeverRead) {
    S sandbox;
    const win::UniqueHandle squatter = StartFixture("squat 5000 " + PipeText());
    ASSERT_TRUE(squatter);
    ASSERT_TRUE(WaitUntil([] { return WaitNamedPipeW(TestPipe().c_str(), 1) != FALSE; }));
    {
        KeeperUnderTest service(false);  // the name is taken
        // The squatter answers whoever takes it for the keeper; the program's side refuses it.
        const DWORD squatterId = GetProcessId(squatter.Get());
        EXPECT_EQ(keeper::Status::Ok,
                  keeper::Call(keeper::Request{}, TestPipe(), [squatterId] { return squatterId; }).status);
        const std::string said = OutputOf([] { EXPECT_EQ(keeper::Status::NoService, Ask(keeper::Verb::Ping).status); });
        EXPECT_NE(std::string::npos, said.find("Keeper pipe refused")) << said;
        // Once the name is free the keeper makes its pipe, without a restart.
        EXPECT_EQ(0u, ExitCodeOf(squatter));
        EXPECT_TRUE(WaitUntil([] { return Ask(keeper::Verb::Ping).status == keeper::Status::Ok; }, 5000));
    }
    // 48 clients of another process that never read: ten Pings of this account are each answered within 1 s.
    KeeperUnderTest service;
    const std::string hogs = "hogs 48 10 " + PipeText() + " " + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(0u, ExitCodeOf(StartFixture(hogs)));
    // Wine has one account: the Pinging process gets its own; eight hostile processes share the other's four instances.
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    const keeper::AccountReader original = keeper::AccountReaderHook().exchange(AccountPingingApart);
    const win::UniqueHandle pinging =
        StartFixture("hogs 16 10 " + PipeText() + " " + std::to_string(GetCurrentProcessId()) + " 8");
    pingingProcess = GetProcessId(pinging.Get());
    EXPECT_EQ(0u, ExitCodeOf(pinging));
    keeper::CloseLog();
    const std::string text = LogRoot::Read(log.Path(keeper::kLogName));
    EXPECT_LE(1, CountOf(text, "Client dropped: the account of its process")) << text;
    EXPECT_EQ(0, CountOf(text, "Client dropped: its process"));
    keeper::AccountReaderHook() = original;
}

// The service leaves what the machine's LeaveAlone list names in both views' Run keys, gives back what
// it held exactly, and never follows an account's own list nor puts a value it did not hold into a machine key.
TEST(Keeper, LeavesWhatTheMachinesProgramListNamesAndGivesBackOnlyWhatItHeld) {
    S sandbox;
    const std::string list = std::string(U8(keys::kPolicies)) + "\\LeaveAlone";
    S::Create(kMachine, list.c_str());
    S::PutText(kMachine, list.c_str(), "1", "vpnui.exe");
    S::PutText(kMachine, list.c_str(), "2", "%ProgramFiles%\\Tool\\tool.exe");
    S::Create(kUser, list.c_str());
    S::PutText(kUser, list.c_str(), "1", "t.exe");
    S::PutText(kMachine, keys::kRun, "vpn", "\"C:\\Program Files\\VPN\\vpnui.exe\" /tray");
    S::PutText(kMachine, keys::kRun32, "vpn32", "C:\\VPN\\VPNUI.EXE");
    S::Put(kMachine, keys::kRun32, "t", kText32);
    S::Put(kMachine, keys::kBackUp, "tool", kExpand);
    S::PutText(kUser, keys::kBackUp, "user vpn", "C:\\VPN\\vpnui.exe");
    const Snapshot userBackUp = Take(kUser, keys::kBackUp);
    KeeperUnderTest service;
    EXPECT_EQ((Names{"tool", "vpn"}), NamesOf(Take(kMachine, keys::kRun)));
    EXPECT_EQ(kExpand, S::Get(kMachine, keys::kRun, "tool"));
    EXPECT_TRUE(Take(kMachine, keys::kBackUp).empty());
    EXPECT_EQ((Names{"vpn32"}), NamesOf(Take(kMachine, keys::kRun32)));
    EXPECT_EQ(kText32, S::Get(kMachine, keys::kBackUp32, "t"));
    EXPECT_EQ(userBackUp, Take(kUser, keys::kBackUp));
    // A newcomer the list names stays beside one it does not, which the watcher takes.
    S::PutText(kMachine, keys::kRun, "vpn again", "C:\\VPN2\\vpnui.exe");
    S::PutText(kMachine, keys::kRun, "newcomer", "C:\\new.exe");
    EXPECT_TRUE(WaitUntil([] { return S::Get(kMachine, keys::kBackUp, "newcomer").has_value(); }));
    EXPECT_TRUE(WaitUntil([] { return NamesOf(Take(kMachine, keys::kRun)) == Names{"tool", "vpn", "vpn again"}; }));
}
