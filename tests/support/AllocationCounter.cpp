#include "AllocationCounter.h"

#include <cerrno>
#include <cstdlib>

#if defined(__has_feature)
 #if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  #define LUMBRANE_SANITIZED 1
 #endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
 #define LUMBRANE_SANITIZED 1
#endif

namespace
{
thread_local std::size_t allocationsOnThisThread = 0;
thread_local int activeCounters = 0;
AllocationCounter::Filter filter = nullptr;

inline void noteAllocation() noexcept
{
    if (activeCounters > 0 && (filter == nullptr || filter()))
        ++allocationsOnThisThread;
}
} // namespace

AllocationCounter::AllocationCounter() noexcept : startCount (allocationsOnThisThread) { ++activeCounters; }
AllocationCounter::~AllocationCounter() { --activeCounters; }
std::size_t AllocationCounter::count() const noexcept { return allocationsOnThisThread - startCount; }
void AllocationCounter::setFilter (Filter f) noexcept { filter = f; }

#if ! defined(LUMBRANE_SANITIZED) && defined(__GLIBC__)

bool AllocationCounter::isAvailable() noexcept { return true; }

// glibc lets a program replace its allocator by defining these; we forward to glibc's own.
extern "C"
{
void* __libc_malloc (std::size_t);
void* __libc_calloc (std::size_t, std::size_t);
void* __libc_realloc (void*, std::size_t);
void* __libc_memalign (std::size_t, std::size_t);
void __libc_free (void*);

void* malloc (std::size_t size)
{
    noteAllocation();
    return __libc_malloc (size);
}

void* calloc (std::size_t count, std::size_t size)
{
    noteAllocation();
    return __libc_calloc (count, size);
}

void* realloc (void* p, std::size_t size)
{
    noteAllocation();
    return __libc_realloc (p, size);
}

void* memalign (std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign (alignment, size);
}

void* aligned_alloc (std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign (alignment, size);
}

int posix_memalign (void** result, std::size_t alignment, std::size_t size)
{
    noteAllocation();

    if (void* p = __libc_memalign (alignment, size))
    {
        *result = p;
        return 0;
    }

    return ENOMEM;
}

void free (void* p) { __libc_free (p); }
}

#else

bool AllocationCounter::isAvailable() noexcept { return false; }

#endif
