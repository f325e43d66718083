// Pumping, second-thread work, and the boxes that modal loops open.
#include "tests/windows/support/Windows.h"

#include <commctrl.h>

#include <cstring>
#include <string_view>

namespace testsupport {
namespace {

// The console's and the About box's unnamed labels carry the message box's text id too.
bool IsMessageBox(HWND hWnd)
{
    const std::string caption = WindowText(hWnd);
    return testbed::HasMessageBoxText(hWnd) && caption != "Quillmark" && caption != "About Quillmark";
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start >= milliseconds)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

HWND WaitForTopLevel(const char* className, const char* caption, DWORD milliseconds,
                     const std::function<bool(HWND)>& accept)
{
    HWND hFound = nullptr;
    testbed::PollUntil(
        [&] {
            hFound = testbed::TopLevelWindow(::GetCurrentProcessId(), className, caption, accept);
            return hFound != nullptr;
        },
        milliseconds, 5);
    return hFound;
}

SeenBox AnswerBox(const char* caption, int nButton, DWORD milliseconds,
                  const std::function<void(const SeenBox&)>& onSeen)
{
    const HWND hBox = WaitForTopLevel(testbed::kDialogClass, caption, milliseconds,
                                      [caption](HWND hWnd) { return caption || IsMessageBox(hWnd); });
    if (!hBox)
        return {};
    const SeenBox seen = testbed::ReadMessageBox(hBox);
    if (onSeen)
        onSeen(seen);
    ::PostMessageA(hBox, WM_COMMAND, static_cast<WPARAM>(nButton), 0);
    // Gone before the caller looks for the next one, so no box is seen twice.
    testbed::PollUntil([hBox] { return !::IsWindow(hBox) || !::IsWindowVisible(hBox); }, 10000, 5);
    return seen;
}

CBoxSentry::CBoxSentry(const char* caption)
{
    m_seen = OnSecondThread([this, caption] {
        std::vector<SeenBox> seen;
        for (;;) {
            const bool bLastLook = m_bStop.load();
            const SeenBox box = AnswerBox(caption, IDOK, 0);
            if (box.hWnd)
                seen.push_back(box);
            else if (bLastLook)
                return seen;
            else
                ::Sleep(5);
        }
    });
}

std::vector<SeenBox> CBoxSentry::Stop()
{
    if (m_seen.valid()) {
        m_bStop = true;
        m_result = Await(m_seen);
    }
    return m_result;
}

std::string ListText(HWND hList, int nItem, int nSubItem)
{
    char text[512] = "";
    ListView_GetItemText(hList, nItem, nSubItem, text, sizeof text);
    return text;
}

// ---- The clipboard ----

template <typename Char>
std::optional<std::basic_string<Char>> ClipboardTextIn(UINT format)
{
    if (!::OpenClipboard(nullptr))
        return std::nullopt;
    std::optional<std::basic_string<Char>> text;
    if (const HANDLE hData = ::GetClipboardData(format)) {
        if (const auto* pText = static_cast<const Char*>(::GlobalLock(hData))) {
            const std::basic_string_view<Char> whole(pText, ::GlobalSize(hData) / sizeof(Char));
            text = std::basic_string<Char>(whole.substr(0, whole.find(Char{})));
            ::GlobalUnlock(hData);
        }
    }
    ::CloseClipboard();
    return text;
}

std::optional<std::string> ClipboardText() { return ClipboardTextIn<char>(CF_TEXT); }

std::optional<std::wstring> ClipboardUnicodeText() { return ClipboardTextIn<wchar_t>(CF_UNICODETEXT); }

bool PutClipboardText(const std::string& text)
{
    if (!::OpenClipboard(nullptr))
        return false;
    ::EmptyClipboard();
    bool bPut = false;
    if (const HGLOBAL hData = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        std::memcpy(::GlobalLock(hData), text.c_str(), text.size() + 1);
        ::GlobalUnlock(hData);
        bPut = ::SetClipboardData(CF_TEXT, hData) != nullptr;
        if (!bPut)
            ::GlobalFree(hData);
    }
    ::CloseClipboard();
    return bPut;
}

CClipboardHolder::CClipboardHolder() : m_hRelease(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    std::promise<bool> opened;
    std::future<bool> isOpen = opened.get_future();
    m_holder = std::thread([this, &opened] {
        const bool bOpen = ::OpenClipboard(nullptr) != FALSE;
        opened.set_value(bOpen);
        if (!bOpen)
            return;
        ::WaitForSingleObject(m_hRelease, 30000);
        ::CloseClipboard();
    });
    m_bHolding = isOpen.get();
}

void CClipboardHolder::Release()
{
    ::SetEvent(m_hRelease);
    if (m_holder.joinable())
        m_holder.join();
    if (m_hRelease) {
        ::CloseHandle(m_hRelease);
        m_hRelease = nullptr;
    }
}

}  // namespace testsupport
