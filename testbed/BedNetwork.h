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

// Names other than loopback may be put to mpr only where the bed's provider (registered by
// bed.sh) is the one and only provider: it answers every name itself, at once, and makes
// no network call.
inline bool IsBedProviderAlone() { return NetworkProviderOrder() == "QmBedProvider"; }

}  // namespace testbed
