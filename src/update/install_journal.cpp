#include "update/install_journal.h"

#include <string_view>
#include <utility>

#include "platform/failure.h"
#include "update/target_rules.h"

namespace morvane {
namespace {

constexpr std::string_view kFirstLine = "Morvane-Installation 1";
constexpr std::string_view kLineEnd = "\r\n";
constexpr char kSeparator = '\t';  // never part of a Windows file name
// A journal names each file of one description once: far below this.
constexpr std::int64_t kLargestJournal = std::int64_t{64} * 1024 * 1024;

std::optional<JournalEntry> parseEntry(std::string_view line) {
    const std::size_t tab = line.find(kSeparator);
    if (tab == std::string_view::npos || line.find(kSeparator, tab + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    JournalEntry entry{std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))};
    // What a journal names is only ever put back inside the folder.
    if (!namesFileBelowFolder(entry.target) || !namesFileBelowFolder(entry.backup)) {
        return std::nullopt;
    }
    return entry;
}

}  // namespace

InstallJournal::InstallJournal(FileSystem& files, std::string path)
    : files_(files), path_(std::move(path)) {}

void InstallJournal::begin() {
    file_ = files_.createNew(path_);
    append(std::string(kFirstLine));
}

void InstallJournal::record(const JournalEntry& entry) {
    append(entry.target + kSeparator + entry.backup);
    entries_.push_back(entry);
}

void InstallJournal::append(const std::string& line) {
    if (!file_) {
        throw Failure::of(err::InvalidCall);
    }
    const std::string whole = line + std::string(kLineEnd);
    file_->write(whole.data(), whole.size());
    file_->flush();
}

bool InstallJournal::remove() {
    try {
        if (file_) {
            file_->close();
            file_.reset();
        }
        files_.deleteFile(path_);
        return true;
    } catch (const Failure&) {
        file_.reset();
        return false;
    }
}

std::optional<JournalContents> readJournal(FileSystem& files, const std::string& path) {
    std::string text;
    try {
        std::unique_ptr<ReadableFile> file = files.openForReading(path, 0);
        const std::int64_t size = file->size();
        if (size < 0 || size > kLargestJournal) {
            return std::nullopt;
        }
        text.resize(static_cast<std::size_t>(size));
        text.resize(file->read(text.data(), text.size()));
    } catch (const Failure&) {
        return std::nullopt;
    }

    JournalContents contents;
    std::string_view rest = text;
    bool first = true;
    for (std::size_t end = rest.find(kLineEnd); end != std::string_view::npos;
         end = rest.find(kLineEnd)) {
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + kLineEnd.size());
        if (first) {
            if (line != kFirstLine) {
                return contents;
            }
            contents.complete = true;
            first = false;
        } else if (std::optional<JournalEntry> entry = parseEntry(line)) {
            contents.entries.push_back(std::move(*entry));
        }
    }
    return contents;
}

}  // namespace morvane
