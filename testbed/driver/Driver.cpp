// The driver: Quillmark.exe in a second process, reached only through its windows.
#include "testbed/driver/Driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "resources/resource.h"
#include "testbed/BedNetwork.h"

namespace testbed {

namespace {

constexpr char kMenuClass[] = "#32768";
constexpr char kConsoleCaption[] = "Quillmark";
// How long the driver waits for the product to answer one sent message; a console
// that stays busy longer than this is hung as far as a user can tell.
constexpr UINT kSendTimeoutMs = 10000;
// The longest list text the product writes is a display name (256 characters).
constexpr int kCellTextMax = 300;
constexpr int kBatchRows = 128;
// Time for a moved cursor's message to reach the product's window: X delivers it to the
// product's own display connection, which its thread reads when it next waits.
constexpr DWORD kCursorSettleMs = 300;

// Memory in the product's process, for the list messages that take pointers.
class CRemoteMemory {
public:
    CRemoteMemory(HANDLE hProcess, size_t size) : m_hProcess(hProcess)
    {
        m_pBase = static_cast<char*>(::VirtualAllocEx(hProcess, nullptr, size,
                                                      MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!m_pBase)
            throw DriverError("no memory in the product's process (error " +
                              std::to_string(::GetLastError()) + ")");
    }
    ~CRemoteMemory() { ::VirtualFreeEx(m_hProcess, m_pBase, 0, MEM_RELEASE); }
    CRemoteMemory(const CRemoteMemory&) = delete;
    CRemoteMemory& operator=(const CRemoteMemory&) = delete;

    char* At(size_t offset) const { return m_pBase + offset; }
    void Write(size_t offset, const void* data, size_t size)
    {
        if (!::WriteProcessMemory(m_hProcess, At(offset), data, size, nullptr))
            throw DriverError("cannot write the product's memory");
    }
    void Read(size_t offset, void* data, size_t size) const
    {
        if (!::ReadProcessMemory(m_hProcess, At(offset), data, size, nullptr))
            throw DriverError("cannot read the product's memory");
    }

private:
    HANDLE m_hProcess;
    char* m_pBase;
};

// The text in this program's code page.
std::string InThisCodePage(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    std::string narrow(static_cast<size_t>(::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0,
                                                                 nullptr, nullptr)), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, narrow.data(), static_cast<int>(narrow.size()),
                          nullptr, nullptr);
    return narrow;
}

// Reads cells of the product's list through LVITEMW records and text buffers placed in
// that process (the driver is built in the product's tree, so the records match its
// layout). The product's code page may not be the driver's, so the cells are read as the
// list holds them, in UTF-16. Every message to the product costs a trip through the Wine
// server, so a whole list is read in batches: the records are written once, each cell is
// one message, and each batch's texts come back in one read.
class CListReader {
public:
    CListReader(HANDLE hProcess, HWND hList, int batchRows)
        : m_hList(hList), m_nCells(batchRows * kColumns),
          m_memory(hProcess, static_cast<size_t>(m_nCells) * (sizeof(LVITEMW) + kCellTextMax * sizeof(wchar_t)))
    {
        std::vector<LVITEMW> items(static_cast<size_t>(m_nCells));
        for (int cell = 0; cell < m_nCells; ++cell) {
            items[static_cast<size_t>(cell)].iSubItem = cell % kColumns;
            items[static_cast<size_t>(cell)].pszText = reinterpret_cast<wchar_t*>(m_memory.At(TextOffset(cell)));
            items[static_cast<size_t>(cell)].cchTextMax = kCellTextMax;
        }
        m_memory.Write(0, items.data(), items.size() * sizeof(LVITEMW));
    }

    // Rows first .. first + count - 1, at most the batch size given at construction.
    std::vector<ListRow> Read(int first, int count)
    {
        std::vector<size_t> lengths(static_cast<size_t>(count * kColumns));
        for (int cell = 0; cell < count * kColumns; ++cell)
            lengths[static_cast<size_t>(cell)] = GetText(first + cell / kColumns, cell);
        std::wstring texts(static_cast<size_t>(count * kColumns) * kCellTextMax, L'\0');
        m_memory.Read(TextOffset(0), texts.data(), texts.size() * sizeof(wchar_t));
        std::vector<ListRow> rows;
        for (int row = 0; row < count; ++row) {
            auto text = [&](int column) {
                const int cell = row * kColumns + column;
                return InThisCodePage(texts.substr(static_cast<size_t>(cell) * kCellTextMax,
                                                   lengths[static_cast<size_t>(cell)]));
            };
            rows.push_back({text(0), text(1), text(2), text(3)});
        }
        return rows;
    }

    std::wstring Cell(int row, int column)
    {
        const size_t length = GetText(row, column);
        std::wstring text(length, L'\0');
        if (length)
            m_memory.Read(TextOffset(column), text.data(), length * sizeof(wchar_t));
        return text;
    }

private:
    static constexpr int kColumns = 4;

    size_t TextOffset(int cell) const
    {
        return static_cast<size_t>(m_nCells) * sizeof(LVITEMW) +
               static_cast<size_t>(cell) * kCellTextMax * sizeof(wchar_t);
    }

    // The text of the row's cell into the buffer of record `cell`; returns its length.
    size_t GetText(int row, int cell)
    {
        DWORD_PTR length = 0;
        const size_t record = static_cast<size_t>(cell) * sizeof(LVITEMW);
        if (!::SendMessageTimeoutA(m_hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                   reinterpret_cast<LPARAM>(m_memory.At(record)),
                                   SMTO_NORMAL, kSendTimeoutMs, &length))
            throw DriverError("the list does not answer LVM_GETITEMTEXT for row " +
                              std::to_string(row));
        return std::min<size_t>(static_cast<size_t>(length), kCellTextMax - 1);
    }

    HWND m_hList;
    int m_nCells;
    CRemoteMemory m_memory;
};

}  // namespace

std::string TakeScreenshot(const std::string& name)
{
    const std::string dir = Env("QUILLMARK_E2E_SHOTS");
    const std::string helper = Env("QUILLMARK_E2E_SHOT_HELPER");
    if (dir.empty() || helper.empty())
        return "QUILLMARK_E2E_SHOTS or QUILLMARK_E2E_SHOT_HELPER is not set";
    const std::string unixFile = dir + "/" + name + ".png";
    const std::string dosFile = DosPathOf(unixFile);
    ::DeleteFileA(dosFile.c_str());

    // Wine runs a Unix program directly, but does not wait for it: the helper renames
    // its finished file into place, and its appearance is the signal.
    std::string command = "/bin/sh \"" + helper + "\" \"" + unixFile + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return "cannot start the screenshot helper (error " + std::to_string(::GetLastError()) + ")";
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    try {
        WaitUntil([&] { return ::GetFileAttributesA(dosFile.c_str()) != INVALID_FILE_ATTRIBUTES; },
                  20000, "the screenshot " + unixFile);
    } catch (const DriverError& error) {
        return error.what();
    }
    return "";
}

// ---- Starting and closing ----

CQuillmark::CQuillmark() : CQuillmark(Env("QUILLMARK_E2E_PRODUCT")) {}

CQuillmark::CQuillmark(const std::string& unixProduct)
{
    if (unixProduct.empty())
        throw DriverError("QUILLMARK_E2E_PRODUCT (the path of Quillmark.exe) is not set");
    // The scenarios press Run on names that are not loopback, the default among them.
    if (!IsBedProviderAlone())
        throw DriverError("the bed's provider is not the only network provider in this prefix "
                          "(ProviderOrder \"" + NetworkProviderOrder() + "\"); not starting Quillmark");
    m_pi = StartProgram(unixProduct);
    try {
        WaitUntil(
            [&] {
                if (HasExited())
                    throw DriverError("Quillmark.exe ended at start with code " +
                                      std::to_string(ExitCode()));
                m_hConsole = FindWindowOfProcess(kDialogClass, kConsoleCaption);
                return m_hConsole != nullptr;
            },
            20000, "the console (a visible \"#32770\" window captioned \"Quillmark\")");
    } catch (...) {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
        throw;
    }
}

CQuillmark::~CQuillmark()
{
    // A test that failed half-way may leave a box or the About box open: answer them,
    // then close the console the user's way.
    for (int attempt = 0; attempt < 5 && !HasExited(); ++attempt) {
        for (HWND hBox : OpenMessageBoxes())
            for (int id : {IDNO, IDOK, IDCANCEL})
                if (HWND hButton = ::GetDlgItem(hBox, id); hButton && ::IsWindowVisible(hButton)) {
                    ::PostMessageA(hButton, BM_CLICK, 0, 0);
                    break;
                }
        if (HWND hAbout = FindWindowOfProcess(kDialogClass, "About Quillmark"))
            ::PostMessageA(hAbout, WM_CLOSE, 0, 0);
        if (HWND hMenu = FindWindowOfProcess(kMenuClass, nullptr))
            ::PostMessageA(hMenu, WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageA(m_hConsole, WM_CLOSE, 0, 0);
        WaitForExit(2000);
    }
    if (!HasExited()) {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    }
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
}

void CQuillmark::Close() { ::PostMessageA(m_hConsole, WM_CLOSE, 0, 0); }

bool CQuillmark::WaitForExit(DWORD timeoutMs)
{
    return ::WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool CQuillmark::HasExited() const { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }

DWORD CQuillmark::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

HWND CQuillmark::FindWindowOfProcess(const char* className, const char* caption) const
{
    return TopLevelWindow(m_pi.dwProcessId, className, caption);
}

// ---- Controls ----

LRESULT CQuillmark::Send(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) const
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(hWnd, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result)) {
        if (HasExited())
            throw DriverError("Quillmark.exe has ended (exit code " + std::to_string(ExitCode()) + ")");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", message);
        throw DriverError(std::string("the product does not answer message ") + hex + " within " +
                          std::to_string(kSendTimeoutMs) + " ms");
    }
    return static_cast<LRESULT>(result);
}

HWND CQuillmark::Item(int id) const
{
    HWND hItem = ::GetDlgItem(m_hConsole, id);
    if (!hItem)
        throw DriverError("the console has no control " + std::to_string(id));
    return hItem;
}

void CQuillmark::SetText(int id, const std::string& text)
{
    Send(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string CQuillmark::Text(int id) const { return WindowText(Item(id)); }

void CQuillmark::Click(int id) { ::PostMessageA(Item(id), BM_CLICK, 0, 0); }

bool CQuillmark::IsChecked(int id) const { return Send(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool CQuillmark::IsEnabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }

void CQuillmark::PressEnterIn(int id)
{
    // What the keyboard delivers: the dialog's own loop turns it into the default button.
    const HWND hItem = Item(id);
    ::PostMessageA(hItem, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageA(hItem, WM_CHAR, '\r', 0x001C0001);
    ::PostMessageA(hItem, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u));
}

void CQuillmark::Focus(int id)
{
    ::PostMessageA(m_hConsole, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
    SyncWithConsole();
}

void CQuillmark::UseCurrentCredential()
{
    Click(IDC_CURRENT_CREDENTIAL);
    WaitUntil([&] { return IsChecked(IDC_CURRENT_CREDENTIAL); }, 5000,
              "\"Current Credential\" to be checked after a click");
}

void CQuillmark::UseExplicitCredential(const std::string& user, const std::string& password)
{
    Click(IDC_ADMIN_CREDENTIAL);
    WaitUntil([&] { return IsChecked(IDC_ADMIN_CREDENTIAL) && IsEnabled(IDC_PASSWORD); }, 5000,
              "\"Admin User Name / Password\" to be checked and the boxes enabled after a click");
    SetText(IDC_USER_NAME, user);
    SetText(IDC_PASSWORD, password);
}

void CQuillmark::RunOn(const std::string& host)
{
    SetText(IDC_REMOTE_COMPUTER, host);
    Click(IDC_RUN);
}

bool CQuillmark::AnswersWithin(DWORD milliseconds) const
{
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(m_hConsole, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds, &result) != 0;
}

void CQuillmark::SyncWithConsole()
{
    // Posted messages are handled in order, so once the console's thread has handled a
    // marker posted now, it has handled everything posted before it. The marker is a
    // text limit on the user-name box, which nothing else sets or reads.
    const WPARAM mark = 0x7FFF0000 + static_cast<WPARAM>(++m_nSyncMark % 0xFFFF);
    const HWND hBox = Item(IDC_USER_NAME);
    ::PostMessageA(hBox, EM_SETLIMITTEXT, mark, 0);
    WaitUntil([&] { return static_cast<WPARAM>(Send(hBox, EM_GETLIMITTEXT, 0, 0)) == mark; },
              10000, "the console to handle the messages posted to it");
}

// ---- The list ----

int CQuillmark::RowCount() const { return static_cast<int>(Send(List(), LVM_GETITEMCOUNT, 0, 0)); }

std::string CQuillmark::CellText(int row, int column) const { return InThisCodePage(CellWideText(row, column)); }

std::wstring CQuillmark::CellWideText(int row, int column) const
{
    CListReader reader(m_pi.hProcess, List(), 1);
    return reader.Cell(row, column);
}

std::vector<ListRow> CQuillmark::Rows() const
{
    CListReader reader(m_pi.hProcess, List(), kBatchRows);
    std::vector<ListRow> rows;
    const int count = RowCount();
    rows.reserve(static_cast<size_t>(count));
    for (int first = 0; first < count; first += kBatchRows) {
        const std::vector<ListRow> batch = reader.Read(first, std::min(kBatchRows, count - first));
        rows.insert(rows.end(), batch.begin(), batch.end());
    }
    return rows;
}

int CQuillmark::SelectedRow() const
{
    return static_cast<int>(Send(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int CQuillmark::FindRow(const std::string& serviceName) const
{
    // The bed's services come early in the list, so reading row by row stops soon.
    CListReader reader(m_pi.hProcess, List(), 1);
    const int count = RowCount();
    for (int row = 0; row < count; ++row)
        if (InThisCodePage(reader.Cell(row, 1)) == serviceName)
            return row;
    return -1;
}

POINT CQuillmark::RowPoint(int row) const
{
    Send(List(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    CRemoteMemory memory(m_pi.hProcess, sizeof(RECT));
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    memory.Write(0, &rect, sizeof rect);
    if (!Send(List(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.At(0))))
        throw DriverError("the list gives no rectangle for row " + std::to_string(row));
    memory.Read(0, &rect, sizeof rect);
    // On the service name, the second column, half-way down the row.
    return {rect.left + std::min(80L, (rect.right - rect.left) / 2), (rect.top + rect.bottom) / 2};
}

void CQuillmark::RightClickAt(POINT clientPoint)
{
    // The cursor goes there first, as with a real mouse: the menu opens where it is. Its
    // move must reach the window before the press does: the list takes a move that arrives
    // while it tells a click from a drag for the start of a drag, and opens no menu.
    POINT screen = clientPoint;
    ::ClientToScreen(List(), &screen);
    POINT cursor = {};
    if (!::GetCursorPos(&cursor) || cursor.x != screen.x || cursor.y != screen.y) {
        ::SetCursorPos(screen.x, screen.y);
        ::Sleep(kCursorSettleMs);
    }
    const LPARAM position = MAKELPARAM(clientPoint.x, clientPoint.y);
    ::PostMessageA(List(), WM_RBUTTONDOWN, MK_RBUTTON, position);
    ::PostMessageA(List(), WM_RBUTTONUP, 0, position);
    WaitUntil([&] { return FindWindowOfProcess(kMenuClass, nullptr) != nullptr; }, 10000,
              "the popup menu (\"#32768\") after a right-click in the list",
              [&] { return InputStateOfConsole(); });
}

// Who holds the keyboard, the mouse and menu mode in the console's thread, and the row
// selected: what a click that opened nothing left behind.
std::string CQuillmark::InputStateOfConsole() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(m_hConsole, nullptr), &info))
        return "no thread information (error " + std::to_string(::GetLastError()) + ")";
    const auto name = [this](HWND hWnd) -> std::string {
        if (!hWnd) return "none";
        if (hWnd == m_hConsole) return "console";
        if (hWnd == List()) return "list";
        char className[64] = {};
        ::GetClassNameA(hWnd, className, sizeof className);
        return className;
    };
    return "active " + name(info.hwndActive) + ", focus " + name(info.hwndFocus) + ", capture " +
           name(info.hwndCapture) + ", menu owner " + name(info.hwndMenuOwner) + ", flags " +
           std::to_string(info.flags) + ", foreground " + name(::GetForegroundWindow()) +
           ", selected row " + std::to_string(SelectedRow());
}

void CQuillmark::ClickRow(int row)
{
    const POINT point = RowPoint(row);
    const LPARAM position = MAKELPARAM(point.x, point.y);
    ::PostMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, position);
    ::PostMessageA(List(), WM_LBUTTONUP, 0, position);
    WaitUntil([&] { return SelectedRow() == row; }, 10000,
              "row " + std::to_string(row) + " to be selected after a click on it");
}

void CQuillmark::RightClickRow(int row)
{
    RightClickAt(RowPoint(row));
    if (SelectedRow() != row)
        throw DriverError("a right-click on row " + std::to_string(row) +
                          " left row " + std::to_string(SelectedRow()) + " selected");
}

void CQuillmark::RightClickEmptyList()
{
    if (RowCount() != 0)
        throw DriverError("the list is not empty; it has " + std::to_string(RowCount()) + " rows");
    RECT client;
    ::GetClientRect(List(), &client);
    RightClickAt({client.right / 2, client.bottom / 2});
}

void CQuillmark::ChooseMenuItem(int index)
{
    const HWND hMenu = FindWindowOfProcess(kMenuClass, nullptr);
    if (!hMenu)
        throw DriverError("no popup menu is open");
    // The menu opens with no item highlighted: the first Down reaches "Start".
    for (int i = 0; i <= index; ++i)
        ::PostMessageA(hMenu, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 0);
    WaitUntil([&] { return FindWindowOfProcess(kMenuClass, nullptr) == nullptr; }, 10000,
              "the popup menu to close after choosing item " + std::to_string(index));
}

// ---- Message boxes ----

std::vector<HWND> CQuillmark::OpenMessageBoxes() const
{
    return TopLevelWindows(m_pi.dwProcessId, kDialogClass, nullptr,
                           [this](HWND hWnd) { return hWnd != m_hConsole && HasMessageBoxText(hWnd); });
}

MessageBoxSeen CQuillmark::WaitForMessageBox(DWORD timeoutMs)
{
    HWND hBox = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> boxes = OpenMessageBoxes();
            hBox = boxes.empty() ? nullptr : boxes.front();
            return hBox != nullptr;
        },
        timeoutMs, "a message box of Quillmark.exe");
    MessageBoxSeen box = ReadMessageBox(hBox);
    // The box may not have painted its icon yet: look again for a moment.
    box.icon = ScreenIcon(box.hIconStatic, 3000);
    return box;
}

void CQuillmark::Answer(const MessageBoxSeen& box, int buttonId)
{
    const HWND hButton = ::GetDlgItem(box.hWnd, buttonId);
    if (!hButton)
        throw DriverError("the message box has no button " + std::to_string(buttonId));
    ::PostMessageA(hButton, BM_CLICK, 0, 0);
    WaitUntil([&] { return !::IsWindow(box.hWnd) || !::IsWindowVisible(box.hWnd); }, 10000,
              "the message box \"" + box.strText + "\" to close after pressing button " +
                  std::to_string(buttonId));
}

// ---- Refreshes ----

void CQuillmark::WaitForRefreshEnd(CProviderLog& log, int sessions, int rows, DWORD timeoutMs)
{
    int opened = 0, cancels = 0, count = 0;
    WaitUntil(
        [&] {
            opened = cancels = 0;
            for (const ProviderCall& call : log.CallsOf(ProcessId())) {
                if (call.strOp == "connect" && call.result == 0)
                    ++opened;
                else if (call.strOp == "cancel")
                    ++cancels;
            }
            // A box would hold the pass forever: say what it says instead of waiting.
            if (const std::vector<HWND> boxes = OpenMessageBoxes(); !boxes.empty())
                throw DriverError("a message box appeared while waiting for a refresh to end: \"" +
                                  WindowText(::GetDlgItem(boxes.front(), kMessageBoxTextId)) + "\"");
            if (opened < sessions || cancels < opened)
                return false;
            // Every session has ended, so no pass writes rows any more: the list is final.
            count = RowCount();
            if (count != rows)
                throw DriverError("a refresh ended with " + std::to_string(count) +
                                  " rows listed instead of " + std::to_string(rows));
            return true;
        },
        timeoutMs,
        "a refresh to end: " + std::to_string(sessions) + " sessions opened and cancelled, " +
            std::to_string(rows) + " rows listed",
        [&] {
            return std::to_string(opened) + " opened, " + std::to_string(cancels) +
                   " cancelled, " + std::to_string(count) + " rows";
        });
}

}  // namespace testbed
