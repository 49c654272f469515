#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// UTF-8 text as Windows-1252 bytes, the encoding the publisher writes
// descriptions in; nullopt when a character has no place in Windows-1252 or
// is a control character other than the tab.
std::optional<std::string> toWindows1252(std::string_view utf8);

}  // namespace morvane
