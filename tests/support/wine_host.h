#pragma once

#include <optional>
#include <string>

namespace morvane::test {

// Wine's version when the test runs under Wine (its ntdll exports
// wine_get_version), else nothing: on Windows itself and natively. Some
// behaviour only Windows shows (the foreground rules, message boxes'
// MB_TOPMOST) is judged there alone.
std::optional<std::string> wineVersion();

}  // namespace morvane::test
