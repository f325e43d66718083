// The refresh of the service list and its background enumeration pass.
#include "remote/Refresh.h"

#include <cstring>
#include <string>

#include "remote/NetSession.h"
#include "remote/RemoteCommand.h"

namespace remote {

const char* ServiceStateText(std::uint32_t state)
{
    switch (state) {
    case 1: return "Stopped";
    case 2: return "Start Pending";
    case 3: return "Stop Pending";
    case 4: return "Service Running";
    case 5: return "Continue Pending";
    case 6: return "Pause Pending";
    case 7: return "Paused";
    default: return "";
    }
}

void CPassControl::Abandon()
{
    RequestStop();
    CancelSession();
}

void CPassControl::CancelSession()
{
    if (m_bSessionCancelled.exchange(true))
        return;
    CNetSession session(m_platform);
    DisconnectIpc(session, m_strHost);
}

std::shared_ptr<CPassControl> RefreshServiceList(IServiceConsole& console, IPlatformOps& platform,
                                                 PassEndedCallback onEnded)
{
    RemoteTarget target = console.PullRemoteTarget();
    console.DeleteAllItems();

    const bool bCurrentCredential = console.IsCurrentCredential();
    CNetSession session(platform);
    const bool bConnected = ConnectIpc(session, bCurrentCredential, target);
    CCredentialToken token(platform);
    if (bConnected && !bCurrentCredential)
        token.LogOn(target);
    WipeText(target.strPassword);
    if (!bConnected) {
        console.AfxMessageBox(kRemoteAuthenticationFailed, kMbOk);
        return nullptr;
    }

    // The session is ours to cancel until a pass has taken it over, whatever goes wrong.
    try {
        auto control = std::make_shared<CPassControl>(platform, target.strHost);
        auto param = std::make_unique<CPassParam>(CPassParam{
            &console, &platform, target.strHost, std::move(token), control, std::move(onEnded)});
        if (!console.AfxBeginThread(&EnumerateServicesProc, param.get())) {
            DisconnectIpc(session, target.strHost);
            return nullptr;
        }
        // From here the pass owns its record and cancels the session when it ends.
        param.release();
        return control;
    } catch (...) {
        DisconnectIpc(session, target.strHost);
        throw;
    }
}

// One pass's work between taking its parameter and releasing what it acquired.
// The destructor is the pass's single end: buffer, handle, logon, session, in that order.
class CEnumerationPass {
public:
    explicit CEnumerationPass(CPassParam& param)
        : m_console(*param.pConsole), m_platform(*param.pPlatform), m_strHost(param.strHost),
          m_token(param.token), m_control(*param.control)
    {
    }
    CEnumerationPass(const CEnumerationPass&) = delete;
    CEnumerationPass& operator=(const CEnumerationPass&) = delete;

    ~CEnumerationPass()
    {
        if (m_pBuffer)
            m_platform.LocalFree(m_pBuffer);
        if (m_hManager)
            m_platform.CloseServiceHandle(m_hManager);
        m_token.Release();
        m_control.CancelSession();
    }

    void Run()
    {
        if (Stopped())
            return;
        m_token.Impersonate();
        m_hManager = m_platform.OpenSCManagerA(m_strHost.c_str(), nullptr,
                                               kScManagerEnumerateService);
        // Said, not silent: an empty list would read as a computer with no services, and
        // a refused manager (no rights, remote UAC, a firewall) is the commonest answer.
        if (!m_hManager)
            return Fail(kFailedToOpenManager);

        if (Stopped())
            return;
        std::uint32_t needed = 0, returned = 0, resume = 0;
        // Only the last-error code tells whether the size query found services.
        m_platform.EnumServicesStatusA(m_hManager, kServiceWin32AndDriver, kServiceStateAll,
                                       nullptr, 0, &needed, &returned, &resume);
        if (m_platform.GetLastError() != kErrorMoreData)
            return Fail();

        m_pBuffer = m_platform.LocalAllocZeroed(needed);
        if (!m_pBuffer)
            return Fail();

        if (Stopped())
            return;
        // A successful data call may set needed to zero, so the buffer's size is kept apart.
        const std::uint32_t bufferSize = needed;
        resume = 0;
        if (!m_platform.EnumServicesStatusA(m_hManager, kServiceWin32AndDriver,
                                            kServiceStateAll, m_pBuffer, bufferSize, &needed,
                                            &returned, &resume))
            return Fail();

        // A count beyond what the buffer can hold is no answer at all: the slots past the
        // records actually written hold their texts, so none of it is listed.
        const std::uint32_t capacity = bufferSize / sizeof(EnumServiceStatus);
        if (returned > capacity)
            return Fail();
        const auto* records = static_cast<const EnumServiceStatus*>(m_pBuffer);
        // Likewise a record whose text lies outside the answer, or runs past its end:
        // following it would read memory that is not the answer's.
        for (std::uint32_t i = 0; i < returned; ++i)
            if (!IsTextInBuffer(records[i].lpServiceName, bufferSize) ||
                !IsTextInBuffer(records[i].lpDisplayName, bufferSize))
                return Fail();
        WriteRows(records, returned);
    }

private:
    bool Stopped() const { return m_control.IsStopRequested(); }

    void Fail(const char* text = kEnumerationFailed)
    {
        if (!Stopped())
            m_console.AfxMessageBox(text, kMbOk);
    }

    void WriteRows(const EnumServiceStatus* records, std::uint32_t count)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (Stopped())
                return;
            const EnumServiceStatus& record = records[i];
            const int row = static_cast<int>(i);
            m_console.InsertItem(row, std::to_string(row));
            m_console.SetItemText(row, 1, TextOrEmpty(record.lpServiceName));
            m_console.SetItemText(row, 2, TextOrEmpty(record.lpDisplayName));
            m_console.SetItemText(row, 3, ServiceStateText(record.ServiceStatus.dwCurrentState));
        }
    }

    // A record with a missing text shows an empty cell rather than crashing the pass.
    static std::string TextOrEmpty(const char* text) { return text ? text : ""; }

    // Null, or a terminated text wholly inside the buffer. Compared as numbers: the
    // pointer may point anywhere at all.
    bool IsTextInBuffer(const char* text, std::uint32_t bufferSize) const
    {
        if (!text)
            return true;
        const auto begin = reinterpret_cast<std::uintptr_t>(m_pBuffer);
        const auto at = reinterpret_cast<std::uintptr_t>(text);
        if (at < begin || at - begin >= bufferSize)
            return false;
        return std::memchr(text, '\0', bufferSize - (at - begin)) != nullptr;
    }

    IServiceConsole& m_console;
    IPlatformOps& m_platform;
    const std::string& m_strHost;
    CCredentialToken& m_token;
    CPassControl& m_control;
    ScHandle m_hManager = nullptr;
    void* m_pBuffer = nullptr;
};

unsigned EnumerateServicesProc(void* param)
{
    std::unique_ptr<CPassParam> pass(static_cast<CPassParam*>(param));
    // A pass ends whatever happens in it: one that ran out of memory writing a row keeps
    // the rows it wrote, and still releases everything and says it has ended.
    try {
        CEnumerationPass enumeration(*pass);
        enumeration.Run();
    } catch (...) {
    }
    // Everything the pass acquired is released; now it lets go of its record and says so.
    const std::shared_ptr<CPassControl> control = std::move(pass->control);
    const PassEndedCallback onEnded = std::move(pass->onEnded);
    pass.reset();
    control->m_bEnded.store(true);
    if (onEnded)
        onEnded();
    return 0;
}

}  // namespace remote
