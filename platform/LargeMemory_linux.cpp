#include "platform/LargeMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

// The sanitizers see overflows only in the heap's own blocks.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kHugePagesWanted = false;
#else
constexpr bool kHugePagesWanted = true;
#endif

// Below a huge page the rounding up would cost more than it saves.
// VISTREL_SMALL_PAGES in the environment turns them off, for measuring.
bool useHugePages(std::size_t bytes) {
    static const bool off = std::getenv("VISTREL_SMALL_PAGES") != nullptr;
    return kHugePagesWanted && !off && bytes >= kHugePage;
}

std::size_t roundedUp(std::size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

} // namespace

void* AllocateLarge(std::size_t bytes) {
    if (!useHugePages(bytes)) {
        if (void* p = std::malloc(bytes == 0 ? 1 : bytes))
            return p;
        throw std::bad_alloc();
    }
    // A mapping of a whole number of huge pages, on a huge page's bound: the
    // kernel backs only aligned 2 MB ranges with huge pages.
    const std::size_t size = roundedUp(bytes);
    void* mapped =
        mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (aligned + size < start + size + kHugePage)
        munmap(reinterpret_cast<void*>(aligned + size), start + size + kHugePage - (aligned + size));
    void* memory = reinterpret_cast<void*>(aligned);
    madvise(memory, size, MADV_HUGEPAGE); // only advice: ordinary pages where refused
    return memory;
}

void FreeLarge(void* memory, std::size_t bytes) {
    if (memory == nullptr)
        return;
    if (!useHugePages(bytes))
        std::free(memory);
    else
        munmap(memory, roundedUp(bytes));
}

} // namespace platform
