// The IPC$ session: the remote name, the resource record and the credentials that the
// network provider receives, and host texts too long for the name.
#include <functional>
#include <string>
#include <vector>

#include "Expected.h"
#include "Fakes.h"
#include "remote/NetSession.h"
#include "remote/Refresh.h"
#include "remote/StartStop.h"

using namespace fakes;
using remote::CNetSession;

namespace {

const std::string kRemoteName = "\\\\192.168.0.1\\ipc$";

// Every command that opens a session, run until its session is cancelled again: the
// refresh gets no thread, start and stop cannot open the manager.
struct Command {
    const char* name;
    std::function<void(Bench&)> run;
};
const std::vector<Command> kCommands = {
    {"refresh", [](Bench& b) { remote::RefreshServiceList(b.console, b.platform); }},
    {"start", [](Bench& b) { remote::StartSelectedService(b.console, b.platform); }},
    {"stop", [](Bench& b) { remote::StopSelectedService(b.console, b.platform); }},
};

void ArrangeShortCommand(Bench& bench)
{
    bench.console.threads = FakeConsole::Threads::Refuse;
    bench.console.selectedRow = 0;
    bench.platform.Fail(Op::OpenManager, 5);
}

class SessionTest : public testing::Test {
protected:
    Bench bench;
    FakePlatform& platform = bench.platform;
};

TEST_F(SessionTest, ConnectSendsTheRemoteNameInABareDiskRecord)
{
    CNetSession session(platform);
    ASSERT_TRUE(session.Connect("192.168.0.1", "ipc$", nullptr, nullptr, 0));

    ASSERT_EQ(platform.connects.size(), 1u);
    const ConnectCall& call = platform.connects[0];
    EXPECT_EQ(call.remoteName, kRemoteName);
    EXPECT_EQ(call.remoteName->size(), 18u);
    EXPECT_EQ(call.dwType, 1u);
    EXPECT_EQ(call.dwScope, 0u);
    EXPECT_EQ(call.dwDisplayType, 0u);
    EXPECT_EQ(call.dwUsage, 0u);
    EXPECT_EQ(call.localName, std::nullopt);
    EXPECT_EQ(call.comment, std::nullopt);
    EXPECT_EQ(call.provider, std::nullopt);
    EXPECT_EQ(call.flags, 0u);
}

TEST_F(SessionTest, ResultsAreTrueExactlyWhenTheProviderAnswersZero)
{
    CNetSession session(platform);
    platform.Fail(Op::AddConnection, 1326, 0);
    platform.Fail(Op::CancelConnection, 2250, 0);
    EXPECT_FALSE(session.Connect("192.168.0.1", "ipc$", "u", "p", 0));
    EXPECT_TRUE(session.Connect("192.168.0.1", "ipc$", "u", "p", 0));
    EXPECT_FALSE(session.Disconnect("192.168.0.1", "ipc$", 1, true));
    EXPECT_TRUE(platform.EstablishedSessions().empty());
}

TEST_F(SessionTest, AnySessionObjectCancelsTheNameWithTheGivenFlags)
{
    CNetSession connecting(platform);
    CNetSession cancelling(platform);
    ASSERT_TRUE(connecting.Connect("192.168.0.1", "ipc$", nullptr, nullptr, 0));
    EXPECT_TRUE(cancelling.Disconnect("192.168.0.1", "ipc$", 1, true));

    ASSERT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.cancels[0].name, kRemoteName);
    EXPECT_EQ(platform.cancels[0].flags, 1u);
    EXPECT_TRUE(platform.cancels[0].force);
    EXPECT_EQ(platform.Problems(), kBalanced);
}

TEST_F(SessionTest, DestroyingAConnectedSessionLeavesItEstablished)
{
    {
        CNetSession session(platform);
        ASSERT_TRUE(session.Connect("192.168.0.1", "ipc$", nullptr, nullptr, 0));
    }
    EXPECT_TRUE(platform.cancels.empty());
    EXPECT_EQ(platform.EstablishedSessions(), std::set<std::string>{kRemoteName});
}

TEST(SessionCredentials, CurrentLogonSendsNullUserAndPasswordAndCancelsWithForce)
{
    for (const Command& command : kCommands) {
        SCOPED_TRACE(command.name);
        Bench bench;
        ArrangeShortCommand(bench);
        command.run(bench);

        ASSERT_EQ(bench.platform.connects.size(), 1u);
        const ConnectCall& call = bench.platform.connects[0];
        EXPECT_EQ(call.remoteName, kRemoteName);
        EXPECT_EQ(call.user, std::nullopt);
        EXPECT_EQ(call.password, std::nullopt);
        EXPECT_EQ(call.flags, 0u);
        ASSERT_EQ(bench.platform.cancels.size(), 1u);
        EXPECT_EQ(bench.platform.cancels[0].name, kRemoteName);
        EXPECT_EQ(bench.platform.cancels[0].flags, 1u);
        EXPECT_TRUE(bench.platform.cancels[0].force);
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
    }
}

TEST(SessionCredentials, ExplicitCredentialsSendTheTypedTextsEvenWhenEmpty)
{
    const std::vector<std::pair<std::string, std::string>> typed = {
        {"", ""}, {"Administrator", ""}, {"ops\\admin", "pa ss"}};
    for (const Command& command : kCommands) {
        for (const auto& [user, password] : typed) {
            SCOPED_TRACE(std::string(command.name) + " user \"" + user + "\"");
            Bench bench;
            ArrangeShortCommand(bench);
            bench.console.currentCredential = false;
            bench.console.target.strUserName = user;
            bench.console.target.strPassword = password;
            command.run(bench);

            ASSERT_EQ(bench.platform.connects.size(), 1u);
            EXPECT_EQ(bench.platform.connects[0].user, user);
            EXPECT_EQ(bench.platform.connects[0].password, password);
        }
    }
}

TEST_F(SessionTest, EmptyHostIsSentUnchangedAndItsRefusalReported)
{
    bench.console.target.strHost = "";
    platform.Fail(Op::AddConnection, 67);
    remote::RefreshServiceList(bench.console, platform);

    ASSERT_EQ(platform.connects.size(), 1u);
    EXPECT_EQ(platform.connects[0].remoteName, "\\\\\\ipc$");
    EXPECT_EQ(bench.console.Messages(),
              expected::OneBox(expected::kAuthFailed, expected::kPlainOk));
}

TEST_F(SessionTest, HostOf252BytesFillsTheNameExactly)
{
    const std::string host(252, 'h');
    CNetSession session(platform);
    EXPECT_TRUE(session.Connect(host.c_str(), "ipc$", nullptr, nullptr, 0));
    EXPECT_TRUE(session.Disconnect(host.c_str(), "ipc$", 1, true));

    const std::string name = "\\\\" + host + "\\ipc$";
    EXPECT_EQ(name.size(), 259u);
    ASSERT_EQ(platform.connects.size(), 1u);
    EXPECT_EQ(platform.connects[0].remoteName, name);
    ASSERT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.cancels[0].name, name);
}

TEST(SessionLongHost, IsRefusedWithoutReachingTheProvider)
{
    for (std::size_t length : {253u, 100000u}) {
        SCOPED_TRACE(length);
        const std::string host(length, 'h');
        Bench bench;
        CNetSession session(bench.platform);
        EXPECT_FALSE(session.Connect(host.c_str(), "ipc$", "u", "p", 0));
        EXPECT_FALSE(session.Disconnect(host.c_str(), "ipc$", 1, true));
        EXPECT_EQ(bench.platform.RemoteCalls(), 0);
    }
}

TEST(SessionLongHost, EveryCommandReportsTheAuthenticationFailure)
{
    for (const Command& command : kCommands) {
        SCOPED_TRACE(command.name);
        Bench bench;
        bench.console.target.strHost = std::string(253, 'h');
        bench.console.selectedRow = 0;
        command.run(bench);

        EXPECT_EQ(bench.platform.RemoteCalls(), 0);
        EXPECT_EQ(bench.console.ThreadStarts(), 0);
        EXPECT_EQ(bench.console.Messages(),
                  expected::OneBox(expected::kAuthFailed, expected::kPlainOk));
    }
}

}  // namespace
