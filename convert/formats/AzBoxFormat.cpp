#include "AzBoxFormat.h"

#include "LineSink.h"

namespace dorvane {

void AzBoxFormat::entry(LineSink& out, QStringView channel, QStringView url, int n) const {
    out.addLine({DecimalText(n), u",", channel, u",256,", url});
}

} // namespace dorvane
