// CopyTextToClipboard: the clipboard opened, filled and closed within one call.
#include "console/Clipboard.h"

#include <cstring>

namespace {

constexpr DWORD kClipboardWaitMs = 100;
constexpr DWORD kClipboardRetryMs = 10;

// The clipboard, open for as long as this lives, if it could be opened in time.
class CClipboardScope {
public:
    explicit CClipboardScope(HWND hOwner)
    {
        const DWORD start = ::GetTickCount();
        while (!(m_bOpen = ::OpenClipboard(hOwner) != FALSE) &&
               ::GetTickCount() - start < kClipboardWaitMs)
            ::Sleep(kClipboardRetryMs);
    }
    ~CClipboardScope()
    {
        if (m_bOpen)
            ::CloseClipboard();
    }
    CClipboardScope(const CClipboardScope&) = delete;
    CClipboardScope& operator=(const CClipboardScope&) = delete;

    bool IsOpen() const { return m_bOpen; }

private:
    bool m_bOpen = false;
};

// A copy of some bytes in global memory, freed with this object unless the clipboard
// has taken it.
class CGlobalCopy {
public:
    CGlobalCopy(const void* pData, size_t size) : m_hMemory(::GlobalAlloc(GMEM_MOVEABLE, size))
    {
        void* pCopy = m_hMemory ? ::GlobalLock(m_hMemory) : nullptr;
        if (!pCopy) {
            Free();
            return;
        }
        std::memcpy(pCopy, pData, size);
        ::GlobalUnlock(m_hMemory);
    }
    ~CGlobalCopy() { Free(); }
    CGlobalCopy(const CGlobalCopy&) = delete;
    CGlobalCopy& operator=(const CGlobalCopy&) = delete;

    bool IsMade() const { return m_hMemory != nullptr; }

    // The clipboard, open, takes the memory in this format and frees it from then on.
    bool HandTo(UINT format)
    {
        if (!m_hMemory || !::SetClipboardData(format, m_hMemory))
            return false;
        m_hMemory = nullptr;
        return true;
    }

private:
    void Free()
    {
        if (m_hMemory)
            ::GlobalFree(m_hMemory);
        m_hMemory = nullptr;
    }

    HGLOBAL m_hMemory;
};

}  // namespace

bool CopyTextToClipboard(HWND hOwner, const std::wstring& text)
{
    // Copied before the clipboard opens, so it is held no longer than it takes to hand over.
    CGlobalCopy textCopy(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    // For a program that pastes 8-bit text, the system makes it from this one in the code
    // page of the locale given here, the system's, as such programs have; without one it
    // would take the keyboard's language, which may use another code page.
    const LCID systemLocale = ::GetSystemDefaultLCID();
    CGlobalCopy localeCopy(&systemLocale, sizeof systemLocale);
    if (!textCopy.IsMade())
        return false;

    const CClipboardScope clipboard(hOwner);
    if (!clipboard.IsOpen() || !::EmptyClipboard() || !textCopy.HandTo(CF_UNICODETEXT))
        return false;
    // The text is there either way: without the locale the system still converts it.
    localeCopy.HandTo(CF_LOCALE);
    return true;
}
