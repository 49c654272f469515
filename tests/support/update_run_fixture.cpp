#include "support/update_run_fixture.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "base/crypto.h"

namespace morvane::test {
namespace {

// A path below the application folder in the temporary folder's terms
// (UTF-8, "/" separators).
std::string inApp(const std::string& relative) {
    std::string s = "App/" + relative;
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

}  // namespace

UpdateRunTest::UpdateRunTest() {
    process.folder = appFolder();
    std::filesystem::create_directories(root.native("App"));
    server = std::make_unique<ScriptedHttpServer>([this](const RecordedRequest& request) {
        std::lock_guard<std::mutex> lock(servedLock_);
        if (const auto scripted = answers_.find(request.target); scripted != answers_.end()) {
            return scripted->second;
        }
        const auto it = served_.find(request.target);
        if (it == served_.end()) {
            return replyWithLength(404, "<html><body>Not Found</body></html>");
        }
        const auto& [status, content] = it->second;
        ScriptedReply reply = replyWithLength(status, content);
        if (request.method == "HEAD") {
            reply.bytes.resize(reply.bytes.size() - content.size());
        }
        return reply;
    });
}

void UpdateRunTest::serve(const std::string& path, const std::string& content, int status) {
    std::lock_guard<std::mutex> lock(servedLock_);
    served_["/" + path] = {status, content};
}

int UpdateRunTest::requestsFor(const std::string& target) const {
    int count = 0;
    for (const auto& request : server->requests()) {
        count += request.target == target ? 1 : 0;
    }
    return count;
}

std::string UpdateRunTest::sha256Of(const std::string& data) {
    Sha256 hash;
    hash.update(data.data(), data.size());
    return toHex(hash.finish());
}

void UpdateRunTest::answer(const std::string& path, ScriptedReply reply) {
    std::lock_guard<std::mutex> lock(servedLock_);
    answers_["/" + path] = std::move(reply);
}

void UpdateRunTest::writeSettings(const std::string& startFile) {
    std::string settings = "[Adresse]\r\n" + server->url("/updates/revision.ini") + "\r\n";
    if (!startFile.empty()) {
        settings += "[Startdatei]\r\n" + startFile + "\r\n";
    }
    writeApp("Updater.ini", settings);
}

std::string UpdateRunTest::description(const std::string& version, const std::string& messageType,
                                       const std::string& fileBlocks, const std::string& startFile,
                                       const std::string& changes) {
    return "[Version]\r\n" + version + "\r\n[Titel]\r\nMorvane 2\r\n[Msg-Typ]\r\n" + messageType +
           "\r\n[Beschreibung]\r\n" + changes + fileBlocks + "[Startdatei]\r\n" + startFile +
           "\r\n";
}

int UpdateRunTest::run() {
    return Main(platform);
}

void UpdateRunTest::runOn(FileSystem& fileSystem) {
    Platform other{fileSystem, clock, ui, process, http, progress, spreadsheet};
    Main(other);
}

void UpdateRunTest::writeApp(const std::string& relative, const std::string& content) {
    std::filesystem::create_directories(root.native(inApp(relative)).parent_path());
    root.write(inApp(relative), content);
}

std::string UpdateRunTest::readApp(const std::string& relative) const {
    return root.read(inApp(relative));
}

bool UpdateRunTest::appHas(const std::string& relative) const {
    return std::filesystem::exists(root.native(inApp(relative)));
}

std::vector<std::string> UpdateRunTest::backups() const {
    std::vector<std::string> names;
    const std::filesystem::path backup = root.native("App") / "Backup";
    if (!std::filesystem::exists(backup)) {
        return names;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(backup)) {
        if (entry.is_regular_file()) {
            std::string name = entry.path().lexically_relative(backup).generic_string();
            std::replace(name.begin(), name.end(), '/', '\\');
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace morvane::test
