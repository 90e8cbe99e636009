// Memory for the per-frame tables that a frame reads all over: in pages of
// 2 MB where the system gives them, so that a frame's reads, scattered over
// megabytes, do not each need a translation of their own 4 KB page (dear
// under a virtual machine, and lost whenever the X server's work between two
// frames has evicted them). Where there are no such pages, ordinary memory.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace platform {

void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* memory, std::size_t bytes);

template <typename T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { FreeLarge(p, n * sizeof(T)); }
    template <typename U> bool operator==(const LargeAllocator<U>&) const { return true; }
    template <typename U> bool operator!=(const LargeAllocator<U>&) const { return false; }
};

template <typename T> using LargeVector = std::vector<T, LargeAllocator<T>>;

} // namespace platform
