// Times Quillmark.exe on the loopback bed from a second process, as a user would see it,
// beside reference programs started and driven the same way in the same prefix, and
// prints the figures with their ratios. Phases: fill (with responsiveness and memory), startup.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/ref_ids.h"
#include "resources/resource.h"
#include "testbed/driver/Bed.h"
#include "testbed/driver/Driver.h"
#include "testbed/driver/Programs.h"

namespace {

using testbed::DriverError;
using testbed::Env;

constexpr UINT kSendTimeoutMs = 20000;
constexpr DWORD kFillTimeoutMs = 180000;
// Between two screen reads for the first screenful: each read costs the machine a copy.
constexpr double kScreenLookSeconds = 0.004;

double g_ticksPerSecond = 0;
// Between two looks at the list during a fill; each look is one message to its thread.
DWORD g_pollMs = 2;

double Now()
{
    LARGE_INTEGER count;
    ::QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / g_ticksPerSecond;
}

LRESULT Send(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(hWnd, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        throw DriverError("no answer to message " + std::to_string(message) + " within " +
                          std::to_string(kSendTimeoutMs) + " ms");
    return static_cast<LRESULT>(result);
}

// ---- Figures ----

struct Figure {
    std::vector<double> values;

    double Median() const
    {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        if (n == 0)
            return 0;
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Percentile(double p) const
    {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.empty())
            return 0;
        const size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
        return sorted[std::min(index, sorted.size() - 1)];
    }
    double Min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

// "median 1.234 s (min 1.200, max 1.300; 7 runs)", times in seconds, or milliseconds.
std::string Describe(const Figure& figure, bool milliseconds = false)
{
    const double scale = milliseconds ? 1000.0 : 1.0;
    const char* unit = milliseconds ? "ms" : "s";
    char text[160];
    std::snprintf(text, sizeof text, "median %7.3f %s  (min %.3f, max %.3f; %zu runs)",
                  figure.Median() * scale, unit, figure.Min() * scale, figure.Max() * scale,
                  figure.values.size());
    return text;
}

std::string Verdict(bool met) { return met ? "goal met" : "GOAL MISSED"; }

// ---- The screen ----

// The pixels of a screen rectangle, as the user sees them.
struct Picture {
    RECT rect = {};
    std::vector<DWORD> pixels;
};

Picture Capture(const RECT& rect) { return {rect, testbed::ScreenPixels(rect)}; }

// Pixels that differ, or the whole area when the two are not of one rectangle.
size_t Difference(const Picture& a, const Picture& b)
{
    if (!::EqualRect(&a.rect, &b.rect) || a.pixels.size() != b.pixels.size())
        return std::max(a.pixels.size(), b.pixels.size()) + 1;
    size_t differ = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        differ += a.pixels[i] != b.pixels[i];
    return differ;
}

RECT WindowRectOf(HWND hWnd)
{
    RECT rect = {};
    ::GetWindowRect(hWnd, &rect);
    return rect;
}

RECT ClientRectOnScreen(HWND hWnd)
{
    RECT rect = {};
    ::GetClientRect(hWnd, &rect);
    ::MapWindowPoints(hWnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Waits until the rectangle has looked the same for `quietMs`; returns that picture.
Picture SettledPicture(const std::function<RECT()>& rectOf, DWORD quietMs, DWORD timeoutMs)
{
    Picture last = Capture(rectOf());
    const double start = Now();
    double sameSince = Now();
    while (Now() - start < timeoutMs / 1000.0) {
        ::Sleep(50);
        Picture next = Capture(rectOf());
        if (Difference(next, last) != 0) {
            last = std::move(next);
            sameSince = Now();
        } else if (Now() - sameSince >= quietMs / 1000.0) {
            return last;
        }
    }
    throw DriverError("the screen did not settle within " + std::to_string(timeoutMs) + " ms");
}

// ---- Programs ----

HWND VisibleDialogOf(DWORD pid) { return testbed::TopLevelWindow(pid, testbed::kDialogClass); }

// A program started by the driver, closed the user's way when it goes.
class CProgram {
public:
    CProgram(const std::string& unixPath, const std::string& arguments)
    {
        m_tStarted = Now();
        m_pi = testbed::StartProgram(unixPath, arguments);
    }
    ~CProgram()
    {
        if (HWND hDialog = VisibleDialogOf(m_pi.dwProcessId))
            ::PostMessageA(hDialog, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(m_pi.hProcess, 10000) != WAIT_OBJECT_0) {
            ::TerminateProcess(m_pi.hProcess, 1);
            ::WaitForSingleObject(m_pi.hProcess, 5000);
        }
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
    }
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    double Started() const { return m_tStarted; }
    HANDLE Process() const { return m_pi.hProcess; }
    HWND WaitForDialog()
    {
        HWND hDialog = nullptr;
        testbed::WaitUntil([&] { return (hDialog = VisibleDialogOf(m_pi.dwProcessId)) != nullptr; },
                       20000, "the program's dialog");
        return hDialog;
    }

private:
    double m_tStarted = 0;
    PROCESS_INFORMATION m_pi = {};
};

// ---- Memory ----

struct Memory {
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

Memory MemoryOf(HANDLE hProcess)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    Memory memory;
    if (::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters)) {
        // Wine leaves PrivateUsage at 0 and reports the process's anonymous resident
        // memory (plus swap) as its page-file usage: the same private bytes.
        memory.privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
        memory.workingSet = counters.WorkingSetSize;
    }
    return memory;
}

std::string MiB(SIZE_T bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// ---- Fills ----

// A list that something fills when its button is clicked: Quillmark's console or a
// reference program.
struct FillTarget {
    const char* name;
    HWND hDialog = nullptr;
    HWND hList = nullptr;
    HWND hButton = nullptr;
    HANDLE hProcess = nullptr;
    // Whether rows become countable one by one from outside (not when one thread
    // writes them all inside one handler).
    bool bRowsSeenArriving = true;
    // Whether the list is repainted while rows arrive; reading the screen for the first
    // screenful of a list that only repaints at the end would just load the machine.
    bool bRepaintsDuringFill = true;
    // After a first fill: the list as the user sees it once everything is shown.
    Picture finalList;    // window rectangle: border, header, rows, scroll bars
    Picture finalClient;  // client area: the header and the first screenful of rows
    int nRows = 0;
};

int RowCount(const FillTarget& target) { return static_cast<int>(Send(target.hList, LVM_GETITEMCOUNT)); }

// Sends WM_NULL to the dialog and keeps its round-trip time.
void SampleRoundTrip(const FillTarget& target, Figure& trips)
{
    const double t = Now();
    Send(target.hDialog, WM_NULL);
    trips.values.push_back(Now() - t);
}

// The first fill: what the list looks like when everything has been shown. Meanwhile
// the dialog's round trips are sampled every ~5 ms: how it answers a user while filling.
void LearnFinalPicture(FillTarget& target, Figure& trips)
{
    ::PostMessageA(target.hButton, BM_CLICK, 0, 0);
    int count = 0;
    // Rows stop arriving: the same count for half a second.
    double sameSince = Now();
    const double start = Now();
    double lastCount = 0;
    for (;;) {
        ::Sleep(5);
        SampleRoundTrip(target, trips);
        if (Now() - lastCount < 0.05)
            continue;
        lastCount = Now();
        const int next = RowCount(target);
        if (next != count) {
            count = next;
            sameSince = Now();
        } else if (count > 0 && Now() - sameSince > 0.5) {
            break;
        }
        if (Now() - start > kFillTimeoutMs / 1000.0)
            throw DriverError(std::string(target.name) + ": the first fill did not end");
    }
    target.nRows = count;
    target.finalList = SettledPicture([&] { return WindowRectOf(target.hList); }, 500, 20000);
    target.finalClient = Capture(ClientRectOnScreen(target.hList));
}

// Empties the list from outside and waits until the empty list has been painted, so
// the next fill starts from the same screen for every program.
void ClearList(const FillTarget& target)
{
    Send(target.hList, LVM_DELETEALLITEMS);
    testbed::WaitUntil([&] { return RowCount(target) == 0; }, 10000, "the list to empty");
    SettledPicture([&] { return WindowRectOf(target.hList); }, 200, 10000);
}

struct FillTimes {
    double shown = -1;        // click to every row in the list and on screen
    double firstRow = -1;     // click to the first row counted (the enumeration's answer)
    double firstScreen = -1;  // click to the first screenful on screen as it ends up
};

// One fill, timed from the click. "Shown": the list holds all rows, and the list's
// window on screen is pixel for pixel what it is once the fill has settled (header,
// first screenful, scroll bar sized for every row), so a paint after the last insert
// has reached the screen.
FillTimes TimedFill(const FillTarget& target, const std::function<void()>& eachPoll = {})
{
    ClearList(target);
    FillTimes times;
    const RECT clientRect = target.finalClient.rect;
    const RECT listRect = target.finalList.rect;
    double lastLook = 0;
    const double t0 = Now();
    ::PostMessageA(target.hButton, BM_CLICK, 0, 0);
    for (;;) {
        if (eachPoll)
            eachPoll();
        const int count = RowCount(target);
        const double t = Now() - t0;
        if (count > 0 && times.firstRow < 0)
            times.firstRow = t;
        if (target.bRepaintsDuringFill && count > 0 && times.firstScreen < 0 &&
            Now() - lastLook >= kScreenLookSeconds) {
            lastLook = Now();
            if (Difference(Capture(clientRect), target.finalClient) == 0)
                times.firstScreen = Now() - t0;
        }
        if (count == target.nRows && Difference(Capture(listRect), target.finalList) == 0) {
            times.shown = Now() - t0;
            if (times.firstScreen < 0)
                times.firstScreen = times.shown;
            return times;
        }
        if (t > kFillTimeoutMs / 1000.0)
            throw DriverError(std::string(target.name) + ": the fill was not shown within " +
                              std::to_string(kFillTimeoutMs) + " ms (" + std::to_string(count) +
                              " of " + std::to_string(target.nRows) + " rows)");
        ::Sleep(g_pollMs);
    }
}

struct FillFigures {
    Figure shown, firstRow, firstScreen, answerToScreen, roundTrips;
};

FillFigures MeasureFills(FillTarget& target, int reps)
{
    FillFigures figures;
    LearnFinalPicture(target, figures.roundTrips);
    for (int rep = 0; rep < reps; ++rep) {
        const FillTimes times = TimedFill(target);
        figures.shown.values.push_back(times.shown);
        if (target.bRowsSeenArriving)
            figures.firstRow.values.push_back(times.firstRow);
        if (target.bRepaintsDuringFill) {
            figures.firstScreen.values.push_back(times.firstScreen);
            figures.answerToScreen.values.push_back(times.firstScreen - times.firstRow);
        }
    }
    return figures;
}

FillTarget QuillmarkTarget(testbed::CQuillmark& product)
{
    FillTarget target;
    target.name = "Quillmark";
    product.SetText(IDC_REMOTE_COMPUTER, "127.0.0.1");
    target.hDialog = product.Console();
    target.hList = product.Item(IDC_SERVICE_LIST);
    target.hButton = product.Item(IDC_RUN);
    target.hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, product.ProcessId());
    return target;
}

FillTarget ReferenceTarget(CProgram& program, const char* name, bool bOneThread)
{
    FillTarget target;
    target.name = name;
    target.hDialog = program.WaitForDialog();
    target.hList = ::GetDlgItem(target.hDialog, IDC_REF_LIST);
    target.hButton = ::GetDlgItem(target.hDialog, IDC_REF_FILL);
    target.hProcess = program.Process();
    target.bRowsSeenArriving = !bOneThread;
    target.bRepaintsDuringFill = false;
    if (!target.hList || !target.hButton)
        throw DriverError(std::string(name) + ": no list or button");
    return target;
}

// ---- Phases ----

struct Settings {
    std::string product, refProtocol, refDialog;
    int reps = 7;
    int startupReps = 7;
    bool fill = false, startup = false;
};

void PrintFill(const Settings& settings)
{
    const int expected = static_cast<int>(testbed::BedEnumeration().size());
    FillFigures ours, protocol, single;
    Memory oursMemory, protocolMemory;
    {
        testbed::CQuillmark product;
        FillTarget target = QuillmarkTarget(product);
        ours = MeasureFills(target, settings.reps);
        if (target.nRows != expected)
            std::printf("  NOTE: Quillmark listed %d rows, the bed enumerates %d\n", target.nRows, expected);
        oursMemory = MemoryOf(target.hProcess);
        ::CloseHandle(target.hProcess);
    }
    {
        CProgram program(settings.refProtocol, "");
        FillTarget target = ReferenceTarget(program, "protocol floor", false);
        protocol = MeasureFills(target, settings.reps);
        protocolMemory = MemoryOf(target.hProcess);
    }
    {
        CProgram program(settings.refProtocol, "--one-thread");
        FillTarget target = ReferenceTarget(program, "absolute floor", true);
        single = MeasureFills(target, settings.reps);
    }

    std::printf("\n== Fill: %d rows (the bed's services and drivers) ==\n", expected);
    std::printf("  shown = click on the button -> the list holds every row AND the list's window on\n"
                "          screen equals, pixel for pixel, its settled picture after the fill\n"
                "          (header, first screenful, scroll bar sized for all rows)\n");
    std::printf("  Quillmark                        %s\n", Describe(ours.shown).c_str());
    std::printf("  protocol floor (worker + sends)  %s\n", Describe(protocol.shown).c_str());
    std::printf("  absolute floor (one thread)      %s\n", Describe(single.shown).c_str());
    const double toProtocol = ours.shown.Median() / protocol.shown.Median();
    const double toAbsolute = ours.shown.Median() / single.shown.Median();
    std::printf("  ratio Quillmark / protocol floor  %.2f  (goal <= 1.30 at 1,000 and 3,000 rows%s)\n",
                toProtocol,
                expected >= 1000 ? (", " + Verdict(toProtocol <= 1.3)).c_str() : "; not a goal here");
    std::printf("  ratio Quillmark / absolute floor  %.2f\n", toAbsolute);
    std::printf("  first screenful: answer = the first row counted from outside (LVM_GETITEMCOUNT > 0,\n"
                "          polled every ~%lu ms); visible = the list's client area on screen equals the\n"
                "          settled picture's (header and the rows of the first screen);\n"
                "          the protocol floor repaints only at the end of its fill\n",
                static_cast<unsigned long>(g_pollMs));
    std::printf("  Quillmark       answer -> visible  %s  goal <= 250 ms: %s\n",
                Describe(ours.answerToScreen, true).c_str(),
                Verdict(ours.answerToScreen.Median() <= 0.25).c_str());
    std::printf("  Quillmark       click -> visible   %s\n", Describe(ours.firstScreen, true).c_str());
    std::printf("  Quillmark       click -> answer    %s\n", Describe(ours.firstRow, true).c_str());
    std::printf("  protocol floor  click -> answer    %s\n", Describe(protocol.firstRow, true).c_str());
    std::printf("  responsiveness during the first fill: SendMessageTimeout(WM_NULL) to the dialog from\n"
                "          this process every ~5 ms, from the click until the rows stop arriving\n");
    auto trips = [](const char* name, const Figure& f, bool goal) {
        std::printf("  %-15s p50 %6.2f ms  p99 %6.2f ms  (min %.2f, max %.2f; %zu samples)%s\n", name,
                    f.Percentile(50) * 1000, f.Percentile(99) * 1000, f.Min() * 1000, f.Max() * 1000,
                    f.values.size(),
                    goal ? ("  goal p99 <= 50 ms: " + Verdict(f.Percentile(99) <= 0.050)).c_str() : "");
    };
    trips("Quillmark", ours.roundTrips, true);
    trips("protocol floor", protocol.roundTrips, false);
    std::printf("  memory after the fill: Quillmark private %s (working set %s); protocol floor private %s (working set %s)\n",
                MiB(oursMemory.privateBytes).c_str(), MiB(oursMemory.workingSet).c_str(),
                MiB(protocolMemory.privateBytes).c_str(), MiB(protocolMemory.workingSet).c_str());
    std::fflush(stdout);
}

// Start to the dialog visible and painted: the window on screen matches, within a caret's
// worth of pixels, its settled picture from a first start.
Figure StartupTimes(const std::string& exe, int reps, Memory* idleMemory)
{
    Picture settled;
    {
        CProgram program(exe, "");
        const HWND hDialog = program.WaitForDialog();
        settled = SettledPicture([&] { return WindowRectOf(hDialog); }, 300, 20000);
        if (idleMemory)
            *idleMemory = MemoryOf(program.Process());
    }
    const size_t tolerance = settled.pixels.size() / 200;  // a blinking caret, not a control
    Figure times;
    for (int rep = 0; rep < reps; ++rep) {
        ::Sleep(300);
        CProgram program(exe, "");
        double shown = -1;
        testbed::WaitUntil(
            [&] {
                const HWND hDialog = VisibleDialogOf(::GetProcessId(program.Process()));
                if (!hDialog || Difference(Capture(WindowRectOf(hDialog)), settled) > tolerance)
                    return false;
                shown = Now() - program.Started();
                return true;
            },
            30000, "the dialog to be visible and painted");
        times.values.push_back(shown);
        ::Sleep(1);
    }
    return times;
}

void PrintStartup(const Settings& settings)
{
    Memory oursIdle, refIdle;
    const Figure ours = StartupTimes(settings.product, settings.startupReps, &oursIdle);
    const Figure ref = StartupTimes(settings.refDialog, settings.startupReps, &refIdle);
    std::printf("\n== Start-up: CreateProcess -> the dialog visible and painted (its window on screen equals\n"
                "   its settled picture but for at most 0.5%% of the pixels: a caret) ==\n");
    std::printf("  Quillmark         %s\n", Describe(ours).c_str());
    std::printf("  reference dialog  %s\n", Describe(ref).c_str());
    const double ratio = ours.Median() / ref.Median();
    std::printf("  ratio Quillmark / reference dialog  %.2f  (goal <= 1.30, %s)\n", ratio,
                Verdict(ratio <= 1.3).c_str());
    std::printf("  memory at start: Quillmark private %s (working set %s); reference dialog private %s (working set %s)\n",
                MiB(oursIdle.privateBytes).c_str(), MiB(oursIdle.workingSet).c_str(),
                MiB(refIdle.privateBytes).c_str(), MiB(refIdle.workingSet).c_str());
    std::fflush(stdout);
}

int Usage()
{
    std::fprintf(stderr, "usage: bench_driver [--poll-ms N] [--reps N] [--startup-reps N] "
                         "phase...   (phases: fill startup)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    g_ticksPerSecond = static_cast<double>(frequency.QuadPart);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    Settings settings;
    settings.product = Env("QUILLMARK_E2E_PRODUCT");
    settings.refProtocol = Env("QUILLMARK_BENCH_REF_PROTOCOL");
    settings.refDialog = Env("QUILLMARK_BENCH_REF_DIALOG");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--poll-ms" && i + 1 < argc) {
            g_pollMs = static_cast<DWORD>(std::atoi(argv[++i]));
        } else if ((arg == "--reps" || arg == "--startup-reps") && i + 1 < argc) {
            const int value = std::atoi(argv[++i]);
            if (value < 1)
                return Usage();
            (arg == "--reps" ? settings.reps : settings.startupReps) = value;
        } else if (arg == "fill") {
            settings.fill = true;
        } else if (arg == "startup") {
            settings.startup = true;
        } else {
            return Usage();
        }
    }
    if (settings.product.empty() || settings.refProtocol.empty() || settings.refDialog.empty()) {
        std::fprintf(stderr, "bench_driver: QUILLMARK_E2E_PRODUCT, QUILLMARK_BENCH_REF_PROTOCOL and "
                             "QUILLMARK_BENCH_REF_DIALOG must name the programs\n");
        return 2;
    }
    try {
        if (settings.fill)
            PrintFill(settings);
        if (settings.startup)
            PrintStartup(settings);
    } catch (const std::exception& error) {
        std::printf("bench_driver: %s\n", error.what());
        return 1;
    }
    return 0;
}
