// Starting and stopping the selected service: the calls made, the order of the
// release before the refresh, and the message for every failure.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Expected.h"
#include "Fakes.h"
#include "remote/ChosenTarget.h"
#include "remote/StartStop.h"

using namespace fakes;
using expected::Boxes;
using expected::OneBox;

namespace {

enum class Kind { Start, Stop };

const char* NameOf(Kind kind) { return kind == Kind::Start ? "start" : "stop"; }

// Row 4 selected, holding the service "Spooler"; two services to refresh with after.
void ArrangeSelectedService(Bench& bench)
{
    bench.console.selectedRow = 4;
    bench.console.itemTexts = {
        {{4, 0}, "4"}, {{4, 1}, "Spooler"}, {{4, 2}, "Print Spooler"}, {{4, 3}, "Stopped"}};
    bench.platform.services = Services(2);
    // A row already shown, which no failing command may touch.
    bench.console.InsertItem(0, "shown");
}

// Runs the command, with a Yes to the stop question unless answers say otherwise, and
// waits for the pass of the refresh it started.
std::shared_ptr<remote::CPassControl> RunCommand(Bench& bench, Kind kind,
                                          remote::PassEndedCallback onEnded = {})
{
    if (kind == Kind::Stop && bench.console.answers.empty())
        bench.console.answers = {remote::kIdYes};
    auto control = kind == Kind::Start
                       ? remote::StartSelectedService(bench.console, bench.platform, onEnded)
                       : remote::StopSelectedService(bench.console, bench.platform, onEnded);
    bench.console.JoinPasses();
    return control;
}

const Boxes kConfirm = OneBox(expected::kConfirmStop, expected::kYesNoQuestion);

Boxes ConfirmThen(const std::string& text, unsigned style)
{
    return {kConfirm[0], {text, style}};
}

TEST(StartStop, NoSelectionPullsTheTargetAndDoesNothingElse)
{
    for (Kind kind : {Kind::Start, Kind::Stop}) {
        SCOPED_TRACE(NameOf(kind));
        Bench bench;
        bench.console.selectedRow = -1;
        EXPECT_EQ(RunCommand(bench, kind), nullptr);

        EXPECT_EQ(bench.journal.Events(),
                  (std::vector<std::string>{"PullRemoteTarget", "GetNextItem"}));
        EXPECT_EQ(bench.console.nextItemCalls,
                  (std::vector<std::pair<int, unsigned>>{{-1, 2u}}));
        EXPECT_EQ(bench.platform.RemoteCalls(), 0);
    }
}

TEST(StartStop, EveryFailureShowsItsMessageAndLeavesTheListAlone)
{
    struct Case {
        const char* situation;
        Kind kind;
        std::function<void(Bench&)> arrange;
        Boxes messages;
    };
    auto fail = [](Op op, std::uint32_t error) {
        return [op, error](Bench& b) { b.platform.Fail(op, error); };
    };
    auto answer = [](int button) { return [button](Bench& b) { b.console.answers = {button}; }; };
    const Boxes authFailed = OneBox(expected::kAuthFailed, expected::kPlainOk);
    const Boxes managerFailed = OneBox(expected::kManagerFailed, expected::kPlainOk);
    const Boxes serviceFailed = OneBox(expected::kServiceFailed, expected::kPlainOk);
    const std::vector<Case> cases = {
        {"start: session refused", Kind::Start, fail(Op::AddConnection, 1326), authFailed},
        {"stop: session refused", Kind::Stop, fail(Op::AddConnection, 1326), authFailed},
        {"start: manager refused", Kind::Start, fail(Op::OpenManager, 5), managerFailed},
        {"stop: manager refused", Kind::Stop, fail(Op::OpenManager, 5), managerFailed},
        {"start: service refused", Kind::Start, fail(Op::OpenService, 1060), serviceFailed},
        {"stop: service refused, never asked", Kind::Stop, fail(Op::OpenService, 1060),
         serviceFailed},
        {"start refused", Kind::Start, fail(Op::StartService, 5),
         OneBox(expected::StartText(5), expected::kStopIcon)},
        {"stop refused", Kind::Stop, fail(Op::ControlService, 1052),
         ConfirmThen(expected::StopText(1052), expected::kStopIcon)},
        {"stop answered No", Kind::Stop, answer(remote::kIdNo), kConfirm},
        {"stop answered Cancel", Kind::Stop, answer(2), kConfirm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        Bench bench;
        ArrangeSelectedService(bench);
        c.arrange(bench);
        EXPECT_EQ(RunCommand(bench, c.kind), nullptr);

        EXPECT_EQ(bench.console.Messages(), c.messages);
        EXPECT_EQ(bench.console.Rows(), (std::map<int, Row>{{0, Row{"shown", "", "", ""}}}));
        EXPECT_EQ(bench.console.ThreadStarts(), 0);
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
    }
}

TEST(StartStop, UnconfirmedStopMakesNoControlRequest)
{
    Bench bench;
    ArrangeSelectedService(bench);
    bench.console.answers = {remote::kIdNo};
    RunCommand(bench, Kind::Stop);
    EXPECT_TRUE(bench.platform.controls.empty());
    EXPECT_EQ(bench.platform.cancels.size(), 1u);
}

TEST(StartStop, EveryStartErrorCodeGetsItsText)
{
    std::vector<std::uint32_t> codes = {1056, 0, 2, 1062, 0xFFFFFFFF};
    for (const auto& [code, text] : expected::kStartTexts)
        codes.push_back(code);
    for (std::uint32_t code : codes) {
        SCOPED_TRACE(code);
        Bench bench;
        ArrangeSelectedService(bench);
        bench.platform.Fail(Op::StartService, code);
        RunCommand(bench, Kind::Start);
        EXPECT_EQ(bench.console.Messages(), OneBox(expected::StartText(code), expected::kStopIcon));
    }
    EXPECT_EQ(expected::StartText(1056), expected::kNotKnown);
}

TEST(StartStop, EveryStopErrorCodeGetsItsText)
{
    // The start table's other codes mean nothing particular to a stop.
    std::vector<std::uint32_t> codes = {1062, 1058, 3, 1055, 1056, 1068, 1069, 1072, 1075, 0};
    for (const auto& [code, text] : expected::kStopTexts)
        codes.push_back(code);
    for (std::uint32_t code : codes) {
        SCOPED_TRACE(code);
        Bench bench;
        ArrangeSelectedService(bench);
        bench.platform.Fail(Op::ControlService, code);
        RunCommand(bench, Kind::Stop);
        EXPECT_EQ(bench.console.Messages(),
                  ConfirmThen(expected::StopText(code), expected::kStopIcon));
    }
    EXPECT_EQ(expected::StopText(1058), expected::kNotKnown);
}

// No code outside the two tables has a text of its own, whichever way it is asked.
TEST(StartStop, CodesOutsideTheTablesAreNotKnown)
{
    for (std::uint32_t code = 0; code < 1200; ++code) {
        EXPECT_EQ(remote::StartErrorText(code), expected::StartText(code)) << code;
        EXPECT_EQ(remote::StopErrorText(code), expected::StopText(code)) << code;
    }
}

TEST(StartStop, OpensTheServiceNamedInColumnOneWithOnlyTheRightsItUses)
{
    for (Kind kind : {Kind::Start, Kind::Stop}) {
        SCOPED_TRACE(NameOf(kind));
        Bench bench;
        ArrangeSelectedService(bench);
        bench.console.target.strHost = "fs01.example.test";
        RunCommand(bench, kind);

        EXPECT_EQ(bench.console.itemTextCalls, (std::vector<std::pair<int, int>>{{4, 1}}));
        const OpenManagerCall& manager = bench.platform.managerOpens.at(0);
        EXPECT_EQ(manager.machine, "fs01.example.test");
        EXPECT_EQ(manager.database, std::nullopt);
        EXPECT_EQ(manager.access, 0x1u);
        ASSERT_EQ(bench.platform.serviceOpens.size(), 1u);
        const OpenServiceCall& service = bench.platform.serviceOpens[0];
        EXPECT_TRUE(bench.platform.IsManager(service.manager));
        EXPECT_EQ(service.name, "Spooler");
        EXPECT_EQ(service.access, kind == Kind::Start ? 0x10u : 0x20u);
    }
}

// A password of 15 characters or fewer lives inside its string: a string moved from keeps
// all of it but the first character, in a frame nobody wipes. Once the session is up, no
// copy is left on the command's stack, in a live slot or a dead one.
TEST(StartStop, LeavesNoCopyOfAShortPasswordOnTheStack)
{
    const auto bench = std::make_unique<Bench>();  // the console's own copy: on the heap
    ArrangeSelectedService(*bench);
    bench->console.target.strPassword = "Pw-under-watch";
    bench->platform.Fail(Op::OpenService, 5);  // no refresh follows
    char top = 0;
    bool bHeld = false;
    bench->platform.OnCall(Op::OpenManager, [&] { bHeld = StackHolds(&top, "w-under-watch"); });
    RunCommand(*bench, Kind::Start);
    EXPECT_FALSE(bHeld);
}

TEST(StartStop, StartAsksWithoutArgumentsAndStopWithTheStopCode)
{
    Bench starting;
    ArrangeSelectedService(starting);
    RunCommand(starting, Kind::Start);
    ASSERT_EQ(starting.platform.starts.size(), 1u);
    EXPECT_TRUE(starting.platform.IsService(starting.platform.starts[0].service));
    EXPECT_EQ(starting.platform.starts[0].argc, 0u);
    EXPECT_TRUE(starting.platform.starts[0].argvNull);

    Bench stopping;
    ArrangeSelectedService(stopping);
    RunCommand(stopping, Kind::Stop);
    ASSERT_EQ(stopping.platform.controls.size(), 1u);
    EXPECT_TRUE(stopping.platform.IsService(stopping.platform.controls[0].service));
    EXPECT_EQ(stopping.platform.controls[0].control, 1u);
    EXPECT_FALSE(stopping.platform.controls[0].statusNull);
    EXPECT_TRUE(InOrder(stopping.journal, {"OpenServiceA", "AfxMessageBox", "ControlService"}));
}

TEST(StartStop, SuccessReleasesEverythingBeforeTheRefreshConnects)
{
    for (Kind kind : {Kind::Start, Kind::Stop}) {
        SCOPED_TRACE(NameOf(kind));
        Bench bench;
        ArrangeSelectedService(bench);
        int endedCalls = 0;
        auto control = RunCommand(bench, kind, [&endedCalls] { ++endedCalls; });

        EXPECT_TRUE(InOrder(bench.journal,
                            {kind == Kind::Start ? "StartServiceA" : "ControlService",
                             "CloseServiceHandle(service)", "CloseServiceHandle(manager)",
                             "WNetCancelConnection2A", "PullRemoteTarget", "DeleteAllItems",
                             "WNetAddConnection2A", "AfxBeginThread"}));
        // The pass handed back is the refresh's, which has run to its end.
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->HasEnded());
        EXPECT_EQ(endedCalls, 1);
        EXPECT_EQ(bench.console.Rows(), expected::Rows(bench.platform.services));
        EXPECT_EQ(bench.console.Messages(), kind == Kind::Start ? expected::kNoBox : kConfirm);
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
    }
}

// A command chosen while a pass ran is run once the pass has ended, by which time the
// user may have selected another row, typed another computer or switched credentials.
TEST(ChosenTarget, ACommandRunLaterActsOnWhatWasChosen)
{
    Bench bench;
    ArrangeSelectedService(bench);
    bench.console.target = {"10.0.0.5", "ops", "secret"};
    bench.console.currentCredential = false;
    remote::CChosenTarget chosen(bench.console);

    bench.console.selectedRow = 7;
    bench.console.itemTexts[{7, 1}] = "Schedule";
    bench.console.target = {"10.0.0.9", "other", "other"};
    bench.console.currentCredential = true;
    bench.console.answers = {remote::kIdYes};
    remote::StopSelectedService(chosen, bench.platform);
    bench.console.JoinPasses();

    ASSERT_EQ(bench.platform.serviceOpens.size(), 1u);
    EXPECT_EQ(bench.platform.serviceOpens[0].name, "Spooler");
    // The command's session, manager and the refresh after it: all the chosen computer.
    ASSERT_EQ(bench.platform.connects.size(), 2u);
    for (const ConnectCall& connect : bench.platform.connects) {
        EXPECT_EQ(connect.remoteName, "\\\\10.0.0.5\\ipc$");
        EXPECT_EQ(connect.user, "ops");
        EXPECT_EQ(connect.password, "secret");
    }
    EXPECT_EQ(bench.platform.managerOpens[0].machine, "10.0.0.5");
    EXPECT_EQ(bench.platform.Problems(), kBalanced);
}

// A pass inserts a row before it writes the row's texts; a Start or Stop chosen on the row
// in between has no service to act on, which is no selection at all.
TEST(ChosenTarget, ARowWhoseServiceNameIsNotWrittenYetIsNoSelection)
{
    for (Kind kind : {Kind::Start, Kind::Stop}) {
        SCOPED_TRACE(NameOf(kind));
        Bench bench;
        ArrangeSelectedService(bench);
        bench.console.itemTexts = {{{4, 0}, "4"}};
        remote::CChosenTarget chosen(bench.console);
        if (kind == Kind::Start)
            remote::StartSelectedService(chosen, bench.platform);
        else
            remote::StopSelectedService(chosen, bench.platform);
        bench.console.JoinPasses();
        EXPECT_EQ(bench.platform.RemoteCalls(), 0);
        EXPECT_EQ(bench.console.Messages(), expected::kNoBox);
    }
}

}  // namespace
