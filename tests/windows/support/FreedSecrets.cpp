// The watch for freed secrets, and the program-wide operator new and delete that let it
// look at every block before it goes back to the C runtime.
#include "tests/windows/support/FreedSecrets.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The watched text. Plain storage rather than a string: operator delete reads it, and must
// neither allocate nor free.
char g_secret[256];
std::atomic<std::size_t> g_nSecretLength{0};
std::atomic<int> g_nFreedUnwiped{0};

void LookAtFreedBlock(void* pBlock)
{
    const std::size_t length = g_nSecretLength.load();
    if (!pBlock || length == 0)
        return;
    const char* begin = static_cast<const char*>(pBlock);
    const char* end = begin + _msize(pBlock);
    if (std::search(begin, end, g_secret, g_secret + length) != end)
        ++g_nFreedUnwiped;
}

}  // namespace

void* operator new(std::size_t size)
{
    for (;;) {
        if (void* pBlock = std::malloc(size ? size : 1))
            return pBlock;
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void operator delete(void* pBlock) noexcept
{
    LookAtFreedBlock(pBlock);
    std::free(pBlock);
}

void operator delete(void* pBlock, std::size_t) noexcept { operator delete(pBlock); }

namespace testsupport {

CFreedSecretWatch::CFreedSecretWatch(const char* secret)
{
    const std::size_t length = std::min(std::strlen(secret), sizeof g_secret);
    std::memcpy(g_secret, secret, length);
    g_nFreedUnwiped = 0;
    g_nSecretLength = length;
}

CFreedSecretWatch::~CFreedSecretWatch() { g_nSecretLength = 0; }

int CFreedSecretWatch::FreedUnwiped() const { return g_nFreedUnwiped.load(); }

}  // namespace testsupport
