#pragma once

#include <string>
#include <vector>

#include "fleet/access_log.h"
#include "fleet/pc_tally.h"
#include "support/temp_folder.h"

namespace morvane::fleet::test {

// The bytes of `text` compressed as gzip writes them (one member).
std::string gzipped(const std::string& text);

// A folder for logs, read as fleet reads them.
struct LogFolder {
    morvane::test::TempFolder folder;

    // The file's path in the host's form, in UTF-8.
    std::string path(const std::string& name) const;
    std::string write(const std::string& name, const std::string& bytes) const;
};

// The PCs of a tally, one line each, sorted:
// "NAME ADDRESS REVISION STATUS VERSION RUNS/FAILING" (an updater that sends
// no details: "? ADDRESS ...").
std::string pcLines(const PcTally& tally);

// A time in the combined format ("08/Dec/2026:10:25:00 +0000") and in W3C's
// ("2026-12-08 10:25:00"), UTC.
std::string combinedTimeOf(std::int64_t time);
std::string w3cTimeOf(std::int64_t time);

}  // namespace morvane::fleet::test
