// Filling the service list: what the enumeration asks for, the rows it writes, and
// every way it can fail, each leaving an empty list and nothing held.
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Expected.h"
#include "Fakes.h"
#include "remote/Refresh.h"

using namespace fakes;
using expected::Boxes;

namespace {

// Three services to list, and a row left from an earlier refresh, which every refresh
// must clear.
void ArrangeServicesAndAStaleRow(Bench& bench)
{
    bench.platform.services = Services(3);
    bench.console.InsertItem(0, "stale");
}

// Runs a refresh and waits for the pass it started, if any.
std::shared_ptr<remote::CPassControl> RunRefresh(Bench& bench,
                                         remote::PassEndedCallback onEnded = {})
{
    auto control = remote::RefreshServiceList(bench.console, bench.platform, std::move(onEnded));
    bench.console.JoinPasses();
    return control;
}

class RefreshTest : public testing::Test {
protected:
    RefreshTest() { ArrangeServicesAndAStaleRow(bench); }
    std::shared_ptr<remote::CPassControl> Refresh(remote::PassEndedCallback onEnded = {})
    {
        return RunRefresh(bench, std::move(onEnded));
    }

    Bench bench;
    FakePlatform& platform = bench.platform;
    FakeConsole& console = bench.console;
};

TEST(RefreshFailures, ShowTheirMessageAndLeaveAnEmptyListAndNothingHeld)
{
    struct Case {
        const char* situation;
        std::function<void(Bench&)> arrange;
        Boxes messages;
        int enumCalls;  // nothing is retried, and nothing follows a failed step
    };
    const Boxes enumerationFailed =
        expected::OneBox(expected::kEnumerationFailed, expected::kPlainOk);
    const std::vector<Case> cases = {
        {"session refused", [](Bench& b) { b.platform.Fail(Op::AddConnection, 1326); },
         expected::OneBox(expected::kAuthFailed, expected::kPlainOk), 0},
        {"thread refused", [](Bench& b) { b.console.threads = FakeConsole::Threads::Refuse; },
         expected::kNoBox, 0},
        {"manager refused", [](Bench& b) { b.platform.Fail(Op::OpenManager, 5); },
         expected::OneBox(expected::kManagerFailed, expected::kPlainOk), 0},
        {"size query denied", [](Bench& b) { b.platform.Fail(Op::EnumSize, 5); },
         enumerationFailed, 1},
        {"size query leaves no code", [](Bench& b) { b.platform.Fail(Op::EnumSize, 0); },
         enumerationFailed, 1},
        {"size query on a bad handle", [](Bench& b) { b.platform.Fail(Op::EnumSize, 6); },
         enumerationFailed, 1},
        {"no memory for the buffer", [](Bench& b) { b.platform.Fail(Op::Alloc, 0); },
         enumerationFailed, 1},
        {"data call denied", [](Bench& b) { b.platform.Fail(Op::EnumData, 5); },
         enumerationFailed, 2},
        {"list grew between the calls",
         [](Bench& b) { b.platform.Fail(Op::EnumData, remote::kErrorMoreData); },
         enumerationFailed, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        Bench b;
        ArrangeServicesAndAStaleRow(b);
        c.arrange(b);
        RunRefresh(b);

        EXPECT_EQ(b.console.Messages(), c.messages);
        EXPECT_TRUE(b.console.Rows().empty());
        EXPECT_EQ(b.platform.Problems(), kBalanced);
        EXPECT_EQ(static_cast<int>(b.platform.enums.size()), c.enumCalls);
    }
}

TEST_F(RefreshTest, ListsThroughOneSizeQueryAndOneDataCall)
{
    console.target.strHost = "FILESRV-02";
    ASSERT_NE(Refresh(), nullptr);

    ASSERT_EQ(platform.managerOpens.size(), 1u);
    EXPECT_EQ(platform.managerOpens[0].machine, "FILESRV-02");
    EXPECT_EQ(platform.managerOpens[0].database, std::nullopt);
    EXPECT_EQ(platform.managerOpens[0].access, 4u);

    ASSERT_EQ(platform.enums.size(), 2u);
    for (const EnumCall& call : platform.enums) {
        EXPECT_TRUE(platform.IsManager(call.manager));
        EXPECT_EQ(call.type, 0x3Bu);
        EXPECT_EQ(call.state, 3u);
        EXPECT_EQ(call.resumeIn, 0u);
    }
    EXPECT_TRUE(platform.enums[0].bufferNull);
    EXPECT_EQ(platform.enums[0].size, 0u);
    EXPECT_FALSE(platform.enums[1].bufferNull);
    EXPECT_EQ(platform.enums[1].size, FakePlatform::BufferSizeFor(platform.services));
    EXPECT_EQ(platform.allocs, 1);

    ASSERT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.cancels[0].name, "\\\\FILESRV-02\\ipc$");
    EXPECT_EQ(platform.Problems(), kBalanced);
    EXPECT_EQ(console.Messages(), expected::kNoBox);
}

TEST_F(RefreshTest, OneHundredFiftyServicesFillTheListInEnumerationOrder)
{
    platform.services = Services(150);
    Refresh();

    const std::map<int, Row> rows = console.Rows();
    EXPECT_EQ(rows, expected::Rows(platform.services));
    ASSERT_EQ(rows.size(), 150u);
    EXPECT_EQ(rows.begin()->second[0], "0");
    EXPECT_EQ(rows.rbegin()->second[0], "149");
    EXPECT_EQ(console.StrayWrites(), 0);
    EXPECT_EQ(platform.Problems(), kBalanced);
}

// A remote manager answers at most 256 KB a call; this list also grows after the size
// query, by a record too large for the first buffer and then by 8,000 more.
TEST(RefreshInSlices, EveryRowComesInOrderNumberedAcrossTheCalls)
{
    Bench b;
    b.platform.services = Services(4);
    b.platform.bytesPerCall = 256 * 1024;
    b.platform.OnCall(Op::EnumData, [&b, more = Services(8000)] {
        if (b.platform.services.size() == 4) {
            b.platform.services.push_back({"late", std::string(2000, 'L'), 4});
            b.platform.services.insert(b.platform.services.end(), more.begin(), more.end());
        }
    });
    RunRefresh(b);
    EXPECT_EQ(b.console.Rows(), expected::Rows(b.platform.services));
    EXPECT_EQ(b.console.Messages(), expected::kNoBox);
    EXPECT_EQ(b.platform.enums.size(), 6u);  // size; the first four; grown; 3 of 256 KB
    EXPECT_EQ(b.platform.Problems(), kBalanced);
}

// A resume index that stops moving ends the pass with one message under the rows that came.
TEST(RefreshInSlices, AResumeIndexThatStopsMovingEndsThePassWithOneMessage)
{
    Bench b;
    b.platform.services = Services(9);
    b.platform.bytesPerCall = FakePlatform::BufferSizeFor(Services(4));
    b.platform.resumeStuckFrom = 1;
    RunRefresh(b);
    EXPECT_EQ(b.console.Rows(), expected::Rows(Services(4)));
    EXPECT_EQ(b.console.Messages(),
              expected::OneBox(expected::kEnumerationFailed, expected::kPlainOk));
}

TEST_F(RefreshTest, EveryStateCodeGetsItsTextAndUnknownCodesAnEmptyCell)
{
    const std::vector<std::pair<std::uint32_t, std::string>> states = {
        {1, "Stopped"},        {2, "Start Pending"}, {3, "Stop Pending"},
        {4, "Service Running"}, {5, "Continue Pending"}, {6, "Pause Pending"},
        {7, "Paused"},         {0, ""},              {8, ""},
        {0xFFFFFFFF, ""},
    };
    platform.services.clear();
    for (const auto& [code, text] : states)
        platform.services.push_back({"s" + std::to_string(code), "d", code});
    Refresh();

    const std::map<int, Row> rows = console.Rows();
    ASSERT_EQ(rows.size(), states.size());
    for (std::size_t i = 0; i < states.size(); ++i) {
        EXPECT_EQ(rows.at(static_cast<int>(i))[1], "s" + std::to_string(states[i].first));
        EXPECT_EQ(rows.at(static_cast<int>(i))[3], states[i].second) << "code " << states[i].first;
    }
}

// The count of records comes from the buffer the pass allocated, not from what the
// data call leaves in its needed count, which a successful call may set to zero.
TEST(RefreshRows, DoNotDependOnTheNeededCountLeftBySuccess)
{
    for (bool keepNeeded : {false, true}) {
        SCOPED_TRACE(keepNeeded ? "needed left at full size" : "needed left at zero");
        Bench b;
        b.platform.services = Services(5);
        b.platform.keepNeededOnSuccess = keepNeeded;
        RunRefresh(b);
        EXPECT_EQ(b.console.Rows(), expected::Rows(b.platform.services));
    }
}

TEST_F(RefreshTest, EmptiesTheListBeforeConnecting)
{
    Refresh();
    EXPECT_TRUE(InOrder(bench.journal, {"PullRemoteTarget", "DeleteAllItems",
                                        "WNetAddConnection2A", "AfxBeginThread",
                                        "OpenSCManagerA", "InsertItem",
                                        "WNetCancelConnection2A"}));
}

TEST_F(RefreshTest, RefusedThreadCancelsTheSessionAtOnceAndFreesTheRecord)
{
    console.threads = FakeConsole::Threads::Refuse;
    auto token = std::make_shared<int>(0);  // held by the record through its callback
    int endedCalls = 0;
    auto control = Refresh([token, &endedCalls] { ++endedCalls; });

    EXPECT_EQ(control, nullptr);
    EXPECT_EQ(token.use_count(), 1) << "the pass record was not freed";
    EXPECT_EQ(endedCalls, 0);
    EXPECT_EQ(console.Messages(), expected::kNoBox);
    EXPECT_TRUE(console.Rows().empty());
    EXPECT_EQ(platform.managerOpens.size(), 0u);
    ASSERT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.cancels[0].name, "\\\\192.168.0.1\\ipc$");
    EXPECT_EQ(bench.journal.Events().back(), "WNetCancelConnection2A");
    EXPECT_EQ(platform.Problems(), kBalanced);
}

TEST_F(RefreshTest, PassKeepsTheHostItWasStartedWith)
{
    console.threads = FakeConsole::Threads::Hold;
    auto control = remote::RefreshServiceList(console, platform);
    ASSERT_NE(control, nullptr);
    console.target.strHost = "10.9.8.7";
    console.ReleaseHeldPasses();
    console.JoinPasses();

    EXPECT_EQ(console.pulls, 1);
    ASSERT_EQ(platform.managerOpens.size(), 1u);
    EXPECT_EQ(platform.managerOpens[0].machine, "192.168.0.1");
    ASSERT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.cancels[0].name, "\\\\192.168.0.1\\ipc$");
    EXPECT_EQ(platform.Problems(), kBalanced);
}

TEST_F(RefreshTest, PassThatRunsToTheEndSaysSoOnce)
{
    int endedCalls = 0;
    auto control = Refresh([&endedCalls] { ++endedCalls; });
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->HasEnded());
    EXPECT_FALSE(control->IsStopRequested());
    EXPECT_EQ(endedCalls, 1);
}

// ---- A pass ends whatever happens ----

// Out of memory while a row is written, say: the pass still releases everything and says
// it has ended, or its console would wait for it for ever.
TEST(PassEnd, AnExceptionInThePassStillEndsItAndReleasesEverything)
{
    Bench b;
    b.platform.services = Services(3);
    b.console.onInsert = [](int row) {
        if (row == 1)
            throw std::bad_alloc();
    };
    int endedCalls = 0;
    auto control = RunRefresh(b, [&endedCalls] { ++endedCalls; });

    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->HasEnded());
    EXPECT_EQ(endedCalls, 1);
    EXPECT_EQ(b.console.Rows().size(), 1u);
    EXPECT_EQ(b.platform.Problems(), kBalanced);
}

TEST_F(RefreshTest, AFailureBetweenConnectAndThreadStartCancelsTheSession)
{
    console.threads = FakeConsole::Threads::Throw;
    EXPECT_THROW(remote::RefreshServiceList(console, platform), std::bad_alloc);
    EXPECT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.Problems(), kBalanced);
}

// An answer that points outside itself is no answer: its texts are not followed.
TEST(RefreshFailures, AnAnswerWhoseTextLiesOutsideItOrRunsPastItsEndListsNothing)
{
    static const char kElsewhere[] = "not in the answer";
    const std::vector<std::pair<const char*, std::function<void(char*, std::uint32_t)>>> cases = {
        {"text before the buffer",
         [](char* buffer, std::uint32_t) {
             reinterpret_cast<remote::EnumServiceStatus*>(buffer)[1].lpServiceName = buffer - 64;
         }},
        {"text elsewhere in memory",
         [](char* buffer, std::uint32_t) {
             reinterpret_cast<remote::EnumServiceStatus*>(buffer)[0].lpDisplayName =
                 const_cast<char*>(kElsewhere);
         }},
        {"last text without its terminator",
         [](char* buffer, std::uint32_t size) { buffer[size - 1] = 'x'; }},
    };
    for (const auto& [situation, edit] : cases) {
        SCOPED_TRACE(situation);
        Bench b;
        b.platform.services = Services(3);
        b.platform.editAnswer = edit;
        RunRefresh(b);

        EXPECT_EQ(b.console.Messages(),
                  expected::OneBox(expected::kEnumerationFailed, expected::kPlainOk));
        EXPECT_TRUE(b.console.Rows().empty());
        EXPECT_EQ(b.platform.Problems(), kBalanced);
    }
}

}  // namespace
