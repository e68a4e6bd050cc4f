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

    AllocationCounter (const AllocationCounter&) = delete;
    AllocationCounter& operator= (const AllocationCounter&) = delete;

private:
    std::size_t startCount;
};
