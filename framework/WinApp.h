// CWinApp: the application object, and the framework's application-wide helpers
// (message box, worker threads, resources).
#pragma once

#include <string>

#include <windows.h>

#include "framework/Wnd.h"

// The framework's help command, which F1 issues in a dialog's modal loop.
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp {
public:
    // Registers itself as the application (the last one constructed wins).
    explicit CWinApp(const char* pszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called by Run: FALSE ends the program at once, TRUE runs a message loop until
    // WM_QUIT.
    virtual BOOL InitInstance();

    CWnd* m_pMainWnd = nullptr;
    // The title: the given name, else the program's title string, else the exe's file
    // name without its extension.
    const char* m_pszAppName;
    // The exe's path with its extension replaced by ".HLP".
    std::string m_strHelpFilePath;

    // Called for ID_HELP from a dialog: topic 0x20000 + its template id in the help
    // file; a message box when the help engine cannot be started.
    virtual void OnHelp(UINT nTemplateId, HWND hWndCaller);
    // The help engine call itself, so a test can stand in for it.
    virtual BOOL CallWinHelp(HWND hWnd, const char* file, UINT command, ULONG_PTR data);

    // Called by the entry point: common controls, InitInstance, then the exit code.
    int Run();

private:
    std::string m_strAppName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetResourceHandle();

// From any thread. Owned by the main window (when it has one) and captioned with the
// application title. An OK or OK/Cancel box that names no icon gets the exclamation
// icon; a style that names one is used as it is. Returns the button pressed.
int AfxMessageBox(const char* text, UINT nType = MB_OK);

// Starts pfnThreadProc(pParam) on a new thread, at once, at normal priority, with the
// default stack and security. False when no thread was started: pParam then stays
// with the caller.
bool AfxBeginThread(unsigned (*pfnThreadProc)(void*), void* pParam);
