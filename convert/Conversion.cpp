#include "convert/Conversion.h"

#include "convert/TargetFormat.h"

#include <QtGlobal>

#include <cstring>

namespace dorvane {

namespace lines {

namespace {

bool oddQuotes(const char16_t* p, const char16_t* end) {
    // Four code units at a time in a 64-bit word.
    constexpr quint64 kQuotes = 0x0022002200220022;
    constexpr quint64 kLow15 = 0x7FFF7FFF7FFF7FFF;
    qsizetype count = 0;
    for (; end - p >= 4; p += 4) {
        quint64 lanes;
        std::memcpy(&lanes, p, sizeof lanes);
        lanes ^= kQuotes; // a quote's lane is now 0
        // The top bit of each lane is set when the lane is not 0.
        const quint64 nonZero = ((lanes & kLow15) + kLow15) | lanes;
        // One bit per quote, at the bottom of its lane; the multiplication
        // adds the four lanes up in the top one (a portable popcount).
        const quint64 quotes = (~nonZero & ~kLow15) >> 15;
        count += static_cast<qsizetype>((quotes * 0x0001000100010001) >> 48);
    }
    for (; p < end; ++p)
        count += *p == u'"';
    return count % 2 != 0;
}

} // namespace

const char16_t* firstComma(const char16_t* begin, const char16_t* end, bool& oddQuotesBefore) {
    const char16_t* comma = find(begin, end, u',');
    oddQuotesBefore = oddQuotes(begin, comma);
    return comma;
}

} // namespace lines

Conversion::Conversion(const TargetFormat& target, SourceName source)
    : m_target(&target), m_converts(target.converts()), m_attributes(target.wantsAttributes()),
      m_source(std::move(source)) {}

} // namespace dorvane
