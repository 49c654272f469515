#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/http.h"

namespace morvane::publish {

// The publisher tool's command line: keygen, make, sign, check and fleet.
// `args` are the arguments after the program name, in UTF-8. Returns the
// exit status: 0 done (check: no findings), 1 check found warnings or
// errors, 2 a wrong command line, 3 the command failed. A run that takes
// longer than a second shows how far it is on `err` when `errIsTerminal`,
// or when asked with --progress.
int runPublisher(const std::vector<std::string>& args, Http& http, std::ostream& out,
                 std::ostream& err, bool errIsTerminal = false);

}  // namespace morvane::publish
