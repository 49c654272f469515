// Block files arrive as bytes in the ANSI code page.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace morvane {
namespace {

TEST(AnsiText, WesternBytesBecomeUtf8) {
#ifdef _WIN32
    // A PC whose ANSI code page is UTF-8 or a multi-byte one reads
    // Windows-1252 instead; another single-byte page is its own.
    CPINFO info{};
    const bool singleByte =
        GetACP() != CP_UTF8 && GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    if (singleByte && GetACP() != 1252) {
        GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not Windows-1252";
    }
#endif
    EXPECT_EQ(ansiToUtf8("Gr\xF6\xDF"
                         "e \x80 \x84\x93"),
              "Größe € „“");
    EXPECT_EQ(ansiToUtf8(""), "");
    EXPECT_EQ(ansiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace morvane
