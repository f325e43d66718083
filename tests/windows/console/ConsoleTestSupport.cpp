// The console tests' application object, scripted platform, row gate and window helpers.
#include "tests/windows/console/ConsoleTestSupport.h"

#include "resources/resource.h"

namespace consoletest {
namespace {

CTestApp theTestApp;

constexpr int kMessageBoxTextId = 0xFFFF;

// The console's and the About box's unnamed labels carry the message box's text id too.
bool IsMessageBox(HWND hWnd)
{
    const std::string caption = WindowText(hWnd);
    return ::GetDlgItem(hWnd, kMessageBoxTextId) && caption != "Quillmark" &&
           caption != "About Quillmark";
}

struct TopLevelQuery {
    const char* className;
    const char* caption;
    const std::function<bool(HWND)>* accept;
    HWND hFound;
};

BOOL CALLBACK MatchTopLevel(HWND hWnd, LPARAM lParam)
{
    auto* query = reinterpret_cast<TopLevelQuery*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    char className[64] = "";
    ::GetClassNameA(hWnd, className, sizeof className);
    if (processId != ::GetCurrentProcessId() || !::IsWindowVisible(hWnd) ||
        std::string(className) != query->className ||
        (query->caption && WindowText(hWnd) != query->caption) ||
        (*query->accept && !(*query->accept)(hWnd)))
        return TRUE;
    query->hFound = hWnd;
    return FALSE;
}

}  // namespace

// ---- The application and the platform ----

std::vector<CScriptedPlatform::ShellCall> CScriptedPlatform::ShellCalls() const
{
    std::lock_guard<std::mutex> lock(m_shellMutex);
    return m_shellCalls;
}

void CScriptedPlatform::ShellExecuteA(const char* operation, const char* file, int show)
{
    std::lock_guard<std::mutex> lock(m_shellMutex);
    m_shellCalls.push_back({operation ? operation : "(null)", file ? file : "(null)", show});
}

CTestApp::CTestApp()
{
    // What Run() does for the program: the console's list view needs its class.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
}

std::vector<CTestApp::HelpCall> CTestApp::HelpCalls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_helpCalls;
}

void CTestApp::ClearHelpCalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_helpCalls.clear();
}

BOOL CTestApp::CallWinHelp(HWND hWnd, const char* file, UINT command, ULONG_PTR data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_helpCalls.push_back({hWnd, file ? file : "(null)", command, data});
    return m_bHelpStarts ? TRUE : FALSE;
}

CTestApp& TestApp() { return theTestApp; }

// ---- Holding a pass ----

CRowGate::CRowGate(int nRow, DWORD dwLingerMs)
    : m_nRow(nRow), m_dwLingerMs(dwLingerMs),
      m_hReached(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hGo(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CRowGate::~CRowGate()
{
    ::CloseHandle(m_hReached);
    ::CloseHandle(m_hGo);
}

bool CRowGate::WaitReached(DWORD milliseconds) const
{
    return PumpUntil([this] { return ::WaitForSingleObject(m_hReached, 0) == WAIT_OBJECT_0; },
                     milliseconds);
}

void CRowGate::AtRow(int nRow)
{
    if (nRow != m_nRow || !m_bArmed.exchange(false))
        return;
    ::SetEvent(m_hReached);
    // Bounded, so a test that forgets to release cannot hang the run.
    ::WaitForSingleObject(m_hGo, 10000);
    ::Sleep(m_dwLingerMs);
}

CProbeConsole::~CProbeConsole()
{
    if (CRowGate* pGate = m_pGate.load())
        pGate->Release();
}

void CProbeConsole::InsertItem(int item, const std::string& text)
{
    if (CRowGate* pGate = m_pGate.load())
        pGate->AtRow(item);
    // Named, not virtual: when a held pass goes on during the console's shutdown, the
    // probe's own part is already gone.
    CConsoleDlg::InsertItem(item, text);
}

// ---- Messages and windows ----

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start >= milliseconds)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

std::string WindowText(HWND hWnd) { return AfxGetWindowText(hWnd); }

HWND WaitForTopLevel(const char* className, const char* caption, DWORD milliseconds,
                     const std::function<bool(HWND)>& accept)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        TopLevelQuery query = {className, caption, &accept, nullptr};
        ::EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&query));
        if (query.hFound || ::GetTickCount() - start >= milliseconds)
            return query.hFound;
        ::Sleep(5);
    }
}

SeenBox AnswerBox(const char* caption, int nButton, DWORD milliseconds,
                  const std::function<void(const SeenBox&)>& onSeen)
{
    SeenBox seen;
    const HWND hBox = WaitForTopLevel("#32770", caption, milliseconds,
                                      [caption](HWND hWnd) { return caption || IsMessageBox(hWnd); });
    if (!hBox)
        return seen;
    seen.bFound = true;
    seen.hWnd = hBox;
    seen.strCaption = WindowText(hBox);
    if (IsMessageBox(hBox))
        seen.strText = WindowText(::GetDlgItem(hBox, kMessageBoxTextId));
    seen.hWndOwner = ::GetWindow(hBox, GW_OWNER);
    seen.bOwnerEnabled = seen.hWndOwner && ::IsWindowEnabled(seen.hWndOwner);
    if (onSeen)
        onSeen(seen);
    ::PostMessageA(hBox, WM_COMMAND, static_cast<WPARAM>(nButton), 0);
    // Gone before the caller looks for the next one, so no box is seen twice.
    const DWORD start = ::GetTickCount();
    while (::IsWindow(hBox) && ::IsWindowVisible(hBox) && ::GetTickCount() - start < 10000)
        ::Sleep(5);
    return seen;
}

CBoxSentry::CBoxSentry(const char* caption)
{
    m_seen = OnSecondThread([this, caption] {
        std::vector<SeenBox> seen;
        for (;;) {
            const bool bLastLook = m_bStop.load();
            const SeenBox box = AnswerBox(caption, IDOK, 0);
            if (box.bFound)
                seen.push_back(box);
            else if (bLastLook)
                return seen;
            else
                ::Sleep(5);
        }
    });
}

std::vector<SeenBox> CBoxSentry::Stop()
{
    if (m_seen.valid()) {
        m_bStop = true;
        m_result = Await(m_seen);
    }
    return m_result;
}

std::string ListText(HWND hList, int nItem, int nSubItem)
{
    char text[512] = "";
    ListView_GetItemText(hList, nItem, nSubItem, text, sizeof text);
    return text;
}

// ---- The fixture ----

void ConsoleTest::SetUp()
{
    m_platform.services = fakes::Services(5);
    TestApp().m_pMainWnd = &m_dlg;
    m_session = std::make_unique<testsupport::CModalSession>(m_dlg);
    ASSERT_TRUE(m_session->IsUp());
    m_hDlg = m_dlg.m_hWnd;
    m_hList = Item(IDC_SERVICE_LIST);
}

void ConsoleTest::TearDown()
{
    EXPECT_TRUE(WaitForPassEnd()) << "a pass was still running at the end of the test";
    m_session.reset();
    TestApp().m_pMainWnd = nullptr;
}

bool ConsoleTest::WaitForPassEnd(DWORD milliseconds) const
{
    return PumpUntil([this] { return !m_dlg.IsPassRunning(); }, milliseconds);
}

bool ConsoleTest::Refresh()
{
    Click(IDC_RUN);
    return WaitForPassEnd();
}

}  // namespace consoletest
