#pragma once

#include <string>
#include <string_view>

namespace morvane {

// The URL as it goes into a request: blanks, control characters and every
// byte of a character beyond ASCII percent-encoded (the text is UTF-8, so
// "ü" becomes "%C3%BC"); everything else, "%" included, as written. Both
// HTTP adapters therefore send the same request line for the same URL.
std::string percentEncoded(std::string_view url);

// What a server makes of a URL's path: every "%" with two hex digits
// becomes the byte they give; everything else as written.
std::string percentDecoded(std::string_view path);

}  // namespace morvane
