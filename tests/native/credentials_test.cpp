// The typed account's logon: which calls carry it, how its name is split, and that a
// logon or impersonation the platform refuses leaves everything as it was.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "Expected.h"
#include "Fakes.h"
#include "remote/Credentials.h"
#include "remote/Refresh.h"
#include "remote/StartStop.h"

using namespace fakes;

namespace {

enum class Command { Refresh, Start, Stop };

const char* NameOf(Command command)
{
    return command == Command::Refresh ? "refresh" : command == Command::Start ? "start" : "stop";
}

// Explicit credentials for FILESRV-02, row 4 ("Spooler") selected, two services to list.
void ArrangeExplicit(Bench& bench)
{
    bench.console.target = {"FILESRV-02", "ops", "s3cret"};
    bench.console.currentCredential = false;
    bench.console.selectedRow = 4;
    bench.console.itemTexts = {{{4, 1}, "Spooler"}};
    bench.console.answers = {remote::kIdYes};
    bench.platform.services = Services(2);
}

void RunCommand(Bench& bench, Command command)
{
    switch (command) {
    case Command::Refresh: remote::RefreshServiceList(bench.console, bench.platform); break;
    case Command::Start: remote::StartSelectedService(bench.console, bench.platform); break;
    case Command::Stop: remote::StopSelectedService(bench.console, bench.platform); break;
    }
    bench.console.JoinPasses();
}

// The journal without the events of the logon and its token.
std::vector<std::string> WithoutLogon(const CJournal& journal)
{
    std::vector<std::string> events;
    for (const std::string& event : journal.Events())
        if (event != "LogonUserA" && event != "ImpersonateLoggedOnUser" &&
            event != "RevertToSelf" && event != "CloseHandle(token)")
            events.push_back(event);
    return events;
}

int Count(const CJournal& journal, const std::string& event)
{
    const std::vector<std::string> events = journal.Events();
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

const std::vector<Command> kCommands = {Command::Refresh, Command::Start, Command::Stop};

TEST(Credentials, ExplicitOnesAreImpersonatedAroundEveryManagerCall)
{
    for (Command command : kCommands) {
        SCOPED_TRACE(NameOf(command));
        Bench bench;
        ArrangeExplicit(bench);
        RunCommand(bench, command);

        // The command's own logon; the refresh after a start or stop makes one of its own.
        EXPECT_TRUE(InOrder(bench.journal,
                            {"WNetAddConnection2A", "LogonUserA", "ImpersonateLoggedOnUser",
                             "OpenSCManagerA", "CloseServiceHandle(manager)", "RevertToSelf",
                             "CloseHandle(token)", "WNetCancelConnection2A"}));
        ASSERT_GE(bench.platform.logons.size(), 1u);
        const LogonCall& logon = bench.platform.logons[0];
        EXPECT_EQ(logon.user, "ops");
        EXPECT_EQ(logon.domain, "FILESRV-02");
        EXPECT_EQ(logon.password, "s3cret");
        EXPECT_EQ(logon.logonType, 9u);
        EXPECT_EQ(logon.logonProvider, 3u);
        EXPECT_EQ(bench.console.Rows(), expected::Rows(bench.platform.services));
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
    }
}

TEST(Credentials, TheCurrentLogonMakesNoLogonAndImpersonatesNothing)
{
    for (Command command : kCommands) {
        SCOPED_TRACE(NameOf(command));
        Bench bench;
        ArrangeExplicit(bench);
        bench.console.currentCredential = true;
        RunCommand(bench, command);
        EXPECT_EQ(WithoutLogon(bench.journal), bench.journal.Events());
        EXPECT_EQ(bench.platform.Problems(), kBalanced);
    }
}

// Wine's logon is a stand-in whose token cannot be impersonated nor closed (error 6): as
// with a logon refused outright, every other call is what it would be without any logon.
TEST(Credentials, ARefusedLogonOrImpersonationLeavesEveryOtherCallAsItWas)
{
    const std::vector<std::pair<const char*, std::function<void(FakePlatform&)>>> refusals = {
        {"logon refused", [](FakePlatform& p) { p.Fail(Op::Logon, 1326); }},
        {"impersonation refused",
         [](FakePlatform& p) {
             p.Fail(Op::Impersonate, 6);
             p.Fail(Op::CloseToken, 6);
         }},
    };
    for (const auto& [refusal, arrange] : refusals) {
        for (Command command : kCommands) {
            SCOPED_TRACE(std::string(refusal) + ", " + NameOf(command));
            Bench withoutLogon;
            ArrangeExplicit(withoutLogon);
            withoutLogon.platform.Fail(Op::Logon, 1326);
            RunCommand(withoutLogon, command);

            Bench bench;
            ArrangeExplicit(bench);
            arrange(bench.platform);
            RunCommand(bench, command);

            EXPECT_EQ(WithoutLogon(bench.journal), WithoutLogon(withoutLogon.journal));
            EXPECT_EQ(Count(bench.journal, "RevertToSelf"), 0);
            EXPECT_EQ(bench.console.Messages(), withoutLogon.console.Messages());
            EXPECT_EQ(bench.platform.Problems(), kBalanced);
        }
    }
}

// As LogonUserA reads a name: DOMAIN\user apart, a UPN whole with no domain (its suffix
// need not be the domain's name), a bare name on the remote computer; no user, no logon.
TEST(Credentials, AUserNameNamesItsDomainOrTheRemoteComputer)
{
    struct Case {
        std::string typed;
        Text user, domain;
    };
    const std::vector<Case> cases = {
        {"CORP\\ops", "ops", "CORP"},
        {"ops@corp.example", "ops@corp.example", std::nullopt},
        {"ops", "ops", "FILESRV-02"},
        {"CORP\\ops@corp.example", "ops@corp.example", "CORP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Bench bench;
        remote::CCredentialToken token(bench.platform);
        token.LogOn({"FILESRV-02", c.typed, "s3cret"});
        ASSERT_EQ(bench.platform.logons.size(), 1u);
        EXPECT_EQ(bench.platform.logons[0].user, c.user);
        EXPECT_EQ(bench.platform.logons[0].domain, c.domain);
    }
    for (const char* typed : {"", "CORP\\", "@corp.example"}) {
        SCOPED_TRACE(typed);
        Bench bench;
        remote::CCredentialToken token(bench.platform);
        token.LogOn({"FILESRV-02", typed, "s3cret"});
        EXPECT_TRUE(bench.platform.logons.empty());
    }
}

}  // namespace
