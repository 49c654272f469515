#pragma once

#include "platform/platform.h"
#include "platform/run_log.h"
#include "release/release.h"
#include "update/run_context.h"
#include "update/run_end.h"

namespace morvane {

// The prefetch's own step, under the folder lock: every file of `release`
// that a run would fetch and that carries a SHA-256 is fetched into the
// prefetch store unless the store holds it already; everything else leaves
// the store. Prefetched, or DownloadFailed at the first file that could not
// be fetched.
RunEnd fillPrefetchStore(const RunContext& run, const Release& release, Platform& platform,
                         RunLog& log);

}  // namespace morvane
