#include "support/scripted_file_system.h"

#include <string_view>

#include "base/failure.h"

namespace morvane::test {
namespace {

class ScriptedWritableFile : public WritableFile {
public:
    ScriptedWritableFile(ScriptedFileSystem& files, std::unique_ptr<WritableFile> host,
                         std::string path)
        : files_(files), host_(std::move(host)), path_(std::move(path)) {}

    void write(const char* data, std::size_t count) override {
        files_.alive();
        files_.calls.push_back("write " + path_);
        if (files_.crashesAtNextChange()) {
            host_->write(data, count / 2);
        }
        files_.change();
        host_->write(data, count);
    }
    void flush() override {
        files_.alive();
        files_.calls.push_back("flush " + path_);
        host_->flush();
    }
    void close() override {
        files_.change();
        files_.calls.push_back("close " + path_);
        host_->close();
    }

private:
    ScriptedFileSystem& files_;
    std::unique_ptr<WritableFile> host_;
    std::string path_;
};

}  // namespace

void ScriptedFileSystem::alive() const {
    if (crashed) {
        throw SimulatedCrash{};
    }
}

void ScriptedFileSystem::change(const char* operation, const std::string& path) {
    alive();
    if (!countFrom.empty()) {
        if (std::string_view(operation) != "create" || !path.ends_with(countFrom)) {
            return;
        }
        countFrom.clear();
    }
    if ((crashAfter >= 0 && changes >= crashAfter) || (crashWhen && crashWhen(operation, path))) {
        crashed = true;
        throw SimulatedCrash{};
    }
    ++changes;
}

void ScriptedFileSystem::failScriptedMove(const std::string& from) {
    if (!failMovesFrom.empty() && failMovesTimes != 0 && from.ends_with(failMovesFrom)) {
        if (failMovesTimes > 0) {
            --failMovesTimes;
        }
        throw Failure::of(err::AccessDenied);
    }
}

std::optional<EntryKind> ScriptedFileSystem::entryKind(const std::string& path) {
    alive();
    return host_.entryKind(path);
}

void ScriptedFileSystem::createFolder(const std::string& path) {
    // A folder more or less changes nothing a run depends on; its creation
    // is no step of its own.
    alive();
    host_.createFolder(path);
}

void ScriptedFileSystem::deleteFile(const std::string& path) {
    change("delete", path);
    calls.push_back("delete " + path);
    host_.deleteFile(path);
}

void ScriptedFileSystem::moveFile(const std::string& from, const std::string& to) {
    change("move", from);
    calls.push_back("move " + from + " > " + to);
    failScriptedMove(from);
    host_.moveFile(from, to);
}

void ScriptedFileSystem::replaceFile(const std::string& from, const std::string& to) {
    change("replace", from);
    calls.push_back("replace " + from + " > " + to);
    failScriptedMove(from);
    host_.replaceFile(from, to);
}

void ScriptedFileSystem::syncFolder(const std::string& path) {
    alive();
    calls.push_back("sync " + path);
    host_.syncFolder(path);
}

std::unique_ptr<ReadableFile> ScriptedFileSystem::openForReading(const std::string& path,
                                                                 Sharing othersMay) {
    alive();
    return host_.openForReading(path, othersMay);
}

std::unique_ptr<WritableFile> ScriptedFileSystem::createNew(const std::string& path) {
    change("create", path);
    calls.push_back("create " + path);
    return std::make_unique<ScriptedWritableFile>(*this, host_.createNew(path), path);
}

std::unique_ptr<WritableFile> ScriptedFileSystem::createNewFlushedLater(const std::string& path) {
    change("create", path);
    calls.push_back("create " + path);
    return std::make_unique<ScriptedWritableFile>(*this, host_.createNewFlushedLater(path), path);
}

void ScriptedFileSystem::flushFiles(const std::vector<std::string>& paths) {
    alive();
    for (const std::string& path : paths) {
        calls.push_back("flush " + path);
    }
    host_.flushFiles(paths);
}

bool ScriptedFileSystem::inUse(const std::string& path) {
    alive();
    return inUseAnswer ? inUseAnswer(path) : host_.inUse(path);
}

std::unique_ptr<WritableFile> ScriptedFileSystem::openForAppending(const std::string& path) {
    alive();
    return host_.openForAppending(path);
}

}  // namespace morvane::test
