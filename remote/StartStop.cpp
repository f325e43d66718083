// Start and stop of the selected service, with their fixed error messages.
#include "remote/StartStop.h"

#include "remote/NetSession.h"
#include "remote/Refresh.h"
#include "remote/RemoteCommand.h"

namespace remote {

namespace {

constexpr char kErrorHeading[] = "Error while controlling the service.\rError type:\r\t";
constexpr char kAccessDenied[] = "Access is denied.";
constexpr char kTimeout[] = "The service did not respond to the start request in a timely fashion.";
constexpr char kNotKnown[] = "Not known.";

enum class Command { Start, Stop };

// One start or stop from the selected row to the end. The destructor is the common
// end of every path that does not succeed: handles closed, session cancelled.
class CServiceCommand {
public:
    // The target is pulled straight into its member: a target moved in from a temporary
    // would leave a short password's text behind in the temporary, which nobody wipes.
    CServiceCommand(IServiceConsole& console, IPlatformOps& platform, PassEndedCallback onEnded)
        : m_console(console), m_platform(platform), m_session(platform), m_token(platform),
          m_onEnded(std::move(onEnded)), m_target(console.PullRemoteTarget())
    {
    }
    CServiceCommand(const CServiceCommand&) = delete;
    CServiceCommand& operator=(const CServiceCommand&) = delete;

    ~CServiceCommand()
    {
        Release();
        WipeText(m_target.strPassword);  // on every way out, the one with no row included
    }

    // The pass that the refresh after a success started, if any. The target was pulled
    // when the command was made, just before this.
    std::shared_ptr<CPassControl> Run(Command command)
    {
        const int row = m_console.GetNextItem(-1, kLvniSelected);
        if (row == -1)
            return nullptr;

        const bool bCurrentCredential = m_console.IsCurrentCredential();
        m_bConnected = ConnectIpc(m_session, bCurrentCredential, m_target);
        if (m_bConnected && !bCurrentCredential)
            m_token.LogOn(m_target);
        WipeText(m_target.strPassword);
        if (!m_bConnected) {
            m_console.AfxMessageBox(kRemoteAuthenticationFailed, kMbOk);
            return nullptr;
        }

        const std::string strServiceName = m_console.GetItemText(row, 1);
        m_token.Impersonate();
        m_hManager = m_platform.OpenSCManagerA(m_target.strHost.c_str(), nullptr,
                                               kScManagerConnect);
        if (!m_hManager) {
            m_console.AfxMessageBox(kFailedToOpenManager, kMbOk);
            return nullptr;
        }
        // The stop asks for nothing but the stop: the status it returns needs no right.
        m_hService = m_platform.OpenServiceA(m_hManager, strServiceName.c_str(),
                                             command == Command::Start ? kServiceStart
                                                                       : kServiceStop);
        if (!m_hService) {
            m_console.AfxMessageBox(kFailedToOpenService, kMbOk);
            return nullptr;
        }

        return command == Command::Start ? Start() : Stop();
    }

private:
    std::shared_ptr<CPassControl> Start()
    {
        if (!m_platform.StartServiceA(m_hService, 0, nullptr)) {
            m_console.AfxMessageBox(StartErrorText(m_platform.GetLastError()),
                                    kMbIconHand);
            return nullptr;
        }
        return RefreshAfterSuccess();
    }

    std::shared_ptr<CPassControl> Stop()
    {
        if (m_console.AfxMessageBox(kConfirmStop, kMbYesNo | kMbIconQuestion) !=
            kIdYes)
            return nullptr;
        ServiceStatus status{};
        if (!m_platform.ControlService(m_hService, kServiceControlStop, &status)) {
            m_console.AfxMessageBox(StopErrorText(m_platform.GetLastError()), kMbIconHand);
            return nullptr;
        }
        return RefreshAfterSuccess();
    }

    // The command's own session goes before the refresh connects: both use the same
    // remote name and the cancel is forced, so a later cancel would cut the new pass.
    std::shared_ptr<CPassControl> RefreshAfterSuccess()
    {
        Release();
        return RefreshServiceList(m_console, m_platform, std::move(m_onEnded));
    }

    void Release()
    {
        if (m_hService) {
            m_platform.CloseServiceHandle(m_hService);
            m_hService = nullptr;
        }
        if (m_hManager) {
            m_platform.CloseServiceHandle(m_hManager);
            m_hManager = nullptr;
        }
        m_token.Release();
        if (m_bConnected) {
            DisconnectIpc(m_session, m_target.strHost);
            m_bConnected = false;
        }
    }

    IServiceConsole& m_console;
    IPlatformOps& m_platform;
    CNetSession m_session;
    CCredentialToken m_token;
    PassEndedCallback m_onEnded;
    RemoteTarget m_target;
    bool m_bConnected = false;
    ScHandle m_hManager = nullptr;
    ScHandle m_hService = nullptr;
};

std::string ErrorMessage(const char* errorType) { return std::string(kErrorHeading) + errorType; }

}  // namespace

std::string StartErrorText(std::uint32_t error)
{
    switch (error) {
    case 3: return ErrorMessage("The service binary file could not be found.");
    case 5: return ErrorMessage(kAccessDenied);
    case 1053: return ErrorMessage(kTimeout);
    case 1055: return ErrorMessage("The database is locked.");
    case 1058: return ErrorMessage("The service has been disabled.");
    case 1068: return ErrorMessage("The service depends on another service that\r\thas failed to start.");
    case 1069: return ErrorMessage("The service could not be logged on.");
    case 1072: return ErrorMessage("The service has been marked for deletion.");
    case 1075: return ErrorMessage("The service depends on a service that does\r\tnot exist or has been marked for deletion.");
    default: return ErrorMessage(kNotKnown);
    }
}

std::string StopErrorText(std::uint32_t error)
{
    switch (error) {
    case 5: return ErrorMessage(kAccessDenied);
    case 1051: return ErrorMessage("The service cannot be stopped because other running services are dependent on it.");
    case 1052: return ErrorMessage("Specified action is not availaible for this service.");
    case 1053: return ErrorMessage(kTimeout);
    default: return ErrorMessage(kNotKnown);
    }
}

std::shared_ptr<CPassControl> StartSelectedService(IServiceConsole& console, IPlatformOps& platform,
                                                   PassEndedCallback onEnded)
{
    return CServiceCommand(console, platform, std::move(onEnded)).Run(Command::Start);
}

std::shared_ptr<CPassControl> StopSelectedService(IServiceConsole& console, IPlatformOps& platform,
                                                  PassEndedCallback onEnded)
{
    return CServiceCommand(console, platform, std::move(onEnded)).Run(Command::Stop);
}

}  // namespace remote

