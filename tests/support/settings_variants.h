#pragma once

#include <string>
#include <utility>
#include <vector>

namespace morvane::test {

// Settings files that ask for signed updates, as administrators write them.
// The updater and `check --key` read each the same way: with `keyRead` the
// key is used, otherwise both refuse (the updater with its key message).
struct SettingsVariant {
    const char* name;
    std::string text;  // "{A}" stands for the address, "{K}" for the key
    bool keyRead;
};

inline const std::vector<SettingsVariant>& settingsVariants() {
    static const std::vector<SettingsVariant> variants = {
        {"CR LF", "[Adresse]\r\n{A}\r\n[Signatur]\r\n{K}\r\n", true},
        {"lone CR", "[Adresse]\r{A}\r[Signatur]\r{K}\r", true},
        {"title in lower case", "[Adresse]\r\n{A}\r\n[signatur]\r\n{K}\r\n", true},
        {"blanks around the key", "[Adresse]\r\n{A}\r\n[Signatur]\r\n  {K} \t\r\n", true},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[Adresse]\r\n{A}\r\n[Signatur]\r\n{K}\r\n", true},
        {"block appended with LF", "[Adresse]\r\n{A}\r\n[Signatur]\n{K}\n", false},
        {"LF throughout", "[Adresse]\n{A}\n[Signatur]\n{K}\n", false},
        {"blank after the title", "[Adresse]\r\n{A}\r\n[Signatur] \r\n{K}\r\n", false},
        {"blank before the title", "[Adresse]\r\n{A}\r\n [SIGNATUR]\r\n{K}\r\n", false},
        {"blank inside the title", "[Adresse]\r\n{A}\r\n[Signatur ]\r\n{K}\r\n", false},
        {"English title", "[Adresse]\r\n{A}\r\n[Signature]\r\n{K}\r\n", false},
        {"no key line", "[Adresse]\r\n{A}\r\n[Signatur]\r\n", false},
    };
    return variants;
}

inline std::string settingsText(const SettingsVariant& variant, const std::string& address,
                                const std::string& key) {
    std::string text = variant.text;
    for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{A}", address},
                                      std::pair<std::string, std::string>{"{K}", key}}) {
        const std::size_t at = text.find(mark);
        if (at != std::string::npos) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

}  // namespace morvane::test
