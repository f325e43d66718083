// The beeps a test program asks the system for, counted.
#pragma once

#include <windows.h>

#include <atomic>

namespace testsupport {

// For as long as it lives, every MessageBeep that this program's code calls is counted
// (and not sounded): the counter stands in for the system's function in the program's
// import table, through which every such call goes (a program that imports none has
// nothing to count). One at a time.
class CBeepCounter {
public:
    CBeepCounter();
    ~CBeepCounter();
    CBeepCounter(const CBeepCounter&) = delete;
    CBeepCounter& operator=(const CBeepCounter&) = delete;

    int Count() const { return s_nBeeps.load(); }
    UINT LastType() const { return s_nLastType.load(); }

private:
    static BOOL WINAPI CountedBeep(UINT uType);
    static std::atomic<int> s_nBeeps;
    static std::atomic<UINT> s_nLastType;

    void** m_ppSlot = nullptr;
    void* m_pSystemBeep = nullptr;
};

}  // namespace testsupport
