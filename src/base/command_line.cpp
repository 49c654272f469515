#include "base/command_line.h"

#include <cstddef>

namespace morvane {
namespace {

// 2n backslashes before a quotation mark read as n, 2n+1 as n and the mark.
std::string quotedArgument(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            quoted.append(backslashes + 1, '\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

}  // namespace

std::string windowsCommandLine(const std::string& program,
                               const std::vector<std::string>& arguments) {
    std::string line = "\"" + program + "\"";
    for (const std::string& argument : arguments) {
        line += " " + quotedArgument(argument);
    }
    return line;
}

}  // namespace morvane
