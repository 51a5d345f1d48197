#include "RecordTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {
bool TakeDigits(std::string_view text, size_t& pos, size_t count, int& value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool TakeChar(std::string_view text, size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}
} // namespace

std::optional<std::int64_t> IsoTimeToMs(std::string_view text)
{
    size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    if (!TakeDigits(text, pos, 4, year) || !TakeChar(text, pos, '-') || !TakeDigits(text, pos, 2, month) ||
        !TakeChar(text, pos, '-') || !TakeDigits(text, pos, 2, day))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    bool hasOffset = false;
    int offsetMinutes = 0;
    if (pos < text.size()) {
        if (!TakeChar(text, pos, 'T') && !TakeChar(text, pos, ' '))
            return std::nullopt;
        if (!TakeDigits(text, pos, 2, hour) || !TakeChar(text, pos, ':') || !TakeDigits(text, pos, 2, minute))
            return std::nullopt;
        if (TakeChar(text, pos, ':') && !TakeDigits(text, pos, 2, second))
            return std::nullopt;
        if (TakeChar(text, pos, '.') || TakeChar(text, pos, ',')) {
            int scale = 100;
            size_t digits = 0;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                ms += (text[pos] - '0') * scale;
                scale /= 10;
                ++pos;
                ++digits;
            }
            if (digits == 0)
                return std::nullopt;
        }
        if (hour > 23 || minute > 59 || second > 60)
            return std::nullopt;
        if (TakeChar(text, pos, 'Z')) {
            hasOffset = true;
        } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            int sign = text[pos] == '-' ? -1 : 1;
            ++pos;
            int oh = 0, om = 0;
            if (!TakeDigits(text, pos, 2, oh))
                return std::nullopt;
            TakeChar(text, pos, ':');
            if (pos < text.size() && !TakeDigits(text, pos, 2, om))
                return std::nullopt;
            hasOffset = true;
            offsetMinutes = sign * (oh * 60 + om);
        }
        if (pos != text.size())
            return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    std::time_t seconds;
    if (hasOffset) {
        seconds = timegm(&tm) - static_cast<std::time_t>(offsetMinutes) * 60;
    } else {
        tm.tm_isdst = -1;
        seconds = std::mktime(&tm);
        if (seconds == static_cast<std::time_t>(-1))
            return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds) * 1000 + ms;
}

std::string MsToIsoTime(std::int64_t ms)
{
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    int millis = static_cast<int>(ms % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    std::tm tm{};
    localtime_r(&seconds, &tm);
    long offset = tm.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis, sign, offset / 60,
                  offset % 60);
    return text;
}

std::string NowIsoTime()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return MsToIsoTime(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
