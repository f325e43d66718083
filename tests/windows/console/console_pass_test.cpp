// The console while a pass fills its list from another thread: responsiveness, commands
// that arrive meanwhile, closing during a pass, and the pass's own message boxes.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/windows/console/ConsoleTestSupport.h"

namespace consoletest {
namespace {

using fakes::InOrder;

// Enough that a pass is still writing rows when a test acts. Each row is four round trips
// to the window's thread, about two milliseconds under Wine.
constexpr int kManyServices = 3000;
constexpr int kFillServices = 1000;

using PassFilling = ConsoleTest;
using CommandDuringPass = ConsoleTest;
using CommandDuringCommand = ConsoleTest;
using PassMessages = ConsoleTest;

// ---- Filling ----

TEST_F(PassFilling, TheWindowAnswersWhileRowsArrive)
{
    m_platform.services = fakes::Services(kFillServices);

    struct Probe {
        int nRows;
        DWORD dwRoundTripMs;
    };
    // Round trips to the window from another thread, until the list is full.
    auto probes = OnSecondThread([hList = m_hList] {
        std::vector<Probe> seen;
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 30000) {
            const DWORD sent = ::GetTickCount();
            const int rows = ListView_GetItemCount(hList);
            seen.push_back({rows, ::GetTickCount() - sent});
            if (rows == kFillServices)
                break;
            ::Sleep(2);
        }
        return seen;
    });
    Click(IDC_RUN);
    ASSERT_TRUE(WaitForPassEnd());

    const std::vector<Probe> seen = Await(probes);
    const auto whileFilling = std::count_if(seen.begin(), seen.end(), [](const Probe& probe) {
        return probe.nRows > 0 && probe.nRows < kFillServices;
    });
    const DWORD slowest = std::max_element(seen.begin(), seen.end(), [](const Probe& a, const Probe& b) {
        return a.dwRoundTripMs < b.dwRoundTripMs;
    })->dwRoundTripMs;
    EXPECT_GE(whileFilling, 3) << "the rows did not arrive while the window answered";
    EXPECT_LT(slowest, 500u);

    ASSERT_EQ(ListView_GetItemCount(m_hList), kFillServices);
    for (int i : {0, 1, 499, kFillServices - 1}) {
        char name[16];
        std::snprintf(name, sizeof name, "svc%03d", i);
        EXPECT_EQ(ListText(m_hList, i, 0), std::to_string(i));
        EXPECT_EQ(ListText(m_hList, i, 1), name);
    }
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// While a pass fills the list only what changed is repainted; rows that arrive in view
// after the list was last shown must still be on screen once the pass has ended.
TEST_F(PassFilling, RowsArrivingAfterTheListWasShownAreOnScreenAtTheEnd)
{
    CRowGate gate(3);
    ASSERT_TRUE(RunUntilHeld(5, gate));
    PumpFor(600);  // the fill's timer shows the first three rows
    gate.Release();
    ASSERT_TRUE(WaitForPassEnd());
    EXPECT_TRUE(ListShowsItsFullRepaint());
}

// ---- Commands that arrive while a pass writes rows ----

TEST_F(CommandDuringPass, ASecondRunEndsWithOneCompleteListOfTheSecondPass)
{
    CRowGate gate(100);
    ASSERT_TRUE(RunUntilHeld(kManyServices, gate));

    // The computer's services change before the second pass asks for them.
    constexpr int kSecondCount = 300;
    std::vector<fakes::FakeService> second;
    for (int i = 0; i < kSecondCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "new%04d", i);
        second.push_back({name, "Second pass " + std::to_string(i), 4});
    }
    m_platform.services = second;
    m_journal.Add("test: Run again");
    Click(IDC_RUN);
    gate.Release();
    ASSERT_TRUE(PumpUntil([this] { return m_platform.connects.size() == 2 && !m_dlg.IsPassRunning(); }));

    // Every position once, all from the second pass, in its order.
    ASSERT_EQ(ListView_GetItemCount(m_hList), kSecondCount);
    int wrongRows = 0;
    for (int i = 0; i < kSecondCount; ++i) {
        if (ListText(m_hList, i, 0) != std::to_string(i) || ListText(m_hList, i, 1) != second[i].strName ||
            ListText(m_hList, i, 3) != "Service Running")
            ++wrongRows;
    }
    EXPECT_EQ(wrongRows, 0);
    // The second session is made only once the first pass has cancelled its own.
    EXPECT_TRUE(InOrder(m_journal, {"WNetAddConnection2A", "test: Run again", "WNetCancelConnection2A",
                                    "WNetAddConnection2A"}));
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

TEST_F(CommandDuringPass, StopWaitsForThePassToEndAndThenAsks)
{
    // The console may let this pass finish its rows first: a shorter list keeps it quick.
    CRowGate gate(100);
    ASSERT_TRUE(RunUntilHeld(300, gate));

    ListView_SetItemState(m_hList, 3, LVIS_SELECTED, LVIS_SELECTED);
    auto confirmation = OnSecondThread([this] {
        return AnswerBox(nullptr, IDNO, 10000, [this](const SeenBox&) {
            m_journal.Add("test: confirmation shown");
        });
    });
    m_journal.Add("test: Stop chosen");
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    gate.Release();
    EXPECT_EQ(Await(confirmation).strText, "Do you really want to stop the service?");
    ASSERT_TRUE(WaitForPassEnd());
    EXPECT_TRUE(InOrder(m_journal, {"test: Stop chosen", "WNetCancelConnection2A", "WNetAddConnection2A",
                                    "OpenServiceA", "test: confirmation shown", "WNetCancelConnection2A"}));
    ASSERT_EQ(m_platform.serviceOpens.size(), 1u);
    EXPECT_EQ(m_platform.serviceOpens[0].name, "svc003");
    EXPECT_TRUE(m_platform.controls.empty());  // answered No
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// A Start and a Stop chosen while a pass writes rows both run once it has ended, in the
// order chosen, each on the row, computer and credentials it was chosen with, although
// the user has moved on by then.
TEST_F(CommandDuringPass, CommandsChosenMeanwhileRunInOrderOnWhatWasChosen)
{
    CRowGate gate(100);
    ASSERT_TRUE(RunUntilHeld(300, gate));

    ListView_SetItemState(m_hList, 2, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_START, 0);
    ListView_SetItemState(m_hList, 3, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    ListView_SetItemState(m_hList, 5, LVIS_SELECTED, LVIS_SELECTED);
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "localhost");
    Click(IDC_ADMIN_CREDENTIAL);

    auto confirmation = OnSecondThread([] { return AnswerMessageBox(IDYES); });
    gate.Release();
    EXPECT_EQ(Await(confirmation).strText, "Do you really want to stop the service?");
    ASSERT_TRUE(WaitForPassEnd());

    EXPECT_TRUE(InOrder(m_journal, {"StartServiceA", "ControlService"}));
    ASSERT_EQ(m_platform.serviceOpens.size(), 2u);
    EXPECT_EQ(m_platform.serviceOpens[0].name, "svc002");
    EXPECT_EQ(m_platform.serviceOpens[1].name, "svc003");
    for (const fakes::ConnectCall& connect : m_platform.connects) {
        EXPECT_EQ(connect.remoteName, "\\\\192.168.0.1\\ipc$");
        EXPECT_EQ(connect.user, std::nullopt);
    }
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// A pass that ends while the About box runs its loop is handled once that box is closed:
// the Run chosen before starts then, not inside the box's loop.
TEST_F(CommandDuringPass, APassEndingInsideAnotherLoopIsHandledByTheConsolesOwn)
{
    CRowGate gate(100);
    const std::shared_ptr<remote::CPassControl> first = RunTwiceWhileHeld(300, gate);
    ASSERT_NE(first, nullptr);

    auto about = OnSecondThread([&] {
        int connectsWhileOpen = -1;
        AnswerBox("About Quillmark", IDOK, 10000,
                  [&](const SeenBox&) { connectsWhileOpen = ConnectsOnceEnded(gate, *first); });
        return connectsWhileOpen;
    });
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(Await(about), 1);
    ASSERT_TRUE(PumpUntil([this] { return m_platform.connects.size() == 2 && !m_dlg.IsPassRunning(); }));
    EXPECT_EQ(ListView_GetItemCount(m_hList), 300);
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// Runs chosen while a pass fills the list give one refresh, of the computer named at the
// last of them: each extra one would connect and log on again. A Stop chosen between them
// keeps its place and its computer.
TEST_F(CommandDuringPass, RunsChosenMeanwhileGiveOneRefreshOfTheLastComputerNamed)
{
    CRowGate gate(100);
    ASSERT_TRUE(RunUntilHeld(300, gate));
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "host-a");
    Click(IDC_RUN);
    ListView_SetItemState(m_hList, 3, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "host-b");
    Click(IDC_RUN);
    Click(IDC_RUN);

    auto confirmation = OnSecondThread([] { return AnswerMessageBox(IDNO); });
    gate.Release();
    EXPECT_EQ(Await(confirmation).strText, "Do you really want to stop the service?");
    ASSERT_TRUE(WaitForPassEnd());
    PumpFor(300);  // time for any further command to start, were one to

    std::vector<std::string> connectedTo;
    for (const fakes::ConnectCall& connect : m_platform.connects)
        connectedTo.push_back(connect.remoteName.value_or("(null)"));
    EXPECT_EQ(connectedTo, (std::vector<std::string>{"\\\\192.168.0.1\\ipc$", "\\\\host-a\\ipc$",
                                                     "\\\\host-b\\ipc$"}));
    EXPECT_EQ(ListView_GetItemCount(m_hList), 300);
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// The list tells a right-click from a drag in a loop of its own, holding the mouse. A pass
// that ends meanwhile is handled once the click is over, not inside it: there the Run
// chosen before would empty the list and connect while the list still waits for the button.
TEST_F(CommandDuringPass, APassEndingWhileTheListTracksAClickIsHandledAfterIt)
{
    CRowGate gate(100);
    const std::shared_ptr<remote::CPassControl> first = RunTwiceWhileHeld(300, gate);
    ASSERT_NE(first, nullptr);
    RECT rcRow = {LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(::SendMessageA(m_hList, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rcRow)));
    const LPARAM at = MAKELPARAM(rcRow.left + 40, (rcRow.top + rcRow.bottom) / 2);
    const DWORD dwConsoleThread = ::GetCurrentThreadId();

    auto user = OnSecondThread([&] {
        const bool bTracking = testbed::PollUntil(
            [&] {
                GUITHREADINFO thread = {};
                thread.cbSize = sizeof thread;
                return ::GetGUIThreadInfo(dwConsoleThread, &thread) && thread.hwndCapture == m_hList;
            },
            10000);
        const int connectsDuringTheClick = ConnectsOnceEnded(gate, *first);
        ::PostMessageA(m_hList, WM_RBUTTONUP, 0, at);
        ReadAndDismissMenu();
        return bTracking ? connectsDuringTheClick : -1;
    });
    ::SendMessageA(m_hList, WM_RBUTTONDOWN, MK_RBUTTON, at);
    EXPECT_EQ(Await(user), 1);
    ASSERT_TRUE(PumpUntil([this] { return Journaled("WNetAddConnection2A") == 2 && !m_dlg.IsPassRunning(); }));
    EXPECT_EQ(ListView_GetItemCount(m_hList), 300);
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// A handler that merely waits on the system holds nothing back: the shell may handle
// messages for a long time while it opens the download page, and a pass that ends then is
// handled then, not only once the shell is done.
TEST_F(CommandDuringPass, APassEndingWhileTheShellOpensAPageIsHandledThen)
{
    CRowGate gate(100);
    ASSERT_TRUE(RunUntilHeld(300, gate));
    bool bHandledMeanwhile = false;
    m_platform.onShellExecute = [&] {
        gate.Release();
        bHandledMeanwhile = PumpUntil([this] { return !m_dlg.IsPassRunning(); }, 5000);
    };
    Click(IDC_DOWNLOAD);
    m_platform.onShellExecute = nullptr;
    EXPECT_TRUE(bHandledMeanwhile);
    EXPECT_EQ(ListView_GetItemCount(m_hList), 300);
}

// ---- Commands that arrive while another command is under way ----

// A Run that reaches the console while a Stop asks its question (another program may send
// it: the console is disabled, its Run button is not) waits until the Stop is over.
TEST_F(CommandDuringCommand, ARunArrivingDuringTheStopQuestionWaitsForTheStop)
{
    ASSERT_TRUE(Refresh());
    ListView_SetItemState(m_hList, 1, LVIS_SELECTED, LVIS_SELECTED);
    const HWND hRun = Item(IDC_RUN);
    auto user = OnSecondThread([this, hRun] {
        int connectsWhileAsked = -1;
        AnswerBox(nullptr, IDNO, 10000, [&](const SeenBox&) {
            ::SendMessageA(hRun, BM_CLICK, 0, 0);
            connectsWhileAsked = Journaled("WNetAddConnection2A");
        });
        return connectsWhileAsked;
    });
    m_journal.Add("test: Stop chosen");
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    EXPECT_EQ(Await(user), 2);  // the first refresh's session and the stop's own
    ASSERT_TRUE(PumpUntil([this] { return Journaled("WNetAddConnection2A") == 3 && !m_dlg.IsPassRunning(); }));
    // The Run connects once the Stop has cancelled its session of the same name.
    EXPECT_TRUE(InOrder(m_journal, {"test: Stop chosen", "OpenServiceA", "WNetCancelConnection2A",
                                    "WNetAddConnection2A", "EnumServicesStatusA(size)"}));
    EXPECT_EQ(ListView_GetItemCount(m_hList), 5);
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// ---- Message boxes ----

TEST_F(PassMessages, AFailureFromThePassIsCaptionedAndOwnedLikeTheWindowsOwn)
{
    m_platform.Fail(fakes::Op::EnumSize, 5);
    m_platform.Fail(fakes::Op::AddConnection, 1326, 1);

    auto fromPass = OnSecondThread([] { return AnswerMessageBox(IDOK); });
    Click(IDC_RUN);
    const SeenBox passBox = Await(fromPass);
    ASSERT_TRUE(WaitForPassEnd());
    auto fromWindow = OnSecondThread([] { return AnswerMessageBox(IDOK); });
    Click(IDC_RUN);
    const SeenBox windowBox = Await(fromWindow);

    EXPECT_EQ(passBox.strText, "Enumeration Services Failed!");
    EXPECT_EQ(passBox.strCaption, "windows_console_tests");
    EXPECT_EQ(passBox.hWndOwner, m_hDlg);
    EXPECT_FALSE(passBox.bOwnerEnabled);
    EXPECT_EQ(windowBox.strText, "Remote Authentication Failed!");
    EXPECT_EQ(windowBox.strCaption, passBox.strCaption);
    EXPECT_EQ(windowBox.hWndOwner, m_hDlg);
    EXPECT_TRUE(::IsWindowEnabled(m_hDlg));
    EXPECT_EQ(ListView_GetItemCount(m_hList), 0);
}

// A refresh empties the list as it begins; a pass that fails writes no row, so no row in
// view changes during its fill. The emptied list must still be painted once it is over.
TEST_F(PassMessages, AFailedPassLeavesTheEmptiedListPainted)
{
    m_platform.Fail(fakes::Op::EnumSize, 5);
    auto fromPass = OnSecondThread([] { return AnswerMessageBox(IDOK); });
    Click(IDC_RUN);
    EXPECT_EQ(Await(fromPass).strText, "Enumeration Services Failed!");
    ASSERT_TRUE(WaitForPassEnd());
    EXPECT_TRUE(ListShowsItsFullRepaint());
}

// A box from the pass while the About box is open belongs to the About box, so closing
// it gives back only what it took: the console stays disabled under the About box.
TEST_F(PassMessages, ABoxFromThePassOverTheAboutBoxLeavesTheConsoleDisabled)
{
    m_platform.Fail(fakes::Op::EnumSize, 5);
    const HANDLE hAboutOpen = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_platform.OnCall(fakes::Op::EnumSize, [hAboutOpen] { ::WaitForSingleObject(hAboutOpen, 10000); });
    Click(IDC_RUN);

    struct Seen {
        SeenBox fromPass;
        HWND hAbout = nullptr;
        bool bConsoleEnabledAfter = true;
    };
    auto user = OnSecondThread([this, hAboutOpen] {
        Seen seen;
        AnswerBox("About Quillmark", IDOK, 10000, [&](const SeenBox& about) {
            seen.hAbout = about.hWnd;
            ::SetEvent(hAboutOpen);
            seen.fromPass = AnswerMessageBox(IDOK);
            ::Sleep(100);
            seen.bConsoleEnabledAfter = ::IsWindowEnabled(m_hDlg) != FALSE;
        });
        return seen;
    });
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const Seen seen = Await(user);
    ::CloseHandle(hAboutOpen);
    ASSERT_TRUE(WaitForPassEnd());

    EXPECT_EQ(seen.fromPass.strText, "Enumeration Services Failed!");
    EXPECT_EQ(seen.fromPass.hWndOwner, seen.hAbout);
    EXPECT_FALSE(seen.bConsoleEnabledAfter);
    EXPECT_TRUE(::IsWindowEnabled(m_hDlg));
}

// ---- Closing during a pass ----

// The program's way out when its console closes while a pass is stuck in a remote call:
// the pass is abandoned, and its session goes at once and only once, although the pass
// itself ends later.
TEST(ConsoleClosing, AnAbandonedPassLosesItsSessionAtOnceAndOnlyOnce)
{
    fakes::CJournal journal;
    CScriptedPlatform platform(journal);
    platform.services = fakes::Services(kManyServices);
    CRowGate gate(100);

    auto pDlg = std::make_unique<CProbeConsole>(platform);
    pDlg->HoldPassAt(&gate);
    TestApp().m_pMainWnd = pDlg.get();
    auto user = OnSecondThread([&gate] {
        const HWND hConsole = WaitForTopLevel("#32770", "Quillmark");
        if (!hConsole)
            return false;
        ::PostMessageA(::GetDlgItem(hConsole, IDC_RUN), BM_CLICK, 0, 0);
        const bool bReached = gate.WaitReached(10000);
        ::PostMessageA(hConsole, WM_CLOSE, 0, 0);
        return bReached;
    });
    pDlg->DoModal();
    TestApp().m_pMainWnd = nullptr;
    ASSERT_TRUE(Await(user));

    const std::shared_ptr<remote::CPassControl> pass = pDlg->RunningPass();
    ASSERT_NE(pass, nullptr);
    pass->Abandon();
    journal.Add("test: abandoned");
    EXPECT_TRUE(platform.EstablishedSessions().empty());

    gate.Release();
    EXPECT_TRUE(PumpUntil([&pass] { return pass->HasEnded(); }));
    pDlg.reset();
    EXPECT_TRUE(InOrder(journal, {"WNetAddConnection2A", "WNetCancelConnection2A", "test: abandoned"}));
    EXPECT_EQ(platform.cancels.size(), 1u);
    EXPECT_EQ(platform.Problems(), fakes::kBalanced);
}

}  // namespace
}  // namespace consoletest
