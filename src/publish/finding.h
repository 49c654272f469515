#pragma once

#include <string>
#include <utility>
#include <vector>

namespace morvane::publish {

// What `check` finds in a revision description, one finding per line of
// output, with the block and the line of the description it concerns. A
// note tells what the description does (its stage, whom it reaches) and is
// no fault.
struct Finding {
    enum class Kind { Error, Warning, Note };
    Kind kind;
    std::string block;  // title of the block; empty for the file as a whole
    int line;           // from 1; 0 when no line is concerned
    std::string message;
};

// The findings of one check in the order they are found.
class FindingList {
public:
    void error(std::string block, int line, std::string message) {
        all_.push_back({Finding::Kind::Error, std::move(block), line, std::move(message)});
    }
    void warning(std::string block, int line, std::string message) {
        all_.push_back({Finding::Kind::Warning, std::move(block), line, std::move(message)});
    }
    void note(std::string block, int line, std::string message) {
        all_.push_back({Finding::Kind::Note, std::move(block), line, std::move(message)});
    }
    std::vector<Finding> take() { return std::move(all_); }

private:
    std::vector<Finding> all_;
};

inline std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace morvane::publish
