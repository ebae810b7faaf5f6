#include "WizardHdFormat.h"

#include "LineSink.h"

namespace dorvane {

void WizardHdFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    out.addLine({channel, u",", url});
}

} // namespace dorvane
