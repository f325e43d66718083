// The test program's application object and scripted platform.
#include "tests/windows/support/TestApp.h"

#include <commctrl.h>

namespace testsupport {
namespace {

CTestApp theTestApp;

}  // namespace

std::vector<CScriptedPlatform::ShellCall> CScriptedPlatform::ShellCalls() const
{
    std::lock_guard<std::mutex> lock(m_shellMutex);
    return m_shellCalls;
}

void CScriptedPlatform::ClearShellCalls()
{
    std::lock_guard<std::mutex> lock(m_shellMutex);
    m_shellCalls.clear();
}

void CScriptedPlatform::ShellExecuteA(const char* operation, const char* file, int show)
{
    {
        std::lock_guard<std::mutex> lock(m_shellMutex);
        m_shellCalls.push_back({operation ? operation : "(null)", file ? file : "(null)", show});
    }
    if (onShellExecute)
        onShellExecute();
}

CTestApp::CTestApp()
{
    // What Run() does for the program: the list views need their class.
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

}  // namespace testsupport
