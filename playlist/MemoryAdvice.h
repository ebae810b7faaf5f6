#pragma once

#include <QtGlobal>

namespace dorvane {

// Tells the system that a large buffer about to be filled front to back may
// use huge pages where it has them (Linux's transparent huge pages in their
// "madvise" mode, Debian's default): filling a 277 MB download took a
// quarter of the processor time it took with a fault per 4 KiB page. Only
// the whole 2 MiB pages inside the buffer are advised; elsewhere, or where
// the call is refused, nothing changes.
void adviseHugePages(void* data, qsizetype size) noexcept;

} // namespace dorvane
