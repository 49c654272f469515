#pragma once

#include <exception>
#include <string>
#include <utility>

namespace morvane {

// Failure numbers raised by the updater itself. Failures that come from a
// Windows call carry that call's own code and message instead, marked with
// their origin (FailureOrigin).
namespace err {
inline constexpr int InvalidCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int FileNotFound = 53;
inline constexpr int DiskFull = 61;
inline constexpr int ReadPastEnd = 62;
inline constexpr int AccessDenied = 70;
inline constexpr int PathAccess = 75;
inline constexpr int CannotCreateObject = 429;
}  // namespace err

// Where a failure's number comes from, and so what it means: the same
// number is "access denied" as a Windows code and "invalid call" in the
// catalogue.
enum class FailureOrigin {
    Catalogue,  // the catalogue above; POSIX errno values are mapped to it
    Windows,    // a Windows system error code (GetLastError, WinINet)
    ComResult,  // an HRESULT, or the error number an automation server raised
    Library,    // a library's own error code (libcurl's), with its own text
};

// The one failure type of the updater: a number, where it comes from and a
// German description. Thrown where a failure passes up; caught only where a
// step handles it.
class Failure : public std::exception {
public:
    // A number of the catalogue, with a description of the caller's.
    Failure(int number, std::string description)
        : Failure(FailureOrigin::Catalogue, number, std::move(description)) {}
    Failure(FailureOrigin origin, int number, std::string description)
        : origin_(origin), number_(number), description_(std::move(description)) {}

    // A failure of the catalogue above, with its fixed German description.
    static Failure of(int number);

    FailureOrigin origin() const noexcept { return origin_; }
    // The number as its origin gives it; the one the user is shown.
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    FailureOrigin origin_;
    int number_;
    std::string description_;
};

// The catalogue's description for a number; "Anwendungs- oder objektdefinierter
// Fehler" for numbers it does not hold.
std::string describe(int number);

}  // namespace morvane
