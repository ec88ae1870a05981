#include "tests/support/BenchLiveBytes.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {
std::atomic<std::size_t> gLive{0};
}

void* operator new(std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) {
        gLive += _msize(p);
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    if (p != nullptr) gLive -= _msize(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

namespace bench {

double Now()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::size_t LiveBytes()
{
    return gLive.load();
}

}  // namespace bench
