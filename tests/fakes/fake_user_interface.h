#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace morvane::test {

// One message box as the code under test asked for it.
struct ShownBox {
    std::string text;
    box::Style style;
    std::string caption;           // as passed; empty means the application's title
    box::Answer answer = box::Ok;  // what the fake answered

    // The caption the user would see.
    std::string shownCaption() const { return caption.empty() ? kAppTitle : caption; }
};

// A user interface that records everything and answers from a script.
class FakeUserInterface : public UserInterface {
public:
    // Returns the next scripted answer. With none left, a box with only an
    // OK button is answered box::Ok; a question fails the test and gets the
    // button that changes nothing.
    box::Answer messageBox(const std::string& text, box::Style style,
                           const std::string& caption) override;
    void showWaitCursor() override;
    void showArrowCursor() override;
    void processPendingMessages() override;

    // The answers for the next boxes, first one first.
    std::deque<box::Answer> answers;
    // Called when a box is shown, after it was recorded (e.g. to look at
    // files while the "user" reads the box).
    std::function<void(const ShownBox&)> onBox;
    // Called on every processPendingMessages(), as the window system would
    // run its handlers there.
    std::function<void()> onPump;

    std::vector<ShownBox> boxes;
    // "wait" and "arrow", in the order the cursor changed.
    std::vector<std::string> cursorChanges;
    long long pumps = 0;
    // Box texts, in order: handy for comparing with an expected list.
    std::vector<std::string> texts() const;
};

}  // namespace morvane::test
