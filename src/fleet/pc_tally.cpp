#include "fleet/pc_tally.h"

#include "base/text.h"

namespace morvane::fleet {

std::optional<ExitStatus> reportedStatus(std::string_view status) {
    if (status.size() != 1 || status[0] < '0' || status[0] > '7') {
        return std::nullopt;
    }
    return static_cast<ExitStatus>(status[0] - '0');
}

bool isFailingStatus(std::string_view status) {
    const std::optional<ExitStatus> reported = reportedStatus(status);
    if (!reported) {
        return false;
    }
    switch (*reported) {
        case ExitStatus::NoDescription:
        case ExitStatus::DownloadFailed:
        case ExitStatus::MoveFailed:
        case ExitStatus::Unexpected:
            return true;
        case ExitStatus::Done:
        case ExitStatus::AnotherInstance:
        case ExitStatus::NoSettings:
        case ExitStatus::Declined:
            return false;
    }
    return false;
}

void PcTally::add(std::int64_t time, std::string_view address, const UpdaterAgent& agent) {
    ++requests_;
    if (time < since_) {
        ++older_;
        if (!newestOlder_ || time > *newestOlder_) {
            newestOlder_ = time;
        }
        return;
    }
    key_.clear();
    if (agent.detailed) {
        key_ += "PC ";
        for (const char c : agent.computer) {
            key_ += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        }
    } else {
        key_ += "@ ";
        key_ += address;
    }
    PcState& pc = pcs_[key_];
    ++pc.runs;
    if (isFailingStatus(agent.status)) {
        ++pc.failingRuns;
    }
    if (pc.runs == 1 || time >= pc.lastSeen) {
        pc.lastSeen = time;
        pc.computer.assign(agent.computer);
        pc.address = utf8Text(address);
        pc.fileVersion = utf8Text(agent.fileVersion);
        pc.revision = utf8Text(agent.revision);
        pc.status.assign(agent.status);
    }
}

std::vector<PcState> PcTally::pcs() const {
    std::vector<PcState> all;
    all.reserve(pcs_.size());
    for (const auto& [key, pc] : pcs_) {
        all.push_back(pc);
    }
    return all;
}

}  // namespace morvane::fleet
