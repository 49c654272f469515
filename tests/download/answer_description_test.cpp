#include "download/answer_description.h"

#include <gtest/gtest.h>

#include <string>

namespace morvane {
namespace {

TEST(DescribeAnswer, ShowsTypeLengthAndTheFirstBytesAsOneLineOfAscii) {
    const std::string page =
        "<html>\r\n<head><title>Wartung</title></head><body>bald</body></html>";
    const struct {
        const char* name;
        std::string type;
        std::string body;
        std::string described;
    } cases[] = {
        {"a page, cut", "text/html", page,
         "text/html, " + std::to_string(page.size()) +
             " bytes, <html>\\r\\n<head><title>Wartung</ti\xE2\x80\xA6"},
        {"exactly the bytes shown", "text/plain", std::string(kShownBytes, 'a'),
         "text/plain, 32 bytes, " + std::string(kShownBytes, 'a')},
        {"gzip bytes", "application/octet-stream", std::string("\x1F\x8B\x08\0", 4),
         "application/octet-stream, 4 bytes, \\x1F\\x8B\\x08\\x00"},
        {"umlaut, tab and backslash", "", "\xC3\xBC\t\\",
         "no Content-Type, 4 bytes, \\xC3\\xBC\\t\\\\"},
        {"empty", "text/html", "", "text/html, 0 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describeAnswer(c.type, c.body), c.described);
    }
}

}  // namespace
}  // namespace morvane
