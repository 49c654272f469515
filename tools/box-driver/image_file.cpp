#include "image_file.h"

#include <array>
#include <cstddef>

namespace morvane::box_driver {
namespace {

std::array<std::uint32_t, 256> crcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

std::uint32_t crc32(const std::string& bytes, std::size_t from) {
    static const std::array<std::uint32_t, 256> table = crcTable();
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        c = table[(c ^ static_cast<std::uint8_t>(bytes[i])) & 0xFFU] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFU;
}

void putBe32(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>((value >> 24) & 0xFFU));
    out.push_back(static_cast<char>((value >> 16) & 0xFFU));
    out.push_back(static_cast<char>((value >> 8) & 0xFFU));
    out.push_back(static_cast<char>(value & 0xFFU));
}

void putLe16(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFFU));
    out.push_back(static_cast<char>((value >> 8) & 0xFFU));
}

void putLe32(std::string& out, std::uint32_t value) {
    putLe16(out, value & 0xFFFFU);
    putLe16(out, value >> 16);
}

void putChunk(std::string& png, const char* type, const std::string& data) {
    putBe32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.append(type, 4);
    png += data;
    putBe32(png, crc32(png, typeAt));
}

// A zlib stream of `raw` in stored (uncompressed) deflate blocks.
std::string storedZlib(const std::string& raw) {
    std::string out = {'\x78', '\x01'};
    constexpr std::size_t kBlock = 65535;
    std::size_t at = 0;
    do {
        const std::size_t length = raw.size() - at < kBlock ? raw.size() - at : kBlock;
        const bool last = at + length == raw.size();
        out.push_back(last ? '\x01' : '\x00');
        putLe16(out, static_cast<std::uint32_t>(length));
        putLe16(out, static_cast<std::uint32_t>(~length & 0xFFFFU));
        out.append(raw, at, length);
        at += length;
    } while (at < raw.size());
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char c : raw) {
        a = (a + static_cast<std::uint8_t>(c)) % 65521U;
        b = (b + a) % 65521U;
    }
    putBe32(out, (b << 16) | a);
    return out;
}

}  // namespace

std::string encodePng(const Image& image) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    putBe32(header, static_cast<std::uint32_t>(width));
    putBe32(header, static_cast<std::uint32_t>(height));
    header +=
        std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);

    std::string raw;
    raw.reserve(height * (1 + width * 3));
    for (std::size_t row = 0; row < height; ++row) {
        raw.push_back('\0');  // filter type "none"
        const auto* first = image.rgb.data() + row * width * 3;
        raw.append(reinterpret_cast<const char*>(first), width * 3);
    }
    putChunk(png, "IDAT", storedZlib(raw));
    putChunk(png, "IEND", "");
    return png;
}

std::string encodeBmp(const Image& image) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t stride = (width * 3 + 3) & ~std::size_t{3};
    const std::size_t pixelBytes = stride * height;
    std::string bmp = "BM";
    putLe32(bmp, static_cast<std::uint32_t>(14 + 40 + pixelBytes));
    putLe32(bmp, 0);
    putLe32(bmp, 14 + 40);
    putLe32(bmp, 40);
    putLe32(bmp, static_cast<std::uint32_t>(width));
    putLe32(bmp, static_cast<std::uint32_t>(height));  // positive: bottom-up
    putLe16(bmp, 1);
    putLe16(bmp, 24);
    putLe32(bmp, 0);  // BI_RGB
    putLe32(bmp, static_cast<std::uint32_t>(pixelBytes));
    putLe32(bmp, 3780);  // 96 dots per inch
    putLe32(bmp, 3780);
    putLe32(bmp, 0);
    putLe32(bmp, 0);
    for (std::size_t row = height; row-- > 0;) {
        const std::size_t lineStart = bmp.size();
        for (std::size_t column = 0; column < width; ++column) {
            const auto* pixel = image.rgb.data() + (row * width + column) * 3;
            bmp.push_back(static_cast<char>(pixel[2]));
            bmp.push_back(static_cast<char>(pixel[1]));
            bmp.push_back(static_cast<char>(pixel[0]));
        }
        bmp.append(stride - (bmp.size() - lineStart), '\0');
    }
    return bmp;
}

}  // namespace morvane::box_driver
