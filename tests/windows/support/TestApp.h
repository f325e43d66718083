// The test program's one application object, and the scripted operating system that the
// windows under test are given, so that nothing leaves the machine.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Afx.h"
#include "tests/native/FakesCore.h"

namespace testsupport {

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
    void ClearShellCalls();
    void ShellExecuteA(const char* operation, const char* file, int show) override;
    // Runs inside the call, after it is recorded: where the real shell may handle this
    // thread's messages for a long time while it opens a page.
    std::function<void()> onShellExecute;

private:
    mutable std::mutex m_shellMutex;
    std::vector<ShellCall> m_shellCalls;
};

// The application object. Its help engine records the calls and starts or not, as a
// test wants.
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

// The program's application object: a program that asks for it has one.
CTestApp& TestApp();

}  // namespace testsupport
