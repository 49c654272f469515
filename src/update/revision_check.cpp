#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "base/scope_guard.h"
#include "base/text.h"
#include "download/download_module.h"
#include "release/release_rules.h"
#include "update/main_module.h"

namespace morvane {
namespace {

const char* const kCrLf = "\r\n";

// Notes longer than this many characters are cut: no box shows more, and a
// description must not make one that takes ages to draw.
constexpr std::size_t kLongestNotes = std::size_t{64} * 1024;

// The notes as the box shows them: cut after kLongestNotes characters,
// with "…" where they were cut.
std::string shownNotes(std::string notes) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(notes[i]) & 0xC0) != 0x80;
        if (startsCharacter && ++characters > kLongestNotes) {
            // A line end is never cut in two.
            notes.resize(notes[i - 1] == '\r' ? i - 1 : i);
            return notes + "…" + kCrLf;
        }
    }
    return notes;
}

std::string informText(const std::string& description) {
    return std::string("Es wurde eine neue Version mit folgenden Änderungen gefunden:") + kCrLf +
           kCrLf + description + kCrLf + "Es wird nun eine Aktualisierung durchgeführt.";
}

std::string askText(const std::string& description) {
    return std::string("Es wurde eine neue Version mit folgenden Änderungen gefunden ") +
           "(eine Aktualisierung wird dringend empfohlen):" + kCrLf + kCrLf + description + kCrLf +
           "Möchten Sie fortfahren und die Anwendung aktualisieren?";
}

// The box's reply as a confirmation; a reply that is none of Ok, Yes and No
// confirms without the progress window.
Confirmation confirmationOf(box::Answer reply) {
    switch (reply) {
        case box::Ok:
            return Confirmation::Ok;
        case box::Yes:
            return Confirmation::Yes;
        case box::No:
            return Confirmation::No;
        case box::Cancel:
        case box::Retry:
            break;
    }
    return Confirmation::None;
}

}  // namespace

bool MainModule::DownloadFile(UrlClass& source, PathClass& target, const std::string& sha256,
                              const DownloadLimits& limits) {
    target.CreateFolder();
    if (target.isFolder()) {
        target.setFullName(source.FullName());
    }
    // The download replaces an old target only once the new file is complete,
    // so the old one is not deleted beforehand: a failed fetch keeps it.
    platform_.ui.showWaitCursor();
    const ScopeGuard arrowCursor([this] { platform_.ui.showArrowCursor(); });
    return Download(source.FullUrl(), target.FullPath(), platform_.http, platform_.files,
                    platform_.ui, sha256, limits)
        .arrived();
}

DownloadLimits MainModule::revisionCheckLimits(std::int64_t largest, Deadline deadline) {
    DownloadLimits limits;
    limits.largest = largest;
    limits.deadline = deadline;
    return limits;
}

bool MainModule::hasPassed(Deadline deadline) {
    return std::chrono::steady_clock::now() >= deadline;
}

CheckOutcome MainModule::checkRevision(RunContext& run) {
    if (!recoverInterruptedInstallation(run)) {
        return RunOutcome{status::MoveFailed, ""};
    }

    // The record names the installed version, and the start file as long as
    // no fresh description takes its place.
    const std::optional<Release> record = readReleaseFile(run.RevisionPath.FullPath());
    const std::string OldVersion = record ? record->version : "";
    const std::string recordStartFile = record ? record->startFile : "";
    if (!readPublisherKey(run)) {
        log("The key in the settings' Signatur block cannot be read");
        return RunOutcome{status::NoSettings, recordStartFile};
    }
    // The local copy is the record of what is installed, so the fresh
    // description goes beside it and replaces it only once nothing is to be
    // installed from it, or once everything is.
    PathClass fresh = newPath();
    fresh.setFullPath(freshRevisionPath(run));
    // A server that sends slowly or without end cannot keep the workbook
    // from opening: the check has a size limit per file and a time limit.
    const Deadline deadline = std::chrono::steady_clock::now() + revisionCheckTime_;
    if (!DownloadFile(run.ServerUrl, fresh, "",
                      revisionCheckLimits(kLargestDescription, deadline))) {
        log("The description could not be fetched to " + fresh.FullPath() +
            (hasPassed(deadline) ? ": the revision check ran out of time" : ""));
        return RunOutcome{status::NoDescription, recordStartFile};
    }
    // With a key, a description is not even read before its signature holds.
    if (run.publisherKey && !isSignedByPublisher(run, fresh, deadline)) {
        log(hasPassed(deadline)
                ? "The signature could not be fetched: the revision check ran out of time"
                : "The description is not validly signed: " + run.ServerUrl.FullUrl());
        fresh.Delete();
        return RunOutcome{status::NoDescription, recordStartFile};
    }
    std::optional<Release> read;
    try {
        read = readReleaseFile(fresh.FullPath());
    } catch (...) {
        fresh.Delete();
        throw;
    }
    if (!read) {
        log("The description could not be read from " + fresh.FullPath());
        fresh.Delete();
        return RunOutcome{status::NoDescription, ""};
    }
    Release Revision = std::move(*read);
    const std::string NewVersion = Revision.version;
    if (!isNewerVersion(NewVersion, OldVersion)) {
        log("Versions compared: server \"" + NewVersion + "\", installed \"" + OldVersion +
            "\": no newer version");
        if (run.publisherKey) {
            // An old signed description, replayed, must not lower the record
            // (a later "newer" one could then bring back old files): the
            // record stays and names the start file.
            fresh.Delete();
            return RunOutcome{status::Done, recordStartFile};
        }
        platform_.files.replaceFile(fresh.FullPath(), run.RevisionPath.FullPath());
        return RunOutcome{status::Done, Revision.startFile};
    }
    // A release the updater could not install whole (a file block outside
    // the positions it reads, two Ziele in each other's way) or whose
    // workbook could never be started is refused: the installed one stays.
    if (!isWholeRelease(Revision)) {
        log("The description of version \"" + NewVersion +
            "\" is no whole release: nothing is installed");
        fresh.Delete();
        return RunOutcome{status::NoDescription, recordStartFile};
    }
    log("Versions compared: server \"" + NewVersion + "\", installed \"" + OldVersion +
        "\": newer, Msg-Typ \"" + Revision.messageType + "\"");

    Confirmation Answer = Confirmation::None;
    switch (noticeOf(Revision.messageType)) {
        case Notice::Silent:
            break;
        case Notice::Inform:
            Answer = confirmationOf(platform_.ui.messageBox(informText(shownNotes(Revision.notes)),
                                                            box::Information, Revision.title));
            break;
        case Notice::Ask:
            Answer = confirmationOf(platform_.ui.messageBox(askText(shownNotes(Revision.notes)),
                                                            box::YesNoInformation, Revision.title));
            break;
    }

    if (Answer == Confirmation::No) {
        log("Update declined");
        fresh.Delete();
        return RunOutcome{status::Declined, ""};
    }
    // The progress window follows the news the user was shown.
    const ProgressWindow window = Answer == Confirmation::Yes || Answer == Confirmation::Ok
                                      ? ProgressWindow::Shown
                                      : ProgressWindow::Hidden;
    return Update{std::move(Revision), window};
}

}  // namespace morvane
