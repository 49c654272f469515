#include "publish/fleet_command.h"

#include <chrono>
#include <optional>
#include <stdexcept>

#include "base/failure.h"
#include "base/text.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"
#include "publish/access_logs.h"
#include "publish/failure_text.h"
#include "publish/local_files.h"
#include "release/release.h"

namespace morvane::publish {
namespace {

constexpr int kDone = 0;
constexpr int kUsage = 2;
constexpr int kFailure = 3;
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
        const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        LogsRead read = readLogs(logs, descriptionName, now, days);
        for (const std::string& line : read.unreadable) {
            err << line << "\n";
        }
        if (read.pcs.empty()) {
            err << "fleet: nothing to show: " << read.whyEmpty << "\n";
            return kFailure;
        }
        const fleet::FleetPicture picture =
            fleet::makePicture(std::move(read.pcs), now, days, std::move(release));
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
