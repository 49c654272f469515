#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/failure.h"

namespace morvane::win32 {

// One line of system text for a Windows error code (user's language, so
// German on a German system). WinINet codes (12000..12999) are looked up in
// wininet.dll. Trailing line breaks are trimmed; unknown codes get a fallback.
std::string errorText(std::uint32_t code);

// The system text in `language` (a LANGID; 0: the user's); empty when the
// system has none.
std::optional<std::string> systemText(std::uint32_t code, std::uint16_t language);

// The system text in English for the publisher tool's English output, else
// in the system's language (a German Windows may have no English texts),
// else "Windows error N".
std::string englishErrorText(std::uint32_t code);

// The failure for a Windows error code: that code and its system text.
Failure osFailure(std::uint32_t code);

}  // namespace morvane::win32
