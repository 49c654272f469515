#include "base/base64_text.h"

namespace morvane {

bool isPlainBase64(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return false;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    if (text.size() % 4 != 0 || padding > 2) {
        return false;
    }
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    return text.substr(0, text.size() - padding).find_first_not_of(kAlphabet) ==
           std::string_view::npos;
}

}  // namespace morvane
