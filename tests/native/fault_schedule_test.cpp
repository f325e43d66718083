// Seeded random fault schedules: any platform call may fail, the buffer may not come,
// the thread may not start, the user may answer anything. Whatever happens, every
// handle, buffer and session is released exactly once, and the user sees the message
// of the first failure and nothing else.
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Expected.h"
#include "Fakes.h"
#include "remote/Refresh.h"
#include "remote/StartStop.h"

using namespace fakes;
using expected::Boxes;
using expected::OneBox;

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
    bool connect, thread, manager, size, alloc, data, noisyReleases;
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
        }
    }

    // What the user sees after the refresh: its messages and the list.
    Boxes Messages() const
    {
        if (connect)
            return OneBox(expected::kAuthFailed, expected::kPlainOk);
        if (thread || manager)
            return expected::kNoBox;
        if (size || alloc || data)
            return OneBox(expected::kEnumerationFailed, expected::kPlainOk);
        return expected::kNoBox;
    }
    std::map<int, Row> Rows(const std::vector<FakeService>& services) const
    {
        const bool listed = !(connect || thread || manager || size || alloc || data);
        return listed ? expected::Rows(services) : std::map<int, Row>{};
    }
    bool StartsAPass() const { return !connect && !thread; }
    // Nothing follows a failed step: no data call after a failed size query.
    int EnumerationCalls() const
    {
        if (!StartsAPass() || manager)
            return 0;
        return size || alloc ? 1 : 2;
    }

    std::string Describe() const
    {
        std::ostringstream out;
        out << "refresh faults: connect " << connect << " thread " << thread << " manager "
            << manager << " size " << size << " (" << sizeError << ") alloc " << alloc
            << " data " << data << " (" << dataError << ") noisy releases " << noisyReleases;
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

        EXPECT_EQ(bench.console.Messages(), faults.Messages());
        EXPECT_EQ(bench.console.Rows(), faults.Rows(bench.platform.services));
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
        EXPECT_EQ(control != nullptr, faults.StartsAPass());
        EXPECT_EQ(static_cast<int>(bench.platform.enums.size()), faults.EnumerationCalls());
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

    // The messages up to the end of the command; *succeeded says whether a refresh follows.
    Boxes Messages(bool* succeeded) const
    {
        *succeeded = false;
        if (!selected)
            return expected::kNoBox;
        if (connect)
            return OneBox(expected::kAuthFailed, expected::kPlainOk);
        if (manager)
            return OneBox(expected::kManagerFailed, expected::kPlainOk);
        if (service)
            return OneBox(expected::kServiceFailed, expected::kPlainOk);
        Boxes boxes;
        if (stop) {
            boxes.push_back({expected::kConfirmStop, expected::kYesNoQuestion});
            if (answer != remote::kIdYes)
                return boxes;
        }
        if (request) {
            boxes.push_back({stop ? expected::StopText(requestError)
                                  : expected::StartText(requestError),
                             expected::kStopIcon});
            return boxes;
        }
        *succeeded = true;
        return boxes;
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

        bool succeeded = false;
        Boxes messages = command.Messages(&succeeded);
        std::map<int, Row> rows{{0, Row{"shown", "", "", ""}}};
        if (succeeded) {
            const Boxes refreshMessages = refresh.Messages();
            messages.insert(messages.end(), refreshMessages.begin(), refreshMessages.end());
            rows = refresh.Rows(bench.platform.services);
        }
        EXPECT_EQ(bench.console.Messages(), messages);
        EXPECT_EQ(bench.console.Rows(), rows);
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
        EXPECT_EQ(control != nullptr, succeeded && refresh.StartsAPass());
        if (!command.selected) {
            EXPECT_EQ(bench.platform.RemoteCalls(), 0);
        }
        // The question comes only once the service is open.
        if (!messages.empty() && messages[0].text == expected::kConfirmStop) {
            EXPECT_TRUE(InOrder(bench.journal, {"OpenServiceA", "AfxMessageBox"}));
        }
    }
}

}  // namespace
