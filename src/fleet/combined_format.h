#pragma once

#include <string>
#include <string_view>

#include "fleet/access_record.h"

namespace morvane::fleet {

// The "combined" log format of nginx and Apache:
//   ADDRESS IDENT USER [TIME] "REQUEST" STATUS BYTES "REFERER" "USER-AGENT"
// and the same with more fields after the User-Agent. Quoted fields escape
// their quotes and control bytes: nginx as "\x22", Apache as "\"".

enum class CombinedLine {
    Read,    // a combined line; the record is filled in
    Common,  // a line of the common format, which has no User-Agent
    Broken,  // neither
};

// Reads `line` into `record`. For Broken, `why` tells what is missing.
CombinedLine readCombinedLine(std::string_view line, AccessRecord& record, std::string& why);

// The text of a quoted field without its escapes: "\xHH" (nginx), "\"" and
// "\\" (Apache) become the bytes they stand for; any other escape stays.
std::string unescapeQuoted(std::string_view field);

}  // namespace morvane::fleet
