// The Windows binding under Wine: the real calls reach Wine's own service manager.
#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

#include "remote/NetSession.h"
#include "remote/Win32PlatformOps.h"

namespace {

TEST(Win32Binding, ListsTheLocalServiceManagerWithTheTwoCallProtocol)
{
    remote::CWin32PlatformOps platform;
    remote::ScHandle manager =
        platform.OpenSCManagerA("127.0.0.1", nullptr, remote::kScManagerEnumerateService);
    ASSERT_NE(manager, nullptr);

    std::uint32_t needed = 0, returned = 0, resume = 0;
    platform.EnumServicesStatusA(manager, remote::kServiceWin32AndDriver,
                                 remote::kServiceStateAll, nullptr, 0, &needed, &returned,
                                 &resume);
    EXPECT_EQ(platform.GetLastError(), remote::kErrorMoreData);
    ASSERT_GT(needed, 0u);

    void* buffer = platform.LocalAllocZeroed(needed);
    ASSERT_NE(buffer, nullptr);
    resume = 0;
    ASSERT_TRUE(platform.EnumServicesStatusA(manager, remote::kServiceWin32AndDriver,
                                             remote::kServiceStateAll, buffer, needed, &needed,
                                             &returned, &resume));
    ASSERT_GT(returned, 0u);
    const auto* records = static_cast<const remote::EnumServiceStatus*>(buffer);
    for (std::uint32_t i = 0; i < returned; ++i) {
        ASSERT_NE(records[i].lpServiceName, nullptr);
        EXPECT_GT(std::strlen(records[i].lpServiceName), 0u);
        EXPECT_GE(records[i].ServiceStatus.dwCurrentState, 1u);
        EXPECT_LE(records[i].ServiceStatus.dwCurrentState, 7u);
    }
    platform.LocalFree(buffer);
    EXPECT_TRUE(platform.CloseServiceHandle(manager));
}

TEST(Win32Binding, WithoutANetworkProviderTheSessionIsRefusedAndNothingIsSent)
{
    remote::CWin32PlatformOps platform;
    remote::CNetSession session(platform);
    // Loopback only: a prefix without the bed's provider answers at once.
    EXPECT_FALSE(session.Connect("127.0.0.1", "ipc$", nullptr, nullptr, 0));
}

// The network provider's library delays the window's first paint: it is loaded by the
// first call that needs it, and goes with the binding.
TEST(Win32Binding, LoadsTheNetworkProviderOnFirstUseAndFreesItAfter)
{
    {
        remote::CWin32PlatformOps platform;
        EXPECT_EQ(::GetModuleHandleA("mpr.dll"), nullptr);
        platform.WNetCancelConnection2A("\\\\127.0.0.1\\ipc$", remote::kConnectUpdateProfile, true);
        EXPECT_NE(::GetModuleHandleA("mpr.dll"), nullptr);
    }
    EXPECT_EQ(::GetModuleHandleA("mpr.dll"), nullptr);
}

}  // namespace
