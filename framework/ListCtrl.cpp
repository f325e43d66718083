// CListCtrl: list-view messages, ANSI variants.
#include "framework/ListCtrl.h"

#include <algorithm>

int CListCtrl::InsertColumn(int nCol, const char* lpszColumnHeading, int nFormat, int nWidth,
                            int nSubItem)
{
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = nFormat;
    column.cx = nWidth;
    column.pszText = const_cast<char*>(lpszColumnHeading ? lpszColumnHeading : "");
    column.iSubItem = nSubItem;
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_INSERTCOLUMNA, static_cast<WPARAM>(nCol),
                                           reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::InsertItem(int nItem, const char* lpszItem)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(lpszItem ? lpszItem : "");
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_INSERTITEMA, 0,
                                           reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const char* lpszText)
{
    LVITEMA item = {};
    item.iSubItem = nSubItem;
    item.pszText = const_cast<char*>(lpszText ? lpszText : "");
    return static_cast<BOOL>(::SendMessageA(m_hWnd, LVM_SETITEMTEXTA, static_cast<WPARAM>(nItem),
                                            reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::GetItemCount() const
{
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask)
{
    LVITEMA item = {};
    item.state = nState;
    item.stateMask = nMask;
    return static_cast<BOOL>(::SendMessageA(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(nItem),
                                            reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL bPartialOK)
{
    return static_cast<BOOL>(::SendMessageA(m_hWnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(nItem),
                                            static_cast<LPARAM>(bPartialOK)));
}

int CListCtrl::GetNextItem(int nItem, int nFlags) const
{
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(nItem),
                                           MAKELPARAM(nFlags, 0)));
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const
{
    std::string text;
    GetItemText(nItem, nSubItem, text);
    return text;
}

void CListCtrl::GetItemText(int nItem, int nSubItem, std::string& text) const
{
    // The control says only how much it copied, so the buffer grows until the text fits
    // with room to spare: room for the widest character (two bytes in a double-byte code
    // page, which the control drops whole when it does not fit) besides the terminator.
    constexpr size_t kLargestText = size_t{1} << 24;
    text.resize(std::max<size_t>(text.capacity(), 256));
    for (;;) {
        LVITEMA item = {};
        item.iSubItem = nSubItem;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const LRESULT copied = ::SendMessageA(m_hWnd, LVM_GETITEMTEXTA,
                                              static_cast<WPARAM>(nItem),
                                              reinterpret_cast<LPARAM>(&item));
        if (copied <= 0 || !item.pszText) {
            text.clear();
            return;
        }
        if (static_cast<size_t>(copied) + 2 < text.size() || text.size() >= kLargestText) {
            if (item.pszText != text.data())
                text.assign(item.pszText, static_cast<size_t>(copied));
            text.resize(static_cast<size_t>(copied));
            return;
        }
        text.resize(text.size() * 2);
    }
}

BOOL CListCtrl::DeleteAllItems()
{
    return static_cast<BOOL>(::SendMessageA(m_hWnd, LVM_DELETEALLITEMS, 0, 0));
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle)
{
    return static_cast<DWORD>(::SendMessageA(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                                             static_cast<LPARAM>(dwNewStyle)));
}

void CListCtrl::SetRedraw(BOOL bRedraw)
{
    ::SendMessageA(m_hWnd, WM_SETREDRAW, static_cast<WPARAM>(bRedraw), 0);
}
