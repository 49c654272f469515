#include "update/logged_user_interface.h"

#include "platform/text.h"

namespace morvane {

std::string answerName(int answer) {
    switch (answer) {
        case 1:
            return "OK";
        case 2:
            return "Cancel";
        case 4:
            return "Retry";
        case 6:
            return "Yes";
        case 7:
            return "No";
        default:
            return decimal(answer);
    }
}

int LoggedUserInterface::messageBox(const std::string& text, int style,
                                    const std::string& caption) {
    const std::size_t lineEnd = text.find_first_of("\r\n");
    log_.note("Message box \"" + (caption.empty() ? std::string(kAppTitle) : caption) +
              "\": " + text.substr(0, lineEnd));
    const int answer = inner_.messageBox(text, style, caption);
    log_.note("Message box answered " + answerName(answer));
    return answer;
}

}  // namespace morvane
