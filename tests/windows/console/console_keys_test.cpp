// The console from the keyboard: a service found by typing its name, F5, and the list
// copied with Ctrl+C and Ctrl+Shift+C. Every key goes through the console's own loop.
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/windows/console/ConsoleTestSupport.h"
#include "tests/windows/support/Beeps.h"

namespace consoletest {
namespace {

using ConsoleKeys = ConsoleTest;

// Longer than the pause that ends a typed name.
constexpr DWORD kTypingPauseMs = 1100;

// "QmBedÄÖü" in the system code page (1252), and its "ä" typed in lower case.
constexpr char kAccented[] = "QmBed\xC4\xD6\xFC";
constexpr char kLowerAWithDiaeresis[] = "\xE4";

int SelectedRow(HWND hList) { return ListView_GetNextItem(hList, -1, LVNI_SELECTED); }
int FocusedRow(HWND hList) { return ListView_GetNextItem(hList, -1, LVNI_FOCUSED); }

bool IsInView(HWND hList, int row)
{
    const int top = ListView_GetTopIndex(hList);
    return row >= top && row < top + ListView_GetCountPerPage(hList);
}

RECT ClientOnScreen(HWND hWnd)
{
    RECT rect = {};
    ::GetClientRect(hWnd, &rect);
    ::MapWindowPoints(hWnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The row as a copy writes it: its four texts, tab-separated, CR LF.
std::string CopiedRow(HWND hList, int row)
{
    return ListText(hList, row, 0) + "\t" + ListText(hList, row, 1) + "\t" + ListText(hList, row, 2) +
           "\t" + ListText(hList, row, 3) + "\r\n";
}

// Read on a second thread, as another program reads it: the console must have closed it.
std::optional<std::string> ClipboardAsAnotherProgramSeesIt()
{
    auto text = OnSecondThread(&ClipboardText);
    return Await(text);
}

// ---- A typed name ----

TEST_F(ConsoleKeys, TypingANameSelectsTheNextRowWhoseServiceNameStartsWithIt)
{
    m_platform.services = {{"Browser", "Computer Browser", 4}, {"alg", "Application Layer Gateway", 1},
                           {"QmBedRunning", "Bed service running", 4}, {"Alerter", "Alerter", 1},
                           {kAccented, "Bed service", 1}, {"3ware", "Storage", 4}};
    ASSERT_TRUE(Refresh());
    const CBeepCounter beeps;
    const auto typeExpecting = [this](const std::string& typed, int row) {
        TypeOn(m_hList, typed);
        EXPECT_EQ(SelectedRow(m_hList), row) << "after typing " << typed;
        EXPECT_EQ(FocusedRow(m_hList), row) << "after typing " << typed;
    };

    // The same letter again moves on to the next row that starts with it, and round.
    typeExpecting("a", 1);
    typeExpecting("a", 3);
    typeExpecting("a", 1);

    // Letters typed together narrow the name, in any case, beyond ASCII too.
    PumpFor(kTypingPauseMs);
    typeExpecting("qmbed", 2);
    typeExpecting(kLowerAWithDiaeresis, 4);

    // The position column is not searched: "3" is the name 3ware, not row 3.
    PumpFor(kTypingPauseMs);
    typeExpecting("3", 5);
    EXPECT_EQ(beeps.Count(), 0);

    // No such name: the selection stays, and the system's default beep sounds.
    PumpFor(kTypingPauseMs);
    typeExpecting("x", 5);
    EXPECT_EQ(beeps.Count(), 1);
    EXPECT_EQ(beeps.LastType(), static_cast<UINT>(MB_OK));
}

// In a double-byte code page (932, in a prefix of its own) あ arrives as two bytes, and is
// one character all the same: typed again, it moves on to the next row that starts with it.
TEST_F(ConsoleKeys, ADoubleByteCharacterTypedAgainMovesOnToTheNextRowStartingWithIt)
{
    if (::GetACP() != 932)
        GTEST_SKIP() << "runs in the prefix whose code page is 932";
    const std::string a = "\x82\xA0";
    m_platform.services = {{"A1", "", 1}, {a + "x1", "", 1}, {"B", "", 1}, {a + "x2", "", 1}};
    ASSERT_TRUE(Refresh());
    const CBeepCounter beeps;
    std::vector<int> rows;
    for (int i = 0; i < 3; ++i) {
        TypeOn(m_hList, a);
        rows.push_back(SelectedRow(m_hList));
    }
    EXPECT_EQ(rows, (std::vector<int>{1, 3, 1}));
    EXPECT_EQ(beeps.Count(), 0);
}

// While a pass fills the list its redraw is off, and with it the list's own scroll range:
// the row that a single key finds must be scrolled to and shown all the same.
TEST_F(ConsoleKeys, ANameTypedDuringAFillFindsARowArrivedSoFarAndShowsIt)
{
    constexpr int kFound = 195;  // among the last rows written before the pass is held
    std::vector<fakes::FakeService> services = fakes::Services(300);
    services[kFound].strName = "QmBedRunning";
    m_platform.services = services;
    CRowGate gate(200);
    m_dlg.HoldPassAt(&gate);
    Click(IDC_RUN);
    ASSERT_TRUE(gate.WaitReached(10000));
    ::SetFocus(m_hList);

    TypeOn(m_hList, "q");
    EXPECT_EQ(SelectedRow(m_hList), kFound);
    EXPECT_TRUE(IsInView(m_hList, kFound)) << "top row " << ListView_GetTopIndex(m_hList);
    const std::vector<DWORD> shownDuringFill = testbed::ScreenPixels(ClientOnScreen(m_hList));

    // Once the fill has ended the list is shown whole; the rows in view were all there.
    gate.Release();
    ASSERT_TRUE(WaitForPassEnd());
    PumpFor(100);
    EXPECT_EQ(SelectedRow(m_hList), kFound);
    EXPECT_TRUE(shownDuringFill == testbed::ScreenPixels(ClientOnScreen(m_hList)))
        << "the row found during the fill was not shown until the fill ended";
}

// ---- F5 ----

TEST_F(ConsoleKeys, F5AnywhereInTheConsoleIsRunWithItsRulesForAPassUnderWay)
{
    CRowGate gate(100);
    m_platform.services = fakes::Services(300);
    m_dlg.HoldPassAt(&gate);
    PressOn(Item(IDC_RUN), VK_F5);
    ASSERT_TRUE(gate.WaitReached(10000)) << "F5 started no refresh";

    // While that pass fills the list, F5 in the box and then on the list, each after
    // naming another computer: one more refresh, of the last one named.
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "host-a");
    PressOn(Item(IDC_REMOTE_COMPUTER), VK_F5);
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "host-b");
    PressOn(m_hList, VK_F5);
    gate.Release();
    ASSERT_TRUE(PumpUntil([this] { return m_platform.connects.size() == 2 && !m_dlg.IsPassRunning(); }));
    PumpFor(300);  // time for any further refresh to start, were one to

    std::vector<std::string> connectedTo;
    for (const fakes::ConnectCall& connect : m_platform.connects)
        connectedTo.push_back(connect.remoteName.value_or("(null)"));
    EXPECT_EQ(connectedTo, (std::vector<std::string>{"\\\\192.168.0.1\\ipc$", "\\\\host-b\\ipc$"}));
    EXPECT_EQ(ListView_GetItemCount(m_hList), 300);
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// ---- Copying ----

TEST_F(ConsoleKeys, CtrlCOnTheListCopiesTheSelectedRowAndInABoxItsText)
{
    ASSERT_TRUE(Refresh());
    ASSERT_TRUE(PutClipboardText("before"));
    ::SetForegroundWindow(m_hDlg);
    ::SetFocus(m_hList);

    // No row selected: the clipboard keeps what it had.
    PressKey('C', {VK_CONTROL});
    HandleQueued();
    EXPECT_EQ(ClipboardAsAnotherProgramSeesIt(), "before");

    ListView_SetItemState(m_hList, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    PressKey('C', {VK_CONTROL});
    HandleQueued();
    EXPECT_EQ(ClipboardAsAnotherProgramSeesIt(), "2\tsvc002\tService number 2\t" + ListText(m_hList, 2, 3) + "\r\n");

    // In an edit box, Ctrl+C is the box's own.
    ::SetFocus(Item(IDC_REMOTE_COMPUTER));
    ::SendMessageA(Item(IDC_REMOTE_COMPUTER), EM_SETSEL, 0, 3);
    PressKey('C', {VK_CONTROL});
    HandleQueued();
    EXPECT_EQ(ClipboardAsAnotherProgramSeesIt(), "192");
}

// A remote computer may send a tab or a line break in a name: each row stays one line of
// four texts.
TEST_F(ConsoleKeys, CtrlShiftCCopiesTheHeadingsAndEveryRowInListOrder)
{
    m_platform.services = fakes::Services(4);
    m_platform.services[1].strDisplayName = "Split\tby a tab\r\nand a line break";
    ASSERT_TRUE(Refresh());
    ::SetForegroundWindow(m_hDlg);
    ::SetFocus(m_hList);

    PressKey('C', {VK_CONTROL, VK_SHIFT});
    HandleQueued();

    std::string expected = "\tService Name\tDisplay Name\tState\r\n";
    for (int row = 0; row < 4; ++row)
        expected += row == 1 ? "1\tsvc001\tSplit by a tab  and a line break\t" + ListText(m_hList, 1, 3) + "\r\n"
                             : CopiedRow(m_hList, row);
    EXPECT_EQ(ClipboardAsAnotherProgramSeesIt(), expected);
}

TEST_F(ConsoleKeys, ACopyWhileAnotherProgramHoldsTheClipboardBeepsAndChangesNothing)
{
    ASSERT_TRUE(Refresh());
    ListView_SetItemState(m_hList, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_TRUE(PutClipboardText("before"));
    ::SetForegroundWindow(m_hDlg);
    ::SetFocus(m_hList);
    const CBeepCounter beeps;
    CBoxSentry sentry;

    CClipboardHolder holder;
    ASSERT_TRUE(holder.IsHolding());
    const DWORD start = ::GetTickCount();
    PressKey('C', {VK_CONTROL});
    HandleQueued();
    const DWORD waited = ::GetTickCount() - start;
    holder.Release();

    EXPECT_EQ(beeps.Count(), 1);
    EXPECT_GE(waited, 80u) << "the console gave up without trying again";
    EXPECT_LT(waited, 1000u);
    EXPECT_TRUE(sentry.Stop().empty()) << "a box was shown";
    EXPECT_EQ(ClipboardAsAnotherProgramSeesIt(), "before");
}

}  // namespace
}  // namespace consoletest
