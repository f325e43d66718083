// What the console tests share beside the window tests' support: a console whose pass a
// test can hold between two rows, and the console run modally on a scripted platform.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "console/ConsoleDlg.h"
#include "tests/native/Fakes.h"
#include "tests/windows/support/ModalSession.h"
#include "tests/windows/support/TestApp.h"
#include "tests/windows/support/Windows.h"

namespace consoletest {

using namespace testsupport;

// Holds a pass just before it inserts the given row, until released. Owned by the test,
// so it outlives the console.
class CRowGate {
public:
    explicit CRowGate(int nRow, DWORD dwLingerMs = 0);
    ~CRowGate();
    CRowGate(const CRowGate&) = delete;
    CRowGate& operator=(const CRowGate&) = delete;

    bool WaitReached(DWORD milliseconds) const;  // handles this thread's messages meanwhile
    void Release() { ::SetEvent(m_hGo); }
    void AtRow(int nRow);  // on the pass's thread, before each row

private:
    const int m_nRow;
    const DWORD m_dwLingerMs;  // how long the pass still waits once released
    std::atomic<bool> m_bArmed{true};
    HANDLE m_hReached;
    HANDLE m_hGo;
};

// The real console, whose pass a test may hold at a row. On the way out it releases the
// gate, leaving a pass still under way to the real console's own shutdown.
class CProbeConsole : public CConsoleDlg {
public:
    using CConsoleDlg::CConsoleDlg;
    ~CProbeConsole() override;
    void HoldPassAt(CRowGate* pGate) { m_pGate = pGate; }
    void InsertItem(int item, const std::string& text) override;

private:
    std::atomic<CRowGate*> m_pGate{nullptr};
};

// ---- The service list's menu ----

struct SeenMenu {
    bool bFound = false;
    std::vector<std::string> items;
    std::vector<UINT> ids;
};

// On a second thread: waits for the popup menu, reads it and dismisses it with Escape.
SeenMenu ReadAndDismissMenu();

// A right click on the list at the point, as the mouse makes it. The button goes up
// first: the list waits for that in a loop of its own before it reports the click.
void RightClick(HWND hList, POINT pt);

// The console on a scripted platform, run modally and made the application's main window
// as the program runs it, so that it owns the message boxes and the About box.
class ConsoleTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND Item(int nID) const { return ::GetDlgItem(m_hDlg, nID); }
    void Click(int nID) const { ::SendMessageA(Item(nID), BM_CLICK, 0, 0); }
    // Keys as the keyboard leaves them in the queue for the control (a key pressed and let
    // go; characters typed, one WM_CHAR a byte), then handled by the console's own modal
    // loop, which sees every key before the control does.
    void PressOn(HWND hWnd, UINT vk);
    void TypeOn(HWND hWnd, const std::string& text);
    // Lets the console's own loop handle what is queued: input from the keyboard too.
    void HandleQueued() { m_session->RunLoopOnce(); }
    bool WaitForPassEnd(DWORD milliseconds = 30000) const;
    bool Refresh();  // Run, and the whole pass it starts
    // Run on that many services, and back once the pass is held at the gate's row.
    bool RunUntilHeld(int nServices, CRowGate& gate);
    // Then a second Run, which waits for that pass. Returns the first pass, or null.
    std::shared_ptr<remote::CPassControl> RunTwiceWhileHeld(int nServices, CRowGate& gate);
    // On a second thread: releases the gate, waits for the pass's end and a moment more,
    // time enough for the console to act on it were it to; the sessions opened by then.
    int ConnectsOnceEnded(CRowGate& gate, const remote::CPassControl& pass) const;
    // How many times the journal holds the event; safe from any thread.
    int Journaled(const std::string& event) const;
    // Whether the list on screen looks as a full repaint of it draws it: nothing it
    // needed to have repainted was left out.
    bool ListShowsItsFullRepaint() const;

    fakes::CJournal m_journal;
    CScriptedPlatform m_platform{m_journal};
    CProbeConsole m_dlg{m_platform};
    std::unique_ptr<testsupport::CModalSession> m_session;
    HWND m_hDlg = nullptr;
    HWND m_hList = nullptr;
};

}  // namespace consoletest
