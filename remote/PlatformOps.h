// The operating-system calls the remote logic makes, as an interface, so the logic
// builds and is tested without Windows. Constants carry their Windows values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace remote {

// Opaque Service Control Manager handle; null means the call failed.
using ScHandle = void*;
// Opaque access token of a logon; null when there is none.
using TokenHandle = void*;

// Windows values of the few constants the logic needs.
constexpr std::uint32_t kNoError = 0;
constexpr std::uint32_t kResourceTypeDisk = 1;
constexpr std::uint32_t kConnectUpdateProfile = 1;
// Each command asks only for the rights it uses: a user whom the remote computer lets
// start and stop a service, but not administer it, can still do so.
constexpr std::uint32_t kScManagerConnect = 0x0001;
constexpr std::uint32_t kScManagerEnumerateService = 0x0004;
constexpr std::uint32_t kServiceStart = 0x0010;
constexpr std::uint32_t kServiceStop = 0x0020;
constexpr std::uint32_t kServiceWin32AndDriver = 0x3B;  // SERVICE_WIN32 | SERVICE_DRIVER
constexpr std::uint32_t kServiceStateAll = 3;
constexpr std::uint32_t kServiceControlStop = 1;
constexpr std::uint32_t kErrorMoreData = 234;
constexpr std::uint32_t kLogon32LogonNewCredentials = 9;
constexpr std::uint32_t kLogon32ProviderWinnt50 = 3;
constexpr int kSwShowNormal = 1;
constexpr int kSwShow = 5;

// NETRESOURCEA, member for member.
struct NetResource {
    std::uint32_t dwScope;
    std::uint32_t dwType;
    std::uint32_t dwDisplayType;
    std::uint32_t dwUsage;
    char* lpLocalName;
    char* lpRemoteName;
    char* lpComment;
    char* lpProvider;
};

// SERVICE_STATUS, member for member.
struct ServiceStatus {
    std::uint32_t dwServiceType;
    std::uint32_t dwCurrentState;
    std::uint32_t dwControlsAccepted;
    std::uint32_t dwWin32ExitCode;
    std::uint32_t dwServiceSpecificExitCode;
    std::uint32_t dwCheckPoint;
    std::uint32_t dwWaitHint;
};

// ENUM_SERVICE_STATUSA: on Windows the enumeration buffer is an array of these,
// followed by the texts they point to. The Windows binding checks the layout.
struct EnumServiceStatus {
    char* lpServiceName;
    char* lpDisplayName;
    remote::ServiceStatus ServiceStatus;
};

class IPlatformOps {
public:
    virtual ~IPlatformOps() = default;

    // Network provider (mpr)
    virtual std::uint32_t WNetAddConnection2A(NetResource* resource, const char* password,
                                              const char* user, std::uint32_t flags) = 0;
    virtual std::uint32_t WNetCancelConnection2A(const char* name, std::uint32_t flags,
                                                 bool force) = 0;

    // Service Control Manager (advapi32)
    virtual ScHandle OpenSCManagerA(const char* machine, const char* database,
                                    std::uint32_t access) = 0;
    virtual bool EnumServicesStatusA(ScHandle manager, std::uint32_t type, std::uint32_t state,
                                     void* buffer, std::uint32_t size, std::uint32_t* needed,
                                     std::uint32_t* returned, std::uint32_t* resume) = 0;
    virtual ScHandle OpenServiceA(ScHandle manager, const char* name, std::uint32_t access) = 0;
    virtual bool StartServiceA(ScHandle service, std::uint32_t argc, const char** argv) = 0;
    virtual bool ControlService(ScHandle service, std::uint32_t control,
                                ServiceStatus* status) = 0;
    virtual bool CloseServiceHandle(ScHandle handle) = 0;
    virtual std::uint32_t GetLastError() = 0;

    // Logon and impersonation (advapi32), and closing the token (kernel32)
    virtual bool LogonUserA(const char* user, const char* domain, const char* password,
                            std::uint32_t logonType, std::uint32_t logonProvider,
                            TokenHandle* token) = 0;
    virtual bool ImpersonateLoggedOnUser(TokenHandle token) = 0;
    virtual bool RevertToSelf() = 0;
    virtual bool CloseHandle(TokenHandle handle) = 0;

    // The enumeration buffer: zero-filled; null when it cannot be had.
    virtual void* LocalAllocZeroed(std::size_t bytes) = 0;
    virtual void LocalFree(void* block) = 0;

    // Shell (shell32); the result is ignored by every caller.
    virtual void ShellExecuteA(const char* operation, const char* file, int show) = 0;
};

}  // namespace remote
