#include "base/http_fields.h"

namespace morvane {

namespace {

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool isHostName(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::string_view hostNameOf(std::string_view host) {
    if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) {
        host.remove_prefix(at + 1);
    }
    return host.substr(0, host.find(':'));
}

ContentCoding contentCodingOf(std::string_view contentEncoding) {
    ContentCoding found = ContentCoding::None;
    while (!contentEncoding.empty()) {
        const std::size_t comma = contentEncoding.find(',');
        const std::string_view name = trimmedField(contentEncoding.substr(0, comma));
        contentEncoding.remove_prefix(comma == std::string_view::npos ? contentEncoding.size()
                                                                      : comma + 1);
        if (name.empty() || equalsIgnoringCase(name, "identity")) {
            continue;
        }
        if (found != ContentCoding::None) {
            return ContentCoding::Unknown;
        }
        if (equalsIgnoringCase(name, "gzip") || equalsIgnoringCase(name, "x-gzip")) {
            found = ContentCoding::Gzip;
        } else if (equalsIgnoringCase(name, "deflate")) {
            found = ContentCoding::Deflate;
        } else {
            return ContentCoding::Unknown;
        }
    }
    return found;
}

std::string proxyForLog(std::string_view proxy) {
    const std::size_t scheme = proxy.find("://");
    const std::size_t hostStart = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t at = proxy.find('@', hostStart);
    const std::size_t slash = proxy.find('/', hostStart);
    if (at == std::string_view::npos || (slash != std::string_view::npos && slash < at)) {
        return std::string(proxy);
    }
    return std::string(proxy.substr(0, hostStart)) + std::string(proxy.substr(at + 1));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowered(a[i]) != lowered(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view trimmedField(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace morvane
