// Arbitrary bytes through the intake: the choice of reader and every reader
// forced on them must read any bytes without failing, and what they give is
// M3U. Then the lines the bytes make, written as every target and read back,
// give the same file again unless the target's bytes cannot carry them.
#include "RoundTrip.h"

#include "source/PlaylistReader.h"

#include <cstdint>
#include <cstdlib>

using namespace dorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TakenPlaylist taken = takeBytes(bytes);
    for (const PlaylistReader* reader : allReaders()) {
        const TakenPlaylist forced = takeBytes(bytes, reader);
        if (reader != &m3uReader() &&
            (forced.lines.Count() == 0 || forced.lines.line(0) != u"#EXTM3U"))
            std::abort();
        // A reader's M3U has one name line and one address line per entry.
        if (reader != &m3uReader() && forced.lines.Count() % 2 != 1)
            std::abort();
    }
    for (const TargetFormat* target : allFormats()) {
        const test::RoundTrip trip = test::roundTrip(taken.lines, *target);
        if (!trip.holds() && !test::cannotCarry(taken.lines, *target))
            std::abort();
    }
    return 0;
}
