#pragma once

#include <cstddef>

/** Counts heap allocations (malloc and everything built on it: operator new, Eigen's aligned
    allocations) made by the current thread while an instance is alive.

    The count comes from malloc wrappers in AllocationCounter.cpp. Sanitizer builds bring their
    own allocator, so there the wrappers are left out and isAvailable() is false.
*/
class AllocationCounter
{
public:
    AllocationCounter() noexcept;
    ~AllocationCounter();

    static bool isAvailable() noexcept;
    std::size_t count() const noexcept;

    /** Counts only the allocations this lets through (all while it is null). It runs inside the
        allocator, so it must neither allocate nor recurse without a guard. */
    using Filter = bool (*)() noexcept;
    static void setFilter (Filter) noexcept;

    AllocationCounter (const AllocationCounter&) = delete;
    AllocationCounter& operator= (const AllocationCounter&) = delete;

private:
    std::size_t startCount;
};
