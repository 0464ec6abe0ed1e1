// The program's side of the keeper's pipe: an answer it cannot have in time is no answer.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "TestHelpers.h"
#include "keeperlink/KeeperClient.h"

namespace {

const keeper::ExpectedServer kThisProcess = [] { return GetCurrentProcessId(); };

// A server that takes one request, never replies, then holds its one instance busy.
TEST(KeeperClient, TakesAServerThatNeverRepliesOrAPipeKeptBusyForNoAnswerWithinItsBound) {
    const std::wstring name = L"\\\\.\\pipe\\Quorvell.Pacewick.KeeperClientTest." + std::to_wstring(GetCurrentProcessId());
    const win::UniqueHandle pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 64, 64, 0,
                                                  nullptr));
    ASSERT_TRUE(pipe);
    const win::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread server([&] {
        BYTE request[64];
        DWORD read = 0;
        if (ConnectNamedPipe(pipe.Get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)
            ReadFile(pipe.Get(), request, sizeof request, &read, nullptr);
        WaitForSingleObject(done.Get(), 20000);  // a bound of this test's own, so that it ends whatever the client does
        DisconnectNamedPipe(pipe.Get());
    });
    const std::pair<DWORD, const char*> cases[] = {{keeper::kPingReplyMs, "Keeper did not answer within"},
                                                   {keeper::kConnectWaitMs, "Keeper pipe stayed busy for"}};
    for (const auto& [bound, line] : cases) {
        const ULONGLONG start = GetTickCount64();
        const std::string said = OutputOf([&] {
            EXPECT_EQ(keeper::Status::NoService, keeper::Call(keeper::Request{}, name, kThisProcess).status);
        });
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_GE(waited + 50, bound) << line;
        EXPECT_LT(waited, bound + 1000u) << line;
        EXPECT_NE(std::string::npos, said.find(line)) << said;
    }
    SetEvent(done.Get());
    server.join();
}

}  // namespace
