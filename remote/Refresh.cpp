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
        if (m_platform.GetLastError() != kErrorMoreData || !Allocate(needed))
            return Fail();

        // A remote manager answers at most 256 KB a call: the records that fit, with
        // ERROR_MORE_DATA and a resume index to go on from. Every call either lists a
        // record and moves the index forward, or grows the buffer, once, so the pass
        // ends; it also stops between calls when asked.
        resume = 0;
        bool bGrown = false;
        for (;;) {
            if (Stopped())
                return;
            const std::uint32_t from = resume;
            const bool bLast = m_platform.EnumServicesStatusA(
                m_hManager, kServiceWin32AndDriver, kServiceStateAll, m_pBuffer, m_nBufferSize,
                &needed, &returned, &resume);
            if (!bLast && m_platform.GetLastError() != kErrorMoreData)
                return Fail();
            if (!bLast && returned == 0) {
                // The next record does not fit: a buffer of the size asked for, or failure.
                if (bGrown || needed <= m_nBufferSize || !Allocate(needed))
                    return Fail();
                bGrown = true;
                resume = from;
                continue;
            }
            if (!IsReadable(returned) || (!bLast && resume <= from))
                return Fail();
            WriteRows(static_cast<const EnumServiceStatus*>(m_pBuffer), returned);
            if (bLast)
                return;
        }
    }

private:
    bool Stopped() const { return m_control.IsStopRequested(); }

    void Fail(const char* text = kEnumerationFailed)
    {
        if (!Stopped())
            m_console.AfxMessageBox(text, kMbOk);
    }

    // A zero-filled buffer of that size in place of the one held, if any; false, with
    // the old one kept, when none can be had.
    bool Allocate(std::uint32_t bytes)
    {
        void* pBuffer = m_platform.LocalAllocZeroed(bytes);
        if (!pBuffer)
            return false;
        if (m_pBuffer)
            m_platform.LocalFree(m_pBuffer);
        m_pBuffer = pBuffer;
        m_nBufferSize = bytes;
        return true;
    }

    // A count beyond what the buffer can hold is no answer at all: the slots past the
    // records actually written hold their texts. Likewise a record whose text lies
    // outside the answer, or runs past its end: following it would read memory that is
    // not the answer's. Either way none of the answer is listed.
    bool IsReadable(std::uint32_t count) const
    {
        if (count > m_nBufferSize / sizeof(EnumServiceStatus))
            return false;
        const auto* records = static_cast<const EnumServiceStatus*>(m_pBuffer);
        for (std::uint32_t i = 0; i < count; ++i)
            if (!IsTextInBuffer(records[i].lpServiceName) ||
                !IsTextInBuffer(records[i].lpDisplayName))
                return false;
        return true;
    }

    // Rows go on from where the last call's ended: the position counts across calls.
    void WriteRows(const EnumServiceStatus* records, std::uint32_t count)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (Stopped())
                return;
            const EnumServiceStatus& record = records[i];
            const int row = m_nNextRow++;
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
    bool IsTextInBuffer(const char* text) const
    {
        if (!text)
            return true;
        const auto begin = reinterpret_cast<std::uintptr_t>(m_pBuffer);
        const auto at = reinterpret_cast<std::uintptr_t>(text);
        if (at < begin || at - begin >= m_nBufferSize)
            return false;
        return std::memchr(text, '\0', m_nBufferSize - (at - begin)) != nullptr;
    }

    IServiceConsole& m_console;
    IPlatformOps& m_platform;
    const std::string& m_strHost;
    CCredentialToken& m_token;
    CPassControl& m_control;
    ScHandle m_hManager = nullptr;
    void* m_pBuffer = nullptr;
    // Kept apart from the calls' needed count, which a successful call may set to zero.
    std::uint32_t m_nBufferSize = 0;
    int m_nNextRow = 0;
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
