#include "download/file_sink.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/failure.h"
#include "base/text.h"

namespace morvane {

namespace {

// How many numbered names beside the target are tried for the temporary
// file when an earlier one cannot be removed.
constexpr int kTemporaryNames = 100;

std::size_t bufferSizeFor(std::optional<std::int64_t> contentLength, std::int64_t sizeHint) {
    std::int64_t expected = 0;
    if (contentLength && *contentLength > 0) {
        expected = *contentLength;
    } else if (sizeHint > 0) {
        expected = sizeHint;
    } else {
        return FileSink::kDefaultBuffer;
    }
    return static_cast<std::size_t>(
        std::clamp<std::int64_t>(expected, static_cast<std::int64_t>(FileSink::kSmallestBuffer),
                                 static_cast<std::int64_t>(FileSink::kLargestBuffer)));
}

}  // namespace

FileSink::FileSink(FileSystem& files, std::string target, std::int64_t sizeHint,
                   std::function<void()> onRead)
    : files_(files), target_(std::move(target)), sizeHint_(sizeHint), onRead_(std::move(onRead)) {}

FileSink::~FileSink() {
    if (temporary_.empty() || committed_) {
        return;
    }
    // The file must be closed before Windows lets it go.
    file_.reset();
    try {
        files_.deleteFile(temporary_);
    } catch (...) {
        // Nothing more can be done for it; the failure that brought us here counts.
    }
}

void FileSink::begin(int status, std::optional<std::int64_t> contentLength) {
    if (status < 200 || status > 299) {
        throw UnwantedStatus(status);
    }
    if (begun_) {
        return;
    }
    if (largest_ && contentLength && *contentLength > *largest_) {
        throw OutsideLimits("announced " + decimal(*contentLength) + " bytes, more than " +
                            decimal(*largest_));
    }
    if (contentLength && *contentLength >= 0) {
        announced_ = *contentLength;
    }
    begun_ = true;
    buffer_.resize(bufferSizeFor(contentLength, sizeHint_));
    // Temporary files of this target that a cut-off run left behind go
    // first. Each run took the first free number, so they stand in a row;
    // one that cannot be removed (still open somewhere) is skipped.
    std::string chosen;
    for (int number = 0; number < kTemporaryNames; ++number) {
        const std::string candidate =
            number == 0 ? target_ + ".part" : target_ + "." + decimal(number) + ".part";
        const bool stale = files_.entryKind(candidate).has_value();
        if (stale) {
            try {
                files_.deleteFile(candidate);
            } catch (const Failure&) {
                continue;
            }
        }
        if (chosen.empty()) {
            chosen = candidate;
        }
        if (!stale) {
            break;
        }
    }
    if (chosen.empty()) {
        throw Failure::of(err::PathAccess);
    }
    file_ = flushLater_ ? files_.createNewFlushedLater(chosen) : files_.createNew(chosen);
    temporary_ = std::move(chosen);
}

void FileSink::write(const char* data, std::size_t count) {
    if (!file_) {
        throw Failure::of(err::InvalidCall);
    }
    // No transfer comes near 2^63 bytes, so the count cannot wrap.
    received_ += static_cast<std::int64_t>(count);
    if (largest_ && received_ > *largest_) {
        throw OutsideLimits("more than " + decimal(*largest_) + " bytes");
    }
    if (announced_ && received_ > *announced_) {
        throw OutsideLimits("more than the announced " + decimal(*announced_) + " bytes");
    }
    if (hash_) {
        hash_->update(data, count);
    }
    if (count > buffer_.size() - buffered_) {
        flush();
        if (count >= buffer_.size()) {
            file_->write(data, count);
            return;
        }
    }
    std::memcpy(buffer_.data() + buffered_, data, count);
    buffered_ += count;
}

void FileSink::afterRead() {
    if (deadline_ && std::chrono::steady_clock::now() >= *deadline_) {
        throw OutsideLimits("time limit reached");
    }
    if (onRead_) {
        onRead_();
    }
}

void FileSink::end() {
    finish();
}

void FileSink::limitSize(std::int64_t largest) {
    if (received_ > 0) {
        throw Failure::of(err::InvalidCall);
    }
    largest_ = largest_ ? std::min(*largest_, largest) : largest;
}

void FileSink::expectSize(std::int64_t size) {
    limitSize(size);
    exact_ = true;
}

void FileSink::endBy(std::chrono::steady_clock::time_point deadline) {
    deadline_ = deadline;
}

void FileSink::flush() {
    if (buffered_ > 0) {
        file_->write(buffer_.data(), buffered_);
        buffered_ = 0;
    }
}

void FileSink::expectSha256(const Sha256Digest& digest) {
    if (received_ > 0) {
        throw Failure::of(err::InvalidCall);
    }
    hash_.emplace();
    expected_ = digest;
}

void FileSink::finish() {
    if (finished_) {
        return;
    }
    if (!file_) {
        throw Failure::of(err::InvalidCall);
    }
    finished_ = true;
    flush();
    // On the disk itself before commit() renames it into place: a rename
    // can outlive a power cut that the file's data does not. A file flushed
    // later is not used before that.
    if (!flushLater_) {
        file_->flush();
    }
    file_->close();
    file_.reset();
    if (exact_ && received_ != *largest_) {
        throw OutsideLimits(decimal(received_) + " bytes instead of the expected " +
                            decimal(*largest_));
    }
    if (expected_) {
        const Sha256Digest actual = hash_->finish();
        hash_.reset();
        if (actual != *expected_) {
            throw DigestMismatch(*expected_, actual);
        }
        matched_ = true;
    }
}

void FileSink::commit() {
    finish();
    // A body that was to be checked and was not never reaches the target.
    if (temporary_.empty() || (expected_ && !matched_)) {
        throw Failure::of(err::InvalidCall);
    }
    files_.replaceFile(temporary_, target_);
    committed_ = true;
}

}  // namespace morvane
