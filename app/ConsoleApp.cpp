// The program's one application object and its start-up.
#include "app/ConsoleApp.h"

#include "console/ConsoleDlg.h"

CConsoleApp theApp;

BOOL CConsoleApp::InitInstance()
{
    // Hosting ActiveX controls in dialogs: no dialog here hosts one, and our
    // framework has no such support to enable.
    // The three-dimensional control look: every control draws it by itself on
    // every Windows this program runs on; nothing to enable.

    CConsoleDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // The dialog's window is gone; skip any message loop and end the program.
    return FALSE;
}
