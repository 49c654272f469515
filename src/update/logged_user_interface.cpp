#include "update/logged_user_interface.h"

namespace morvane {

std::string answerName(box::Answer answer) {
    switch (answer) {
        case box::Ok:
            return "OK";
        case box::Cancel:
            return "Cancel";
        case box::Retry:
            return "Retry";
        case box::Yes:
            return "Yes";
        case box::No:
            break;
    }
    return "No";
}

box::Answer LoggedUserInterface::messageBox(const std::string& text, box::Style style,
                                            const std::string& caption) {
    const std::size_t lineEnd = text.find_first_of("\r\n");
    log_.note("Message box \"" + (caption.empty() ? std::string(kAppTitle) : caption) +
              "\": " + text.substr(0, lineEnd));
    const box::Answer answer = inner_.messageBox(text, style, caption);
    log_.note("Message box answered " + answerName(answer));
    return answer;
}

}  // namespace morvane
