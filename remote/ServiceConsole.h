// What the remote logic needs of the console window, and nothing more.
#pragma once

#include <string>

namespace remote {

constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbIconHand = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr unsigned kLvniSelected = 0x0002;

// The three edit boxes as the last data exchange copied them.
struct RemoteTarget {
    std::string strHost;
    std::string strUserName;
    std::string strPassword;
};

// A worker thread's entry point; returns the thread's exit code.
using ThreadProc = unsigned (*)(void* param);

class IServiceConsole {
public:
    virtual ~IServiceConsole() = default;

    virtual RemoteTarget PullRemoteTarget() = 0;
    virtual bool IsCurrentCredential() = 0;
    virtual void DeleteAllItems() = 0;
    virtual void InsertItem(int item, const std::string& text) = 0;
    virtual void SetItemText(int item, int subItem, const std::string& text) = 0;
    virtual int GetNextItem(int start, unsigned flags) = 0;
    virtual std::string GetItemText(int item, int subItem) = 0;
    virtual int AfxMessageBox(const std::string& text, unsigned style) = 0;
    // False when no thread was started; the parameter then stays with the caller.
    virtual bool AfxBeginThread(ThreadProc proc, void* param) = 0;
};

}  // namespace remote
