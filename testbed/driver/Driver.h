// Drives the shipped Quillmark.exe from this second process, as a user would: start it,
// type into its boxes, click, right-click rows and pick from the real popup menu, read the
// list and the message boxes across processes, and take screenshots.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testbed/driver/Bed.h"
#include "testbed/driver/Programs.h"

namespace testbed {

// A screenshot of the whole display into the shots folder, as <name>.png. Returns an
// empty text on success, otherwise why it could not be taken.
std::string TakeScreenshot(const std::string& name);

class CQuillmark {
public:
    // Starts the product in this prefix and waits for its console: the build's own, or
    // the one at this Unix path.
    CQuillmark();
    explicit CQuillmark(const std::string& unixProduct);
    // Closes it if it still runs (answering a box that may be open), ending it by force
    // only as a last resort.
    ~CQuillmark();
    CQuillmark(const CQuillmark&) = delete;
    CQuillmark& operator=(const CQuillmark&) = delete;

    DWORD ProcessId() const { return m_pi.dwProcessId; }
    HWND Console() const { return m_hConsole; }
    HWND Item(int id) const;

    // Edit boxes and buttons.
    void SetText(int id, const std::string& text);
    std::string Text(int id) const;
    void Click(int id);  // a posted BM_CLICK, as a mouse click arrives
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const;
    // Enter pressed while the focus is in the control.
    void PressEnterIn(int id);
    // Moves the focus to the control as the dialog moves it (an edit box's text selected),
    // so that what the keyboard types next goes there.
    void Focus(int id);
    // Current credentials or the typed ones, as the radio buttons choose.
    void UseCurrentCredential();
    void UseExplicitCredential(const std::string& user, const std::string& password);
    // Types the host and presses Run.
    void RunOn(const std::string& host);

    // The service list.
    int RowCount() const;
    // A cell in this program's code page, and as the list holds it (UTF-16): the product
    // may run in another code page (UTF-8).
    std::string CellText(int row, int column) const;
    std::wstring CellWideText(int row, int column) const;
    std::vector<ListRow> Rows() const;
    int SelectedRow() const;  // -1 when none
    int FindRow(const std::string& serviceName) const;  // -1 when not listed
    // Clicks the row, which selects it.
    void ClickRow(int row);
    // Right-clicks the row (which selects it) and waits for the popup menu.
    void RightClickRow(int row);
    // Right-clicks the list below its last row and waits for the popup menu.
    void RightClickEmptyList();
    // Picks the menu's n-th item (0 Start, 1 Stop) with the keyboard.
    void ChooseMenuItem(int index);
    enum MenuItem { kStart = 0, kStop = 1 };
    // Right-click on the row, then Start or Stop from the menu.
    void StartService(int row) { RightClickRow(row); ChooseMenuItem(kStart); }
    void StopService(int row) { RightClickRow(row); ChooseMenuItem(kStop); }

    // Message boxes of this process (not the console).
    MessageBoxSeen WaitForMessageBox(DWORD timeoutMs = 10000);
    // Presses the button and waits until the box is gone.
    void Answer(const MessageBoxSeen& box, int buttonId);
    std::vector<HWND> OpenMessageBoxes() const;

    // Whether the console's thread answers a message within the time: false while it is
    // busy with something else, such as a slow remote computer.
    bool AnswersWithin(DWORD milliseconds) const;

    // Returns once the console's thread has handled everything posted to it so far, so
    // whatever a posted command did (or did not do) can be checked at once afterwards.
    void SyncWithConsole();

    // Waits until `sessions` sessions of this process have been opened since `log` began
    // and all of them cancelled, and the list shows `rows` rows: a refresh has ended.
    void WaitForRefreshEnd(CProviderLog& log, int sessions, int rows, DWORD timeoutMs = 60000);

    // Closing: posts WM_CLOSE to the console; WaitForExit waits for the process.
    void Close();
    bool WaitForExit(DWORD timeoutMs);
    bool HasExited() const;
    DWORD ExitCode() const;

    // A top-level window of this process with that class and caption, visible; or null.
    HWND FindWindowOfProcess(const char* className, const char* caption) const;

private:
    LRESULT Send(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) const;
    HWND List() const { return Item(1001); }
    POINT RowPoint(int row) const;
    void RightClickAt(POINT clientPoint);
    std::string InputStateOfConsole() const;

    PROCESS_INFORMATION m_pi = {};
    HWND m_hConsole = nullptr;
    int m_nSyncMark = 0;
};

}  // namespace testbed
