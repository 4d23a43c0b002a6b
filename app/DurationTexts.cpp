#include "DurationTexts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The plural test is "greater than 1": 1 is singular, every other count plural.
const char* Unit(uint32_t n, const char* singular, const char* plural)
{
    return n > 1 ? plural : singular;
}

// DurationText and AboutDurationText differ only in their two formats.
QString Duration(uint32_t n, const char* oneUnitFormat, const char* twoUnitFormat)
{
    if (n == 0)
        return QStringLiteral("less than one second");
    if (n < 60)
        return QString::asprintf(oneUnitFormat, n, Unit(n, "second", "seconds"));
    const uint32_t m = n / 60;
    const uint32_t s = n % 60;
    const char* minuteUnit = Unit(m, "minute", "minutes");
    if (s == 0)
        return QString::asprintf(oneUnitFormat, m, minuteUnit);
    return QString::asprintf(twoUnitFormat, m, minuteUnit, s, Unit(s, "second", "seconds"));
}

} // namespace

QString DurationText(uint32_t seconds)
{
    return Duration(seconds, "%u %s", "%u %s %u %s");
}

QString AboutDurationText(uint32_t seconds)
{
    return Duration(seconds, "about %u %s", "about %u %s %u %s");
}

QString SizeText(uint64_t bytes)
{
    if (bytes < 1024)
        return QString::number(bytes) + QStringLiteral(" Bytes");
    const double k = double(bytes) / 1024;
    // Whole kilobytes in 64 bits: a 32-bit truncation is undefined in C++ past 4 TiB, and
    // below that both give the same digits.
    const uint64_t whole = uint64_t(k);
    QString text = QString::number(whole);
    const double tenths = (k - double(whole)) * 10;
    if (tenths > 1)
        text += QLatin1Char('.') + QString::number(int(tenths));
    return text + QStringLiteral(" KB");
}

uint32_t MaxClipDurationSeconds(uint32_t bitrate, uint32_t limitKb)
{
    const double rate = bitrate / 8192.0 + 0.1; // kilobytes per second
    const double limit = std::max(double(limitKb) - 1, 0.0);
    const double seconds = std::trunc(limit / rate);
    // At the lowest rate, 0.1 KB/s, a limit above about 400 GB overflows a 32-bit count.
    return uint32_t(std::min(seconds, double(std::numeric_limits<uint32_t>::max())));
}

QString MaxClipDurationText(bool applyLimit, uint32_t bitrate, uint32_t limitKb)
{
    if (!applyLimit || bitrate == 0)
        return QString();
    return QStringLiteral("Maximum clip duration: ") +
           AboutDurationText(MaxClipDurationSeconds(bitrate, limitKb));
}
