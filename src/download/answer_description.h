#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane {

// An answer of the server described for the log, so that a maintenance
// page, a portal page or a compressed body can be told by its look:
// its Content-Type ("no Content-Type" when empty), its length and its first
// bytes, e.g. "text/html, 81 bytes, <html><head>…". Of the first
// kShownBytes bytes, printable ASCII stands as it is; a backslash, control
// characters and bytes beyond ASCII are escaped ("\r", "\n", "\t", "\\",
// "\x1F"), so the text is one line of ASCII. A longer body ends in "…".
std::string describeAnswer(std::string_view contentType, std::string_view body);

inline constexpr std::size_t kShownBytes = 32;

}  // namespace morvane
