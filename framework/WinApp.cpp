// CWinApp and the application-wide helpers.
#include "framework/WinApp.h"

#include <new>
#include <vector>

#include <process.h>

#include <commctrl.h>

namespace {

CWinApp* g_pApp = nullptr;

// The program's title string, when it has one.
constexpr UINT kAppTitleStringId = 0xE000;
constexpr ULONG_PTR kHelpTopicBase = 0x20000;

// A path cut to the buffer may end up to a character short of it: a character takes up to
// four bytes in UTF-8, and the system leaves out one that does not fit whole.
std::string ModulePath()
{
    constexpr size_t kWidestCharacter = 4;
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length + kWidestCharacter < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// Where the extension of the file name begins, or npos when it has none.
std::string::size_type ExtensionStart(const std::string& path)
{
    const std::string::size_type nameStart = path.find_last_of("\\/:");
    const std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart))
        return std::string::npos;
    return dot;
}

// A started thread's procedure and parameter, owned by the thread once it runs.
struct ThreadStart {
    unsigned (*pfnThreadProc)(void*);
    void* pParam;
};

unsigned __stdcall ThreadEntry(void* pStart)
{
    const ThreadStart start = *static_cast<ThreadStart*>(pStart);
    delete static_cast<ThreadStart*>(pStart);
    // Nothing may unwind out of a thread.
    try {
        return start.pfnThreadProc(start.pParam);
    } catch (...) {
        return static_cast<unsigned>(-1);
    }
}

}  // namespace

CWinApp::CWinApp(const char* pszAppName)
{
    g_pApp = this;

    const std::string path = ModulePath();
    if (pszAppName) {
        m_strAppName = pszAppName;
    } else {
        char title[256] = "";
        if (::LoadStringA(::GetModuleHandleA(nullptr), kAppTitleStringId, title,
                          sizeof title) > 0) {
            m_strAppName = title;
        } else {
            const std::string::size_type nameStart = path.find_last_of("\\/:");
            const std::string::size_type extension = ExtensionStart(path);
            const std::string::size_type begin = nameStart == std::string::npos ? 0 : nameStart + 1;
            const std::string::size_type end = extension == std::string::npos ? path.size() : extension;
            m_strAppName = path.substr(begin, end - begin);
        }
    }
    m_pszAppName = m_strAppName.c_str();

    const std::string::size_type extension = ExtensionStart(path);
    m_strHelpFilePath = (extension == std::string::npos ? path : path.substr(0, extension)) + ".HLP";
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

void CWinApp::OnHelp(UINT nTemplateId, HWND hWndCaller)
{
    HWND hWnd = hWndCaller;
    if (!hWnd && m_pMainWnd)
        hWnd = m_pMainWnd->m_hWnd;
    if (!CallWinHelp(hWnd, m_strHelpFilePath.c_str(), HELP_CONTEXT, kHelpTopicBase + nTemplateId))
        AfxMessageBox("Failed to launch help.");
}

BOOL CWinApp::CallWinHelp(HWND hWnd, const char* file, UINT command, ULONG_PTR data)
{
    return ::WinHelpA(hWnd, file, command, data);
}

int CWinApp::Run()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    ::InitCommonControlsEx(&controls);

    if (!InitInstance())
        return 0;
    // Read in UTF-16, so that a typed character arrives whole whatever the code page.
    MSG msg = {};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleA(nullptr); }

int AfxMessageBox(const char* text, UINT nType)
{
    if ((nType & MB_ICONMASK) == 0) {
        const UINT buttons = nType & MB_TYPEMASK;
        if (buttons == MB_OK || buttons == MB_OKCANCEL)
            nType |= MB_ICONEXCLAMATION;
    }
    // Owned by whatever the main window has open on top of it (the About box, say), so
    // that closing the box enables exactly what it disabled. Read once: on a worker thread
    // the main window may be going away meanwhile, and a box with a stale owner would
    // merely have none.
    HWND hWndOwner = nullptr;
    if (CWnd* pMainWnd = AfxGetMainWnd()) {
        hWndOwner = pMainWnd->m_hWnd;
        if (hWndOwner && !::IsWindow(hWndOwner))
            hWndOwner = nullptr;
        if (hWndOwner)
            hWndOwner = ::GetLastActivePopup(hWndOwner);
    }
    const CWinApp* pApp = AfxGetApp();
    return ::MessageBoxA(hWndOwner, text ? text : "", pApp ? pApp->m_pszAppName : nullptr, nType);
}

bool AfxBeginThread(unsigned (*pfnThreadProc)(void*), void* pParam)
{
    if (!pfnThreadProc)
        return false;
    auto* pStart = new (std::nothrow) ThreadStart{pfnThreadProc, pParam};
    if (!pStart)
        return false;
    const uintptr_t hThread = ::_beginthreadex(nullptr, 0, &ThreadEntry, pStart, 0, nullptr);
    if (!hThread) {
        delete pStart;
        return false;
    }
    // Nobody waits for the thread; it ends by itself.
    ::CloseHandle(reinterpret_cast<HANDLE>(hThread));
    return true;
}
