// CWnd: message-map dispatch and control subclassing.
#include "framework/Wnd.h"

namespace {

// Where a control's own window procedure is kept when it cannot be given back: someone
// subclassed the control after us, so our procedure stays in their chain and passes
// every message on to it.
constexpr char kSuperProp[] = "Quillmark.CWnd.Super";

bool IsOurProcess(HWND hWnd)
{
    DWORD pid = 0;
    return ::GetWindowThreadProcessId(hWnd, &pid) != 0 && pid == ::GetCurrentProcessId();
}

}  // namespace

// CWnd's own table is empty and ends every chain.
const MessageMap* CWnd::GetThisMessageMap()
{
    static const MessageMapEntry kEntries[] = {{0, 0, 0, 0, nullptr}};
    static const MessageMap kMap = {nullptr, &kEntries[0]};
    return &kMap;
}

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::CWnd() = default;

// An object that goes before its control must not be called by it afterwards.
CWnd::~CWnd()
{
    if (m_pfnSuper)
        UnsubclassWindow();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

HWND CWnd::GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

std::string AfxGetWindowText(HWND hWnd)
{
    if (!hWnd)
        return {};
    // The length is an upper bound (it may count a multibyte text generously), so the
    // text is cut at what was actually copied. Read straight into the result, so that no
    // other copy of a password box's text is left behind.
    const int length = ::GetWindowTextLengthA(hWnd);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length), '\0');
    const int copied = ::GetWindowTextA(hWnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::string CWnd::GetWindowText() const { return AfxGetWindowText(m_hWnd); }

void CWnd::GetClientRect(RECT* pRect) const { ::GetClientRect(m_hWnd, pRect); }

BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }

HMENU CWnd::GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    if (!pParent || !pParent->m_hWnd)
        return FALSE;
    HWND hWndControl = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
    return hWndControl ? SubclassWindow(hWndControl) : FALSE;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (m_hWnd || !hWnd || !::IsWindow(hWnd) || !IsOurProcess(hWnd) ||
        ::GetWindowLongPtrA(hWnd, GWLP_USERDATA))
        return FALSE;

    m_hWnd = hWnd;
    PreSubclassWindow();

    // The object lives in the control's user-data slot, which the standard controls leave
    // to the program: every message reads it, and it must be there before the first one
    // arrives through the new window procedure.
    ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const WNDPROC pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
        hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWndProc)));
    if (!pfnSuper) {
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        m_hWnd = nullptr;
        return FALSE;
    }
    m_pfnSuper = pfnSuper;
    return TRUE;
}

void CWnd::PreSubclassWindow() {}

void CWnd::UnsubclassWindow()
{
    const HWND hWnd = m_hWnd;
    if (hWnd && ::IsWindow(hWnd)) {
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        const auto pfnCurrent = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
        if (pfnCurrent == &CWnd::StaticWndProc)
            ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        else
            ::SetPropA(hWnd, kSuperProp, reinterpret_cast<HANDLE>(m_pfnSuper));
    }
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    if (!hWnd || !IsOurProcess(hWnd))
        return nullptr;
    return reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
}

LRESULT CWnd::Default()
{
    if (!m_pCurrentMsg)
        return 0;
    return DefWindowProc(m_pCurrentMsg->message, m_pCurrentMsg->wParam, m_pCurrentMsg->lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    // A control that has taken over its own colours answers first; the parent's table
    // and default only see the question when the control leaves it (a null brush).
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        const HWND hWndChild = reinterpret_cast<HWND>(lParam);
        CWnd* pChild = FromHandlePermanent(hWndChild);
        if (pChild && pChild != this && m_hWnd && ::IsChild(m_hWnd, hWndChild)) {
            const UINT nCtlColor = message - WM_CTLCOLORMSGBOX;  // the CTLCOLOR_ kind
            if (const MessageMapEntry* pEntry = pChild->FindEntry(kReflectedCtlColor, 0, 0)) {
                const LRESULT brush = pEntry->pfnThunk(pChild, wParam, nCtlColor);
                if (brush) {
                    *pResult = brush;
                    return true;
                }
            }
        }
    }

    const MessageMapEntry* pEntry = FindEntry(message, wParam, lParam);
    if (!pEntry)
        return false;
    *pResult = pEntry->pfnThunk(this, wParam, lParam);
    return true;
}

const MessageMapEntry* CWnd::FindEntry(UINT message, WPARAM wParam, LPARAM lParam) const
{
    UINT nCode = 0;
    UINT nID = 0;
    const bool bCommand = message == WM_COMMAND;
    const bool bNotify = message == WM_NOTIFY;
    if (bCommand) {
        nID = LOWORD(wParam);
        // Menus and accelerators (no control handle) are plain commands, whatever the
        // accelerator flag says.
        nCode = lParam ? HIWORD(wParam) : 0;
    } else if (bNotify) {
        const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        if (!pHeader)
            return nullptr;
        nID = static_cast<UINT>(pHeader->idFrom);
        nCode = pHeader->code;
    }

    for (const MessageMap* pMap = GetMessageMap(); pMap;
         pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const MessageMapEntry* pEntry = pMap->pEntries; pEntry->pfnThunk; ++pEntry) {
            if (pEntry->nMessage != message)
                continue;
            if ((bCommand || bNotify) &&
                (pEntry->nCode != nCode || nID < pEntry->nID || nID > pEntry->nLastID))
                continue;
            return pEntry;
        }
    }
    return nullptr;
}

LRESULT CWnd::HandleMessage(CurrentMessage& current)
{
    current.pOuter = m_pCurrentMsg;
    m_pCurrentMsg = &current;
    LRESULT result = 0;
    try {
        result = WindowProc(current.message, current.wParam, current.lParam);
    } catch (...) {
        result = 0;
    }
    m_pCurrentMsg = current.pOuter;
    return result;
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (!pWnd) {
        const auto pfnSuper = reinterpret_cast<WNDPROC>(::GetPropA(hWnd, kSuperProp));
        return pfnSuper ? ::CallWindowProcA(pfnSuper, hWnd, message, wParam, lParam)
                        : ::DefWindowProcA(hWnd, message, wParam, lParam);
    }

    CurrentMessage current = {message, wParam, lParam, false, nullptr};
    const LRESULT result = pWnd->HandleMessage(current);
    if (message == WM_NCDESTROY)
        pWnd->UnsubclassWindow();
    return result;
}
