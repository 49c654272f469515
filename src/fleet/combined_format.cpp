#include "fleet/combined_format.h"

#include <charconv>
#include <optional>
#include <system_error>

#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

// The byte that two hex digits at the start of `digits` write; nullopt
// unless there are two.
std::optional<char> hexByte(std::string_view digits) {
    if (digits.size() < 2) {
        return std::nullopt;
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + 2, value, 16);
    if (error != std::errc() || end != digits.data() + 2) {
        return std::nullopt;
    }
    return static_cast<char>(value);
}

// A field in quotes at the start of `rest` (which must begin with '"'):
// its text without the quotes, and `rest` moved past the closing quote.
// False when it does not begin with a quote or never ends.
bool takeQuoted(std::string_view& rest, std::string_view& field) {
    if (rest.empty() || rest.front() != '"') {
        return false;
    }
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] == '\\') {
            ++i;  // the escaped byte, a quote included
        } else if (rest[i] == '"') {
            field = rest.substr(1, i - 1);
            rest.remove_prefix(i + 1);
            return true;
        }
    }
    return false;
}

// A field up to the next blank (or the end), and `rest` past that blank.
std::string_view takeWord(std::string_view& rest) {
    const std::size_t blank = rest.find(' ');
    const std::string_view word = rest.substr(0, blank);
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank + 1);
    return word;
}

// Whether `rest` begins with a blank, which it then drops.
bool takeBlank(std::string_view& rest) {
    if (rest.empty() || rest.front() != ' ') {
        return false;
    }
    rest.remove_prefix(1);
    return true;
}

bool isNumberOrDash(std::string_view word) {
    if (word == "-") {
        return true;
    }
    return !word.empty() && word.find_first_not_of("0123456789") == std::string_view::npos;
}

CombinedLine broken(std::string& why, const char* reason) {
    why = reason;
    return CombinedLine::Broken;
}

}  // namespace

CombinedLine readCombinedLine(std::string_view line, AccessRecord& record, std::string& why) {
    std::string_view rest = line;
    record.address = takeWord(rest);
    if (record.address.empty()) {
        return broken(why, "no client address");
    }
    // The ident and user fields, then the time in brackets.
    const std::size_t open = rest.find('[');
    const std::size_t close = open == std::string_view::npos ? open : rest.find(']', open);
    if (close == std::string_view::npos) {
        return broken(why, "no [time]");
    }
    const std::optional<std::int64_t> time = combinedTime(rest.substr(open + 1, close - open - 1));
    if (!time) {
        return broken(why, "a time that does not read as [dd/Mon/yyyy:hh:mm:ss +zzzz]");
    }
    record.time = *time;
    rest.remove_prefix(close + 1);
    std::string_view request;
    if (!takeBlank(rest) || !takeQuoted(rest, request)) {
        return broken(why, "no \"request\" after the time");
    }
    const std::string_view status = takeBlank(rest) ? takeWord(rest) : std::string_view();
    const std::string_view size = takeWord(rest);
    if (!isNumberOrDash(status) || !isNumberOrDash(size)) {
        return broken(why, "no status and size after the request");
    }
    if (rest.empty()) {
        return CombinedLine::Common;
    }
    std::string_view referer;
    std::string_view agent;
    if (!takeQuoted(rest, referer) || !takeBlank(rest) || !takeQuoted(rest, agent)) {
        return broken(why, "no \"referer\" \"user agent\" after the size");
    }
    if (!rest.empty() && rest.front() != ' ') {
        return broken(why, "no blank after the user agent");
    }
    record.method = takeWord(request);
    record.target = takeWord(request);
    record.rawUserAgent = agent;
    return CombinedLine::Read;
}

std::string unescapeQuoted(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        const char escaped = field[i + 1];
        const std::optional<char> byte =
            escaped == 'x' ? hexByte(field.substr(i + 2)) : std::optional<char>();
        if (byte) {
            text += *byte;
            i += 3;
        } else if (escaped == '"' || escaped == '\\') {
            text += escaped;
            ++i;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace morvane::fleet
