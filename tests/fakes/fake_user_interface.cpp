#include "fakes/fake_user_interface.h"

#include <gtest/gtest.h>

namespace morvane::test {

box::Answer FakeUserInterface::messageBox(const std::string& text, box::Style style,
                                          const std::string& caption) {
    box::Answer answer = box::Ok;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    } else if (style.buttons != box::Buttons::Ok) {
        ADD_FAILURE() << "no scripted answer for the question: " << text;
        answer = box::unattendedAnswer(style.buttons);
    }
    boxes.push_back(ShownBox{text, style, caption, answer});
    if (onBox) {
        onBox(boxes.back());
    }
    return answer;
}

void FakeUserInterface::showWaitCursor() {
    cursorChanges.emplace_back("wait");
}

void FakeUserInterface::showArrowCursor() {
    cursorChanges.emplace_back("arrow");
}

void FakeUserInterface::processPendingMessages() {
    ++pumps;
    if (onPump) {
        onPump();
    }
}

std::vector<std::string> FakeUserInterface::texts() const {
    std::vector<std::string> result;
    result.reserve(boxes.size());
    for (const ShownBox& shown : boxes) {
        result.push_back(shown.text);
    }
    return result;
}

}  // namespace morvane::test
