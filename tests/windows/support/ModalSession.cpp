// CModalSession: the dialog's modal loop on a fiber of its own.
#include "tests/windows/support/ModalSession.h"

namespace testsupport {
namespace {

// The test's own fiber, made from its thread by the first session that is open on it.
thread_local void* t_pTestFiber = nullptr;
thread_local int t_nOpenSessions = 0;
// The session whose dialog is starting: the hand-back timer carries no data of its own.
thread_local CModalSession* t_pStarting = nullptr;

}  // namespace

CModalSession::CModalSession(CDialog& dlg) : m_dlg(dlg)
{
    if (t_nOpenSessions++ == 0)
        t_pTestFiber = ::ConvertThreadToFiber(nullptr);
    m_pTestFiber = t_pTestFiber;
    m_pDialogFiber = ::CreateFiber(0, &CModalSession::RunDialog, this);
    t_pStarting = this;
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

void CALLBACK CModalSession::RunDialog(void* pSession)
{
    auto* self = static_cast<CModalSession*>(pSession);
    // A thread timer is handed to whichever loop asks first for a message once the
    // queue is empty: the modal loop, after the dialog's start-up messages.
    self->m_nHandBackTimer = ::SetTimer(nullptr, 0, 0, &CModalSession::HandBack);
    self->m_nResult = self->m_dlg.DoModal();
    ::KillTimer(nullptr, self->m_nHandBackTimer);
    self->m_bDone = true;
    // A fiber must never return: its thread would end with it.
    for (;;)
        ::SwitchToFiber(self->m_pTestFiber);
}

void CALLBACK CModalSession::HandBack(HWND /*hWnd*/, UINT /*message*/, UINT_PTR nIDEvent,
                                      DWORD /*dwTime*/)
{
    ::KillTimer(nullptr, nIDEvent);
    CModalSession* self = t_pStarting;
    t_pStarting = nullptr;
    ::SwitchToFiber(self->m_pTestFiber);
}

}  // namespace testsupport
