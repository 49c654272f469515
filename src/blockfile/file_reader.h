#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace morvane {

// One text file opened for reading through a buffer: lines, characters,
// bytes or all of it. Bytes are characters of the ANSI code page, or UTF-8
// after skipByteOrderMark found the mark; text comes back as UTF-8.
// Positions count bytes from 1.
class FileReader {
public:
    explicit FileReader(FileSystem& files) : files_(files) {}
    ~FileReader() { CloseFile(); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens an existing file with lock mode 0..3 (what other processes may do
    // meanwhile: 0 read and write, 1 write, 2 read, 3 nothing) and a buffer of
    // 1..32767 bytes. False on any failure, never throws. A file still open
    // is closed first.
    bool Init(const std::string& Path, std::int32_t LockMode = 2, std::int32_t BufferSize = 1024);

    // The members below need an open file and throw Failure otherwise
    // (5), when fewer characters remain than requested (62), or when the
    // file system fails.
    bool EndOfFile();
    std::int32_t Size();
    void SetPos(std::int32_t Pos);
    // Closes the file; harmless when none is open.
    void CloseFile() noexcept;
    void Skip(std::int32_t Count);
    // At the start of the file: when it begins with the UTF-8 byte order
    // mark, skips the mark and reads the text as UTF-8 from then on; the
    // position stays at the start otherwise. True when the mark was there.
    bool skipByteOrderMark();
    std::vector<std::uint8_t> ReadBytes(std::int32_t NumberOfBytes = 1);
    std::string ReadText(std::int32_t NumberOfCharacters = 1);
    // One line without its end. CR LF and a lone CR end a line; a lone LF
    // does not and stays in the text.
    std::string ReadLine();
    // As many characters as Size gives, from the current position.
    std::string ReadAll();
    // Lines from the current position to the end; afterwards the position
    // is the first byte of the file.
    std::int32_t CountLines();

private:
    ReadableFile& open();
    // Ensures an unread byte is buffered; false at the end of the file.
    bool fill();
    // Exactly `count` raw bytes, or failure 62.
    std::string readRaw(std::int64_t count);
    std::string decode(std::string_view bytes) const;

    FileSystem& files_;
    std::unique_ptr<ReadableFile> file_;
    std::vector<char> buffer_;
    std::size_t bufferUsed_ = 0;  // bytes of the buffer holding file data
    std::size_t bufferPos_ = 0;   // next unread byte in the buffer
    bool utf8_ = false;           // the text is UTF-8 rather than ANSI
};

}  // namespace morvane
