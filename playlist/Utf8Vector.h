#pragma once

#include <cstddef>
#include <cstdint>

// The UTF-8 check on a processor's vector instructions: the playlist check
// runs over every byte of the input, and one sequence at a time it takes as
// long as reading the file. Only where the processor has them (AVX2,
// cpu::hasAvx2); elsewhere callers take the walk one sequence at a time
// (isWellFormedUtf8 does both).
namespace dorvane::utf8vector {

// Whether [p, p + size) is wholly well-formed UTF-8 (RFC 3629): exactly the
// bytes decodeUtf8Strict takes. Only when cpu::hasAvx2().
bool isWellFormed(const uint8_t* p, size_t size);

} // namespace dorvane::utf8vector
