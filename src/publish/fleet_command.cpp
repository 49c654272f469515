#include "publish/fleet_command.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "base/failure.h"
#include "base/text.h"
#include "fleet/access_log.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"
#include "publish/failure_text.h"
#include "publish/local_files.h"
#include "release/release.h"

namespace morvane::publish {
namespace {

constexpr int kDone = 0;
constexpr int kUsage = 2;
constexpr int kFailure = 3;
constexpr int kDefaultDays = 30;
constexpr std::int64_t kMostDays = 36500;

class FleetUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::optional<std::string> option(const std::map<std::string, std::string>& options,
                                  const std::string& name) {
    const auto found = options.find(name);
    return found == options.end() ? std::nullopt : std::optional<std::string>(found->second);
}

int daysOf(const std::map<std::string, std::string>& options) {
    const std::optional<std::string> text = option(options, "--days");
    if (!text) {
        return kDefaultDays;
    }
    const std::optional<std::int64_t> days = decimalNumber(*text);
    if (!days || *days < 1 || *days > kMostDays) {
        throw FleetUsageError("--days takes a whole number from 1 to " + decimal(kMostDays));
    }
    return static_cast<int>(*days);
}

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

// The release in view from its description: its version and stage as the
// updater reads them.
fleet::ReleaseInView readRelease(const std::string& path) {
    const std::optional<std::string> bytes = readWholeFile(path, kMebibyte);
    if (!bytes) {
        throw std::runtime_error("--release " + path + ": cannot be read (or larger than 1 MiB)");
    }
    const Release release = parseRelease(*bytes);
    if (release.version.find_first_not_of(' ') == std::string::npos) {
        throw std::runtime_error("--release " + path + ": no version in its [Version] block");
    }
    return fleet::ReleaseInView{release.version, release.stage, release.shareUnreadable};
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

const char* fleetHelp() {
    return "usage: @ fleet [--days N] [--csv FILE] [--html FILE] [--description NAME]\n"
           "         [--release DESCRIPTION] LOG...\n"
           "Shows the PCs that run the updater, from the web server's access logs: nginx and\n"
           "Apache \"combined\" (also with more fields after the User-Agent) and IIS W3C\n"
           "extended, plain or compressed with gzip (rotated logs). A LOG with * or ? names\n"
           "the matching files of its folder.\n"
           "\n"
           "It counts the updater's GETs of a revision description: those whose path ends\n"
           "in .ini (not the .ini.sig beside it), or with --description those whose path ends\n"
           "in NAME: the description's file name (revision.ini), or the end of its path\n"
           "(umsatz/revision.ini) when the server holds several applications, or when a\n"
           "release installs .ini files of its own.\n"
           "\n"
           "First a summary: PCs per revision (the newest first), PCs whose last run failed,\n"
           "PCs not seen for more than 7 days, and which PCs have the newest release. Then\n"
           "per PC: last seen, address, the revision installed when it asked, the updater's\n"
           "version, runs and failing runs (exit status 3, 5, 6 or 7) in the period, and the\n"
           "exit status of its last run, in words.\n"
           "\n"
           "  --days N            the period: the last N days (default 30)\n"
           "  --csv FILE          also writes the table for Excel: UTF-8, \";\" between fields,\n"
           "                      dates as 08.12.2026 10:25:00\n"
           "  --html FILE         also writes one page with the summary as a bar chart, the\n"
           "                      PCs whose last run failed, and the table\n"
           "  --description NAME  counts only GETs of a path ending in NAME\n"
           "  --release DESCRIPTION\n"
           "                      marks this release (its description file) instead of the\n"
           "                      newest seen, and which PCs its stage (Pilot, Anteil) offers\n"
           "                      it to\n"
           "\n"
           "Lines that cannot be read are counted and named by the first one's number. Exit\n"
           "status: 0 done, 2 wrong usage, 3 failure (a log that cannot be read or is of no\n"
           "known format, a report that cannot be written, no request of the updater in the\n"
           "period).\n"
           "\n"
           "example:\n"
           "  @ fleet --html fleet.html /var/log/nginx/access.log*\n"
           "  @ fleet --csv fleet.csv C:\\inetpub\\logs\\LogFiles\\W3SVC1\\u_ex*.log\n";
}

int fleet(const std::vector<std::string>& logs, const std::map<std::string, std::string>& options,
          const std::string& help, std::ostream& out, std::ostream& err) {
    try {
        if (logs.empty()) {
            throw FleetUsageError("no LOG given");
        }
        const int days = daysOf(options);
        const std::string descriptionName = option(options, "--description").value_or("");
        std::optional<fleet::ReleaseInView> release;
        if (const auto path = option(options, "--release")) {
            release = readRelease(*path);
        }
        std::vector<std::string> files;
        for (const std::string& argument : logs) {
            const std::vector<std::string> named = logsNamed(argument);
            files.insert(files.end(), named.begin(), named.end());
        }

        const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        fleet::PcTally tally(now - days * fleet::kSecondsPerDay);
        std::int64_t updaterRequests = 0;
        for (const std::string& file : files) {
            const fleet::LogReading reading = fleet::readAccessLog(file, descriptionName, tally);
            updaterRequests += reading.updaterRequests;
            if (reading.unreadable > 0) {
                err << file << ": " << reading.unreadable
                    << (reading.unreadable == 1 ? " line" : " lines")
                    << " not read; the first, line " << reading.firstUnreadable << ": "
                    << fleet::withoutControls(reading.firstWhy) << "\n";
            }
        }
        std::vector<fleet::PcState> pcs = tally.pcs();
        if (pcs.empty()) {
            err << "fleet: nothing to show: "
                << whyEmpty(tally, updaterRequests, descriptionName, days) << "\n";
            return kFailure;
        }
        const fleet::FleetPicture picture =
            fleet::makePicture(std::move(pcs), now, days, std::move(release));
        const fleet::LocalOffset offset = fleet::hostOffsetSeconds;
        fleet::writeTextReport(picture, offset, out);
        if (const auto csv = option(options, "--csv")) {
            writeWholeFile(*csv, fleet::csvReport(picture, offset));
            out << "\nwrote " << *csv << "\n";
        }
        if (const auto html = option(options, "--html")) {
            writeWholeFile(*html, fleet::htmlReport(picture, offset));
            out << (option(options, "--csv") ? "" : "\n") << "wrote " << *html << "\n";
        }
        return kDone;
    } catch (const FleetUsageError& e) {
        err << "fleet: " << e.what() << "\n" << help;
        return kUsage;
    } catch (const Failure& e) {
        err << "fleet: " << englishText(e) << "\n";
    } catch (const std::exception& e) {
        err << "fleet: " << e.what() << "\n";
    }
    return kFailure;
}

}  // namespace morvane::publish
