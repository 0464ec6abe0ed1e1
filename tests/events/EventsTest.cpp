// The Event Log's entries: what the keeper and the launcher report (through a
// recording sink: Wine keeps no Event Log), and the sentences each executable
// carries for them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "LogRoot.h"
#include "TakeOverSupport.h"
#include "events/EventLog.h"
#include "RecordingEventSink.h"
#include "keeper/Keeper.h"
#include "keeper/KeeperLog.h"
#include "keeperlink/KeeperClient.h"

using namespace enginetest;
using S = RegistrySandbox;

namespace {


std::wstring TestPipe() { return L"\\\\.\\pipe\\Quorvell.Pacewick.EventsTest." + std::to_wstring(GetCurrentProcessId()); }

keeper::Reply Ask(keeper::Verb verb, std::uint32_t row = 0, const std::wstring& name = L"") {
    return keeper::Call(keeper::Request{verb, row, name}, TestPipe(), [] { return GetCurrentProcessId(); });
}

// Text an insertion string may hold: no unit that breaks or reorders a line, within its bound.
void ExpectDisplayable(const std::wstring& text) {
    EXPECT_LE(text.size(), events::kMaxInsertion);
    for (const wchar_t unit : text) {
        EXPECT_FALSE(unit < 0x20 || (unit >= 0x7F && unit < 0xA0) || (unit >= 0x2028 && unit <= 0x202E))
            << "unit " << static_cast<unsigned>(unit);
    }
}

// The sentence an executable's message table gives for the id, with these insertion strings.
std::wstring Sentence(HMODULE module, DWORD id, std::vector<std::wstring> strings) {
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& text : strings) arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
    wchar_t text[1024] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id, 0x409,
                                        text, 1024, reinterpret_cast<va_list*>(arguments.data()));
    return std::wstring(text, length);
}

}  // namespace

TEST(Events, KeeperReportsItsStartTakeOverRestoreAndStopAndRefusalsWithinTheLogsCapWithHostileNamesMadeSafe) {
    S sandbox;
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    S::PutText(kMachine, keys::kRun, "at start", "C:\\Tools\\tool.exe");
    S::PutText(kMachine, keys::kRun, "off\x1B[2J", "C:\\Tools\\off.exe");
    S::Create(kMachine, keys::kApprovedRun);
    S::Put(kMachine, keys::kApprovedRun, "off\x1B[2J", RegValueBlob(REG_BINARY, "\3\0\0\0", 4));
    RecordingSink sink;
    bool grant = false;
    {
        keeper::Keeper::Options options{TestPipe(), [&grant](HANDLE) { return grant; }};
        options.events = &sink;
        keeper::Keeper service(options);
        ASSERT_TRUE(service.Start());
        ASSERT_EQ(1u, sink.Of(PACEWICK_EVENT_KEEPER_STARTED).size());
        const std::vector<ReportedEvent> taken = sink.Of(PACEWICK_EVENT_TAKEN_OVER);
        ASSERT_EQ(1u, taken.size());
        EXPECT_EQ(events::Type::Information, taken[0].type);
        EXPECT_EQ(std::vector<std::wstring>{L"1"}, taken[0].strings);
        const std::vector<ReportedEvent> left = sink.Of(PACEWICK_EVENT_ITEM_LEFT);
        ASSERT_EQ(1u, left.size());
        EXPECT_EQ(events::Type::Information, left[0].type);
        EXPECT_EQ((std::vector<std::wstring>{L"off\uFFFD[2J", L"it is switched off"}), left[0].strings);

        std::wstring hostile = L"tool\r\n\u202E10.0.0.1 update.example";
        hostile.append(100, L'x');
        for (int request = 0; request < 50; ++request)
            ASSERT_EQ(keeper::Status::Denied, Ask(keeper::Verb::DeleteEntry, 1, hostile).status);
        const std::vector<ReportedEvent> refused = sink.Of(PACEWICK_EVENT_REQUEST_REFUSED);
        EXPECT_EQ(5u, refused.size()) << "as many as the log lets in";
        ASSERT_FALSE(refused.empty());
        EXPECT_EQ(events::Type::Warning, refused[0].type);
        ASSERT_EQ(1u, refused[0].strings.size());
        ExpectDisplayable(refused[0].strings[0]);
        EXPECT_NE(std::wstring::npos, refused[0].strings[0].find(L"administrator: tool\uFFFD\uFFFD\uFFFD10.0.0.1"));

        grant = true;
        EXPECT_EQ(keeper::Status::Ok, Ask(keeper::Verb::RestoreAll).status);
        const std::vector<ReportedEvent> restored = sink.Of(PACEWICK_EVENT_RESTORED);
        ASSERT_EQ(1u, restored.size());
        EXPECT_EQ((std::vector<std::wstring>{L"1", L"an account's Restore All"}), restored[0].strings);
        EXPECT_TRUE(sink.Of(PACEWICK_EVENT_RESTORE_INCOMPLETE).empty());
        EXPECT_TRUE(sink.Of(PACEWICK_EVENT_KEEPER_STOPPED).empty());
        service.Stop();
        service.Stop();
    }
    keeper::CloseLog();
    EXPECT_EQ(1u, sink.Of(PACEWICK_EVENT_KEEPER_STOPPED).size()) << "once, however often it is stopped";
    EXPECT_EQ(5, CountOf(LogRoot::Read(log.Path(keeper::kLogName)), "Delete refused: ")) << "the log as it was";
}

TEST(Events, LauncherWarnsOfEachProgramThatDidNotStartByItsNameMadeSafeAndBounded) {
    S sandbox;
    TestEngine engine;
    RecordingSink sink;
    launch::Launcher::Starts starts;
    starts.command = [](const std::wstring& command) { return command.find(L"missing") == std::wstring::npos; };
    const launch::Launcher launcher(engine.model, starts, &sink);
    EntryList entries;
    StartupEntry started;
    started.name = L"fine";
    started.command = L"C:\\fine.exe";
    StartupEntry failed;
    failed.name = L"bad\tname\u2028\U0001F600";
    failed.command = L"C:\\missing.exe " + std::wstring(400, L'a');
    entries.InsertFront(started);
    entries.InsertFront(failed);
    launcher.LaunchAll(entries);
    EXPECT_FALSE(launcher.LaunchEntry(failed));
    EXPECT_TRUE(launcher.LaunchEntry(started));

    const std::vector<ReportedEvent> warned = sink.Of(PACEWICK_EVENT_START_FAILED);
    ASSERT_EQ(2u, warned.size()) << "one per failed start, none for a start that worked";
    for (const ReportedEvent& event : warned) {
        EXPECT_EQ(events::Type::Warning, event.type);
        ASSERT_EQ(2u, event.strings.size());
        EXPECT_EQ(L"bad\uFFFDname\uFFFD\U0001F600", event.strings[0]);
        ExpectDisplayable(event.strings[1]);
        EXPECT_EQ(0u, event.strings[1].find(L"C:\\missing.exe aaa"));
        EXPECT_EQ(L" [cut]", event.strings[1].substr(event.strings[1].size() - 6));
    }
}

// Each event id has its sentence in the executable of its source, so that the
// message file the package registers makes it whole.
TEST(Events, EachExecutableCarriesTheSentenceOfEveryEventOfItsSource) {
    const std::wstring folder = *win::Wide(FixtureDir());
    const HMODULE program = LoadLibraryExW((folder + L"\\pacewick.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HMODULE service = LoadLibraryExW((folder + L"\\pacewick-keeper.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(program && service);
    const DWORD keeperIds[] = {PACEWICK_EVENT_KEEPER_STARTED, PACEWICK_EVENT_KEEPER_STOPPED, PACEWICK_EVENT_TAKEN_OVER,
                               PACEWICK_EVENT_RESTORED, PACEWICK_EVENT_RESTORE_INCOMPLETE, PACEWICK_EVENT_REQUEST_REFUSED,
                               PACEWICK_EVENT_ITEM_LEFT, PACEWICK_EVENT_NOT_A_SERVICE};
    for (const DWORD id : keeperIds) EXPECT_LT(20u, Sentence(service, id, {L"7", L"why"}).size()) << id;
    EXPECT_EQ(0u, Sentence(service, PACEWICK_EVENT_TAKEN_OVER, {L"7"}).find(L"The Pacewick Keeper service moved 7 start-up entries"));

    RecordingSink sink;
    events::ReportStartFailed(&sink, L"Tool", L"C:\\tool.exe /tray");
    events::ReportIgnoredPolicy(&sink, L"DelayMinutes", L"machine policy");
    events::ReportLogonSummary(&sink, 12, 10, 2, 95);
    const DWORD programIds[] = {PACEWICK_EVENT_START_FAILED, PACEWICK_EVENT_POLICY_IGNORED, PACEWICK_EVENT_LOGON_SUMMARY};
    for (const DWORD id : programIds) {
        const std::vector<ReportedEvent> reported = sink.Of(id);
        ASSERT_EQ(1u, reported.size()) << id;
        const std::wstring sentence = Sentence(program, id, reported[0].strings);
        for (const std::wstring& inserted : reported[0].strings)
            EXPECT_NE(std::wstring::npos, sentence.find(inserted)) << id << ": " << U8(sentence);
    }
    EXPECT_NE(std::wstring::npos,
              Sentence(program, PACEWICK_EVENT_LOGON_SUMMARY, sink.Of(PACEWICK_EVENT_LOGON_SUMMARY)[0].strings)
                  .find(L"held 12 programs, started 10 and could not start 2; the last one started 95 seconds"));
    FreeLibrary(program);
    FreeLibrary(service);
}
