#include "fleet/stage_rule.h"

#include <cstdint>

#include "base/crypto.h"
#include "base/text.h"

namespace morvane {
namespace {

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

int stageBucket(std::string_view computerName, std::string_view version) {
    std::string input;
    input.reserve(computerName.size() + 1 + version.size());
    for (const char c : computerName) {
        input += asciiUpper(c);
    }
    input += '|';
    input += version;
    Sha256 hash;
    hash.update(input.data(), input.size());
    const Sha256Digest digest = hash.finish();
    const std::uint32_t first = (std::uint32_t{digest[0]} << 24) |
                                (std::uint32_t{digest[1]} << 16) | (std::uint32_t{digest[2]} << 8) |
                                std::uint32_t{digest[3]};
    return static_cast<int>(first % 100);
}

bool isOfferedTo(std::string_view computerName, std::string_view version,
                 const std::vector<std::string>& pilots, int share) {
    const std::string name = foldCase(computerName);
    for (const std::string& pilot : pilots) {
        if (foldCase(trimBlanks(pilot)) == name) {
            return true;
        }
    }
    if (share < 1 || share >= 100) {
        return true;
    }
    return stageBucket(computerName, version) < share;
}

std::optional<int> shareOf(std::string_view text) {
    const std::optional<std::int64_t> number = decimalNumber(trimBlanks(text));
    if (!number || *number < 1 || *number > 100) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

Stage readStage(const Block& versionBlock) {
    Stage stage;
    bool versionLinePassed = false;
    bool pilotsRead = false;
    bool shareRead = false;
    for (const BlockLine& line : versionBlock.lines) {
        if (!line.text.empty() && line.text.front() == ';') {
            continue;
        }
        if (!versionLinePassed) {
            versionLinePassed = true;
            continue;
        }
        const std::optional<NameValue> pair = nameValueOf(line.text);
        if (!pair) {
            continue;
        }
        if (pair->name == "Pilot" && !pilotsRead) {
            pilotsRead = true;
            for (std::string_view rest = pair->value; !rest.empty();) {
                const std::size_t comma = rest.find(',');
                const std::string_view pilot = trimBlanks(rest.substr(0, comma));
                if (!pilot.empty()) {
                    stage.pilots.emplace_back(pilot);
                }
                rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
            }
        } else if (pair->name == "Anteil" && !shareRead) {
            shareRead = true;
            stage.shareText = pair->value;
            const std::optional<int> share = shareOf(pair->value);
            stage.shareValid = share.has_value();
            stage.share = share.value_or(100);
        }
    }
    return stage;
}

std::string describeStage(const Stage& stage) {
    if (stage.share >= 100) {
        return "all PCs";
    }
    const std::string share = decimal(stage.share) + " % of the ";
    if (stage.pilots.empty()) {
        return share + "PCs";
    }
    const std::size_t count = stage.pilots.size();
    return "pilot " + decimal(static_cast<long long>(count)) + (count == 1 ? " PC" : " PCs") +
           ", then " + share + "others";
}

}  // namespace morvane
