// CBeepCounter: MessageBeep's slot in this program's import table, taken for a while.
#include "tests/windows/support/Beeps.h"

#include <cstring>

namespace testsupport {
namespace {

// The slot of the module's import table through which its calls of the function go.
void** ImportSlot(HMODULE hModule, const char* library, const char* function)
{
    auto* const base = reinterpret_cast<BYTE*>(hModule);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), library) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void Replace(void** ppSlot, void* pNew)
{
    DWORD oldProtection = 0;
    ::VirtualProtect(ppSlot, sizeof *ppSlot, PAGE_READWRITE, &oldProtection);
    *ppSlot = pNew;
    ::VirtualProtect(ppSlot, sizeof *ppSlot, oldProtection, &oldProtection);
}

}  // namespace

std::atomic<int> CBeepCounter::s_nBeeps{0};
std::atomic<UINT> CBeepCounter::s_nLastType{0};

CBeepCounter::CBeepCounter() : m_ppSlot(ImportSlot(::GetModuleHandleA(nullptr), "user32.dll", "MessageBeep"))
{
    s_nBeeps = 0;
    s_nLastType = 0;
    if (!m_ppSlot)
        return;
    m_pSystemBeep = *m_ppSlot;
    Replace(m_ppSlot, reinterpret_cast<void*>(&CBeepCounter::CountedBeep));
}

CBeepCounter::~CBeepCounter()
{
    if (m_ppSlot)
        Replace(m_ppSlot, m_pSystemBeep);
}

BOOL WINAPI CBeepCounter::CountedBeep(UINT uType)
{
    s_nLastType = uType;
    ++s_nBeeps;
    return TRUE;
}

}  // namespace testsupport
