// The About box, opened from the console's system menu, and F1 help in both dialogs.
#include <initializer_list>
#include <string>
#include <vector>

#include "controls/LinkAddresses.h"
#include "resources/resource.h"
#include "tests/windows/console/ConsoleTestSupport.h"

namespace consoletest {
namespace {

constexpr char kAboutCaption[] = "About Quillmark";
constexpr ULONG_PTR kConsoleHelpTopic = 0x20066;
constexpr ULONG_PTR kAboutHelpTopic = 0x20064;

using AboutBox = ConsoleTest;

// ---- The system menu ----

TEST_F(AboutBox, SystemMenuEndsWithASeparatorAndTheAboutEntry)
{
    const HMENU hMenu = ::GetSystemMenu(m_hDlg, FALSE);
    ASSERT_NE(hMenu, nullptr);
    const int count = ::GetMenuItemCount(hMenu);
    ASSERT_GE(count, 2);

    char text[64] = "";
    MENUITEMINFOA about = {};
    about.cbSize = sizeof about;
    about.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    about.dwTypeData = text;
    about.cch = sizeof text;
    ASSERT_TRUE(::GetMenuItemInfoA(hMenu, count - 1, TRUE, &about));
    EXPECT_EQ(about.fType & MFT_SEPARATOR, 0u);
    EXPECT_STREQ(text, "&About Quillmark...");
    EXPECT_EQ(about.wID, 0x0010u);

    MENUITEMINFOA separator = {};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(::GetMenuItemInfoA(hMenu, count - 2, TRUE, &separator));
    EXPECT_NE(separator.fType & MFT_SEPARATOR, 0u);
}

TEST_F(AboutBox, EveryCommandOfTheEntrysRangeOpensItOwnedByTheDisabledConsole)
{
    CBoxSentry sentry(kAboutCaption);
    // Each returns only once the box it opened was closed.
    for (WPARAM id = 0x0010; id <= 0x001F; ++id)
        ::SendMessageA(m_hDlg, WM_SYSCOMMAND, id, 0);
    const std::vector<SeenBox> seen = sentry.Stop();

    ASSERT_EQ(seen.size(), 16u);
    for (const SeenBox& box : seen) {
        EXPECT_EQ(box.hWndOwner, m_hDlg);
        EXPECT_FALSE(box.bOwnerEnabled);
    }
    EXPECT_TRUE(::IsWindowEnabled(m_hDlg));
}

TEST_F(AboutBox, OtherSystemCommandsKeepTheirOwnMeaning)
{
    CBoxSentry sentry(kAboutCaption);
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, 0x0020, 0);
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(::IsIconic(m_hDlg));
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(::IsIconic(m_hDlg));
    EXPECT_TRUE(sentry.Stop().empty());
}

// ---- The box itself ----

// What the About box must leave as it was in the console.
struct ConsoleState {
    std::vector<std::string> texts;
    std::vector<bool> enabled;
    UINT nCurrentCheck, nAdminCheck;
    int nRows, nSelected;
    HWND hFocus;
    bool operator==(const ConsoleState&) const = default;
};

ConsoleState Snapshot(HWND hDlg)
{
    ConsoleState state;
    for (int id : {IDC_REMOTE_COMPUTER, IDC_USER_NAME, IDC_PASSWORD})
        state.texts.push_back(WindowText(::GetDlgItem(hDlg, id)));
    for (int id : {IDC_RUN, IDC_USER_NAME, IDC_PASSWORD, IDC_DOWNLOAD})
        state.enabled.push_back(::IsWindowEnabled(::GetDlgItem(hDlg, id)) != FALSE);
    state.nCurrentCheck = ::IsDlgButtonChecked(hDlg, IDC_CURRENT_CREDENTIAL);
    state.nAdminCheck = ::IsDlgButtonChecked(hDlg, IDC_ADMIN_CREDENTIAL);
    const HWND hList = ::GetDlgItem(hDlg, IDC_SERVICE_LIST);
    state.nRows = ListView_GetItemCount(hList);
    state.nSelected = ListView_GetNextItem(hList, -1, LVNI_SELECTED);
    state.hFocus = ::GetFocus();
    return state;
}

struct LinkLook {
    bool bUnderlined = false;
    bool bBlue = false;
};

// How a link line shows on the screen: its font, and whether any of its pixels is blue.
LinkLook LookAt(HWND hLink)
{
    LinkLook look;
    const auto hFont = reinterpret_cast<HGDIOBJ>(::SendMessageA(hLink, WM_GETFONT, 0, 0));
    LOGFONTA font = {};
    look.bUnderlined = hFont && ::GetObjectA(hFont, sizeof font, &font) && font.lfUnderline;
    ::RedrawWindow(hLink, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    RECT rect = {};
    ::GetClientRect(hLink, &rect);
    const HDC hdc = ::GetDC(hLink);
    for (int y = 0; y < rect.bottom && !look.bBlue; ++y)
        for (int x = 0; x < rect.right && !look.bBlue; ++x)
            look.bBlue = ::GetPixel(hdc, x, y) == RGB(0, 0, 255);
    ::ReleaseDC(hLink, hdc);
    return look;
}

TEST_F(AboutBox, ShowsTwoLinkLinesThatOpenTheDownloadPageAndLeavesTheConsoleAsItWas)
{
    ::SetWindowTextA(Item(IDC_REMOTE_COMPUTER), "host-9");
    Click(IDC_ADMIN_CREDENTIAL);
    ASSERT_TRUE(Refresh());
    ListView_SetItemState(m_hList, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(m_hList);
    const ConsoleState before = Snapshot(m_hDlg);

    struct Seen {
        SeenBox box;
        LinkLook web, notice;
    };
    auto onAbout = OnSecondThread([] {
        Seen seen;
        seen.box = AnswerBox(kAboutCaption, IDOK, 10000, [&seen](const SeenBox& box) {
            const HWND hWeb = ::GetDlgItem(box.hWnd, IDC_ABOUT_WEB);
            const HWND hNotice = ::GetDlgItem(box.hWnd, IDC_ABOUT_NOTICE);
            seen.web = LookAt(hWeb);
            seen.notice = LookAt(hNotice);
            for (HWND hLink : {hWeb, hNotice}) {
                ::SendMessageA(hLink, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
                ::SendMessageA(hLink, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
            }
        });
        return seen;
    });
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const Seen seen = Await(onAbout);

    ASSERT_NE(seen.box.hWnd, nullptr);
    EXPECT_EQ(seen.box.hWndOwner, m_hDlg);
    EXPECT_FALSE(seen.box.bOwnerEnabled);
    EXPECT_TRUE(seen.web.bUnderlined);
    EXPECT_TRUE(seen.web.bBlue);
    EXPECT_TRUE(seen.notice.bUnderlined);
    EXPECT_TRUE(seen.notice.bBlue);
    const std::vector<CScriptedPlatform::ShellCall> calls = m_platform.ShellCalls();
    ASSERT_EQ(calls.size(), 2u);
    for (const CScriptedPlatform::ShellCall& call : calls) {
        EXPECT_EQ(call.strOperation, "open");
        EXPECT_EQ(call.strFile, kDownloadPageUrl);
        EXPECT_EQ(call.nShow, SW_SHOWNORMAL);
    }

    EXPECT_TRUE(Snapshot(m_hDlg) == before);
    EXPECT_TRUE(::IsWindowEnabled(m_hDlg));
}

// ---- F1 ----

bool WaitForHelpCalls(size_t count)
{
    const DWORD start = ::GetTickCount();
    while (TestApp().HelpCalls().size() < count) {
        if (::GetTickCount() - start > 10000)
            return false;
        ::Sleep(5);
    }
    return true;
}

// The test program's path, ".exe" replaced.
std::string ExpectedHelpFile()
{
    char exe[MAX_PATH] = "";
    const DWORD length = ::GetModuleFileNameA(nullptr, exe, sizeof exe);
    return std::string(exe, length - 4) + ".HLP";
}

// The console runs modally, as in the program, while a second thread types.
TEST(HelpKey, F1AsksForTheActiveDialogsTopicAndModifiedF1ForNothing)
{
    TestApp().ClearHelpCalls();
    TestApp().SetHelpStarts(true);
    fakes::CJournal journal;
    CScriptedPlatform platform(journal);
    CConsoleDlg dlg(platform);
    TestApp().m_pMainWnd = &dlg;

    struct Seen {
        HWND hConsole = nullptr;
        HWND hAbout = nullptr;
        SeenBox failure;
    };
    auto user = OnSecondThread([] {
        Seen seen;
        seen.hConsole = WaitForTopLevel("#32770", "Quillmark");
        if (!seen.hConsole)
            return seen;
        ::SetForegroundWindow(seen.hConsole);
        PressKey(VK_F1);
        if (WaitForHelpCalls(1)) {
            PressKey(VK_F1, {VK_SHIFT});
            PressKey(VK_F1, {VK_CONTROL});
            // Handled in order: once this one is in, the two before it were handled.
            PressKey(VK_F1);
            WaitForHelpCalls(2);

            ::PostMessageA(seen.hConsole, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            AnswerBox(kAboutCaption, IDOK, 10000, [&seen](const SeenBox& box) {
                seen.hAbout = box.hWnd;
                PressKey(VK_F1);
                WaitForHelpCalls(3);
            });

            TestApp().SetHelpStarts(false);
            PressKey(VK_F1);
            seen.failure = AnswerMessageBox(IDOK);
            TestApp().SetHelpStarts(true);
        }
        ::PostMessageA(seen.hConsole, WM_CLOSE, 0, 0);
        return seen;
    });
    dlg.DoModal();
    TestApp().m_pMainWnd = nullptr;
    const Seen seen = Await(user);

    ASSERT_NE(seen.hConsole, nullptr);
    const std::vector<CTestApp::HelpCall> calls = TestApp().HelpCalls();
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0].hWnd, seen.hConsole);
    EXPECT_EQ(calls[0].strFile, ExpectedHelpFile());
    EXPECT_EQ(calls[0].nCommand, static_cast<UINT>(HELP_CONTEXT));
    EXPECT_EQ(calls[0].nData, kConsoleHelpTopic);
    // F1 twice in the console, once in the About box, once more for the failing engine.
    ASSERT_EQ(calls.size(), 4u) << "Shift+F1 or Ctrl+F1 asked for help, or an F1 did not";
    EXPECT_EQ(calls[1].nData, kConsoleHelpTopic);
    EXPECT_EQ(calls[2].hWnd, seen.hAbout);
    EXPECT_EQ(calls[2].nData, kAboutHelpTopic);
    EXPECT_EQ(calls[3].nData, kConsoleHelpTopic);  // the engine that does not start
    EXPECT_EQ(seen.failure.strText, "Failed to launch help.");
    EXPECT_EQ(seen.failure.strCaption, "windows_console_tests");
}

}  // namespace
}  // namespace consoletest
