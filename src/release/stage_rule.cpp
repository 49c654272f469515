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
            for (std::size_t start = 0; start <= pair->value.size();) {
                std::size_t end = pair->value.find(',', start);
                if (end == std::string_view::npos) {
                    end = pair->value.size();
                }
                const std::string_view name = trimBlanks(pair->value.substr(start, end - start));
                if (!name.empty()) {
                    lines.stage.pilots.emplace_back(name);
                }
                start = end + 1;
            }
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

bool isOfferedTo(const Stage& stage, std::string_view computerName, std::string_view version) {
    const std::string name = upperAscii(computerName);
    const bool pilot = std::any_of(stage.pilots.begin(), stage.pilots.end(),
                                   [&](const std::string& p) { return upperAscii(p) == name; });
    return pilot || stageBucket(computerName, version) < stage.share;
}

}  // namespace morvane
