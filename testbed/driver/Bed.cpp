// The bed's provider log and service manager, read and driven from the test's side.
#include "testbed/driver/Bed.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include "BedConfig.h"
#include "testbed/driver/Programs.h"

namespace testbed {

namespace {

// Every bed service ends at once on this control, even one that accepts no stop.
constexpr DWORD kBedQuitControl = 200;

struct ScHandleCloser {
    void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ScopedScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleCloser>;

ScopedScHandle OpenManager(DWORD access)
{
    ScopedScHandle manager(::OpenSCManagerA(kBedHost, nullptr, access));
    if (!manager)
        throw DriverError("the bed's service manager does not open (error " +
                          std::to_string(::GetLastError()) + ")");
    return manager;
}

ScopedScHandle OpenBedService(SC_HANDLE manager, const char* name)
{
    ScopedScHandle service(::OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
    if (!service)
        throw DriverError(std::string("the bed has no service ") + name + " (error " +
                          std::to_string(::GetLastError()) + ")");
    return service;
}

// "key=value" -> value, for the fields after the time.
std::string ValueOf(const std::string& field)
{
    const size_t equals = field.find('=');
    return equals == std::string::npos ? std::string() : field.substr(equals + 1);
}

bool ParseLine(const std::string& line, ProviderCall& call)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    // time pid tid op entry remote type local user password flags force result
    if (fields.size() != 13)
        return false;
    call.pid = static_cast<DWORD>(std::stoul("0" + ValueOf(fields[1])));
    call.strOp = ValueOf(fields[3]);
    call.strRemote = ValueOf(fields[5]);
    call.strUser = ValueOf(fields[8]);
    call.strPassword = ValueOf(fields[9]);
    call.result = std::stol("0" + ValueOf(fields[12]));
    return true;
}

}  // namespace

std::vector<ListRow> BedEnumeration()
{
    ScopedScHandle manager = OpenManager(SC_MANAGER_ENUMERATE_SERVICE);
    const DWORD type = SERVICE_WIN32 | SERVICE_DRIVER;
    DWORD needed = 0, returned = 0, resume = 0;
    ::EnumServicesStatusA(manager.get(), type, SERVICE_STATE_ALL, nullptr, 0, &needed, &returned,
                          &resume);
    if (::GetLastError() != ERROR_MORE_DATA)
        throw DriverError("the bed's service manager answers the size query with error " +
                          std::to_string(::GetLastError()));
    std::vector<char> buffer(needed);
    resume = 0;
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    if (!::EnumServicesStatusA(manager.get(), type, SERVICE_STATE_ALL, records, needed, &needed,
                               &returned, &resume))
        throw DriverError("the bed's services cannot be listed (error " +
                          std::to_string(::GetLastError()) + ")");
    std::vector<ListRow> rows;
    rows.reserve(returned);
    for (DWORD i = 0; i < returned; ++i)
        rows.push_back({std::to_string(i), records[i].lpServiceName, records[i].lpDisplayName,
                        StateText(records[i].ServiceStatus.dwCurrentState)});
    return rows;
}

// ---- Provider log ----

CProviderLog::CProviderLog()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExA(BED_LOG_A, GetFileExInfoStandard, &data))
        m_offset = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void CProviderLog::ReadNewLines()
{
    // The provider opens the file per line, so sharing everything never blocks it.
    HANDLE file = ::CreateFileA(BED_LOG_A, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file, &size);
    const auto end = static_cast<std::uint64_t>(size.QuadPart);
    if (end < m_offset)
        m_offset = 0;  // cleared meanwhile: everything in it is new
    std::string text(static_cast<size_t>(end - m_offset), '\0');
    LARGE_INTEGER from;
    from.QuadPart = static_cast<LONGLONG>(m_offset);
    DWORD read = 0;
    if (!text.empty() && ::SetFilePointerEx(file, from, nullptr, FILE_BEGIN))
        ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    ::CloseHandle(file);
    text.resize(read);

    // A line still being written has no line feed yet: it is read next time.
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
        ProviderCall call;
        if (ParseLine(text.substr(start, lf - start), call))
            m_calls.push_back(call);
    }
    m_offset += start;
}

std::vector<ProviderCall> CProviderLog::Calls()
{
    ReadNewLines();
    return m_calls;
}

std::vector<ProviderCall> CProviderLog::CallsOf(DWORD pid)
{
    std::vector<ProviderCall> calls = Calls();
    calls.erase(std::remove_if(calls.begin(), calls.end(),
                               [pid](const ProviderCall& call) { return call.pid != pid; }),
                calls.end());
    return calls;
}

std::vector<std::pair<std::string, SessionTally>> TallySessions(
    const std::vector<ProviderCall>& calls)
{
    std::vector<std::pair<std::string, SessionTally>> tallies;
    std::vector<int> open;
    for (const ProviderCall& call : calls) {
        auto it = std::find_if(tallies.begin(), tallies.end(),
                               [&](const auto& entry) { return entry.first == call.strRemote; });
        if (it == tallies.end()) {
            tallies.push_back({call.strRemote, {}});
            open.push_back(0);
            it = tallies.end() - 1;
        }
        SessionTally& tally = it->second;
        int& nOpen = open[static_cast<size_t>(it - tallies.begin())];
        if (call.strOp == "connect") {
            ++tally.nConnects;
            if (call.result == 0) {
                ++tally.nOpened;
                tally.nMostOpenAtOnce = (std::max)(tally.nMostOpenAtOnce, ++nOpen);
            }
        } else if (call.strOp == "cancel") {
            ++tally.nCancels;
            if (nOpen > 0)
                --nOpen;
            else
                tally.bCancelWithoutSession = true;
        }
    }
    return tallies;
}

std::string Describe(const std::vector<ProviderCall>& calls)
{
    std::string text = std::to_string(calls.size()) + " provider calls:";
    for (const ProviderCall& call : calls) {
        text += "\n  pid=" + std::to_string(call.pid) + " " + call.strOp + " " +
                call.strRemote.substr(0, 80) + (call.strRemote.size() > 80 ? "..." : "");
        if (call.strOp == "connect")
            text += " user=" + call.strUser + " password=" + call.strPassword;
        text += " result=" + std::to_string(call.result);
    }
    return text;
}

// ---- Services ----

namespace bed {

DWORD State(const char* name)
{
    ScopedScHandle manager(::OpenSCManagerA(kBedHost, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return 0;
    ScopedScHandle service(::OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status = {};
    if (!service || !::QueryServiceStatus(service.get(), &status))
        return 0;
    return status.dwCurrentState;
}

void Start(const char* name)
{
    ScopedScHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
    ScopedScHandle service = OpenBedService(manager.get(), name);
    if (!::StartServiceA(service.get(), 0, nullptr) &&
        ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        throw DriverError(std::string("the bed does not start ") + name + " (error " +
                          std::to_string(::GetLastError()) + ")");
    WaitForState(name, SERVICE_RUNNING, 10000);
}

void Quit(const char* name)
{
    ScopedScHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
    ScopedScHandle service = OpenBedService(manager.get(), name);
    SERVICE_STATUS status = {};
    ::ControlService(service.get(), kBedQuitControl, &status);
}

void WaitForState(const char* name, DWORD state, DWORD timeoutMs)
{
    WaitUntil([&] { return State(name) == state; }, timeoutMs,
              std::string("the bed's ") + name + " to be " + StateText(state),
              [&] { return "state " + std::to_string(State(name)); });
}

void EnsureStopped(const char* name)
{
    // A slow stop already under way ends by itself; the quit control would be refused.
    if (State(name) == SERVICE_STOP_PENDING)
        WaitUntil([&] { return State(name) != SERVICE_STOP_PENDING; }, 10000,
                  std::string("the bed's ") + name + " to finish stopping");
    if (State(name) != SERVICE_STOPPED)
        Quit(name);
    WaitForState(name, SERVICE_STOPPED, 10000);
}

CUnicodeService::CUnicodeService()
{
    const ScopedScHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
    const ScopedScHandle service(::CreateServiceW(
        manager.get(), kUnicodeServiceName, kUnicodeServiceDisplayName, SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
        BED_DIR_W L"\\qmbedsvc.exe running", nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service)
        throw DriverError("the bed does not make a service named in Cyrillic (error " +
                          std::to_string(::GetLastError()) + ")");
}

// A service that still runs goes once it has ended.
CUnicodeService::~CUnicodeService()
{
    const ScopedScHandle manager(::OpenSCManagerA(kBedHost, nullptr, SC_MANAGER_ALL_ACCESS));
    const ScopedScHandle service(manager ? ::OpenServiceW(manager.get(), kUnicodeServiceName, SERVICE_ALL_ACCESS)
                                         : nullptr);
    SERVICE_STATUS status = {};
    if (service) {
        ::ControlService(service.get(), kBedQuitControl, &status);
        ::DeleteService(service.get());
    }
}

void SetConnectDelay(DWORD milliseconds)
{
    if (milliseconds == 0) {
        ::DeleteFileA(BED_CONNECT_DELAY_A);
        return;
    }
    const std::string digits = std::to_string(milliseconds);
    HANDLE file = ::CreateFileA(BED_CONNECT_DELAY_A, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool bWritten = file != INVALID_HANDLE_VALUE &&
                          ::WriteFile(file, digits.data(), static_cast<DWORD>(digits.size()),
                                      &written, nullptr) &&
                          written == digits.size();
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    if (!bWritten)
        throw DriverError(std::string("cannot write ") + BED_CONNECT_DELAY_A);
}

}  // namespace bed

}  // namespace testbed
