// Stopping a running pass, on real threads: no further rows and no message, but
// everything still released and the owner told once, as the pass's last act.
#include <atomic>
#include <functional>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Expected.h"
#include "Fakes.h"
#include "remote/Refresh.h"

using namespace fakes;

namespace {

class PassStopTest : public testing::Test {
protected:
    PassStopTest() { platform.services = Services(10); }

    // Starts a refresh whose pass journals its end and notes what it saw then.
    void StartPass()
    {
        control = remote::RefreshServiceList(console, platform, [this] {
            bench.journal.Add("onEnded");
            endedOnThread = std::this_thread::get_id();
            endedAfterRelease = control->HasEnded() && platform.EstablishedSessions().empty();
            ++endedCalls;
        });
        ASSERT_NE(control, nullptr);
    }

    void ExpectEndedQuietlyWithEverythingReleased()
    {
        EXPECT_EQ(console.Messages(), expected::kNoBox);
        EXPECT_EQ(platform.Problems(), kBalanced);
        ASSERT_EQ(platform.cancels.size(), 1u);
        EXPECT_EQ(platform.cancels[0].name, "\\\\192.168.0.1\\ipc$");
        EXPECT_TRUE(control->HasEnded());
        EXPECT_EQ(endedCalls.load(), 1);
        EXPECT_TRUE(endedAfterRelease);
        EXPECT_NE(endedOnThread, std::this_thread::get_id());
        EXPECT_EQ(bench.journal.Events().back(), "onEnded");
    }

    Bench bench;
    FakePlatform& platform = bench.platform;
    FakeConsole& console = bench.console;
    std::shared_ptr<remote::CPassControl> control;
    std::atomic<int> endedCalls{0};
    std::thread::id endedOnThread;
    bool endedAfterRelease = false;
};

TEST_F(PassStopTest, StopMidPassWritesNoFurtherRows)
{
    constexpr int kStopRow = 3;
    std::latch reached(1), resume(1);
    console.onInsert = [&](int row) {
        if (row == kStopRow) {
            reached.count_down();
            resume.wait();
        }
    };
    StartPass();
    reached.wait();
    EXPECT_FALSE(control->HasEnded());
    control->RequestStop();
    resume.count_down();
    console.JoinPasses();

    // The row under way when the stop came is finished; none follows it.
    std::map<int, Row> firstRows = expected::Rows(platform.services);
    firstRows.erase(firstRows.upper_bound(kStopRow), firstRows.end());
    EXPECT_EQ(console.Rows(), firstRows);
    ExpectEndedQuietlyWithEverythingReleased();
}

TEST_F(PassStopTest, StopBeforeTheFirstRemoteCallMakesNoneButCancelsTheSession)
{
    console.threads = FakeConsole::Threads::Hold;
    StartPass();
    control->RequestStop();
    console.ReleaseHeldPasses();
    console.JoinPasses();

    EXPECT_TRUE(platform.managerOpens.empty());
    EXPECT_TRUE(platform.enums.empty());
    EXPECT_EQ(platform.allocs, 0);
    EXPECT_TRUE(console.Rows().empty());
    ExpectEndedQuietlyWithEverythingReleased();
}

// The stop arrives while the named call is under way; whatever that call then answers,
// the pass makes no further remote call, shows nothing and releases everything.
TEST_F(PassStopTest, StopDuringACallEndsThePassSilently)
{
    struct Case {
        const char* situation;
        Op stopDuring;
        std::optional<std::uint32_t> failure;
        int enumCalls;
        std::uint32_t bytesPerCall = 0;
    };
    const std::vector<Case> cases = {
        {"manager opened", Op::OpenManager, std::nullopt, 0},
        {"size query answered", Op::EnumSize, std::nullopt, 1},
        {"size query denied", Op::EnumSize, 5, 1},
        {"no memory for the buffer", Op::Alloc, 0, 1},
        {"data call refused", Op::EnumData, remote::kErrorMoreData, 2},
        {"data call answered", Op::EnumData, std::nullopt, 2},
        {"data call answered, more to come", Op::EnumData, std::nullopt, 2, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        Bench b;
        b.platform.services = Services(4);
        b.platform.bytesPerCall = c.bytesPerCall;
        b.console.threads = FakeConsole::Threads::Hold;
        auto pass = remote::RefreshServiceList(b.console, b.platform);
        ASSERT_NE(pass, nullptr);
        b.platform.OnCall(c.stopDuring, [pass] { pass->RequestStop(); });
        if (c.failure)
            b.platform.Fail(c.stopDuring, *c.failure);
        b.console.ReleaseHeldPasses();
        b.console.JoinPasses();

        EXPECT_EQ(b.console.Messages(), expected::kNoBox);
        EXPECT_TRUE(b.console.Rows().empty());
        EXPECT_EQ(static_cast<int>(b.platform.enums.size()), c.enumCalls);
        EXPECT_EQ(b.platform.Problems(), kBalanced);
        EXPECT_TRUE(pass->HasEnded());
    }
}

}  // namespace
