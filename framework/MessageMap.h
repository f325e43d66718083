// Message maps: static tables that bind a window message, a command or a notification
// to a member handler, read top to bottom, first match wins.
#pragma once

#include <type_traits>

#include <windows.h>

class CWnd;

// One row of a table. The thunk casts the target to the class whose table holds the
// row and calls the member with the message's arguments unpacked.
struct MessageMapEntry {
    UINT nMessage;  // the window message
    UINT nCode;     // WM_COMMAND and WM_NOTIFY only: the notification code
    UINT nID;       // WM_COMMAND and WM_NOTIFY only: first control or command id ...
    UINT nLastID;   // ... and last one
    LRESULT (*pfnThunk)(CWnd* pTarget, WPARAM wParam, LPARAM lParam);
};

// A class's table, chained to its base class's table.
struct MessageMap {
    const MessageMap* (*pfnGetBaseMap)();
    const MessageMapEntry* pEntries;  // ends with a row whose thunk is null
};

// Key of the row that answers a colour message on behalf of the parent it was sent to
// (wParam: the device context, lParam: the CTLCOLOR_ kind). Outside the system's own
// message numbers, like any private message.
inline constexpr UINT kReflectedCtlColor = 0xBC19;

// In the class body. Leaves the access at protected, as the handlers usually are.
#define DECLARE_MESSAGE_MAP()                                   \
protected:                                                      \
    static const ::MessageMap* GetThisMessageMap();             \
    virtual const ::MessageMap* GetMessageMap() const;

// In the class's .cpp. Handlers are named as &Class::Member where the row takes a
// member of the caller's choosing (ON_BN_CLICKED, ON_COMMAND, ON_NOTIFY, ON_MESSAGE).
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const ::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const ::MessageMap* theClass::GetThisMessageMap()                               \
    {                                                                               \
        typedef theClass ThisClass;                                                 \
        typedef baseClass TheBaseClass;                                             \
        static const ::MessageMapEntry kEntries[] = {

#define END_MESSAGE_MAP()                                                           \
            { 0, 0, 0, 0, nullptr }                                                 \
        };                                                                          \
        static_assert(std::is_base_of<TheBaseClass, ThisClass>::value,              \
                      "a message map chains to a base class");                      \
        static const ::MessageMap kMap = { &TheBaseClass::GetThisMessageMap, &kEntries[0] }; \
        return &kMap;                                                               \
    }

// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                          \
    { WM_SYSCOMMAND, 0, 0, 0, [](::CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        static_cast<ThisClass*>(pWnd)->OnSysCommand(static_cast<UINT>(wParam), lParam); \
        return 0; } },

// void OnPaint()
#define ON_WM_PAINT()                                                               \
    { WM_PAINT, 0, 0, 0, [](::CWnd* pWnd, WPARAM, LPARAM) -> LRESULT {              \
        static_cast<ThisClass*>(pWnd)->OnPaint();                                   \
        return 0; } },

// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                       \
    { WM_QUERYDRAGICON, 0, 0, 0, [](::CWnd* pWnd, WPARAM, LPARAM) -> LRESULT {      \
        return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(pWnd)->OnQueryDragIcon()); } },

// BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message): TRUE when it set the cursor
#define ON_WM_SETCURSOR()                                                           \
    { WM_SETCURSOR, 0, 0, 0, [](::CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        return static_cast<ThisClass*>(pWnd)->OnSetCursor(                          \
            reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam)); } },

// void OnLButtonDown(UINT nFlags, POINT point), point in client coordinates
#define ON_WM_LBUTTONDOWN()                                                         \
    { WM_LBUTTONDOWN, 0, 0, 0, [](::CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        const POINT point = { static_cast<short>(LOWORD(lParam)),                   \
                              static_cast<short>(HIWORD(lParam)) };                 \
        static_cast<ThisClass*>(pWnd)->OnLButtonDown(static_cast<UINT>(wParam), point); \
        return 0; } },

// LRESULT OnNcHitTest(POINT point), point in screen coordinates
#define ON_WM_NCHITTEST()                                                           \
    { WM_NCHITTEST, 0, 0, 0, [](::CWnd* pWnd, WPARAM, LPARAM lParam) -> LRESULT {   \
        const POINT point = { static_cast<short>(LOWORD(lParam)),                   \
                              static_cast<short>(HIWORD(lParam)) };                 \
        return static_cast<ThisClass*>(pWnd)->OnNcHitTest(point); } },

// void OnContextMenu(HWND hWnd, POINT point): hWnd was clicked, or had the focus when the
// menu key was pressed; point in screen coordinates, (-1, -1) from the keyboard
#define ON_WM_CONTEXTMENU()                                                         \
    { WM_CONTEXTMENU, 0, 0, 0, [](::CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        const POINT point = { static_cast<short>(LOWORD(lParam)),                   \
                              static_cast<short>(HIWORD(lParam)) };                 \
        static_cast<ThisClass*>(pWnd)->OnContextMenu(reinterpret_cast<HWND>(wParam), point); \
        return 0; } },

// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER()                                                               \
    { WM_TIMER, 0, 0, 0, [](::CWnd* pWnd, WPARAM wParam, LPARAM) -> LRESULT {       \
        static_cast<ThisClass*>(pWnd)->OnTimer(static_cast<UINT_PTR>(wParam));      \
        return 0; } },

// HBRUSH CtlColor(HDC hDC, UINT nCtlColor): the control picks its own colours when its
// parent is asked; a null brush leaves the question to the parent.
#define ON_WM_CTLCOLOR_REFLECT()                                                    \
    { ::kReflectedCtlColor, 0, 0, 0, [](::CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(pWnd)->CtlColor(   \
            reinterpret_cast<HDC>(wParam), static_cast<UINT>(lParam))); } },

// void memberFxn(): a command from a menu, an accelerator or a control's BN_CLICKED
#define ON_COMMAND(id, memberFxn)                                                   \
    { WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id),                  \
      [](::CWnd* pWnd, WPARAM, LPARAM) -> LRESULT {                                 \
        (static_cast<ThisClass*>(pWnd)->*(memberFxn))();                            \
        return 0; } },

// void memberFxn(): BN_CLICKED has the command code, so a click and a command are one row
#define ON_BN_CLICKED(id, memberFxn) ON_COMMAND(id, memberFxn)

// void memberFxn(NMHDR* pNMHDR, LRESULT* pResult); the result starts at 0
#define ON_NOTIFY(code, id, memberFxn)                                              \
    { WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), \
      [](::CWnd* pWnd, WPARAM, LPARAM lParam) -> LRESULT {                          \
        LRESULT result = 0;                                                         \
        (static_cast<ThisClass*>(pWnd)->*(memberFxn))(reinterpret_cast<NMHDR*>(lParam), &result); \
        return result; } },

// LRESULT memberFxn(WPARAM wParam, LPARAM lParam)
#define ON_MESSAGE(message, memberFxn)                                              \
    { static_cast<UINT>(message), 0, 0, 0,                                          \
      [](::CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT {                   \
        return (static_cast<ThisClass*>(pWnd)->*(memberFxn))(wParam, lParam); } },
