#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fleet/updater_request.h"
#include "release/exit_status.h"

namespace morvane::fleet {

// One PC as its requests show it: the last request's details and the runs
// since the start of the period.
struct PcState {
    // As the updater sent it last; "" for an updater that sends no details,
    // which is told apart by its address instead.
    std::string computer;
    std::string address;  // of the last request
    std::int64_t lastSeen = 0;
    std::string fileVersion;  // the updater's file version
    // The revision installed when it asked: "-" for none; "" when the
    // updater sends no details.
    std::string revision;
    // The exit status of the run before the last request: decimal digits,
    // "-" before the first run; "" when the updater sends no details.
    std::string status;
    std::int64_t runs = 0;         // requests since the start of the period
    std::int64_t failingRuns = 0;  // of them, those that report a failed run
};

// The updater's exit status that a request reports ("0" to "7"); nullopt
// for "-" (no run before), "" (not told) and any other number.
std::optional<ExitStatus> reportedStatus(std::string_view status);

// Whether a reported exit status says that the run failed: the description
// could not be fetched (3), a download failed (5), a move failed (6), an
// unexpected error (7).
bool isFailingStatus(std::string_view status);

// The updater's requests of a description, gathered per PC. A PC is its
// computer name (ASCII letters in any case), or for an updater that sends
// no details its address.
class PcTally {
public:
    // Requests before `since` (UTC seconds) are counted apart and left out.
    explicit PcTally(std::int64_t since) : since_(since) {}

    void add(std::int64_t time, std::string_view address, const UpdaterAgent& agent);

    std::int64_t requests() const { return requests_; }
    std::int64_t olderRequests() const { return older_; }
    // The time of the newest request before `since`; nullopt for none.
    std::optional<std::int64_t> newestOlder() const { return newestOlder_; }

    // Every PC seen since `since`, in no particular order.
    std::vector<PcState> pcs() const;

private:
    std::int64_t since_;
    std::unordered_map<std::string, PcState> pcs_;
    std::string key_;  // reused for every request
    std::int64_t requests_ = 0;
    std::int64_t older_ = 0;
    std::optional<std::int64_t> newestOlder_;
};

}  // namespace morvane::fleet
