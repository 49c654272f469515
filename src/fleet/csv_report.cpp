#include <vector>

#include "base/text.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

// Excel takes at most this many characters in a text of a formula.
constexpr std::size_t kLongestFormulaText = 255;

// A field as it stands, quoted when it holds ";", quotes or blanks at its
// ends (its quotes doubled).
std::string field(std::string_view text) {
    if (text.find_first_of(";\"") == std::string_view::npos &&
        (text.empty() || (text.front() != ' ' && text.back() != ' '))) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// A text from a log as Excel must show it: as the formula ="text", so that a
// German Excel reads neither "2.1" as a date nor "0042" as a number, and
// nothing in it as a formula (a log's texts come from anyone who can send a
// request). Longer texts than a formula holds are marked as text with a
// leading "'" where they would read as a formula.
std::string textField(std::string_view text) {
    std::string safe = withoutControls(text);
    if (safe.size() <= kLongestFormulaText) {
        std::string formula = "=\"";
        for (const char c : safe) {
            formula += c;
            if (c == '"') {
                formula += '"';
            }
        }
        return field(formula + "\"");
    }
    if (safe.front() == '=' || safe.front() == '+' || safe.front() == '-' || safe.front() == '@') {
        safe.insert(0, "'");
    }
    return field(safe);
}

void appendRow(std::string& csv, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        csv += i == 0 ? "" : ";";
        csv += fields[i];
    }
    csv += "\r\n";
}

}  // namespace

std::string csvReport(const FleetPicture& picture, const LocalOffset& offset) {
    const PcTable table = pcTable(
        picture, [&offset](std::int64_t time) { return germanDateTime(time, offset(time)); });
    std::string csv(kUtf8ByteOrderMark);
    std::vector<std::string> fields;
    for (const TableColumn& column : table.columns) {
        fields.push_back(field(withoutControls(column.title)));
    }
    appendRow(csv, fields);
    for (const auto& row : table.rows) {
        fields.clear();
        for (std::size_t i = 0; i < row.size(); ++i) {
            fields.push_back(table.columns[i].fromLog ? textField(row[i])
                                                      : field(withoutControls(row[i])));
        }
        appendRow(csv, fields);
    }
    return csv;
}

}  // namespace morvane::fleet
