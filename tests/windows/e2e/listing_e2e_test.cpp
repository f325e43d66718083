// Listing a computer's services end to end: what Run shows, which credentials reach the
// remote computer, hosts too long for a session, Enter, and Run or Close while a long
// list is still arriving.
#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/windows/e2e/E2eTest.h"

namespace e2e {
namespace {

using ListingTest = QuillmarkE2eTest;

// The connects of the product's process, in order.
std::vector<ProviderCall> Connects(const std::vector<ProviderCall>& calls)
{
    std::vector<ProviderCall> connects;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(connects),
                 [](const ProviderCall& call) { return call.strOp == "connect"; });
    return connects;
}

TEST_F(ListingTest, RunWithCurrentCredentialListsWhatTheBedEnumeratesInOrder)
{
    ASSERT_TRUE(App().IsChecked(IDC_CURRENT_CREDENTIAL));
    const std::vector<ListRow> before = RunOnBed();
    const std::vector<ListRow> listed = App().Rows();
    Shot("run-current-credential");

    // Wine may add a service of its own between the two looks; the list must match one.
    const std::string difference = FirstDifference(listed, before);
    if (!difference.empty()) {
        EXPECT_EQ(FirstDifference(listed, BedEnumeration()), "") << "and before: " << difference;
    }
    ASSERT_GE(listed.size(), 3007u) << "the bed's 7 services and 3,000 extras";
    // A stopped bed service and a running one of Wine's show their state texts.
    EXPECT_NE(std::find_if(listed.begin(), listed.end(),
                           [](const ListRow& row) {
                               return row.strName == "QmBedSlowStop" && row.strState == "Stopped";
                           }),
              listed.end());
    EXPECT_NE(std::find_if(listed.begin(), listed.end(),
                           [](const ListRow& row) { return row.strState == "Service Running"; }),
              listed.end());

    // The logon's own credentials: both null, on the typed host's IPC$ share.
    const std::vector<ProviderCall> connects = Connects(Calls());
    ASSERT_EQ(connects.size(), 1u) << Describe(Calls());
    EXPECT_EQ(connects[0].strRemote, kBedRemoteName);
    EXPECT_EQ(connects[0].strUser, "<null>");
    EXPECT_EQ(connects[0].strPassword, "null");
    EXPECT_EQ(connects[0].result, 0);
}

TEST_F(ListingTest, ExplicitCredentialsReachTheRemoteComputerAsTyped)
{
    // The right password: the list, through a session opened with the typed account.
    App().UseExplicitCredential(BED_USER_A, BED_PASSWORD_A);
    const std::vector<ListRow> expected = RunOnBed();
    EXPECT_EQ(App().RowCount(), static_cast<int>(expected.size()));

    // A wrong one: the message, an empty list, and no pass.
    App().SetText(IDC_PASSWORD, "wrong-password");
    App().Click(IDC_RUN);
    MessageBoxSeen box = App().WaitForMessageBox();
    Shot("wrong-password");
    EXPECT_EQ(box.strText, kRemoteAuthenticationFailed);
    EXPECT_EQ(box.icon, BoxIcon::Exclamation) << BoxIconName(box.icon);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    ExpectProductBox(box);
    App().Answer(box, IDOK);
    EXPECT_EQ(App().RowCount(), 0);

    // An empty password is passed as an empty text, not as none at all.
    App().SetText(IDC_PASSWORD, "");
    App().Click(IDC_RUN);
    box = App().WaitForMessageBox();
    EXPECT_EQ(box.strText, kRemoteAuthenticationFailed);
    App().Answer(box, IDOK);

    const std::vector<ProviderCall> connects = Connects(Calls());
    ASSERT_EQ(connects.size(), 3u) << Describe(Calls());
    EXPECT_EQ(connects[0].strUser, BED_USER_A);
    EXPECT_EQ(connects[0].strPassword, "given");
    EXPECT_EQ(connects[0].result, 0);
    EXPECT_EQ(connects[1].strPassword, "given");
    EXPECT_EQ(connects[1].result, ERROR_LOGON_FAILURE);
    EXPECT_EQ(connects[2].strUser, BED_USER_A);
    EXPECT_EQ(connects[2].strPassword, "empty");
    EXPECT_EQ(connects[2].result, ERROR_LOGON_FAILURE);
}

TEST_F(ListingTest, HostsTooLongForASessionGetTheMessageAndNoCrash)
{
    for (size_t length : {300u, 5000u}) {
        SCOPED_TRACE("host of " + std::to_string(length) + " characters");
        App().RunOn(std::string(length, 'h'));
        const MessageBoxSeen box = App().WaitForMessageBox();
        if (length == 5000)
            Shot("overlong-host");
        EXPECT_EQ(box.strText, kRemoteAuthenticationFailed);
        EXPECT_EQ(box.icon, BoxIcon::Exclamation) << BoxIconName(box.icon);
        ExpectProductBox(box);
        App().Answer(box, IDOK);
        EXPECT_EQ(App().Text(IDC_REMOTE_COMPUTER).size(), length) << "the box keeps what was typed";
    }
    ASSERT_FALSE(App().HasExited()) << "exit code " << App().ExitCode();
    // Still a working console: the bed's list comes.
    RunOnBed();
}

TEST_F(ListingTest, EnterInTheRemoteComputerBoxRunsARefresh)
{
    const std::vector<ListRow> expected = BedEnumeration();
    App().SetText(IDC_REMOTE_COMPUTER, kBedHost);
    App().PressEnterIn(IDC_REMOTE_COMPUTER);
    // Typing another name while the rows arrive changes neither the computer listed nor
    // the session the pass cancels at its end.
    WaitUntil([&] { return App().RowCount() > 0; }, 20000, "the first rows after Enter");
    App().SetText(IDC_REMOTE_COMPUTER, "localhost");
    App().WaitForRefreshEnd(Log(), 1, static_cast<int>(expected.size()));
    Shot("enter-in-remote-computer");
    EXPECT_EQ(App().CellText(0, 0), "0");
    const std::vector<ProviderCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u) << Describe(calls);
    EXPECT_EQ(calls[1].strOp, "cancel");
    EXPECT_EQ(calls[1].strRemote, kBedRemoteName);
}

TEST_F(ListingTest, SecondRunDuringALongPassEndsWithExactlyOneCompleteList)
{
    const std::vector<ListRow> expected = BedEnumeration();
    ASSERT_GE(expected.size(), 3000u) << "the bed needs its 3,000 extra services for a long pass";
    App().RunOn(kBedHost);
    int rowsAtSecondRun = 0;
    WaitUntil([&] { return (rowsAtSecondRun = App().RowCount()) > 0; }, 20000,
              "the first rows of the pass");
    App().Click(IDC_RUN);
    App().WaitForRefreshEnd(Log(), 2, static_cast<int>(expected.size()));
    Shot("second-run-during-pass");
    ASSERT_LT(rowsAtSecondRun, static_cast<int>(expected.size()))
        << "the first pass had ended before Run was pressed again";

    const std::vector<ListRow> listed = App().Rows();
    const std::string difference = FirstDifference(listed, expected);
    if (!difference.empty()) {
        EXPECT_EQ(FirstDifference(listed, BedEnumeration()), "") << "and before: " << difference;
    }
    // Two sessions, one after the other: the second Run waited for the first pass.
    const std::vector<ProviderCall> calls = Calls();
    ASSERT_EQ(calls.size(), 4u) << Describe(calls);
    EXPECT_EQ(calls[0].strOp + calls[1].strOp + calls[2].strOp + calls[3].strOp,
              "connectcancelconnectcancel")
        << Describe(calls);
}

TEST_F(ListingTest, ClosingDuringALongPassEndsTheProcessPromptly)
{
    const std::vector<ListRow> expected = BedEnumeration();
    App().RunOn(kBedHost);
    WaitUntil([&] { return App().RowCount() > 0; }, 20000, "the first rows of the pass");
    Shot("closing-during-pass");
    const int rows = App().RowCount();
    App().Close();
    const DWORD start = ::GetTickCount();
    const bool bExited = App().WaitForExit(10000);
    const DWORD elapsed = ::GetTickCount() - start;
    ASSERT_TRUE(bExited) << "Quillmark.exe still runs 10 s after its console was closed";
    EXPECT_LT(elapsed, 5000u) << "the process took " << elapsed << " ms to end";
    EXPECT_LT(rows, static_cast<int>(expected.size()))
        << "the pass had ended before the console was closed";
    std::printf("closed with %d of %zu rows listed; the process ended %lu ms later\n", rows,
                expected.size(), static_cast<unsigned long>(elapsed));
    // TearDown checks that the pass's session was cancelled on the way out.
}

}  // namespace
}  // namespace e2e
