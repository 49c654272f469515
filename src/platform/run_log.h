#pragma once

#include <string>

namespace morvane {

// The run log: one line per event of a run, for the people who roll the
// updater out and need to know why a workstation did what it did.
// Writing it never changes the run: a log that cannot be written loses the
// line, without a message and without a failure.
class RunLog {
public:
    virtual ~RunLog() = default;
    // Adds one event, a line of text (line breaks inside become blanks).
    virtual void note(const std::string& event) noexcept = 0;
};

// A log that keeps nothing, for runs and tests that do not care.
class NullRunLog : public RunLog {
public:
    void note(const std::string&) noexcept override {}
};

}  // namespace morvane
