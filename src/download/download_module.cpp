#include "download/download_module.h"

#include <cstdint>
#include <new>

#include "base/failure.h"
#include "base/text.h"
#include "download/file_sink.h"
#include "release/url_encoding.h"

namespace morvane {

namespace {

constexpr std::size_t kSchemeLength = 7;  // "HTTP://"

bool isHttpScheme(const std::string& url) {
    // A character outside ASCII never matches, so comparing the first seven
    // bytes, upper-cased as ASCII, decides as the first seven characters would.
    static constexpr char kScheme[] = "HTTP://";
    if (url.size() < kSchemeLength) {
        return false;
    }
    for (std::size_t i = 0; i < kSchemeLength; ++i) {
        char c = url[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != kScheme[i]) {
            return false;
        }
    }
    return true;
}

void reportUnexpected(UserInterface& ui, const std::string& path, const Failure& failure) {
    ui.messageBox("Es ist ein Fehler beim Herunterladen von " + path + " aufgetreten:" + "\r\n" +
                      failure.description() + " (" + decimal(failure.number()) + ")" + "\r\n" +
                      "[Zeile " + "AppMorvane.DownloadModule.Download" + "]",
                  box::Critical, "Unbekannter Fehler");
}

// What a virus scanner that quarantines a fresh file leaves the rename into
// place: "the file contains a virus" (225), "... and was deleted" (226), or
// no file at all.
bool isTakenByAScanner(const Failure& failure) {
    constexpr int kVirusInfected = 225;
    constexpr int kVirusDeleted = 226;
    constexpr int kWindowsFileNotFound = 2;
    switch (failure.origin()) {
        case FailureOrigin::Windows:
            return failure.number() == kVirusInfected || failure.number() == kVirusDeleted ||
                   failure.number() == kWindowsFileNotFound;
        case FailureOrigin::Catalogue:
            return failure.number() == err::FileNotFound;
        default:
            return false;
    }
}

// The size probe. Its failures only leave the size unannounced.
std::int64_t announcedSize(HttpSession& session, const std::string& host,
                           const std::string& objectPath) {
    try {
        return session.probeContentLength(host, objectPath).length;
    } catch (const Failure&) {
        return 0;
    }
}

// A GET that did not bring the whole body, as the download's outcome.
DownloadResult::Kind unfinished(const GetResult& result) {
    switch (result.kind) {
        case GetResult::Kind::NotOpened:
            return DownloadResult::Kind::NotReached;
        case GetResult::Kind::Stalled:
            return DownloadResult::Kind::Stalled;
        case GetResult::Kind::UnknownCoding:
            return DownloadResult::Kind::UnknownCoding;
        default:
            return DownloadResult::Kind::Incomplete;
    }
}

}  // namespace

DownloadResult Download(const std::string& url, const std::string& path, Http& http,
                        FileSystem& files, UserInterface& ui, std::string_view expectedSha256,
                        const DownloadLimits& limits, FileFlush flush) {
    using Kind = DownloadResult::Kind;
    std::optional<Sha256Digest> expected;
    if (!expectedSha256.empty()) {
        expected = parseSha256(expectedSha256);
        if (!expected) {
            return {Kind::UnusableDigest};
        }
    }
    if (!isHttpScheme(url)) {
        ui.messageBox("Only HTTP-service supported!", box::Plain, "");
        return {Kind::NotHttp};
    }
    const std::size_t slash = url.find('/', kSchemeLength);
    if (slash == std::string::npos || slash + 1 >= url.size()) {
        ui.messageBox("Invalid Url!", box::Plain, "");
        return {Kind::NoObjectPath};
    }
    const std::string sent = percentEncoded(url);
    const std::size_t sentSlash = sent.find('/', kSchemeLength);
    const std::string host = sent.substr(kSchemeLength, sentSlash - kSchemeLength);
    const std::string objectPath = sent.substr(sentSlash);

    std::unique_ptr<HttpSession> session = http.openSession();
    if (!session) {
        ui.messageBox("Can't connect to server!", box::Plain, "");
        return {Kind::NoSession};
    }
    if (limits.deadline) {
        session->probeUntil(*limits.deadline);
    }
    const std::int64_t sizeHint = announcedSize(*session, host, objectPath);
    FileSink sink(files, path, sizeHint, [&ui] { ui.processPendingMessages(); });
    try {
        if (expected) {
            sink.expectSha256(*expected);
        }
        if (limits.largest) {
            sink.limitSize(*limits.largest);
        }
        if (limits.size) {
            sink.expectSize(*limits.size);
        }
        if (limits.deadline) {
            sink.endBy(*limits.deadline);
        }
        if (flush == FileFlush::ByCaller) {
            sink.flushLater();
        }
        if (const GetResult result = session->get(sent, sink); !result.isComplete()) {
            return {unfinished(result)};
        }
        // The HTTP layer has finished the sink already where it tells the
        // end of the body.
        sink.finish();
    } catch (const UnwantedStatus&) {
        return {Kind::UnwantedStatus};
    } catch (const DigestMismatch&) {
        return {Kind::DigestMismatch};
    } catch (const OutsideLimits&) {
        return {Kind::OutsideLimits};
    } catch (const Failure& failure) {
        reportUnexpected(ui, path, failure);
        return {Kind::FailureReported};
    } catch (const std::bad_alloc&) {
        reportUnexpected(ui, path, Failure::of(err::OutOfMemory));
        return {Kind::FailureReported};
    }
    session.reset();
    // The new file is complete. An old file at the target that cannot be
    // replaced is the caller's failure, as a failed delete of it would be;
    // a new file that a virus scanner took away is a failed download.
    try {
        sink.commit();
    } catch (const Failure& failure) {
        if (!isTakenByAScanner(failure)) {
            throw;
        }
        reportUnexpected(ui, path, failure);
        return {Kind::FailureReported};
    }
    return {Kind::Stored, sink.contentType()};
}

}  // namespace morvane
