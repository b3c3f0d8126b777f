#include "sinks/youtube/caption_wire.h"

#include <cstdint>
#include <cstdio>

namespace obs_sayline {
namespace {

using Milliseconds = std::chrono::milliseconds;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Howard Hinnant's algorithms):
// no gmtime, which differs between the C libraries and is not thread-safe everywhere.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    int64_t year;
    int64_t month;
    int64_t day;
};

CivilDate civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// `count` digits at text[pos], moving pos past them.
std::optional<int64_t> digits(const std::string& text, size_t& pos, size_t count) {
    if (pos + count > text.size()) return std::nullopt;
    int64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!isDigit(text[pos + i])) return std::nullopt;
        value = value * 10 + (text[pos + i] - '0');
    }
    pos += count;
    return value;
}

bool expect(const std::string& text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

bool isLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int64_t daysInMonth(int64_t year, int64_t month) {
    static constexpr int64_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::string formatCaptionTime(std::chrono::system_clock::time_point at) {
    const int64_t ms = std::chrono::duration_cast<Milliseconds>(at.time_since_epoch()).count();
    const int64_t days = floorDiv(ms, 86400000);
    const int64_t inDay = ms - days * 86400000;
    const CivilDate date = civilFromDays(days);
    char text[48];
    std::snprintf(text, sizeof(text), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(date.year), static_cast<long long>(date.month),
                  static_cast<long long>(date.day), static_cast<long long>(inDay / 3600000),
                  static_cast<long long>(inDay / 60000 % 60),
                  static_cast<long long>(inDay / 1000 % 60), static_cast<long long>(inDay % 1000));
    return text;
}

std::string captionBody(const std::vector<TimedCaption>& captions) {
    std::string body;
    for (const auto& caption : captions) {
        body += formatCaptionTime(caption.at);
        body += '\n';
        const std::string& text = caption.text;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                body += "<br>";
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                body += ' ';
            } else {
                body += c;
            }
        }
        body += '\n';
    }
    return body;
}

std::optional<std::chrono::system_clock::time_point> parseCaptionTime(const std::string& body) {
    // A time is short; a long reply is something else and not worth scanning.
    if (body.size() > 64) return std::nullopt;
    size_t pos = 0;
    while (pos < body.size() && isBlank(body[pos])) ++pos;
    const auto year = digits(body, pos, 4);
    if (!year || !expect(body, pos, '-')) return std::nullopt;
    const auto month = digits(body, pos, 2);
    if (!month || !expect(body, pos, '-')) return std::nullopt;
    const auto day = digits(body, pos, 2);
    if (!day || !expect(body, pos, 'T')) return std::nullopt;
    const auto hour = digits(body, pos, 2);
    if (!hour || !expect(body, pos, ':')) return std::nullopt;
    const auto minute = digits(body, pos, 2);
    if (!minute || !expect(body, pos, ':')) return std::nullopt;
    const auto second = digits(body, pos, 2);
    if (!second) return std::nullopt;
    // Within what every system clock can hold (nanoseconds reach 1677 to 2262).
    if (*year < 1900 || *year > 2200 || *month < 1 || *month > 12 || *day < 1 ||
        *day > daysInMonth(*year, *month) || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    int64_t ms = 0;
    if (pos < body.size() && body[pos] == '.') {
        ++pos;
        size_t count = 0;
        int64_t scale = 100;
        while (pos < body.size() && isDigit(body[pos])) {
            if (++count > 9) return std::nullopt;
            ms += (body[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (count == 0) return std::nullopt;
    }
    if (pos < body.size() && body[pos] == 'Z') ++pos;
    while (pos < body.size() && isBlank(body[pos])) ++pos;
    if (pos != body.size()) return std::nullopt;
    const int64_t total =
        ((daysFromCivil(*year, *month, *day) * 24 + *hour) * 60 + *minute) * 60000 +
        *second * 1000 + ms;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(Milliseconds(total)));
}

}  // namespace obs_sayline
