// The About box: two link lines; OK ends it through the dialog's default.
#include "console/AboutDlg.h"

#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ABOUT_WEB, m_webLink);
    DDX_Control(pDX, IDC_ABOUT_NOTICE, m_noticeLink);
}
