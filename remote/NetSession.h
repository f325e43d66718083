// Opens and cancels the authenticated IPC$ session to a remote computer.
#pragma once

#include <cstdint>

#include "remote/PlatformOps.h"

namespace remote {

class CNetSession {
public:
    explicit CNetSession(IPlatformOps& platform) : m_platform(platform) {}
    // Destroying a session object never cancels the connection: only Disconnect does.
    virtual ~CNetSession() = default;

    // Connects to \\host\share. Null user and password mean the caller's own logon.
    bool Connect(const char* host, const char* share, const char* user, const char* password,
                 std::uint32_t flags);
    // Cancels \\host\share, whichever CNetSession connected it.
    bool Disconnect(const char* host, const char* share, std::uint32_t flags, bool force);

private:
    // The remote name's buffer size, the system path limit, terminator included.
    static constexpr std::size_t kRemoteNameSize = 260;

    static bool BuildRemoteName(char (&name)[kRemoteNameSize], const char* host,
                                const char* share);

    IPlatformOps& m_platform;
};

}  // namespace remote
