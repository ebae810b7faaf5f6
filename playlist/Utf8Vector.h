#pragma once

#include <cstddef>
#include <cstdint>

// The UTF-8 check on a processor's vector instructions: the playlist check
// runs over every byte of the input, and one sequence at a time it takes as
// long as reading the file. Only where the processor has them (x86-64 with
// AVX2, asked once); elsewhere callers take the walk one sequence at a time
// (isWellFormedUtf8 does both).
namespace dorvane::utf8vector {

bool available();

// Whether [p, p + size) is wholly well-formed UTF-8 (RFC 3629): exactly the
// bytes decodeUtf8Strict takes. Only when available().
bool isWellFormed(const uint8_t* p, size_t size);

} // namespace dorvane::utf8vector
