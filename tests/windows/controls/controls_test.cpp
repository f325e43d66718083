// The framework and the link controls on real windows under Wine: message-map dispatch,
// data exchange, the modal loop, the message box, worker threads; the links' cursor,
// font, colours, and what a click opens.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

#include "controls/LinkAddresses.h"
#include "controls/LinkControls.h"
#include "resources/resource.h"
#include "tests/windows/controls/test_resource.h"
#include "tests/windows/support/ModalSession.h"
#include "tests/windows/support/TestApp.h"
#include "tests/windows/support/Windows.h"

namespace {

using namespace testsupport;

// ---- The test program's platform ----

// Only the links reach the platform here, and only to open addresses.
fakes::CJournal theJournal;
CScriptedPlatform thePlatform{theJournal};

std::vector<CScriptedPlatform::ShellCall> ShellCalls() { return thePlatform.ShellCalls(); }

// Sets the main window for one test.
struct MainWindowScope {
    explicit MainWindowScope(CWnd* pMainWnd) { TestApp().m_pMainWnd = pMainWnd; }
    ~MainWindowScope() { TestApp().m_pMainWnd = nullptr; }
};

// ---- The test dialog ----

constexpr UINT WM_PROBE = WM_APP + 1;
constexpr UINT WM_PROBE_THROW = WM_APP + 2;
constexpr UINT kProbeCommand = 3000;
constexpr COLORREF kBlue = RGB(0, 0, 255);
// A dialog background that no control paints by itself, so any box behind a text shows.
constexpr COLORREF kBackground = RGB(255, 255, 160);

// Counts its takeovers.
class CProbeWnd : public CWnd {
public:
    int m_nPreSubclass = 0;

protected:
    void PreSubclassWindow() override { ++m_nPreSubclass; }
};

// One control of each link kind, a plain static, and a form (an edit box exchanged with
// a member and taken over, a list); a script run by a timer (ticks 1, 2, ...) while open.
class CTestDlg : public CDialog {
public:
    explicit CTestDlg(CWnd* pParent = nullptr)
        : CDialog(IDD_TEST, pParent), m_hBackground(::CreateSolidBrush(kBackground)) {}
    ~CTestDlg() override { ::DeleteObject(m_hBackground); }

    CPictureLink m_picture{thePlatform};
    CTextLink m_title{thePlatform}, m_text{thePlatform};
    CProbeWnd m_edit;
    CListCtrl m_list;
    std::string m_strEdit;
    std::function<void(CTestDlg&, int nTick)> m_script;
    int m_nOK = 0, m_nCancel = 0, m_nRightClicks = 0, m_nCommands = 0, m_nSetText = 0, m_nNotified = 0;
    size_t m_nShellCallsWhenNotified = 0;

    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }

    // Posts a key press to the focus, as the keyboard would.
    void PostKey(WPARAM vk) const
    {
        const HWND hFocus = ::GetFocus();
        const HWND hTarget = hFocus && ::IsChild(m_hWnd, hFocus) ? hFocus : m_hWnd.load();
        ::PostMessageA(hTarget, WM_KEYDOWN, vk, 1);
        ::PostMessageA(hTarget, WM_KEYUP, vk, 0xC0000001);
    }

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (m_script)
            ::SetTimer(m_hWnd, 1, 30, nullptr);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_TEST_PICTURE, m_picture);
        DDX_Control(pDX, IDC_TEST_TITLE, m_title);
        DDX_Control(pDX, IDC_TEST_TEXT, m_text);
        DDX_Control(pDX, IDC_TEST_EDIT, m_edit);
        DDX_Control(pDX, IDC_TEST_LIST, m_list);
        DDX_Text(pDX, IDC_TEST_EDIT, m_strEdit);
    }
    void OnOK() override { ++m_nOK; CDialog::OnOK(); }
    void OnCancel() override { ++m_nCancel; CDialog::OnCancel(); }
    // A script that never ends the dialog fails its test instead of hanging it.
    void OnTimer(UINT_PTR) { ++m_nTick < 150 ? m_script(*this, m_nTick) : EndDialog(-2); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    LRESULT OnProbe(WPARAM wParam, LPARAM lParam) { return 100 + static_cast<LRESULT>(wParam + lParam); }
    LRESULT OnProbeShadowed(WPARAM, LPARAM) { return 99; }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    void OnListRightClick(NMHDR*, LRESULT* pResult) { ++m_nRightClicks; *pResult = 42; }
    void OnProbeCommand() { ++m_nCommands; }
    LRESULT OnSetText(WPARAM, LPARAM) { ++m_nSetText; return Default(); }
    // The picture's STN_CLICKED (SS_NOTIFY) has the code of BN_CLICKED.
    void OnPictureClicked() { m_nShellCallsWhenNotified = ShellCalls().size(); ++m_nNotified; }
    LRESULT OnCtlColorDlg(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hBackground); }
    DECLARE_MESSAGE_MAP()

private:
    int m_nTick = 0;
    HBRUSH m_hBackground;
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
    ON_WM_TIMER()
    ON_WM_SYSCOMMAND()
    ON_MESSAGE(WM_PROBE, &CTestDlg::OnProbe)
    ON_MESSAGE(WM_PROBE, &CTestDlg::OnProbeShadowed)
    ON_MESSAGE(WM_PROBE_THROW, &CTestDlg::OnThrow)
    ON_NOTIFY(NM_RCLICK, IDC_TEST_LIST, &CTestDlg::OnListRightClick)
    ON_COMMAND(kProbeCommand, &CTestDlg::OnProbeCommand)
    ON_MESSAGE(WM_SETTEXT, &CTestDlg::OnSetText)
    ON_BN_CLICKED(IDC_TEST_PICTURE, &CTestDlg::OnPictureClicked)
    ON_MESSAGE(WM_CTLCOLORDLG, &CTestDlg::OnCtlColorDlg)
END_MESSAGE_MAP()

// ---- Helpers ----

RECT WindowRect(HWND hWnd)
{
    RECT rect = {};
    ::GetWindowRect(hWnd, &rect);
    return rect;
}

RECT RectInParent(HWND hWnd)
{
    RECT rect = WindowRect(hWnd);
    ::MapWindowPoints(nullptr, ::GetParent(hWnd), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

RECT WorkArea()
{
    RECT rect = {};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0);
    return rect;
}

HCURSOR HandCursor() { return ::LoadCursorA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDC_LINK_HAND)); }

HGDIOBJ FontOf(HWND hWnd) { return reinterpret_cast<HGDIOBJ>(::SendMessageA(hWnd, WM_GETFONT, 0, 0)); }

LOGFONTA DescriptionOf(HGDIOBJ hFont)
{
    LOGFONTA logFont = {};
    ::GetObjectA(hFont, sizeof logFont, &logFont);
    return logFont;
}

bool FontExists(HGDIOBJ hFont)
{
    LOGFONTA logFont;
    return ::GetObjectA(hFont, sizeof logFont, &logFont) > 0;
}

void Click(HWND hWnd)
{
    ::SendMessageA(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageA(hWnd, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

// Runs showBox, which opens a message box on this thread, and says what the box showed.
template <typename ShowBox>
SeenBox ReadMessageBox(ShowBox showBox)
{
    std::future<SeenBox> seen = OnSecondThread([] { return AnswerMessageBox(IDOK); });
    showBox();
    return seen.get();
}

// A visible modeless instance for each test.
class Modeless : public ::testing::Test {
protected:
    void SetUp() override
    {
        thePlatform.ClearShellCalls();
        m_session = std::make_unique<testsupport::CModalSession>(*m_dlg);
        ASSERT_TRUE(m_session->IsUp());
        ::ShowWindow(m_dlg->m_hWnd, SW_SHOWNORMAL);
        PumpFor(50);
    }
    HWND Item(int id) const { return m_dlg->Item(id); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_dlg->m_hWnd, message, wParam, lParam);
    }
    std::unique_ptr<CTestDlg> m_dlg = std::make_unique<CTestDlg>();
    std::unique_ptr<testsupport::CModalSession> m_session;
};

// ---- Message maps ----

TEST_F(Modeless, RowsMatchMessageIdAndCodeAndTheFirstMatchWins)
{
    EXPECT_EQ(Send(WM_PROBE, 5, 7), 112);
    NMHDR header = {Item(IDC_TEST_LIST), IDC_TEST_LIST, static_cast<UINT>(NM_RCLICK)};
    EXPECT_EQ(Send(WM_NOTIFY, IDC_TEST_LIST, reinterpret_cast<LPARAM>(&header)), 42);
    header.code = static_cast<UINT>(NM_CLICK);
    Send(WM_NOTIFY, IDC_TEST_LIST, reinterpret_cast<LPARAM>(&header));
    header = {Item(IDC_TEST_EDIT), IDC_TEST_EDIT, static_cast<UINT>(NM_RCLICK)};
    Send(WM_NOTIFY, IDC_TEST_EDIT, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(m_dlg->m_nRightClicks, 1);

    Send(WM_COMMAND, MAKEWPARAM(kProbeCommand, 0), 0);  // a menu
    Send(WM_COMMAND, MAKEWPARAM(kProbeCommand, 1), 0);  // an accelerator
    Send(WM_COMMAND, MAKEWPARAM(kProbeCommand, EN_CHANGE), reinterpret_cast<LPARAM>(Item(IDC_TEST_EDIT)));
    EXPECT_EQ(m_dlg->m_nCommands, 2);
    Send(WM_COMMAND, MAKEWPARAM(IDOK, BN_SETFOCUS), reinterpret_cast<LPARAM>(Item(IDOK)));
    EXPECT_EQ(m_dlg->m_nOK, 0);

    // A handler's exception stops at the dialog procedure.
    EXPECT_EQ(Send(WM_PROBE_THROW), 0);
    EXPECT_EQ(Send(WM_PROBE, 1), 101);
}

TEST_F(Modeless, UnmappedMessagesAndDefaultFromAHandlerGetTheUsualProcessing)
{
    EXPECT_EQ(Send(DM_GETDEFID), MAKELRESULT(IDOK, DC_HASDEFID));
    ::SetWindowTextA(m_dlg->m_hWnd, "Renamed");
    EXPECT_EQ(m_dlg->m_nSetText, 1);
    EXPECT_EQ(m_dlg->GetWindowText(), "Renamed");
}

// ---- Data exchange ----

TEST_F(Modeless, TextGoesBothWaysAtAnyLengthThroughAControlTakenOverOnce)
{
    m_dlg->m_strEdit = std::string(5000, 'x') + "end";
    m_dlg->UpdateData(FALSE);
    EXPECT_EQ(AfxGetWindowText(Item(IDC_TEST_EDIT)), m_dlg->m_strEdit);
    const std::string typed = std::string(7000, 'y') + "typed";
    ::SetWindowTextA(Item(IDC_TEST_EDIT), typed.c_str());
    m_dlg->UpdateData(TRUE);
    EXPECT_EQ(m_dlg->m_strEdit, typed);

    EXPECT_EQ(m_dlg->m_edit.m_nPreSubclass, 1);
    EXPECT_EQ(CWnd::FromHandlePermanent(Item(IDC_TEST_EDIT)), &m_dlg->m_edit);
    CWnd other;
    EXPECT_FALSE(other.SubclassWindow(Item(IDC_TEST_EDIT)));
    m_session->End();
    EXPECT_EQ(m_dlg->m_hWnd, nullptr);
    EXPECT_EQ(m_dlg->m_edit.m_hWnd, nullptr);
}

// ---- The modal loop ----

// Escape, and the close box through a handler that passes WM_SYSCOMMAND on, end the
// loop with IDCANCEL; a dialog without an owner sits in the middle of the work area.
TEST(ModalLoop, EscapeAndTheCloseBoxEndItWithCancel)
{
    for (bool bEscape : {true, false}) {
        CTestDlg dlg;
        HWND hDuring = nullptr, hOwner = nullptr;
        RECT rect = {};
        dlg.m_script = [&](CTestDlg& d, int nTick) {
            if (nTick > 1)
                return;
            hDuring = d.m_hWnd;
            hOwner = ::GetWindow(d.m_hWnd, GW_OWNER);
            rect = WindowRect(d.m_hWnd);
            bEscape ? d.PostKey(VK_ESCAPE) : (void)d.PostMessage(WM_SYSCOMMAND, SC_CLOSE);
        };
        EXPECT_EQ(dlg.DoModal(), IDCANCEL) << bEscape;
        EXPECT_EQ(dlg.m_nCancel, 1);
        EXPECT_FALSE(::IsWindow(hDuring));
        EXPECT_EQ(hOwner, nullptr);
        EXPECT_NEAR(Centre(rect).x, Centre(WorkArea()).x, 1);
        EXPECT_NEAR(Centre(rect).y, Centre(WorkArea()).y, 1);
    }
}

TEST(ModalLoop, EnterPressesTheDefaultButtonWhichSavesTheForm)
{
    CTestDlg dlg;
    dlg.m_strEdit = "initial";
    std::string shown;
    dlg.m_script = [&shown](CTestDlg& d, int nTick) {
        if (nTick == 1) {
            shown = AfxGetWindowText(d.Item(IDC_TEST_EDIT));
            ::SetWindowTextA(d.Item(IDC_TEST_EDIT), "typed");
            d.PostKey(VK_RETURN);
        }
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(shown, "initial");
    EXPECT_EQ(dlg.m_strEdit, "typed");
}

// The main window owns a dialog made without a parent, is disabled while it is open,
// and has it centred over it, or as near as the work area allows.
TEST(ModalLoop, TheMainWindowOwnsTheDialogIsDisabledMeanwhileAndHasItCentredOverIt)
{
    const RECT work = WorkArea();
    for (const RECT& place : {RECT{300, 200, 720, 560}, RECT{work.left - 150, work.top - 20, 50, 80}}) {
        CTestDlg owner;
        testsupport::CModalSession ownerSession(owner);
        ASSERT_TRUE(ownerSession.IsUp());
        ::SetWindowPos(owner.m_hWnd, nullptr, place.left, place.top, place.right - place.left,
                       place.bottom - place.top, SWP_NOZORDER | SWP_SHOWWINDOW);
        MainWindowScope mainWindow(&owner);
        CTestDlg dlg;
        HWND hOwner = nullptr;
        BOOL bOwnerEnabled = TRUE;
        RECT rect = {};
        dlg.m_script = [&](CTestDlg& d, int nTick) {
            if (nTick == 1) {
                hOwner = ::GetWindow(d.m_hWnd, GW_OWNER);
                bOwnerEnabled = ::IsWindowEnabled(owner.m_hWnd);
                rect = WindowRect(d.m_hWnd);
                d.PostKey(VK_ESCAPE);
            }
        };
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_EQ(hOwner, owner.m_hWnd);
        EXPECT_FALSE(bOwnerEnabled);
        EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
        if (place.left > work.left) {
            EXPECT_NEAR(Centre(rect).x, Centre(WindowRect(owner.m_hWnd)).x, 1);
            EXPECT_NEAR(Centre(rect).y, Centre(WindowRect(owner.m_hWnd)).y, 1);
        } else {
            EXPECT_EQ(rect.left, work.left);
            EXPECT_EQ(rect.top, work.top);
        }
    }
}

TEST(ModalLoop, F1AsksTheHelpEngineForTheDialogsTopicInTheProgramsHelpFile)
{
    TestApp().ClearHelpCalls();
    CTestDlg dlg;
    HWND hDuring = nullptr;
    dlg.m_script = [&hDuring](CTestDlg& d, int nTick) {
        hDuring = d.m_hWnd;
        if (nTick == 1 || nTick == 3)
            d.PostKey(nTick == 1 ? VK_F1 : VK_ESCAPE);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    const std::vector<CTestApp::HelpCall> calls = TestApp().HelpCalls();
    ASSERT_EQ(calls.size(), 1u);
    const CTestApp::HelpCall& call = calls[0];
    EXPECT_EQ(call.hWnd, hDuring);
    EXPECT_EQ(call.nCommand, static_cast<UINT>(HELP_CONTEXT));
    EXPECT_EQ(call.nData, 0x20000u + IDD_TEST);
    char exePath[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, exePath, MAX_PATH);
    const std::string path = exePath;
    EXPECT_EQ(call.strFile, path.substr(0, path.rfind('.')) + ".HLP");
}

// ---- The message box and worker threads ----

TEST_F(Modeless, TheMessageBoxIsOwnedByTheMainWindowCaptionedWithTheProgramsNameAndWarns)
{
    MainWindowScope mainWindow(m_dlg.get());
    int nButton = 0;
    SeenBox seen = ReadMessageBox([&nButton] { nButton = AfxMessageBox("Plain message."); });
    EXPECT_EQ(nButton, IDOK);
    EXPECT_EQ(seen.strCaption, "windows_controls_tests");
    EXPECT_EQ(seen.strText, "Plain message.");
    EXPECT_EQ(seen.hIcon, ::LoadIconA(nullptr, IDI_EXCLAMATION));
    EXPECT_EQ(seen.hWndOwner, m_dlg->m_hWnd);
    EXPECT_FALSE(seen.bOwnerEnabled);
    EXPECT_TRUE(::IsWindowEnabled(m_dlg->m_hWnd));
    EXPECT_EQ(ReadMessageBox([] { AfxMessageBox("Stop.", MB_ICONHAND); }).hIcon, ::LoadIconA(nullptr, IDI_HAND));

    TestApp().SetHelpStarts(false);
    seen = ReadMessageBox([] { TestApp().OnHelp(IDD_TEST, nullptr); });
    TestApp().SetHelpStarts(true);
    EXPECT_EQ(seen.strText, "Failed to launch help.");
}

struct WorkerRows {
    CListCtrl* pList;
    std::string strLong;
    std::atomic<DWORD> dwThreadId{0};
};

// A worker's list calls are carried out by the dialog's thread while it pumps, and a
// cell reads back whole however long it is.
TEST_F(Modeless, AWorkersRowsAreWrittenByTheListsThreadAndReadBackWhole)
{
    m_dlg->m_list.InsertColumn(0, "", LVCFMT_LEFT, 60, 0);
    m_dlg->m_list.InsertColumn(1, "Name", LVCFMT_LEFT, 200, 1);
    WorkerRows rows = {&m_dlg->m_list, std::string(1000, 'n') + "!"};
    ASSERT_TRUE(AfxBeginThread(
        [](void* pParam) -> unsigned {
            auto* pRows = static_cast<WorkerRows*>(pParam);
            pRows->pList->InsertItem(0, "first");
            pRows->pList->SetItemText(0, 1, pRows->strLong.c_str());
            pRows->dwThreadId = ::GetCurrentThreadId();
            return 0;
        },
        &rows));
    PumpUntil([&rows] { return rows.dwThreadId != 0; }, 5000);
    EXPECT_NE(rows.dwThreadId, 0u);
    EXPECT_NE(rows.dwThreadId, ::GetCurrentThreadId());
    EXPECT_EQ(m_dlg->m_list.GetItemText(0, 0), "first");
    EXPECT_EQ(m_dlg->m_list.GetItemText(0, 1), rows.strLong);
}

// A list in a double-byte code page copies whole characters only: one that does not fit
// the buffer is left out, so a copy can end two bytes short of full and still be cut; in
// UTF-8, four (its lead bytes here fall in the same range).
std::string g_listed = std::string(254, 'a') + "\x82\xA0" + "end";
size_t g_nLeadWidth = 2;

LRESULT CALLBACK DoubleByteListProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != LVM_GETITEMTEXTA)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    const std::string& text = g_listed;
    auto isLead = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    };
    auto* item = reinterpret_cast<LVITEMA*>(lParam);
    const size_t room = static_cast<size_t>(item->cchTextMax) - 1;
    size_t copied = 0;
    while (copied < text.size()) {
        const size_t width = isLead(text[copied]) ? g_nLeadWidth : 1;
        if (copied + width > room)
            break;
        copied += width;
    }
    text.copy(item->pszText, copied);
    item->pszText[copied] = '\0';
    return static_cast<LRESULT>(copied);
}

TEST(ListText, IsReadWholeWhenAMultiByteCharacterDoesNotFitTheBuffer)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &DoubleByteListProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DoubleByteList";
    ::RegisterClassA(&windowClass);
    const HWND hWnd = ::CreateWindowExA(0, "DoubleByteList", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                        windowClass.hInstance, nullptr);
    ASSERT_NE(hWnd, nullptr);
    {
        CListCtrl list;
        ASSERT_TRUE(list.SubclassWindow(hWnd));
        EXPECT_EQ(list.GetItemText(0, 1), std::string(254, 'a') + "\x82\xA0" + "end");
        // U+1F600 in UTF-8 after 252 bytes: the first copy ends four bytes short.
        g_listed = std::string(252, 'a') + "\xF0\x9F\x98\x80" + "end";
        g_nLeadWidth = 4;
        EXPECT_EQ(list.GetItemText(0, 1), g_listed);
    }
    ::DestroyWindow(hWnd);
}

// ---- Link controls: the hand ----

// A static without SS_NOTIFY would let the mouse through to the dialog; the text links
// claim the hit test so that they get to choose the cursor.
TEST_F(Modeless, EveryLinkSetsTheHandWhoseHotSpotIsTheFingertip)
{
    EXPECT_EQ(::SendMessageA(Item(IDC_TEST_TEXT), WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(::SendMessageA(Item(IDC_TEST_PLAIN), WM_NCHITTEST, 0, 0), HTTRANSPARENT);
    for (int id : {IDC_TEST_PICTURE, IDC_TEST_TITLE, IDC_TEST_TEXT}) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
        EXPECT_EQ(::SendMessageA(Item(id), WM_SETCURSOR, reinterpret_cast<WPARAM>(Item(id)),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE) << id;
        EXPECT_EQ(::GetCursor(), HandCursor()) << id;
    }
    ICONINFO info = {};
    ASSERT_TRUE(::GetIconInfo(HandCursor(), &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 5u);
    EXPECT_EQ(info.yHotspot, 0u);
    EXPECT_EQ(info.hbmColor, nullptr);  // monochrome
    ::DeleteObject(info.hbmMask);
}

// ---- Link controls: the underlined font ----

TEST_F(Modeless, TextLinksUseTheDialogFontUnderlinedForAsLongAsTheLinkObjectLives)
{
    const LOGFONTA dialogFont = DescriptionOf(FontOf(m_dlg->m_hWnd));
    for (int id : {IDC_TEST_TITLE, IDC_TEST_TEXT}) {
        const LOGFONTA linkFont = DescriptionOf(FontOf(Item(id)));
        EXPECT_TRUE(linkFont.lfUnderline) << id;
        EXPECT_STREQ(linkFont.lfFaceName, dialogFont.lfFaceName);
        EXPECT_EQ(linkFont.lfHeight, dialogFont.lfHeight);
    }
    EXPECT_FALSE(DescriptionOf(FontOf(Item(IDC_TEST_PLAIN))).lfUnderline);

    const HGDIOBJ hFont = FontOf(Item(IDC_TEST_TEXT));
    m_session->End();
    EXPECT_TRUE(FontExists(hFont));
    m_dlg.reset();
    EXPECT_FALSE(FontExists(hFont));
}

// A link object that goes before its control hands it back as it found it: its own
// procedure, and a font that still exists.
TEST_F(Modeless, ALinkGoneBeforeItsControlLeavesAPlainWorkingStatic)
{
    const HWND hPlain = Item(IDC_TEST_PLAIN);
    auto link = std::make_unique<CTextLink>(thePlatform);
    ASSERT_TRUE(link->SubclassDlgItem(IDC_TEST_PLAIN, m_dlg.get()));
    const HGDIOBJ hUnderlined = FontOf(hPlain);
    link.reset();
    EXPECT_FALSE(FontExists(hUnderlined));
    EXPECT_EQ(FontOf(hPlain), FontOf(m_dlg->m_hWnd));
    EXPECT_EQ(::SendMessageA(hPlain, WM_NCHITTEST, 0, 0), HTTRANSPARENT);
    Click(hPlain);
    EXPECT_TRUE(ShellCalls().empty());
}

// A control never given a font draws with the system font, so that is what gets
// underlined (rather than a description read from no font at all).
TEST_F(Modeless, ALinkOnAControlWithoutAFontUnderlinesTheSystemFont)
{
    const HWND hBare = ::CreateWindowExA(0, "STATIC", "bare", WS_CHILD, 0, 0, 40, 10, m_dlg->m_hWnd,
                                         nullptr, nullptr, nullptr);
    ASSERT_EQ(FontOf(hBare), nullptr);
    CTextLink link(thePlatform);
    ASSERT_TRUE(link.SubclassWindow(hBare));
    const LOGFONTA linkFont = DescriptionOf(FontOf(hBare));
    EXPECT_TRUE(linkFont.lfUnderline);
    EXPECT_STREQ(linkFont.lfFaceName, DescriptionOf(::GetStockObject(SYSTEM_FONT)).lfFaceName);
}

// ---- Link controls: colours ----

// Read back from the screen: a text link shows only the dialog's background and the
// blue of its text (and blends of the two at glyph edges), so it answered the colour
// question with blue transparent text on the hollow brush; a plain static paints a box.
TEST_F(Modeless, TextLinksShowBlueOnTheDialogBackgroundWithNoBoxBehind)
{
    ::RedrawWindow(m_dlg->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const HDC hdc = ::GetDC(m_dlg->m_hWnd);
    for (int id : {IDC_TEST_TITLE, IDC_TEST_TEXT, IDC_TEST_PLAIN}) {
        int nBackground = 0, nBlue = 0, nOther = 0;
        const RECT rect = RectInParent(Item(id));
        for (int y = rect.top; y < rect.bottom; ++y) {
            for (int x = rect.left; x < rect.right; ++x) {
                const COLORREF c = ::GetPixel(hdc, x, y);
                nBackground += c == kBackground;
                nBlue += c == kBlue;
                nOther += c != kBackground && (GetBValue(c) <= GetRValue(c) || GetBValue(c) <= GetGValue(c));
            }
        }
        if (id == IDC_TEST_PLAIN) {
            EXPECT_EQ(nBackground, 0);
        } else {
            EXPECT_GT(nBlue, 20) << id;
            EXPECT_GT(nBackground, nBlue) << id;
            EXPECT_EQ(nOther, 0) << id;
        }
    }
    ::ReleaseDC(m_dlg->m_hWnd, hdc);
    // In high contrast they take the theme's link colour. Wine cannot switch it on
    // (SPI_SETHIGHCONTRAST fails with 1439, SPI_GETHIGHCONTRAST answers off): the choice alone.
    EXPECT_EQ(LinkTextColour(kBlue, HCF_AVAILABLE | HCF_HIGHCONTRASTON), ::GetSysColor(COLOR_HOTLIGHT));
    EXPECT_EQ(LinkTextColour(kBlue, HCF_AVAILABLE), kBlue);
}

// ---- Link controls: clicks ----

// Text links open the download page and the picture the home page, whatever they show;
// the picture's click then still reaches the static, which notifies the dialog.
TEST_F(Modeless, ClicksOpenTheLinksPagesWhateverTheControlsShow)
{
    ::SetWindowTextA(Item(IDC_TEST_TITLE), "http://elsewhere.example/");
    Click(Item(IDC_TEST_TITLE));
    Click(Item(IDC_TEST_TEXT));
    Click(Item(IDC_TEST_PICTURE));
    ASSERT_EQ(ShellCalls().size(), 3u);
    for (const auto& call : ShellCalls()) {
        EXPECT_EQ(call.strOperation, "open");
        EXPECT_EQ(call.nShow, SW_SHOWNORMAL);
    }
    EXPECT_EQ(ShellCalls()[0].strFile, kDownloadPageUrl);
    EXPECT_EQ(ShellCalls()[1].strFile, kDownloadPageUrl);
    EXPECT_EQ(ShellCalls()[2].strFile, kHomePageUrl);
    EXPECT_EQ(m_dlg->m_nNotified, 1);
    EXPECT_EQ(m_dlg->m_nShellCallsWhenNotified, 3u);
}

TEST_F(Modeless, APictureLinkWithoutAnAddressOpensItsOwnTextFromThenOn)
{
    m_dlg->m_picture.SetUrl("");
    ::SetWindowTextA(Item(IDC_TEST_PICTURE), "http://own.example/page");
    Click(Item(IDC_TEST_PICTURE));
    ::SetWindowTextA(Item(IDC_TEST_PICTURE), "http://changed.example/");
    Click(Item(IDC_TEST_PICTURE));
    ASSERT_EQ(ShellCalls().size(), 2u);
    EXPECT_EQ(ShellCalls()[0].strFile, "http://own.example/page");
    EXPECT_EQ(ShellCalls()[1].strFile, "http://own.example/page");
}

}  // namespace
