#include "download/answer_description.h"

#include "base/text.h"

namespace morvane {

namespace {

std::string escaped(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\\':
                text += "\\\\";
                break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    text += "\\x";
                    text += kHex[byte >> 4];
                    text += kHex[byte & 0x0F];
                } else {
                    text += c;
                }
        }
    }
    return text;
}

}  // namespace

std::string describeAnswer(std::string_view contentType, std::string_view body) {
    std::string text = contentType.empty() ? "no Content-Type" : escaped(contentType);
    text += ", " + decimal(static_cast<long long>(body.size())) + " bytes";
    if (!body.empty()) {
        text += ", " + escaped(body.substr(0, kShownBytes));
        if (body.size() > kShownBytes) {
            text += "\xE2\x80\xA6";  // "…"
        }
    }
    return text;
}

}  // namespace morvane
