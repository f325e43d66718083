// CWnd: a window handle with a message map, and the subclassing that routes an existing
// control's messages to it.
#pragma once

#include <atomic>
#include <string>

#include <windows.h>

#include "framework/MessageMap.h"

// The whole text of any window, however long.
std::string AfxGetWindowText(HWND hWnd);

// Does not own its window: a CWnd only takes over controls that a dialog template made.
class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Atomic because a worker may send messages through it (rows to a list) while the
    // user-interface thread clears it as the window goes.
    std::atomic<HWND> m_hWnd{nullptr};

    // ---- Plain calls on m_hWnd ----
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    HWND GetDlgItem(int nID) const;
    std::string GetWindowText() const;  // the whole text, however long
    void GetClientRect(RECT* pRect) const;
    BOOL IsIconic() const;
    HMENU GetSystemMenu(BOOL bRevert) const;

    // ---- Taking over a control ----
    // Calls PreSubclassWindow() once, with m_hWnd already set, then routes the control's
    // messages to this object until WM_NCDESTROY, where the control gets its own window
    // procedure back and the object forgets the handle. Fails for a window that another
    // object (or another process) has.
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    BOOL SubclassWindow(HWND hWnd);
    // Called by SubclassWindow just before the takeover.
    virtual void PreSubclassWindow();

    // Default processing of the message being handled: the control's own window
    // procedure, or for a dialog what the dialog manager does with it.
    LRESULT Default();

    // The object that has taken over hWnd in this process, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

protected:
    // Called for every message: the message map, then default processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called by Default() and for unmapped messages: the processing the window would
    // get without this object.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called by WindowProc: the colour question reflected to a child, then this class's
    // table and its bases'. True when a row took the message; *pResult is its answer.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // The message being handled, so Default() can pass it on; one per nesting level.
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool bToDialogManager;  // dialogs: let the dialog manager's default act
        CurrentMessage* pOuter;  // the message whose handler this one arrived in, if any
    };
    CurrentMessage* m_pCurrentMsg = nullptr;

    // Called by both trampolines: WindowProc with the message recorded as the current one.
    // A handler's exception stops here, answered with 0: nothing may unwind through the
    // system's code.
    LRESULT HandleMessage(CurrentMessage& current);

    DECLARE_MESSAGE_MAP()

private:
    static LRESULT CALLBACK StaticWndProc(HWND hWnd, UINT message, WPARAM wParam,
                                          LPARAM lParam);
    const MessageMapEntry* FindEntry(UINT message, WPARAM wParam, LPARAM lParam) const;
    // Gives the control back its own window procedure (when nobody subclassed it after
    // us) and forgets it.
    void UnsubclassWindow();

    WNDPROC m_pfnSuper = nullptr;  // the control's own window procedure
};
