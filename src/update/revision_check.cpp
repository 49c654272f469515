#include "download/download_module.h"
#include "platform/scope_guard.h"
#include "platform/text.h"
#include "update/main_module.h"
#include "update/revision_rules.h"

namespace morvane {
namespace {

const char* const kCrLf = "\r\n";

std::string informText(const std::string& description) {
    return std::string("Es wurde eine neue Version mit folgenden Änderungen gefunden:") + kCrLf +
           kCrLf + description + kCrLf + "Es wird nun eine Aktualisierung durchgeführt.";
}

std::string askText(const std::string& description) {
    return std::string("Es wurde eine neue Version mit folgenden Änderungen gefunden ") +
           "(eine Aktualisierung wird dringend empfohlen):" + kCrLf + kCrLf + description + kCrLf +
           "Möchten Sie fortfahren und die Anwendung aktualisieren?";
}

}  // namespace

bool MainModule::DownloadFile(UrlClass& source, PathClass& target, const std::string& sha256) {
    target.CreateFolder();
    if (target.isFolder()) {
        target.setFullName(source.FullName());
    }
    // The download replaces an old target only once the new file is complete,
    // so the old one is not deleted beforehand: a failed fetch keeps it.
    platform_.ui.showWaitCursor();
    const ScopeGuard arrowCursor([this] { platform_.ui.showArrowCursor(); });
    return Download(source.FullUrl(), target.FullPath(), platform_.http, platform_.files,
                    platform_.ui, sha256);
}

MainModule::CheckOutcome MainModule::checkRevision() {
    RevisionPath.setFullPath(TempFolder + ServerUrl.FullName());
    if (!recoverInterruptedInstallation()) {
        exitStatus_ = status::MoveFailed;
        return CheckOutcome::Stopped;
    }

    const std::optional<RevisionDescription> record =
        readRevision(platform_.files, RevisionPath.FullPath());
    if (record) {
        Revision = *record;
        OldVersion = Revision.version;
    }
    if (!readPublisherKey()) {
        exitStatus_ = status::NoSettings;
        log("The key in the settings' Signatur block cannot be read");
        return CheckOutcome::NoUpdate;
    }
    // The local copy is the record of what is installed, so the fresh
    // description goes beside it and replaces it only once nothing is to be
    // installed from it, or once everything is.
    PathClass fresh = newPath();
    fresh.setFullPath(freshRevisionPath());
    if (!DownloadFile(ServerUrl, fresh)) {
        exitStatus_ = status::NoDescription;
        log("The description could not be fetched to " + fresh.FullPath());
        return CheckOutcome::NoUpdate;
    }
    // With a key, a description is not even read before its signature holds.
    if (publisherKey_ && !isSignedByPublisher(fresh)) {
        exitStatus_ = status::NoDescription;
        log("The description is not validly signed: " + ServerUrl.FullUrl());
        fresh.Delete();
        return CheckOutcome::NoUpdate;
    }
    std::optional<RevisionDescription> read;
    try {
        read = readRevision(platform_.files, fresh.FullPath());
    } catch (...) {
        fresh.Delete();
        throw;
    }
    if (!read) {
        exitStatus_ = status::NoDescription;
        log("The description could not be read from " + fresh.FullPath());
        fresh.Delete();
        Revision = RevisionDescription{};
        return CheckOutcome::NoUpdate;
    }
    Revision = std::move(*read);
    NewVersion = Revision.version;
    if (!isNewerVersion(NewVersion, OldVersion)) {
        log("Versions compared: server \"" + NewVersion + "\", installed \"" + OldVersion +
            "\": no newer version");
        if (publisherKey_) {
            // An old signed description, replayed, must not lower the record
            // (a later "newer" one could then bring back old files): the
            // record stays and names the start file.
            fresh.Delete();
            Revision = record.value_or(RevisionDescription{});
            return CheckOutcome::NoUpdate;
        }
        platform_.files.replaceFile(fresh.FullPath(), RevisionPath.FullPath());
        return CheckOutcome::NoUpdate;
    }
    // A release the updater could not install whole (a file block outside
    // the positions it reads, two Ziele in each other's way) or whose
    // workbook could never be started is refused: the installed one stays.
    if (!isWholeRelease(Revision)) {
        exitStatus_ = status::NoDescription;
        log("The description of version \"" + NewVersion +
            "\" is no whole release: nothing is installed");
        fresh.Delete();
        Revision = record.value_or(RevisionDescription{});
        return CheckOutcome::NoUpdate;
    }
    log("Versions compared: server \"" + NewVersion + "\", installed \"" + OldVersion +
        "\": newer, Msg-Typ \"" + Revision.messageType + "\"");

    switch (noticeOf(Revision.messageType)) {
        case Notice::Silent:
            break;
        case Notice::Inform:
            Answer = platform_.ui.messageBox(informText(Revision.notes), box::Information,
                                             Revision.title);
            break;
        case Notice::Ask:
            Answer = platform_.ui.messageBox(askText(Revision.notes), box::YesNoInformation,
                                             Revision.title);
            break;
    }

    if (Answer == box::No) {
        exitStatus_ = status::Declined;
        log("Update declined");
        fresh.Delete();
        Revision = RevisionDescription{};
        return CheckOutcome::NoUpdate;
    }
    // The progress window follows the news the user was shown.
    return Answer == box::Yes || Answer == box::Ok ? CheckOutcome::UpdateWithProgress
                                                   : CheckOutcome::Update;
}

}  // namespace morvane
