#include "publish/access_logs.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/text.h"
#include "fleet/access_log.h"
#include "fleet/log_time.h"
#include "fleet/report_texts.h"

namespace morvane::publish {
namespace {

// Whether `name` matches `pattern` of "*" (any characters) and "?" (one).
bool matchesWildcard(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            starName = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

// The logs an argument names: the file itself, or when it names none and
// its last part holds "*" or "?" (the Windows command prompt hands them over
// as typed), the files of its folder that match, sorted.
std::vector<std::string> logsNamed(const std::string& argument) {
    namespace fs = std::filesystem;
    const fs::path path(std::u8string(argument.begin(), argument.end()));
    const std::u8string pattern = path.filename().u8string();
    const std::string patternText(pattern.begin(), pattern.end());
    std::error_code error;
    if (fs::exists(path, error) || patternText.find_first_of("*?") == std::string::npos) {
        return {argument};
    }
    std::vector<std::string> matches;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::u8string name = it->path().filename().u8string();
        if (it->is_regular_file(error) &&
            matchesWildcard(std::string(name.begin(), name.end()), patternText)) {
            const std::u8string full = it->path().u8string();
            matches.emplace_back(full.begin(), full.end());
        }
    }
    if (matches.empty()) {
        throw std::runtime_error(argument + ": no file matches");
    }
    std::sort(matches.begin(), matches.end());
    return matches;
}

// Why the picture is empty, in one sentence.
std::string whyEmpty(const fleet::PcTally& tally, std::int64_t updaterRequests,
                     const std::string& descriptionName, int days) {
    if (updaterRequests == 0) {
        return "no request of the updater (User-Agent " + std::string(fleet::kUpdaterAgentPrefix) +
               "...) in the logs";
    }
    if (tally.requests() == 0) {
        return "the updater's " + decimal(updaterRequests) +
               " requests in the logs hold no GET of a description " +
               (descriptionName.empty() ? "(a path ending in .ini; --description names it)"
                                        : "whose path ends in " + descriptionName);
    }
    const std::int64_t newest = tally.newestOlder().value_or(0);
    return "all " + decimal(tally.requests()) +
           " GETs of a description by the updater are older than " + decimal(days) +
           " days (the newest from " + fleet::isoMinute(newest, fleet::hostOffsetSeconds(newest)) +
           "; --days sets the period)";
}

}  // namespace

LogsRead readLogs(const std::vector<std::string>& arguments, const std::string& descriptionName,
                  std::int64_t now, int days) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        const std::vector<std::string> named = logsNamed(argument);
        files.insert(files.end(), named.begin(), named.end());
    }
    fleet::PcTally tally(now - days * fleet::kSecondsPerDay);
    std::int64_t updaterRequests = 0;
    LogsRead read;
    for (const std::string& file : files) {
        const fleet::LogReading reading = fleet::readAccessLog(file, descriptionName, tally);
        updaterRequests += reading.updaterRequests;
        if (reading.unreadable > 0) {
            read.unreadable.push_back(
                file + ": " + decimal(reading.unreadable) +
                (reading.unreadable == 1 ? " line" : " lines") + " not read; the first, line " +
                decimal(reading.firstUnreadable) + ": " + fleet::withoutControls(reading.firstWhy));
        }
    }
    read.pcs = tally.pcs();
    if (read.pcs.empty()) {
        read.whyEmpty = whyEmpty(tally, updaterRequests, descriptionName, days);
    }
    return read;
}

}  // namespace morvane::publish
