#pragma once

#include "platform/process.h"

namespace morvane {

// What "--self-test" asks of a new updater program before a run puts it in
// place of the running one: its version information reads, and the
// platform's hash and signature check work (a fixed signature verifies, a
// changed one does not). Nothing is shown, fetched or written. 0 when it
// can run, 1 when not.
int selfTest(Process& process);

}  // namespace morvane
