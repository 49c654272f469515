#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace morvane::publish {

// The help text of the fleet command, "@" standing for the program's name.
const char* fleetHelp();

// fleet: the picture of the fleet from the web server's access logs `logs`
// (a name with "*" or "?" in its last part that names no file stands for
// the files it matches). `options` are "--days", "--csv", "--html",
// "--description" and "--release" with their values; `help` is shown with a
// usage error. Returns the exit status: 0 done, 2 wrong usage, 3 failure (a
// log that cannot be read or is of no known format, a report that cannot be
// written, or no request of the updater in the period).
int fleet(const std::vector<std::string>& logs, const std::map<std::string, std::string>& options,
          const std::string& help, std::ostream& out, std::ostream& err);

}  // namespace morvane::publish
