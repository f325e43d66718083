// The target of a command as it stood when the user chose the command.
#pragma once

#include <string>

#include "remote/ServiceConsole.h"

namespace remote {

// The console as the user left it when choosing a command: the remote target, the
// credential mode and the selected row's service name are read at once, so that a command
// that runs later (once the pass it waited for has ended) acts on exactly what the user
// chose, whatever was typed or clicked meanwhile. The list, the message box and the worker
// thread are the console's own.
class CChosenTarget final : public IServiceConsole {
public:
    explicit CChosenTarget(IServiceConsole& console);
    ~CChosenTarget() override;
    CChosenTarget(const CChosenTarget&) = delete;
    CChosenTarget& operator=(const CChosenTarget&) = delete;

    // Once the command has connected, nothing needs the password any more.
    void WipePassword();

    // As chosen: the target, the mode, the selected row and its service name. A row whose
    // service name was not written yet counts as none.
    RemoteTarget PullRemoteTarget() override;
    bool IsCurrentCredential() override;
    int GetNextItem(int start, unsigned flags) override;
    std::string GetItemText(int item, int subItem) override;

    // The console's own, at the moment they are called.
    void DeleteAllItems() override;
    void InsertItem(int item, const std::string& text) override;
    void SetItemText(int item, int subItem, const std::string& text) override;
    int AfxMessageBox(const std::string& text, unsigned style) override;
    bool AfxBeginThread(ThreadProc proc, void* param) override;

private:
    IServiceConsole& m_console;
    RemoteTarget m_target;
    bool m_bCurrentCredential;
    int m_nSelectedRow;
    std::string m_strServiceName;  // of the selected row, when there is one
};

}  // namespace remote
