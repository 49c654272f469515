#include "fleet/updater_request.h"

#include "base/text.h"
#include "release/url_encoding.h"

namespace morvane::fleet {
namespace {

bool isComputerName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!kept) {
            return false;
        }
    }
    return true;
}

bool isStatus(std::string_view status) {
    return status == "-" || (!status.empty() && status.size() <= 5 &&
                             status.find_first_not_of("0123456789") == std::string_view::npos);
}

bool isFileVersion(std::string_view version) {
    return !version.empty() && version.find_first_of(" ()\t") == std::string_view::npos;
}

}  // namespace

AgentReading readUpdaterAgent(std::string_view userAgent, UpdaterAgent& agent) {
    if (userAgent.substr(0, kUpdaterAgentPrefix.size()) != kUpdaterAgentPrefix) {
        return AgentReading::NotUpdater;
    }
    std::string_view rest = userAgent.substr(kUpdaterAgentPrefix.size());
    const std::size_t blank = rest.find(' ');
    agent = UpdaterAgent{};
    agent.fileVersion = rest.substr(0, blank);
    if (!isFileVersion(agent.fileVersion)) {
        return AgentReading::Damaged;
    }
    if (blank == std::string_view::npos) {
        return AgentReading::Updater;
    }
    // The details from the right: the computer name and the status are
    // plain words, the revision is whatever text the description holds.
    constexpr std::string_view kRevision = "(Revision ";
    constexpr std::string_view kStatus = "; Status ";
    constexpr std::string_view kComputer = "; PC ";
    rest.remove_prefix(blank + 1);
    if (rest.substr(0, kRevision.size()) != kRevision || rest.empty() || rest.back() != ')') {
        return AgentReading::Damaged;
    }
    rest.remove_suffix(1);
    const std::size_t computer = rest.rfind(kComputer);
    const std::size_t status =
        computer == std::string_view::npos ? computer : rest.rfind(kStatus, computer);
    if (status == std::string_view::npos || status < kRevision.size()) {
        return AgentReading::Damaged;
    }
    agent.detailed = true;
    agent.computer = rest.substr(computer + kComputer.size());
    agent.status = rest.substr(status + kStatus.size(), computer - status - kStatus.size());
    agent.revision = rest.substr(kRevision.size(), status - kRevision.size());
    if (!isComputerName(agent.computer) || !isStatus(agent.status) || agent.revision.empty()) {
        return AgentReading::Damaged;
    }
    return AgentReading::Updater;
}

bool isDescriptionTarget(std::string_view target, std::string_view descriptionName) {
    // An absolute target ("http://host/path") has its path after the host.
    const std::size_t scheme = target.find("://");
    if (scheme != std::string_view::npos && scheme < target.find('/')) {
        const std::size_t path = target.find('/', scheme + 3);
        target = path == std::string_view::npos ? std::string_view() : target.substr(path);
    }
    target = target.substr(0, target.find_first_of("?#"));
    const std::string path = foldCase(percentDecoded(target));
    if (!descriptionName.empty()) {
        const std::string name = foldCase(descriptionName);
        return path.ends_with(name) && (path.size() == name.size() || name.front() == '/' ||
                                        path[path.size() - name.size() - 1] == '/');
    }
    // The last segment (npos + 1 is 0: the whole path).
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    return name.size() > 4 && name.ends_with(".INI");
}

}  // namespace morvane::fleet
