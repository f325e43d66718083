// CChosenTarget: what a command reads of the console, read when the command was chosen.
#include "remote/ChosenTarget.h"

#include "remote/RemoteCommand.h"

namespace remote {

CChosenTarget::CChosenTarget(IServiceConsole& console)
    : m_console(console),
      m_target(console.PullRemoteTarget()),
      m_bCurrentCredential(console.IsCurrentCredential()),
      m_nSelectedRow(console.GetNextItem(-1, kLvniSelected))
{
    if (m_nSelectedRow != -1)
        m_strServiceName = console.GetItemText(m_nSelectedRow, 1);
    // A pass inserts a row before it writes its texts; a row chosen in between names no
    // service yet, and every service has a name.
    if (m_strServiceName.empty())
        m_nSelectedRow = -1;
}

CChosenTarget::~CChosenTarget() { WipePassword(); }

void CChosenTarget::WipePassword() { WipeText(m_target.strPassword); }

RemoteTarget CChosenTarget::PullRemoteTarget() { return m_target; }

bool CChosenTarget::IsCurrentCredential() { return m_bCurrentCredential; }

// The commands ask only for the first selected row.
int CChosenTarget::GetNextItem(int /*start*/, unsigned /*flags*/) { return m_nSelectedRow; }

std::string CChosenTarget::GetItemText(int item, int subItem)
{
    if (item == m_nSelectedRow && subItem == 1)
        return m_strServiceName;
    return m_console.GetItemText(item, subItem);
}

void CChosenTarget::DeleteAllItems() { m_console.DeleteAllItems(); }

void CChosenTarget::InsertItem(int item, const std::string& text)
{
    m_console.InsertItem(item, text);
}

void CChosenTarget::SetItemText(int item, int subItem, const std::string& text)
{
    m_console.SetItemText(item, subItem, text);
}

int CChosenTarget::AfxMessageBox(const std::string& text, unsigned style)
{
    return m_console.AfxMessageBox(text, style);
}

bool CChosenTarget::AfxBeginThread(ThreadProc proc, void* param)
{
    return m_console.AfxBeginThread(proc, param);
}

}  // namespace remote
