#include "base/text.h"

namespace morvane {

// Block files come from Windows machines in Western Europe, so the ANSI code
// page of this host is taken to be Windows-1252.
std::string ansiToUtf8(std::string_view bytes) {
    return windows1252ToUtf8(bytes);
}

}  // namespace morvane
