// Starting programs and finding and reading their windows, from any process.
#include "testbed/driver/Programs.h"

#include <algorithm>
#include <cstdlib>

namespace testbed {

namespace {

// How long a read waits for the window to answer one sent message; a window whose
// thread stays busy longer than this is hung as far as a user can tell.
constexpr UINT kSendTimeoutMs = 10000;

struct WindowQuery {
    DWORD processId;
    const char* className;
    const char* caption;
    const std::function<bool(HWND)>& accept;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindows(HWND hWnd, LPARAM lParam)
{
    auto& query = *reinterpret_cast<WindowQuery*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    if (processId != query.processId || !::IsWindowVisible(hWnd) || ClassOf(hWnd) != query.className)
        return TRUE;
    if (query.caption && WindowText(hWnd) != query.caption)
        return TRUE;
    if (query.accept && !query.accept(hWnd))
        return TRUE;
    query.found.push_back(hWnd);
    return TRUE;
}

BOOL CALLBACK FindIconStatic(HWND hWnd, LPARAM lParam)
{
    if (::lstrcmpiA(ClassOf(hWnd).c_str(), "Static") == 0 &&
        (::GetWindowLongA(hWnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

// A top-down 32-bit bitmap to copy the screen into or draw on, and read back.
class CCanvas {
public:
    CCanvas(int width, int height)
        : m_nPixels(static_cast<size_t>(width) * static_cast<size_t>(height)),
          m_hScreen(::GetDC(nullptr)), m_hMem(::CreateCompatibleDC(m_hScreen))
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* pBits = nullptr;
        m_hBitmap = ::CreateDIBSection(m_hScreen, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
        m_pBits = static_cast<DWORD*>(pBits);
        if (m_hBitmap)
            m_hOld = ::SelectObject(m_hMem, m_hBitmap);
    }
    ~CCanvas()
    {
        if (m_hBitmap) {
            ::SelectObject(m_hMem, m_hOld);
            ::DeleteObject(m_hBitmap);
        }
        ::DeleteDC(m_hMem);
        ::ReleaseDC(nullptr, m_hScreen);
    }
    CCanvas(const CCanvas&) = delete;
    CCanvas& operator=(const CCanvas&) = delete;

    bool IsValid() const { return m_hBitmap != nullptr; }
    HDC Dc() const { return m_hMem; }
    HDC Screen() const { return m_hScreen; }
    void Fill(DWORD pixel) { std::fill(m_pBits, m_pBits + m_nPixels, pixel); }
    // What it holds, colour only (0x00RRGGBB).
    std::vector<DWORD> Pixels() const
    {
        ::GdiFlush();
        std::vector<DWORD> pixels(m_pBits, m_pBits + m_nPixels);
        for (DWORD& pixel : pixels)
            pixel &= 0xFFFFFF;
        return pixels;
    }

private:
    size_t m_nPixels;
    HDC m_hScreen;
    HDC m_hMem;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOld = nullptr;
    DWORD* m_pBits = nullptr;
};

// The static's screen area against each system icon drawn on the same background;
// None while nothing matches.
BoxIcon MatchIcon(HWND hStatic)
{
    RECT rect;
    ::GetWindowRect(hStatic, &rect);
    const std::vector<DWORD> shot = ScreenPixels(rect);
    if (shot.empty())
        return BoxIcon::None;
    CCanvas canvas(rect.right - rect.left, rect.bottom - rect.top);
    if (!canvas.IsValid())
        return BoxIcon::None;

    const struct {
        LPCSTR id;
        BoxIcon icon;
    } candidates[] = {{IDI_EXCLAMATION, BoxIcon::Exclamation},
                      {IDI_HAND, BoxIcon::Hand},
                      {IDI_QUESTION, BoxIcon::Question},
                      // The product never names this one; seeing it is a fault of its own.
                      {IDI_ASTERISK, BoxIcon::Other}};
    for (const auto& candidate : candidates) {
        canvas.Fill(shot[0]);
        ::DrawIcon(canvas.Dc(), 0, 0, ::LoadIconA(nullptr, candidate.id));
        if (canvas.Pixels() == shot)
            return candidate.icon;
    }
    return BoxIcon::None;
}

}  // namespace

bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(pollMs);
    }
}

void WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, const std::string& what,
               const std::function<std::string()>& seen)
{
    if (PollUntil(condition, timeoutMs))
        return;
    std::string message = "timed out after " + std::to_string(timeoutMs) + " ms waiting for " + what;
    if (seen)
        message += "; seen: " + seen();
    throw DriverError(message);
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string DosPathOf(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

PROCESS_INFORMATION StartProgram(const std::string& unixPath, const std::string& arguments)
{
    const std::string path = DosPathOf(unixPath);
    std::string commandLine = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &pi))
        throw DriverError("cannot start " + path + " (error " + std::to_string(::GetLastError()) + ")");
    return pi;
}

namespace {

constexpr char kWineProgramSettings[] = "Software\\Wine\\AppDefaults\\";

// Opens the key of HKEY_CURRENT_USER, making it if need be; true when this made it.
bool MakeKey(const std::string& path, HKEY* phKey)
{
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          phKey, &disposition) != ERROR_SUCCESS)
        throw DriverError("cannot write Wine's settings under HKCU\\" + path);
    return disposition == REG_CREATED_NEW_KEY;
}

}  // namespace

CNativeLibraryFirst::CNativeLibraryFirst(const std::string& programFileName,
                                         const std::string& libraryName)
    : m_strProgramKey(kWineProgramSettings + programFileName),
      m_strOverridesKey(m_strProgramKey + "\\DllOverrides"),
      m_strLibrary(libraryName.substr(0, libraryName.rfind(".dll")))
{
    HKEY hKey = nullptr;
    m_bProgramKeyMade = MakeKey(m_strProgramKey, &hKey);
    ::RegCloseKey(hKey);
    m_bOverridesKeyMade = MakeKey(m_strOverridesKey, &hKey);
    constexpr char kNativeFirst[] = "native,builtin";
    const LONG set = ::RegSetValueExA(hKey, m_strLibrary.c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
    ::RegCloseKey(hKey);
    if (set != ERROR_SUCCESS)
        throw DriverError("cannot make Wine load a native " + libraryName);
}

// Each key that this made goes again; one that was there before stays.
CNativeLibraryFirst::~CNativeLibraryFirst()
{
    HKEY hOverrides = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, m_strOverridesKey.c_str(), 0, KEY_SET_VALUE,
                        &hOverrides) == ERROR_SUCCESS) {
        ::RegDeleteValueA(hOverrides, m_strLibrary.c_str());
        ::RegCloseKey(hOverrides);
    }
    if (m_bOverridesKeyMade)
        ::RegDeleteKeyA(HKEY_CURRENT_USER, m_strOverridesKey.c_str());
    if (m_bProgramKeyMade)
        ::RegDeleteKeyA(HKEY_CURRENT_USER, m_strProgramKey.c_str());
}

std::string WindowText(HWND hWnd)
{
    // GetWindowText does not ask another process's window: an edit box of the product
    // would read as empty. WM_GETTEXT is copied across processes by the system.
    // Empty when the window does not answer: this runs inside enumeration callbacks too,
    // which nothing may throw through.
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length))
        return "";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_NORMAL, kSendTimeoutMs, &copied))
        return "";
    text.resize(std::min<size_t>(static_cast<size_t>(copied), text.size() - 1));
    return text;
}

std::string ClassOf(HWND hWnd)
{
    char name[64] = "";
    ::GetClassNameA(hWnd, name, sizeof name);
    return name;
}

std::vector<DWORD> ScreenPixels(const RECT& rect)
{
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return {};
    CCanvas canvas(width, height);
    if (!canvas.IsValid())
        return {};
    ::BitBlt(canvas.Dc(), 0, 0, width, height, canvas.Screen(), rect.left, rect.top, SRCCOPY);
    return canvas.Pixels();
}

std::vector<HWND> TopLevelWindows(DWORD processId, const char* className, const char* caption,
                                  const std::function<bool(HWND)>& accept)
{
    WindowQuery query{processId, className, caption, accept, {}};
    ::EnumWindows(&CollectWindows, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND TopLevelWindow(DWORD processId, const char* className, const char* caption,
                    const std::function<bool(HWND)>& accept)
{
    const std::vector<HWND> found = TopLevelWindows(processId, className, caption, accept);
    return found.empty() ? nullptr : found.front();
}

// ---- Message boxes ----

bool HasMessageBoxText(HWND hWnd) { return ::GetDlgItem(hWnd, kMessageBoxTextId) != nullptr; }

const char* BoxIconName(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None: return "no icon";
    case BoxIcon::Exclamation: return "exclamation";
    case BoxIcon::Hand: return "stop (hand)";
    case BoxIcon::Question: return "question";
    case BoxIcon::Other: return "another icon";
    }
    return "?";
}

MessageBoxSeen ReadMessageBox(HWND hBox)
{
    MessageBoxSeen box;
    box.hWnd = hBox;
    box.strCaption = WindowText(hBox);
    box.strText = WindowText(::GetDlgItem(hBox, kMessageBoxTextId));
    box.hWndOwner = ::GetWindow(hBox, GW_OWNER);
    box.bOwnerEnabled = box.hWndOwner && ::IsWindowEnabled(box.hWndOwner);
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        if (HWND hButton = ::GetDlgItem(hBox, id); hButton && ::IsWindowVisible(hButton))
            box.buttons.push_back(id);
    ::EnumChildWindows(hBox, &FindIconStatic, reinterpret_cast<LPARAM>(&box.hIconStatic));
    DWORD_PTR icon = 0;
    if (box.hIconStatic &&
        ::SendMessageTimeoutA(box.hIconStatic, STM_GETICON, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &icon))
        box.hIcon = reinterpret_cast<HICON>(icon);
    return box;
}

BoxIcon ScreenIcon(HWND hIconStatic, DWORD timeoutMs)
{
    if (!hIconStatic || !::IsWindowVisible(hIconStatic))
        return BoxIcon::None;
    BoxIcon icon = BoxIcon::None;
    return PollUntil([&] { return (icon = MatchIcon(hIconStatic)) != BoxIcon::None; }, timeoutMs)
               ? icon
               : BoxIcon::Other;
}

void PressKey(WORD vk, std::initializer_list<WORD> modifiers)
{
    std::vector<INPUT> inputs;
    auto add = [&inputs](WORD key, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (WORD modifier : modifiers)
        add(modifier, 0);
    add(vk, 0);
    add(vk, KEYEVENTF_KEYUP);
    for (WORD modifier : modifiers)
        add(modifier, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void TypeText(const std::string& text)
{
    for (const char ch : text) {
        const SHORT key = ::VkKeyScanA(ch);
        if (key == -1 || (HIBYTE(key) & ~1) != 0)
            throw DriverError(std::string("the keyboard layout has no plain or shifted key for '") + ch + "'");
        if (HIBYTE(key) & 1)
            PressKey(LOBYTE(key), {VK_SHIFT});
        else
            PressKey(LOBYTE(key));
    }
}

void TypeText(const std::wstring& text)
{
    for (const wchar_t ch : text) {
        INPUT inputs[2] = {};
        for (INPUT& input : inputs) {
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = ch;
            input.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        ::SendInput(2, inputs, sizeof(INPUT));
    }
}

}  // namespace testbed
