#include "convert/Run.h"

#include "convert/LineSink.h"

namespace dorvane {

ConversionCounts convertLines(const TargetFormat& target, const TStringList& lines, LineSink& out) {
    LineListSource source(target, lines);
    return runConversion(target, source, out);
}

} // namespace dorvane
