#pragma once

#include <chrono>
#include <cstdint>

namespace morvane {

// What a server may send for the revision check. A description is text of a
// few kilobytes and a signature 72 bytes at most: anything larger is no
// file of ours and is not fetched. The whole check, description and
// signature, ends by the time limit; a check that runs out of time ends as
// one whose server cannot be reached.
inline constexpr std::int64_t kLargestDescription = std::int64_t{1024} * 1024;
inline constexpr std::int64_t kLargestSignature = 1024;
inline constexpr std::chrono::milliseconds kRevisionCheckTime = std::chrono::seconds(120);
// How long a run that is to install waits for another run, on this PC or
// one sharing the folder, to let the folder lock go.
inline constexpr std::chrono::milliseconds kLockPatience = std::chrono::seconds(30);
// How long a new updater program may take to show with "--self-test" that
// it can run, before anything of its release is moved.
inline constexpr std::chrono::milliseconds kSelfTestPatience = std::chrono::seconds(10);

// The most a file of an update without "Größe" may have. Its block does not
// bound it, so without this an endless body would fill the disk, also in a
// signed release; a larger file needs its "Größe".
inline constexpr std::int64_t kLargestUnsizedFile = std::int64_t{4} * 1024 * 1024 * 1024;

}  // namespace morvane
