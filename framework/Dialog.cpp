// CDialog: the dialog procedure, the modal loop, centring and data exchange.
#include "framework/Dialog.h"

#include "framework/WinApp.h"

namespace {

// What the dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
           message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
           message == WM_CHARTOITEM || message == WM_QUERYDRAGICON ||
           message == WM_INITDIALOG;
}

bool IsHelpKey(const MSG& msg)
{
    return msg.message == WM_KEYDOWN && msg.wParam == VK_F1 &&
           ::GetKeyState(VK_SHIFT) >= 0 && ::GetKeyState(VK_CONTROL) >= 0 &&
           ::GetKeyState(VK_MENU) >= 0;
}

// Whether the template places the dialog at (0, 0), which leaves its position to us.
bool TemplateAtOrigin(UINT nIDTemplate)
{
    const HINSTANCE hInstance = AfxGetResourceHandle();
    const HRSRC hResource = ::FindResourceA(hInstance, MAKEINTRESOURCEA(nIDTemplate),
                                            MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    const HGLOBAL hTemplate = hResource ? ::LoadResource(hInstance, hResource) : nullptr;
    const auto* pWords = hTemplate ? static_cast<const WORD*>(::LockResource(hTemplate)) : nullptr;
    if (!pWords || ::SizeofResource(hInstance, hResource) < 26)
        return true;
    // An extended template starts with version 1 and 0xFFFF; x and y follow its version,
    // signature, help id, extended style, style and item count (18 bytes), where a plain
    // template has them after its style, extended style and item count (10 bytes).
    const bool bExtended = pWords[0] == 1 && pWords[1] == 0xFFFF;
    const WORD* pPosition = pWords + (bExtended ? 9 : 5);
    return pPosition[0] == 0 && pPosition[1] == 0;
}

}  // namespace

// ---- Data exchange ----

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd || !pDX || !pDX->m_pDlgWnd)
        return;
    rControl.SubclassDlgItem(static_cast<UINT>(nIDC), pDX->m_pDlgWnd);
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value)
{
    if (!pDX || !pDX->m_pDlgWnd)
        return;
    const HWND hWndControl = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (!hWndControl)
        return;
    if (pDX->m_bSaveAndValidate) {
        // The text may be a password. The old one is overwritten where it lies and the new
        // one read straight into the member: a string swapped or moved in would copy a
        // short text through the stack and leave it there. The length is an upper bound
        // (it may count a multibyte text generously), so the text is cut at what was copied.
        ::SecureZeroMemory(value.data(), value.size());
        const int length = ::GetWindowTextLengthA(hWndControl);
        value.assign(static_cast<size_t>(length > 0 ? length : 0), '\0');
        const int copied = length > 0 ? ::GetWindowTextA(hWndControl, value.data(), length + 1) : 0;
        value.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    } else {
        ::SetWindowTextA(hWndControl, value.c_str());
    }
}

// ---- CDialog ----

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
    ON_COMMAND(ID_HELP, &CDialog::OnHelp)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal()
{
    if (m_hWnd)
        return -1;
    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    m_hWndOwner = FindOwner(m_pParentWnd);
    const HWND hWndOwner = m_hWndOwner;

    const HWND hDlg = ::CreateDialogParamA(AfxGetResourceHandle(),
                                           MAKEINTRESOURCEA(m_nIDTemplate), hWndOwner,
                                           &CDialog::StaticDlgProc,
                                           reinterpret_cast<LPARAM>(this));
    if (!hDlg) {
        m_bModal = false;
        m_hWndOwner = nullptr;
        return -1;
    }

    // The owner is disabled only once the dialog exists, so a template that fails to
    // load leaves it usable.
    const bool bEnableOwner = hWndOwner && ::IsWindowEnabled(hWndOwner);
    if (bEnableOwner)
        ::EnableWindow(hWndOwner, FALSE);
    if (!m_bEndModal && ::IsWindow(hDlg) && !(::GetWindowLongA(hDlg, GWL_STYLE) & WS_VISIBLE))
        ::ShowWindow(hDlg, SW_SHOWNORMAL);

    RunModalLoop();

    // Enabled and activated before the dialog goes, so the activation returns to the
    // owner instead of to whichever window the system picks.
    if (bEnableOwner)
        ::EnableWindow(hWndOwner, TRUE);
    if (hWndOwner && ::IsWindow(hDlg) && ::GetActiveWindow() == hDlg)
        ::SetActiveWindow(hWndOwner);
    if (::IsWindow(hDlg))
        ::DestroyWindow(hDlg);
    m_bModal = false;
    m_hWndOwner = nullptr;
    return m_nModalResult;
}

// Messages are read in UTF-16, whatever the program's code page: a typed character then
// arrives whole, in one WM_CHAR (two halves beyond the basic plane), where an 8-bit read
// gets '?' for a character outside the code page, or its bytes one message each.
void CDialog::RunModalLoop()
{
    const HWND hDlg = m_hWnd;
    while (!m_bEndModal && hDlg && m_hWnd == hDlg) {
        MSG msg;
        const BOOL bGot = ::GetMessageW(&msg, nullptr, 0, 0);
        if (bGot == -1)
            break;
        if (!bGot) {
            // The loops around this one must see the quit as well.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// IsDialogMessage gives the platform's keyboard behaviour: Tab, Enter for the default
// button, Escape for IDCANCEL.
BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    const HWND hDlg = m_hWnd;
    if (IsHelpKey(*pMsg) && (pMsg->hwnd == hDlg || ::IsChild(hDlg, pMsg->hwnd))) {
        ::SendMessageA(hDlg, WM_COMMAND, ID_HELP, 0);
        return TRUE;
    }
    return ::IsDialogMessageW(hDlg, pMsg);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    if (!m_hWnd)
        return FALSE;
    CDataExchange dx = {bSaveAndValidate, this};
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bEndModal = true;
    // Wakes the loop when this runs inside another one (a message box's, a menu's).
    if (m_bModal && m_hWnd)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

void CDialog::CheckDlgButton(int nIDButton, UINT nCheck)
{
    ::CheckDlgButton(m_hWnd, nIDButton, nCheck);
}

UINT CDialog::IsDlgButtonChecked(int nIDButton) const
{
    return ::IsDlgButtonChecked(m_hWnd, nIDButton);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnHelp()
{
    if (CWinApp* pApp = AfxGetApp())
        pApp->OnHelp(m_nIDTemplate, m_hWnd);
}

// Our own handler first, then centring, unless the handler placed the window itself.
LRESULT CDialog::HandleInitDialog(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    RECT rcBefore = {};
    ::GetWindowRect(m_hWnd, &rcBefore);
    const BOOL bSetFocus = OnInitDialog();
    if (!m_hWnd)
        return bSetFocus;
    RECT rcAfter = {};
    ::GetWindowRect(m_hWnd, &rcAfter);
    const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
    if (!(style & (WS_CHILD | DS_CENTER)) && rcBefore.left == rcAfter.left &&
        rcBefore.top == rcAfter.top && TemplateAtOrigin(m_nIDTemplate))
        CentreWindow();
    return bSetFocus;
}

HWND CDialog::FindOwner(CWnd* pParentWnd) const
{
    HWND hWndOwner = nullptr;
    if (pParentWnd) {
        hWndOwner = pParentWnd->m_hWnd;
    } else if (CWnd* pMainWnd = AfxGetMainWnd(); pMainWnd && pMainWnd != this) {
        hWndOwner = pMainWnd->m_hWnd;
    }
    if (!hWndOwner || !::IsWindow(hWndOwner))
        return nullptr;
    // Only a top-level window can own a dialog.
    return ::GetAncestor(hWndOwner, GA_ROOT);
}

// Over the owner, kept inside the work area of the owner's monitor; without an owner
// (or with a hidden or minimised one), in the middle of that work area, which for no
// owner at all is the primary monitor's.
void CDialog::CentreWindow()
{
    RECT rcDlg = {};
    ::GetWindowRect(m_hWnd, &rcDlg);
    const int cx = rcDlg.right - rcDlg.left;
    const int cy = rcDlg.bottom - rcDlg.top;

    RECT rcArea = {};
    RECT rcCentre = {};
    const HWND hWndOwner = m_hWndOwner;
    if (hWndOwner) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        ::GetMonitorInfoA(::MonitorFromWindow(hWndOwner, MONITOR_DEFAULTTONEAREST), &info);
        rcArea = info.rcWork;
        if (::IsWindowVisible(hWndOwner) && !::IsIconic(hWndOwner))
            ::GetWindowRect(hWndOwner, &rcCentre);
        else
            rcCentre = rcArea;
    } else {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
        rcCentre = rcArea;
    }

    int x = (rcCentre.left + rcCentre.right) / 2 - cx / 2;
    int y = (rcCentre.top + rcCentre.bottom) / 2 - cy / 2;
    // A dialog larger than the work area keeps its top-left corner (caption) visible.
    if (x + cx > rcArea.right)
        x = rcArea.right - cx;
    if (x < rcArea.left)
        x = rcArea.left;
    if (y + cy > rcArea.bottom)
        y = rcArea.bottom - cy;
    if (y < rcArea.top)
        y = rcArea.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    // Declining the message lets the dialog manager apply its own default, which is
    // what a dialog procedure is for.
    if (m_pCurrentMsg && m_pCurrentMsg->message == message &&
        m_pCurrentMsg->wParam == wParam && m_pCurrentMsg->lParam == lParam) {
        m_pCurrentMsg->bToDialogManager = true;
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

// The dialog manager's default for one message, asked from inside a handler: it calls
// the dialog procedure first, which declines this one call (see StaticDlgProc).
LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWnd)
        return 0;
    const DialogManagerCall saved = m_defaultCall;
    m_defaultCall = {true, message, wParam, lParam};
    const LRESULT result = ::DefDlgProcA(m_hWnd, message, wParam, lParam);
    m_defaultCall = saved;
    return result;
}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDlg = nullptr;
    if (message == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
        pDlg->m_hWnd = hDlg;
    } else {
        pDlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hDlg, DWLP_USER));
    }
    // The few messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
    if (!pDlg)
        return FALSE;

    if (pDlg->m_defaultCall.bPending && pDlg->m_defaultCall.message == message &&
        pDlg->m_defaultCall.wParam == wParam && pDlg->m_defaultCall.lParam == lParam) {
        pDlg->m_defaultCall.bPending = false;
        return FALSE;
    }

    CurrentMessage current = {message, wParam, lParam, false, nullptr};
    const LRESULT result = pDlg->HandleMessage(current);

    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hDlg, DWLP_USER, 0);
        pDlg->m_hWnd = nullptr;
    }
    if (current.bToDialogManager)
        return FALSE;
    if (ReturnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    // Set last, so that messages sent while the handler ran cannot overwrite it.
    ::SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, result);
    return TRUE;
}
