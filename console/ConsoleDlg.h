// The console: the program's main dialog, and the window side of the remote logic.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <string>

#include "controls/LinkControls.h"
#include "framework/Afx.h"
#include "remote/ChosenTarget.h"
#include "remote/Refresh.h"
#include "remote/ServiceConsole.h"

class CConsoleDlg : public CDialog, public remote::IServiceConsole {
public:
    // Every operating-system call of the console, its commands and its links goes to
    // platform, which outlives the dialog and any pass it starts.
    explicit CConsoleDlg(remote::IPlatformOps& platform);
    ~CConsoleDlg() override = default;
    CConsoleDlg(const CConsoleDlg&) = delete;
    CConsoleDlg& operator=(const CConsoleDlg&) = delete;

    // IServiceConsole, on the real controls. A pass calls InsertItem, SetItemText and
    // AfxMessageBox from its own thread; the rest run on the user-interface thread.
    remote::RemoteTarget PullRemoteTarget() override;
    bool IsCurrentCredential() override;
    void DeleteAllItems() override;
    void InsertItem(int item, const std::string& text) override;
    void SetItemText(int item, int subItem, const std::string& text) override;
    int GetNextItem(int start, unsigned flags) override;
    std::string GetItemText(int item, int subItem) override;
    int AfxMessageBox(const std::string& text, unsigned style) override;
    bool AfxBeginThread(remote::ThreadProc proc, void* param) override;

    // True from the start of a pass until the console has handled its end.
    bool IsPassRunning() const;
    // That pass, if any.
    std::shared_ptr<remote::CPassControl> RunningPass() const;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // Message handlers, in the order of the message map.
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void RefreshServiceList();
    void OnDownloadClicked();
    void OnAdminCredential();
    void OnCurrentCredential();
    void StartSelectedService();
    void StopSelectedService();
    void OnServiceListRightClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnContextMenu(HWND hWnd, POINT point);
    LRESULT OnDeferredWork(WPARAM wParam, LPARAM lParam);
    LRESULT OnFirstScreenFilled(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR nIDEvent);

    DECLARE_MESSAGE_MAP()

private:
    enum class Command { Refresh, Start, Stop };
    // A command and the target it was chosen for.
    struct ChosenCommand {
        Command kind;
        std::unique_ptr<remote::CChosenTarget> target;
    };

    void ShowServiceMenu(POINT ptScreen);

    // The keyboard on the list: a typed name, and copies of what it shows.
    bool OnTypedCharacter(UINT nChar, DWORD dwTime);
    void FindTypedName();
    int FindServiceRow(const std::wstring& strUpperPrefix, int nStart) const;
    void SelectFoundRow(int nRow);
    void CopySelectedRow();
    void CopyWholeList();
    void PutOnClipboard(const std::wstring& text);

    void Choose(Command command);
    bool IsFreeForDeferredWork() const;
    void ActOnDeferredWork();
    void HandlePassEnd();
    void RunCommand(ChosenCommand command);
    bool IsRefreshPending() const;
    // What the list's window shows while a pass fills it, so a repaint can leave alone
    // whatever has not changed.
    struct ShownRows {
        int nRows = 0;      // rows shown with all their texts
        int nTop = 0;       // the first row in view
        int nSelected = -1;
        int nFocused = -1;
    };

    void BeginFill();
    void EndFill();
    void RepaintDuringFill();
    ShownRows RowsNow() const;
    bool RowsInViewDiffer(const ShownRows& now) const;
    void ShowList(bool bRowsInViewChanged);
    void KeepUnpaintedArea();
    void MoveScrollBar(int nRows);

    CPictureLink m_banner;
    CTextLink m_promoText;
    CTextLink m_promoTitle;
    CListCtrl m_listServices;
    std::string m_strRemoteComputer;
    std::string m_strUserName;
    std::string m_strPassword;
    HICON m_hIcon;
    remote::IPlatformOps& m_platform;

    // True for the whole of a command: its connect, its question, its error boxes.
    bool m_bCommandUnderWay = false;
    // The pass whose end is not handled yet, the target it writes its rows through, and
    // the commands chosen meanwhile or during a command, in the order chosen.
    std::shared_ptr<remote::CPassControl> m_runningPass;
    std::unique_ptr<remote::CChosenTarget> m_passTarget;
    std::deque<ChosenCommand> m_pendingCommands;
    // Rows in the list's view, the partly visible one included, while a fill runs; read
    // by the pass's thread.
    std::atomic<int> m_nRowsInView{0};
    ShownRows m_shown;
    // What the list was to paint when its redraw went off (the emptied list, as a fill
    // begins), which the next showing paints, in the list's client coordinates.
    CRgn m_rgnUnpainted;

    // The name typed on the list so far (UTF-16, as the loop reads characters), when its
    // last character came, and the first half of a character whose second is still to come.
    std::wstring m_strTypedName;
    DWORD m_dwLastTyped = 0;
    wchar_t m_chFirstHalf = L'\0';
};
