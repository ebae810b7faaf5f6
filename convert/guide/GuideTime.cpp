#include "convert/guide/GuideTime.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace dorvane::guide {

namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and
// back (H. Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

int number(QByteArrayView digits) {
    int value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

} // namespace

QByteArray shiftGuideTime(QByteArrayView time, int halfHours) {
    qsizetype digits = 0;
    while (digits < time.size() && time[digits] >= '0' && time[digits] <= '9')
        ++digits;
    if (halfHours == 0 || (digits != 8 && digits != 10 && digits != 12 && digits != 14))
        return time.toByteArray();
    const int year = number(time.first(4));
    const int month = number(time.sliced(4, 2));
    const int day = number(time.sliced(6, 2));
    const int hour = digits >= 10 ? number(time.sliced(8, 2)) : 0;
    const int minute = digits >= 12 ? number(time.sliced(10, 2)) : 0;
    const int second = digits >= 14 ? number(time.sliced(12, 2)) : 0;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return time.toByteArray();
    int64_t minutes = daysFromCivil(year, unsigned(month), unsigned(day)) * 1440 + hour * 60 +
                      minute + int64_t(halfHours) * 30;
    int64_t days = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
    minutes -= days * 1440;
    int64_t newYear = 0;
    unsigned newMonth = 0, newDay = 0;
    civilFromDays(days, newYear, newMonth, newDay);
    if (newYear < 0 || newYear > 9999)
        return time.toByteArray();
    const qsizetype precision = std::max<qsizetype>(digits, halfHours % 2 ? 12 : 10);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02d", int(newYear), newMonth, newDay,
                  int(minutes / 60), int(minutes % 60), second);
    QByteArray shifted(text, precision);
    shifted.append(time.sliced(digits));
    return shifted;
}

} // namespace dorvane::guide
