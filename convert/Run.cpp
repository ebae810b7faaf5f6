#include "convert/Run.h"

#include "convert/LineSink.h"

namespace dorvane {

ConversionCounts convertLines(const TargetFormat& target, const TStringList& lines, LineSink& out,
                              const SourceName& name) {
    LineListSource source(target, lines);
    return runConversion(target, source, out, name);
}

} // namespace dorvane
