// Load and faults end to end: many refreshes in a row, a burst of Run clicks, Start and
// Stop chosen while a long list arrives, and closing the console mid-pass again and again.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/e2e/E2eTest.h"

// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

namespace e2e {
namespace {

constexpr char kRunning[] = "QmBedRunning";

// ---- What the product's process holds ----

// NtQuerySystemInformation's handle table, as the system lays it out.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE handleFlags;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};
struct SystemHandleInformation {
    ULONG count;
    SystemHandleEntry handles[1];
};
using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Wine answers GetProcessHandleCount with 0 for every process, but its system-wide
// handle table is real; -1 when that cannot be read either.
long HandlesOf(DWORD pid)
{
    static const auto query = reinterpret_cast<NtQuerySystemInformationFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize((std::max)(buffer.size() * 2, static_cast<size_t>(needed) + 4096));
            continue;
        }
        if (status < 0)
            return -1;
        break;
    }
    const auto* info = reinterpret_cast<const SystemHandleInformation*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < info->count; ++i)
        count += info->handles[i].ownerPid == pid;
    return count;
}

struct WindowCount {
    DWORD pid;
    int count;
};

BOOL CALLBACK CountChild(HWND, LPARAM lParam)
{
    ++reinterpret_cast<WindowCount*>(lParam)->count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hWnd, LPARAM lParam)
{
    auto& windows = *reinterpret_cast<WindowCount*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid == windows.pid) {
        ++windows.count;
        ::EnumChildWindows(hWnd, &CountChild, lParam);
    }
    return TRUE;
}

int ThreadsOf(DWORD pid)
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == pid;
    ::CloseHandle(snapshot);
    return count;
}

// Everything of the product's process that a leak per refresh would make grow. The
// system's own counts are kept as the system gives them (0 where Wine does not count).
struct ResourceSample {
    DWORD handleCount = 0;  // GetProcessHandleCount
    DWORD gdiObjects = 0;   // GetGuiResources
    DWORD userObjects = 0;
    long handles = 0;       // from the system's handle table
    int windows = 0;        // top-level and child windows
    int threads = 0;
    SIZE_T privateBytes = 0;
};

ResourceSample Sample(DWORD pid)
{
    ResourceSample sample;
    if (HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)) {
        ::GetProcessHandleCount(hProcess, &sample.handleCount);
        sample.gdiObjects = ::GetGuiResources(hProcess, GR_GDIOBJECTS);
        sample.userObjects = ::GetGuiResources(hProcess, GR_USEROBJECTS);
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (::GetProcessMemoryInfo(hProcess, &counters, sizeof counters))
            sample.privateBytes = counters.PagefileUsage;
        ::CloseHandle(hProcess);
    }
    sample.handles = HandlesOf(pid);
    WindowCount windows{pid, 0};
    ::EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    sample.windows = windows.count;
    sample.threads = ThreadsOf(pid);
    return sample;
}

std::string Describe(const ResourceSample& sample)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "GetProcessHandleCount %lu, GDI objects %lu, USER objects %lu, handles in the "
                  "system table %ld, windows %d, threads %d, private bytes %lu",
                  static_cast<unsigned long>(sample.handleCount),
                  static_cast<unsigned long>(sample.gdiObjects),
                  static_cast<unsigned long>(sample.userObjects), sample.handles, sample.windows,
                  sample.threads, static_cast<unsigned long>(sample.privateBytes));
    return text;
}

// ---- The log ----

struct SessionCounts {
    int opened = 0;
    int cancels = 0;
};

SessionCounts CountSessions(const std::vector<ProviderCall>& calls)
{
    SessionCounts counts;
    for (const ProviderCall& call : calls) {
        if (call.strOp == "connect" && call.result == 0)
            ++counts.opened;
        else if (call.strOp == "cancel")
            ++counts.cancels;
    }
    return counts;
}

// The list matches the bed's enumeration; Wine may add a service of its own between
// two looks, so a second look is allowed to settle it.
void ExpectBedList(const std::vector<ListRow>& listed, const std::vector<ListRow>& expected)
{
    const std::string difference = FirstDifference(listed, expected);
    if (!difference.empty()) {
        EXPECT_EQ(FirstDifference(listed, BedEnumeration()), "") << "and before: " << difference;
    }
}

// ---- A hundred refreshes, on the bed of 1,000 extra services ----

using RefreshCyclesTest = QuillmarkE2eTest;

TEST_F(RefreshCyclesTest, HundredRefreshesLeaveOneListAndHoldNoMoreThanTheTenth)
{
    constexpr int kCycles = 100;
    constexpr int kBaselineCycle = 10;
    const std::vector<ListRow> expected = BedEnumeration();
    ASSERT_GE(expected.size(), 1000u) << "this scenario needs the bed with 1,000 extra services";
    const int rows = static_cast<int>(expected.size());

    App().SetText(IDC_REMOTE_COMPUTER, kBedHost);
    ResourceSample baseline, last;
    const DWORD start = ::GetTickCount();
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        App().Click(IDC_RUN);
        App().WaitForRefreshEnd(Log(), cycle, rows);
        // The pass's end still has to reach the console before its counts settle.
        App().SyncWithConsole();
        if (cycle == kBaselineCycle)
            baseline = Sample(App().ProcessId());
    }
    last = Sample(App().ProcessId());
    const DWORD elapsed = ::GetTickCount() - start;
    Shot("hundred-refreshes");
    std::printf("%d refreshes of %d rows in %lu ms\n  after refresh %d: %s\n  after refresh %d: %s\n",
                kCycles, rows, static_cast<unsigned long>(elapsed), kBaselineCycle,
                Describe(baseline).c_str(), kCycles, Describe(last).c_str());

    ExpectBedList(App().Rows(), expected);
    const std::vector<ProviderCall> calls = Calls();
    const SessionCounts sessions = CountSessions(calls);
    EXPECT_EQ(sessions.opened, kCycles) << Describe(calls);
    EXPECT_EQ(sessions.cancels, kCycles) << Describe(calls);

    // Nothing a refresh holds may outlive it. A little slack for what the system
    // allocates lazily; a leak of one object per refresh would show 90. Wine answers
    // GetProcessHandleCount and GetGuiResources with 0; there the system's handle table
    // and the windows and threads of the process stand in for them.
    if (baseline.handleCount != 0) {
        EXPECT_LE(last.handleCount, baseline.handleCount + 5) << Describe(last);
    }
    if (baseline.gdiObjects != 0) {
        EXPECT_LE(last.gdiObjects, baseline.gdiObjects + 5) << Describe(last);
    }
    if (baseline.userObjects != 0) {
        EXPECT_LE(last.userObjects, baseline.userObjects + 5) << Describe(last);
    }
    ASSERT_GT(baseline.handles, 0) << "the system's handle table could not be read";
    EXPECT_LE(last.handles, baseline.handles + 5) << Describe(last);
    EXPECT_LE(last.windows, baseline.windows) << Describe(last);
    EXPECT_LE(last.threads, baseline.threads) << Describe(last);
    EXPECT_LE(last.privateBytes, baseline.privateBytes + 4 * 1024 * 1024) << Describe(last);
}

// ---- On the bed of 3,000 extra services ----

class LoadTest : public StoppedServicesTest {
protected:
    LoadTest() : StoppedServicesTest({kRunning}) {}

    // Waits until the product has no session open and none follows: every command it
    // was given has run to its end. Returns the sessions opened.
    int WaitUntilSettled(int atLeast, DWORD timeoutMs = 60000)
    {
        SessionCounts counts;
        WaitUntil(
            [&] {
                counts = CountSessions(Calls());
                if (counts.opened < atLeast || counts.cancels < counts.opened)
                    return false;
                // The end of the last pass may still let a waiting command run.
                ::Sleep(300);
                App().SyncWithConsole();
                const SessionCounts again = CountSessions(Calls());
                return again.opened == counts.opened && again.cancels == counts.cancels;
            },
            timeoutMs, "every session to be cancelled and no further one to open",
            [&] {
                return std::to_string(counts.opened) + " opened, " +
                       std::to_string(counts.cancels) + " cancelled";
            });
        return counts.opened;
    }

    // Presses Run and waits for the new pass's rows up to and including `row`, while
    // the pass still runs.
    void RunAndWaitForRowDuringPass(int row, int rows)
    {
        App().Click(IDC_RUN);
        // Until the click is handled, the list still holds the previous pass's rows.
        App().SyncWithConsole();
        int count = 0;
        WaitUntil([&] { return (count = App().RowCount()) > row; }, 20000,
                  "row " + std::to_string(row) + " of the pass");
        ASSERT_LT(count, rows) << "the pass ended before the scenario could act during it";
    }
};

TEST_F(LoadTest, FiftyRunClicksDuringOnePassEndWithOneCompleteList)
{
    const std::vector<ListRow> expected = BedEnumeration();
    ASSERT_GE(expected.size(), 3000u) << "the bed needs its 3,000 extra services for a long pass";
    App().SetText(IDC_REMOTE_COMPUTER, kBedHost);
    ASSERT_NO_FATAL_FAILURE(RunAndWaitForRowDuringPass(0, static_cast<int>(expected.size())));
    for (int click = 0; click < 50; ++click)
        App().Click(IDC_RUN);
    const int sessions = WaitUntilSettled(2);
    Shot("fifty-runs-during-pass");
    std::printf("50 Run clicks during a pass: %d sessions in all\n", sessions);

    ExpectBedList(App().Rows(), expected);
    EXPECT_LE(sessions, 51);
    const std::vector<ProviderCall> calls = Calls();
    // Each refresh's session ends before the next one opens.
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].strOp, i % 2 == 0 ? "connect" : "cancel") << "call " << i << "\n"
                                                                        << Describe(calls);
}

TEST_F(LoadTest, StartAndStopChosenDuringAPassRunAfterItEnds)
{
    const int rows = static_cast<int>(RunOnBed().size());
    const int row = App().FindRow(kRunning);
    ASSERT_GE(row, 0);

    // Start, chosen while a refresh writes rows: it waits for the pass, then starts the
    // service and refreshes once more.
    ASSERT_NO_FATAL_FAILURE(RunAndWaitForRowDuringPass(row, rows));
    App().StartService(row);
    EXPECT_EQ(CountSessions(Calls()).cancels, 1) << "the menu closed after the pass had ended";
    App().WaitForRefreshEnd(Log(), 4, rows);
    EXPECT_TRUE(App().OpenMessageBoxes().empty());
    EXPECT_EQ(bed::State(kRunning), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(App().CellText(App().FindRow(kRunning), 3), "Service Running");
    Shot("start-during-pass");

    // Stop, the same way: the question comes only once the pass has ended.
    ASSERT_NO_FATAL_FAILURE(RunAndWaitForRowDuringPass(row, rows));
    App().StopService(row);
    const MessageBoxSeen box = App().WaitForMessageBox(30000);
    ASSERT_EQ(box.strText, "Do you really want to stop the service?");
    EXPECT_EQ(App().RowCount(), rows) << "the stop ran before the pass had ended";
    App().Answer(box, IDYES);
    App().WaitForRefreshEnd(Log(), 7, rows);
    bed::WaitForState(kRunning, SERVICE_STOPPED, 10000);
    const std::string state = App().CellText(App().FindRow(kRunning), 3);
    EXPECT_TRUE(state == "Stop Pending" || state == "Stopped") << state;
    Shot("stop-during-pass");

    // Every command's session came after the pass's had ended: strictly alternating.
    const std::vector<ProviderCall> calls = Calls();
    ASSERT_EQ(calls.size(), 14u) << Describe(calls);
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].strOp, i % 2 == 0 ? "connect" : "cancel") << "call " << i << "\n"
                                                                        << Describe(calls);
}

TEST_F(LoadTest, TwentyClosesDuringAPassEachEndTheProcessPromptly)
{
    const int rows = static_cast<int>(BedEnumeration().size());
    DWORD slowest = 0;
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        CQuillmark app;
        app.RunOn(kBedHost);
        WaitUntil([&] { return app.RowCount() > 0; }, 20000, "the first rows of the pass");
        if (round == 20)
            Shot("twenty-closes-during-pass");
        const int listed = app.RowCount();
        app.Close();
        const DWORD start = ::GetTickCount();
        ASSERT_TRUE(app.WaitForExit(10000)) << "still running 10 s after its console was closed";
        const DWORD elapsed = ::GetTickCount() - start;
        slowest = (std::max)(slowest, elapsed);
        EXPECT_LT(elapsed, 5000u);
        EXPECT_EQ(app.ExitCode(), 0u) << "a crash ends the process with another code";
        EXPECT_LT(listed, rows) << "the pass had ended before the console was closed";
        ExpectSessionsClosed(app.ProcessId());
        const SessionCounts sessions = CountSessions(Log().CallsOf(app.ProcessId()));
        EXPECT_EQ(sessions.opened, 1);
    }
    std::printf("20 closes during a pass: the slowest process end took %lu ms\n",
                static_cast<unsigned long>(slowest));
}

}  // namespace
}  // namespace e2e
