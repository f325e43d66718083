// The console dialog: its controls, its handlers, and the rows a pass writes.
#include "console/ConsoleDlg.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <utility>

#include "console/AboutDlg.h"
#include "console/Clipboard.h"
#include "controls/LinkAddresses.h"
#include "remote/StartStop.h"
#include "resources/resource.h"

namespace {

// Posted when work waits for the console's own loop: by a pass's end-of-pass callback (the
// pass may end on any thread), and by a command chosen while another one is under way.
constexpr UINT WM_DEFERRED_WORK = WM_APP + 1;
// Posted by a pass once it has written the rows the list's view holds, so they show at once.
constexpr UINT WM_FIRST_SCREEN_FILLED = WM_APP + 2;
// While rows arrive with the list's redraw suspended, what changed is shown this often.
constexpr UINT_PTR kFillRepaintTimer = 1;
constexpr UINT kFillRepaintMs = 250;
// Deferred work that finds the console busy (a box, a menu, a click) is looked at again
// this often.
constexpr UINT_PTR kDeferredWorkTimer = 2;
constexpr UINT kDeferredWorkRetryMs = 50;

// The list's columns: heading, and share of the list's width in tenths.
struct ListColumn {
    const char* heading;
    int nTenths;
};
constexpr ListColumn kListColumns[] = {
    {"", 1}, {"Service Name", 3}, {"Display Name", 4}, {"State", 2}};
constexpr int kServiceNameColumn = 1;

// Characters typed on the list within this long of each other make one name.
constexpr DWORD kTypingPauseMs = 1000;

// Drops the keys and clicks waiting in this thread's queue.
void DiscardQueuedInput()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
        continue;
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE))
        continue;
}

// What a list's frame shows: its scroll bars, where they are and where their thumbs are.
// The room they leave for the header and the rows follows from them.
struct FrameLook {
    SCROLLBARINFO vertical;
    SCROLLBARINFO horizontal;
};

FrameLook FrameOf(HWND hList)
{
    FrameLook look = {};
    look.vertical.cbSize = look.horizontal.cbSize = sizeof(SCROLLBARINFO);
    ::GetScrollBarInfo(hList, OBJID_VSCROLL, &look.vertical);
    ::GetScrollBarInfo(hList, OBJID_HSCROLL, &look.horizontal);
    return look;
}

bool LooksAlike(const SCROLLBARINFO& a, const SCROLLBARINFO& b)
{
    return ::EqualRect(&a.rcScrollBar, &b.rcScrollBar) && a.xyThumbTop == b.xyThumbTop &&
           a.xyThumbBottom == b.xyThumbBottom && a.rgstate[0] == b.rgstate[0];
}

bool LooksAlike(const FrameLook& a, const FrameLook& b)
{
    return LooksAlike(a.vertical, b.vertical) && LooksAlike(a.horizontal, b.horizontal);
}

// The wait cursor while this thread is busy with a remote computer; the old one after.
class CWaitCursorScope {
public:
    CWaitCursorScope() : m_hOldCursor(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT))) {}
    ~CWaitCursorScope() { ::SetCursor(m_hOldCursor); }
    CWaitCursorScope(const CWaitCursorScope&) = delete;
    CWaitCursorScope& operator=(const CWaitCursorScope&) = delete;

private:
    HCURSOR m_hOldCursor;
};

// Marks a command as under way for as long as it runs, however it ends.
class CUnderWayScope {
public:
    explicit CUnderWayScope(bool& bUnderWay) : m_bUnderWay(bUnderWay) { m_bUnderWay = true; }
    ~CUnderWayScope() { m_bUnderWay = false; }
    CUnderWayScope(const CUnderWayScope&) = delete;
    CUnderWayScope& operator=(const CUnderWayScope&) = delete;

private:
    bool& m_bUnderWay;
};

bool IsKeyDown(int vk) { return ::GetKeyState(vk) < 0; }

// F5 on its own. Held down, a key repeats; one press is one refresh, as one click is.
bool IsRefreshKey(const MSG& msg)
{
    const bool bRepeat = (msg.lParam & (LPARAM{1} << 30)) != 0;
    return msg.message == WM_KEYDOWN && msg.wParam == VK_F5 && !bRepeat && !IsKeyDown(VK_SHIFT) &&
           !IsKeyDown(VK_CONTROL) && !IsKeyDown(VK_MENU);
}

// Ctrl+C, or Ctrl+Shift+C. With Alt too it is a character on some keyboards.
bool IsCopyKey(const MSG& msg)
{
    return msg.message == WM_KEYDOWN && msg.wParam == 'C' && IsKeyDown(VK_CONTROL) && !IsKeyDown(VK_MENU);
}

// The text in upper case, character by character, whatever the code page.
std::wstring UpperCase(std::wstring text)
{
    if (!text.empty())
        ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The length in UTF-16 units of the character the text is made of, typed once or more
// (a character beyond the basic plane takes two); 0 when there are others.
size_t RepeatedCharacterLength(const std::wstring& text)
{
    const size_t nLength = text.size() > 1 && IS_HIGH_SURROGATE(text[0]) ? 2 : 1;
    if (text.empty() || text.size() % nLength != 0)
        return 0;
    for (size_t at = nLength; at < text.size(); at += nLength)
        if (text.compare(at, nLength, text, 0, nLength) != 0)
            return 0;
    return nLength;
}

// A heading as the list shows it; the headings are ASCII.
void WidenHeading(int nColumn, std::wstring& into)
{
    const char* heading = kListColumns[nColumn].heading;
    into.assign(heading, heading + std::strlen(heading));
}

// One line of a copy: the texts of the four columns separated by tabs, ending CR LF.
// fillText(nColumn, text) gives each. A remote computer may send a tab or a line break
// within a name, which would break the line into other columns or rows: each becomes a
// space. Neither is ever part of another character in UTF-16.
template <typename FillText>
void AppendCopiedLine(std::wstring& out, std::wstring& text, FillText fillText)
{
    for (int nColumn = 0; nColumn < static_cast<int>(std::size(kListColumns)); ++nColumn) {
        if (nColumn > 0)
            out += L'\t';
        fillText(nColumn, text);
        const size_t nStart = out.size();
        out += text;
        std::replace_if(out.begin() + static_cast<std::ptrdiff_t>(nStart), out.end(),
                        [](wchar_t ch) { return ch == L'\t' || ch == L'\r' || ch == L'\n'; }, L' ');
    }
    out += L"\r\n";
}

}  // namespace

// Keys reach the console before its controls in PreTranslateMessage: F5 anywhere, and on
// the list a typed name, Ctrl+C and Ctrl+Shift+C.
BEGIN_MESSAGE_MAP(CConsoleDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_RUN, &CConsoleDlg::RefreshServiceList)
    ON_BN_CLICKED(IDC_DOWNLOAD, &CConsoleDlg::OnDownloadClicked)
    ON_BN_CLICKED(IDC_ADMIN_CREDENTIAL, &CConsoleDlg::OnAdminCredential)
    ON_BN_CLICKED(IDC_CURRENT_CREDENTIAL, &CConsoleDlg::OnCurrentCredential)
    ON_COMMAND(ID_SERVICE_START, &CConsoleDlg::StartSelectedService)
    ON_COMMAND(ID_SERVICE_STOP, &CConsoleDlg::StopSelectedService)
    ON_NOTIFY(NM_RCLICK, IDC_SERVICE_LIST, &CConsoleDlg::OnServiceListRightClick)
    ON_WM_CONTEXTMENU()
    ON_MESSAGE(WM_DEFERRED_WORK, &CConsoleDlg::OnDeferredWork)
    ON_MESSAGE(WM_FIRST_SCREEN_FILLED, &CConsoleDlg::OnFirstScreenFilled)
    ON_WM_TIMER()
END_MESSAGE_MAP()

CConsoleDlg::CConsoleDlg(remote::IPlatformOps& platform)
    : CDialog(IDD_CONSOLE_DIALOG),
      m_banner(platform),
      m_promoText(platform),
      m_promoTitle(platform),
      m_strRemoteComputer("192.168.0.1"),
      m_strUserName("Administrator"),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_platform(platform)
{
    m_rgnUnpainted.CreateRectRgn(0, 0, 0, 0);
}

void CConsoleDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BANNER, m_banner);
    DDX_Control(pDX, IDC_PROMO_TEXT, m_promoText);
    DDX_Control(pDX, IDC_PROMO_TITLE, m_promoTitle);
    DDX_Control(pDX, IDC_SERVICE_LIST, m_listServices);
    DDX_Text(pDX, IDC_REMOTE_COMPUTER, m_strRemoteComputer);
    DDX_Text(pDX, IDC_USER_NAME, m_strUserName);
    DDX_Text(pDX, IDC_PASSWORD, m_strPassword);
}

BOOL CConsoleDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // The banner fills its place in the template at whatever scale the dialog is drawn.
    // The place is mapped field by field, as the dialog maps its controls' places.
    RECT rcBanner = {IDC_BANNER_PLACE};
    ::MapDialogRect(m_hWnd, &rcBanner);
    m_banner.FitPicture({rcBanner.left, rcBanner.top, rcBanner.left + rcBanner.right,
                         rcBanner.top + rcBanner.bottom});

    if (HMENU hSysMenu = GetSystemMenu(FALSE)) {
        char szAbout[256] = "";
        if (::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, szAbout, sizeof szAbout) > 0) {
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    RECT rcList;
    m_listServices.GetClientRect(&rcList);
    const int w = rcList.right - rcList.left;
    for (int n = 0; n < static_cast<int>(std::size(kListColumns)); ++n)
        m_listServices.InsertColumn(n, kListColumns[n].heading, LVCFMT_LEFT,
                                    (kListColumns[n].nTenths * w) / 10, n);

    // A mask of 0 means every bit: the extended style becomes exactly this.
    m_listServices.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    OnCurrentCredential();
    return TRUE;
}

// For those who work from the keyboard: F5 anywhere in the console is Run; on the list, a
// typed name finds its row (the list's own search would look at the position column),
// and Ctrl+C and Ctrl+Shift+C copy. The rest goes on to the dialog's keys and the controls.
BOOL CConsoleDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->hwnd == m_listServices.m_hWnd) {
        if (pMsg->message == WM_CHAR && OnTypedCharacter(static_cast<UINT>(pMsg->wParam), pMsg->time))
            return TRUE;
        if (IsCopyKey(*pMsg)) {
            if (IsKeyDown(VK_SHIFT))
                CopyWholeList();
            else
                CopySelectedRow();
            return TRUE;
        }
    }
    if (IsRefreshKey(*pMsg) && (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd))) {
        RefreshServiceList();
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

// ---- IServiceConsole ----

remote::RemoteTarget CConsoleDlg::PullRemoteTarget()
{
    UpdateData(TRUE);
    return {m_strRemoteComputer, m_strUserName, m_strPassword};
}

bool CConsoleDlg::IsCurrentCredential()
{
    return IsDlgButtonChecked(IDC_CURRENT_CREDENTIAL) == BST_CHECKED;
}

void CConsoleDlg::DeleteAllItems() { m_listServices.DeleteAllItems(); }

// Sent to the list, so the user-interface thread writes the row while a pass waits.
void CConsoleDlg::InsertItem(int item, const std::string& text)
{
    m_listServices.InsertItem(item, text.c_str());
    // The rows in view have all their texts once the row after them begins.
    if (item == m_nRowsInView.load())
        PostMessage(WM_FIRST_SCREEN_FILLED);
}

void CConsoleDlg::SetItemText(int item, int subItem, const std::string& text)
{
    m_listServices.SetItemText(item, subItem, text.c_str());
}

int CConsoleDlg::GetNextItem(int start, unsigned flags)
{
    return m_listServices.GetNextItem(start, static_cast<int>(flags));
}

std::string CConsoleDlg::GetItemText(int item, int subItem)
{
    return m_listServices.GetItemText(item, subItem);
}

// A box asked for on this thread comes after a command kept it busy with a remote
// computer. Keys and clicks queued meanwhile were meant for the window, not for a box
// that had not appeared yet: an Enter typed ahead must not answer Yes unread.
int CConsoleDlg::AfxMessageBox(const std::string& text, unsigned style)
{
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId())
        DiscardQueuedInput();
    return ::AfxMessageBox(text.c_str(), style);
}

bool CConsoleDlg::AfxBeginThread(remote::ThreadProc proc, void* param)
{
    return ::AfxBeginThread(proc, param);
}

// ---- Handlers ----

void CConsoleDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(m_platform);
        dlgAbout.DoModal();
    } else {
        Default();
    }
}

// Minimised, the dialog draws its icon itself; otherwise the dialog manager paints.
void CConsoleDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR CConsoleDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CConsoleDlg::RefreshServiceList() { Choose(Command::Refresh); }

void CConsoleDlg::OnDownloadClicked()
{
    m_platform.ShellExecuteA("open", kDownloadPageUrl, remote::kSwShow);
}

void CConsoleDlg::OnAdminCredential()
{
    CheckDlgButton(IDC_CURRENT_CREDENTIAL, BST_UNCHECKED);
    CheckDlgButton(IDC_ADMIN_CREDENTIAL, BST_CHECKED);
    for (int id : {IDC_USER_NAME_LABEL, IDC_USER_NAME, IDC_PASSWORD_LABEL, IDC_PASSWORD})
        ::EnableWindow(GetDlgItem(id), TRUE);
}

void CConsoleDlg::OnCurrentCredential()
{
    CheckDlgButton(IDC_CURRENT_CREDENTIAL, BST_CHECKED);
    CheckDlgButton(IDC_ADMIN_CREDENTIAL, BST_UNCHECKED);
    for (int id : {IDC_USER_NAME_LABEL, IDC_USER_NAME, IDC_PASSWORD_LABEL, IDC_PASSWORD})
        ::EnableWindow(GetDlgItem(id), FALSE);
}

void CConsoleDlg::StartSelectedService() { Choose(Command::Start); }

void CConsoleDlg::StopSelectedService() { Choose(Command::Stop); }

void CConsoleDlg::OnServiceListRightClick(NMHDR* /*pNMHDR*/, LRESULT* pResult)
{
    *pResult = 0;
    // Screen coordinates are signed: monitors left of or above the primary one are negative.
    const DWORD pos = ::GetMessagePos();
    ShowServiceMenu({static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))});
}

// The menu key and Shift+F10 on the list open the same menu as a right-click, for those
// who work from the keyboard: at the selected row, or at the list's top-left corner. A
// right-click also ends up here, after its own notification: that one is left alone.
void CConsoleDlg::OnContextMenu(HWND hWnd, POINT point)
{
    const bool bFromKeyboard = point.x == -1 && point.y == -1;
    if (hWnd != m_listServices.m_hWnd || !bFromKeyboard) {
        Default();
        return;
    }
    POINT at = {0, 0};
    const int row = m_listServices.GetNextItem(-1, LVNI_SELECTED);
    if (row != -1) {
        m_listServices.SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
        RECT rcRow = {LVIR_BOUNDS, 0, 0, 0};
        if (m_listServices.SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(row),
                                       reinterpret_cast<LPARAM>(&rcRow)))
            at = {rcRow.left, rcRow.bottom};
    }
    ::ClientToScreen(m_listServices.m_hWnd, &at);
    ShowServiceMenu(at);
}

void CConsoleDlg::ShowServiceMenu(POINT ptScreen)
{
    HMENU hMenu = ::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_SERVICE_MENU));
    if (!hMenu)
        return;
    ::TrackPopupMenu(::GetSubMenu(hMenu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, ptScreen.x,
                     ptScreen.y, 0, m_hWnd, nullptr);
    ::DestroyMenu(hMenu);
}

// ---- The keyboard on the list ----

// Returns whether the character was taken: every printable one is, so that the list's own
// search never sees it. The loop reads characters in UTF-16, so each arrives whole, as one
// unit or, beyond the basic plane, as two halves: the first half waits for the second.
bool CConsoleDlg::OnTypedCharacter(UINT nChar, DWORD dwTime)
{
    // The keys' own characters: Enter, Escape, Tab, Backspace.
    if (nChar < 0x20 || nChar == 0x7F)
        return false;
    const auto ch = static_cast<wchar_t>(nChar);
    const wchar_t chFirstHalf = std::exchange(m_chFirstHalf, L'\0');
    if (IS_HIGH_SURROGATE(ch)) {
        m_chFirstHalf = ch;
        return true;
    }
    // A second half whose first did not come just before is no character.
    if (IS_LOW_SURROGATE(ch) && !chFirstHalf)
        return true;
    const bool bNameGoesOn = !m_strTypedName.empty() && dwTime - m_dwLastTyped <= kTypingPauseMs;
    // A space begins no name; its key, not its character, is the list's.
    if (ch == L' ' && !bNameGoesOn)
        return true;
    if (!bNameGoesOn)
        m_strTypedName.clear();
    if (IS_LOW_SURROGATE(ch))
        m_strTypedName += chFirstHalf;
    m_strTypedName += ch;
    m_dwLastTyped = dwTime;
    FindTypedName();
    return true;
}

// The next row whose service name starts with the name typed so far, case aside. One
// character typed again and again moves on to the next row that starts with it, as the
// system's own lists of files do.
void CConsoleDlg::FindTypedName()
{
    const size_t nRepeated = RepeatedCharacterLength(m_strTypedName);
    const std::wstring strPrefix = UpperCase(nRepeated ? m_strTypedName.substr(0, nRepeated) : m_strTypedName);
    // A name just begun, or moving on, looks from the row after the current one; a name
    // that grows keeps the current row for as long as it matches.
    const int nCurrent = m_listServices.GetNextItem(-1, LVNI_FOCUSED);
    const int nRow = FindServiceRow(strPrefix, nRepeated ? nCurrent + 1 : std::max(nCurrent, 0));
    if (nRow < 0) {
        ::MessageBeep(MB_OK);
        return;
    }
    SelectFoundRow(nRow);
}

// The first row from nStart on, round past the end, whose service name starts with the
// prefix (given in upper case); -1 when there is none. The names are read as the list
// shows them, in UTF-16, as the typed characters come.
int CConsoleDlg::FindServiceRow(const std::wstring& strUpperPrefix, int nStart) const
{
    const int nRows = m_listServices.GetItemCount();
    std::wstring name;
    for (int i = 0; i < nRows; ++i) {
        const int nRow = (nStart + i) % nRows;
        m_listServices.GetItemText(nRow, kServiceNameColumn, name);
        if (name.size() < strUpperPrefix.size())
            continue;
        ::CharUpperBuffW(name.data(), static_cast<DWORD>(strUpperPrefix.size()));
        if (name.compare(0, strUpperPrefix.size(), strUpperPrefix) == 0)
            return nRow;
    }
    return -1;
}

// A fill keeps the list's redraw off, and with it the list's own scroll range, within
// which it scrolls: the range is brought up to the rows there are first. The row then
// shows at once, not at the fill's next repaint.
void CConsoleDlg::SelectFoundRow(int nRow)
{
    const bool bFilling = IsPassRunning();
    m_listServices.SetItemState(nRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (bFilling)
        MoveScrollBar(m_listServices.GetItemCount());
    m_listServices.EnsureVisible(nRow, FALSE);
    if (bFilling)
        RepaintDuringFill();
}

void CConsoleDlg::CopySelectedRow()
{
    const int nRow = m_listServices.GetNextItem(-1, LVNI_SELECTED);
    // Nothing selected: the clipboard keeps what it holds.
    if (nRow < 0)
        return;
    std::wstring text, cell;
    AppendCopiedLine(text, cell, [&](int nColumn, std::wstring& into) {
        m_listServices.GetItemText(nRow, nColumn, into);
    });
    PutOnClipboard(text);
}

// The headings, then every row in the list's order.
void CConsoleDlg::CopyWholeList()
{
    std::wstring text, cell;
    AppendCopiedLine(text, cell, &WidenHeading);
    const int nRows = m_listServices.GetItemCount();
    for (int nRow = 0; nRow < nRows; ++nRow)
        AppendCopiedLine(text, cell, [&](int nColumn, std::wstring& into) {
            m_listServices.GetItemText(nRow, nColumn, into);
        });
    PutOnClipboard(text);
}

// Another program holding the clipboard is no error worth a box: the copy beeps.
void CConsoleDlg::PutOnClipboard(const std::wstring& text)
{
    if (!CopyTextToClipboard(m_hWnd, text))
        ::MessageBeep(MB_OK);
}

LRESULT CConsoleDlg::OnDeferredWork(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    ActOnDeferredWork();
    return 0;
}

void CConsoleDlg::OnTimer(UINT_PTR nIDEvent)
{
    switch (nIDEvent) {
    case kFillRepaintTimer:
        RepaintDuringFill();
        break;
    case kDeferredWorkTimer:
        ActOnDeferredWork();
        break;
    default:
        Default();
        break;
    }
}

LRESULT CConsoleDlg::OnFirstScreenFilled(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    if (IsPassRunning())
        RepaintDuringFill();
    return 0;
}

// Shows what changed since the list was last shown. Once the view is full, rows arrive
// below it and only the scroll bar moves; the rows are repainted only when those in view
// change: a row arrived there, the user scrolled, or chose another row.
void CConsoleDlg::RepaintDuringFill()
{
    const ShownRows now = RowsNow();
    const bool bRowsInViewChanged = RowsInViewDiffer(now);
    const bool bHasScrollBar = (::GetWindowLongA(m_listServices.m_hWnd, GWL_STYLE) & WS_VSCROLL) != 0;
    if (!bRowsInViewChanged && now.nRows == m_shown.nRows)
        return;
    if (!bRowsInViewChanged && bHasScrollBar) {
        MoveScrollBar(now.nRows);
    } else {
        // Rows in view changed, or the scroll bars appear and the list lays itself out anew.
        ShowList(bRowsInViewChanged);
        m_listServices.SetRedraw(FALSE);
    }
    m_shown = RowsNow();
    // The pass may be between a row's insertion and its texts: the last row counts as
    // shown only once the next one begins, or the fill ends.
    m_shown.nRows = std::max(0, m_shown.nRows - 1);
}

CConsoleDlg::ShownRows CConsoleDlg::RowsNow() const
{
    ShownRows now;
    now.nRows = static_cast<int>(m_listServices.SendMessage(LVM_GETITEMCOUNT));
    now.nTop = static_cast<int>(m_listServices.SendMessage(LVM_GETTOPINDEX));
    now.nSelected = m_listServices.GetNextItem(-1, LVNI_SELECTED);
    now.nFocused = m_listServices.GetNextItem(-1, LVNI_FOCUSED);
    return now;
}

bool CConsoleDlg::RowsInViewDiffer(const ShownRows& now) const
{
    // The row below the last whole one shows in part.
    const int nLastInView = now.nTop + static_cast<int>(m_listServices.SendMessage(LVM_GETCOUNTPERPAGE));
    const bool bNewRowInView = now.nRows > m_shown.nRows && m_shown.nRows <= nLastInView;
    return bNewRowInView || now.nTop != m_shown.nTop || now.nSelected != m_shown.nSelected ||
           now.nFocused != m_shown.nFocused;
}

// The list sizes its scroll bars when its redraw comes back on, but also repaints every
// row and, under Wine, draws both scroll bars twice over: tens of milliseconds. With the
// window's own drawing suspended meanwhile, none of that reaches the screen, and only what
// changed is painted afterwards: the frame and the header if the scroll bars changed, the
// rows if those in view did, and whatever waited to be painted besides. The list's redraw
// is left on.
void CConsoleDlg::ShowList(bool bRowsInViewChanged)
{
    const HWND hList = m_listServices.m_hWnd;
    KeepUnpaintedArea();
    const FrameLook before = FrameOf(hList);
    ::DefWindowProcA(hList, WM_SETREDRAW, FALSE, 0);
    m_listServices.SetRedraw(TRUE);
    ::DefWindowProcA(hList, WM_SETREDRAW, TRUE, 0);

    if (!LooksAlike(FrameOf(hList), before))
        ::RedrawWindow(hList, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    if (bRowsInViewChanged)
        ::RedrawWindow(hList, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    else
        ::ValidateRect(hList, nullptr);  // what re-enabling the redraw may have invalidated
    ::RedrawWindow(hList, nullptr, m_rgnUnpainted.GetSafeHandle(), RDW_INVALIDATE | RDW_ERASE);
    m_rgnUnpainted.SetRectRgn(0, 0, 0, 0);
    ::RedrawWindow(hList, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// A list whose redraw is off paints nothing, and the system takes its paint as done all
// the same (under Wine the list's own paint says so; on Windows the redraw switch
// validates the window). What it was still to paint, such as the rows a refresh has just
// emptied, is kept for the next showing.
void CConsoleDlg::KeepUnpaintedArea()
{
    CRgn pending;
    if (pending.CreateRectRgn(0, 0, 0, 0) &&
        ::GetUpdateRgn(m_listServices.m_hWnd, pending.GetSafeHandle(), FALSE) > NULLREGION)
        m_rgnUnpainted.CombineRgn(m_rgnUnpainted.GetSafeHandle(), pending.GetSafeHandle(), RGN_OR);
}

// The scroll bar sized for nRows, as the list itself sizes it in report view. It is drawn
// only when that moves its thumb: once the thumb has shrunk to its least size, more rows
// below the view change nothing on screen.
void CConsoleDlg::MoveScrollBar(int nRows)
{
    const HWND hList = m_listServices.m_hWnd;
    const FrameLook before = FrameOf(hList);
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE;
    si.nMin = 0;
    si.nMax = nRows - 1;
    ::SetScrollInfo(hList, SB_VERT, &si, FALSE);
    if (!LooksAlike(FrameOf(hList).vertical, before.vertical))
        ::SetScrollInfo(hList, SB_VERT, &si, TRUE);
}

// ---- Commands and passes ----

bool CConsoleDlg::IsPassRunning() const { return m_runningPass != nullptr; }

std::shared_ptr<remote::CPassControl> CConsoleDlg::RunningPass() const { return m_runningPass; }

// A command never runs inside another one, nor while a pass writes rows: it would share
// their remote name, a refresh would empty the list under the pass, and any forced cancel
// (the pass's final one too) would cut the other's session. So a command chosen while one
// is under way (during its connect, its question or its error boxes, when another program
// can still click Run) or while a pass runs waits, holding the target it was chosen for,
// and runs from the console's own loop once nothing else is under way. Nothing here waits:
// a pass's end arrives as a posted message.
void CConsoleDlg::Choose(Command command)
{
    ChosenCommand chosen{command, std::make_unique<remote::CChosenTarget>(*this)};
    if (!m_bCommandUnderWay && !IsPassRunning() && m_pendingCommands.empty()) {
        RunCommand(std::move(chosen));
        return;
    }
    if (command == Command::Refresh) {
        // One refresh is enough: each would empty the list, connect and log on again (with
        // a wrong password, each failed logon counts towards the account's lockout). The
        // latest reads the boxes as the user left them, and goes where it was chosen, so
        // the list ends as the last Run asked. A running pass's rows are about to be
        // replaced: it is asked to stop. A start or stop lets the list finish, so that its
        // failure leaves the list whole.
        std::erase_if(m_pendingCommands,
                      [](const ChosenCommand& pending) { return pending.kind == Command::Refresh; });
        if (IsPassRunning())
            m_runningPass->RequestStop();
    }
    m_pendingCommands.push_back(std::move(chosen));
    PostMessage(WM_DEFERRED_WORK);
}

// Whether the console's own loop is the one running, so that deferred work may act as a
// click would. Not during a command. Not while a box or dialog is open over the console,
// which the system disables for as long as one is (ours, the About box). Not while this
// thread is in a menu or moves or sizes a window, nor while a window of ours holds the
// mouse (the list telling a click from a drag, a scroll thumb, a pressed button): acting
// there would run a command inside that loop. A handler that merely waits on the system,
// as Download Here does while the shell opens a page, holds none of these.
bool CConsoleDlg::IsFreeForDeferredWork() const
{
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    ::GetGUIThreadInfo(::GetCurrentThreadId(), &thread);
    const DWORD dwInputHeld = GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE | GUI_INMOVESIZE;
    return !m_bCommandUnderWay && ::IsWindowEnabled(m_hWnd) && !thread.hwndCapture &&
           !(thread.flags & dwInputHeld);
}

// The end of a pass, then the commands chosen meanwhile, in the order chosen, each waiting
// for the pass of the one before. Busy, the console looks again shortly.
void CConsoleDlg::ActOnDeferredWork()
{
    if (!IsFreeForDeferredWork()) {
        ::SetTimer(m_hWnd, kDeferredWorkTimer, kDeferredWorkRetryMs, nullptr);
        return;
    }
    ::KillTimer(m_hWnd, kDeferredWorkTimer);
    if (m_runningPass && m_runningPass->HasEnded())
        HandlePassEnd();
    while (!IsPassRunning() && !m_pendingCommands.empty()) {
        ChosenCommand next = std::move(m_pendingCommands.front());
        m_pendingCommands.pop_front();
        RunCommand(std::move(next));
    }
}

// The pass has released everything and said so: it writes through its target no more,
// and the list shows its last rows.
void CConsoleDlg::HandlePassEnd()
{
    m_runningPass.reset();
    m_passTarget.reset();
    EndFill();
}

void CConsoleDlg::RunCommand(ChosenCommand command)
{
    const HWND hWnd = m_hWnd;
    // Runs on the pass's thread; a post to a window that is gone simply fails.
    remote::PassEndedCallback onEnded = [hWnd] { ::PostMessageA(hWnd, WM_DEFERRED_WORK, 0, 0); };
    remote::IServiceConsole& target = *command.target;

    std::shared_ptr<remote::CPassControl> pass;
    {
        const CUnderWayScope underWay(m_bCommandUnderWay);
        // The connect of a refresh, and the whole of a start or stop, block this thread.
        const CWaitCursorScope waitCursor;
        switch (command.kind) {
        case Command::Refresh:
            pass = remote::RefreshServiceList(target, m_platform, std::move(onEnded));
            break;
        case Command::Start:
            pass = remote::StartSelectedService(target, m_platform, std::move(onEnded));
            break;
        case Command::Stop:
            pass = remote::StopSelectedService(target, m_platform, std::move(onEnded));
            break;
        }
    }
    command.target->WipePassword();
    if (!pass)
        return;

    // The new pass is a refresh, whatever asked for one, and writes its rows through the
    // command's target, which therefore lives as long as the pass. No pass ran before it,
    // so no live pass's target is replaced. Its first row can only be written once this
    // thread reads messages again, so the fill starts in time.
    m_runningPass = std::move(pass);
    m_passTarget = std::move(command.target);
    BeginFill();
    // A Run chosen while this command was under way replaces the rows about to come.
    if (IsRefreshPending())
        m_runningPass->RequestStop();
}

bool CConsoleDlg::IsRefreshPending() const
{
    return std::any_of(m_pendingCommands.begin(), m_pendingCommands.end(),
                       [](const ChosenCommand& pending) { return pending.kind == Command::Refresh; });
}

// A list that repaints after every inserted row takes milliseconds a row; with its
// redraw suspended it takes microseconds, and the timer still shows rows arriving.
void CConsoleDlg::BeginFill()
{
    KeepUnpaintedArea();
    m_shown = RowsNow();
    m_nRowsInView.store(static_cast<int>(m_listServices.SendMessage(LVM_GETCOUNTPERPAGE)) + 1);
    m_listServices.SetRedraw(FALSE);
    ::SetTimer(m_hWnd, kFillRepaintTimer, kFillRepaintMs, nullptr);
}

void CConsoleDlg::EndFill()
{
    m_nRowsInView.store(0);
    ::KillTimer(m_hWnd, kFillRepaintTimer);
    ShowList(RowsInViewDiffer(RowsNow()));
}
