#pragma once

#include <string>
#include <string_view>

namespace morvane {

// Rules on header fields and names that both HTTP adapters follow alike.

// Whether `host` names a host and nothing else: letters, digits, ".", "-"
// and "_". A host text with a port or user information is none, and the
// size probe sends nothing to it (see HttpSession::probeContentLength).
bool isHostName(std::string_view host);

// The name in a host text: without user information ("user@") and port.
std::string_view hostNameOf(std::string_view host);

// The content coding a Content-Encoding value names. "identity" is none,
// "x-gzip" is gzip. Any other coding, and a list of more than one, is
// Unknown: the adapters decode gzip and deflate only.
enum class ContentCoding { None, Gzip, Deflate, Unknown };
ContentCoding contentCodingOf(std::string_view contentEncoding);

// A proxy as the log names it: the address without "user:password@", so
// that no password reaches the log.
std::string proxyForLog(std::string_view proxy);

// ASCII letters compared without regard to case, as header names are.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text without blanks, tabs and line ends around it.
std::string_view trimmedField(std::string_view text);

}  // namespace morvane
