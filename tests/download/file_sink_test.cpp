// The file sink's byte count on bodies of several gigabytes, fed straight
// into the sink and written to nowhere, so no gigabyte touches a disk.

#include "download/file_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "release/limits.h"

namespace morvane::test {
namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

// Takes every write and keeps only the size of the first: the sink's
// write buffer, when small pieces came first.
class DiscardingFile : public WritableFile {
public:
    explicit DiscardingFile(std::size_t& firstWrite) : firstWrite_(firstWrite) {}
    void write(const char*, std::size_t count) override {
        if (firstWrite_ == 0) {
            firstWrite_ = count;
        }
    }
    void flush() override {}
    void close() override {}

private:
    std::size_t& firstWrite_;
};

class DiscardingFileSystem : public FakeFileSystem {
public:
    std::unique_ptr<WritableFile> createNew(const std::string&) override {
        return std::make_unique<DiscardingFile>(firstWrite);
    }
    std::size_t firstWrite = 0;
};

// Feeds `bytes` bytes in pieces of 1 MiB; the what() of the OutsideLimits
// that stopped it, or "" once the sink finished.
std::string feed(FileSink& sink, std::int64_t bytes) {
    static const std::vector<char> piece(std::size_t{1} << 20);
    try {
        for (std::int64_t left = bytes; left > 0;) {
            const auto count = static_cast<std::size_t>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(piece.size())));
            sink.write(piece.data(), count);
            left -= static_cast<std::int64_t>(count);
        }
        sink.finish();
        return "";
    } catch (const OutsideLimits& broken) {
        return broken.what();
    }
}

TEST(FileSink, CountsBodiesPast2GiBAndStopsThemAtTheirBound) {
    const struct {
        const char* name;
        std::optional<std::int64_t> largest;  // limitSize
        std::optional<std::int64_t> size;     // expectSize
        std::optional<std::int64_t> announced;
        std::int64_t sent;
        std::string stopped;
    } cases[] = {
        {"Größe of 2 GiB + 1", std::nullopt, 2 * kGiB + 1, std::nullopt, 2 * kGiB + 1, ""},
        {"Größe beyond the bound of a file without one", std::nullopt, 4 * kGiB + 1, std::nullopt,
         4 * kGiB + 1, ""},
        {"no Größe: exactly 4 GiB", kLargestUnsizedFile, std::nullopt, std::nullopt, 4 * kGiB, ""},
        {"no Größe: one byte past 4 GiB", kLargestUnsizedFile, std::nullopt, std::nullopt,
         4 * kGiB + 1, "more than 4294967296 bytes"},
        {"no Größe: one byte past the announced 3 GiB", kLargestUnsizedFile, std::nullopt, 3 * kGiB,
         3 * kGiB + 1, "more than the announced 3221225472 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DiscardingFileSystem files;
        // A size hint far beyond any buffer.
        FileSink sink(files, "C:\\App\\Temp\\big.bin", 5 * kGiB, nullptr);
        if (c.largest) {
            sink.limitSize(*c.largest);
        }
        if (c.size) {
            sink.expectSize(*c.size);
        }
        sink.begin(200, c.announced);
        const std::string kibibyte(1024, 'x');
        for (int i = 0; i < 512; ++i) {
            sink.write(kibibyte.data(), kibibyte.size());
        }

        EXPECT_EQ(feed(sink, c.sent - std::int64_t{512} * 1024), c.stopped);
        EXPECT_EQ(files.firstWrite, FileSink::kLargestBuffer);
    }
}

}  // namespace
}  // namespace morvane::test
