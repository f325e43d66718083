// Runs a dialog modally, as the program runs its dialogs, while a test acts on it.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/Dialog.h"

namespace testsupport {

// The dialog's own DoModal runs on a fiber of the test's thread and hands the thread
// back as soon as its modal loop first waits for a message. From then on every message
// the test handles (by pumping, or by sending) reaches the dialog's window procedure as
// it would from its own loop, and the test can look at the dialog between any two of
// them. What the loop itself does with a message before dispatching it (the keyboard)
// is seen only when the test lets that loop run.
class CModalSession {
public:
    explicit CModalSession(CDialog& dlg);
    ~CModalSession();
    CModalSession(const CModalSession&) = delete;
    CModalSession& operator=(const CModalSession&) = delete;

    // False when DoModal could not even make the dialog.
    bool IsUp() const { return !m_bDone; }
    // Lets the dialog's own modal loop handle this thread's messages, as in the program,
    // until done() says so; false when the time ran out or the dialog ended first.
    // done() is asked each time the loop has handled everything queued.
    bool RunLoopUntil(const std::function<bool()>& done, DWORD milliseconds = 10000);
    // Lets the loop handle what is queued now: posted messages and input alike.
    void RunLoopOnce() { RunLoopUntil([] { return true; }); }
    // Lets the modal loop finish (after a Cancel, unless the dialog has ended itself) and
    // returns what DoModal returned. The dialog's window is gone afterwards.
    INT_PTR End();

private:
    static void CALLBACK RunDialog(void* pSession);
    // Switches to the dialog's fiber until its loop next finds nothing to do.
    void SwitchToLoop();
    static void CALLBACK HandBack(HWND hWnd, UINT message, UINT_PTR nIDEvent, DWORD dwTime);

    CDialog& m_dlg;
    void* m_pTestFiber = nullptr;
    void* m_pDialogFiber = nullptr;
    UINT_PTR m_nHandBackTimer = 0;
    bool m_bDone = false;
    INT_PTR m_nResult = -1;
};

}  // namespace testsupport
