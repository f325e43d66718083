// The typed account as the Service Control Manager's calls carry it: a new-credentials
// logon, impersonated around those calls.
#pragma once

#include <optional>
#include <string>

#include "remote/PlatformOps.h"
#include "remote/ServiceConsole.h"

namespace remote {

// The account name as the logon takes it. DOMAIN\user names its domain apart. A name
// with an @ (user@domain, a UPN) goes whole with no domain, since its suffix need not be
// the domain's name: the platform looks it up as it stands, as the IPC$ session does. A
// bare name is an account of the remote computer itself, which the host text names.
struct LogonName {
    std::string strUser;
    std::optional<std::string> strDomain;  // none: the name says its domain itself
};
// Nothing when the name has no user in it (empty, DOMAIN\, @domain): that makes no logon.
std::optional<LogonName> SplitUserName(const std::string& strUserName, const std::string& strHost);

// The token of a new-credentials logon of the typed account. The manager's calls may
// travel over a transport that does not carry the IPC$ session's credentials; while a
// thread impersonates this token, its calls to remote computers carry them on every
// transport, and its local identity stays what it was. Without a token (the current
// logon, or a logon the platform refused) nothing is impersonated and the calls go as
// they always did. Owned by one command or pass at a time; Release, or the destructor,
// reverts and closes it.
class CCredentialToken {
public:
    explicit CCredentialToken(IPlatformOps& platform) : m_platform(&platform) {}
    ~CCredentialToken() { Release(); }
    CCredentialToken(CCredentialToken&& other) noexcept;
    CCredentialToken& operator=(CCredentialToken&&) = delete;
    CCredentialToken(const CCredentialToken&) = delete;
    CCredentialToken& operator=(const CCredentialToken&) = delete;

    // Logs the typed account on; the password goes to the logon and nowhere else.
    void LogOn(const RemoteTarget& target);
    // From just before the first manager call: this thread acts with the token, if there
    // is one and the platform lets it.
    void Impersonate();
    // After the last manager call: back to the thread's own token, then the token closed.
    void Release();

private:
    IPlatformOps* m_platform;
    TokenHandle m_hToken = nullptr;
    bool m_bImpersonating = false;
};

}  // namespace remote
