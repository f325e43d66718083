// What the console tests share: the test program's application object, a scripted
// operating system, a console whose pass a test can hold between two rows, and helpers
// that pump messages and find the windows that modal loops open.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "console/ConsoleDlg.h"
#include "framework/Afx.h"
#include "tests/native/Fakes.h"
#include "tests/windows/support/ModalSession.h"

namespace consoletest {

// The native tests' scripted operating system, which journals every call, plus a record
// of the shell calls that the window side makes.
class CScriptedPlatform : public fakes::FakePlatform {
public:
    using FakePlatform::FakePlatform;

    struct ShellCall {
        std::string strOperation, strFile;
        int nShow;
    };
    std::vector<ShellCall> ShellCalls() const;
    void ShellExecuteA(const char* operation, const char* file, int show) override;

private:
    mutable std::mutex m_shellMutex;
    std::vector<ShellCall> m_shellCalls;
};

// The test program's one application object. Its help engine records the calls and
// starts or not, as a test wants.
class CTestApp : public CWinApp {
public:
    CTestApp();

    struct HelpCall {
        HWND hWnd;
        std::string strFile;
        UINT nCommand;
        ULONG_PTR nData;
    };
    std::vector<HelpCall> HelpCalls() const;
    void ClearHelpCalls();
    void SetHelpStarts(bool bStarts) { m_bHelpStarts = bStarts; }
    BOOL CallWinHelp(HWND hWnd, const char* file, UINT command, ULONG_PTR data) override;

private:
    mutable std::mutex m_mutex;
    std::vector<HelpCall> m_helpCalls;
    std::atomic<bool> m_bHelpStarts{true};
};

CTestApp& TestApp();

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

// Handles this thread's messages until done() says so; false when the time ran out.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 10000);

// Work for a second thread, while this one makes a call that may run a modal loop.
template <typename Work>
auto OnSecondThread(Work work)
{
    return std::async(std::launch::async, std::move(work));
}
// Its result. This thread handles its messages meanwhile: the second thread may be
// asking one of this thread's windows something.
template <typename Result>
Result Await(std::future<Result>& result)
{
    PumpUntil([&result] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              INFINITE);
    return result.get();
}

std::string WindowText(HWND hWnd);

// A visible top-level window of this process, of the class, with the caption (any when
// null), that accept (if given) takes. Polled from a thread that does not make it.
HWND WaitForTopLevel(const char* className, const char* caption, DWORD milliseconds = 10000,
                     const std::function<bool(HWND)>& accept = {});

// A dialog box as a second thread saw it before answering it.
struct SeenBox {
    bool bFound = false;
    HWND hWnd = nullptr;
    std::string strCaption, strText;  // the text of a message box
    HWND hWndOwner = nullptr;
    bool bOwnerEnabled = true;
};
// Waits for the box with this caption (null: any message box), lets onSeen look at it,
// answers it with the button and waits until it has gone.
SeenBox AnswerBox(const char* caption, int nButton, DWORD milliseconds = 10000,
                  const std::function<void(const SeenBox&)>& onSeen = {});
inline SeenBox AnswerMessageBox(int nButton) { return AnswerBox(nullptr, nButton); }

// Answers with OK, and records, every box with this caption (null: every message box)
// that opens while it watches.
class CBoxSentry {
public:
    explicit CBoxSentry(const char* caption = nullptr);
    ~CBoxSentry() { Stop(); }
    std::vector<SeenBox> Stop();

private:
    std::atomic<bool> m_bStop{false};
    std::future<std::vector<SeenBox>> m_seen;
    std::vector<SeenBox> m_result;
};

std::string ListText(HWND hList, int nItem, int nSubItem);

// The console on a scripted platform, run modally and made the application's main window
// as the program runs it, so that it owns the message boxes and the About box.
class ConsoleTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND Item(int nID) const { return ::GetDlgItem(m_hDlg, nID); }
    void Click(int nID) const { ::SendMessageA(Item(nID), BM_CLICK, 0, 0); }
    bool WaitForPassEnd(DWORD milliseconds = 30000) const;
    bool Refresh();  // Run, and the whole pass it starts

    fakes::CJournal m_journal;
    CScriptedPlatform m_platform{m_journal};
    CProbeConsole m_dlg{m_platform};
    std::unique_ptr<testsupport::CModalSession> m_session;
    HWND m_hDlg = nullptr;
    HWND m_hList = nullptr;
};

}  // namespace consoletest
