#pragma once

#include <ostream>
#include <string>

#include "fleet/fleet_picture.h"
#include "fleet/report_texts.h"

namespace morvane::fleet {

// The three forms of the fleet's picture. Every text that comes from a log
// is made safe for its form: no log line can change what a report shows
// beyond its own cell.

// The summary and the table for the terminal (UTF-8).
void writeTextReport(const FleetPicture& picture, const LocalOffset& offset, std::ostream& out);

// The table as Excel on a German PC opens it: UTF-8 with byte order mark,
// ";" between fields, CR LF after each row, dates as "08.12.2026 10:25:00".
std::string csvReport(const FleetPicture& picture, const LocalOffset& offset);

// One self-contained HTML page: no outside resources and no scripts; the
// summary as a bar chart in SVG, the PCs whose last run failed, then the
// table.
std::string htmlReport(const FleetPicture& picture, const LocalOffset& offset);

}  // namespace morvane::fleet
