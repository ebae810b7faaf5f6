#include "simd/Utf8.h"

#include <simdjson.h>

namespace dorvane::simd {

bool isWellFormedUtf8(const char* p, size_t size) {
    return simdjson::validate_utf8(p, size);
}

std::vector<Utf8Check> availableUtf8Checks() {
    std::vector<Utf8Check> checks;
    for (const simdjson::implementation* implementation : simdjson::get_available_implementations())
        if (implementation->supported_by_runtime_system())
            checks.push_back({implementation->name(), [implementation](const char* p, size_t size) {
                                  return implementation->validate_utf8(p, size);
                              }});
    return checks;
}

} // namespace dorvane::simd
