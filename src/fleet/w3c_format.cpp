#include "fleet/w3c_format.h"

#include <array>
#include <optional>

#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

constexpr std::size_t kMostFields = 64;

}  // namespace

void W3cFormat::takeFields(std::string_view names) {
    haveFields_ = true;
    fieldCount_ = 0;
    date_ = time_ = address_ = method_ = target_ = userAgent_ = kNone;
    while (!names.empty()) {
        const std::size_t blank = names.find(' ');
        const std::string_view name = names.substr(0, blank);
        names.remove_prefix(blank == std::string_view::npos ? names.size() : blank + 1);
        if (name.empty()) {
            continue;
        }
        if (name == "date") {
            date_ = fieldCount_;
        } else if (name == "time") {
            time_ = fieldCount_;
        } else if (name == "c-ip") {
            address_ = fieldCount_;
        } else if (name == "cs-method") {
            method_ = fieldCount_;
        } else if (name == "cs-uri-stem" || (name == "cs-uri" && target_ == kNone)) {
            target_ = fieldCount_;
        } else if (name == "cs(User-Agent)") {
            userAgent_ = fieldCount_;
        }
        ++fieldCount_;
    }
    problem_.clear();
    if (fieldCount_ > kMostFields) {
        problem_ =
            "the #Fields: line above names more than " + std::to_string(kMostFields) + " fields";
        return;
    }
    std::string missing;
    const std::array<std::pair<std::size_t, const char*>, 6> needed = {{
        {date_, "date"},
        {time_, "time"},
        {address_, "c-ip"},
        {method_, "cs-method"},
        {target_, "cs-uri-stem"},
        {userAgent_, "cs(User-Agent)"},
    }};
    for (const auto& [index, name] : needed) {
        if (index == kNone) {
            missing += missing.empty() ? "" : ", ";
            missing += name;
        }
    }
    if (!missing.empty()) {
        problem_ = "the #Fields: line above names no " + missing;
    }
}

bool W3cFormat::readLine(std::string_view line, AccessRecord& record, std::string& why) {
    why.clear();
    if (!line.empty() && line.front() == '#') {
        constexpr std::string_view kFields = "#Fields:";
        if (line.substr(0, kFields.size()) == kFields) {
            takeFields(line.substr(kFields.size()));
        }
        return false;
    }
    if (!haveFields_) {
        why = "a request line before any #Fields: line";
        return false;
    }
    if (!problem_.empty()) {
        why = problem_;
        return false;
    }
    std::array<std::string_view, kMostFields> fields{};
    std::size_t count = 0;
    for (std::string_view rest = line; count <= fieldCount_ && count < kMostFields;) {
        const std::size_t blank = rest.find(' ');
        fields[count++] = rest.substr(0, blank);
        if (blank == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(blank + 1);
    }
    if (count != fieldCount_) {
        why = "not as many fields as the #Fields: line above names";
        return false;
    }
    const std::optional<std::int64_t> time = w3cTime(fields[date_], fields[time_]);
    if (!time) {
        why = "a date or time that does not read as yyyy-mm-dd hh:mm:ss";
        return false;
    }
    record.time = *time;
    record.address = fields[address_];
    record.method = fields[method_];
    record.target = fields[target_];
    record.rawUserAgent = fields[userAgent_] == "-" ? std::string_view() : fields[userAgent_];
    return true;
}

}  // namespace morvane::fleet
