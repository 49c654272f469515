#include "base/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

#include "base/text.h"

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

bool isFullWindowsPath(std::string_view path) {
    const bool onDrive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                         path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool onShare = path.size() > 2 && path.substr(0, 2) == "\\\\" && path[2] != '\\';
    return onDrive || onShare;
}

bool hasOption(const std::vector<std::string>& arguments, std::string_view option) {
    return std::any_of(arguments.begin(), arguments.end(), [option](const std::string& argument) {
        return foldCase(argument) == foldCase(option);
    });
}

}  // namespace morvane
