// Splitting the typed account name, and the logon token's life.
#include "remote/Credentials.h"

#include <utility>

namespace remote {

std::optional<LogonName> SplitUserName(const std::string& strUserName, const std::string& strHost)
{
    LogonName name;
    const std::string::size_type backslash = strUserName.find('\\');
    if (backslash != std::string::npos)
        name = {strUserName.substr(backslash + 1), strUserName.substr(0, backslash)};
    else if (strUserName.find('@') != std::string::npos)
        name = {strUserName, std::nullopt};
    else
        name = {strUserName, strHost};
    // A UPN's user is what comes before its @.
    if (name.strUser.empty() || name.strUser.front() == '@')
        return std::nullopt;
    return name;
}

CCredentialToken::CCredentialToken(CCredentialToken&& other) noexcept
    : m_platform(other.m_platform),
      m_hToken(std::exchange(other.m_hToken, nullptr)),
      m_bImpersonating(std::exchange(other.m_bImpersonating, false))
{
}

void CCredentialToken::LogOn(const RemoteTarget& target)
{
    const std::optional<LogonName> name = SplitUserName(target.strUserName, target.strHost);
    if (!name)
        return;
    TokenHandle hToken = nullptr;
    if (m_platform->LogonUserA(name->strUser.c_str(),
                               name->strDomain ? name->strDomain->c_str() : nullptr,
                               target.strPassword.c_str(), kLogon32LogonNewCredentials,
                               kLogon32ProviderWinnt50, &hToken))
        m_hToken = hToken;
}

void CCredentialToken::Impersonate()
{
    if (m_hToken && !m_bImpersonating)
        m_bImpersonating = m_platform->ImpersonateLoggedOnUser(m_hToken);
}

void CCredentialToken::Release()
{
    if (m_bImpersonating) {
        m_platform->RevertToSelf();
        m_bImpersonating = false;
    }
    // Nobody reads what the close answers: a token the platform made up (Wine's stand-in
    // logon gives one) may not close, and there is nothing more to do about it.
    if (m_hToken) {
        m_platform->CloseHandle(m_hToken);
        m_hToken = nullptr;
    }
}

}  // namespace remote
