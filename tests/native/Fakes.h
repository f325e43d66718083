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

inline void PrintTo(const MessageBox& box, std::ostream* os)
{
    *os << "{" << testing::PrintToString(box.text) << ", style " << box.style << "}";
}

}  // namespace fakes
