// The platform operations bound to the real operating system (Windows builds only).
#pragma once

#include <windows.h>

#include <atomic>

#include "remote/PlatformOps.h"

namespace remote {

class CWin32PlatformOps final : public IPlatformOps {
public:
    CWin32PlatformOps() = default;
    ~CWin32PlatformOps() override = default;
    CWin32PlatformOps(const CWin32PlatformOps&) = delete;
    CWin32PlatformOps& operator=(const CWin32PlatformOps&) = delete;

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

private:
    // A system library loaded from the system folder by the first call that needs it, on
    // whichever thread makes that call (the pass's thread cancels its own session), and
    // freed with the binding.
    // Nothing before the window is up needs the network provider or the shell, and loading
    // them at start delayed its first paint: mpr loads every registered provider, shell32 a
    // train of libraries of its own.
    class CLazyModule {
    public:
        explicit CLazyModule(const char* name) : m_name(name) {}
        ~CLazyModule();
        CLazyModule(const CLazyModule&) = delete;
        CLazyModule& operator=(const CLazyModule&) = delete;

        // The library's function of that name, typed as its header declares it; null
        // when either cannot be had.
        template <typename Function>
        Function* Find(const char* name)
        {
            return reinterpret_cast<Function*>(Address(name));
        }

    private:
        void* Address(const char* name);

        const char* const m_name;
        std::atomic<HMODULE> m_hModule{nullptr};
    };

    CLazyModule m_mpr{"mpr.dll"};
    CLazyModule m_shell32{"shell32.dll"};
};

}  // namespace remote
