#include "release/stage_rule.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/crypto.h"
#include "base/text.h"
#include "release/block_grammar.h"

namespace morvane {
namespace {

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return upper;
}

}  // namespace

std::vector<std::string> pilotNames(std::string_view value) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = value.find(',', start);
        if (end == std::string_view::npos) {
            end = value.size();
        }
        const std::string_view name = trimBlanks(value.substr(start, end - start));
        if (!name.empty()) {
            names.emplace_back(name);
        }
        start = end + 1;
    }
    return names;
}

StageLines stageOf(const std::vector<std::string>& versionBlockLines) {
    StageLines lines;
    // As everywhere in a block, the first line of a name counts.
    bool pilotSeen = false;
    bool shareSeen = false;
    for (const std::string& line : versionBlockLines) {
        const std::optional<NameValue> pair = nameValueOf(line);
        if (!pair) {
            continue;
        }
        if (pair->name == "Pilot" && !std::exchange(pilotSeen, true)) {
            lines.stage.pilots = pilotNames(pair->value);
        } else if (pair->name == "Anteil" && !std::exchange(shareSeen, true)) {
            const std::optional<std::int64_t> share = decimalNumber(pair->value);
            if (share && *share >= 1 && *share <= 100) {
                lines.stage.share = static_cast<int>(*share);
            } else {
                lines.shareUnreadable = true;
            }
        }
    }
    return lines;
}

int stageBucket(std::string_view computerName, std::string_view version) {
    Sha256 hash;
    const std::string input = upperAscii(computerName) + "|" + std::string(version);
    hash.update(input.data(), input.size());
    const Sha256Digest digest = hash.finish();
    const std::uint32_t first = (std::uint32_t{digest[0]} << 24) |
                                (std::uint32_t{digest[1]} << 16) | (std::uint32_t{digest[2]} << 8) |
                                std::uint32_t{digest[3]};
    return static_cast<int>(first % 100);
}

bool isComputerName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

bool isPilot(const Stage& stage, std::string_view computerName) {
    const std::string name = upperAscii(computerName);
    return std::any_of(stage.pilots.begin(), stage.pilots.end(),
                       [&](const std::string& p) { return upperAscii(p) == name; });
}

bool isOfferedTo(const Stage& stage, std::string_view computerName, std::string_view version) {
    return isPilot(stage, computerName) || stageBucket(computerName, version) < stage.share;
}

}  // namespace morvane
