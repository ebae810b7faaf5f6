#include "playlist/MemoryAdvice.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

namespace dorvane {

namespace {

// The whole huge pages inside [data, data + size), given to `advise`.
template <typename Advise> void forWholeHugePages(void* data, qsizetype size, Advise advise) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + static_cast<std::uintptr_t>(size)) & ~(kHugePage - 1);
    if (size > 0 && last > first)
        advise(reinterpret_cast<void*>(first), last - first);
}

} // namespace

void adviseHugePages(void* data, qsizetype size) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    forWholeHugePages(data, size,
                      [](void* from, size_t length) { ::madvise(from, length, MADV_HUGEPAGE); });
#else
    (void)data;
    (void)size;
#endif
}

void collapseHugePages(void* data, qsizetype size) noexcept {
#if defined(__linux__)
#ifndef MADV_COLLAPSE
    constexpr int MADV_COLLAPSE = 25; // Linux 6.1; older headers lack it
#endif
    forWholeHugePages(data, size,
                      [](void* from, size_t length) { ::madvise(from, length, MADV_COLLAPSE); });
#else
    (void)data;
    (void)size;
#endif
}

void keepFreedMemory(qsizetype keep) noexcept {
#if defined(__GLIBC__)
    // Large blocks would otherwise be mapped afresh, and unmapped when freed.
    ::mallopt(M_MMAP_MAX, 0);
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min<qsizetype>(keep, INT_MAX)));
#else
    (void)keep;
#endif
}

void reuseFreedBlocks(qsizetype mapped, qsizetype keep) noexcept {
#if defined(__GLIBC__)
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(std::min<qsizetype>(mapped, INT_MAX)));
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min<qsizetype>(keep, INT_MAX)));
#else
    (void)mapped;
    (void)keep;
#endif
}

HugePageBlock::HugePageBlock(qsizetype size) : m_size(size) {
    void* data = nullptr;
#if defined(__linux__)
    // Whole huge pages: one that the block only partly covers is never made.
    constexpr size_t kHugePage = size_t(2) << 20;
    const size_t rounded = (static_cast<size_t>(size) + kHugePage - 1) & ~(kHugePage - 1);
    if (::posix_memalign(&data, kHugePage, std::max(rounded, kHugePage)) != 0)
        data = nullptr;
    else
        adviseHugePages(data, static_cast<qsizetype>(std::max(rounded, kHugePage)));
#else
    data = std::malloc(static_cast<size_t>(std::max<qsizetype>(size, 1)));
#endif
    if (!data)
        throw std::bad_alloc();
    m_data.reset(static_cast<char*>(data));
}

void HugePageBlock::Free::operator()(char* data) const noexcept {
    std::free(data);
}

} // namespace dorvane
