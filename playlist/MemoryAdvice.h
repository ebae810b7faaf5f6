#pragma once

#include <QtGlobal>

#include <memory>

namespace dorvane {

// Tells the system that a large buffer about to be filled front to back may
// use huge pages where it has them (Linux's transparent huge pages in their
// "madvise" mode, Debian's default): filling a 277 MB download took a
// quarter of the processor time it took with a fault per 4 KiB page. Only
// the whole 2 MiB pages inside the buffer are advised; elsewhere, or where
// the call is refused, nothing changes.
void adviseHugePages(void* data, qsizetype size) noexcept;

// Asks the system to make the whole huge pages inside a buffer huge again,
// now (Linux's MADV_COLLAPSE, 6.1 and later), copying what they hold.
// Growing a large buffer by realloc moves its pages to another address
// (mremap), which splits its huge pages into 4 KiB ones; on the virtual
// machine of bench/README.md the next touch of each of those pages is then a
// fault of its own, and reading a provider's 75 MB of lines took twice as
// long as reading the same bytes from a file. Where the call is refused,
// nothing changes.
void collapseHugePages(void* data, qsizetype size) noexcept;

// Asks the allocator to keep freed memory for the next allocation instead of
// giving it back to the system at once, up to `keep` bytes, and to take large
// blocks from that same memory. Where the system makes a page fault dear
// (each first touch of a fresh 4 KiB page, as on some virtual machines), a
// run of the window that put its 50 MB result into memory just given back
// spent most of its time faulting: 240 ms for WebTV on 100k channels,
// against 63 ms with the memory kept. For the window, whose runs and
// playlists come and go; glibc only, elsewhere nothing changes.
void keepFreedMemory(qsizetype keep) noexcept;

// Asks the allocator to take blocks smaller than `mapped` from memory it
// keeps, and to keep up to `keep` bytes of what is freed: a download's
// buffers of a megabyte, freed and taken again read after read, were
// otherwise given back and faulted in afresh each time. Larger blocks are
// still mapped of their own, and grow without a copy. For a run of
// dorvane-convert; glibc only, elsewhere nothing changes.
void reuseFreedBlocks(qsizetype mapped, qsizetype keep) noexcept;

// Uninitialised memory for buffers a run fills again and again (its pieces,
// its output), on whole 2 MiB pages advised for huge pages where the system
// has them. Each first touch of a 4 KiB page is a fault, which some virtual
// machines make dear: 11 us each on the one the benchmarks run on, so that
// the 2 MiB of a run's buffers cost 5 ms of faults, against a tenth of a
// millisecond on one huge page. Elsewhere plain heap memory. Throws
// std::bad_alloc.
class HugePageBlock {
public:
    explicit HugePageBlock(qsizetype size);

    char* data() const { return m_data.get(); }
    qsizetype size() const { return m_size; }

private:
    struct Free {
        void operator()(char* data) const noexcept;
    };
    std::unique_ptr<char, Free> m_data;
    qsizetype m_size;
};

} // namespace dorvane
