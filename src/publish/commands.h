#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/http.h"

namespace morvane::publish {

// The publisher tool's command line: keygen, make, sign, check and fleet.
// `args` are the arguments after the program name, in UTF-8. Returns the
// exit status: 0 done (check: clean), 1 check found warnings only, 2 errors
// (fleet: 2 wrong usage, 3 failure).
int runPublisher(const std::vector<std::string>& args, Http& http, std::ostream& out,
                 std::ostream& err);

}  // namespace morvane::publish
