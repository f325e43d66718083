// The console window on its own: start-up state, credential modes, keyboard, the
// service list's menu and Download Here.
#include <string>
#include <vector>

#include "controls/LinkAddresses.h"
#include "resources/resource.h"
#include "tests/windows/support/FreedSecrets.h"
#include "tests/windows/console/ConsoleTestSupport.h"

namespace consoletest {
namespace {

using ConsoleStartup = ConsoleTest;
using ConsoleCredentials = ConsoleTest;
using ConsoleKeyboard = ConsoleTest;
using ConsoleContextMenu = ConsoleTest;
using ConsoleDownload = ConsoleTest;

constexpr int kCredentialControls[] = {IDC_USER_NAME_LABEL, IDC_USER_NAME, IDC_PASSWORD_LABEL,
                                       IDC_PASSWORD};

// ---- Start-up state ----

TEST_F(ConsoleStartup, EditBoxesButtonsAndFocusStartFromTheDefaults)
{
    EXPECT_EQ(WindowText(Item(IDC_REMOTE_COMPUTER)), "192.168.0.1");
    EXPECT_EQ(WindowText(Item(IDC_USER_NAME)), "Administrator");
    EXPECT_EQ(WindowText(Item(IDC_PASSWORD)), "");
    EXPECT_EQ(::IsDlgButtonChecked(m_hDlg, IDC_CURRENT_CREDENTIAL), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(m_hDlg, IDC_ADMIN_CREDENTIAL), BST_UNCHECKED);
    for (int id : kCredentialControls)
        EXPECT_FALSE(::IsWindowEnabled(Item(id))) << "control " << id;
    EXPECT_EQ(::GetFocus(), Item(IDC_RUN));
    // Typed in front of others, the password must not be readable.
    EXPECT_TRUE(::GetWindowLongA(Item(IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    EXPECT_NE(::SendMessageA(Item(IDC_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), 0);
}

TEST_F(ConsoleStartup, ListHasItsStyleFourColumnsAndTheWindowItsIcons)
{
    EXPECT_EQ(::SendMessageA(m_hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x21);

    RECT client = {};
    ::GetClientRect(m_hList, &client);
    const int w = client.right - client.left;
    const HWND hHeader = reinterpret_cast<HWND>(::SendMessageA(m_hList, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(::SendMessageA(hHeader, HDM_GETITEMCOUNT, 0, 0), 4);
    const std::string headings[] = {"", "Service Name", "Display Name", "State"};
    const int widths[] = {w / 10, (3 * w) / 10, (4 * w) / 10, (2 * w) / 10};
    for (int n = 0; n < 4; ++n) {
        char text[64] = "?";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(::SendMessageA(m_hList, LVM_GETCOLUMNA, n, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(text, headings[n]) << "column " << n;
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT) << "column " << n;
        EXPECT_EQ(column.iSubItem, n);
        EXPECT_EQ(::SendMessageA(m_hList, LVM_GETCOLUMNWIDTH, n, 0), widths[n])
            << "column " << n << " of a list " << w << " pixels wide";
    }

    const HICON hProgramIcon = ::LoadIconA(::GetModuleHandleA(nullptr),
                                           MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(hProgramIcon, nullptr);
    EXPECT_EQ(::SendMessageA(m_hDlg, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(hProgramIcon));
    EXPECT_EQ(::SendMessageA(m_hDlg, WM_GETICON, ICON_SMALL, 0), reinterpret_cast<LRESULT>(hProgramIcon));
}

// ---- Credential modes ----

TEST_F(ConsoleCredentials, TogglingEnablesAndDisablesWithoutClearing)
{
    ::SetWindowTextA(Item(IDC_USER_NAME), "ops");
    ::SetWindowTextA(Item(IDC_PASSWORD), "s3cret");

    Click(IDC_ADMIN_CREDENTIAL);
    EXPECT_EQ(::IsDlgButtonChecked(m_hDlg, IDC_CURRENT_CREDENTIAL), BST_UNCHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(m_hDlg, IDC_ADMIN_CREDENTIAL), BST_CHECKED);
    for (int id : kCredentialControls)
        EXPECT_TRUE(::IsWindowEnabled(Item(id))) << "control " << id;

    Click(IDC_CURRENT_CREDENTIAL);
    EXPECT_EQ(::IsDlgButtonChecked(m_hDlg, IDC_CURRENT_CREDENTIAL), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(m_hDlg, IDC_ADMIN_CREDENTIAL), BST_UNCHECKED);
    for (int id : kCredentialControls)
        EXPECT_FALSE(::IsWindowEnabled(Item(id))) << "control " << id;
    EXPECT_EQ(WindowText(Item(IDC_USER_NAME)), "ops");
    EXPECT_EQ(WindowText(Item(IDC_PASSWORD)), "s3cret");
}

TEST_F(ConsoleCredentials, CommandsPassNullForTheCurrentLogonAndTheTypedTextsOtherwise)
{
    ::SetWindowTextA(Item(IDC_USER_NAME), "ops");
    ::SetWindowTextA(Item(IDC_PASSWORD), "s3cret");
    ASSERT_TRUE(Refresh());

    Click(IDC_ADMIN_CREDENTIAL);
    ASSERT_TRUE(Refresh());

    // An empty password is a password: passed as an empty text.
    ::SetWindowTextA(Item(IDC_PASSWORD), "");
    ASSERT_TRUE(Refresh());

    // And a start, like every command, takes the credentials of the mode too.
    ListView_SetItemState(m_hList, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_START, 0);
    ASSERT_TRUE(WaitForPassEnd());

    ASSERT_EQ(m_platform.connects.size(), 5u);
    const fakes::ConnectCall& current = m_platform.connects[0];
    EXPECT_EQ(current.remoteName, "\\\\192.168.0.1\\ipc$");
    EXPECT_EQ(current.user, std::nullopt);
    EXPECT_EQ(current.password, std::nullopt);
    EXPECT_EQ(m_platform.connects[1].user, "ops");
    EXPECT_EQ(m_platform.connects[1].password, "s3cret");
    EXPECT_EQ(m_platform.connects[2].user, "ops");
    EXPECT_EQ(m_platform.connects[2].password, "");
    EXPECT_EQ(m_platform.connects[3].user, "ops");  // the start ...
    EXPECT_EQ(m_platform.connects[3].password, "");
    EXPECT_EQ(m_platform.connects[4].user, "ops");  // ... and the refresh after it
    ASSERT_EQ(m_platform.starts.size(), 1u);
    EXPECT_EQ(m_platform.serviceOpens.at(0).name, "svc001");
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// Every copy of the typed password that the console lets go is overwritten first, on every
// way a command goes; the dialog's own member keeps the last one typed.
TEST_F(ConsoleCredentials, NoCopyOfThePasswordIsFreedUnwiped)
{
    Click(IDC_ADMIN_CREDENTIAL);
    ::SetWindowTextA(Item(IDC_PASSWORD), "the first password under watch");
    const testsupport::CFreedSecretWatch watch("password under watch");
    // With no row selected, a stop and a start end right after reading the boxes.
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    ::SetWindowTextA(Item(IDC_PASSWORD), "the second password under watch");
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_START, 0);
    EXPECT_EQ(watch.FreedUnwiped(), 0);
    EXPECT_EQ(m_platform.RemoteCalls(), 0);
}

// A short password lives inside its string, and a swap of two such strings copies it
// through the stack: no read of the box, into an empty member or into one that holds the
// same text, leaves a copy in the frames it used.
TEST_F(ConsoleCredentials, ReadingAShortPasswordLeavesNoCopyOnTheStack)
{
    ::SetWindowTextA(Item(IDC_PASSWORD), "Pw-under-watch");
    for (int read = 0; read < 2; ++read) {
        m_dlg.UpdateData(TRUE);
        EXPECT_FALSE(fakes::DeadStackHolds("w-under-watch")) << "read " << read;
    }
}

// ---- Keyboard ----

// Offers a key press to the dialog as its modal loop does; true when the dialog took it.
bool PressKey(HWND hDlg, UINT vk)
{
    MSG msg = {};
    msg.hwnd = ::GetFocus();
    msg.message = WM_KEYDOWN;
    msg.wParam = vk;
    msg.lParam = 1;
    return ::IsDialogMessageA(hDlg, &msg) != FALSE;
}

// The controls Tab visits from Run until it is back on Run (or gives up after ten).
std::vector<int> TabCycle(HWND hDlg)
{
    ::SetFocus(::GetDlgItem(hDlg, IDC_RUN));
    std::vector<int> visited;
    for (int i = 0; i < 10; ++i) {
        PressKey(hDlg, VK_TAB);
        const int id = ::GetDlgCtrlID(::GetFocus());
        if (id == IDC_RUN)
            break;
        visited.push_back(id);
    }
    return visited;
}

TEST_F(ConsoleKeyboard, EnterInTheRemoteComputerBoxRefreshesThatComputer)
{
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "host-7");
    ::SetFocus(Item(IDC_REMOTE_COMPUTER));
    EXPECT_TRUE(PressKey(m_hDlg, VK_RETURN));
    ASSERT_TRUE(WaitForPassEnd());
    ASSERT_EQ(m_platform.connects.size(), 1u);
    EXPECT_EQ(m_platform.connects[0].remoteName, "\\\\host-7\\ipc$");
    ASSERT_EQ(m_platform.managerOpens.size(), 1u);
    EXPECT_EQ(m_platform.managerOpens[0].machine, "host-7");
    EXPECT_EQ(ListView_GetItemCount(m_hList), 5);
}

TEST_F(ConsoleKeyboard, EnterOnDownloadHerePressesItInsteadOfRun)
{
    // As a user gets there: a push button reached with Tab becomes the default one.
    ::SetFocus(Item(IDC_CURRENT_CREDENTIAL));
    PressKey(m_hDlg, VK_TAB);
    ASSERT_EQ(::GetFocus(), Item(IDC_DOWNLOAD));
    EXPECT_TRUE(PressKey(m_hDlg, VK_RETURN));
    EXPECT_EQ(m_platform.ShellCalls().size(), 1u);
    EXPECT_EQ(m_platform.RemoteCalls(), 0);
}

TEST_F(ConsoleKeyboard, TabReachesTheCheckedCredentialButtonWhoseArrowsChooseTheMode)
{
    const std::vector<int> currentMode = {IDC_SERVICE_LIST, IDC_REMOTE_COMPUTER,
                                          IDC_CURRENT_CREDENTIAL, IDC_DOWNLOAD};
    const std::vector<int> adminMode = {IDC_SERVICE_LIST, IDC_REMOTE_COMPUTER, IDC_ADMIN_CREDENTIAL,
                                        IDC_DOWNLOAD, IDC_USER_NAME, IDC_PASSWORD};
    EXPECT_EQ(TabCycle(m_hDlg), currentMode);

    // An arrow chooses as a click does: the stop moves to the checked button, the boxes follow.
    ::SetFocus(Item(IDC_CURRENT_CREDENTIAL));
    PressOn(::GetFocus(), VK_DOWN);
    EXPECT_EQ(TabCycle(m_hDlg), adminMode);

    ::SetFocus(Item(IDC_ADMIN_CREDENTIAL));
    PressOn(::GetFocus(), VK_UP);
    EXPECT_EQ(TabCycle(m_hDlg), currentMode);
}

// ---- The service list's menu ----

TEST_F(ConsoleContextMenu, OpensWithStartAndStopWithOrWithoutASelection)
{
    ASSERT_TRUE(Refresh());
    RECT row = {};
    row.left = LVIR_BOUNDS;
    ASSERT_TRUE(::SendMessageA(m_hList, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)));

    auto onRow = OnSecondThread(&ReadAndDismissMenu);
    RightClick(m_hList, {row.left + 40, (row.top + row.bottom) / 2});
    const SeenMenu withSelection = Await(onRow);
    EXPECT_TRUE(withSelection.bFound);
    EXPECT_EQ(withSelection.items, (std::vector<std::string>{"Start", "Stop"}));
    EXPECT_EQ(withSelection.ids, (std::vector<UINT>{ID_SERVICE_START, ID_SERVICE_STOP}));
    EXPECT_EQ(ListView_GetNextItem(m_hList, -1, LVNI_SELECTED), 2);

    // Below the last row: the selection goes, the menu still opens.
    RECT client = {};
    ::GetClientRect(m_hList, &client);
    auto onEmpty = OnSecondThread(&ReadAndDismissMenu);
    RightClick(m_hList, {40, client.bottom - 5});
    const SeenMenu withoutSelection = Await(onEmpty);
    EXPECT_TRUE(withoutSelection.bFound);
    EXPECT_EQ(withoutSelection.items, (std::vector<std::string>{"Start", "Stop"}));
    EXPECT_EQ(ListView_GetNextItem(m_hList, -1, LVNI_SELECTED), -1);
    EXPECT_FALSE(WaitForTopLevel("#32768", nullptr, 0));
    EXPECT_EQ(m_platform.connects.size(), 1u);  // Escape chose nothing
}

// For keyboard users: the menu key on the list opens the same menu, at the selected row,
// or at the list's top-left corner when no row is selected. Shift+F10 reaches the console
// as the very same message; it is left out here because Wine then also takes the F10 for
// the menu bar, which would leave this test's thread in a menu loop of its own.
TEST_F(ConsoleContextMenu, TheMenuKeyOpensItAtTheSelectedRowOrTheListsCorner)
{
    ASSERT_TRUE(Refresh());
    RECT row = {LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(::SendMessageA(m_hList, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)));
    POINT atRow = {row.left, row.bottom};
    ::ClientToScreen(m_hList, &atRow);
    POINT atCorner = {0, 0};
    ::ClientToScreen(m_hList, &atCorner);

    for (const bool bSelected : {true, false}) {
        SCOPED_TRACE(bSelected ? "row 2 selected" : "nothing selected");
        ListView_SetItemState(m_hList, -1, 0, LVIS_SELECTED);
        if (bSelected)
            ListView_SetItemState(m_hList, 2, LVIS_SELECTED, LVIS_SELECTED);
        ::SetForegroundWindow(m_hDlg);
        ::SetFocus(m_hList);
        auto menu = OnSecondThread([] {
            const HWND hPopup = WaitForTopLevel("#32768", nullptr);
            RECT rect = {};
            ::GetWindowRect(hPopup, &rect);
            ReadAndDismissMenu();
            return rect;
        });
        testsupport::PressKey(VK_APPS);
        const RECT opened = Await(menu);
        const POINT expected = bSelected ? atRow : atCorner;
        EXPECT_EQ(opened.left, expected.x);
        EXPECT_EQ(opened.top, expected.y);
    }
    EXPECT_EQ(m_platform.connects.size(), 1u);  // Escape chose nothing
}

TEST_F(ConsoleContextMenu, StartAndStopWithoutASelectionDoNothing)
{
    ASSERT_TRUE(Refresh());
    const size_t connectsAfterRefresh = m_platform.connects.size();

    // With a row selected, Stop gets as far as asking; so the command does arrive.
    ListView_SetItemState(m_hList, 3, LVIS_SELECTED, LVIS_SELECTED);
    auto confirm = OnSecondThread([] { return AnswerMessageBox(IDNO); });
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    EXPECT_EQ(Await(confirm).strText, "Do you really want to stop the service?");
    EXPECT_EQ(m_platform.connects.size(), connectsAfterRefresh + 1);

    ListView_SetItemState(m_hList, -1, 0, LVIS_SELECTED);
    CBoxSentry sentry;
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_START, 0);
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    EXPECT_TRUE(sentry.Stop().empty());
    EXPECT_EQ(m_platform.connects.size(), connectsAfterRefresh + 1);
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// A stop keeps the window busy until the remote computer has answered. An Enter typed
// meanwhile was meant for the window, and must not answer the question that follows.
TEST_F(ConsoleContextMenu, KeysTypedAheadDoNotAnswerTheStopQuestion)
{
    ASSERT_TRUE(Refresh());
    ListView_SetItemState(m_hList, 1, LVIS_SELECTED, LVIS_SELECTED);
    ::SetForegroundWindow(m_hDlg);
    ::SetFocus(m_hList);
    m_platform.OnCall(fakes::Op::OpenService, [] { testsupport::PressKey(VK_RETURN); });

    auto confirmation = OnSecondThread([] {
        return AnswerBox(nullptr, IDNO, 10000, [](const SeenBox&) { ::Sleep(300); });
    });
    ::SendMessageA(m_hDlg, WM_COMMAND, ID_SERVICE_STOP, 0);
    EXPECT_EQ(Await(confirmation).strText, "Do you really want to stop the service?");
    EXPECT_TRUE(m_platform.controls.empty()) << "an Enter typed ahead answered Yes";
    EXPECT_EQ(m_platform.Problems(), fakes::kBalanced);
}

// ---- Download Here ----

TEST_F(ConsoleDownload, OpensTheDownloadPageShown)
{
    Click(IDC_DOWNLOAD);
    const std::vector<CScriptedPlatform::ShellCall> calls = m_platform.ShellCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].strOperation, "open");
    EXPECT_EQ(calls[0].strFile, kDownloadPageUrl);
    EXPECT_EQ(calls[0].nShow, SW_SHOW);
    EXPECT_EQ(m_platform.RemoteCalls(), 0);
}

}  // namespace
}  // namespace consoletest
