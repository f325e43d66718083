// CListCtrl: a report-style list-view control taken over from a dialog template.
#pragma once

#include <string>

#include <windows.h>
#include <commctrl.h>

#include "framework/Wnd.h"

// Every call is one message sent to the control, so a worker thread's call is carried
// out by the thread that owns the list while the worker waits.
class CListCtrl : public CWnd {
public:
    CListCtrl() = default;

    int InsertColumn(int nCol, const char* lpszColumnHeading, int nFormat, int nWidth,
                     int nSubItem);
    int InsertItem(int nItem, const char* lpszItem);
    BOOL SetItemText(int nItem, int nSubItem, const char* lpszText);
    int GetItemCount() const;
    int GetNextItem(int nItem, int nFlags) const;
    // Sets the state bits of nMask to those of nState; nItem -1 means every row.
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    // Scrolls the row into view: whole, unless bPartialOK lets part of it do.
    BOOL EnsureVisible(int nItem, BOOL bPartialOK);
    // The whole text of the cell, however long.
    std::string GetItemText(int nItem, int nSubItem) const;
    // The same into text, whose memory is reused: a loop over many cells reads them all
    // without allocating.
    void GetItemText(int nItem, int nSubItem, std::string& text) const;
    // The characters the cell shows, as the control holds them (UTF-16), whatever the
    // process's code page; memory reused the same way.
    void GetItemText(int nItem, int nSubItem, std::wstring& text) const;
    BOOL DeleteAllItems();
    // The mask is left at 0, which the control reads as every bit. Returns the old style.
    DWORD SetExtendedStyle(DWORD dwNewStyle);
    void SetRedraw(BOOL bRedraw = TRUE);
};
