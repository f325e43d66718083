// Filling the service list: the refresh on the user-interface thread and the
// enumeration pass on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "remote/Credentials.h"
#include "remote/PlatformOps.h"
#include "remote/ServiceConsole.h"

namespace remote {

// Shared by a running pass and whoever started it. The owner may ask the pass to
// stop; the pass says when it has ended. Neither side ever waits for the other.
class CPassControl {
public:
    CPassControl(IPlatformOps& platform, std::string strHost)
        : m_platform(platform), m_strHost(std::move(strHost))
    {
    }
    CPassControl(const CPassControl&) = delete;
    CPassControl& operator=(const CPassControl&) = delete;

    // Called by the owner; the pass then writes no further rows and shows no message,
    // but still releases everything it holds.
    void RequestStop() { m_bStopRequested.store(true); }
    bool IsStopRequested() const { return m_bStopRequested.load(); }
    // True once the pass has released everything, its session included.
    bool HasEnded() const { return m_bEnded.load(); }
    // For an owner that cannot wait for the pass to end (the program is ending): asks it
    // to stop and cancels its session now, from the owner's thread, so that the session
    // goes even if the pass is stuck in a remote call.
    void Abandon();

private:
    friend unsigned EnumerateServicesProc(void* param);
    friend class CEnumerationPass;

    // The pass's session is cancelled exactly once, by the pass at its end or by Abandon,
    // whichever comes first: a second forced cancel could cut a later command's session.
    void CancelSession();

    IPlatformOps& m_platform;
    const std::string m_strHost;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bSessionCancelled{false};
    std::atomic<bool> m_bEnded{false};
};

// Runs on the pass's thread as its very last act, after everything is released.
// It must not block: the window's side posts itself a message.
using PassEndedCallback = std::function<void()>;

// The pass parameter record: made by RefreshServiceList, owned by the pass from the
// moment its thread starts, freed by the pass when it ends. The token is the typed
// account's logon, made next to the session; the password itself never reaches the pass.
struct CPassParam {
    IServiceConsole* pConsole;
    IPlatformOps* pPlatform;
    std::string strHost;
    CCredentialToken token;
    std::shared_ptr<CPassControl> control;
    PassEndedCallback onEnded;
};

// Empties the list, connects, and starts a pass. Returns the control of the pass it
// started, or null when none was started (the failure, if any, was shown).
std::shared_ptr<CPassControl> RefreshServiceList(IServiceConsole& console, IPlatformOps& platform,
                                                 PassEndedCallback onEnded = {});

// The pass's thread procedure; param is a CPassParam, which it frees. Returns 0.
unsigned EnumerateServicesProc(void* param);

// The State column's text for a SERVICE_STATUS current-state code.
const char* ServiceStateText(std::uint32_t state);

inline constexpr char kEnumerationFailed[] = "Enumeration Services Failed!";

}  // namespace remote
