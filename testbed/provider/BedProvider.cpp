// The bed's loopback network provider: it plays the remote computer's IPC$ share on
// this machine, checks the caller's credentials against the bed's account and logs
// every call. It never opens a socket or calls anything that could reach a network:
// every answer is decided from the arguments alone.
#include <windows.h>
#include <winnetwk.h>

// mpr's header declares the provider entry points without C linkage.
extern "C" {
#include <npapi.h>
}

#include "BedConfig.h"

namespace {

// No network type is registered for the bed; mpr only records this value.
constexpr DWORD kBedNetType = 0x00FE0000;
// NPGetCaps index 1 asks which version of the provider interface is offered: 5.1.
constexpr DWORD kCapsInterfaceVersion = 0x00000001;
constexpr DWORD kInterfaceVersion51 = 0x00050001;

// ASCII case-insensitive equality: host and share names, and the account name, compare
// the way Windows compares them for the plain ASCII names the bed knows.
bool EqualsNoCase(const wchar_t* a, const wchar_t* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        wchar_t ca = a[i], cb = b[i];
        if (ca >= L'A' && ca <= L'Z') ca = static_cast<wchar_t>(ca - L'A' + L'a');
        if (cb >= L'A' && cb <= L'Z') cb = static_cast<wchar_t>(cb - L'A' + L'a');
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
    return true;
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b)
{
    return EqualsNoCase(a, b, static_cast<size_t>(-1));
}

// Code unit for code unit: a password matches only itself (the system's string compare
// would weigh hyphens and case by the locale's rules).
bool EqualsExactly(const wchar_t* a, const wchar_t* b)
{
    for (; *a == *b; ++a, ++b)
        if (*a == 0) return true;
    return false;
}

// The names of this machine's IPC$ share: \\127.0.0.1\ipc$ or \\localhost\ipc$, nothing
// more (no trailing backslash, no path below the share).
bool IsBedShare(const wchar_t* remote)
{
    if (!remote || remote[0] != L'\\' || remote[1] != L'\\') return false;
    const wchar_t* host = remote + 2;
    const wchar_t* slash = host;
    while (*slash && *slash != L'\\') ++slash;
    if (*slash != L'\\') return false;
    const size_t hostLength = static_cast<size_t>(slash - host);
    const bool loopback = hostLength == 9 && (EqualsNoCase(host, L"127.0.0.1", 9) ||
                                              EqualsNoCase(host, L"localhost", 9));
    return loopback && EqualsNoCase(slash + 1, L"ipc$");
}

// The caller's own logon (both null) or the bed's account with its password; the
// password compares exactly, the account name without regard to case.
DWORD CheckCredentials(const wchar_t* user, const wchar_t* password)
{
    if (!user && !password) return NO_ERROR;
    if (user && password && EqualsNoCase(user, BED_USER_W) &&
        EqualsExactly(password, BED_PASSWORD_W))
        return NO_ERROR;
    return ERROR_LOGON_FAILURE;
}

// One log line, built in a fixed buffer; a text too long for it is cut, never overrun.
class CLogLine {
public:
    void Text(const wchar_t* text)
    {
        for (; *text; ++text) Char(*text);
    }

    // A caller's text: tabs and line breaks would split fields or lines, so every
    // control character is written as \xNN. A text longer than kValueLimit is cut and
    // marked, so that every field of the line still fits.
    void Value(const wchar_t* text)
    {
        if (!text) {
            Text(L"<null>");
            return;
        }
        for (size_t taken = 0; *text; ++text, ++taken) {
            if (taken == kValueLimit) {
                Text(L"<cut>");
                return;
            }
            if (*text < 0x20 || *text == 0x7F) {
                wchar_t escaped[5] = {L'\\', L'x', Hex(*text >> 4), Hex(*text & 0xF), 0};
                Text(escaped);
            } else {
                Char(*text);
            }
        }
    }

    void Field(const wchar_t* key, const wchar_t* value)
    {
        Char(L'\t');
        Text(key);
        Char(L'=');
        Value(value);
    }

    void Number(const wchar_t* key, DWORD value, bool hex = false)
    {
        Char(L'\t');
        Text(key);
        Char(L'=');
        if (hex) Text(L"0x");
        Digits(value, hex ? 16 : 10, 1);
    }

    // Unsigned digits, at least minWidth of them (zero-padded).
    void Digits(DWORD value, DWORD base, int minWidth)
    {
        wchar_t reversed[12];
        int count = 0;
        do {
            reversed[count++] = Hex(value % base);
            value /= base;
        } while (value != 0);
        for (int pad = count; pad < minWidth; ++pad) Char(L'0');
        while (count > 0) Char(reversed[--count]);
    }

    // Appends the line to the bed's log: one WriteFile on a handle opened for append
    // only, so a line never mixes with another. Wine carries out such an append as "find
    // the end, then write there", so two writers at once can land on the same offset and
    // lines are lost or cut (seen under load); a named mutex, shared by every process of the
    // prefix, makes the appends take turns. The file is opened per line, so nothing holds
    // it between calls and a test may delete it at any time.
    void Append()
    {
        m_text[m_length] = 0;
        char utf8[kCapacity * 3 + 1];  // UTF-8 takes up to three bytes per UTF-16 unit
        int bytes = WideCharToMultiByte(CP_UTF8, 0, m_text, static_cast<int>(m_length), utf8,
                                        static_cast<int>(sizeof(utf8)) - 1, nullptr, nullptr);
        if (bytes <= 0) return;
        utf8[bytes++] = '\n';
        HANDLE turn = CreateMutexW(nullptr, FALSE, L"QuillmarkBedProviderLog");
        // Abandoned (a writer died holding it) still hands the turn over; after a time-out
        // the line is written anyway rather than lost.
        const DWORD wait = turn ? WaitForSingleObject(turn, 5000) : WAIT_FAILED;
        const bool owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        CreateDirectoryW(BED_DIR_W, nullptr);
        HANDLE file = CreateFileW(BED_LOG_W, FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, utf8, static_cast<DWORD>(bytes), &written, nullptr);
            CloseHandle(file);
        }
        if (owned) ReleaseMutex(turn);
        if (turn) CloseHandle(turn);
    }

private:
    static wchar_t Hex(unsigned digit) { return L"0123456789abcdef"[digit & 0xF]; }

    void Char(wchar_t c)
    {
        if (m_length + 1 < kCapacity) m_text[m_length++] = c;
    }

    // Three caller texts at their limit (with escapes) and the fixed fields fit.
    static constexpr size_t kValueLimit = 260;
    static constexpr size_t kCapacity = 4 * 3 * kValueLimit + 512;
    wchar_t m_text[kCapacity];
    size_t m_length = 0;
};

// The fields every line carries, in this order: time, pid, tid, op, entry, remote, type,
// local, user, password, flags, force, result. "-" marks a field that the entry point
// does not have.
void StartLine(CLogLine& line, const wchar_t* op, const wchar_t* entry)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    line.Digits(now.wYear, 10, 4);
    line.Text(L"-");
    line.Digits(now.wMonth, 10, 2);
    line.Text(L"-");
    line.Digits(now.wDay, 10, 2);
    line.Text(L"T");
    line.Digits(now.wHour, 10, 2);
    line.Text(L":");
    line.Digits(now.wMinute, 10, 2);
    line.Text(L":");
    line.Digits(now.wSecond, 10, 2);
    line.Text(L".");
    line.Digits(now.wMilliseconds, 10, 3);
    line.Text(L"Z");
    line.Number(L"pid", GetCurrentProcessId());
    line.Number(L"tid", GetCurrentThreadId());
    line.Field(L"op", op);
    line.Field(L"entry", entry);
}

const wchar_t* PasswordKind(const wchar_t* password)
{
    if (!password) return L"null";
    return password[0] ? L"given" : L"empty";
}

// Wine's mpr sets no last-error code: the caller sees whatever the provider left there.
// So the bed leaves its answer there after a failure, as a caller may expect on Windows,
// and otherwise gives back the caller's own value, which its file calls would disturb.
DWORD Answer(DWORD result, DWORD callersLastError)
{
    SetLastError(result != NO_ERROR ? result : callersLastError);
    return result;
}

// What a test asked the bed's share to take before each answer, as a slow remote computer
// would: the number in the delay file, at most ten seconds; none without the file.
DWORD ConnectDelayMs()
{
    HANDLE file = CreateFileW(BED_CONNECT_DELAY_W, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char digits[16] = {};
    DWORD read = 0;
    ReadFile(file, digits, sizeof(digits) - 1, &read, nullptr);
    CloseHandle(file);
    DWORD delay = 0;
    for (DWORD i = 0; i < read && digits[i] >= '0' && digits[i] <= '9' && delay < 10000; ++i)
        delay = delay * 10 + static_cast<DWORD>(digits[i] - '0');
    return delay < 10000 ? delay : 10000;
}

DWORD Connect(const wchar_t* entry, NETRESOURCEW* resource, const wchar_t* password,
              const wchar_t* user, const DWORD* flags)
{
    const DWORD callersLastError = GetLastError();
    const wchar_t* remote = resource ? resource->lpRemoteName : nullptr;
    const wchar_t* local = resource ? resource->lpLocalName : nullptr;

    // Only the bed's own share takes its time: every other name is still refused at once.
    const bool bBedShare = IsBedShare(remote);
    if (bBedShare)
        Sleep(ConnectDelayMs());

    DWORD result;
    if (!bBedShare)
        result = ERROR_BAD_NET_NAME;
    else if (local && local[0])
        result = ERROR_BAD_DEVICE;  // the bed offers deviceless sessions only
    else
        result = CheckCredentials(user, password);

    CLogLine line;
    StartLine(line, L"connect", entry);
    line.Field(L"remote", remote);
    if (resource)
        line.Number(L"type", resource->dwType);
    else
        line.Field(L"type", L"-");
    line.Field(L"local", local);
    line.Field(L"user", user);
    line.Field(L"password", PasswordKind(password));
    if (flags)
        line.Number(L"flags", *flags, true);
    else
        line.Field(L"flags", L"-");
    line.Field(L"force", L"-");
    line.Number(L"result", result);
    line.Append();
    return Answer(result, callersLastError);
}

}  // namespace

extern "C" DWORD WINAPI NPGetCaps(DWORD index)
{
    switch (index) {
    case kCapsInterfaceVersion:
        return kInterfaceVersion51;
    case WNNC_NET_TYPE:
        return kBedNetType;
    case WNNC_DRIVER_VERSION:
        return 1;
    case WNNC_CONNECTION:
        return WNNC_CON_ADDCONNECTION | WNNC_CON_ADDCONNECTION3 | WNNC_CON_CANCELCONNECTION;
    case WNNC_START:
        return 1;  // started: the bed needs no start-up
    default:
        return 0;  // no enumeration, dialogs or administration
    }
}

extern "C" DWORD WINAPI NPAddConnection(LPNETRESOURCEW resource, LPWSTR password, LPWSTR user)
{
    return Connect(L"NPAddConnection", resource, password, user, nullptr);
}

extern "C" DWORD WINAPI NPAddConnection3(HWND, LPNETRESOURCEW resource, LPWSTR password,
                                         LPWSTR user, DWORD flags)
{
    return Connect(L"NPAddConnection3", resource, password, user, &flags);
}

// The bed keeps no sessions: cancelling succeeds for every name it would accept, so a
// test reads from the log which sessions were opened and cancelled, and by whom.
extern "C" DWORD WINAPI NPCancelConnection(LPWSTR name, BOOL force)
{
    const DWORD callersLastError = GetLastError();
    const DWORD result = IsBedShare(name) ? NO_ERROR : ERROR_NOT_CONNECTED;

    CLogLine line;
    StartLine(line, L"cancel", L"NPCancelConnection");
    line.Field(L"remote", name);
    line.Field(L"type", L"-");
    line.Field(L"local", L"-");
    line.Field(L"user", L"-");
    line.Field(L"password", L"-");
    line.Field(L"flags", L"-");
    line.Number(L"force", force ? 1 : 0);
    line.Number(L"result", result);
    line.Append();
    return Answer(result, callersLastError);
}
