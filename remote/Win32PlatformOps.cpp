// Each platform operation is the Windows call of the same name, nothing more; the network
// provider's and the shell's are found in their libraries, in the system folder, on first use.
#include "remote/Win32PlatformOps.h"

#include <cstddef>
#include <cstring>

#include <windows.h>
#include <shellapi.h>
#include <winnetwk.h>
#include <winsvc.h>

namespace remote {

// The remote logic reads the enumeration buffer and fills the resource record with
// its own mirrors of the Windows structures; they must match to the byte.
static_assert(sizeof(NetResource) == sizeof(NETRESOURCEA));
static_assert(offsetof(NetResource, lpRemoteName) == offsetof(NETRESOURCEA, lpRemoteName));
static_assert(offsetof(NetResource, lpProvider) == offsetof(NETRESOURCEA, lpProvider));
static_assert(sizeof(ServiceStatus) == sizeof(SERVICE_STATUS));
static_assert(sizeof(EnumServiceStatus) == sizeof(ENUM_SERVICE_STATUSA));
static_assert(offsetof(EnumServiceStatus, lpDisplayName) ==
              offsetof(ENUM_SERVICE_STATUSA, lpDisplayName));
static_assert(offsetof(EnumServiceStatus, ServiceStatus) ==
              offsetof(ENUM_SERVICE_STATUSA, ServiceStatus));
static_assert(kScManagerConnect == SC_MANAGER_CONNECT &&
              kScManagerEnumerateService == SC_MANAGER_ENUMERATE_SERVICE);
static_assert(kServiceStart == SERVICE_START && kServiceStop == SERVICE_STOP);
static_assert(kServiceWin32AndDriver == (SERVICE_WIN32 | SERVICE_DRIVER));
static_assert(kLogon32LogonNewCredentials == LOGON32_LOGON_NEW_CREDENTIALS &&
              kLogon32ProviderWinnt50 == LOGON32_PROVIDER_WINNT50);

namespace {

// A system library from the system folder, never from the program's own: Windows looks
// there first for any library that is not one of its known ones, and the program is
// often run from a download folder, where anything may lie. The full path works on every
// Windows version; the library's own dependencies are then looked for beside it first.
HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    const std::size_t length = ::GetSystemDirectoryA(path, sizeof path);
    const std::size_t nameLength = std::strlen(name);
    if (length == 0 || length + 1 + nameLength >= sizeof path)
        return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, name, nameLength + 1);
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

CWin32PlatformOps::CLazyModule::~CLazyModule()
{
    if (const HMODULE hModule = m_hModule.load())
        ::FreeLibrary(hModule);
}

void* CWin32PlatformOps::CLazyModule::Address(const char* name)
{
    HMODULE hModule = m_hModule.load();
    if (!hModule) {
        // Two threads may both load it: the system counts every load, and the one that
        // finds the other's handle already kept gives its own back. (A lock here would
        // bring in the C++ library's error reporting: 10 KB of the exe.)
        const HMODULE hLoaded = LoadSystemLibrary(m_name);
        if (!hLoaded)
            return nullptr;
        if (m_hModule.compare_exchange_strong(hModule, hLoaded))
            hModule = hLoaded;
        else
            ::FreeLibrary(hLoaded);
    }
    return reinterpret_cast<void*>(::GetProcAddress(hModule, name));
}

std::uint32_t CWin32PlatformOps::WNetAddConnection2A(NetResource* resource,
                                                     const char* password, const char* user,
                                                     std::uint32_t flags)
{
    const auto pfn = m_mpr.Find<decltype(::WNetAddConnection2A)>("WNetAddConnection2A");
    if (!pfn)
        return ERROR_NO_NETWORK;
    return pfn(reinterpret_cast<NETRESOURCEA*>(resource), password, user, flags);
}

std::uint32_t CWin32PlatformOps::WNetCancelConnection2A(const char* name, std::uint32_t flags,
                                                        bool force)
{
    const auto pfn = m_mpr.Find<decltype(::WNetCancelConnection2A)>("WNetCancelConnection2A");
    if (!pfn)
        return ERROR_NO_NETWORK;
    return pfn(name, flags, force ? TRUE : FALSE);
}

ScHandle CWin32PlatformOps::OpenSCManagerA(const char* machine, const char* database,
                                           std::uint32_t access)
{
    return ::OpenSCManagerA(machine, database, access);
}

bool CWin32PlatformOps::EnumServicesStatusA(ScHandle manager, std::uint32_t type,
                                            std::uint32_t state, void* buffer,
                                            std::uint32_t size, std::uint32_t* needed,
                                            std::uint32_t* returned, std::uint32_t* resume)
{
    DWORD dwNeeded = 0, dwReturned = 0, dwResume = *resume;
    const BOOL ok = ::EnumServicesStatusA(static_cast<SC_HANDLE>(manager), type, state,
                                          static_cast<ENUM_SERVICE_STATUSA*>(buffer), size,
                                          &dwNeeded, &dwReturned, &dwResume);
    // The caller reads the last-error code next; copying out must not disturb it.
    const DWORD lastError = ::GetLastError();
    *needed = dwNeeded;
    *returned = dwReturned;
    *resume = dwResume;
    ::SetLastError(lastError);
    return ok != FALSE;
}

ScHandle CWin32PlatformOps::OpenServiceA(ScHandle manager, const char* name,
                                         std::uint32_t access)
{
    return ::OpenServiceA(static_cast<SC_HANDLE>(manager), name, access);
}

bool CWin32PlatformOps::StartServiceA(ScHandle service, std::uint32_t argc, const char** argv)
{
    return ::StartServiceA(static_cast<SC_HANDLE>(service), argc, argv) != FALSE;
}

bool CWin32PlatformOps::ControlService(ScHandle service, std::uint32_t control,
                                       ServiceStatus* status)
{
    return ::ControlService(static_cast<SC_HANDLE>(service), control,
                            reinterpret_cast<SERVICE_STATUS*>(status)) != FALSE;
}

bool CWin32PlatformOps::CloseServiceHandle(ScHandle handle)
{
    return ::CloseServiceHandle(static_cast<SC_HANDLE>(handle)) != FALSE;
}

std::uint32_t CWin32PlatformOps::GetLastError() { return ::GetLastError(); }

bool CWin32PlatformOps::LogonUserA(const char* user, const char* domain, const char* password,
                                   std::uint32_t logonType, std::uint32_t logonProvider,
                                   TokenHandle* token)
{
    HANDLE hToken = nullptr;
    const BOOL ok = ::LogonUserA(user, domain, password, logonType, logonProvider, &hToken);
    *token = ok ? hToken : nullptr;
    return ok != FALSE;
}

bool CWin32PlatformOps::ImpersonateLoggedOnUser(TokenHandle token)
{
    return ::ImpersonateLoggedOnUser(token) != FALSE;
}

bool CWin32PlatformOps::RevertToSelf() { return ::RevertToSelf() != FALSE; }

bool CWin32PlatformOps::CloseHandle(TokenHandle handle) { return ::CloseHandle(handle) != FALSE; }

void* CWin32PlatformOps::LocalAllocZeroed(std::size_t bytes) { return ::LocalAlloc(LPTR, bytes); }

void CWin32PlatformOps::LocalFree(void* block) { ::LocalFree(block); }

void CWin32PlatformOps::ShellExecuteA(const char* operation, const char* file, int show)
{
    if (const auto pfn = m_shell32.Find<decltype(::ShellExecuteA)>("ShellExecuteA"))
        pfn(nullptr, operation, file, nullptr, nullptr, show);
}

}  // namespace remote
