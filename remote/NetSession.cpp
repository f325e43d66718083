// The IPC$ session: the remote name and the two network-provider calls.
#include "remote/NetSession.h"

#include <cstring>

namespace remote {

bool CNetSession::BuildRemoteName(char (&name)[kRemoteNameSize], const char* host,
                                  const char* share)
{
    const std::size_t hostLength = std::strlen(host);
    const std::size_t shareLength = std::strlen(share);
    // Two leading backslashes, one separator and the terminator must fit too; a name
    // that does not fit is refused rather than cut, so nothing is sent for it.
    if (hostLength + shareLength + 4 > kRemoteNameSize)
        return false;

    char* out = name;
    *out++ = '\\';
    *out++ = '\\';
    std::memcpy(out, host, hostLength);
    out += hostLength;
    *out++ = '\\';
    std::memcpy(out, share, shareLength);
    out += shareLength;
    *out = '\0';
    return true;
}

bool CNetSession::Connect(const char* host, const char* share, const char* user,
                          const char* password, std::uint32_t flags)
{
    char remoteName[kRemoteNameSize];
    if (!BuildRemoteName(remoteName, host, share))
        return false;

    NetResource resource{};
    resource.dwType = kResourceTypeDisk;
    resource.lpRemoteName = remoteName;
    return m_platform.WNetAddConnection2A(&resource, password, user, flags) == kNoError;
}

bool CNetSession::Disconnect(const char* host, const char* share, std::uint32_t flags,
                             bool force)
{
    char remoteName[kRemoteNameSize];
    if (!BuildRemoteName(remoteName, host, share))
        return false;
    return m_platform.WNetCancelConnection2A(remoteName, flags, force) == kNoError;
}

}  // namespace remote
