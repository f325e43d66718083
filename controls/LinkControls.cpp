// The link controls: hand cursor, colours, underlined font, and opening the address.
#include "controls/LinkControls.h"

#include "controls/LinkAddresses.h"
#include "controls/Resample.h"
#include "resources/resource.h"

namespace {

HCURSOR LoadHandCursor()
{
    return ::LoadCursorA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDC_LINK_HAND));
}

// A link without an address of its own stands for the address it shows.
void OpenLink(const CWnd& link, std::string& strUrl, remote::IPlatformOps& platform)
{
    if (strUrl.empty())
        strUrl = link.GetWindowText();
    platform.ShellExecuteA("open", strUrl.c_str(), remote::kSwShowNormal);
}

// The hand while over a link; without one, whatever the control shows by itself.
BOOL ShowLinkCursor(CWnd& link, HCURSOR hCursor)
{
    if (!hCursor)
        return static_cast<BOOL>(link.Default());
    ::SetCursor(hCursor);
    return TRUE;
}

}  // namespace

// ---- CPictureLink ----

BEGIN_MESSAGE_MAP(CPictureLink, CStatic)
    ON_WM_SETCURSOR()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CPictureLink::CPictureLink(remote::IPlatformOps& platform) : m_platform(platform)
{
    SetUrl(kHomePageUrl);
    m_hCursor = LoadHandCursor();
}

// A control that outlives this object gets its own picture back before the copy goes.
CPictureLink::~CPictureLink()
{
    if (m_hWnd && ::IsWindow(m_hWnd) && m_bmpFitted.GetSafeHandle())
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_hOriginal));
}

void CPictureLink::SetUrl(const char* pszUrl) { m_strUrl = pszUrl ? pszUrl : ""; }

// The template's place holds the picture and the edge exactly at 96 DPI. At another
// scale the place grows or shrinks with the dialog's font, while the control shrank to
// its picture when it loaded it: resampled once here, the picture fills it smoothly.
void CPictureLink::FitPicture(const RECT& rcPlace)
{
    const auto hPicture = reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
    BITMAP bm = {};
    if (m_bmpFitted.GetSafeHandle() || !hPicture || !::GetObjectA(hPicture, sizeof bm, &bm))
        return;
    const int cxPlace = rcPlace.right - rcPlace.left;
    const int cyPlace = rcPlace.bottom - rcPlace.top;
    // The edge is what the window has beyond its client area.
    RECT rcWindow = {};
    RECT rcClient = {};
    ::GetWindowRect(m_hWnd, &rcWindow);
    GetClientRect(&rcClient);
    const int cx = cxPlace - ((rcWindow.right - rcWindow.left) - rcClient.right);
    const int cy = cyPlace - ((rcWindow.bottom - rcWindow.top) - rcClient.bottom);
    if (cx > 0 && cy > 0 && (cx != bm.bmWidth || cy != bm.bmHeight) &&
        m_bmpFitted.Attach(ResampleBitmap(hPicture, cx, cy))) {
        m_hOriginal = reinterpret_cast<HBITMAP>(SendMessage(
            STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpFitted.GetSafeHandle())));
    }
    // A new picture resizes the control to it: the place is taken after.
    ::SetWindowPos(m_hWnd, nullptr, rcPlace.left, rcPlace.top, cxPlace, cyPlace,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CPictureLink::OnSetCursor(HWND /*hWnd*/, UINT /*nHitTest*/, UINT /*message*/)
{
    return ShowLinkCursor(*this, m_hCursor);
}

void CPictureLink::OnLButtonDown(UINT /*nFlags*/, POINT /*point*/)
{
    OpenLink(*this, m_strUrl, m_platform);
    Default();
}

// ---- CTextLink ----

BEGIN_MESSAGE_MAP(CTextLink, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_NCHITTEST()
    ON_WM_SETCURSOR()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CTextLink::CTextLink(remote::IPlatformOps& platform)
    : m_crText(RGB(0, 0, 255)), m_hCursor(LoadHandCursor()), m_strUrl(kDownloadPageUrl),
      m_platform(platform)
{
}

// A control that outlives this object must not keep drawing with the font that goes
// with it: it gets its dialog's font back.
CTextLink::~CTextLink()
{
    if (m_hWnd && ::IsWindow(m_hWnd) && m_fontUnderline.GetSafeHandle()) {
        const LRESULT dialogFont = ::SendMessageA(::GetParent(m_hWnd), WM_GETFONT, 0, 0);
        ::SendMessageA(m_hWnd, WM_SETFONT, static_cast<WPARAM>(dialogFont), FALSE);
    }
}

void CTextLink::PreSubclassWindow()
{
    // A control that was never given a font draws with the system font, so that is the
    // font to underline; without a readable description the control keeps its font.
    HGDIOBJ hFont = reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT));
    if (!hFont)
        hFont = ::GetStockObject(SYSTEM_FONT);
    LOGFONTA logFont = {};
    if (::GetObjectA(hFont, sizeof logFont, &logFont) > 0) {
        logFont.lfUnderline = TRUE;
        if (m_fontUnderline.CreateFontIndirect(&logFont))
            SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_fontUnderline.GetSafeHandle()), TRUE);
    }
    CStatic::PreSubclassWindow();
}

// A fixed blue can vanish on a high-contrast theme's background; the theme's own link
// colour is chosen to be read on it.
COLORREF LinkTextColour(COLORREF crOwn, DWORD dwHighContrastFlags)
{
    return (dwHighContrastFlags & HCF_HIGHCONTRASTON) ? ::GetSysColor(COLOR_HOTLIGHT) : crOwn;
}

// Transparent text on the hollow brush: the dialog's own background shows around it. The
// setting is read at every paint, so a theme switched meanwhile shows at the next one.
HBRUSH CTextLink::CtlColor(HDC hDC, UINT /*nCtlColor*/)
{
    HIGHCONTRASTA highContrast = {sizeof highContrast, 0, nullptr};
    if (!::SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0))
        highContrast.dwFlags = 0;
    ::SetTextColor(hDC, LinkTextColour(m_crText, highContrast.dwFlags));
    ::SetBkMode(hDC, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

// A static without SS_NOTIFY is transparent to the mouse; a link must not be.
LRESULT CTextLink::OnNcHitTest(POINT /*point*/) { return HTCLIENT; }

BOOL CTextLink::OnSetCursor(HWND /*hWnd*/, UINT /*nHitTest*/, UINT /*message*/)
{
    return ShowLinkCursor(*this, m_hCursor);
}

void CTextLink::OnLButtonDown(UINT /*nFlags*/, POINT /*point*/)
{
    OpenLink(*this, m_strUrl, m_platform);
    Default();
}
