#include "fleet/log_time.h"

#include <array>
#include <ctime>

namespace morvane::fleet {
namespace {

struct CivilTime {
    std::int64_t year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t secondsOf(const CivilTime& civil) {
    return daysFromCivil(civil.year, civil.month, civil.day) * kSecondsPerDay +
           std::int64_t{civil.hour} * 3600 + std::int64_t{civil.minute} * 60 + civil.second;
}

CivilTime civilFrom(std::int64_t time) {
    std::int64_t days = time / kSecondsPerDay;
    std::int64_t seconds = time % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime civil;
    civil.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    civil.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
    civil.hour = static_cast<int>(seconds / 3600);
    civil.minute = static_cast<int>(seconds / 60 % 60);
    civil.second = static_cast<int>(seconds % 60);
    return civil;
}

bool isLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(std::int64_t year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// The number written by exactly `digits.size()` decimal digits; -1 otherwise.
int digitsValue(std::string_view digits) {
    if (digits.empty()) {
        return -1;
    }
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::int64_t> timeOf(const CivilTime& civil) {
    if (civil.year < 1970 || civil.year > 9999 || civil.month < 1 || civil.month > 12 ||
        civil.day < 1 || civil.day > daysInMonth(civil.year, civil.month) || civil.hour > 23 ||
        civil.minute > 59 || civil.second > 60) {
        return std::nullopt;
    }
    return secondsOf(civil);
}

// "HH:MM:SS" into `civil`; false for any other text.
bool readClock(std::string_view text, CivilTime& civil) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') {
        return false;
    }
    civil.hour = digitsValue(text.substr(0, 2));
    civil.minute = digitsValue(text.substr(3, 2));
    civil.second = digitsValue(text.substr(6, 2));
    return civil.hour >= 0 && civil.minute >= 0 && civil.second >= 0;
}

// `pattern` with Y for the year (four digits at least) and M, D, h, m, s
// for two digits of month, day, hour, minute and second.
std::string formatted(const CivilTime& civil, std::string_view pattern) {
    std::string text;
    const auto twoDigits = [&text](int value) {
        text += static_cast<char>('0' + value / 10);
        text += static_cast<char>('0' + value % 10);
    };
    for (const char c : pattern) {
        switch (c) {
            case 'Y': {
                const std::string year = std::to_string(civil.year);
                text += std::string(year.size() < 4 ? 4 - year.size() : 0, '0') + year;
                break;
            }
            case 'M':
                twoDigits(civil.month);
                break;
            case 'D':
                twoDigits(civil.day);
                break;
            case 'h':
                twoDigits(civil.hour);
                break;
            case 'm':
                twoDigits(civil.minute);
                break;
            case 's':
                twoDigits(civil.second);
                break;
            default:
                text += c;
        }
    }
    return text;
}

}  // namespace

std::optional<std::int64_t> combinedTime(std::string_view text) {
    // "08/Dec/2026:10:25:00 +0100"
    static constexpr std::array<std::string_view, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (text.size() != 26 || text[2] != '/' || text[6] != '/' || text[11] != ':' ||
        text[20] != ' ' || (text[21] != '+' && text[21] != '-')) {
        return std::nullopt;
    }
    CivilTime civil;
    civil.day = digitsValue(text.substr(0, 2));
    civil.month = 0;
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (text.substr(3, 3) == kMonths[i]) {
            civil.month = static_cast<int>(i + 1);
        }
    }
    civil.year = digitsValue(text.substr(7, 4));
    const int zoneHours = digitsValue(text.substr(22, 2));
    const int zoneMinutes = digitsValue(text.substr(24, 2));
    if (!readClock(text.substr(12, 8), civil) || zoneHours < 0 || zoneHours > 23 ||
        zoneMinutes < 0 || zoneMinutes > 59) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> local = timeOf(civil);
    if (!local) {
        return std::nullopt;
    }
    // The time is local to the zone that the offset names: UTC is that minus the offset.
    const std::int64_t offset = (std::int64_t{zoneHours} * 60 + zoneMinutes) * 60;
    return text[21] == '+' ? *local - offset : *local + offset;
}

std::optional<std::int64_t> w3cTime(std::string_view date, std::string_view time) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || time.size() < 8) {
        return std::nullopt;
    }
    // IIS may write fractions of a second ("10:25:00.123").
    if (time.size() > 8 && time[8] != '.') {
        return std::nullopt;
    }
    CivilTime civil;
    civil.year = digitsValue(date.substr(0, 4));
    civil.month = digitsValue(date.substr(5, 2));
    civil.day = digitsValue(date.substr(8, 2));
    if (!readClock(time.substr(0, 8), civil)) {
        return std::nullopt;
    }
    return timeOf(civil);
}

std::string isoMinute(std::int64_t time, std::int64_t offsetSeconds) {
    return formatted(civilFrom(time + offsetSeconds), "Y-M-D h:m");
}

std::string germanDateTime(std::int64_t time, std::int64_t offsetSeconds) {
    return formatted(civilFrom(time + offsetSeconds), "D.M.Y h:m:s");
}

std::int64_t hostOffsetSeconds(std::int64_t time) {
    const auto hostTime = static_cast<std::time_t>(time);
    const std::tm* local = std::localtime(&hostTime);
    if (local == nullptr) {
        return 0;
    }
    CivilTime civil;
    civil.year = local->tm_year + 1900;
    civil.month = local->tm_mon + 1;
    civil.day = local->tm_mday;
    civil.hour = local->tm_hour;
    civil.minute = local->tm_min;
    civil.second = local->tm_sec;
    return secondsOf(civil) - time;
}

}  // namespace morvane::fleet
