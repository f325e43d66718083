// The console tests' row gate and fixture.
#include "tests/windows/console/ConsoleTestSupport.h"

#include <algorithm>

#include "resources/resource.h"

namespace consoletest {

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

// ---- The service list's menu ----

SeenMenu ReadAndDismissMenu()
{
    SeenMenu seen;
    const HWND hPopup = WaitForTopLevel("#32768", nullptr);
    if (!hPopup)
        return seen;
    seen.bFound = true;
    const auto hMenu = reinterpret_cast<HMENU>(::SendMessageA(hPopup, MN_GETHMENU, 0, 0));
    for (int i = 0; hMenu && i < ::GetMenuItemCount(hMenu); ++i) {
        char text[64] = "";
        ::GetMenuStringA(hMenu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        seen.items.push_back(text);
        seen.ids.push_back(::GetMenuItemID(hMenu, i));
    }
    ::PostMessageA(hPopup, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostMessageA(hPopup, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    return seen;
}

void RightClick(HWND hList, POINT pt)
{
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    ::PostMessageA(hList, WM_RBUTTONUP, 0, at);
    ::SendMessageA(hList, WM_RBUTTONDOWN, MK_RBUTTON, at);
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

void ConsoleTest::PressOn(HWND hWnd, UINT vk)
{
    ::PostMessageA(hWnd, WM_KEYDOWN, vk, 1);
    ::PostMessageA(hWnd, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    HandleQueued();
}

void ConsoleTest::TypeOn(HWND hWnd, const std::string& text)
{
    for (const char ch : text)
        ::PostMessageA(hWnd, WM_CHAR, static_cast<unsigned char>(ch), 1);
    HandleQueued();
}

bool ConsoleTest::WaitForPassEnd(DWORD milliseconds) const
{
    return PumpUntil([this] { return !m_dlg.IsPassRunning(); }, milliseconds);
}

bool ConsoleTest::RunUntilHeld(int nServices, CRowGate& gate)
{
    m_platform.services = fakes::Services(nServices);
    m_dlg.HoldPassAt(&gate);
    Click(IDC_RUN);
    return gate.WaitReached(10000);
}

std::shared_ptr<remote::CPassControl> ConsoleTest::RunTwiceWhileHeld(int nServices, CRowGate& gate)
{
    if (!RunUntilHeld(nServices, gate))
        return nullptr;
    Click(IDC_RUN);
    return m_dlg.RunningPass();
}

int ConsoleTest::ConnectsOnceEnded(CRowGate& gate, const remote::CPassControl& pass) const
{
    gate.Release();
    if (testbed::PollUntil([&pass] { return pass.HasEnded(); }, 10000))
        ::Sleep(300);
    return Journaled("WNetAddConnection2A");
}

int ConsoleTest::Journaled(const std::string& event) const
{
    const std::vector<std::string> events = m_journal.Events();
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

bool ConsoleTest::ListShowsItsFullRepaint() const
{
    PumpFor(100);  // whatever repaint is due comes first
    RECT rcList = {};
    ::GetWindowRect(m_hList, &rcList);
    const std::vector<DWORD> shown = testbed::ScreenPixels(rcList);
    ::RedrawWindow(m_hList, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(100);
    return !shown.empty() && shown == testbed::ScreenPixels(rcList);
}

bool ConsoleTest::Refresh()
{
    Click(IDC_RUN);
    return WaitForPassEnd();
}

}  // namespace consoletest
