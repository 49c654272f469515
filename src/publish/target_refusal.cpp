#include "publish/target_refusal.h"

#include "release/target_rules.h"

namespace morvane::publish {
namespace {

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string windowsRule(const TargetFaultAt& at) {
    const std::string part = quoted(at.component);
    switch (at.fault) {
        case TargetFault::Empty:
            return "it is empty";
        case TargetFault::LeavesFolder:
            return "it leaves the application folder (a leading \\ or /, a drive, a \":\" or a "
                   "\"..\")";
        case TargetFault::EmptyComponent:
            return "it has an empty or \".\" part (a doubled or trailing separator)";
        case TargetFault::DotOrBlankAtEnd:
            return part + " ends in a dot or a blank, which Windows drops from a name";
        case TargetFault::ReservedCharacter:
            return part +
                   " holds a character Windows does not allow in a name (< > \" | ? * or a "
                   "control character)";
        case TargetFault::DeviceName:
            return part +
                   " is a Windows device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also with an "
                   "extension): Windows opens the device, not a file";
        case TargetFault::ShortNameForm:
            return part +
                   " has the form of a Windows short name (a few characters, \"~\" and digits), "
                   "which may reach a file of another name";
    }
    return {};
}

}  // namespace

std::optional<std::string> targetRefusal(std::string_view target, std::string_view recordName,
                                         const std::vector<std::string>& programNames) {
    if (const std::optional<TargetFaultAt> fault = targetFault(target)) {
        return windowsRule(*fault);
    }
    for (const std::string& program : programNames) {
        if (namesUpdaterPlace(target, program)) {
            std::string own = "it is the updater's own: its Temp or Backup folder, or its program ";
            own.append(program).append(".exe or settings ").append(program).append(".ini");
            return own;
        }
        if (namesUpdaterOwnFile(target, recordName, program)) {
            return "every file is downloaded into the updater's Temp folder first, where this "
                   "name is one of the updater's own files (the description's copy, its log, its "
                   "lock, its prefetch store Vorrat or a download's \".part\")";
        }
    }
    return std::nullopt;
}

}  // namespace morvane::publish
