// CDialog: a dialog built from a resource template, with data exchange and our own
// modal loop; and the data-exchange helpers that bind its controls.
#pragma once

#include <string>

#include <windows.h>

#include "framework/Wnd.h"

// Which way one data exchange goes, and the dialog whose controls it reads or fills.
class CDataExchange {
public:
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// Binds a control to rControl: subclasses it on the first exchange only.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Copies a control's whole text to value or back; no validation and no length limit.
void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the dialog owned by its parent (or by the application's main window),
    // centres it, disables the owner and runs a message loop until EndDialog; then
    // re-enables the owner and destroys the window. -1 when the window cannot be made.
    virtual INT_PTR DoModal();
    // Runs DoDataExchange in the given direction.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // Ends the modal loop with nResult once the current message is handled.
    void EndDialog(int nResult);
    void CheckDlgButton(int nIDButton, UINT nCheck);
    UINT IsDlgButtonChecked(int nIDButton) const;

protected:
    // Called at WM_INITDIALOG: fills the controls (UpdateData(FALSE)); TRUE lets the
    // system put the focus on the first tab stop.
    virtual BOOL OnInitDialog();
    // Called by UpdateData: one DDX_ line per bound control.
    virtual void DoDataExchange(CDataExchange* pDX);
    // Called for IDOK (Enter, the OK button): saves the controls and ends with IDOK.
    virtual void OnOK();
    // Called for IDCANCEL (Escape, the close box): ends with IDCANCEL.
    virtual void OnCancel();
    // Called by the modal loop with each message it takes from the queue, before the
    // message goes on: TRUE when it was handled here and must go no further. Here the
    // dialog's own keys: F1, and the dialog manager's (Tab, Enter, Escape). A dialog that
    // takes keys of its own handles them first and passes the rest on to this.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK StaticDlgProc(HWND hDlg, UINT message, WPARAM wParam,
                                          LPARAM lParam);
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    // Called for ID_HELP (F1 in the modal loop): the application's help for this template.
    void OnHelp();
    HWND FindOwner(CWnd* pParentWnd) const;
    void CentreWindow();
    void RunModalLoop();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    HWND m_hWndOwner = nullptr;  // while the window exists
    bool m_bModal = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;

    // Default() from one of our handlers: the dialog manager calls our dialog procedure
    // back first with the same message, which must then decline it.
    struct DialogManagerCall {
        bool bPending;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    DialogManagerCall m_defaultCall = {false, 0, 0, 0};
};
