#include <algorithm>
#include <vector>

#include "base/text.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

// The chart's geometry in pixels.
constexpr int kLabelWidth = 250;
constexpr int kLongestBar = 420;
constexpr int kBarHeight = 22;
constexpr int kBarGap = 8;
constexpr int kCountWidth = 60;
constexpr std::size_t kLongestLabel = 30;

// Text from a log as page text: no markup, no control characters.
std::string html(std::string_view text) {
    std::string escaped;
    for (const char c : withoutControls(text)) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// A label of the chart, cut to kLongestLabel characters.
std::string label(const std::string& text) {
    std::size_t cut = 0;
    std::size_t characters = 0;
    while (cut < text.size() && characters < kLongestLabel) {
        ++cut;
        while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) {
            ++cut;
        }
        ++characters;
    }
    return cut < text.size() ? text.substr(0, cut) + "\xE2\x80\xA6" : text;
}

// A revision's bar's label.
std::string revisionTitle(const std::string& revision) {
    if (revision.empty()) {
        return "Revision not told";
    }
    return revision == "-" ? "No revision installed" : "Revision " + revision;
}

struct Bar {
    std::string label;
    std::size_t count;
    const char* kind;  // the class of its rectangle: revision, failing, absent
};

std::string number(std::size_t value) {
    return decimal(static_cast<long long>(value));
}

void appendChart(std::string& page, const std::vector<Bar>& bars) {
    std::size_t most = 1;
    for (const Bar& bar : bars) {
        most = std::max(most, bar.count);
    }
    const int width = kLabelWidth + kLongestBar + kCountWidth;
    const int height = static_cast<int>(bars.size()) * (kBarHeight + kBarGap) + 3 * kBarGap;
    bool gapDone = false;
    page += "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + decimal(width) +
            "\" height=\"" + decimal(height) + "\" viewBox=\"0 0 " + decimal(width) + " " +
            decimal(height) +
            "\" role=\"img\" aria-label=\"PCs per revision, PCs whose last run failed, PCs not "
            "seen for more than " +
            decimal(kAbsentAfterDays) + " days\">\n";
    int y = kBarGap;
    for (const Bar& bar : bars) {
        if (std::string_view(bar.kind) != "revision" && y > kBarGap && !gapDone) {
            y += kBarGap * 2;  // the PCs per revision apart from the two counts after them
            gapDone = true;
        }
        const auto length =
            static_cast<long long>(bar.count * static_cast<std::size_t>(kLongestBar) / most);
        const std::string middle = decimal(y + kBarHeight / 2 + 5);
        page += "<text class=\"label\" x=\"" + decimal(kLabelWidth - 10) + "\" y=\"" + middle +
                "\" text-anchor=\"end\">" + html(label(bar.label)) + "</text>";
        page += "<rect class=\"bar " + std::string(bar.kind) + "\" x=\"" + decimal(kLabelWidth) +
                "\" y=\"" + decimal(y) + "\" width=\"" +
                decimal(bar.count > 0 ? std::max(2LL, length) : 0) + "\" height=\"" +
                decimal(kBarHeight) + "\"><title>" + html(bar.label) + ": " + number(bar.count) +
                "</title></rect>";
        page += "<text class=\"count\" x=\"" + decimal(kLabelWidth + std::max(2LL, length) + 8) +
                "\" y=\"" + middle + "\">" + number(bar.count) + "</text>\n";
        y += kBarHeight + kBarGap;
    }
    page += "</svg>\n";
}

// The row of the PC at `index`, of the class `rowClass` ("" for none).
std::string row(const PcTable& table, std::size_t index, const char* rowClass) {
    std::string text = *rowClass == '\0' ? "<tr>" : "<tr class=\"" + std::string(rowClass) + "\">";
    const std::vector<std::string>& cells = table.rows[index];
    for (std::size_t i = 0; i < cells.size(); ++i) {
        text += table.columns[i].numeric ? "<td class=\"number\">" : "<td>";
        text += html(cells[i]);
        text += "</td>";
    }
    return text + "</tr>\n";
}

std::string header(const PcTable& table) {
    std::string text = "<thead><tr>";
    for (const TableColumn& column : table.columns) {
        text += "<th>" + html(column.title) + "</th>";
    }
    return text + "</tr></thead>\n";
}

constexpr const char* kStyle =
    R"(body { font-family: "Segoe UI", system-ui, sans-serif; margin: 2em; color: #222; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
h2 { font-size: 1.2em; margin-top: 1.6em; }
p { margin: 0.3em 0; }
table { border-collapse: collapse; font-size: 0.92em; }
th, td { border-bottom: 1px solid #ddd; padding: 0.3em 0.8em; text-align: left; vertical-align: top;
         white-space: nowrap; }
td:last-child { white-space: normal; }
th { background: #eef1f5; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
tr.failing td { background: #fdecea; }
tr.absent td { color: #888; }
svg.chart { margin-top: 1em; }
svg text { font-size: 13px; fill: #222; }
rect.revision { fill: #3a6ea5; }
rect.failing { fill: #c0392b; }
rect.absent { fill: #9a9a9a; }
.note { color: #666; font-size: 0.85em; margin-top: 1.5em; }
)";

}  // namespace

std::string htmlReport(const FleetPicture& picture, const LocalOffset& offset) {
    const std::string when = isoMinute(picture.now, offset(picture.now));
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        // Nothing from outside and no scripts: the page shows the same
        // anywhere, and no text of a log could run as code.
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
        "'unsafe-inline'\">\n"
        "<title>Fleet of the updater, " +
        when + "</title>\n<style>\n" + kStyle + "</style>\n</head>\n<body>\n";
    page += "<h1>Fleet of the updater</h1>\n<p class=\"headline\">" +
            html(headline(picture, offset)) + ".</p>\n";
    if (picture.release) {
        page += "<p class=\"release\">" + html(releaseLine(picture)) + "</p>\n";
    }

    std::vector<Bar> bars;
    for (const auto& [revision, count] : picture.revisions) {
        bars.push_back({revisionTitle(revision), count, "revision"});
    }
    bars.push_back({"Last run failed", picture.failing.size(), "failing"});
    bars.push_back({"Not seen for more than " + decimal(kAbsentAfterDays) + " days",
                    picture.absent.size(), "absent"});
    appendChart(page, bars);

    const PcTable table =
        pcTable(picture, [&offset](std::int64_t time) { return isoMinute(time, offset(time)); });
    page += "<h2>Last run failed: " + pcCount(picture.failing.size()) + "</h2>\n";
    if (picture.failing.empty()) {
        page += "<p>None.</p>\n";
    } else {
        page += "<table class=\"failing\">\n" + header(table) + "<tbody>\n";
        for (const std::size_t index : picture.failing) {
            page += row(table, index, "failing");
        }
        page += "</tbody>\n</table>\n";
    }

    page += "<h2>All PCs: " + pcCount(picture.pcs.size()) + "</h2>\n<table class=\"pcs\">\n" +
            header(table) + "<tbody>\n";
    for (std::size_t i = 0; i < picture.pcs.size(); ++i) {
        const PcState& pc = picture.pcs[i];
        const bool absent = picture.now - pc.lastSeen > kAbsentAfterDays * kSecondsPerDay;
        page += row(table, i, isFailingStatus(pc.status) ? "failing" : absent ? "absent" : "");
    }
    page += "</tbody>\n</table>\n";
    page +=
        "<p class=\"note\">Each request of the updater reports the revision installed when it "
        "asked and the exit status of the run before it. Runs and failed runs count the "
        "requests of the last " +
        decimal(picture.days) + " days.</p>\n</body>\n</html>\n";
    return page;
}

}  // namespace morvane::fleet
