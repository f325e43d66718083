// The one program behind every bed service. The first argument of its binary path
// chooses the behaviour, so one file serves under several names:
//   running        runs and accepts stop
//   nostop         runs and accepts no stop (only shutdown)
//   slowstop [ms]  accepts stop, then reports stop pending for ms (3000) before stopping
// Every mode also ends at once on the user-defined control kQuitControl, so a test can
// end a service that refuses to stop without ending the whole prefix.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kQuitControl = 200;
constexpr DWORD kDefaultSlowStopMs = 3000;
constexpr DWORD kPendingStepMs = 250;

enum class Mode { Running, NoStop, SlowStop };

// Set once in main, before the dispatcher starts the service thread.
Mode g_mode = Mode::Running;
DWORD g_slowStopMs = kDefaultSlowStopMs;

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;  // set by the handler; the service thread waits on it
// Written by the handler; a quit during a slow stop clears it and cuts the delay short.
std::atomic<bool> g_slowly{false};

void Report(DWORD state, DWORD checkPoint = 0, DWORD waitHint = 0)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    if (state == SERVICE_RUNNING)
        status.dwControlsAccepted = g_mode == Mode::NoStop
                                        ? SERVICE_ACCEPT_SHUTDOWN
                                        : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        if (g_mode == Mode::NoStop) return ERROR_CALL_NOT_IMPLEMENTED;
        // The stop is acknowledged before the handler returns, so whoever sent it sees
        // the pending state in the answer of ControlService.
        g_slowly = g_mode == Mode::SlowStop;
        Report(SERVICE_STOP_PENDING, 1, g_slowly ? g_slowStopMs + 1000 : 1000);
        SetEvent(g_stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_SHUTDOWN:
    case kQuitControl:
        g_slowly = false;
        Report(SERVICE_STOP_PENDING, 1, 1000);
        SetEvent(g_stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPSTR* argv)
{
    g_statusHandle = RegisterServiceCtrlHandlerExA(argv[0], Handler, nullptr);
    if (!g_statusHandle) return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopEvent, INFINITE);
    if (g_slowly) {
        // Stop pending for the whole delay, with a moving check point as a real slow
        // service would report it.
        DWORD checkPoint = 1;
        for (DWORD waited = 0; g_slowly && waited < g_slowStopMs; waited += kPendingStepMs) {
            Sleep(kPendingStepMs);
            Report(SERVICE_STOP_PENDING, ++checkPoint, kPendingStepMs * 4);
        }
    }
    Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "nostop") == 0) {
        g_mode = Mode::NoStop;
    } else if (argc >= 2 && std::strcmp(argv[1], "slowstop") == 0) {
        g_mode = Mode::SlowStop;
        if (argc >= 3) g_slowStopMs = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    } else if (argc >= 2 && std::strcmp(argv[1], "running") != 0) {
        return 2;  // an unknown mode is a mistake in the bed's registration
    }
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_stopEvent) return 1;

    // An own-process service: the dispatcher runs the table's only entry whatever name
    // the service was started under.
    char name[] = "QmBedService";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
