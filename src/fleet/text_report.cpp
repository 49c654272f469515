#include <algorithm>
#include <vector>

#include "base/text.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

// Cells longer than this are cut, so that a long text in a log cannot push
// the table off the screen.
constexpr std::size_t kWidestCell = 40;
constexpr std::size_t kWidestBar = 40;
// The summary names this many of the PCs whose last run failed; the table
// has them all.
constexpr std::size_t kMostNamed = 10;

// The number of characters of UTF-8 text (its bytes other than continuation
// bytes).
std::size_t widthOf(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }));
}

std::string cell(std::string_view text) {
    std::string safe = withoutControls(text);
    if (widthOf(safe) <= kWidestCell) {
        return safe;
    }
    std::size_t cut = 0;
    for (std::size_t characters = 0; characters < kWidestCell - 1; ++characters) {
        ++cut;
        while (cut < safe.size() && (static_cast<unsigned char>(safe[cut]) & 0xc0) == 0x80) {
            ++cut;
        }
    }
    return safe.substr(0, cut) + "\xE2\x80\xA6";  // "…"
}

void writeRow(std::ostream& out, const std::vector<std::string>& cells,
              const std::vector<std::size_t>& widths, const std::vector<bool>& rightAligned) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::string padding(widths[i] - widthOf(cells[i]), ' ');
        const bool last = i + 1 == cells.size();
        line += rightAligned[i] ? padding + cells[i] : cells[i] + (last ? "" : padding);
        line += last ? "" : "  ";
    }
    out << line << "\n";
}

std::string bar(std::size_t count, std::size_t most) {
    const std::size_t length = most == 0 ? 0 : std::max<std::size_t>(1, count * kWidestBar / most);
    return std::string(length, '#');
}

}  // namespace

void writeTextReport(const FleetPicture& picture, const LocalOffset& offset, std::ostream& out) {
    out << headline(picture, offset) << ".\n\nPCs per revision (newest first):\n";
    std::size_t most = 0;
    std::size_t widest = 0;
    for (const auto& [revision, count] : picture.revisions) {
        most = std::max(most, count);
        widest = std::max(widest, widthOf(cell(revisionLabel(revision))));
    }
    for (const auto& [revision, count] : picture.revisions) {
        const std::string label = cell(revisionLabel(revision));
        const std::string number = decimal(static_cast<long long>(count));
        out << "  " << label << std::string(widest - widthOf(label), ' ') << "  "
            << std::string(number.size() < 5 ? 5 - number.size() : 0, ' ') << number << "  "
            << bar(count, most) << "\n";
    }
    out << "Last run failed: " << pcCount(picture.failing.size());
    const std::size_t named = std::min(picture.failing.size(), kMostNamed);
    for (std::size_t i = 0; i < named; ++i) {
        out << (i == 0 ? " (" : ", ") << cell(picture.pcs[picture.failing[i]].computer);
    }
    if (picture.failing.size() > named) {
        out << " and " << picture.failing.size() - named << " more";
    }
    out << (picture.failing.empty() ? "\n" : ")\n");
    out << "Not seen for more than " << kAbsentAfterDays
        << " days: " << pcCount(picture.absent.size()) << "\n";
    if (picture.release) {
        out << releaseLine(picture) << "\n";
    }
    out << "\n";

    PcTable table =
        pcTable(picture, [&offset](std::int64_t time) { return isoMinute(time, offset(time)); });
    std::vector<std::string> header;
    std::vector<bool> rightAligned;
    std::vector<std::size_t> widths;
    for (const TableColumn& column : table.columns) {
        header.push_back(cell(column.title));
        rightAligned.push_back(column.numeric);
        widths.push_back(widthOf(header.back()));
    }
    for (auto& row : table.rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (table.columns[i].fromLog) {
                row[i] = cell(row[i]);
            }
            widths[i] = std::max(widths[i], widthOf(row[i]));
        }
    }
    writeRow(out, header, widths, rightAligned);
    for (const auto& row : table.rows) {
        writeRow(out, row, widths, rightAligned);
    }
}

}  // namespace morvane::fleet
