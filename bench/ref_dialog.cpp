// The least a dialog program can be: the yardstick for Quillmark's start-up. Built a
// second time with REF_CONSOLE_TEMPLATE, it shows Quillmark's own dialog and does nothing
// else, which tells the dialog's share of the start-up from the code's.
#include <windows.h>

#ifdef REF_CONSOLE_TEMPLATE
#include <commctrl.h>

#include "resource.h"
#define REF_TEMPLATE_ID IDD_CONSOLE_DIALOG
#else
#include "bench/ref_ids.h"
#define REF_TEMPLATE_ID IDD_REF_DIALOG
#endif

namespace {

INT_PTR CALLBACK RefDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
#ifdef REF_CONSOLE_TEMPLATE
    // The console's list is a common control.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
#endif
    return static_cast<int>(
        ::DialogBoxParamA(hInstance, MAKEINTRESOURCEA(REF_TEMPLATE_ID), nullptr, &RefDialogProc, 0));
}
