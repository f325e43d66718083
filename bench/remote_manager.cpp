// Quillmark's own console and remote logic on the bed, whose service manager is made to
// answer as a remote Windows one does where Wine's cannot: in calls of a bounded size with
// a resume index, refusing to open, or granting only what a help-desk operator is granted.
//   remote_manager.exe [--bound BYTES] [--refuse] [--operator]
// Wine's manager answers every enumeration whole, grants every right and opens for any
// name. The bench times this program's fills; anyone can run it on the bed by hand.
#include <windows.h>
#include <winsvc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/ConsoleDlg.h"
#include "remote/Win32PlatformOps.h"

namespace {

using remote::EnumServiceStatus;
using remote::ScHandle;

struct ManagerRules {
    std::uint32_t nBound = 0;  // bytes a data call answers at most; 0: the whole list
    bool bRefuse = false;      // OpenSCManagerA answers access denied
    bool bOperator = false;    // rights beyond listing, starting and stopping are denied
};

ManagerRules RulesFromCommandLine()
{
    ManagerRules rules;
    for (int i = 1; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "--bound") == 0 && i + 1 < __argc)
            rules.nBound = static_cast<std::uint32_t>(std::strtoul(__argv[++i], nullptr, 10));
        rules.bRefuse = rules.bRefuse || std::strcmp(__argv[i], "--refuse") == 0;
        rules.bOperator = rules.bOperator || std::strcmp(__argv[i], "--operator") == 0;
    }
    return rules;
}

// Every call goes to the system as it is, but the manager's opens and the enumeration.
class CRemoteManagerOps final : public remote::IPlatformOps {
public:
    CRemoteManagerOps(remote::IPlatformOps& system, ManagerRules rules)
        : m_system(system), m_rules(rules)
    {
    }

    std::uint32_t WNetAddConnection2A(remote::NetResource* resource, const char* password,
                                      const char* user, std::uint32_t flags) override
    {
        return m_system.WNetAddConnection2A(resource, password, user, flags);
    }
    std::uint32_t WNetCancelConnection2A(const char* name, std::uint32_t flags,
                                         bool force) override
    {
        return m_system.WNetCancelConnection2A(name, flags, force);
    }
    ScHandle OpenSCManagerA(const char* machine, const char* database,
                            std::uint32_t access) override
    {
        const DWORD dwOperator = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;
        if (m_rules.bRefuse || (m_rules.bOperator && (access & ~dwOperator)))
            return Denied();
        return m_system.OpenSCManagerA(machine, database, access);
    }
    bool EnumServicesStatusA(ScHandle manager, std::uint32_t type, std::uint32_t state,
                             void* buffer, std::uint32_t size, std::uint32_t* needed,
                             std::uint32_t* returned, std::uint32_t* resume) override
    {
        if (m_rules.nBound == 0)
            return m_system.EnumServicesStatusA(manager, type, state, buffer, size, needed,
                                                returned, resume);
        if (!buffer)
            return SizeQuery(manager, type, state, needed, returned, resume);
        return Slice(static_cast<char*>(buffer), size, needed, returned, resume);
    }
    ScHandle OpenServiceA(ScHandle manager, const char* name, std::uint32_t access) override
    {
        const DWORD dwOperator = SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS;
        if (m_rules.bOperator && (access & ~dwOperator))
            return Denied();
        return m_system.OpenServiceA(manager, name, access);
    }
    bool StartServiceA(ScHandle service, std::uint32_t argc, const char** argv) override
    {
        return m_system.StartServiceA(service, argc, argv);
    }
    bool ControlService(ScHandle service, std::uint32_t control,
                        remote::ServiceStatus* status) override
    {
        return m_system.ControlService(service, control, status);
    }
    bool CloseServiceHandle(ScHandle handle) override
    {
        return m_system.CloseServiceHandle(handle);
    }
    std::uint32_t GetLastError() override { return m_system.GetLastError(); }
    bool LogonUserA(const char* user, const char* domain, const char* password,
                    std::uint32_t logonType, std::uint32_t logonProvider,
                    remote::TokenHandle* token) override
    {
        return m_system.LogonUserA(user, domain, password, logonType, logonProvider, token);
    }
    bool ImpersonateLoggedOnUser(remote::TokenHandle token) override
    {
        return m_system.ImpersonateLoggedOnUser(token);
    }
    bool RevertToSelf() override { return m_system.RevertToSelf(); }
    bool CloseHandle(remote::TokenHandle handle) override { return m_system.CloseHandle(handle); }
    void* LocalAllocZeroed(std::size_t bytes) override { return m_system.LocalAllocZeroed(bytes); }
    void LocalFree(void* block) override { m_system.LocalFree(block); }
    void ShellExecuteA(const char* operation, const char* file, int show) override
    {
        m_system.ShellExecuteA(operation, file, show);
    }

private:
    struct Record {
        std::string strName, strDisplayName;
        remote::ServiceStatus status;
        std::uint32_t Bytes() const
        {
            return static_cast<std::uint32_t>(sizeof(EnumServiceStatus) + strName.size() + 1 +
                                              strDisplayName.size() + 1);
        }
    };

    static ScHandle Denied()
    {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }

    // A pass begins with the size query: the whole list is taken from Wine's manager in its
    // one answer, and then handed out a slice a call. Passes never overlap (the console
    // lets one end before the next begins), so nothing here is shared between threads.
    bool SizeQuery(ScHandle manager, std::uint32_t type, std::uint32_t state,
                   std::uint32_t* needed, std::uint32_t* returned, std::uint32_t* resume)
    {
        m_records.clear();
        DWORD dwNeeded = 0, dwReturned = 0, dwResume = 0;
        ::EnumServicesStatusA(static_cast<SC_HANDLE>(manager), type, state, nullptr, 0,
                              &dwNeeded, &dwReturned, &dwResume);
        if (::GetLastError() != ERROR_MORE_DATA)
            return false;
        std::vector<char> whole(dwNeeded);
        auto* pWhole = reinterpret_cast<ENUM_SERVICE_STATUSA*>(whole.data());
        if (!::EnumServicesStatusA(static_cast<SC_HANDLE>(manager), type, state, pWhole,
                                   dwNeeded, &dwNeeded, &dwReturned, &dwResume))
            return false;
        for (DWORD i = 0; i < dwReturned; ++i) {
            remote::ServiceStatus status;
            std::memcpy(&status, &pWhole[i].ServiceStatus, sizeof status);
            m_records.push_back({pWhole[i].lpServiceName, pWhole[i].lpDisplayName, status});
        }
        *needed = RestBytes(0);
        *returned = 0;
        *resume = 0;
        ::SetLastError(ERROR_MORE_DATA);
        return false;
    }

    // As a remote manager answers: the records that fit from the resume index, their texts
    // after them, and unless that was the rest, ERROR_MORE_DATA with the bytes the rest
    // needs (no more than the bound) and the index to go on from.
    bool Slice(char* buffer, std::uint32_t size, std::uint32_t* needed, std::uint32_t* returned,
               std::uint32_t* resume)
    {
        const std::size_t first = std::min<std::size_t>(*resume, m_records.size());
        const std::uint32_t limit = std::min(size, m_rules.nBound);
        std::size_t count = 0;
        for (std::uint32_t used = 0; first + count < m_records.size() &&
                                     (used += m_records[first + count].Bytes()) <= limit;)
            ++count;
        auto* pRecords = reinterpret_cast<EnumServiceStatus*>(buffer);
        char* pText = buffer + count * sizeof(EnumServiceStatus);
        const auto place = [&pText](const std::string& text) {
            char* placed = static_cast<char*>(std::memcpy(pText, text.c_str(), text.size() + 1));
            pText += text.size() + 1;
            return placed;
        };
        for (std::size_t i = 0; i < count; ++i) {
            const Record& record = m_records[first + i];
            pRecords[i].lpServiceName = place(record.strName);
            pRecords[i].lpDisplayName = place(record.strDisplayName);
            pRecords[i].ServiceStatus = record.status;
        }
        *returned = static_cast<std::uint32_t>(count);
        if (first + count == m_records.size()) {
            *needed = 0;
            *resume = 0;
            return true;
        }
        *needed = RestBytes(first + count);
        *resume = static_cast<std::uint32_t>(first + count);
        ::SetLastError(ERROR_MORE_DATA);
        return false;
    }

    std::uint32_t RestBytes(std::size_t first) const
    {
        std::uint32_t bytes = 0;
        for (std::size_t i = first; i < m_records.size(); ++i)
            bytes += m_records[i].Bytes();
        return std::min(bytes, m_rules.nBound);
    }

    remote::IPlatformOps& m_system;
    const ManagerRules m_rules;
    std::vector<Record> m_records;  // the list of the pass under way
};

}  // namespace

// The console on the rules of the command line, shown as the shipped program shows it.
class CRemoteManagerApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        remote::CWin32PlatformOps system;
        CRemoteManagerOps platform(system, RulesFromCommandLine());
        CConsoleDlg dlg(platform);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        // A pass still running uses the dialog: the program ends here, before the dialog goes.
        if (const std::shared_ptr<remote::CPassControl> pass = dlg.RunningPass()) {
            pass->Abandon();
            ::ExitProcess(0);
        }
        return FALSE;
    }
};

CRemoteManagerApp theApp;
