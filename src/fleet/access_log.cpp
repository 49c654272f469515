#include "fleet/access_log.h"

#include <algorithm>
#include <stdexcept>

#include "base/text.h"
#include "fleet/combined_format.h"
#include "fleet/line_reader.h"
#include "fleet/updater_request.h"
#include "fleet/w3c_format.h"

namespace morvane::fleet {

const char* const kKnownFormats =
    "nginx and Apache \"combined\" (also with more fields after the User-Agent) and IIS W3C "
    "extended (with #Fields:), each also compressed with gzip";

namespace {

// The first lines that tell the format; a log of other lines only is none.
constexpr int kLinesToTell = 20;

std::string_view withoutByteOrderMark(std::string_view line) {
    return line.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark
               ? line.substr(kUtf8ByteOrderMark.size())
               : line;
}

bool isW3cDirective(std::string_view line) {
    for (const std::string_view directive : {"#Fields:", "#Software:", "#Version:", "#Date:"}) {
        if (line.substr(0, directive.size()) == directive) {
            return true;
        }
    }
    return false;
}

std::optional<LogFormat> tellFormat(const std::string& path) {
    LogFile file(path);
    LineReader lines(file);
    int seen = 0;
    bool common = false;
    AccessRecord record;
    std::string why;
    while (seen < kLinesToTell) {
        const std::optional<std::string_view> next = lines.next();
        if (!next) {
            break;
        }
        const std::string_view line = lines.number() == 1 ? withoutByteOrderMark(*next) : *next;
        if (line.empty() && !lines.tooLong()) {
            continue;
        }
        ++seen;
        if (isW3cDirective(line)) {
            return LogFormat::W3c;
        }
        const CombinedLine combined = readCombinedLine(line, record, why);
        if (combined == CombinedLine::Read) {
            return LogFormat::Combined;
        }
        common = common || combined == CombinedLine::Common;
    }
    if (seen == 0) {
        return std::nullopt;
    }
    if (common) {
        throw std::runtime_error(
            path +
            ": a log in the common format, which holds no User-Agent; fleet needs the combined "
            "format (nginx: access_log ... combined; Apache: CustomLog ... combined)");
    }
    throw std::runtime_error(path +
                             ": not an access log of a format fleet knows: " + kKnownFormats);
}

// The line's User-Agent without the format's escapes, in `buffer` when
// anything had to change.
std::string_view plainUserAgent(LogFormat format, std::string_view raw, std::string& buffer) {
    if (format == LogFormat::Combined) {
        if (raw.find('\\') == std::string_view::npos) {
            return raw;
        }
        buffer = unescapeQuoted(raw);
        return buffer;
    }
    // IIS writes "+" for the blanks of the User-Agent.
    buffer.assign(raw);
    std::replace(buffer.begin(), buffer.end(), '+', ' ');
    return buffer;
}

}  // namespace

LogReading readAccessLog(const std::string& path, std::string_view descriptionName,
                         PcTally& tally) {
    LogReading reading;
    reading.format = tellFormat(path);
    if (!reading.format) {
        return reading;
    }
    const LogFormat format = *reading.format;
    LogFile file(path);
    LineReader lines(file);
    W3cFormat w3c;
    AccessRecord record;
    std::string why;
    std::string agentText;
    UpdaterAgent agent;
    const auto unreadable = [&](std::string reason) {
        if (reading.unreadable++ == 0) {
            reading.firstUnreadable = lines.number();
            reading.firstWhy = std::move(reason);
        }
    };
    while (const std::optional<std::string_view> next = lines.next()) {
        ++reading.lines;
        const std::string_view line = lines.number() == 1 ? withoutByteOrderMark(*next) : *next;
        if (lines.tooLong()) {
            unreadable("longer than " + decimal(LineReader::kLongestLine / 1024) + " KiB");
            continue;
        }
        if (line.empty()) {
            continue;
        }
        if (format == LogFormat::W3c) {
            if (!w3c.readLine(line, record, why)) {
                if (!why.empty()) {
                    unreadable(why);
                }
                continue;
            }
        } else {
            const CombinedLine read = readCombinedLine(line, record, why);
            if (read != CombinedLine::Read) {
                unreadable(read == CombinedLine::Common ? "no User-Agent (the common format)"
                                                        : why);
                continue;
            }
        }
        if (record.rawUserAgent.substr(0, kUpdaterAgentPrefix.size()) != kUpdaterAgentPrefix) {
            continue;
        }
        ++reading.updaterRequests;
        const std::string_view userAgent = plainUserAgent(format, record.rawUserAgent, agentText);
        if (readUpdaterAgent(userAgent, agent) != AgentReading::Updater) {
            unreadable("a User-Agent that begins as the updater's but does not read as one");
            continue;
        }
        if (record.method == "GET" && isDescriptionTarget(record.target, descriptionName)) {
            ++reading.descriptionRequests;
            tally.add(record.time, record.address, agent);
        }
    }
    return reading;
}

}  // namespace morvane::fleet
