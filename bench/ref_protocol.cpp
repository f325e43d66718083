// The floor of a list fill: the console's enumeration and its four list messages a row,
// with nothing else. By default a worker thread sends the rows to the dialog's thread,
// as the console's pass does; with "--one-thread" the dialog's thread writes them itself.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "bench/ref_ids.h"
#include "testbed/BedNetwork.h"

namespace {

// Posted by the worker once the last row is written.
constexpr UINT WM_FILL_DONE = WM_APP + 1;

bool g_bOneThread = false;
HWND g_hDlg = nullptr;
HWND g_hList = nullptr;

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

INT_PTR CALLBACK RefListProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        g_hDlg = hDlg;
        g_hList = ::GetDlgItem(hDlg, IDC_REF_LIST);
        AddColumns();
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
