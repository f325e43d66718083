// Seeded random fault schedules: any platform call may fail, the buffer may not come,
// the thread may not start, the user may answer anything. Whatever happens, every
// handle, buffer and session is released exactly once, and the user sees the message
// of the first failure and nothing else.
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Fakes.h"
#include "Oracle.h"
#include "remote/Refresh.h"
#include "remote/StartStop.h"

using namespace fakes;

namespace {

constexpr int kRuns = 1000;

class CDraw {
public:
    explicit CDraw(std::uint32_t seed) : m_rng(seed) {}
    std::uint32_t Below(std::uint32_t n) { return m_rng() % n; }
    bool OneIn(std::uint32_t n) { return Below(n) == 0; }
    template <typename T>
    T From(const std::vector<T>& values)
    {
        return values[Below(static_cast<std::uint32_t>(values.size()))];
    }

private:
    std::mt19937 m_rng;
};

// Which steps of a refresh fail, and with what.
struct RefreshFaults {
    bool connect, thread, manager, size, alloc, data, noisyReleases, logonRefused,
        impersonationRefused;
    std::uint32_t sizeError, dataError;

    static RefreshFaults Draw(CDraw& draw)
    {
        RefreshFaults f{};
        f.connect = draw.OneIn(6);
        f.thread = draw.OneIn(6);
        f.manager = draw.OneIn(6);
        f.size = draw.OneIn(6);
        f.alloc = draw.OneIn(6);
        f.data = draw.OneIn(6);
        f.noisyReleases = draw.OneIn(3);
        f.logonRefused = draw.OneIn(4);
        f.impersonationRefused = draw.OneIn(4);
        f.sizeError = draw.From<std::uint32_t>({0, 5, 6, 1722});
        f.dataError = draw.From<std::uint32_t>({remote::kErrorMoreData, 5, 6});
        return f;
    }

    // Scripts the faults; the refresh's connect and manager open are the given calls
    // of their kind, as a command before it may have made the earlier ones.
    void Apply(Bench& bench, int connectCall, int managerCall) const
    {
        if (connect)
            bench.platform.Fail(Op::AddConnection, 1326, connectCall);
        if (thread)
            bench.console.threads = FakeConsole::Threads::Refuse;
        if (manager)
            bench.platform.Fail(Op::OpenManager, 5, managerCall);
        if (size)
            bench.platform.Fail(Op::EnumSize, sizeError);
        if (alloc)
            bench.platform.Fail(Op::Alloc, 0);
        if (data)
            bench.platform.Fail(Op::EnumData, dataError);
        // Nobody reads what a close or a cancel answers: failing them changes nothing.
        if (noisyReleases) {
            bench.platform.Fail(Op::CloseHandle, 6);
            bench.platform.Fail(Op::CancelConnection, 2250);
            bench.platform.Fail(Op::Revert, 5);
        }
        // A logon or impersonation refused (as Wine's stand-in logon's is) changes nothing
        // the user sees; the token it leaves may not even close.
        if (logonRefused)
            bench.platform.Fail(Op::Logon, 1326);
        if (impersonationRefused) {
            bench.platform.Fail(Op::Impersonate, 6);
            bench.platform.Fail(Op::CloseToken, 6);
        }
    }

    expected::RefreshSteps Steps(const std::vector<FakeService>& services) const
    {
        expected::RefreshSteps steps;
        steps.sessionRefused = connect;
        steps.noThread = thread;
        steps.managerRefused = manager;
        steps.sizeQueryFailed = size;
        steps.noBuffer = alloc;
        steps.dataCallFailed = data;
        steps.listed = services;
        return steps;
    }

    std::string Describe() const
    {
        std::ostringstream out;
        out << "refresh faults: connect " << connect << " thread " << thread << " manager "
            << manager << " size " << size << " (" << sizeError << ") alloc " << alloc
            << " data " << data << " (" << dataError << ") noisy releases " << noisyReleases
            << " logon refused " << logonRefused << " impersonation refused "
            << impersonationRefused;
        return out.str();
    }
};

TEST(FaultSchedule, RefreshReleasesEverythingAndShowsTheFirstFailure)
{
    for (std::uint32_t seed = 1; seed <= kRuns && !testing::Test::HasFailure(); ++seed) {
        CDraw draw(seed);
        Bench bench;
        bench.platform.services = Services(1 + static_cast<int>(draw.Below(6)));
        bench.console.currentCredential = draw.OneIn(2);
        bench.console.InsertItem(0, "stale");
        const RefreshFaults faults = RefreshFaults::Draw(draw);
        faults.Apply(bench, 0, 0);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + faults.Describe());

        auto control = remote::RefreshServiceList(bench.console, bench.platform);
        bench.console.JoinPasses();

        const expected::Outcome outcome = expected::Refresh(faults.Steps(bench.platform.services));
        EXPECT_EQ(bench.console.Messages(), outcome.messages);
        EXPECT_EQ(bench.console.Rows(), outcome.rows);
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
        EXPECT_EQ(control != nullptr, outcome.passStarted);
        EXPECT_EQ(static_cast<int>(bench.platform.enums.size()), outcome.enumCalls);
        EXPECT_TRUE(!control || control->HasEnded());
    }
}

// Which steps of a start or stop fail, and how the user answers the question.
struct CommandFaults {
    bool stop, selected, connect, manager, service, request;
    std::uint32_t requestError;
    int answer;

    static CommandFaults Draw(CDraw& draw)
    {
        CommandFaults f{};
        f.stop = draw.OneIn(2);
        f.selected = !draw.OneIn(5);
        f.connect = draw.OneIn(6);
        f.manager = draw.OneIn(6);
        f.service = draw.OneIn(6);
        f.request = draw.OneIn(4);
        f.requestError = draw.From<std::uint32_t>(
            {3, 5, 1051, 1052, 1053, 1055, 1056, 1058, 1062, 1068, 1069, 1072, 1075, 87});
        f.answer = draw.From<int>({remote::kIdYes, remote::kIdYes, remote::kIdNo, 2});
        return f;
    }

    void Apply(Bench& bench) const
    {
        bench.console.selectedRow = selected ? 4 : -1;
        bench.console.answers = {answer};
        if (connect)
            bench.platform.Fail(Op::AddConnection, 1219, 0);
        if (manager)
            bench.platform.Fail(Op::OpenManager, 5, 0);
        if (service)
            bench.platform.Fail(Op::OpenService, 1060);
        if (request)
            bench.platform.Fail(stop ? Op::ControlService : Op::StartService, requestError);
    }

    expected::CommandSteps Steps(const std::map<int, Row>& rowsBefore) const
    {
        expected::CommandSteps steps;
        steps.stop = stop;
        steps.noSelection = !selected;
        steps.sessionRefused = connect;
        steps.managerRefused = manager;
        steps.serviceRefused = service;
        steps.confirmed = answer == remote::kIdYes;
        if (request)
            steps.refusedWith = requestError;
        steps.rowsBefore = rowsBefore;
        return steps;
    }

    std::string Describe() const
    {
        std::ostringstream out;
        out << (stop ? "stop" : "start") << ": selected " << selected << " connect " << connect
            << " manager " << manager << " service " << service << " request " << request
            << " (" << requestError << ") answer " << answer;
        return out.str();
    }
};

TEST(FaultSchedule, StartAndStopReleaseEverythingAndShowTheRightMessage)
{
    for (std::uint32_t seed = 1; seed <= kRuns && !testing::Test::HasFailure(); ++seed) {
        CDraw draw(0x5EED0000u + seed);
        Bench bench;
        bench.platform.services = Services(1 + static_cast<int>(draw.Below(4)));
        bench.console.currentCredential = draw.OneIn(2);
        bench.console.itemTexts = {{{4, 1}, "Spooler"}};
        bench.console.InsertItem(0, "shown");
        const CommandFaults command = CommandFaults::Draw(draw);
        const RefreshFaults refresh = RefreshFaults::Draw(draw);
        command.Apply(bench);
        refresh.Apply(bench, 1, 1);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + command.Describe() + ", " +
                     refresh.Describe());

        auto control = command.stop ? remote::StopSelectedService(bench.console, bench.platform)
                                    : remote::StartSelectedService(bench.console, bench.platform);
        bench.console.JoinPasses();

        const expected::Outcome outcome = expected::Command(
            command.Steps({{0, Row{"shown", "", "", ""}}}), refresh.Steps(bench.platform.services));
        EXPECT_EQ(bench.console.Messages(), outcome.messages);
        EXPECT_EQ(bench.console.Rows(), outcome.rows);
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
        EXPECT_EQ(control != nullptr, outcome.passStarted);
        if (!command.selected) {
            EXPECT_EQ(bench.platform.RemoteCalls(), 0);
        }
        // The question comes only once the service is open.
        if (outcome.serviceOpened && command.stop) {
            EXPECT_TRUE(InOrder(bench.journal, {"OpenServiceA", "AfxMessageBox"}));
        }
    }
}

}  // namespace
