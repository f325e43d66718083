// CListCtrl: list-view messages, ANSI variants, and a cell's text as the control holds it.
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

namespace {

// Reads a cell with the list message of the text's width into text, whose buffer grows
// until the text fits with room to spare. The control says only how much it copied, and
// leaves out a character that does not fit whole, so a copy that ends within the widest
// character's width (besides the terminator) of the buffer's end may have been cut.
template <typename Item, typename Text>
void ReadCellText(HWND hList, UINT message, int nItem, int nSubItem, Text& text, size_t nWidest)
{
    constexpr size_t kLargestText = size_t{1} << 24;
    text.resize(std::max<size_t>(text.capacity(), 256));
    for (;;) {
        Item item = {};
        item.iSubItem = nSubItem;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const LRESULT copied = ::SendMessageA(hList, message, static_cast<WPARAM>(nItem),
                                              reinterpret_cast<LPARAM>(&item));
        if (copied <= 0 || !item.pszText) {
            text.clear();
            return;
        }
        if (static_cast<size_t>(copied) + nWidest < text.size() || text.size() >= kLargestText) {
            if (item.pszText != text.data())
                text.assign(item.pszText, static_cast<size_t>(copied));
            text.resize(static_cast<size_t>(copied));
            return;
        }
        text.resize(text.size() * 2);
    }
}

}  // namespace

// A character takes up to four bytes in UTF-8, two in a double-byte code page.
void CListCtrl::GetItemText(int nItem, int nSubItem, std::string& text) const
{
    ReadCellText<LVITEMA>(m_hWnd, LVM_GETITEMTEXTA, nItem, nSubItem, text, 4);
}

// A character outside the basic plane takes two UTF-16 units.
void CListCtrl::GetItemText(int nItem, int nSubItem, std::wstring& text) const
{
    ReadCellText<LVITEMW>(m_hWnd, LVM_GETITEMTEXTW, nItem, nSubItem, text, 2);
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
