// Drives the remote logic with a platform and a console whose every answer is read from
// the input, then checks that every handle, buffer and session was released exactly once
// and that the user saw exactly what those answers call for: messages and rows.
#include "RemoteScenario.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "FakesCore.h"
#include "Oracle.h"
#include "remote/Refresh.h"
#include "remote/StartStop.h"

namespace fuzz {
namespace {

using fakes::FakeConsole;
using fakes::FakeService;
using fakes::Op;
using fakes::Row;
using remote::EnumServiceStatus;

// Larger allocations fail, as LocalAlloc does when memory is short: an arbitrary needed
// size would otherwise ask for gigabytes.
constexpr std::uint32_t kAllocLimit = 1u << 20;
// The scripted list stops growing here, about what one real data call returns at most.
constexpr std::uint32_t kMaxListBytes = 256u * 1024u;
// Two backslashes, one separator, "ipc$" and the terminator leave this much for a host.
constexpr std::size_t kLongestHost = 260 - 2 - 1 - 4 - 1;

// Reads the input front to back. Once it runs out every read answers zero, and zero
// stands for the ordinary answer wherever the script has a choice.
class CInput {
public:
    CInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint16_t U16()
    {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | Byte() << 8);
    }
    std::uint32_t U32()
    {
        const std::uint32_t low = U16();
        return low | static_cast<std::uint32_t>(U16()) << 16;
    }

    // Any bytes but NUL. A tag below 0x80 is the length of the bytes that follow (NULs
    // among them are dropped); from 0x80 on, a 16-bit length follows and then a pattern
    // of 1 to 4 bytes repeated to that length, so long texts cost few input bytes.
    std::string Text()
    {
        const std::uint8_t tag = Byte();
        std::string text;
        if (tag < 0x80) {
            for (int i = 0; i < tag; ++i)
                if (const char c = static_cast<char>(Byte()))
                    text += c;
            return text;
        }
        const std::uint16_t length = U16();
        std::string pattern;
        for (int i = 0; i <= (tag & 3); ++i)
            if (const char c = static_cast<char>(Byte()))
                pattern += c;
        if (pattern.empty())
            pattern = "\xE9";
        text = pattern;
        while (text.size() < length)
            text.append(text);  // doubling: a long text costs a few copies, not thousands
        text.resize(length);
        return text;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// One platform call's answer: success, or failure with this error code.
struct Fault {
    bool fails = false;
    std::uint32_t error = 0;

    static Fault Read(CInput& in)
    {
        Fault fault;
        fault.fails = in.Byte() % 4 == 3;
        if (fault.fails)
            fault.error = in.U32();
        return fault;
    }
};

enum class Command { Refresh, Start, Stop };

// Everything the platform and the console will answer, read from the input once.
struct Script {
    Command command = Command::Refresh;
    FakeConsole::Threads threads = FakeConsole::Threads::Inline;
    bool currentCredential = true;
    remote::RemoteTarget target;
    int selectedRow = -1;
    std::string columnOneText;
    std::vector<int> answers;
    Fault commandConnect, commandManager, commandService, request;
    Fault refreshConnect, refreshManager;
    bool sizeResult = false;  // what the size query returns, which nobody may rely on
    std::uint32_t sizeError = remote::kErrorMoreData;
    int neededMode = 0;
    std::uint32_t neededValue = 0;
    bool allocFails = false;
    Fault data;
    int returnedMode = 0;
    std::uint32_t returnedValue = 0;
    Fault closeNoise, cancelNoise;  // nobody reads what a close or a cancel answers
    std::vector<FakeService> services;
    // Read after the services, so that inputs written before these existed keep their
    // meaning (and read zeros here: the ordinary answer).
    int textMode = 0;  // 0: texts as laid out; 1 to 3: one record's text made unreadable
    std::uint16_t textRecord = 0;
    Fault logon, impersonation, revertNoise, closeTokenNoise;
    // As a remote manager bounds its calls: while more than this many records (0: any) fit,
    // a data call lists that many, with the index to go on from.
    std::uint8_t sliceRecords = 0;

    static Script Read(CInput& in)
    {
        Script s;
        s.command = static_cast<Command>(in.Byte() % 3);
        static constexpr FakeConsole::Threads kThreads[] = {
            FakeConsole::Threads::Inline, FakeConsole::Threads::Run, FakeConsole::Threads::Refuse};
        s.threads = kThreads[in.Byte() % 3];
        s.currentCredential = in.Byte() % 2 == 0;
        s.target.strHost = in.Text();
        s.target.strUserName = in.Text();
        s.target.strPassword = in.Text();
        s.selectedRow = static_cast<int>(in.U32());
        s.columnOneText = in.Text();
        for (int n = in.Byte() % 4; n > 0; --n)
            s.answers.push_back(static_cast<int>(in.U32()));
        for (Fault* fault : {&s.commandConnect, &s.commandManager, &s.commandService, &s.request,
                             &s.refreshConnect, &s.refreshManager})
            *fault = Fault::Read(in);
        s.sizeResult = in.Byte() % 2 == 1;
        if (in.Byte() % 4 == 3)
            s.sizeError = in.U32();
        s.neededMode = in.Byte() % 4;
        if (s.neededMode != 0)
            s.neededValue = in.U32();
        s.allocFails = in.Byte() % 8 == 7;
        s.data = Fault::Read(in);
        s.returnedMode = in.Byte() % 4;
        if (s.returnedMode != 0)
            s.returnedValue = in.U32();
        s.closeNoise = Fault::Read(in);
        s.cancelNoise = Fault::Read(in);
        std::size_t listBytes = 0;
        for (int n = in.U16() % 513; n > 0; --n) {
            FakeService service;
            service.strName = in.Text();
            service.strDisplayName = in.Text();
            const std::uint8_t state = in.Byte();
            service.dwState = state < 0xF0 ? state % 10u : in.U32();
            listBytes += sizeof(EnumServiceStatus) + service.strName.size() + 1 +
                         service.strDisplayName.size() + 1;
            if (listBytes > kMaxListBytes)
                break;
            s.services.push_back(std::move(service));
        }
        s.textMode = in.Byte() % 4;
        s.textRecord = in.U16();
        for (Fault* fault : {&s.logon, &s.impersonation, &s.revertNoise, &s.closeTokenNoise})
            *fault = Fault::Read(in);
        s.sliceRecords = in.Byte();
        return s;
    }

    bool IsCommand() const { return command != Command::Refresh; }
    const char* Name() const
    {
        return command == Command::Refresh ? "refresh" : command == Command::Start ? "start" : "stop";
    }
    bool HostFits() const { return target.strHost.size() <= kLongestHost; }
    std::string RemoteName() const { return "\\\\" + target.strHost + "\\ipc$"; }
    int Answer(std::size_t box) const { return box < answers.size() ? answers[box] : 1; }
    std::string Describe() const;
};

// The needed size the size query reports: the truth, more, less, or anything at all.
std::uint32_t NeededFor(const Script& s)
{
    const std::uint32_t total = fakes::FakePlatform::BufferSizeFor(s.services);
    switch (s.neededMode) {
    case 0: return total;
    case 1: return total + s.neededValue % 4096;
    case 2: return total - std::min(total, s.neededValue % 4096);
    default: return s.neededValue;
    }
}

// How many of the services from the first one given fit in size bytes, records and texts
// together.
std::uint32_t RecordsThatFit(const std::vector<FakeService>& services, std::uint32_t size,
                             std::size_t first = 0)
{
    std::uint64_t used = 0;
    std::uint32_t count = 0;
    for (const FakeService& service : std::span(services).subspan(first)) {
        used += sizeof(EnumServiceStatus) + service.strName.size() + 1 +
                service.strDisplayName.size() + 1;
        if (used > size)
            break;
        ++count;
    }
    return count;
}

// The count a successful data call reports: the records written, fewer, or more than the
// buffer can hold. A count above the records written that would still fit is never
// given: those slots hold the texts, and no look at the count can tell them from records.
std::uint32_t ReturnedFor(const Script& s, std::uint32_t written, std::uint32_t capacity)
{
    switch (s.returnedMode) {
    case 0: return written;
    case 1: return s.returnedValue % (written + 1);
    case 2: return capacity + 1 + s.returnedValue % 65536;
    default:
        return s.returnedValue > written && s.returnedValue <= capacity ? written
                                                                         : s.returnedValue;
    }
}

// The fake platform, except that the enumeration and its buffer answer as the script
// says: any needed size and last-error code, a buffer laid out as the real call lays it
// out (records, then the texts they point to) holding as many records as fit, and any
// returned count.
class CScriptedPlatform final : public fakes::FakePlatform {
public:
    CScriptedPlatform(fakes::CJournal& journal, const Script& script)
        : FakePlatform(journal), m_script(script)
    {
        services = script.services;
    }

    bool EnumServicesStatusA(remote::ScHandle manager, std::uint32_t type, std::uint32_t state,
                             void* buffer, std::uint32_t size, std::uint32_t* needed,
                             std::uint32_t* returned, std::uint32_t* resume) override
    {
        auto lock = BeginEnum(manager, type, state, buffer, size, resume);
        if (!buffer) {
            *needed = NeededFor(m_script);
            *returned = 0;
            *resume = 0x5A5A;  // what a refused call leaves here is no starting point
            SetLastErrorLocked(m_script.sizeError);
            return m_script.sizeResult;
        }
        auto block = m_liveBlocks.find(buffer);
        if (block == m_liveBlocks.end() || block->second < size) {
            m_problems.push_back("data call names more bytes than its buffer holds");
            SetLastErrorLocked(87);
            return false;
        }
        // Even a refused call may leave records behind; only success makes them count.
        const std::size_t first = std::min<std::size_t>(*resume, services.size());
        const std::uint32_t written = RecordsThatFit(services, size, first);
        if (m_script.sliceRecords && written > m_script.sliceRecords && !m_script.data.fails) {
            WriteRecords(static_cast<char*>(buffer), first, m_script.sliceRecords);
            *needed = NeededFor(m_script);
            *returned = m_script.sliceRecords;
            *resume = static_cast<std::uint32_t>(first + m_script.sliceRecords);
            SetLastErrorLocked(remote::kErrorMoreData);
            return false;
        }
        WriteRecords(static_cast<char*>(buffer), first, written);
        *resume = 0;
        if (m_script.data.fails) {
            *needed = NeededFor(m_script);
            *returned = written;
            SetLastErrorLocked(m_script.data.error);
            return false;
        }
        *needed = 0;
        *returned = ReturnedFor(m_script, written, size / sizeof(EnumServiceStatus));
        if (written > 0)
            SpoilText(static_cast<char*>(buffer), size, m_script.textRecord % written);
        return true;
    }

    void* LocalAllocZeroed(std::size_t bytes) override
    {
        if (m_script.allocFails || bytes > kAllocLimit) {
            auto lock = Begin(Op::Alloc, "LocalAlloc");
            ++allocs;
            return nullptr;
        }
        return FakePlatform::LocalAllocZeroed(bytes);
    }

private:
    // One record's text made unreadable as the script says: it points before the buffer,
    // past its end, or at its last byte, which is then no terminator.
    void SpoilText(char* buffer, std::uint32_t size, std::uint32_t record) const
    {
        auto* records = reinterpret_cast<EnumServiceStatus*>(buffer);
        switch (m_script.textMode) {
        case 1: records[record].lpServiceName = buffer - 1 - m_script.textRecord % 64; break;
        case 2: records[record].lpDisplayName = buffer + size + m_script.textRecord % 64; break;
        case 3:
            records[record].lpDisplayName = buffer + size - 1;
            buffer[size - 1] = 'x';
            break;
        default: break;
        }
    }

    const Script& m_script;
};

// Which steps of the refresh fail, read off the script.
expected::RefreshSteps RefreshStepsOf(const Script& s)
{
    expected::RefreshSteps steps;
    steps.sessionRefused = !s.HostFits() || s.refreshConnect.fails;
    steps.noThread = s.threads == FakeConsole::Threads::Refuse;
    steps.managerRefused = s.refreshManager.fails;
    steps.sizeQueryFailed = s.sizeError != remote::kErrorMoreData;
    const std::uint32_t needed = NeededFor(s);
    steps.noBuffer = s.allocFails || needed > kAllocLimit;
    steps.dataCallFailed = s.data.fails;
    // Slices from the top while more than one fits; the last call answers for the rest.
    std::size_t first = 0;
    while (!s.data.fails && s.sliceRecords &&
           RecordsThatFit(s.services, needed, first) > s.sliceRecords) {
        first += s.sliceRecords;
        ++steps.dataCalls;
    }
    steps.earlier.assign(s.services.begin(), s.services.begin() + first);
    const std::uint32_t capacity = needed / sizeof(EnumServiceStatus);
    const std::uint32_t written = RecordsThatFit(s.services, needed, first);
    const std::uint32_t returned = ReturnedFor(s, written, capacity);
    steps.countBeyondBuffer = returned > capacity;
    steps.textOutsideAnswer = s.textMode != 0 && written > 0 && s.textRecord % written < returned;
    if (!steps.countBeyondBuffer)
        steps.listed.assign(s.services.begin(), s.services.begin() + first + returned);
    return steps;
}

// What the user must see and what the run must leave, worked out from the script alone.
expected::Outcome Expect(const Script& s)
{
    if (!s.IsCommand())
        return expected::Refresh(RefreshStepsOf(s));
    expected::CommandSteps steps;
    steps.stop = s.command == Command::Stop;
    steps.noSelection = s.selectedRow == -1;
    steps.sessionRefused = !s.HostFits() || s.commandConnect.fails;
    steps.managerRefused = s.commandManager.fails;
    steps.serviceRefused = s.commandService.fails;
    steps.confirmed = s.Answer(0) == remote::kIdYes;
    if (s.request.fails)
        steps.refusedWith = s.request.error;
    steps.rowsBefore = {{0, Row{"shown", "", "", ""}}};
    return expected::Command(steps, RefreshStepsOf(s));
}

// Arbitrary bytes shown readably and not too long.
std::string Printable(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < 48; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    if (text.size() > 48)
        out += "...(" + std::to_string(text.size()) + " bytes)";
    return "\"" + out + "\"";
}

std::string Describe(const expected::Boxes& boxes)
{
    std::string out = "[";
    for (const fakes::MessageBox& box : boxes)
        out += " {" + Printable(box.text) + ", " + std::to_string(box.style) + "}";
    return out + " ]";
}

std::string Describe(const std::map<int, Row>& rows)
{
    std::string out = std::to_string(rows.size()) + " rows";
    for (auto& [index, row] : rows) {
        if (index >= 3) {
            out += " ...";
            break;
        }
        out += " [" + std::to_string(index) + ": " + Printable(row[0]) + " " + Printable(row[1]) +
               " " + Printable(row[2]) + " " + Printable(row[3]) + "]";
    }
    return out;
}

std::string Script::Describe() const
{
    std::ostringstream out;
    out << Name() << ", threads " << static_cast<int>(threads) << ", current credential "
        << currentCredential << ", host " << Printable(target.strHost) << ", row " << selectedRow
        << ", size query " << sizeResult << "/" << sizeError << ", needed " << NeededFor(*this)
        << ", alloc fails " << allocFails << ", data fails " << data.fails << ", returned mode "
        << returnedMode << "/" << returnedValue << ", services " << services.size();
    return out.str();
}

// Collects the invariants that did not hold.
class CFindings {
public:
    void Check(bool holds, const std::string& what)
    {
        if (!holds)
            m_problems.push_back(what);
    }
    void Add(const std::vector<std::string>& problems)
    {
        m_problems.insert(m_problems.end(), problems.begin(), problems.end());
    }
    std::vector<std::string> Take() { return std::move(m_problems); }

private:
    std::vector<std::string> m_problems;
};

void CheckCalls(const Script& s, const expected::Outcome& e, const CScriptedPlatform& platform,
                const FakeConsole& console, const fakes::CJournal& journal, CFindings& findings)
{
    const fakes::Text user = s.currentCredential ? fakes::Text() : s.target.strUserName;
    const fakes::Text password = s.currentCredential ? fakes::Text() : s.target.strPassword;
    for (const fakes::ConnectCall& call : platform.connects) {
        findings.Check(call.remoteName == s.RemoteName(), "connected to another remote name");
        findings.Check(call.user == user && call.password == password,
                       "connected with other credentials than the mode selects");
        findings.Check(call.dwType == remote::kResourceTypeDisk && !call.localName &&
                           !call.provider && call.flags == 0,
                       "connected with another resource record or flags");
    }
    for (const fakes::CancelCall& call : platform.cancels)
        findings.Check(call.name == s.RemoteName() && call.flags == remote::kConnectUpdateProfile &&
                           call.force,
                       "cancelled another name, or without update-profile and force");
    // The typed account is logged on in the explicit mode only, with its password and a
    // new-credentials logon; a refused logon or impersonation changes nothing else.
    for (const fakes::LogonCall& call : platform.logons)
        findings.Check(!s.currentCredential && call.password == s.target.strPassword &&
                           call.logonType == remote::kLogon32LogonNewCredentials &&
                           call.logonProvider == remote::kLogon32ProviderWinnt50,
                       "logged on in the current mode, or with another password or kind");
    for (const fakes::OpenManagerCall& call : platform.managerOpens)
        findings.Check(call.machine == s.target.strHost && !call.database,
                       "opened the manager of another machine or database");
    const std::uint32_t serviceRights =
        s.command == Command::Start ? remote::kServiceStart : remote::kServiceStop;
    for (const fakes::OpenServiceCall& call : platform.serviceOpens)
        findings.Check(call.name == s.columnOneText && call.access == serviceRights,
                       "opened another service than the selected row's column 1, or with "
                       "other access");
    for (const auto& [item, subItem] : console.itemTextCalls)
        findings.Check(item == s.selectedRow && subItem == 1, "read another cell than column 1");
    std::uint32_t from = 0;  // each data call goes on where the slice before it ended
    for (const fakes::EnumCall& call : platform.enums) {
        findings.Check(call.type == remote::kServiceWin32AndDriver &&
                           call.state == remote::kServiceStateAll && call.resumeIn == from,
                       "enumerated other types or states, or from another resume index");
        from += call.bufferNull ? 0 : s.sliceRecords;
        if (!call.bufferNull)
            findings.Check(call.size == NeededFor(s), "data call's size is not the needed size");
    }
    if (s.selectedRow == -1 && s.IsCommand())
        findings.Check(platform.RemoteCalls() == 0 && platform.allocs == 0,
                       "a command with no selected row reached the platform");

    const std::size_t requests = s.command == Command::Start ? platform.starts.size()
                                                             : platform.controls.size();
    if (s.IsCommand())
        findings.Check(requests == (e.requested ? 1u : 0u),
                       "the control request was made when it must not be, or not made");
    if (s.command == Command::Stop && e.serviceOpened) {
        // The question comes only once the service is open.
        const std::vector<std::string> events = journal.Events();
        const auto opened = std::find(events.begin(), events.end(), "OpenServiceA");
        findings.Check(std::find(events.begin(), opened, "AfxMessageBox") == opened,
                       "asked to confirm the stop before the service was open");
    }
}

}  // namespace

ScenarioResult RunRemoteScenario(const std::uint8_t* data, std::size_t size)
{
    CInput input(data, size);
    const Script s = Script::Read(input);

    fakes::CJournal journal;
    CScriptedPlatform platform(journal, s);
    FakeConsole console(journal);  // declared last: its end joins any pass still running
    console.target = s.target;
    console.currentCredential = s.currentCredential;
    console.selectedRow = s.selectedRow;
    console.itemTexts = {{{s.selectedRow, 1}, s.columnOneText}};
    console.answers = s.answers;
    console.threads = s.threads;
    console.InsertItem(0, "shown");  // a row from before: only a refresh may clear it

    const auto failIf = [&platform](Op op, const Fault& fault, int nth) {
        // The network provider answers with the error itself, and 0 there means success.
        const bool answersWithCode = op == Op::AddConnection || op == Op::CancelConnection;
        if (fault.fails)
            platform.Fail(op, answersWithCode && fault.error == 0 ? 1326 : fault.error, nth);
    };
    const int refreshCall = s.IsCommand() ? 1 : 0;  // a command connects and opens first
    if (s.IsCommand()) {
        failIf(Op::AddConnection, s.commandConnect, 0);
        failIf(Op::OpenManager, s.commandManager, 0);
        failIf(Op::OpenService, s.commandService, 0);
        failIf(s.command == Command::Start ? Op::StartService : Op::ControlService, s.request, 0);
    }
    failIf(Op::AddConnection, s.refreshConnect, refreshCall);
    failIf(Op::OpenManager, s.refreshManager, refreshCall);
    failIf(Op::CloseHandle, s.closeNoise, -1);
    failIf(Op::CancelConnection, s.cancelNoise, -1);
    failIf(Op::Logon, s.logon, -1);
    failIf(Op::Impersonate, s.impersonation, -1);
    failIf(Op::Revert, s.revertNoise, -1);
    failIf(Op::CloseToken, s.closeTokenNoise, -1);

    std::shared_ptr<remote::CPassControl> control;
    switch (s.command) {
    case Command::Refresh: control = remote::RefreshServiceList(console, platform); break;
    case Command::Start: control = remote::StartSelectedService(console, platform); break;
    case Command::Stop: control = remote::StopSelectedService(console, platform); break;
    }
    console.JoinPasses();

    const expected::Outcome e = Expect(s);
    CFindings findings;
    const expected::Boxes messages = console.Messages();
    findings.Check(messages == e.messages,
                   "messages " + Describe(messages) + ", expected " + Describe(e.messages));
    const std::map<int, Row> rows = console.Rows();
    findings.Check(rows == e.rows, "list " + Describe(rows) + ", expected " + Describe(e.rows));
    findings.Add(platform.Problems());
    findings.Check((control != nullptr) == e.passStarted,
                   control ? "a pass was reported that should not have started"
                           : "no pass was reported although one should have started");
    findings.Check(!control || control->HasEnded(), "the pass had not ended after its join");
    findings.Check(static_cast<int>(platform.enums.size()) == e.enumCalls,
                   std::to_string(platform.enums.size()) + " enumeration calls, expected " +
                       std::to_string(e.enumCalls));
    findings.Check(console.StrayWrites() == 0, "a row was written twice or before it existed");
    CheckCalls(s, e, platform, console, journal, findings);

    ScenarioResult result{findings.Take(), e.paths};
    if (!result.problems.empty())
        result.problems.insert(result.problems.begin(), "script: " + s.Describe());
    return result;
}

}  // namespace fuzz
