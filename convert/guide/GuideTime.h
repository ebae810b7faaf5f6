#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace dorvane::guide {

// An XMLTV time ("YYYYMMDDhhmmss +0300": the date, then hours, minutes and
// seconds as far as given, then the zone or nothing) moved by `halfHours`
// half hours, the zone kept as it is: the time the programme is shown moves,
// not the clock it is given in. The time keeps its precision, down to the
// hour or the minute where the shift needs it. Anything else comes back
// unchanged.
QByteArray shiftGuideTime(QByteArrayView time, int halfHours);

} // namespace dorvane::guide
