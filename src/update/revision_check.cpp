#include "update/revision_check.h"

#include <optional>
#include <utility>

#include "base/text.h"
#include "download/answer_description.h"
#include "download/download_file.h"
#include "install/durable_file.h"
#include "release/limits.h"
#include "release/release_rules.h"
#include "release/stage_rule.h"
#include "update/signature_check.h"

namespace morvane {
namespace {

using Deadline = std::chrono::steady_clock::time_point;

bool hasPassed(Deadline deadline) {
    return std::chrono::steady_clock::now() >= deadline;
}

// A description as it arrived: its bytes and its Content-Type.
struct FetchedDescription {
    std::string bytes;
    std::string contentType;
};

// The description's bytes, fetched to `fresh` and read from there once:
// every later step uses these bytes, never the file, which others may write
// to meanwhile. Nullopt after its log line when it could not be fetched.
std::optional<FetchedDescription> fetchDescription(const RunContext& run, Deadline deadline,
                                                   Platform& platform, RunLog& log) {
    PathClass fresh(platform.files, platform.clock);
    fresh.setFullPath(run.mode == RunMode::Prefetch ? run.installFolders().prefetchDescription()
                                                    : run.RevisionPath.FullPath() + ".new");
    // A server that sends slowly or without end cannot keep the workbook
    // from opening: the check has a size limit per file and a time limit.
    DownloadLimits limits;
    limits.largest = kLargestDescription;
    limits.deadline = deadline;
    UrlClass source = run.ServerUrl;
    std::string contentType;
    if (!DownloadFile(source, fresh, platform.http, platform.files, platform.ui, "", limits,
                      &contentType)) {
        log.note("The description could not be fetched to " + fresh.FullPath() +
                 (hasPassed(deadline) ? ": the revision check ran out of time" : ""));
        return std::nullopt;
    }
    std::optional<std::string> bytes =
        readWhole(platform.files, fresh.FullPath(), kLargestDescription);
    fresh.Delete();
    if (!bytes) {
        log.note("The description could not be read from " + fresh.FullPath());
        return std::nullopt;
    }
    return FetchedDescription{std::move(*bytes), std::move(contentType)};
}

}  // namespace

CheckResult checkRevision(const RunContext& run, const std::string& OldVersion,
                          std::chrono::milliseconds time, Platform& platform, RunLog& log) {
    Messages messages(platform.ui);
    const Deadline deadline = std::chrono::steady_clock::now() + time;
    std::optional<FetchedDescription> fetched = fetchDescription(run, deadline, platform, log);
    if (!fetched) {
        return Refused{RunEnd::NotFetched};
    }
    std::string* bytes = &fetched->bytes;
    // With a key, a description is not even read before its signature holds.
    if (run.publisherKey && !isSignedByPublisher(run, *bytes, deadline, platform, messages)) {
        log.note(hasPassed(deadline)
                     ? "The signature could not be fetched: the revision check ran out of time"
                     : "The description is not validly signed: " + run.ServerUrl.FullUrl());
        return Refused{hasPassed(deadline) ? RunEnd::NotFetched : RunEnd::NotSigned};
    }
    if (run.publisherKey) {
        log.note("The signature of the description was verified: key " + run.keyFingerprint);
    }
    Release release = parseRelease(*bytes);
    if (!isDescription(release)) {
        // The record stays as it was: the real server, once back, offers
        // nothing the PC has already.
        log.note("The answer is not a revision description: " +
                 describeAnswer(fetched->contentType, *bytes));
        return Refused{RunEnd::NotFetched};
    }
    const std::string NewVersion = release.version;
    if (!isNewerVersion(NewVersion, OldVersion)) {
        log.note("Versions compared: server \"" + NewVersion + "\", installed \"" + OldVersion +
                 "\": no newer version");
        if (!run.publisherKey && run.mode == RunMode::Normal) {
            writeDurably(platform.files, run.RevisionPath.FullPath(), *bytes);
        }
        return NothingNewer{};
    }
    // A release the updater could not install whole (a file block outside
    // the positions it reads, two Ziele in each other's way) or whose
    // workbook could never be started is refused: the installed one stays.
    if (!isWholeRelease(release)) {
        log.note("The description of version \"" + NewVersion +
                 "\" is no whole release: nothing is installed");
        return Refused{RunEnd::NotARelease};
    }
    log.note("Versions compared: server \"" + NewVersion + "\", installed \"" + OldVersion +
             "\": newer, Msg-Typ \"" + release.messageType + "\"");
    if (release.shareUnreadable) {
        log.note("\"Anteil\" of version " + NewVersion +
                 " is no whole number from 1 to 100: taken as 100 %");
    }
    if (!isOfferedTo(release.stage, run.computerName, NewVersion)) {
        log.note("version " + NewVersion + " not yet offered to this PC: Anteil " +
                 decimal(release.stage.share) + " %");
        return Refused{RunEnd::NotYetOffered};
    }
    // A prefetch asks nobody: the user decides when the release is installed.
    if (run.mode == RunMode::Prefetch) {
        return Offer{std::move(*bytes), std::move(release), ProgressWindow::Hidden};
    }
    Confirmation Answer = Confirmation::None;
    switch (noticeOf(release.messageType)) {
        case Notice::Silent:
            break;
        case Notice::Inform:
            Answer = messages.informOfUpdate(release.title, release.notes);
            break;
        case Notice::Ask:
            Answer = messages.askForUpdate(release.title, release.notes);
            break;
    }
    if (Answer == Confirmation::No) {
        log.note("Update declined");
        return Refused{RunEnd::Declined};
    }
    // The progress window follows the news the user was shown.
    const ProgressWindow window = Answer == Confirmation::Yes || Answer == Confirmation::Ok
                                      ? ProgressWindow::Shown
                                      : ProgressWindow::Hidden;
    return Offer{std::move(*bytes), std::move(release), window};
}

}  // namespace morvane
