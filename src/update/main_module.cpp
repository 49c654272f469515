#include "update/main_module.h"

#include <new>

#include "platform/text.h"

namespace morvane {
namespace {

const char* const kCrLf = "\r\n";

std::string settingsMessage(const std::string& settingsFileName) {
    return std::string("Für die Aktualisierung muss eine Server-Adresse angegeben werden.") +
           kCrLf + "Dies geschieht über eine Datei " + settingsFileName + " im selben Verzeichnis.";
}

std::string withoutExtension(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

MainModule::MainModule(Platform& platform)
    : platform_(platform),
      Settings(platform.files),
      Revision(platform.files),
      RevisionPath(platform.files, platform.clock),
      StartFile(platform.files, platform.clock) {}

void MainModule::Main() {
    const std::string exeFolder = platform_.process.executableFolder();
    AppFolder = exeFolder + "\\";
    TempFolder = AppFolder + "Temp\\";
    BackupFolder = AppFolder + "Backup\\";
    ProgramName = withoutExtension(platform_.process.executableName());
    SettingsPath = exeFolder + "\\" + ProgramName + ".ini";

    // From here on every failure no step handles ends in the report; the
    // report is armed once and the closing steps after it run unguarded.
    try {
        if (platform_.process.anotherInstanceRunning()) {
            return;
        }
        if (!Settings.Init(SettingsPath)) {
            PathClass settingsFile = NewPath();
            settingsFile.setFullPath(SettingsPath);
            platform_.ui.messageBox(settingsMessage(settingsFile.FullName()), box::Exclamation,
                                    "Fehler");
        } else {
            ServerUrl.setFullUrl(Settings.GetLine("Adresse"));
            const Outcome outcome = CheckRevision();
            const bool startFromDescription =
                outcome == Outcome::NoUpdate ||
                (outcome == Outcome::Update && InstallFiles() == Installation::Installed);
            if (startFromDescription) {
                StartFile.setFullPath(Revision.GetLine("Startdatei"));
            }
        }
        CloseRun();
        return;
    } catch (const Failure& failure) {
        ReportUnexpected(failure);
    } catch (const std::bad_alloc&) {
        ReportUnexpected(Failure::of(err::OutOfMemory));
    } catch (const std::exception& other) {
        ReportUnexpected(Failure(51, std::string("Interner Fehler: ") + other.what()));
    }
    try {
        CloseRun();
    } catch (...) {
        // A second failure in the closing steps ends the run quietly: the
        // user has seen the report already.
    }
}

void MainModule::CloseRun() {
    platform_.progress.close();
    ChooseAndStartApplication();
    platform_.ui.showArrowCursor();
}

void MainModule::ReportUnexpected(const Failure& failure) {
    platform_.ui.messageBox(std::string("Es ist ein unerwarteter Fehler aufgetreten:") + kCrLf +
                                failure.description() + " (" + decimal(failure.number()) + ")" +
                                kCrLf + "[Zeile AppMorvane.MainModule.Main]",
                            box::Critical, "Unbekannter Fehler");
}

void RunUpdater(Platform& platform) {
    MainModule run(platform);
    run.Main();
}

}  // namespace morvane
