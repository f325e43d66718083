// Scripted stand-ins for the operating system and the console window, which record
// every call so that a test can check what the remote logic asked for and released.
// Free of any test framework, so that the fuzzing harness can use them too.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "remote/PlatformOps.h"
#include "remote/ServiceConsole.h"

namespace fakes {

using remote::ScHandle;
using Text = std::optional<std::string>;  // nullopt stands for a null pointer

inline Text CopyText(const char* text) { return text ? Text(text) : std::nullopt; }

// The order of events across both fakes, so that a test can check what came first.
class CJournal {
public:
    void Add(std::string event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

struct FakeService {
    std::string strName;
    std::string strDisplayName;
    std::uint32_t dwState;
};

// The platform operations that can be told to fail.
enum class Op {
    AddConnection,
    CancelConnection,
    OpenManager,
    EnumSize,  // EnumServicesStatusA without a buffer
    EnumData,  // EnumServicesStatusA with a buffer
    OpenService,
    StartService,
    ControlService,
    CloseHandle,  // CloseServiceHandle
    Alloc,
    Logon,
    Impersonate,
    Revert,
    CloseToken,  // CloseHandle of a logon's token
};

struct ConnectCall {
    std::uint32_t dwScope, dwType, dwDisplayType, dwUsage;
    Text localName, remoteName, comment, provider;
    Text password, user;
    std::uint32_t flags;
};
struct CancelCall {
    Text name;
    std::uint32_t flags;
    bool force;
};
struct OpenManagerCall {
    Text machine, database;
    std::uint32_t access;
};
struct EnumCall {
    ScHandle manager;
    std::uint32_t type, state;
    bool bufferNull;
    std::uint32_t size, resumeIn;
};
struct OpenServiceCall {
    ScHandle manager;
    Text name;
    std::uint32_t access;
};
struct StartCall {
    ScHandle service;
    std::uint32_t argc;
    bool argvNull;
};
struct ControlCall {
    ScHandle service;
    std::uint32_t control;
    bool statusNull;
};
struct LogonCall {
    Text user, domain, password;
    std::uint32_t logonType, logonProvider;
};

class FakePlatform : public remote::IPlatformOps {
public:
    explicit FakePlatform(CJournal& journal) : m_journal(journal) {}
    ~FakePlatform() override
    {
        for (auto& [block, bytes] : m_liveBlocks)
            std::free(block);  // reported by Problems(); freed here to keep the run clean
    }

    // --- Script -------------------------------------------------------------------
    std::vector<FakeService> services;
    // A successful data call leaves needed at zero, as the Service Control Manager
    // does; when set, it leaves the full size there instead.
    bool keepNeededOnSuccess = false;
    // Rewrites a successful data call's answer (buffer, size) before the caller sees it.
    std::function<void(char* buffer, std::uint32_t size)> editAnswer;
    // Like a remote manager: at most this many bytes a call (0: any), and when the rest does
    // not fit, the records that do, ERROR_MORE_DATA, the bytes the rest needs (bounded too)
    // and the index to go on from, which stops moving at the data call resumeStuckFrom.
    std::uint32_t bytesPerCall = 0;
    int resumeStuckFrom = -1;

    // Makes the nth call (counting from 0) of op fail with error; every call when nth < 0.
    void Fail(Op op, std::uint32_t error, int nth = -1)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failures[op].push_back({nth, error});
    }
    // Runs (outside the fake's lock) as a call of op begins, before it answers.
    void OnCall(Op op, std::function<void()> hook)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hooks[op] = std::move(hook);
    }

    // --- What was seen ------------------------------------------------------------
    std::vector<ConnectCall> connects;
    std::vector<CancelCall> cancels;
    std::vector<OpenManagerCall> managerOpens;
    std::vector<EnumCall> enums;
    std::vector<OpenServiceCall> serviceOpens;
    std::vector<StartCall> starts;
    std::vector<ControlCall> controls;
    std::vector<LogonCall> logons;
    int allocs = 0;

    int RemoteCalls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int total = 0;
        for (auto& [op, count] : m_calls)
            total += op == Op::Alloc ? 0 : count;
        return total;
    }
    std::set<std::string> EstablishedSessions() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::set<std::string> names;
        for (auto& [name, uses] : m_sessions)
            names.insert(name);
        return names;
    }
    bool IsManager(ScHandle handle) const { return Kind(handle) == "manager"; }
    bool IsService(ScHandle handle) const { return Kind(handle) == "service"; }

    // Everything acquired and not released exactly once, and everything released that
    // was never acquired; empty when the books balance.
    std::vector<std::string> Problems() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> problems = m_problems;
        for (auto& [handle, closeCount] : m_handleCloses)
            if (closeCount != 1)
                problems.push_back(m_handleKinds.at(handle) + " handle closed " +
                                   std::to_string(closeCount) + " times");
        if (!m_liveBlocks.empty())
            problems.push_back(std::to_string(m_liveBlocks.size()) + " buffer(s) never freed");
        for (auto& [name, uses] : m_sessions)
            problems.push_back("session left established: " + name);
        if (!m_impersonations.empty())
            problems.push_back(std::to_string(m_impersonations.size()) +
                               " thread(s) left impersonating");
        return problems;
    }

    // --- IPlatformOps -------------------------------------------------------------
    std::uint32_t WNetAddConnection2A(remote::NetResource* resource, const char* password,
                                      const char* user, std::uint32_t flags) override
    {
        auto lock = Begin(Op::AddConnection, "WNetAddConnection2A");
        connects.push_back({resource->dwScope, resource->dwType, resource->dwDisplayType,
                            resource->dwUsage, CopyText(resource->lpLocalName),
                            CopyText(resource->lpRemoteName), CopyText(resource->lpComment),
                            CopyText(resource->lpProvider), CopyText(password), CopyText(user),
                            flags});
        if (auto error = Failure(Op::AddConnection))
            return *error;
        // A second connection to the same name shares the first one's session.
        ++m_sessions[resource->lpRemoteName ? resource->lpRemoteName : ""];
        return remote::kNoError;
    }

    std::uint32_t WNetCancelConnection2A(const char* name, std::uint32_t flags,
                                         bool force) override
    {
        auto lock = Begin(Op::CancelConnection, "WNetCancelConnection2A");
        cancels.push_back({CopyText(name), flags, force});
        // No caller reads the answer, so the cancel counts as the release whatever it says.
        // A forced cancel ends the session however many connections share it, so a
        // cancel that comes after another's is reported.
        auto it = m_sessions.find(name ? name : "");
        if (it == m_sessions.end())
            m_problems.push_back(std::string("cancelled a session not established: ") +
                                 (name ? name : "(null)"));
        else if (force || --it->second == 0)
            m_sessions.erase(it);
        if (auto error = Failure(Op::CancelConnection))
            return *error;
        return remote::kNoError;
    }

    ScHandle OpenSCManagerA(const char* machine, const char* database,
                            std::uint32_t access) override
    {
        auto lock = Begin(Op::OpenManager, "OpenSCManagerA");
        managerOpens.push_back({CopyText(machine), CopyText(database), access});
        if (auto error = Failure(Op::OpenManager)) {
            SetLastErrorLocked(*error);
            return nullptr;
        }
        return NewHandle("manager");
    }

    bool EnumServicesStatusA(ScHandle manager, std::uint32_t type, std::uint32_t state,
                             void* buffer, std::uint32_t size, std::uint32_t* needed,
                             std::uint32_t* returned, std::uint32_t* resume) override
    {
        const Op op = buffer ? Op::EnumData : Op::EnumSize;
        auto lock = BeginEnum(manager, type, state, buffer, size, resume);
        const std::size_t first = buffer ? std::min<std::size_t>(*resume, services.size()) : 0;
        const std::vector<FakeService> rest(services.begin() + first, services.end());
        const std::uint32_t total = BufferSizeFor(rest);
        if (auto error = Failure(op)) {
            if (*error == remote::kErrorMoreData)
                *needed = total;
            *returned = 0;
            SetLastErrorLocked(*error);
            return false;
        }
        const std::uint32_t limit = bytesPerCall ? std::min(size, bytesPerCall) : size;
        std::uint32_t count = 0, used = 0;
        while (buffer && count < rest.size() && (used += BufferSizeFor({rest[count]})) <= limit)
            ++count;
        WriteRecords(static_cast<char*>(buffer), first, count);
        *returned = count;
        if (count < rest.size()) {
            *needed = bytesPerCall ? std::min(total, bytesPerCall) : total;
            // What a call that lists nothing leaves in the resume index is no starting point.
            const bool stuck = resumeStuckFrom >= 0 && m_callIndex[op] >= resumeStuckFrom;
            *resume = count == 0 ? 0x5A5A : static_cast<std::uint32_t>(first + (stuck ? 0 : count));
            SetLastErrorLocked(remote::kErrorMoreData);
            return false;
        }
        if (editAnswer)
            editAnswer(static_cast<char*>(buffer), size);
        *needed = keepNeededOnSuccess ? total : 0;
        *resume = 0;
        return true;
    }

    ScHandle OpenServiceA(ScHandle manager, const char* name, std::uint32_t access) override
    {
        auto lock = Begin(Op::OpenService, "OpenServiceA");
        serviceOpens.push_back({manager, CopyText(name), access});
        if (!IsOpen(manager, "manager"))
            m_problems.push_back("opened a service on a handle that is not an open manager");
        if (auto error = Failure(Op::OpenService)) {
            SetLastErrorLocked(*error);
            return nullptr;
        }
        return NewHandle("service");
    }

    bool StartServiceA(ScHandle service, std::uint32_t argc, const char** argv) override
    {
        return ServiceRequest(Op::StartService, "StartServiceA", service, [&] {
            starts.push_back({service, argc, argv == nullptr});
        });
    }

    bool ControlService(ScHandle service, std::uint32_t control,
                        remote::ServiceStatus* status) override
    {
        return ServiceRequest(Op::ControlService, "ControlService", service, [&] {
            controls.push_back({service, control, status == nullptr});
        });
    }

    bool CloseServiceHandle(ScHandle handle) override
    {
        auto lock = Begin(Op::CloseHandle);
        auto it = m_handleKinds.find(handle);
        const bool known = it != m_handleKinds.end() && it->second != "token";
        m_journal.Add("CloseServiceHandle(" + (known ? it->second : "?") + ")");
        if (known)
            ++m_handleCloses[handle];
        else
            m_problems.push_back("closed a handle never opened");
        // Like a cancel, a close counts as the release whatever it answers.
        if (auto error = Failure(Op::CloseHandle)) {
            SetLastErrorLocked(*error);
            return false;
        }
        return true;
    }

    bool LogonUserA(const char* user, const char* domain, const char* password,
                    std::uint32_t logonType, std::uint32_t logonProvider,
                    remote::TokenHandle* token) override
    {
        auto lock = Begin(Op::Logon, "LogonUserA");
        logons.push_back({CopyText(user), CopyText(domain), CopyText(password), logonType,
                          logonProvider});
        if (auto error = Failure(Op::Logon)) {
            SetLastErrorLocked(*error);
            *token = nullptr;
            return false;
        }
        *token = NewHandle("token");
        return true;
    }

    // Impersonation belongs to the calling thread, as on Windows.
    bool ImpersonateLoggedOnUser(remote::TokenHandle token) override
    {
        auto lock = Begin(Op::Impersonate, "ImpersonateLoggedOnUser");
        if (!IsOpen(token, "token"))
            m_problems.push_back("impersonated a handle that is not an open token");
        if (auto error = Failure(Op::Impersonate)) {
            SetLastErrorLocked(*error);
            return false;
        }
        m_impersonations[std::this_thread::get_id()] = token;
        return true;
    }

    bool RevertToSelf() override
    {
        auto lock = Begin(Op::Revert, "RevertToSelf");
        if (m_impersonations.erase(std::this_thread::get_id()) == 0)
            m_problems.push_back("reverted a thread that was not impersonating");
        if (auto error = Failure(Op::Revert)) {
            SetLastErrorLocked(*error);
            return false;
        }
        return true;
    }

    bool CloseHandle(remote::TokenHandle handle) override
    {
        auto lock = Begin(Op::CloseToken, "CloseHandle(token)");
        if (Kind(handle, /*locked=*/true) == "token")
            ++m_handleCloses[handle];
        else
            m_problems.push_back("closed as a token a handle that is none");
        // Like a service handle's close, this one counts whatever it answers.
        if (auto error = Failure(Op::CloseToken)) {
            SetLastErrorLocked(*error);
            return false;
        }
        return true;
    }

    std::uint32_t GetLastError() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastError[std::this_thread::get_id()];
    }

    void* LocalAllocZeroed(std::size_t bytes) override
    {
        auto lock = Begin(Op::Alloc, "LocalAlloc");
        ++allocs;
        if (Failure(Op::Alloc))
            return nullptr;
        void* block = std::calloc(bytes ? bytes : 1, 1);
        m_liveBlocks[block] = bytes;
        return block;
    }

    void LocalFree(void* block) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_liveBlocks.find(block);
        if (it == m_liveBlocks.end()) {
            m_problems.push_back("freed a buffer that is not live");
            return;
        }
        m_liveBlocks.erase(it);
        std::free(block);
    }

    void ShellExecuteA(const char*, const char*, int) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_problems.push_back("the remote logic opened a web address");
    }

    // The size of the buffer that holds these services: all records, then their texts.
    static std::uint32_t BufferSizeFor(const std::vector<FakeService>& list)
    {
        std::size_t total = list.size() * sizeof(remote::EnumServiceStatus);
        for (const FakeService& service : list)
            total += service.strName.size() + 1 + service.strDisplayName.size() + 1;
        return static_cast<std::uint32_t>(total);
    }

protected:
    // What follows is open to a derived fake that answers some calls its own way
    // (the fuzzing harness does so for the enumeration) with the same bookkeeping.
    struct ScriptedFailure {
        int nth;
        std::uint32_t error;
    };

    // Runs the call's hook, then takes the lock for the rest of the call, counts the
    // call and journals it under the given event, if any.
    std::unique_lock<std::mutex> Begin(Op op, const std::string& event = {})
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::function<void()> hook = m_hooks[op];
        lock.unlock();
        if (hook)
            hook();
        lock.lock();
        m_callIndex[op] = m_calls[op]++;
        if (!event.empty())
            m_journal.Add(event);
        return lock;
    }

    // Begin for an enumeration: records the call, and reports one on a handle that is not
    // an open manager.
    std::unique_lock<std::mutex> BeginEnum(ScHandle manager, std::uint32_t type,
                                           std::uint32_t state, void* buffer, std::uint32_t size,
                                           std::uint32_t* resume)
    {
        auto lock = Begin(buffer ? Op::EnumData : Op::EnumSize,
                          buffer ? "EnumServicesStatusA(data)" : "EnumServicesStatusA(size)");
        enums.push_back(
            {manager, type, state, buffer == nullptr, size, resume ? *resume : 0xFFFFFFFFu});
        if (!IsOpen(manager, "manager"))
            m_problems.push_back("enumerated on a handle that is not an open manager");
        return lock;
    }

    // The scripted error for the call of op that is under way, if it is to fail.
    std::optional<std::uint32_t> Failure(Op op)
    {
        auto it = m_failures.find(op);
        if (it == m_failures.end())
            return std::nullopt;
        for (const ScriptedFailure& failure : it->second)
            if (failure.nth < 0 || failure.nth == m_callIndex[op])
                return failure.error;
        return std::nullopt;
    }

    template <typename Record>
    bool ServiceRequest(Op op, const char* event, ScHandle service, Record record)
    {
        auto lock = Begin(op, event);
        record();
        if (!IsOpen(service, "service"))
            m_problems.push_back(std::string(event) + " on a handle that is not an open service");
        if (auto error = Failure(op)) {
            SetLastErrorLocked(*error);
            return false;
        }
        return true;
    }

    ScHandle NewHandle(const std::string& kind)
    {
        auto handle = reinterpret_cast<ScHandle>(
            static_cast<std::uintptr_t>(0x10000 + 0x10 * (m_handleKinds.size() + 1)));
        m_handleKinds[handle] = kind;
        m_handleCloses[handle] = 0;
        return handle;
    }

    std::string Kind(ScHandle handle, bool locked = false) const
    {
        std::unique_lock<std::mutex> lock(m_mutex, std::defer_lock);
        if (!locked)
            lock.lock();
        auto it = m_handleKinds.find(handle);
        return it == m_handleKinds.end() ? "" : it->second;
    }

    bool IsOpen(ScHandle handle, const std::string& kind) const
    {
        auto it = m_handleKinds.find(handle);
        return it != m_handleKinds.end() && it->second == kind && m_handleCloses.at(handle) == 0;
    }

    void SetLastErrorLocked(std::uint32_t error)
    {
        m_lastError[std::this_thread::get_id()] = error;
    }

    // Lays count services from the first one given out as the real call does: the
    // records, then the texts they point to, which the records address directly.
    void WriteRecords(char* buffer, std::size_t first, std::size_t count) const
    {
        auto* record = reinterpret_cast<remote::EnumServiceStatus*>(buffer);
        char* text = buffer + count * sizeof(remote::EnumServiceStatus);
        auto place = [&text](const std::string& value) {
            std::memcpy(text, value.c_str(), value.size() + 1);
            char* placed = text;
            text += value.size() + 1;
            return placed;
        };
        for (std::size_t i = 0; i < count; ++i) {
            const FakeService& service = services[first + i];
            record->lpServiceName = place(service.strName);
            record->lpDisplayName = place(service.strDisplayName);
            record->ServiceStatus = remote::ServiceStatus{};
            record->ServiceStatus.dwServiceType = 0x10;
            record->ServiceStatus.dwCurrentState = service.dwState;
            ++record;
        }
    }

    CJournal& m_journal;
    mutable std::mutex m_mutex;
    std::map<Op, std::vector<ScriptedFailure>> m_failures;
    std::map<Op, std::function<void()>> m_hooks;
    std::map<Op, int> m_calls;
    std::map<Op, int> m_callIndex;
    std::map<std::thread::id, std::uint32_t> m_lastError;
    std::map<ScHandle, std::string> m_handleKinds;
    std::map<ScHandle, int> m_handleCloses;
    std::map<void*, std::size_t> m_liveBlocks;
    std::map<std::string, int> m_sessions;  // remote name -> connections sharing it
    std::map<std::thread::id, remote::TokenHandle> m_impersonations;
    std::vector<std::string> m_problems;
};

struct MessageBox {
    std::string text;
    unsigned style;
    bool operator==(const MessageBox&) const = default;
};
using Row = std::array<std::string, 4>;

class FakeConsole : public remote::IServiceConsole {
public:
    // Run: the pass gets a thread of its own at once. Hold: the pass waits until the test
    // calls ReleaseHeldPasses. Refuse: no thread starts. Inline: the pass runs to its end
    // on the calling thread before AfxBeginThread returns. Throw: no thread starts, and
    // the call throws, as running out of memory would.
    enum class Threads { Run, Hold, Refuse, Inline, Throw };

    explicit FakeConsole(CJournal& journal) : m_journal(journal) {}
    ~FakeConsole() override
    {
        ReleaseHeldPasses();
        JoinPasses();
    }

    // --- Script -------------------------------------------------------------------
    remote::RemoteTarget target{"192.168.0.1", "Administrator", ""};
    bool currentCredential = true;
    int selectedRow = -1;
    std::map<std::pair<int, int>, std::string> itemTexts;  // what GetItemText reads
    std::vector<int> answers;  // message-box answers, in order; IDOK once they run out
    Threads threads = Threads::Run;
    std::function<void(int row)> onInsert;  // runs before the row is inserted

    // --- What was seen ------------------------------------------------------------
    int pulls = 0;
    std::vector<std::pair<int, unsigned>> nextItemCalls;
    std::vector<std::pair<int, int>> itemTextCalls;

    std::vector<MessageBox> Messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    std::map<int, Row> Rows() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rows;
    }
    int StrayWrites() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strayWrites;
    }
    int ThreadStarts() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threadStarts;
    }

    void ReleaseHeldPasses()
    {
        std::vector<std::pair<remote::ThreadProc, void*>> held;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            held.swap(m_held);
        }
        for (auto& [proc, param] : held)
            Spawn(proc, param);
    }
    void JoinPasses()
    {
        std::vector<std::thread> running;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            running.swap(m_running);
        }
        for (std::thread& thread : running)
            thread.join();
    }

    // --- IServiceConsole ----------------------------------------------------------
    remote::RemoteTarget PullRemoteTarget() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++pulls;
        m_journal.Add("PullRemoteTarget");
        return target;
    }
    bool IsCurrentCredential() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return currentCredential;
    }
    void DeleteAllItems() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_journal.Add("DeleteAllItems");
        m_rows.clear();
    }
    void InsertItem(int item, const std::string& text) override
    {
        if (onInsert)
            onInsert(item);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_journal.Add("InsertItem");
        if (m_rows.count(item))
            ++m_strayWrites;  // the list never receives the same row twice
        m_rows[item] = Row{text, "", "", ""};
    }
    void SetItemText(int item, int subItem, const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_journal.Add("SetItemText");
        if (!m_rows.count(item) || subItem < 1 || subItem > 3) {
            ++m_strayWrites;
            return;
        }
        m_rows[item][subItem] = text;
    }
    int GetNextItem(int start, unsigned flags) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nextItemCalls.push_back({start, flags});
        m_journal.Add("GetNextItem");
        return selectedRow;
    }
    std::string GetItemText(int item, int subItem) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        itemTextCalls.push_back({item, subItem});
        m_journal.Add("GetItemText");
        auto it = itemTexts.find({item, subItem});
        return it == itemTexts.end() ? "" : it->second;
    }
    int AfxMessageBox(const std::string& text, unsigned style) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_journal.Add("AfxMessageBox");
        const int answer = m_messages.size() < answers.size() ? answers[m_messages.size()] : 1;
        m_messages.push_back({text, style});
        return answer;
    }
    bool AfxBeginThread(remote::ThreadProc proc, void* param) override
    {
        bool inlinePass = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_journal.Add("AfxBeginThread");
            if (threads == Threads::Refuse)
                return false;
            if (threads == Threads::Throw)
                throw std::bad_alloc();
            ++m_threadStarts;
            if (threads == Threads::Hold) {
                m_held.push_back({proc, param});
                return true;
            }
            inlinePass = threads == Threads::Inline;
        }
        // The pass writes rows through this console, so it runs outside the lock.
        if (inlinePass)
            proc(param);
        else
            Spawn(proc, param);
        return true;
    }

private:
    void Spawn(remote::ThreadProc proc, void* param)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running.emplace_back(proc, param);
    }

    CJournal& m_journal;
    mutable std::mutex m_mutex;
    std::vector<MessageBox> m_messages;
    std::map<int, Row> m_rows;
    int m_strayWrites = 0;
    int m_threadStarts = 0;
    std::vector<std::pair<remote::ThreadProc, void*>> m_held;
    std::vector<std::thread> m_running;
};

// What Problems() answers when every handle, buffer and session was released once.
inline const std::vector<std::string> kBalanced{};

// count services named svc000, svc001, ... whose states run through 0 to 8, so that
// some fall outside the known codes.
inline std::vector<FakeService> Services(int count)
{
    std::vector<FakeService> list;
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "svc%03d", i);
        list.push_back({name, "Service number " + std::to_string(i),
                        static_cast<std::uint32_t>(i % 9)});
    }
    return list;
}

// A platform and a console sharing one journal: what nearly every test starts from.
struct Bench {
    CJournal journal;
    FakePlatform platform{journal};
    FakeConsole console{journal};
};

}  // namespace fakes
