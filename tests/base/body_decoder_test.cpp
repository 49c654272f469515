#include "base/body_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "support/compressed.h"
#include "support/scripted_http_server.h"

namespace morvane {
namespace {

struct Decoded {
    std::string text;
    bool whole = false;
    bool refused = false;
};

// Feeds `coded` in pieces of `piece` bytes, as a body arrives.
Decoded decode(ContentCoding coding, const std::string& coded, std::size_t piece) {
    BodyDecoder decoder(coding);
    Decoded result;
    for (std::size_t at = 0; at < coded.size() && !result.refused; at += piece) {
        result.refused =
            decoder
                .feed(coded.data() + at, std::min(piece, coded.size() - at),
                      [&](const char* data, std::size_t count) { result.text.append(data, count); })
                .has_value();
    }
    result.whole = decoder.whole();
    return result;
}

TEST(BodyDecoder, DecodesGzipAndBothFormsOfDeflateInPiecesOfAnySize) {
    const std::string body = test::patternBytes(0, 100'000);
    const std::string gzip = test::gzipped(body);
    std::string damaged = gzip;
    damaged[gzip.size() / 2] = static_cast<char>(damaged[gzip.size() / 2] ^ 0x55);
    const struct {
        const char* name;
        ContentCoding coding;
        std::string coded;
        bool whole;
        bool refused;
    } cases[] = {
        {"gzip", ContentCoding::Gzip, gzip, true, false},
        {"gzip with bytes after its end", ContentCoding::Gzip, gzip + "tail", true, false},
        {"deflate, zlib stream", ContentCoding::Deflate, test::zlibDeflated(body), true, false},
        {"deflate, bare stream", ContentCoding::Deflate, test::bareDeflated(body), true, false},
        {"gzip cut short", ContentCoding::Gzip, gzip.substr(0, gzip.size() - 4), false, false},
        {"gzip damaged", ContentCoding::Gzip, damaged, false, true},
        {"no gzip at all", ContentCoding::Gzip, body, false, true},
        {"nothing", ContentCoding::Deflate, "", true, false},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3},
                                        std::size_t{1024}, std::size_t{1} << 20}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            const Decoded decoded = decode(c.coding, c.coded, piece);
            EXPECT_EQ(decoded.whole, c.whole);
            EXPECT_EQ(decoded.refused, c.refused);
            if (c.whole) {
                EXPECT_EQ(decoded.text, c.coded.empty() ? "" : body);
            }
        }
    }
}

}  // namespace
}  // namespace morvane
