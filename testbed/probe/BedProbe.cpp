// The bed's probe: makes the network-provider and service-manager calls one at a time
// and prints what Wine answers, or runs the whole measured round ("report") and marks
// every answer that differs from the one the bed is known to give. It also tells from
// outside whether Quillmark's window is up in the bed and lists the bed ("window").
#include <windows.h>
#include <commctrl.h>
#include <winnetwk.h>
#include <winsvc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "BedConfig.h"
#include "testbed/BedNetwork.h"

namespace {

constexpr DWORD kQuitControl = 200;  // ends any bed service at once (see the service)
constexpr DWORD kBadNetNameMaxMs = 100;

// The bed's services, in the order the report takes them.
constexpr const char* kRunning = "QmBedRunning";
constexpr const char* kNoStop = "QmBedNoStop";
constexpr const char* kSlowStop = "QmBedSlowStop";
constexpr const char* kDisabled = "QmBedDisabled";
constexpr const char* kMissing = "QmBedMissing";
constexpr const char* kMissingDir = "QmBedMissingDir";
// "QmBedÄÖü" in code page 1252, the system code page of the bed's prefix.
constexpr const char* kAccented = "QmBed\xC4\xD6\xFC";
constexpr const char* kAllBedServices[] = {kRunning, kNoStop,     kSlowStop, kDisabled,
                                           kMissing, kMissingDir, kAccented};

int g_differences = 0;

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One measured answer: what was asked, what came back, and what the bed is known to
// answer. A difference is marked and counted in the exit code.
void Answer(const std::string& what, DWORD got, DWORD expected, double ms = -1)
{
    std::printf("  %-62s %5lu", what.c_str(), static_cast<unsigned long>(got));
    if (ms >= 0) std::printf("  %7.1f ms", ms);
    if (got != expected) {
        std::printf("  DIFF, expected %lu", static_cast<unsigned long>(expected));
        ++g_differences;
    }
    std::printf("\n");
}

void Note(const std::string& text) { std::printf("  %s\n", text.c_str()); }

// 0 for success, otherwise the last-error code read right after the call.
DWORD ResultOf(BOOL ok) { return ok ? 0 : GetLastError(); }

std::string Quoted(const char* text) { return text ? "\"" + std::string(text) + "\"" : "null"; }

// ---- Network provider -------------------------------------------------------------

DWORD Connect(const char* remote, const char* user, const char* password, double* ms)
{
    NETRESOURCEA resource = {};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpRemoteName = const_cast<char*>(remote);
    const double start = NowMs();
    const DWORD result = WNetAddConnection2A(&resource, password, user, 0);
    if (ms) *ms = NowMs() - start;
    return result;
}

std::vector<std::string> ReadLog()
{
    std::vector<std::string> lines;
    HANDLE file = CreateFileA(BED_LOG_A, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(text.substr(begin, end - begin));
    if (begin < text.size()) lines.push_back(text.substr(begin) + " <no line end>");
    return lines;
}

// The value of key=... in a log line, or "?" when the line has no such field.
std::string Field(const std::string& line, const std::string& key)
{
    const std::string tag = "\t" + key + "=";
    size_t at = line.find(tag);
    if (at == std::string::npos) return "?";
    at += tag.size();
    return line.substr(at, line.find('\t', at) - at);
}

size_t TabsIn(const std::string& line)
{
    size_t tabs = 0;
    for (char c : line) tabs += c == '\t';
    return tabs;
}

// Log lines before this are another run's. Wine hands out the same process ids again
// once the prefix's server has restarted, so the id alone does not tell runs apart.
size_t g_logLinesAtStart = 0;

std::vector<std::string> OwnLogLines()
{
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::vector<std::string> all = ReadLog();
    std::vector<std::string> own;
    for (size_t i = g_logLinesAtStart; i < all.size(); ++i)
        if (Field(all[i], "pid") == pid) own.push_back(all[i]);
    return own;
}

struct StressArgs {
    int count;
};

DWORD WINAPI StressThread(void* parameter)
{
    const int count = static_cast<StressArgs*>(parameter)->count;
    for (int i = 0; i < count; ++i) {
        Connect("\\\\127.0.0.1\\ipc$", nullptr, nullptr, nullptr);
        WNetCancelConnection2A("\\\\127.0.0.1\\ipc$", CONNECT_UPDATE_PROFILE, TRUE);
    }
    return 0;
}

// Several threads log at once; every line of this process must come out whole.
void StressLog(int threads, int count)
{
    const size_t before = OwnLogLines().size();
    StressArgs args = {count};
    std::vector<HANDLE> handles;
    for (int t = 0; t < threads; ++t) {
        HANDLE thread = CreateThread(nullptr, 0, StressThread, &args, 0, nullptr);
        if (thread) handles.push_back(thread);
    }
    for (HANDLE thread : handles) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    const std::vector<std::string> own = OwnLogLines();
    DWORD whole = 0;
    for (size_t i = before; i < own.size(); ++i) {
        const std::string& line = own[i];
        if (TabsIn(line) == 12 && line.find(" <no line end>") == std::string::npos &&
            Field(line, "result") == "0")
            ++whole;
    }
    Answer("log lines from " + std::to_string(threads) + " threads x " + std::to_string(count) +
               " connect+cancel, whole",
           whole, static_cast<DWORD>(threads * count * 2));
    Answer("log lines from those threads, in all", static_cast<DWORD>(own.size() - before),
           static_cast<DWORD>(threads * count * 2));
}

// The probe asks the network provider about names that are not loopback (to show they
// are refused at once). That is safe only where the bed's provider is the one and only
// provider: it answers every name itself and makes no network call. Anywhere else the
// probe refuses to ask.
void RequireBedProviderAlone()
{
    if (!testbed::IsBedProviderAlone()) {
        std::fprintf(stderr, "qmbedprobe: the bed's provider is not the only network provider "
                             "here (ProviderOrder \"%s\"); refusing to make connections\n",
                     testbed::NetworkProviderOrder().c_str());
        std::exit(2);
    }
}

void ReportProvider()
{
    RequireBedProviderAlone();
    std::printf("Network provider (WNetAddConnection2A, type disk, no local name, flags 0)\n");
    struct Case {
        const char* remote;
        const char* user;
        const char* password;
        DWORD expected;
    };
    const Case cases[] = {
        {"\\\\127.0.0.1\\ipc$", nullptr, nullptr, NO_ERROR},
        {"\\\\LOCALHOST\\IPC$", nullptr, nullptr, NO_ERROR},
        {"\\\\127.0.0.1\\ipc$", BED_USER_A, BED_PASSWORD_A, NO_ERROR},
        {"\\\\127.0.0.1\\ipc$", "administrator", BED_PASSWORD_A, NO_ERROR},
        {"\\\\127.0.0.1\\ipc$", BED_USER_A, "wrong", ERROR_LOGON_FAILURE},
        {"\\\\127.0.0.1\\ipc$", BED_USER_A, "", ERROR_LOGON_FAILURE},
        {"\\\\127.0.0.1\\ipc$", "", "", ERROR_LOGON_FAILURE},
        {"\\\\127.0.0.1\\ipc$", "Guest", BED_PASSWORD_A, ERROR_LOGON_FAILURE},
        {"\\\\127.0.0.1\\ipc$", nullptr, BED_PASSWORD_A, ERROR_LOGON_FAILURE},
        {"\\\\127.0.0.1\\c$", nullptr, nullptr, ERROR_BAD_NET_NAME},
        {"\\\\127.0.0.1\\ipc$\\", nullptr, nullptr, ERROR_BAD_NET_NAME},
        {"\\\\\\ipc$", nullptr, nullptr, ERROR_BAD_NET_NAME},
        {"\\\\192.168.0.1\\ipc$", nullptr, nullptr, ERROR_BAD_NET_NAME},
        {"\\\\192.168.0.1\\ipc$", BED_USER_A, BED_PASSWORD_A, ERROR_BAD_NET_NAME},
    };
    for (const Case& c : cases) {
        double ms = 0;
        SetLastError(0xBEEF);
        const DWORD result = Connect(c.remote, c.user, c.password, &ms);
        const DWORD lastError = GetLastError();
        Answer(std::string(c.remote) + " user " + Quoted(c.user) + " password " +
                   Quoted(c.password && std::strcmp(c.password, BED_PASSWORD_A) == 0
                                 ? "<bed password>"
                                 : c.password),
               result, c.expected, ms);
        if (result != NO_ERROR && lastError != 0xBEEF)
            Note("   (last-error code after it: " + std::to_string(lastError) + ")");
        if (c.expected == ERROR_BAD_NET_NAME && std::strstr(c.remote, "192.168.") && ms > kBadNetNameMaxMs) {
            Note("   DIFF: answered after more than " + std::to_string(kBadNetNameMaxMs) + " ms");
            ++g_differences;
        }
    }
    SetLastError(0xBEEF);
    Connect("\\\\127.0.0.1\\ipc$", BED_USER_A, "wrong", nullptr);
    Answer("last-error code after a refused connect", GetLastError(),
           ERROR_LOGON_FAILURE);

    std::printf("Network provider (WNetCancelConnection2A, flags 1, force TRUE)\n");
    double start = NowMs();
    DWORD result = WNetCancelConnection2A("\\\\127.0.0.1\\ipc$", CONNECT_UPDATE_PROFILE, TRUE);
    Answer("\\\\127.0.0.1\\ipc$", result, NO_ERROR, NowMs() - start);
    result = WNetCancelConnection2A("\\\\localhost\\ipc$", CONNECT_UPDATE_PROFILE, TRUE);
    Answer("\\\\localhost\\ipc$", result, NO_ERROR);
    start = NowMs();
    result = WNetCancelConnection2A("\\\\192.168.0.1\\ipc$", CONNECT_UPDATE_PROFILE, TRUE);
    Answer("\\\\192.168.0.1\\ipc$", result, ERROR_NOT_CONNECTED, NowMs() - start);

    // What mpr handed the provider: the log says null, empty or given for each call.
    std::printf("Provider log, this process (%s)\n", BED_LOG_A);
    const std::vector<std::string> own = OwnLogLines();
    std::string kinds;
    for (const std::string& line : own) {
        if (Field(line, "op") != "connect") continue;
        kinds += (Field(line, "user") == "<null>" ? "null" : Field(line, "user").empty() ? "empty" : "given");
        kinds += "/" + Field(line, "password") + " ";
    }
    Note("user/password as the provider saw them, in call order:");
    Note("  " + kinds);
    const std::string expectedKinds =
        "null/null null/null given/given given/given given/given given/empty empty/empty "
        "given/given null/given null/null null/null null/null null/null given/given given/given ";
    Answer("null stays null, an empty text stays empty (1 = as passed)", kinds == expectedKinds, 1);
    DWORD entries3 = 0;
    for (const std::string& line : own) entries3 += Field(line, "entry") == "NPAddConnection3";
    Answer("connects that reached NPAddConnection3", entries3, 15);
    StressLog(4, 50);
}

// Texts that could break the log's lines or fields: control characters, and a remote
// name longer than the provider writes out.
void ReportLogFormat()
{
    std::printf("Provider log format\n");
    const size_t before = OwnLogLines().size();
    Connect("\\\\127.0.0.1\\ipc$", "a\tb\r\nc", "x", nullptr);
    const std::string longRemote = "\\\\" + std::string(300, 'h') + "\\ipc$";
    Connect(longRemote.c_str(), nullptr, nullptr, nullptr);
    const std::vector<std::string> own = OwnLogLines();
    Answer("lines written for 2 connects", static_cast<DWORD>(own.size() - before), 2);
    if (own.size() < before + 2) return;
    const std::string& escaped = own[before];
    Answer("a user with a tab and a line break is written escaped (1)",
           Field(escaped, "user") == "a\\x09b\\x0d\\x0ac" && TabsIn(escaped) == 12, 1);
    const std::string& cut = own[before + 1];
    Answer("a 306-character remote name is cut at 260, the line whole (1)",
           Field(cut, "remote") == "\\\\" + std::string(258, 'h') + "<cut>" && TabsIn(cut) == 12 &&
               Field(cut, "result") == "67",
           1);
}

// ---- Service Control Manager ------------------------------------------------------

struct Enumerated {
    std::string name, display;
    DWORD state;
};

// The two-call enumeration of every service and driver in every state.
bool Enumerate(SC_HANDLE manager, std::vector<Enumerated>& out, DWORD* sizeError, DWORD* needed)
{
    DWORD returned = 0, resume = 0;
    *needed = 0;
    EnumServicesStatusA(manager, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL, nullptr, 0,
                        needed, &returned, &resume);
    *sizeError = GetLastError();
    if (*sizeError != ERROR_MORE_DATA) return false;
    std::vector<BYTE> buffer(*needed);
    resume = 0;
    DWORD bytesNeeded = 0;
    if (!EnumServicesStatusA(manager, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL,
                             reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()), *needed,
                             &bytesNeeded, &returned, &resume))
        return false;
    const auto* records = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
    out.clear();
    for (DWORD i = 0; i < returned; ++i)
        out.push_back({records[i].lpServiceName, records[i].lpDisplayName ? records[i].lpDisplayName : "",
                       records[i].ServiceStatus.dwCurrentState});
    return true;
}

DWORD EnumeratedState(SC_HANDLE manager, const char* name)
{
    std::vector<Enumerated> all;
    DWORD sizeError = 0, needed = 0;
    if (!Enumerate(manager, all, &sizeError, &needed)) return 0;
    for (const Enumerated& service : all)
        if (lstrcmpiA(service.name.c_str(), name) == 0) return service.state;
    return 0;
}

DWORD QueryState(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs)
{
    const double end = NowMs() + timeoutMs;
    while (QueryState(service) != state) {
        if (NowMs() > end) return false;
        Sleep(50);
    }
    return true;
}

// Brings a bed service back to stopped, whatever an earlier run left behind.
void EnsureStopped(SC_HANDLE service)
{
    if (QueryState(service) == SERVICE_STOPPED) return;
    SERVICE_STATUS status;
    ControlService(service, kQuitControl, &status);
    WaitForState(service, SERVICE_STOPPED, 10000);
}

DWORD Start(SC_HANDLE service, double* ms)
{
    const double start = NowMs();
    const DWORD result = ResultOf(StartServiceA(service, 0, nullptr));
    *ms = NowMs() - start;
    return result;
}

DWORD Stop(SC_HANDLE service, DWORD* stateAfter, double* ms)
{
    SERVICE_STATUS status = {};
    const double start = NowMs();
    const DWORD result = ResultOf(ControlService(service, SERVICE_CONTROL_STOP, &status));
    *ms = NowMs() - start;
    *stateAfter = status.dwCurrentState;
    return result;
}

// The call runs before its answer is printed, with its own time.
DWORD AnswerStart(const std::string& what, SC_HANDLE service, DWORD expected)
{
    double ms = 0;
    const DWORD result = Start(service, &ms);
    Answer(what, result, expected, ms);
    return result;
}

DWORD AnswerStop(const std::string& what, SC_HANDLE service, DWORD expected, DWORD* stateAfter = nullptr)
{
    double ms = 0;
    DWORD state = 0;
    const DWORD result = Stop(service, &state, &ms);
    Answer(what, result, expected, ms);
    if (stateAfter) *stateAfter = state;
    return result;
}

std::string Hex(const std::string& text)
{
    std::string out;
    char byte[4];
    for (unsigned char c : text) {
        std::snprintf(byte, sizeof(byte), "%02X", c);
        out += byte;
    }
    return out;
}

void ReportManager(const char* host)
{
    std::printf("Service Control Manager on \"%s\" (system code page %u)\n", host, GetACP());
    const char* machines[] = {host, "localhost", "\\\\127.0.0.1", "", nullptr};
    for (const char* machine : machines) {
        SC_HANDLE manager = OpenSCManagerA(machine, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
        const DWORD result = manager ? 0 : GetLastError();
        Answer("OpenSCManagerA(" + Quoted(machine) + ", null, ENUMERATE_SERVICE)", result, 0);
        if (manager) CloseServiceHandle(manager);
    }

    SC_HANDLE manager = OpenSCManagerA(host, nullptr, SC_MANAGER_ALL_ACCESS);
    Answer("OpenSCManagerA(host, null, SC_MANAGER_ALL_ACCESS)", manager ? 0 : GetLastError(), 0);
    if (!manager) return;

    std::vector<SC_HANDLE> services;
    for (const char* name : kAllBedServices) {
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
        Answer(std::string("OpenServiceA(") + name + ", SERVICE_ALL_ACCESS)", service ? 0 : GetLastError(), 0);
        services.push_back(service);
        if (service) EnsureStopped(service);
    }
    SC_HANDLE absent = OpenServiceA(manager, "QmBedNoSuchService", SERVICE_ALL_ACCESS);
    Answer("OpenServiceA(QmBedNoSuchService)", absent ? 0 : GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    if (absent) CloseServiceHandle(absent);

    std::printf("Enumeration (EnumServicesStatusA, SERVICE_WIN32 | SERVICE_DRIVER, all states)\n");
    std::vector<Enumerated> all;
    DWORD sizeError = 0, needed = 0;
    const double start = NowMs();
    const bool listed = Enumerate(manager, all, &sizeError, &needed);
    const double ms = NowMs() - start;
    Answer("last-error code after the size query", sizeError, ERROR_MORE_DATA);
    Answer("data call succeeded (1)", listed, 1, ms);
    Note("   " + std::to_string(all.size()) + " services and drivers, " + std::to_string(needed) +
         " bytes");
    for (const char* name : kAllBedServices) {
        bool found = false;
        for (const Enumerated& service : all) {
            if (service.name != name) continue;
            found = true;
            Note("   " + service.name + " \"" + service.display + "\" state " +
                 std::to_string(service.state));
            Note("     in hex: " + Hex(service.name) + " / " + Hex(service.display));
        }
        Answer(std::string("listed: ") + name, found, 1);
    }

    std::printf("Start and stop (StartServiceA with no arguments, ControlService stop)\n");
    DWORD state = 0;
    // A service that runs and stops: the ordinary answers.
    if (SC_HANDLE s = services[0]) {
        AnswerStart("StartServiceA(QmBedRunning)", s, 0);
        Answer("  state right after", QueryState(s), SERVICE_RUNNING);
        AnswerStart("StartServiceA(QmBedRunning) again", s, ERROR_SERVICE_ALREADY_RUNNING);
        AnswerStop("ControlService(QmBedRunning, stop)", s, 0, &state);
        Answer("  state in the returned status", state, SERVICE_STOP_PENDING);
        Answer("  reaches stopped (1)", WaitForState(s, SERVICE_STOPPED, 5000), 1);
        AnswerStop("ControlService(QmBedRunning, stop) when stopped", s, ERROR_SERVICE_NOT_ACTIVE, &state);
    }
    if (SC_HANDLE s = services[1]) {
        AnswerStart("StartServiceA(QmBedNoStop)", s, 0);
        AnswerStart("StartServiceA(QmBedNoStop) again", s, ERROR_SERVICE_ALREADY_RUNNING);
        AnswerStop("ControlService(QmBedNoStop, stop)", s, ERROR_INVALID_SERVICE_CONTROL, &state);
        Answer("  state afterwards", QueryState(s), SERVICE_RUNNING);
        SERVICE_STATUS status;
        Answer("ControlService(QmBedNoStop, 200) ends it", ResultOf(ControlService(s, kQuitControl, &status)), 0);
        Answer("  reaches stopped (1)", WaitForState(s, SERVICE_STOPPED, 5000), 1);
    }
    if (SC_HANDLE s = services[2]) {
        AnswerStart("StartServiceA(QmBedSlowStop)", s, 0);
        AnswerStart("StartServiceA(QmBedSlowStop) again", s, ERROR_SERVICE_ALREADY_RUNNING);
        const double stopAt = NowMs();
        AnswerStop("ControlService(QmBedSlowStop, stop)", s, 0, &state);
        Answer("  state in the returned status", state, SERVICE_STOP_PENDING);
        AnswerStart("  StartServiceA while stop pending", s, ERROR_SERVICE_ALREADY_RUNNING);
        AnswerStop("  ControlService(stop) while stop pending", s, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, &state);
        // The states a refresh would show while the service stops.
        std::string seen;
        DWORD last = 0;
        double stoppedAt = -1;
        while (NowMs() - stopAt < 10000) {
            const DWORD now = EnumeratedState(manager, kSlowStop);
            if (now != last) {
                char entry[48];
                std::snprintf(entry, sizeof(entry), "%s%lu at %.0f ms", seen.empty() ? "" : ", ",
                              static_cast<unsigned long>(now), NowMs() - stopAt);
                seen += entry;
                last = now;
            }
            if (now == SERVICE_STOPPED) {
                stoppedAt = NowMs() - stopAt;
                break;
            }
            Sleep(100);
        }
        Note("   states listed by EnumServicesStatusA after the stop: " + seen);
        Answer("  listed stopped within 2.5 to 6 s (1)", stoppedAt >= 2500 && stoppedAt <= 6000, 1);
    }
    if (SC_HANDLE s = services[3]) {
        AnswerStart("StartServiceA(QmBedDisabled)", s, ERROR_SERVICE_DISABLED);
        AnswerStop("ControlService(QmBedDisabled, stop)", s, ERROR_SERVICE_NOT_ACTIVE, &state);
    }
    if (SC_HANDLE s = services[4]) {
        AnswerStart("StartServiceA(QmBedMissing), no such file", s, ERROR_FILE_NOT_FOUND);
        Answer("  state afterwards", QueryState(s), SERVICE_STOPPED);
        AnswerStop("ControlService(QmBedMissing, stop)", s, ERROR_SERVICE_NOT_ACTIVE, &state);
    }
    if (SC_HANDLE s = services[5]) {
        AnswerStart("StartServiceA(QmBedMissingDir), no such folder", s, ERROR_FILE_NOT_FOUND);
    }
    if (SC_HANDLE s = services[6]) {
        AnswerStart("StartServiceA(QmBed\\xC4\\xD6\\xFC)", s, 0);
        AnswerStop("ControlService(QmBed\\xC4\\xD6\\xFC, stop)", s, 0, &state);
        Answer("  reaches stopped (1)", WaitForState(s, SERVICE_STOPPED, 5000), 1);
    }
    for (SC_HANDLE service : services)
        if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// ---- Quillmark's window -----------------------------------------------------------

// What a person would see of Quillmark in this prefix, read from outside its process.
struct ConsoleView {
    HWND dialog = nullptr;
    bool visible = false;
    RECT rect = {};
    int rows = -1;                     // -1: the list did not answer
    std::vector<std::string> missing;  // bed services without a row
};

int ListRowCount(HWND list)
{
    DWORD_PTR rows = 0;
    if (!SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &rows)) return -1;
    return static_cast<int>(rows);
}

// The service names in the list's second column, in this program's code page. The list's
// messages take pointers into its own process, so the record and the text buffer are
// placed there; the text is read as the list holds it (UTF-16): Quillmark's code page
// (UTF-8) is not this program's.
bool ListServiceNames(HWND list, int rows, std::vector<std::string>& names)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return false;
    constexpr int kTextMax = 260;
    char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kTextMax * sizeof(wchar_t),
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    bool ok = remote != nullptr;
    if (ok) {
        LVITEMW item = {};
        item.iSubItem = 1;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        item.cchTextMax = kTextMax;
        ok = WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        wchar_t text[kTextMax + 1] = {};
        char narrow[kTextMax * 2 + 1] = {};
        for (int row = 0; ok && row < rows; ++row) {
            DWORD_PTR length = 0;
            ok = SendMessageTimeoutA(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote),
                                     SMTO_NORMAL, 5000, &length) &&
                 ReadProcessMemory(process, remote + sizeof(LVITEMW), text, kTextMax * sizeof(wchar_t), nullptr);
            if (ok)
                names.emplace_back(narrow, WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(wcsnlen(text, kTextMax)),
                                                               narrow, sizeof narrow, nullptr, nullptr));
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return ok;
}

ConsoleView LookAtConsole(bool withList)
{
    ConsoleView view;
    view.dialog = FindWindowA("#32770", "Quillmark");
    if (!view.dialog) return view;
    GetWindowRect(view.dialog, &view.rect);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT shown;
    view.visible = IsWindowVisible(view.dialog) && !IsIconic(view.dialog) &&
                   IntersectRect(&shown, &view.rect, &screen);
    if (!withList) return view;
    const HWND list = FindWindowExA(view.dialog, nullptr, WC_LISTVIEWA, nullptr);
    if (!list) return view;
    view.rows = ListRowCount(list);
    std::vector<std::string> names;
    if (view.rows < 0 || !ListServiceNames(list, view.rows, names)) {
        view.rows = -1;
        return view;
    }
    for (const char* bed : kAllBedServices) {
        bool found = false;
        for (const std::string& name : names) found = found || name == bed;
        if (!found) view.missing.push_back(bed);
    }
    return view;
}

// Waits up to the given time for Quillmark's window to be on screen and, with
// withList, for its list to hold a row for each of the bed's services. Prints one line:
// what it saw, or what did not happen.
int Window(int seconds, bool withList)
{
    const double end = NowMs() + 1000.0 * seconds;
    ConsoleView view;
    for (;;) {
        view = LookAtConsole(withList);
        const bool done = view.visible && (!withList || (view.rows >= 0 && view.missing.empty()));
        if (done || NowMs() > end) break;
        Sleep(250);
    }
    const RECT& r = view.rect;
    if (!view.dialog) {
        std::printf("no Quillmark window within %d s\n", seconds);
        return 1;
    }
    if (!view.visible) {
        std::printf("Quillmark's window is not on screen (at %ld,%ld-%ld,%ld, %s)\n", r.left, r.top,
                    r.right, r.bottom, IsWindowVisible(view.dialog) ? "visible" : "hidden");
        return 1;
    }
    if (!withList) {
        std::printf("Quillmark's window is on screen at %ld,%ld-%ld,%ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (view.rows < 0) {
        std::printf("Quillmark's list did not answer within %d s\n", seconds);
        return 1;
    }
    if (!view.missing.empty()) {
        std::string names;
        for (const std::string& name : view.missing) names += (names.empty() ? "" : ", ") + name;
        std::printf("Quillmark's list holds %d rows but none for %s after %d s\n", view.rows,
                    names.c_str(), seconds);
        return 1;
    }
    std::printf("Quillmark's list holds %d rows, the %zu bed services among them\n", view.rows,
                std::size(kAllBedServices));
    return 0;
}

// ---- Single calls -----------------------------------------------------------------

// "-null" and "-empty" stand for a null pointer and an empty text.
const char* Credential(const char* argument)
{
    if (std::strcmp(argument, "-null") == 0) return nullptr;
    if (std::strcmp(argument, "-empty") == 0) return "";
    return argument;
}

int List(const char* host, const char* prefix, bool countOnly)
{
    SC_HANDLE manager = OpenSCManagerA(host, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) {
        std::printf("OpenSCManagerA failed: %lu\n", GetLastError());
        return 1;
    }
    std::vector<Enumerated> all;
    DWORD sizeError = 0, needed = 0;
    const double start = NowMs();
    const bool listed = Enumerate(manager, all, &sizeError, &needed);
    const double ms = NowMs() - start;
    CloseServiceHandle(manager);
    if (!listed) {
        std::printf("enumeration failed: size query %lu, then %lu\n", sizeError, GetLastError());
        return 1;
    }
    size_t matching = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (std::strncmp(all[i].name.c_str(), prefix, std::strlen(prefix)) != 0) continue;
        ++matching;
        if (!countOnly)
            std::printf("%zu\t%s\t%s\t%lu\n", i, all[i].name.c_str(), all[i].display.c_str(),
                        all[i].state);
    }
    if (countOnly)
        std::printf("%zu\n", matching);
    else
        std::printf("%zu of %zu listed, %lu bytes, %.1f ms\n", matching, all.size(), needed, ms);
    return 0;
}

int Control(const char* host, const char* name, const char* verb)
{
    SC_HANDLE manager = OpenSCManagerA(host, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        std::printf("OpenSCManagerA failed: %lu\n", GetLastError());
        return 1;
    }
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (!service) {
        std::printf("OpenServiceA failed: %lu\n", GetLastError());
        CloseServiceHandle(manager);
        return 1;
    }
    DWORD result = 0, state = 0;
    double ms = 0;
    if (std::strcmp(verb, "start") == 0) {
        result = Start(service, &ms);
    } else if (std::strcmp(verb, "stop") == 0) {
        result = Stop(service, &state, &ms);
    } else if (std::strcmp(verb, "quit") == 0) {
        EnsureStopped(service);
        result = QueryState(service) == SERVICE_STOPPED ? 0 : 1;
    }
    std::printf("%s %s: %lu, state %lu, %.1f ms\n", verb, name, result, QueryState(service), ms);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result == 0 ? 0 : 1;
}

int Usage()
{
    std::printf(
        "usage: qmbedprobe report [HOST]             the measured round (HOST 127.0.0.1)\n"
        "       qmbedprobe connect REMOTE [USER PASSWORD]  (-null, -empty for null, \"\")\n"
        "       qmbedprobe cancel NAME\n"
        "       qmbedprobe list HOST [PREFIX] | count HOST PREFIX\n"
        "       qmbedprobe start|stop|quit HOST NAME  (quit: control 200, then wait)\n"
        "       qmbedprobe logstress THREADS COUNT\n"
        "       qmbedprobe window SECONDS [list]  (Quillmark's window on screen; list: it lists the bed)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // Lines come out in order even when the output is a pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    g_logLinesAtStart = ReadLog().size();
    if (command == "report") {
        const char* host = argc >= 3 ? argv[2] : "127.0.0.1";
        ReportProvider();
        ReportLogFormat();
        ReportManager(host);
        std::printf("%d difference(s)\n", g_differences);
        return g_differences == 0 ? 0 : 1;
    }
    if (command == "connect" && (argc == 3 || argc == 5)) {
        RequireBedProviderAlone();
        double ms = 0;
        const DWORD result = Connect(argv[2], argc == 5 ? Credential(argv[3]) : nullptr,
                                     argc == 5 ? Credential(argv[4]) : nullptr, &ms);
        std::printf("WNetAddConnection2A: %lu, %.1f ms\n", result, ms);
        return result == 0 ? 0 : 1;
    }
    if (command == "cancel" && argc == 3) {
        RequireBedProviderAlone();
        const DWORD result = WNetCancelConnection2A(argv[2], CONNECT_UPDATE_PROFILE, TRUE);
        std::printf("WNetCancelConnection2A: %lu\n", result);
        return result == 0 ? 0 : 1;
    }
    if (command == "list" && (argc == 3 || argc == 4)) return List(argv[2], argc == 4 ? argv[3] : "", false);
    if (command == "count" && argc == 4) return List(argv[2], argv[3], true);
    if ((command == "start" || command == "stop" || command == "quit") && argc == 4)
        return Control(argv[2], argv[3], command.c_str());
    if (command == "window" && (argc == 3 || (argc == 4 && std::strcmp(argv[3], "list") == 0)))
        return Window(std::atoi(argv[2]), argc == 4);
    if (command == "logstress" && argc == 4) {
        StressLog(std::atoi(argv[2]), std::atoi(argv[3]));
        return g_differences == 0 ? 0 : 1;
    }
    return Usage();
}
