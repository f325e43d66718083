// Static controls that behave as web links: the banner picture and the blue,
// underlined text lines. Each takes over a control of a dialog template.
#pragma once

#include <string>

#include "framework/Afx.h"
#include "remote/PlatformOps.h"

// The banner: a hand over it, and a click opens the home page.
class CPictureLink : public CStatic {
public:
    // The platform opens the address; it outlives the control.
    explicit CPictureLink(remote::IPlatformOps& platform);
    ~CPictureLink() override;

    // An empty address makes a click open the control's own text.
    void SetUrl(const char* pszUrl);

    // Called once, when the dialog opens: the control takes rcPlace (in the dialog's
    // client coordinates) with its edge, and its picture the client area inside the edge.
    // A picture of that size already is shown as it is; otherwise a resampled copy.
    void FitPicture(const RECT& rcPlace);

protected:
    BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message);
    void OnLButtonDown(UINT nFlags, POINT point);

    DECLARE_MESSAGE_MAP()

private:
    HCURSOR m_hCursor = nullptr;  // shared resource: never freed
    std::string m_strUrl;
    remote::IPlatformOps& m_platform;
    CBitmap m_bmpFitted;             // the resampled copy the control shows, if any
    HBITMAP m_hOriginal = nullptr;   // the picture the control loaded itself, never freed here
};

// The colour a text link draws its text in: its own, or the theme's link colour while the
// high-contrast flags (as SPI_GETHIGHCONTRAST gives them) say high contrast is on.
COLORREF LinkTextColour(COLORREF crOwn, DWORD dwHighContrastFlags);

// A text line: blue, underlined, a hand over it, and a click opens the download page
// whatever the line says.
class CTextLink : public CStatic {
public:
    // The platform opens the address; it outlives the control.
    explicit CTextLink(remote::IPlatformOps& platform);
    ~CTextLink() override;

protected:
    // Gives the control an underlined copy of its font, owned by this object.
    void PreSubclassWindow() override;

    HBRUSH CtlColor(HDC hDC, UINT nCtlColor);
    LRESULT OnNcHitTest(POINT point);
    BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message);
    void OnLButtonDown(UINT nFlags, POINT point);

    DECLARE_MESSAGE_MAP()

private:
    COLORREF m_crText;
    HCURSOR m_hCursor = nullptr;  // shared resource: never freed
    std::string m_strUrl;
    CFont m_fontUnderline;
    remote::IPlatformOps& m_platform;
};
