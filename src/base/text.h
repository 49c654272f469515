#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// Text in memory is UTF-8. UTF-16 appears only at Win32 calls and where
// 16-bit code units decide an order.
std::u16string toUtf16(std::string_view utf8);
std::string fromUtf16(std::u16string_view utf16);

// Bytes of the ANSI code page as UTF-8 (Windows: the system's code page;
// elsewhere Windows-1252). Implemented by the platform.
std::string ansiToUtf8(std::string_view bytes);

// Windows-1252 to UTF-8, independent of the host.
std::string windows1252ToUtf8(std::string_view bytes);

// Bytes that should be UTF-8 as UTF-8 text: every malformed or overlong
// sequence becomes U+FFFD.
std::string utf8Text(std::string_view bytes);
// Whether the bytes are well-formed UTF-8 as they stand.
bool isUtf8(std::string_view bytes);

// The mark an editor puts before a text saved as "UTF-8 with BOM".
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
bool hasUtf8ByteOrderMark(std::string_view bytes);

// Ordinal comparison by UTF-16 code units; a proper prefix is smaller.
int compareOrdinal(std::string_view a, std::string_view b);

// Upper case for comparisons that ignore case: ASCII and Latin-1 letters.
std::string foldCase(std::string_view utf8);

// Decimal digits of a number, with a minus sign when negative.
std::string decimal(long long value);
// The number that `digits` (decimal digits only, at most 18) write;
// nullopt for any other text.
std::optional<std::int64_t> decimalNumber(std::string_view digits);

}  // namespace morvane
