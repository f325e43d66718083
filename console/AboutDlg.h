// The About box, opened from the console's system menu.
#pragma once

#include "controls/LinkControls.h"
#include "framework/Afx.h"

class CAboutDlg : public CDialog {
public:
    // The links open their address through platform, which outlives the box.
    explicit CAboutDlg(remote::IPlatformOps& platform);

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()

private:
    CTextLink m_webLink;
    CTextLink m_noticeLink;
};
