#pragma once

#include <chrono>
#include <string>
#include <variant>

#include "install/installation.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/run_log.h"
#include "release/release.h"
#include "update/run_context.h"
#include "update/run_end.h"

namespace morvane {

// The server's release is not newer than the installed one.
struct NothingNewer {};

// The check ends the updating for `end`: the description could not be
// fetched, is not validly signed or no whole release, or the user declined.
struct Refused {
    RunEnd end;
};

// A newer release the user did not decline: its description's bytes as they
// were checked, what they state, and the progress window that follows its
// confirmation.
struct Offer {
    std::string bytes;
    Release release;
    ProgressWindow window = ProgressWindow::Hidden;
};

using CheckResult = std::variant<NothingNewer, Refused, Offer>;

// Revision check and confirmation: fetches the description, checks its
// signature when the run has a key, compares its version with
// `OldVersion` (the record's), and tells or asks the user. The whole check
// ends within `time`. An unsigned run records a description that is not
// newer; a signed one keeps the record, so that an old signed description
// replayed cannot lower it. A prefetch neither records nor asks: it offers
// every newer release this PC is offered.
CheckResult checkRevision(const RunContext& run, const std::string& OldVersion,
                          std::chrono::milliseconds time, Platform& platform, RunLog& log);

}  // namespace morvane
