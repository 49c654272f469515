#pragma once

#include <string>

namespace morvane {

// The message boxes the updater shows: their buttons, icon and answers.
namespace box {

enum class Buttons { Ok, YesNo, RetryCancel };
enum class Icon { None, Critical, Exclamation, Information };

struct Style {
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    friend bool operator==(const Style&, const Style&) = default;
};

// The boxes the updater shows; Windows knows them as the styles 0, 16, 48,
// 64, 68 and 53.
inline constexpr Style Plain{Buttons::Ok, Icon::None};
inline constexpr Style Critical{Buttons::Ok, Icon::Critical};
inline constexpr Style Exclamation{Buttons::Ok, Icon::Exclamation};
inline constexpr Style Information{Buttons::Ok, Icon::Information};
inline constexpr Style YesNoInformation{Buttons::YesNo, Icon::Information};
inline constexpr Style RetryCancelWarning{Buttons::RetryCancel, Icon::Exclamation};

// The button the user pressed.
enum class Answer { Ok, Cancel, Retry, Yes, No };
using enum Answer;

// The answer of a box nobody can answer: the button that changes nothing
// (OK, No or Cancel).
constexpr Answer unattendedAnswer(Buttons buttons) noexcept {
    switch (buttons) {
        case Buttons::YesNo:
            return No;
        case Buttons::RetryCancel:
            return Cancel;
        case Buttons::Ok:
            break;
    }
    return Ok;
}

}  // namespace box

// The application's caption for boxes that name none.
inline constexpr const char* kAppTitle = "Morvane";

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Modal box; returns one of the answers its buttons offer. An empty
    // caption shows kAppTitle.
    virtual box::Answer messageBox(const std::string& text, box::Style style,
                                   const std::string& caption) = 0;
    virtual void showWaitCursor() = 0;
    virtual void showArrowCursor() = 0;
    // Lets the window system handle every pending message, then returns.
    virtual void processPendingMessages() = 0;
};

}  // namespace morvane
