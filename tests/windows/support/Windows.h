// Acting on the test program's own windows as a user would: messages handled while a
// test waits, work for a second thread while this one runs a modal loop, and the boxes
// such a loop opens, found and answered from that second thread with the same finder
// that reaches another process's windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testbed/driver/Programs.h"

namespace testsupport {

using testbed::PressKey;
using testbed::WindowText;

// Handles this thread's messages until done() says so; false when the time ran out.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 10000);

// Handles this thread's messages for that long: what its timers and repaints do meanwhile.
inline void PumpFor(DWORD milliseconds) { PumpUntil([] { return false; }, milliseconds); }

// Work for a second thread, while this one makes a call that may run a modal loop.
template <typename Work>
auto OnSecondThread(Work work)
{
    return std::async(std::launch::async, std::move(work));
}
// Its result. This thread handles its messages meanwhile: the second thread may be
// asking one of this thread's windows something.
template <typename Result>
Result Await(std::future<Result>& result)
{
    PumpUntil([&result] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              INFINITE);
    return result.get();
}

// A visible top-level window of this process, of the class, with the caption (any when
// null), that accept (if given) takes. Polled from a thread that does not make it.
HWND WaitForTopLevel(const char* className, const char* caption, DWORD milliseconds = 10000,
                     const std::function<bool(HWND)>& accept = {});

// A dialog box as a second thread saw it before answering it (hWnd null: none came).
using SeenBox = testbed::MessageBoxSeen;
// Waits for the box with this caption (null: any message box), lets onSeen look at it,
// answers it with the button and waits until it has gone.
SeenBox AnswerBox(const char* caption, int nButton, DWORD milliseconds = 10000,
                  const std::function<void(const SeenBox&)>& onSeen = {});
inline SeenBox AnswerMessageBox(int nButton) { return AnswerBox(nullptr, nButton); }

// Answers with OK, and records, every box with this caption (null: every message box)
// that opens while it watches.
class CBoxSentry {
public:
    explicit CBoxSentry(const char* caption = nullptr);
    ~CBoxSentry() { Stop(); }
    std::vector<SeenBox> Stop();

private:
    std::atomic<bool> m_bStop{false};
    std::future<std::vector<SeenBox>> m_seen;
    std::vector<SeenBox> m_result;
};

// A list view cell's text, read in this process.
std::string ListText(HWND hList, int nItem, int nSubItem);

// ---- The clipboard, as another program uses it ----

// Its text (CF_TEXT); nullopt when it cannot be opened (someone holds it) or has none.
std::optional<std::string> ClipboardText();
// The same as Unicode text (CF_UNICODETEXT), which a program pastes whatever its code page.
std::optional<std::wstring> ClipboardUnicodeText();
// Puts the text there; false when the clipboard could not be opened.
bool PutClipboardText(const std::string& text);

// Keeps the clipboard open on a second thread, as a busy program may, until released.
class CClipboardHolder {
public:
    CClipboardHolder();  // returns once the clipboard is held, or could not be
    ~CClipboardHolder() { Release(); }
    CClipboardHolder(const CClipboardHolder&) = delete;
    CClipboardHolder& operator=(const CClipboardHolder&) = delete;

    bool IsHolding() const { return m_bHolding; }
    void Release();

private:
    HANDLE m_hRelease;
    bool m_bHolding = false;
    std::thread m_holder;
};

}  // namespace testsupport
