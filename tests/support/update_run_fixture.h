#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "fakes/fake_clock.h"
#include "fakes/fake_process.h"
#include "fakes/fake_progress_view.h"
#include "fakes/fake_spreadsheet.h"
#include "fakes/fake_user_interface.h"
#include "support/host_adapters.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"
#include "update/run_end.h"
#include "update/update_run.h"

namespace morvane::test {

// A whole update run over real files and a real loopback server; only the
// user interface, the progress window, the process and the spreadsheet
// program are doubles. The application lives in <temp>\App.
class UpdateRunTest : public ::testing::Test {
protected:
    UpdateRunTest();

    // Serves `content` at "/<path>"; a status other than 200 serves it as an
    // error page with that status.
    void serve(const std::string& path, const std::string& content, int status = 200);
    // Answers every request for "/<path>" with `reply`, whatever is served there.
    void answer(const std::string& path, ScriptedReply reply);
    // The settings file Updater.ini with "Adresse" pointing at /updates/revision.ini.
    void writeSettings(const std::string& startFile = "");
    // A revision description with the four leading blocks, the given file
    // blocks (already in block syntax) and a last "Startdatei" block.
    static std::string description(const std::string& version, const std::string& messageType,
                                   const std::string& fileBlocks, const std::string& startFile = "",
                                   const std::string& changes = "Neue Funktionen\r\n");
    void publish(const std::string& revision) { serve("updates/revision.ini", revision); }
    // How often the server was asked for `target` ("/updates/...").
    int requestsFor(const std::string& target) const;
    // The SHA-256 of `data` as a file block writes it.
    static std::string sha256Of(const std::string& data);

    // One run; returns its exit status.
    int run();
    // One run over another file system (the same folders).
    void runOn(FileSystem& fileSystem);

    // Files of the application folder, by path below it ("\" separators).
    void writeApp(const std::string& relative, const std::string& content);
    std::string readApp(const std::string& relative) const;
    bool appHas(const std::string& relative) const;
    // Names in the application's Backup folder (with subfolders, "\" separated).
    std::vector<std::string> backups() const;

    std::string appFolder() const { return root.file("App"); }

    TempFolder root;
    HostFileSystem files;
    FakeClock clock;
    FakeUserInterface ui;
    FakeProcess process;
    HostHttp http;
    FakeProgressView progress;
    FakeSpreadsheet spreadsheet;
    Platform platform{files, clock, ui, process, http, progress, spreadsheet};

private:
    std::mutex servedLock_;
    std::map<std::string, std::pair<int, std::string>> served_;
    std::map<std::string, ScriptedReply> answers_;

protected:
    std::unique_ptr<ScriptedHttpServer> server;
};

}  // namespace morvane::test
