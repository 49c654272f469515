#pragma once

#include <string>

namespace morvane {

// Message box styles and answers the updater uses.
namespace box {
inline constexpr int Plain = 0;         // OK button, no icon
inline constexpr int Critical = 16;     // critical icon, OK
inline constexpr int Exclamation = 48;  // exclamation icon, OK
inline constexpr int Information = 64;  // information icon, OK
inline constexpr int YesNoInformation = 68;
inline constexpr int RetryCancelWarning = 53;  // exclamation icon, Retry and Cancel
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Retry = 4;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace box

// The application's caption for boxes that name none.
inline constexpr const char* kAppTitle = "Morvane";

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Modal box; returns box::Ok, box::Yes, box::No, box::Retry or box::Cancel.
    // An empty caption shows kAppTitle.
    virtual int messageBox(const std::string& text, int style, const std::string& caption) = 0;
    virtual void showWaitCursor() = 0;
    virtual void showArrowCursor() = 0;
    // Lets the window system handle every pending message, then returns.
    virtual void processPendingMessages() = 0;
};

}  // namespace morvane
