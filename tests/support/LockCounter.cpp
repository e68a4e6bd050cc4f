#include "LockCounter.h"

#include <dlfcn.h>
#include <pthread.h>

namespace
{
thread_local std::size_t locksOnThisThread = 0;
thread_local int activeCounters = 0;
LockCounter::Filter filter = nullptr;

inline void noteLock() noexcept
{
    if (activeCounters > 0 && (filter == nullptr || filter()))
        ++locksOnThisThread;
}

template <typename Function>
Function next (const char* name) noexcept
{
    return reinterpret_cast<Function> (dlsym (RTLD_NEXT, name));
}
} // namespace

LockCounter::LockCounter() noexcept : startCount (locksOnThisThread) { ++activeCounters; }
LockCounter::~LockCounter() { --activeCounters; }
std::size_t LockCounter::count() const noexcept { return locksOnThisThread - startCount; }
void LockCounter::setFilter (Filter f) noexcept { filter = f; }

extern "C"
{
int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    static const auto real = next<int (*) (pthread_mutex_t*)> ("pthread_mutex_lock");
    noteLock();
    return real (mutex);
}

int pthread_mutex_trylock (pthread_mutex_t* mutex)
{
    static const auto real = next<int (*) (pthread_mutex_t*)> ("pthread_mutex_trylock");
    noteLock();
    return real (mutex);
}
}
