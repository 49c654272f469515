#include "platform/win32/system_proxy.h"

#include "base/http_fields.h"

namespace morvane::win32 {

namespace {

bool isSeparator(char c) {
    return c == ';' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The entries of a list separated by semicolons, commas or blanks, in turn.
template <class Visit>
bool anyEntry(std::string_view list, Visit visit) {
    while (!list.empty()) {
        std::size_t end = 0;
        while (end < list.size() && !isSeparator(list[end])) {
            ++end;
        }
        if (end > 0 && visit(list.substr(0, end))) {
            return true;
        }
        list.remove_prefix(end == list.size() ? end : end + 1);
    }
    return false;
}

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `name` matches `pattern`, where "*" stands for any run of
// characters, ignoring case.
bool matchesPattern(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && lowered(pattern[p]) == lowered(name[n])) {
            ++p;
            ++n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

std::string httpProxyFor(std::string_view host, std::string_view proxies, std::string_view bypass) {
    const std::string_view name = hostNameOf(host);
    const bool exempt = anyEntry(bypass, [name](std::string_view entry) {
        if (equalsIgnoringCase(entry, "<local>")) {
            return name.find('.') == std::string_view::npos;
        }
        return matchesPattern(name, entry);
    });
    if (exempt) {
        return {};
    }
    // An entry for http, else one that names no scheme.
    std::string_view chosen;
    anyEntry(proxies, [&chosen](std::string_view entry) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (chosen.empty()) {
                chosen = entry;
            }
            return false;
        }
        if (equalsIgnoringCase(entry.substr(0, equals), "http")) {
            chosen = entry.substr(equals + 1);
            return true;
        }
        return false;
    });
    return std::string(chosen);
}

}  // namespace morvane::win32
