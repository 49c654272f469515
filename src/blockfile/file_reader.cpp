#include "blockfile/file_reader.h"

#include <algorithm>
#include <limits>

#include "base/failure.h"
#include "base/text.h"

namespace morvane {

bool FileReader::Init(const std::string& Path, std::int32_t LockMode, std::int32_t BufferSize) {
    CloseFile();
    if (LockMode < 0 || LockMode > 3 || BufferSize < 1 || BufferSize > 32767) {
        return false;
    }
    try {
        file_ = files_.openForReading(Path, static_cast<Sharing>(LockMode));
    } catch (...) {
        file_.reset();
        return false;
    }
    buffer_.assign(static_cast<std::size_t>(BufferSize), '\0');
    bufferUsed_ = 0;
    bufferPos_ = 0;
    utf8_ = false;
    return true;
}

void FileReader::CloseFile() noexcept {
    file_.reset();
    buffer_.clear();
    bufferUsed_ = 0;
    bufferPos_ = 0;
    utf8_ = false;
}

ReadableFile& FileReader::open() {
    if (!file_) {
        throw Failure::of(err::InvalidCall);
    }
    return *file_;
}

bool FileReader::fill() {
    ReadableFile& file = open();
    if (bufferPos_ < bufferUsed_) {
        return true;
    }
    bufferUsed_ = file.read(buffer_.data(), buffer_.size());
    bufferPos_ = 0;
    return bufferUsed_ > 0;
}

bool FileReader::EndOfFile() {
    return !fill();
}

std::int32_t FileReader::Size() {
    const std::int64_t size = open().size();
    if (size > std::numeric_limits<std::int32_t>::max()) {
        throw Failure::of(err::Overflow);
    }
    return static_cast<std::int32_t>(size);
}

void FileReader::SetPos(std::int32_t Pos) {
    ReadableFile& file = open();
    if (Pos < 1) {
        throw Failure::of(err::InvalidCall);
    }
    file.seek(Pos - 1);
    bufferUsed_ = 0;
    bufferPos_ = 0;
}

std::string FileReader::readRaw(std::int64_t count) {
    if (count < 0) {
        throw Failure::of(err::InvalidCall);
    }
    std::string bytes;
    while (static_cast<std::int64_t>(bytes.size()) < count) {
        if (!fill()) {
            throw Failure::of(err::ReadPastEnd);
        }
        const std::size_t wanted = static_cast<std::size_t>(count) - bytes.size();
        const std::size_t take = std::min(wanted, bufferUsed_ - bufferPos_);
        bytes.append(buffer_.data() + bufferPos_, take);
        bufferPos_ += take;
    }
    return bytes;
}

void FileReader::Skip(std::int32_t Count) {
    readRaw(Count);
}

bool FileReader::skipByteOrderMark() {
    const auto markSize = static_cast<std::int32_t>(kUtf8ByteOrderMark.size());
    if (open().size() < markSize) {
        return false;
    }
    if (readRaw(markSize) == kUtf8ByteOrderMark) {
        utf8_ = true;
        return true;
    }
    SetPos(1);
    return false;
}

std::string FileReader::decode(std::string_view bytes) const {
    return utf8_ ? utf8Text(bytes) : ansiToUtf8(bytes);
}

std::vector<std::uint8_t> FileReader::ReadBytes(std::int32_t NumberOfBytes) {
    const std::string bytes = readRaw(NumberOfBytes);
    return {bytes.begin(), bytes.end()};
}

std::string FileReader::ReadText(std::int32_t NumberOfCharacters) {
    return decode(readRaw(NumberOfCharacters));
}

std::string FileReader::ReadAll() {
    return decode(readRaw(Size()));
}

std::string FileReader::ReadLine() {
    if (!fill()) {
        throw Failure::of(err::ReadPastEnd);
    }
    std::string line;
    while (fill()) {
        const char* start = buffer_.data() + bufferPos_;
        const char* end = buffer_.data() + bufferUsed_;
        const char* cr = std::find(start, end, '\r');
        line.append(start, cr);
        bufferPos_ = static_cast<std::size_t>(cr - buffer_.data());
        if (cr != end) {
            ++bufferPos_;  // the CR
            if (fill() && buffer_[bufferPos_] == '\n') {
                ++bufferPos_;
            }
            break;
        }
    }
    return decode(line);
}

std::int32_t FileReader::CountLines() {
    std::int32_t count = 0;
    do {
        ReadLine();
        if (count == std::numeric_limits<std::int32_t>::max()) {
            throw Failure::of(err::Overflow);
        }
        ++count;
    } while (!EndOfFile());
    SetPos(1);
    return count;
}

}  // namespace morvane
