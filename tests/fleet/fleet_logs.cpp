#include "fleet_logs.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "fleet/log_time.h"

namespace morvane::fleet::test {

std::string gzipped(const std::string& text) {
    z_stream stream{};
    // 15 + 16: the largest window, with a gzip header and trailer.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

std::string LogFolder::path(const std::string& name) const {
    const std::u8string text = folder.native(name).u8string();
    return std::string(text.begin(), text.end());
}

std::string LogFolder::write(const std::string& name, const std::string& bytes) const {
    folder.write(name, bytes);
    return path(name);
}

std::string pcLines(const PcTally& tally) {
    std::vector<std::string> lines;
    for (const PcState& pc : tally.pcs()) {
        lines.push_back((pc.computer.empty() ? "?" : pc.computer) + " " + pc.address + " " +
                        (pc.revision.empty() ? "?" : pc.revision) + " " +
                        (pc.status.empty() ? "?" : pc.status) + " " + pc.fileVersion + " " +
                        std::to_string(pc.runs) + "/" + std::to_string(pc.failingRuns));
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

std::string combinedTimeOf(std::int64_t time) {
    static constexpr std::array<const char*, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string german = germanDateTime(time, 0);  // "08.12.2026 10:25:00"
    return german.substr(0, 2) + "/" + kMonths[std::stoul(german.substr(3, 2)) - 1] + "/" +
           german.substr(6, 4) + ":" + german.substr(11) + " +0000";
}

std::string w3cTimeOf(std::int64_t time) {
    const std::string german = germanDateTime(time, 0);
    return german.substr(6, 4) + "-" + german.substr(3, 2) + "-" + german.substr(0, 2) + " " +
           german.substr(11);
}

}  // namespace morvane::fleet::test
