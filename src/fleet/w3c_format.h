#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "fleet/access_record.h"

namespace morvane::fleet {

// The W3C extended log format as IIS writes it: directive lines beginning
// with "#", of which "#Fields:" names the fields of the lines below it (a
// file may hold several, one after each restart), and lines of fields
// separated by blanks, "-" for an empty one. The User-Agent has "+" for its
// blanks. Times are UTC.
class W3cFormat {
public:
    // Reads one line into `record`: true for a request line whose fields the
    // last "#Fields:" names. A directive line is taken in and gives false
    // with `why` empty; a line that cannot be read gives false with `why`
    // telling why.
    bool readLine(std::string_view line, AccessRecord& record, std::string& why);

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    void takeFields(std::string_view names);

    bool haveFields_ = false;
    std::size_t fieldCount_ = 0;
    std::size_t date_ = kNone;
    std::size_t time_ = kNone;
    std::size_t address_ = kNone;
    std::size_t method_ = kNone;
    std::size_t target_ = kNone;
    std::size_t userAgent_ = kNone;
    std::string problem_;  // what makes the last "#Fields:" unusable, for `why`
};

}  // namespace morvane::fleet
