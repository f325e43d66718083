// The About box: two link lines; OK ends it through the dialog's default.
#include "console/AboutDlg.h"

#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(remote::IPlatformOps& platform)
    : CDialog(IDD_ABOUTBOX), m_webLink(platform), m_noticeLink(platform)
{
}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ABOUT_WEB, m_webLink);
    DDX_Control(pDX, IDC_ABOUT_NOTICE, m_noticeLink);
}
