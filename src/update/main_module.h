#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "blockfile/ini_reader.h"
#include "paths/path_class.h"
#include "paths/url_class.h"
#include "platform/crypto.h"
#include "platform/failure.h"
#include "platform/platform.h"

namespace morvane {

// One run of the updater: `Main` and its phases share the run state below.
// Start-up and the closing steps live in main_module.cpp; the revision check,
// the file installation and the application start in their own files.
class MainModule {
public:
    explicit MainModule(Platform& platform);

    // The whole run: settings, revision check, installation, application start.
    void Main();

    // Fetches `source` to `target`, creating the target's folders; a target
    // ending in "\" gets the source's file name. True when the file arrived
    // and, when `sha256` is not empty, has that SHA-256 (64 hex digits).
    bool DownloadFile(UrlClass& source, PathClass& target, const std::string& sha256 = "");
    // Moves a file, creating the target's folders; never overwrites. True
    // when moved; failures are dropped silently.
    bool RelocateFile(PathClass& source, PathClass& target);
    // Starts the spreadsheet program maximized on `file` without waiting.
    // A failing start passes up.
    void StartWithExcel(const std::string& file);

private:
    enum class Outcome { NoUpdate, Update };
    enum class Installation { Installed, Stopped };

    // Revision check and confirmation: the fresh description decides.
    Outcome CheckRevision();
    // Downloads every listed file, then moves them into place.
    Installation InstallFiles();
    Installation DownloadAll(std::int16_t lastBlock);
    Installation MoveAll(std::int16_t lastBlock);
    // Forgets the installed revision, so that the next run offers it again.
    void ForgetRevision();
    // Signed updates. The key from the "Signatur" block of the settings;
    // false, after its message, when the block holds no usable key.
    bool ReadPublisherKey();
    // True when the signature at the description's URL + ".sig" signs the
    // file `description`; otherwise false after the refusal message.
    bool IsSignedByPublisher(const PathClass& description);
    // The fresh description of a signed update, checked before it replaces
    // the local copy.
    Outcome FetchSignedRevision();
    // The "SHA256" of a file block ("" for none); nullopt when a key is
    // given and the block has none.
    std::optional<std::string> FileSha256(std::int16_t block) const;
    // Closing step 2: the start file, or the message that it is missing.
    void ChooseAndStartApplication();
    void CloseRun();
    void ReportUnexpected(const Failure& failure);

    PathClass NewPath() { return PathClass(platform_.files, platform_.clock); }
    std::string InstallMarkerPath() const;

    Platform& platform_;

    // Frame
    std::string ProgramName;  // the executable's file name without extension
    std::string AppFolder;
    std::string TempFolder;
    std::string BackupFolder;
    std::string SettingsPath;
    IniReader Settings;
    // Revision check
    IniReader Revision;
    UrlClass ServerUrl;
    PathClass RevisionPath;
    std::string OldVersion;
    std::string NewVersion;
    std::int32_t Answer = 0;
    std::optional<SignatureKey> PublisherKey;
    // File installation
    std::int16_t Downloaded = 0;
    // Application start
    PathClass StartFile;
};

// Builds the run over the host's adapters and runs it.
void RunUpdater(Platform& platform);

}  // namespace morvane
