#pragma once

#include "base/failure.h"

namespace morvane::posix {

// The failure for an errno value. POSIX offers no German texts, so the
// common causes map to the catalogue's numbers and descriptions (its origin
// is the catalogue); everything else is "Fehler beim Zugriff auf Pfad/Datei"
// (75).
Failure errnoFailure(int errorNumber);

}  // namespace morvane::posix
