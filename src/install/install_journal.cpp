#include "install/install_journal.h"

#include <memory>
#include <string_view>
#include <utility>

#include "base/failure.h"

namespace morvane {
namespace {

// The first line of a journal that announces one file at a time, as earlier
// versions wrote it; still read.
constexpr std::string_view kStepwiseLine = "Morvane-Installation 1";
// The first and last line of a plan.
constexpr std::string_view kPlanLine = "Morvane-Installation 2";
constexpr std::string_view kPlanEnd = "End of plan";
constexpr std::string_view kLineEnd = "\r\n";
constexpr char kSeparator = '\t';  // never part of a Windows file name
// A journal names each file of one description once: far below this.
constexpr std::int64_t kLargestJournal = std::int64_t{64} * 1024 * 1024;

std::optional<JournalEntry> parseEntry(std::string_view line) {
    const std::size_t tab = line.find(kSeparator);
    if (tab == std::string_view::npos || line.find(kSeparator, tab + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    return JournalEntry{std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))};
}

// The time stamp of a backup name; "9" stands for any decimal digit.
constexpr std::string_view kStampForm = "_9999-99-99_99.99.99";
// Counters run from 2 up to the number of variants tried (at most 1000).
constexpr std::size_t kLongestCounter = 4;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool hasStampForm(std::string_view text) {
    for (std::size_t i = 0; i < kStampForm.size(); ++i) {
        if (kStampForm[i] == '9' ? !isDigit(text[i]) : text[i] != kStampForm[i]) {
            return false;
        }
    }
    return true;
}

bool isCounter(std::string_view text) {
    if (text.size() < 2 || text.size() > 1 + kLongestCounter || text[0] != '_' || text[1] == '0' ||
        text == "_1") {
        return false;
    }
    for (const char c : text.substr(1)) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

InstallJournal::InstallJournal(FileSystem& files, std::string path)
    : files_(files), path_(std::move(path)) {}

void InstallJournal::write(std::vector<JournalEntry> moves) {
    std::string text = std::string(kPlanLine) + std::string(kLineEnd);
    for (const JournalEntry& move : moves) {
        text += move.target + kSeparator + move.backup + std::string(kLineEnd);
    }
    text += std::string(kPlanEnd) + std::string(kLineEnd);
    const std::unique_ptr<WritableFile> file = files_.createNew(path_);
    file->write(text.data(), text.size());
    file->flush();
    file->close();
    entries_ = std::move(moves);
}

bool InstallJournal::remove() {
    try {
        files_.deleteFile(path_);
        return true;
    } catch (const Failure&) {
        return false;
    }
}

std::optional<JournalContents> readJournal(FileSystem& files, const std::string& path) {
    std::string text;
    try {
        std::unique_ptr<ReadableFile> file = files.openForReading(path, Sharing::ReadWrite);
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
    std::optional<std::string_view> form;
    bool ended = false;
    for (std::size_t end = rest.find(kLineEnd); end != std::string_view::npos && !ended;
         end = rest.find(kLineEnd)) {
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + kLineEnd.size());
        if (!form) {
            if (line != kStepwiseLine && line != kPlanLine) {
                return contents;
            }
            form = line;
        } else if (form == kPlanLine && line == kPlanEnd) {
            ended = true;
        } else if (std::optional<JournalEntry> entry = parseEntry(line)) {
            contents.entries.push_back(std::move(*entry));
        }
    }
    contents.complete = form == kStepwiseLine || ended;
    if (!contents.complete) {
        contents.entries.clear();
    }
    return contents;
}

bool isDatedBackupName(std::string_view target, std::string_view backup) {
    // Split as the path value splits: the file name follows the last "\",
    // its extension the last "." of the file name.
    const std::size_t nameStart = target.rfind('\\') + 1;  // 0 without a "\"
    const std::size_t dot = target.rfind('.');
    const std::size_t split =
        dot != std::string_view::npos && dot >= nameStart ? dot : target.size();
    const std::string_view head = target.substr(0, split);
    const std::string_view tail = target.substr(split);
    if (backup.size() < head.size() + kStampForm.size() + tail.size() ||
        !backup.starts_with(head) || !backup.ends_with(tail)) {
        return false;
    }
    const std::string_view dated =
        backup.substr(head.size(), backup.size() - head.size() - tail.size());
    const std::string_view counter = dated.substr(kStampForm.size());
    return hasStampForm(dated) && (counter.empty() || isCounter(counter));
}

}  // namespace morvane
