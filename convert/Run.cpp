#include "convert/Run.h"

#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"

namespace dorvane {

namespace {

// All lines of a list, as one batch.
struct LineListSource {
    Conversion conversion;
    const TStringList& lines;
    bool done = false;

    template <typename Write> bool next(Write& write) {
        if (done)
            return false;
        done = true;
        for (int i = 0; i < lines.Count(); ++i)
            conversion.processLine(lines.line(i), write);
        return true;
    }
    int channels() const { return channelCount(lines); }
};

} // namespace

ConversionCounts convertLines(const TargetFormat& target, const TStringList& lines, LineSink& out) {
    LineListSource source{Conversion(target), lines};
    return runConversion(target, source, out);
}

} // namespace dorvane
