// The loopback test bed as the driver sees it: the provider's log of sessions, and the
// bed's service manager, asked directly so the product's view can be checked against it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testbed/BedNetwork.h"

namespace testbed {

// The bed plays the remote computer on this machine: its manager answers this host.
inline constexpr char kBedHost[] = "127.0.0.1";

// One row of the service list: position, service name, display name, state text.
struct ListRow {
    std::string strPosition;
    std::string strName;
    std::string strDisplayName;
    std::string strState;

    bool operator==(const ListRow&) const = default;
};

// What EnumServicesStatusA on the bed returns, in its order, as the list should show it.
std::vector<ListRow> BedEnumeration();

// One provider call, from a line of the log.
struct ProviderCall {
    DWORD pid = 0;
    std::string strOp;      // "connect" or "cancel"
    std::string strRemote;  // the remote name as the provider received it
    std::string strUser;    // text, empty, or "<null>"
    std::string strPassword;  // "null", "empty" or "given"
    long result = -1;
};

// The provider log from the moment this object was made: only lines added since then
// are read, so earlier runs and earlier tests never count.
class CProviderLog {
public:
    CProviderLog();

    // Every whole line added since construction, in order.
    std::vector<ProviderCall> Calls();
    // Those of one process.
    std::vector<ProviderCall> CallsOf(DWORD pid);

private:
    void ReadNewLines();

    std::uint64_t m_offset = 0;
    std::vector<ProviderCall> m_calls;
};

// How the sessions of one process went, per remote name: sessions opened (connects
// that succeeded), cancels, and the most sessions of one name open at one moment.
struct SessionTally {
    int nConnects = 0;
    int nOpened = 0;
    int nCancels = 0;
    int nMostOpenAtOnce = 0;
    bool bCancelWithoutSession = false;
};
std::vector<std::pair<std::string, SessionTally>> TallySessions(
    const std::vector<ProviderCall>& calls);

// Text of the tally and the calls, for failure messages.
std::string Describe(const std::vector<ProviderCall>& calls);

// The bed's services, through its own service manager (127.0.0.1 in this prefix).
namespace bed {

DWORD State(const char* name);  // SERVICE_STOPPED ... or 0 when it cannot be read
void Start(const char* name);   // throws when the service does not start
// Ends a running service whatever it accepts: the bed's services all end on control 200.
void Quit(const char* name);
// Waits until the service has the state; throws with the last state seen.
void WaitForState(const char* name, DWORD state, DWORD timeoutMs);
// Leaves the service stopped, waiting for a stop already under way.
void EnsureStopped(const char* name);

// A service whose names no legacy code page holds, made with the wide calls for as long
// as this lives (so the bed's own services stay as they are), then ended and removed.
inline constexpr wchar_t kUnicodeServiceName[] = L"Дозор";
inline constexpr wchar_t kUnicodeServiceDisplayName[] = L"Дозор 守望 Φύλακας";
class CUnicodeService {
public:
    CUnicodeService();
    ~CUnicodeService();
    CUnicodeService(const CUnicodeService&) = delete;
    CUnicodeService& operator=(const CUnicodeService&) = delete;
};

// Makes the bed's share a slow remote computer: each connect to it waits this long before
// its answer; 0 makes it answer at once again.
void SetConnectDelay(DWORD milliseconds);

}  // namespace bed

}  // namespace testbed
