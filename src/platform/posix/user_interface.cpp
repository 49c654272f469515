#include "platform/posix/user_interface.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <vector>

namespace morvane::posix {
namespace {

// The buttons of a box, the answer each gives, the words that choose it,
// and what an unattended run notes when it takes the one that changes nothing.
struct Choice {
    const char* word;  // as typed, lower case
    box::Answer answer;
};
struct Buttons {
    const char* shown;
    const char* prompt;
    std::vector<Choice> choices;
    const char* unattendedNote;
};

const Buttons& buttonsOf(box::Buttons buttons) {
    static const Buttons ok{
        "[ OK ]", "Weiter mit der Eingabetaste: ", {}, "Keine Eingabe möglich: OK\n"};
    static const Buttons yesNo{"[ Ja ]  [ Nein ]",
                               "Ja oder Nein? [j/n]: ",
                               {{"j", box::Yes},
                                {"ja", box::Yes},
                                {"y", box::Yes},
                                {"yes", box::Yes},
                                {"n", box::No},
                                {"nein", box::No},
                                {"no", box::No}},
                               "Keine Eingabe möglich: Nein\n"};
    static const Buttons retryCancel{"[ Wiederholen ]  [ Abbrechen ]",
                                     "Wiederholen oder Abbrechen? [w/a]: ",
                                     {{"w", box::Retry},
                                      {"wiederholen", box::Retry},
                                      {"r", box::Retry},
                                      {"retry", box::Retry},
                                      {"a", box::Cancel},
                                      {"abbrechen", box::Cancel},
                                      {"c", box::Cancel},
                                      {"cancel", box::Cancel}},
                                     "Keine Eingabe möglich: Abbrechen\n"};
    return buttons == box::Buttons::YesNo         ? yesNo
           : buttons == box::Buttons::RetryCancel ? retryCancel
                                                  : ok;
}

// Columns a UTF-8 line takes: one per code point.
std::size_t columns(const std::string& line) {
    return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Message lines end in "\r\n"; a lone CR or LF ends a line as well.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

std::string iconMark(box::Icon icon) {
    switch (icon) {
        case box::Icon::Critical:
            return "(X) ";
        case box::Icon::Exclamation:
            return "(!) ";
        case box::Icon::Information:
            return "(i) ";
        case box::Icon::None:
            break;
    }
    return "";
}

std::string padded(const std::string& line, std::size_t width) {
    return "| " + line + std::string(width - columns(line), ' ') + " |\n";
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

TerminalUserInterface::TerminalUserInterface()
    : TerminalUserInterface(STDIN_FILENO, STDOUT_FILENO) {}

TerminalUserInterface::TerminalUserInterface(int inputFd, int outputFd)
    : inputFd_(inputFd), outputFd_(outputFd) {}

std::string TerminalUserInterface::render(const std::string& text, box::Style style,
                                          const std::string& caption) {
    const std::string title = iconMark(style.icon) + (caption.empty() ? kAppTitle : caption);
    const std::vector<std::string> lines = splitLines(text);
    const std::string buttons = buttonsOf(style.buttons).shown;

    std::size_t width = std::max(columns(title) + 2, columns(buttons));
    for (const std::string& line : lines) {
        width = std::max(width, columns(line));
    }
    const std::string rule = "+" + std::string(width + 2, '-') + "+\n";

    std::string box = "+- " + title + " " + std::string(width - columns(title) - 1, '-') + "+\n";
    for (const std::string& line : lines) {
        box += padded(line, width);
    }
    box += padded("", width);
    const std::size_t indent = (width - columns(buttons)) / 2;
    box += padded(std::string(indent, ' ') + buttons, width);
    box += rule;
    return box;
}

box::Answer TerminalUserInterface::messageBox(const std::string& text, box::Style style,
                                              const std::string& caption) {
    print("\n" + render(text, style, caption));
    const Buttons& buttons = buttonsOf(style.buttons);
    const box::Answer unattended = box::unattendedAnswer(style.buttons);
    if (isatty(inputFd_) == 0) {
        print(buttons.unattendedNote);
        return unattended;
    }
    std::string answer;
    for (;;) {
        print(buttons.prompt);
        if (!readLine(answer)) {
            print("\n");
            return unattended;
        }
        if (buttons.choices.empty()) {
            return box::Ok;
        }
        answer = lowerAscii(answer);
        for (const Choice& choice : buttons.choices) {
            if (answer == choice.word) {
                return choice.answer;
            }
        }
    }
}

void TerminalUserInterface::print(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(outputFd_, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nowhere to show it; the answer does not depend on it
        }
        done += static_cast<std::size_t>(written);
    }
}

bool TerminalUserInterface::readLine(std::string& line) {
    line.clear();
    for (;;) {
        char c = 0;
        const ssize_t got = read(inputFd_, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
        line += c;
    }
}

}  // namespace morvane::posix
