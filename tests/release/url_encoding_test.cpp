#include "release/url_encoding.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(PercentEncoded, EncodesBlanksControlsAndBytesBeyondAsciiOnly) {
    struct Case {
        const char* url;
        const char* sent;
    };
    const Case cases[] = {
        {"http://host/a/b.ini", "http://host/a/b.ini"},
        {"http://host/Neue Dateien/x.bin", "http://host/Neue%20Dateien/x.bin"},
        {"http://host/M\xC3\xBCller.xlsm", "http://host/M%C3%BCller.xlsm"},  // ü in UTF-8
        {"http://host/\xE2\x82\xAC", "http://host/%E2%82%AC"},               // €
        {"http://host/%41%20?q=a&b=%C3%BC#x", "http://host/%41%20?q=a&b=%C3%BC#x"},
        {"http://host/tab\tcr\rdel\x7F", "http://host/tab%09cr%0Ddel%7F"},
        {"http://host/~!$'()*+,;=:@[]", "http://host/~!$'()*+,;=:@[]"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(percentEncoded(c.url), c.sent) << c.url;
    }
}

TEST(PercentDecoded, TurnsEachEscapeIntoItsByteAndLeavesTheRest) {
    EXPECT_EQ(percentDecoded("Plan %232 (100%25).txt"), "Plan #2 (100%).txt");
    EXPECT_EQ(percentDecoded("M%C3%bcller"), "M\xC3\xBCller");
    EXPECT_EQ(percentDecoded("100% %2 %G1 %"), "100% %2 %G1 %");
}

}  // namespace
}  // namespace morvane
