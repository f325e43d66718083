// What every remote command shares: the IPC$ share, its messages, and connecting
// with the credentials that the console's radio buttons select.
#pragma once

#include <string>

#include "remote/NetSession.h"
#include "remote/ServiceConsole.h"

namespace remote {

inline constexpr char kIpcShare[] = "ipc$";
inline constexpr char kRemoteAuthenticationFailed[] = "Remote Authentication Failed!";
inline constexpr char kFailedToOpenManager[] = "Failed to Open SC Manager!";

// Connects to the target's IPC$ share: null credentials for the current logon,
// otherwise the typed user name and password exactly as they are, even when empty.
inline bool ConnectIpc(CNetSession& session, bool bCurrentCredential, const RemoteTarget& target)
{
    if (bCurrentCredential)
        return session.Connect(target.strHost.c_str(), kIpcShare, nullptr, nullptr, 0);
    return session.Connect(target.strHost.c_str(), kIpcShare, target.strUserName.c_str(),
                           target.strPassword.c_str(), 0);
}

// Overwrites a copy of a secret before it is let go, so that it does not linger in memory
// that is freed or reused; volatile, so the writes are not dropped as dead.
inline void WipeText(std::string& text)
{
    volatile char* chars = text.data();
    for (std::size_t i = 0; i < text.size(); ++i)
        chars[i] = '\0';
    text.clear();
}

// Forced, so that the session goes even while something still uses it.
inline void DisconnectIpc(CNetSession& session, const std::string& host)
{
    session.Disconnect(host.c_str(), kIpcShare, kConnectUpdateProfile, true);
}

}  // namespace remote
