// The floor of a list fill: the console's enumeration and its four list messages a row,
// with nothing else. By default a worker thread sends the rows to the dialog's thread,
// as the console's pass does; with "--one-thread" the dialog's thread writes them itself.
// And the floor of the list's keys: a typed service name found, and the whole list copied
// with Ctrl+Shift+C, each by a plain loop over the list's texts.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/ref_ids.h"
#include "testbed/BedNetwork.h"

namespace {

// Posted by the worker once the last row is written.
constexpr UINT WM_FILL_DONE = WM_APP + 1;

bool g_bOneThread = false;
HWND g_hDlg = nullptr;
HWND g_hList = nullptr;
WNDPROC g_pfnListProc = nullptr;
// The name typed so far, and when its last character came.
std::string g_strTyped;
DWORD g_dwLastTyped = 0;

void SetCell(int row, int column, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    ::SendMessageA(g_hList, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void WriteRow(int row, const ENUM_SERVICE_STATUSA& record)
{
    char position[16];
    std::snprintf(position, sizeof position, "%d", row);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = position;
    ::SendMessageA(g_hList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    SetCell(row, 1, record.lpServiceName ? record.lpServiceName : "");
    SetCell(row, 2, record.lpDisplayName ? record.lpDisplayName : "");
    SetCell(row, 3, testbed::StateText(record.ServiceStatus.dwCurrentState));
}

// The two-call enumeration of the bed's manager, then one row per record.
void EnumerateAndWrite()
{
    SC_HANDLE hManager = ::OpenSCManagerA("127.0.0.1", nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!hManager)
        return;
    DWORD needed = 0, returned = 0, resume = 0;
    ::EnumServicesStatusA(hManager, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL, nullptr, 0,
                          &needed, &returned, &resume);
    if (::GetLastError() == ERROR_MORE_DATA) {
        auto* records = static_cast<ENUM_SERVICE_STATUSA*>(::LocalAlloc(LPTR, needed));
        resume = 0;
        if (records && ::EnumServicesStatusA(hManager, SERVICE_WIN32 | SERVICE_DRIVER,
                                             SERVICE_STATE_ALL, records, needed, &needed,
                                             &returned, &resume))
            for (DWORD i = 0; i < returned; ++i)
                WriteRow(static_cast<int>(i), records[i]);
        ::LocalFree(records);
    }
    ::CloseServiceHandle(hManager);
}

DWORD WINAPI FillThread(LPVOID /*param*/)
{
    EnumerateAndWrite();
    ::PostMessageA(g_hDlg, WM_FILL_DONE, 0, 0);
    return 0;
}

void EndFill()
{
    ::SendMessageA(g_hList, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(g_hList, nullptr, TRUE);
}

void BeginFill()
{
    ::SendMessageA(g_hList, LVM_DELETEALLITEMS, 0, 0);
    ::SendMessageA(g_hList, WM_SETREDRAW, FALSE, 0);
    if (g_bOneThread) {
        EnumerateAndWrite();
        EndFill();
        return;
    }
    if (HANDLE hThread = ::CreateThread(nullptr, 0, &FillThread, nullptr, 0, nullptr))
        ::CloseHandle(hThread);
    else
        EndFill();
}

// The console's columns: the same headings and shares of the list's width.
void AddColumns()
{
    RECT rc;
    ::GetClientRect(g_hList, &rc);
    const int w = rc.right - rc.left;
    const struct {
        const char* heading;
        int width;
    } columns[] = {{"", w / 10}, {"Service Name", 3 * w / 10}, {"Display Name", 4 * w / 10},
                   {"State", 2 * w / 10}};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[i].width;
        column.pszText = const_cast<char*>(columns[i].heading);
        column.iSubItem = i;
        ::SendMessageA(g_hList, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    ::SendMessageA(g_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
}

// ---- Keys ----

int GetText(int row, int column, char* text, int size)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = size;
    return static_cast<int>(::SendMessageA(g_hList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                           reinterpret_cast<LPARAM>(&item)));
}

// The console's rules: characters within a second make one name, the same one again
// moves on, no match beeps. The loop: every row's service name, upper-cased, compared.
void FindTyped(char ch, DWORD time)
{
    if (g_strTyped.empty() || time - g_dwLastTyped > 1000)
        g_strTyped.clear();
    g_strTyped += ch;
    g_dwLastTyped = time;
    const bool bRepeated = g_strTyped.find_first_not_of(g_strTyped[0]) == std::string::npos;
    std::string prefix = bRepeated ? g_strTyped.substr(0, 1) : g_strTyped;
    ::CharUpperBuffA(prefix.data(), static_cast<DWORD>(prefix.size()));
    const int current = static_cast<int>(::SendMessageA(g_hList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    const int start = bRepeated ? current + 1 : (current < 0 ? 0 : current);
    const int rows = static_cast<int>(::SendMessageA(g_hList, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < rows; ++i) {
        const int row = (start + i) % rows;
        char name[300];
        const int length = GetText(row, 1, name, sizeof name);
        if (length < static_cast<int>(prefix.size()))
            continue;
        ::CharUpperBuffA(name, static_cast<DWORD>(prefix.size()));
        if (std::memcmp(name, prefix.data(), prefix.size()) == 0) {
            LVITEMA state = {};
            state.state = state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            ::SendMessageA(g_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
            ::SendMessageA(g_hList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
            return;
        }
    }
    ::MessageBeep(MB_OK);
}

void CopyWholeList()
{
    std::string text = "\tService Name\tDisplay Name\tState\r\n";
    const int rows = static_cast<int>(::SendMessageA(g_hList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < 4; ++column) {
            char cell[300];
            const int length = GetText(row, column, cell, sizeof cell);
            text.append(cell, static_cast<size_t>(length));
            text += column < 3 ? "\t" : "\r\n";
        }
    if (!::OpenClipboard(g_hDlg))
        return;
    ::EmptyClipboard();
    if (HGLOBAL hText = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        std::memcpy(::GlobalLock(hText), text.c_str(), text.size() + 1);
        ::GlobalUnlock(hText);
        if (!::SetClipboardData(CF_TEXT, hText))
            ::GlobalFree(hText);
    }
    ::CloseClipboard();
}

LRESULT CALLBACK KeysListProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CHAR && wParam >= 0x20) {
        FindTyped(static_cast<char>(wParam), static_cast<DWORD>(::GetMessageTime()));
        return 0;
    }
    if (message == WM_KEYDOWN && wParam == 'C' && ::GetKeyState(VK_CONTROL) < 0 && ::GetKeyState(VK_SHIFT) < 0) {
        CopyWholeList();
        return 0;
    }
    return ::CallWindowProcA(g_pfnListProc, hWnd, message, wParam, lParam);
}

INT_PTR CALLBACK RefListProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        g_hDlg = hDlg;
        g_hList = ::GetDlgItem(hDlg, IDC_REF_LIST);
        AddColumns();
        g_pfnListProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            g_hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeysListProc)));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_REF_FILL) {
            BeginFill();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(hDlg, IDCANCEL);
            return TRUE;
        }
        break;
    case WM_FILL_DONE:
        EndFill();
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    g_bOneThread = lpCmdLine && std::strstr(lpCmdLine, "--one-thread") != nullptr;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    return static_cast<int>(
        ::DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_REF_LIST), nullptr, &RefListProc, 0));
}
