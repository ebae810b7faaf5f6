#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The UTF-8 check over every byte of the input, by simdjson (Debian's
// libsimdjson): as fast as the AVX2 check written here before it, and faster
// where the processor has AVX-512. simdjson makes its own choice of kernel
// for the processor, once, on first use.
namespace dorvane::simd {

// Whether [p, p + size) is wholly well-formed UTF-8 (RFC 3629): exactly the
// bytes decodeUtf8Strict takes.
bool isWellFormedUtf8(const char* p, size_t size);

// Each of simdjson's checks this processor can run, by name, for the tests.
struct Utf8Check {
    std::string name;
    std::function<bool(const char*, size_t)> isWellFormed;
};
std::vector<Utf8Check> availableUtf8Checks();

} // namespace dorvane::simd
