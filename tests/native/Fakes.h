// Scripted stand-ins for the operating system and the console window, with what the
// GoogleTest suites add to them: journal order as an assertion, readable message boxes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "FakesCore.h"

namespace fakes {

// Succeeds when the events appear in the journal in this order (others may lie between).
inline testing::AssertionResult InOrder(const CJournal& journal,
                                        std::initializer_list<std::string> expected)
{
    const std::vector<std::string> events = journal.Events();
    auto it = events.begin();
    for (const std::string& want : expected) {
        it = std::find(it, events.end(), want);
        if (it == events.end()) {
            testing::AssertionResult failure = testing::AssertionFailure();
            failure << "\"" << want << "\" missing or out of order; journal:";
            for (const std::string& event : events)
                failure << "\n  " << event;
            return failure;
        }
        ++it;
    }
    return testing::AssertionSuccess();
}

// Whether the stack from this frame up to top, the callers' frames with whatever their dead
// slots still hold, holds the text. The address sanitizer's guard zones lie in between.
[[gnu::noinline, gnu::no_sanitize_address]]
inline bool StackHolds(const char* top, const char* text)
{
    const volatile char here = 0;
    for (const volatile char* at = &here; at < top; ++at) {
        std::size_t matched = 0;
        while (text[matched] && at[matched] == text[matched])
            ++matched;
        if (!text[matched])
            return true;
    }
    return false;
}

// Whether the stack below the caller's frame, where the calls it made lay, still holds the
// text. Not inlined, so that its array lies there, left as those calls left it.
[[gnu::noinline]] inline bool DeadStackHolds(const char* text)
{
    char below[16 * 1024];
    asm volatile("" : : "r"(below) : "memory");
    return StackHolds(below + sizeof below, text);
}

inline void PrintTo(const MessageBox& box, std::ostream* os)
{
    *os << "{" << testing::PrintToString(box.text) << ", style " << box.style << "}";
}

}  // namespace fakes
