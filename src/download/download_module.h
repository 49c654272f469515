#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/http.h"
#include "platform/user_interface.h"

namespace morvane {

// What became of a download. Only Stored brings a file; every other kind
// leaves the target as it was.
struct DownloadResult {
    enum class Kind {
        Stored,           // the file arrived whole and took the target's place
        UnusableDigest,   // the expected SHA-256 is no SHA-256: nothing fetched
        NotHttp,          // "Only HTTP-service supported!" was shown
        NoObjectPath,     // "Invalid Url!" was shown
        NoSession,        // "Can't connect to server!" was shown
        NotReached,       // the URL could not be opened: no connection, no answer
        UnwantedStatus,   // the server answered with a status outside 200..299
        Incomplete,       // the body broke off or ended before its announced length
        Stalled,          // too little arrived over the stall limit
        UnknownCoding,    // the body came in a content coding other than gzip and deflate
        DigestMismatch,   // the body's SHA-256 is not the expected one
        OutsideLimits,    // the body was too large, of another size, or late
        FailureReported,  // the download's unexpected-error report was shown
    };
    Kind kind;
    // The Content-Type of a stored body, as the server wrote it.
    std::string contentType = {};

    // The file is at the target.
    bool arrived() const noexcept { return kind == Kind::Stored; }
};

// Fetches the file at `url` (an absolute "http://" URL) into the local file
// `path`. First asks the server for the size with a HEAD on port 80 of the
// host text, then GETs the whole URL, streaming the body into a temporary
// file beside `path` that replaces `path` only once the body arrived
// complete with a 2xx status. A body in gzip or deflate is decoded on the
// way: the file, its size and its SHA-256 are the decoded body's; one in
// any other coding is a failed download (no message, nothing stored).
//
// Arrived when the file was written. Not, with a plain message box, for a
// URL that is not HTTP ("Only HTTP-service supported!"), one without an
// object path ("Invalid Url!") and a session that cannot be opened ("Can't
// connect to server!"). Not, without a message, when the server cannot be
// reached, answers with a status outside 200..299, or the body arrives
// incomplete, longer than its announced Content-Length, or stalls. A
// failure while the body is fetched (the file cannot be created or
// written, no memory) shows the download's unexpected-error report. Once
// the new file is complete, an old file at `path` that cannot be replaced
// is the caller's failure: it passes up as Failure, without a message, and
// the old file stays. The temporary file goes in every one of these cases;
// only a run that is killed leaves one beside `path`, and the next download
// of the same target removes it. Lets the window system run after every
// read.
//
// `expectedSha256`, when not empty, is the SHA-256 the file must have, as 64
// hex digits of either case. It is checked as the body streams to disk; a
// file with another digest is a failed download (no message, nothing
// stored), and so is an expected value that is not 64 hex digits, which
// fetches nothing.
//
// `limits` bound what the server can make of the download: a body that
// breaks one stops as soon as that shows and is a failed download (no
// message, nothing stored).
struct DownloadLimits {
    std::optional<std::int64_t> largest;  // bytes the body may have at most
    std::optional<std::int64_t> size;     // bytes the body must have
    std::optional<std::chrono::steady_clock::time_point> deadline;  // all of it by then
};
//
// `flush` says when the file reaches the disk itself: before it takes the
// target's place, or when the caller flushes it with others
// (FileSystem::flushFiles()), which it must before it relies on the file.
enum class FileFlush { OnArrival, ByCaller };
DownloadResult Download(const std::string& url, const std::string& path, Http& http,
                        FileSystem& files, UserInterface& ui, std::string_view expectedSha256 = {},
                        const DownloadLimits& limits = {}, FileFlush flush = FileFlush::OnArrival);

}  // namespace morvane
