#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "platform/failure.h"
#include "platform/file_system.h"

namespace morvane::test {

// Files held in memory, for the readers: only opening for reading works.
class MemoryFiles : public FileSystem {
public:
    void put(const std::string& path, std::string content) { files_[path] = std::move(content); }

    std::unique_ptr<ReadableFile> openForReading(const std::string& path, int) override {
        const auto it = files_.find(path);
        if (it == files_.end()) {
            throw Failure::of(err::FileNotFound);
        }
        return std::make_unique<File>(it->second);
    }

    std::optional<std::uint32_t> attributes(const std::string&) override { return std::nullopt; }
    void createFolder(const std::string&) override { throw Failure::of(err::InvalidCall); }
    void deleteFile(const std::string&) override { throw Failure::of(err::InvalidCall); }
    void moveFile(const std::string&, const std::string&) override {
        throw Failure::of(err::InvalidCall);
    }
    void replaceFile(const std::string&, const std::string&) override {
        throw Failure::of(err::InvalidCall);
    }
    std::unique_ptr<WritableFile> createNew(const std::string&) override {
        throw Failure::of(err::InvalidCall);
    }
    std::unique_ptr<WritableFile> openForAppending(const std::string&) override {
        throw Failure::of(err::InvalidCall);
    }
    bool inUse(const std::string&) override { return false; }

private:
    class File : public ReadableFile {
    public:
        explicit File(std::string content) : content_(std::move(content)) {}
        std::size_t read(char* buffer, std::size_t count) override {
            const std::size_t n =
                pos_ < content_.size() ? std::min(count, content_.size() - pos_) : 0;
            std::copy_n(content_.data() + pos_, n, buffer);
            pos_ += n;
            return n;
        }
        std::int64_t size() override { return static_cast<std::int64_t>(content_.size()); }
        void seek(std::int64_t offset) override { pos_ = static_cast<std::size_t>(offset); }

    private:
        std::string content_;
        std::size_t pos_ = 0;
    };

    std::map<std::string, std::string> files_;
};

}  // namespace morvane::test
