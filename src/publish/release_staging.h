#pragma once

#include <string>

namespace morvane::publish {

// A release is built in a folder beside the server folder (--out) and
// swapped in only once it is whole and has passed its check, so the live
// folder is never half-written: it holds the old release or the new one.
class ReleaseStaging {
public:
    // Makes the new folder beside `out`. Throws std::runtime_error when
    // `out` is no folder, or holds anything that no release put there: the
    // swap replaces the whole folder.
    explicit ReleaseStaging(const std::string& out);
    // Removes the new folder unless it was swapped in.
    ~ReleaseStaging();
    ReleaseStaging(const ReleaseStaging&) = delete;
    ReleaseStaging& operator=(const ReleaseStaging&) = delete;

    const std::string& folder() const { return staging_; }

    // Puts the new folder in the place of `out` and removes the old release.
    // Throws std::runtime_error, with `out` as it was, when a program holds
    // the old folder.
    void swapIn();

private:
    std::string out_;
    std::string staging_;
    bool swapped_ = false;
};

}  // namespace morvane::publish
