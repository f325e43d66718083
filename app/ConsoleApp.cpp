// The program's one application object: its start-up, and how it ends.
#include "app/ConsoleApp.h"

#include <algorithm>

#include "console/ConsoleDlg.h"
#include "remote/Win32PlatformOps.h"

CConsoleApp theApp;

namespace {

// How long the program lets a pass that was asked to stop finish before ending anyway.
constexpr DWORD kPassEndGraceMs = 1000;

// Handles this thread's messages until the pass has ended or the time is up.
bool LetPassEnd(const remote::CPassControl& pass, DWORD milliseconds)
{
    const DWORD start = ::GetTickCount();
    while (!pass.HasEnded()) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= milliseconds)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(milliseconds - elapsed, 10),
                                    QS_ALLINPUT);
        // Read in UTF-16, as every loop of the program reads: a character arrives whole.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

}  // namespace

BOOL CConsoleApp::InitInstance()
{
    // Hosting ActiveX controls in dialogs: no dialog here hosts one, and our
    // framework has no such support to enable.
    // The three-dimensional control look: every control draws it by itself on
    // every Windows this program runs on; nothing to enable.

    // The operating system as the console and everything it starts reach it; declared
    // first, so it outlives the dialog.
    remote::CWin32PlatformOps platform;
    CConsoleDlg dlg(platform);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // A pass still running uses the dialog as its console, so the dialog must not go
    // while the pass may call it. Its windows are gone, so whatever it sends fails at
    // once and it soon sees the stop. A pass stuck in a remote call is not waited for:
    // its session is cancelled and the program ends here, before the dialog is freed.
    if (const std::shared_ptr<remote::CPassControl> pass = dlg.RunningPass()) {
        pass->RequestStop();
        if (!LetPassEnd(*pass, kPassEndGraceMs)) {
            pass->Abandon();
            ::ExitProcess(0);
        }
    }

    // The dialog's window is gone; skip any message loop and end the program.
    return FALSE;
}
