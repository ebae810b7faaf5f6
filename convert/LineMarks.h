#pragma once

#include <QtGlobal>

#include <cstddef>

// Where something may happen in the lines of UTF-8 text, 64 bytes at a
// time: one bit per byte that is a CR, an LF, an 'E' (of "EXTINF") or a ':'
// (of "://"). ByteScanner marks a whole piece first, then walks its lines
// from mark to mark. Marking is a pass over every byte of the input, so it
// takes the widest vectors the processor has.
namespace dorvane::linemarks {

// The marks of the blocks of 64 bytes at p, p + 64, ... (`blocks` of
// them, all readable), into out[0], out[1], ...
void mark(const char* p, size_t blocks, quint64* out);

// The two ways mark() may take, for the tests: the baseline's vectors
// (SSE2, or a plain loop), and AVX2 (only when cpu::hasAvx2()).
void markPortable(const char* p, size_t blocks, quint64* out);
void markAvx2(const char* p, size_t blocks, quint64* out);

} // namespace dorvane::linemarks
