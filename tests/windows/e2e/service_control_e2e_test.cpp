// Starting and stopping services from the list's popup menu, end to end: what reaches the
// bed's service manager, what the user is asked and told, and how the list follows.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/windows/e2e/E2eTest.h"

namespace e2e {
namespace {

constexpr char kRunning[] = "QmBedRunning";
constexpr char kNoStop[] = "QmBedNoStop";
constexpr char kDisabled[] = "QmBedDisabled";
constexpr char kMissing[] = "QmBedMissing";
// "QmBedÄÖü" and "Bed service ÄÖü ß" in the system code page (1252).
constexpr char kAccented[] = "QmBed\xC4\xD6\xFC";
constexpr char kAccentedDisplay[] = "Bed service \xC4\xD6\xFC \xDF";

constexpr char kErrorHeading[] = "Error while controlling the service.\rError type:\r\t";

class ServiceControlTest : public StoppedServicesTest {
protected:
    ServiceControlTest() : StoppedServicesTest({kRunning, kNoStop, kAccented}) {}

    // The row of the service in the list, which must be there.
    int RowOf(const std::string& name)
    {
        const int row = App().FindRow(name);
        if (row < 0)
            throw DriverError("the list has no row for " + name);
        return row;
    }

    // The box a refused command shows: stop icon, OK only, the product's caption.
    void ExpectRefusal(const MessageBoxSeen& box, const std::string& reason)
    {
        EXPECT_EQ(box.strText, kErrorHeading + reason);
        EXPECT_EQ(box.icon, BoxIcon::Hand) << BoxIconName(box.icon);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        ExpectProductBox(box);
    }

    int Opened()
    {
        int opened = 0;
        for (const ProviderCall& call : Calls())
            opened += call.strOp == "connect" && call.result == 0;
        return opened;
    }
};

TEST_F(ServiceControlTest, StartAndStopWithNoSelectionOpenNoSessionAndSayNothing)
{
    App().SetText(IDC_REMOTE_COMPUTER, kBedHost);
    for (int item : {CQuillmark::kStart, CQuillmark::kStop}) {
        SCOPED_TRACE(item == CQuillmark::kStart ? "Start" : "Stop");
        App().RightClickEmptyList();
        if (item == CQuillmark::kStop)
            Shot("no-selection-menu");
        EXPECT_EQ(App().SelectedRow(), -1);
        App().ChooseMenuItem(item);
        App().SyncWithConsole();
        EXPECT_TRUE(App().OpenMessageBoxes().empty());
    }
    EXPECT_TRUE(Calls().empty()) << Describe(Calls());
}

TEST_F(ServiceControlTest, StartThenStopAsTheUserConfirms)
{
    RunOnBed();
    int row = RowOf(kRunning);
    EXPECT_EQ(App().CellText(row, 3), "Stopped");

    // Start: the service runs on the bed and the list, refreshed, says so.
    App().StartService(row);
    App().WaitForRefreshEnd(Log(), 3, static_cast<int>(BedEnumeration().size()));
    EXPECT_TRUE(App().OpenMessageBoxes().empty()) << "a successful start says nothing";
    EXPECT_EQ(bed::State(kRunning), static_cast<DWORD>(SERVICE_RUNNING));
    row = RowOf(kRunning);
    EXPECT_EQ(App().CellText(row, 3), "Service Running");
    Shot("start-succeeded");

    // Start again: the bed answers "already running", which has no text of its own.
    App().StartService(row);
    MessageBoxSeen box = App().WaitForMessageBox();
    ExpectRefusal(box, "Not known.");
    App().Answer(box, IDOK);
    EXPECT_EQ(App().CellText(row, 3), "Service Running") << "a failure leaves the list alone";
    EXPECT_EQ(Opened(), 4);

    // Stop, answered No: nothing reaches the service and the list stays.
    App().StopService(row);
    box = App().WaitForMessageBox();
    Shot("stop-confirmation");
    EXPECT_EQ(box.strText, "Do you really want to stop the service?");
    EXPECT_EQ(box.icon, BoxIcon::Question) << BoxIconName(box.icon);
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    ExpectProductBox(box);
    App().Answer(box, IDNO);
    App().SyncWithConsole();
    EXPECT_TRUE(App().OpenMessageBoxes().empty());
    EXPECT_EQ(bed::State(kRunning), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(Opened(), 5) << "no refresh after an unconfirmed stop\n" << Describe(Calls());
    EXPECT_EQ(App().CellText(row, 3), "Service Running");

    // Stop, answered Yes: stopped on the bed, and the list refreshed at once.
    App().StopService(row);
    box = App().WaitForMessageBox();
    ASSERT_EQ(box.strText, "Do you really want to stop the service?");
    App().Answer(box, IDYES);
    App().WaitForRefreshEnd(Log(), 7, static_cast<int>(BedEnumeration().size()));
    const std::string state = App().CellText(RowOf(kRunning), 3);
    EXPECT_TRUE(state == "Stop Pending" || state == "Stopped") << state;
    Shot("stop-confirmed");
    bed::WaitForState(kRunning, SERVICE_STOPPED, 5000);
}

TEST_F(ServiceControlTest, StopRefusedByTheServiceShowsWhyWithTheStopIcon)
{
    bed::Start(kNoStop);
    RunOnBed();
    const int row = RowOf(kNoStop);
    EXPECT_EQ(App().CellText(row, 3), "Service Running");

    App().StopService(row);
    MessageBoxSeen box = App().WaitForMessageBox();
    ASSERT_EQ(box.strText, "Do you really want to stop the service?");
    App().Answer(box, IDYES);
    box = App().WaitForMessageBox();
    Shot("stop-refused");
    ExpectRefusal(box, "Specified action is not availaible for this service.");
    App().Answer(box, IDOK);
    EXPECT_EQ(bed::State(kNoStop), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(App().CellText(row, 3), "Service Running");
    EXPECT_EQ(Opened(), 2) << "no refresh after a refused stop\n" << Describe(Calls());
}

TEST_F(ServiceControlTest, StartRefusedByTheRemoteComputerShowsWhy)
{
    RunOnBed();
    App().StartService(RowOf(kDisabled));
    MessageBoxSeen box = App().WaitForMessageBox();
    Shot("start-disabled");
    ExpectRefusal(box, "The service has been disabled.");
    App().Answer(box, IDOK);

    // A command goes to the computer the box names now, not to the one listed: here
    // the same bed under another name. The missing program file is error 2, which has
    // no text of its own.
    App().SetText(IDC_REMOTE_COMPUTER, "localhost");
    App().StartService(RowOf(kMissing));
    box = App().WaitForMessageBox();
    ExpectRefusal(box, "Not known.");
    App().Answer(box, IDOK);

    // The typed credentials, when chosen, are the command's too.
    App().UseExplicitCredential(BED_USER_A, "wrong-password");
    App().StartService(RowOf(kRunning));
    box = App().WaitForMessageBox();
    EXPECT_EQ(box.strText, kRemoteAuthenticationFailed);
    EXPECT_EQ(box.icon, BoxIcon::Exclamation) << BoxIconName(box.icon);
    ExpectProductBox(box);
    App().Answer(box, IDOK);

    for (const char* name : {kDisabled, kMissing, kRunning})
        EXPECT_EQ(bed::State(name), static_cast<DWORD>(SERVICE_STOPPED)) << name;
    const std::vector<ProviderCall> calls = Calls();
    ASSERT_EQ(calls.size(), 7u) << Describe(calls);
    EXPECT_EQ(calls[4].strRemote, "\\\\localhost\\ipc$") << Describe(calls);
    EXPECT_EQ(calls[6].strUser, BED_USER_A) << Describe(calls);
    EXPECT_EQ(calls[6].result, ERROR_LOGON_FAILURE) << Describe(calls);
}

TEST_F(ServiceControlTest, StartsTheServiceNamedInTheListInTheSystemCodePage)
{
    RunOnBed();
    const int row = RowOf(kAccented);
    EXPECT_EQ(App().CellText(row, 2), kAccentedDisplay);
    App().StartService(row);
    App().WaitForRefreshEnd(Log(), 3, static_cast<int>(BedEnumeration().size()));
    Shot("start-accented-name");
    EXPECT_TRUE(App().OpenMessageBoxes().empty());
    EXPECT_EQ(bed::State(kAccented), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(App().CellText(RowOf(kAccented), 3), "Service Running");
}

// From the keyboard alone: name the bed, refresh with F5, find the service by typing the
// start of its name, and stop it from the menu that the menu key opens.
TEST_F(ServiceControlTest, AServiceFoundByTypingItsNameIsStoppedFromTheKeyboardAlone)
{
    bed::Start(kRunning);
    const int total = static_cast<int>(BedEnumeration().size());
    ::SetForegroundWindow(App().Console());

    // Run has the focus; past the list, Tab selects the remote-computer box's text.
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    TypeText(kBedHost);
    PressKey(VK_F5);
    App().WaitForRefreshEnd(Log(), 1, total);
    EXPECT_EQ(App().Text(IDC_REMOTE_COMPUTER), kBedHost);

    PressKey(VK_TAB, {VK_SHIFT});
    TypeText("qmbedru");
    const int row = RowOf(kRunning);
    WaitUntil([&] { return App().SelectedRow() == row; }, 10000,
              "row " + std::to_string(row) + " (" + kRunning + ") to be selected",
              [&] { return "row " + std::to_string(App().SelectedRow()) + " is selected"; });
    Shot("found-by-typing");

    PressKey(VK_APPS);
    WaitUntil([&] { return App().FindWindowOfProcess("#32768", nullptr) != nullptr; }, 10000,
              "the menu that the menu key opens");
    PressKey(VK_DOWN);
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    const MessageBoxSeen box = App().WaitForMessageBox();
    ASSERT_EQ(box.strText, "Do you really want to stop the service?");
    PressKey(VK_RETURN);  // Yes, the default button
    WaitUntil([&] { return !::IsWindow(box.hWnd) || !::IsWindowVisible(box.hWnd); }, 10000,
              "the question to close after Enter");

    App().WaitForRefreshEnd(Log(), 3, total);
    const std::string state = App().CellText(RowOf(kRunning), 3);
    EXPECT_TRUE(state == "Stop Pending" || state == "Stopped") << state;
    bed::WaitForState(kRunning, SERVICE_STOPPED, 10000);
}

// While a long list fills, the user chooses Stop on one row, then clicks another row and
// names the computer another way. The stop waits for the list, then stops the service and
// asks the computer it was chosen for; and an Enter typed while it waited on a slow remote
// computer is not taken as the answer to its question.
TEST_F(ServiceControlTest, AStopChosenDuringAFillKeepsItsTargetAndIgnoresKeysTypedAhead)
{
    bed::Start(kRunning);
    bed::Start(kNoStop);
    const std::vector<ListRow> listed = BedEnumeration();
    const int total = static_cast<int>(listed.size());
    const auto positionOf = [&listed](const char* name) {
        const auto it = std::find_if(listed.begin(), listed.end(),
                                     [name](const ListRow& row) { return row.strName == name; });
        return static_cast<int>(it - listed.begin());
    };
    const int running = positionOf(kRunning);
    const int noStop = positionOf(kNoStop);
    ASSERT_LT(std::max(running, noStop), total);

    App().RunOn(kBedHost);
    WaitUntil([&] { return App().RowCount() > std::max(running, noStop); }, 30000,
              "the bed's own services to be listed");
    // The computer answers slowly from now on: the stop's wait for it will keep the window
    // busy.
    struct SlowBed {
        SlowBed() { bed::SetConnectDelay(4000); }
        ~SlowBed() { bed::SetConnectDelay(0); }
    } slowBed;
    App().StopService(running);
    App().ClickRow(noStop);
    App().SetText(IDC_REMOTE_COMPUTER, "localhost");
    ASSERT_LT(App().RowCount(), total) << "the list was whole before the user had moved on";
    // Nothing else keeps the window from answering for a second: the stop has begun.
    WaitUntil([&] { return !App().AnswersWithin(1000); }, 60000, "the stop to keep the window busy");
    PressKey(VK_RETURN);
    const MessageBoxSeen box = App().WaitForMessageBox(20000);
    ASSERT_EQ(box.strText, "Do you really want to stop the service?");
    ::Sleep(500);
    EXPECT_TRUE(::IsWindowVisible(box.hWnd)) << "an Enter typed ahead answered the question";
    Shot("stop-chosen-during-fill");
    App().Answer(box, IDYES);
    App().WaitForRefreshEnd(Log(), 3, total);

    bed::WaitForState(kRunning, SERVICE_STOPPED, 10000);
    EXPECT_EQ(bed::State(kNoStop), static_cast<DWORD>(SERVICE_RUNNING));
    for (const ProviderCall& call : Calls())
        EXPECT_EQ(call.strRemote, kBedRemoteName) << Describe(Calls());
}

}  // namespace
}  // namespace e2e
