// The platform operations bound to the real operating system (Windows builds only).
#pragma once

#include "remote/PlatformOps.h"

namespace remote {

class CWin32PlatformOps final : public IPlatformOps {
public:
    std::uint32_t WNetAddConnection2A(NetResource* resource, const char* password,
                                      const char* user, std::uint32_t flags) override;
    std::uint32_t WNetCancelConnection2A(const char* name, std::uint32_t flags,
                                         bool force) override;
    ScHandle OpenSCManagerA(const char* machine, const char* database,
                            std::uint32_t access) override;
    bool EnumServicesStatusA(ScHandle manager, std::uint32_t type, std::uint32_t state,
                             void* buffer, std::uint32_t size, std::uint32_t* needed,
                             std::uint32_t* returned, std::uint32_t* resume) override;
    ScHandle OpenServiceA(ScHandle manager, const char* name, std::uint32_t access) override;
    bool StartServiceA(ScHandle service, std::uint32_t argc, const char** argv) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus* status) override;
    bool CloseServiceHandle(ScHandle handle) override;
    std::uint32_t GetLastError() override;
    bool LogonUserA(const char* user, const char* domain, const char* password,
                    std::uint32_t logonType, std::uint32_t logonProvider,
                    TokenHandle* token) override;
    bool ImpersonateLoggedOnUser(TokenHandle token) override;
    bool RevertToSelf() override;
    bool CloseHandle(TokenHandle handle) override;
    void* LocalAllocZeroed(std::size_t bytes) override;
    void LocalFree(void* block) override;
    void ShellExecuteA(const char* operation, const char* file, int show) override;
};

}  // namespace remote
