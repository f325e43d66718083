// What every program that talks to the bed from inside its prefix needs to agree on: the
// state texts a listing shows, and whether the bed's provider is the one that answers.
#pragma once

#include <windows.h>

#include <string>

namespace testbed {

// The State column's text for a current-state code, as a user reads it in the list.
inline const char* StateText(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return "Stopped";
    case SERVICE_START_PENDING: return "Start Pending";
    case SERVICE_STOP_PENDING: return "Stop Pending";
    case SERVICE_RUNNING: return "Service Running";
    case SERVICE_CONTINUE_PENDING: return "Continue Pending";
    case SERVICE_PAUSE_PENDING: return "Pause Pending";
    case SERVICE_PAUSED: return "Paused";
    default: return "";
    }
}

// The prefix's network providers, as mpr reads them; empty when none are registered.
inline std::string NetworkProviderOrder()
{
    char order[256] = "";
    DWORD size = sizeof order;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\NetworkProvider\\Order",
                       "ProviderOrder", RRF_RT_REG_SZ, nullptr, order, &size) != ERROR_SUCCESS)
        return "";
    return order;
}

// A service whose names no legacy code page holds: its key name is Cyrillic, its display
// name Cyrillic, Chinese and Greek. A scenario (or the probe, for a picture) makes it with
// the wide calls for as long as it needs it, so the bed's own services stay as they are.
inline constexpr wchar_t kUnicodeServiceName[] = L"Дозор";
inline constexpr wchar_t kUnicodeServiceDisplayName[] = L"Дозор 守望 Φύλακας";

// Makes it on the bed's manager, demand start, running the command line given (the bed's
// service program), or removes it: 0, or the system's error code.
inline DWORD MakeUnicodeService(bool bMake, const wchar_t* commandLine = nullptr)
{
    const SC_HANDLE hManager = ::OpenSCManagerW(L"127.0.0.1", nullptr, SC_MANAGER_ALL_ACCESS);
    if (!hManager)
        return ::GetLastError();
    const SC_HANDLE hService =
        bMake ? ::CreateServiceW(hManager, kUnicodeServiceName, kUnicodeServiceDisplayName, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                 commandLine, nullptr, nullptr, nullptr, nullptr, nullptr)
              : ::OpenServiceW(hManager, kUnicodeServiceName, SERVICE_ALL_ACCESS);
    DWORD result = hService ? 0 : ::GetLastError();
    if (hService && !bMake && !::DeleteService(hService))
        result = ::GetLastError();
    if (hService)
        ::CloseServiceHandle(hService);
    ::CloseServiceHandle(hManager);
    return result;
}

// Names other than loopback may be put to mpr only where the bed's provider (registered by
// bed.sh) is the one and only provider: it answers every name itself, at once, and makes
// no network call.
inline bool IsBedProviderAlone() { return NetworkProviderOrder() == "QmBedProvider"; }

}  // namespace testbed
