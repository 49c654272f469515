#include "fleet/report_texts.h"

#include "base/text.h"
#include "fleet/log_time.h"

namespace morvane::fleet {

std::string statusWords(std::string_view status) {
    const std::optional<ExitStatus> reported = reportedStatus(status);
    if (!reported) {
        return status == "-"    ? "no run before"
               : status.empty() ? "not told"
                                : "unknown status " + std::string(status);
    }
    switch (*reported) {
        case ExitStatus::Done:
            return "no newer version, or the update was installed";
        case ExitStatus::AnotherInstance:
            return "another instance or run of the updater was running";
        case ExitStatus::NoSettings:
            return "no readable settings file, or its Signatur key cannot be read";
        case ExitStatus::NoDescription:
            return "the description could not be fetched or is not validly signed";
        case ExitStatus::Declined:
            return "the user declined the update";
        case ExitStatus::DownloadFailed:
            return "a download failed during the installation";
        case ExitStatus::MoveFailed:
            return "moving a file into place failed";
        case ExitStatus::Unexpected:
            return "an unexpected error was reported";
    }
    return "unknown status " + std::string(status);
}

std::string revisionLabel(const std::string& revision) {
    return revision.empty() ? "?" : revision;
}

std::string markWords(ReleaseMark mark) {
    switch (mark) {
        case ReleaseMark::Has:
            return "has it";
        case ReleaseMark::Offered:
            return "offered";
        case ReleaseMark::NotOffered:
            return "not offered yet";
        case ReleaseMark::Lacks:
            return "-";
        case ReleaseMark::Unknown:
            return "?";
    }
    return "?";
}

std::string withoutControls(std::string_view text) {
    std::string safe = utf8Text(text);
    for (std::size_t i = 0; i < safe.size(); ++i) {
        const auto byte = static_cast<unsigned char>(safe[i]);
        if (byte < 0x20 || byte == 0x7f) {
            safe[i] = '?';
        } else if (byte == 0xc2 && i + 1 < safe.size() &&
                   static_cast<unsigned char>(safe[i + 1]) < 0xa0) {
            // U+0080 to U+009F, the C1 controls.
            safe.replace(i, 2, "?");
        }
    }
    return safe;
}

std::string stageWords(const Stage& stage) {
    if (stage.share >= 100) {
        return "all PCs";
    }
    const std::string share = decimal(stage.share) + " % of the ";
    if (stage.pilots.empty()) {
        return share + "PCs";
    }
    return "pilot " + pcCount(stage.pilots.size()) + ", then " + share + "others";
}

std::string pcCount(std::size_t count) {
    return decimal(static_cast<long long>(count)) + (count == 1 ? " PC" : " PCs");
}

std::string headline(const FleetPicture& picture, const LocalOffset& offset) {
    return pcCount(picture.pcs.size()) + " asked for the description in the last " +
           decimal(picture.days) + (picture.days == 1 ? " day" : " days") + " (up to " +
           isoMinute(picture.now, offset(picture.now)) + "): " + decimal(picture.runs) +
           (picture.runs == 1 ? " run, " : " runs, ") + decimal(picture.failingRuns) +
           " of them after a failed run";
}

std::string releaseLine(const FleetPicture& picture) {
    if (!picture.release) {
        return "";
    }
    const ReleaseInView& release = *picture.release;
    const std::size_t have = countMarks(picture, ReleaseMark::Has);
    std::string line = "Release " + withoutControls(release.version) +
                       (picture.releaseFromLogs ? " (the newest a PC reports): " : ": ") +
                       decimal(static_cast<long long>(have)) + " of " +
                       pcCount(picture.pcs.size()) + (have == 1 ? " has it" : " have it");
    if (release.stage) {
        line += "; stage " + stageWords(*release.stage) + ": offered to " +
                decimal(static_cast<long long>(countMarks(picture, ReleaseMark::Offered))) +
                " more, not yet to " +
                decimal(static_cast<long long>(countMarks(picture, ReleaseMark::NotOffered)));
        if (release.shareUnreadable) {
            line += " (its Anteil is no whole number from 1 to 100 and counts as 100)";
        }
    }
    return line;
}

PcTable pcTable(const FleetPicture& picture,
                const std::function<std::string(std::int64_t time)>& when) {
    PcTable table;
    table.columns = {{"PC", false, true},      {"Last seen"},
                     {"Address", false, true}, {"Revision", false, true},
                     {"Updater", false, true}, {"Runs", true},
                     {"Failed", true}};
    if (picture.release) {
        table.columns.push_back({"Release " + picture.release->version});
    }
    table.columns.push_back({"Status", true});
    table.columns.push_back({"Last run"});
    for (std::size_t i = 0; i < picture.pcs.size(); ++i) {
        const PcState& pc = picture.pcs[i];
        std::vector<std::string> row = {pc.computer.empty() ? "?" : pc.computer,
                                        when(pc.lastSeen),
                                        pc.address,
                                        revisionLabel(pc.revision),
                                        pc.fileVersion,
                                        decimal(pc.runs),
                                        decimal(pc.failingRuns)};
        if (picture.release) {
            row.push_back(markWords(picture.marks[i]));
        }
        row.push_back(pc.status.empty() ? "?" : pc.status);
        row.push_back(statusWords(pc.status));
        table.rows.push_back(std::move(row));
    }
    return table;
}

}  // namespace morvane::fleet
