// CModalSession: the dialog's modal loop on a fiber of its own.
#include "tests/windows/support/ModalSession.h"

namespace testsupport {
namespace {

// The test's own fiber, made from its thread by the first session that is open on it.
thread_local void* t_pTestFiber = nullptr;
thread_local int t_nOpenSessions = 0;
// The session whose loop is to hand the thread back: the timer carries no data of its own.
thread_local CModalSession* t_pHandingBack = nullptr;

}  // namespace

CModalSession::CModalSession(CDialog& dlg) : m_dlg(dlg)
{
    if (t_nOpenSessions++ == 0)
        t_pTestFiber = ::ConvertThreadToFiber(nullptr);
    m_pTestFiber = t_pTestFiber;
    m_pDialogFiber = ::CreateFiber(0, &CModalSession::RunDialog, this);
    t_pHandingBack = this;
    ::SwitchToFiber(m_pDialogFiber);
}

CModalSession::~CModalSession()
{
    End();
    ::DeleteFiber(m_pDialogFiber);
    if (--t_nOpenSessions == 0)
        ::ConvertFiberToThread();
}

INT_PTR CModalSession::End()
{
    if (!m_bDone) {
        if (m_dlg.m_hWnd)
            ::PostMessageA(m_dlg.m_hWnd, WM_COMMAND, IDCANCEL, 0);
        ::SwitchToFiber(m_pDialogFiber);
    }
    return m_nResult;
}

bool CModalSession::RunLoopUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    const DWORD start = ::GetTickCount();
    while (!m_bDone) {
        SwitchToLoop();
        if (done())
            return true;
        if (::GetTickCount() - start >= milliseconds)
            return false;
        // The queue was empty: wait for something to arrive rather than spin.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return false;
}

// A timer's message comes only once the queue holds nothing else (no sent or posted
// message, no input, no paint): by then the loop has handled everything queued before.
void CModalSession::SwitchToLoop()
{
    t_pHandingBack = this;
    m_nHandBackTimer = ::SetTimer(nullptr, 0, 0, &CModalSession::HandBack);
    ::SwitchToFiber(m_pDialogFiber);
}

void CALLBACK CModalSession::RunDialog(void* pSession)
{
    auto* self = static_cast<CModalSession*>(pSession);
    // A thread timer is handed to whichever loop asks first for a message once the
    // queue is empty: the modal loop, after the dialog's start-up messages.
    self->m_nHandBackTimer = ::SetTimer(nullptr, 0, 0, &CModalSession::HandBack);
    self->m_nResult = self->m_dlg.DoModal();
    ::KillTimer(nullptr, self->m_nHandBackTimer);
    t_pHandingBack = nullptr;
    self->m_bDone = true;
    // A fiber must never return: its thread would end with it.
    for (;;)
        ::SwitchToFiber(self->m_pTestFiber);
}

void CALLBACK CModalSession::HandBack(HWND /*hWnd*/, UINT /*message*/, UINT_PTR nIDEvent,
                                      DWORD /*dwTime*/)
{
    ::KillTimer(nullptr, nIDEvent);
    CModalSession* self = t_pHandingBack;
    t_pHandingBack = nullptr;
    if (self)
        ::SwitchToFiber(self->m_pTestFiber);
}

}  // namespace testsupport
