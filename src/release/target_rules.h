#pragma once

#include <optional>
#include <string_view>

namespace morvane {

// Rules for the paths a revision description names below the updater's
// folder. The description comes from a server, so it must not be able to
// reach anything outside the folder, nor anything that is not a plain file.

// True for a relative path that stays below the folder: no leading "\" or
// "/", no drive or stream name (any ":"), no ".." component.
bool staysBelowFolder(std::string_view relative);

// True for a "Ziel" that names a file below the folder the way Windows reads
// it: it stays below the folder, is not empty, has no empty, "." or ".."
// component (so no trailing separator either), no component ending in "." or
// a blank (Windows drops those), no character Windows forbids in names
// (control characters, < > " | ? *) and no device name as a component, with
// or without an extension (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, COM¹-COM³,
// LPT¹-LPT³, CONIN$, CONOUT$; "NUL.txt" too), in any case, and no component
// of the form of a short name ("REVISI~1.NEW"), which may reach a file of
// another name.
bool namesFileBelowFolder(std::string_view relative);

// Which of those rules a "Ziel" breaks, and in which component.
enum class TargetFault {
    Empty,
    LeavesFolder,       // a leading "\" or "/", a drive or stream (":"), a ".." component
    EmptyComponent,     // "a\\b", a trailing separator, a "." component
    DotOrBlankAtEnd,    // Windows drops them from a name
    ReservedCharacter,  // a control character or one of < > " | ? *
    DeviceName,         // CON, NUL.txt, COM1, ...
    ShortNameForm,      // REVISI~1.NEW
};
struct TargetFaultAt {
    TargetFault fault;
    std::string_view component;  // empty for Empty and LeavesFolder
};
std::optional<TargetFaultAt> targetFault(std::string_view relative);

// True for a "Ziel" that names a place of the updater's own in its folder,
// in any case: its Temp and Backup folders (as first component) and its
// program and settings ("<programName>" with ".exe", ".ini" or no
// extension). A copy of an installed folder holds them beside the
// application.
bool namesUpdaterPlace(std::string_view target, std::string_view programName);

// True for a "Ziel" that names the updater's running program, `programFile`
// ("Updater.exe"), in any case: the updater's own update, which only a
// signed release may bring.
bool namesUpdaterProgram(std::string_view target, std::string_view programFile);

// True for a "Ziel" that reaches the updater's own files, in any case: the
// places of `namesUpdaterPlace`; in Temp, where files are downloaded to, the
// prefetch store "Vorrat" (as first component), the copy of the
// description (`recordName`, e.g. "revision.ini") with ".new" and
// ".install", the log "<programName>.log" and its ".1", and the temporary
// name of a download (ending in ".part").
bool namesUpdaterOwnFile(std::string_view target, std::string_view recordName,
                         std::string_view programName);

}  // namespace morvane
