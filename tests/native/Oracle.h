// What a refresh, a start or a stop must leave, worked out step by step from which of
// its steps fail: the messages, the list, the pass, the enumeration calls and the path
// taken. The seeded fault schedules and the fuzzing harness draw their failures
// differently and both ask this one oracle what should follow.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Expected.h"
#include "FakesCore.h"

namespace expected {

// Which steps of a refresh fail; the first of them in this order decides.
struct RefreshSteps {
    bool sessionRefused = false;  // refused, or a host too long to name a session
    bool noThread = false;
    bool managerRefused = false;
    bool sizeQueryFailed = false;
    bool noBuffer = false;
    bool dataCallFailed = false;
    bool countBeyondBuffer = false;
    bool textOutsideAnswer = false;  // a listed record's text lies outside, or runs past it
    int dataCalls = 1;
    std::vector<fakes::FakeService> earlier;  // what the data calls before the last listed
    std::vector<fakes::FakeService> listed;   // what a pass that gets through shows
};

// Which steps of a start or stop fail, and how the user answers its question.
struct CommandSteps {
    bool stop = false;
    bool noSelection = false;
    bool sessionRefused = false;
    bool managerRefused = false;
    bool serviceRefused = false;
    bool confirmed = true;                     // Yes to "really stop?"
    std::optional<std::uint32_t> refusedWith;  // the request's error, when it fails
    std::map<int, fakes::Row> rowsBefore;      // no failure of a command changes the list
};

struct Outcome {
    Boxes messages;
    std::map<int, fakes::Row> rows;
    bool passStarted = false;
    int enumCalls = 0;
    bool serviceOpened = false;
    bool requested = false;          // the start or stop request was made
    std::vector<std::string> paths;  // e.g. "refresh: listed", "stop: not confirmed"
};

// Adds a refresh to what came before it (a command's messages and paths).
inline void AddRefresh(const RefreshSteps& s, Outcome& o)
{
    const auto fail = [&o](const std::string& text, const char* path) {
        if (!text.empty())
            o.messages.push_back({text, kPlainOk});
        o.paths.push_back(std::string("refresh: ") + path);
    };
    o.rows.clear();
    if (s.sessionRefused)
        return fail(kAuthFailed, "session refused");
    if (s.noThread)
        return fail("", "no thread");
    o.passStarted = true;
    if (s.managerRefused)
        return fail(kManagerFailed, "manager refused");
    o.enumCalls = 1;
    if (s.sizeQueryFailed)
        return fail(kEnumerationFailed, "size query failed");
    if (s.noBuffer)
        return fail(kEnumerationFailed, "no buffer");
    o.enumCalls = 1 + s.dataCalls;
    if (s.dataCallFailed)
        return fail(kEnumerationFailed, "data call failed");
    o.rows = Rows(s.earlier);  // shown as they came, whatever the last call answers
    if (s.countBeyondBuffer)
        return fail(kEnumerationFailed, "count beyond the buffer");
    if (s.textOutsideAnswer)
        return fail(kEnumerationFailed, "text outside the answer");
    o.rows = Rows(s.listed);
    o.paths.push_back(s.listed.empty() ? "refresh: nothing listed"
                      : s.dataCalls > 1 ? "refresh: listed in slices" : "refresh: listed");
}

inline Outcome Refresh(const RefreshSteps& s)
{
    Outcome o;
    AddRefresh(s, o);
    return o;
}

// A start or stop, and the refresh that follows one that was accepted.
inline void AddCommand(const CommandSteps& c, const RefreshSteps& refresh, Outcome& o)
{
    const std::string name = c.stop ? "stop" : "start";
    // Start and stop share their beginning, so its paths are named for both.
    const auto fail = [&o](const std::string& text, unsigned style, const std::string& path) {
        if (!text.empty())
            o.messages.push_back({text, style});
        o.paths.push_back(path);
    };
    o.rows = c.rowsBefore;
    if (c.noSelection)
        return fail("", 0, "command: no selection");
    if (c.sessionRefused)
        return fail(kAuthFailed, kPlainOk, "command: session refused");
    if (c.managerRefused)
        return fail(kManagerFailed, kPlainOk, "command: manager refused");
    if (c.serviceRefused)
        return fail(kServiceFailed, kPlainOk, "command: service refused");
    o.serviceOpened = true;
    if (c.stop) {
        o.messages.push_back({kConfirmStop, kYesNoQuestion});
        if (!c.confirmed)
            return fail("", 0, "stop: not confirmed");
    }
    o.requested = true;
    if (c.refusedWith) {
        const std::string text = c.stop ? StopText(*c.refusedWith) : StartText(*c.refusedWith);
        return fail(text, kStopIcon, name + ": refused");
    }
    o.paths.push_back(name + ": accepted");
    AddRefresh(refresh, o);
}

inline Outcome Command(const CommandSteps& c, const RefreshSteps& refresh)
{
    Outcome o;
    AddCommand(c, refresh, o);
    return o;
}

}  // namespace expected
