// Message boxes on a terminal, and without one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/user_interface.h"

namespace morvane::posix {
namespace {

// Both ends of a pipe; what the box prints is read back from it.
class Pipe {
public:
    Pipe() { EXPECT_EQ(pipe(fds_), 0); }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void closeRead() { closeEnd(fds_[0]); }
    void closeWrite() { closeEnd(fds_[1]); }
    // Everything written so far; closes the write end.
    std::string drain() {
        closeWrite();
        std::string text;
        char buffer[512];
        ssize_t got = 0;
        while ((got = ::read(fds_[0], buffer, sizeof(buffer))) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }

private:
    static void closeEnd(int& fd) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
    int fds_[2] = {-1, -1};
};

// A pseudo-terminal: the box reads from its terminal side, the test types
// into the other.
class PseudoTerminal {
public:
    PseudoTerminal() {
        controller_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(controller_, 0);
        EXPECT_EQ(grantpt(controller_), 0);
        EXPECT_EQ(unlockpt(controller_), 0);
        terminal_ = open(ptsname(controller_), O_RDWR | O_NOCTTY);
        EXPECT_GE(terminal_, 0);
    }
    ~PseudoTerminal() {
        close(terminal_);
        close(controller_);
    }
    int terminal() const { return terminal_; }
    void type(const std::string& keys) const {
        EXPECT_EQ(::write(controller_, keys.data(), keys.size()),
                  static_cast<ssize_t>(keys.size()));
    }

private:
    int controller_ = -1;
    int terminal_ = -1;
};

// The frame holds every line of the text, an umlaut counted as one column,
// and the buttons of the box's style.
TEST(TerminalBox, FramesEveryLineAndOffersTheStylesButtons) {
    const std::string drawn = TerminalUserInterface::render("Erste Zeile\r\nZweite Zeile: Größe",
                                                            box::YesNoInformation, "Update");
    std::vector<std::ptrdiff_t> columns;
    for (std::size_t start = 0, end; (end = drawn.find('\n', start)) != std::string::npos;
         start = end + 1) {
        columns.push_back(std::count_if(drawn.begin() + static_cast<std::ptrdiff_t>(start),
                                        drawn.begin() + static_cast<std::ptrdiff_t>(end),
                                        [](char c) { return (c & 0xC0) != 0x80; }));
    }
    ASSERT_GE(columns.size(), 4u) << drawn;
    EXPECT_EQ(std::count(columns.begin(), columns.end(), columns[0]),
              static_cast<std::ptrdiff_t>(columns.size()))
        << drawn;
    for (const char* part :
         {"Update", "Erste Zeile ", "Zweite Zeile: Größe ", "[ Ja ]", "[ Nein ]"}) {
        EXPECT_NE(drawn.find(part), std::string::npos) << part;
    }
}

TEST(TerminalBox, EmptyCaptionShowsTheApplicationsTitle) {
    const std::string drawn = TerminalUserInterface::render("x", box::Plain, "");
    EXPECT_EQ(drawn.rfind("+- Morvane -", 0), 0u) << drawn;
    EXPECT_NE(drawn.find("[ OK ]"), std::string::npos);
}

struct Unattended {
    box::Style style;
    box::Answer answer;
};

TEST(TerminalBox, WithoutATerminalAnswersWithoutWaiting) {
    const Unattended cases[] = {{box::Plain, box::Ok},
                                {box::Critical, box::Ok},
                                {box::Exclamation, box::Ok},
                                {box::Information, box::Ok},
                                {box::YesNoInformation, box::No},
                                {box::RetryCancelWarning, box::Cancel}};
    for (const Unattended& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.style.buttons));
        Pipe input;  // closed at once: no one will ever type
        input.closeWrite();
        Pipe output;
        TerminalUserInterface ui(input.read(), output.write());
        EXPECT_EQ(ui.messageBox("Text", c.style, "Titel"), c.answer);
        EXPECT_NE(output.drain().find("| Text"), std::string::npos);
    }
}

TEST(TerminalBox, InputThatIsNoTerminalIsNotRead) {
    // A pipe that stays open and empty would block a reader for ever.
    Pipe input;
    Pipe output;
    TerminalUserInterface ui(input.read(), output.write());
    EXPECT_EQ(ui.messageBox("Frage?", box::YesNoInformation, ""), box::No);
}

TEST(TerminalBox, ClosedInputAndOutputStillAnswer) {
    const int nothing = open("/dev/null", O_RDONLY);
    TerminalUserInterface ui(nothing, -1);
    EXPECT_EQ(ui.messageBox("Frage?", box::YesNoInformation, ""), box::No);
    close(nothing);
}

struct Typed {
    std::string keys;
    box::Style style;
    box::Answer answer;
};

TEST(TerminalBox, ReadsTheAnswerFromTheTerminal) {
    const Typed cases[] = {
        {"j\n", box::YesNoInformation, box::Yes},
        {"Ja\n", box::YesNoInformation, box::Yes},
        {"y\n", box::YesNoInformation, box::Yes},
        {"n\n", box::YesNoInformation, box::No},
        {"NEIN\n", box::YesNoInformation, box::No},
        {"vielleicht\nj\n", box::YesNoInformation, box::Yes},
        {"\n", box::Exclamation, box::Ok},
        {"egal\n", box::Plain, box::Ok},
        {"w\n", box::RetryCancelWarning, box::Retry},
        {"j\na\n", box::RetryCancelWarning, box::Cancel},
    };
    for (const Typed& c : cases) {
        SCOPED_TRACE(c.keys);
        PseudoTerminal tty;
        Pipe output;
        tty.type(c.keys);
        TerminalUserInterface ui(tty.terminal(), output.write());
        EXPECT_EQ(ui.messageBox("Aktualisieren?", c.style, ""), c.answer);
    }
}

}  // namespace
}  // namespace morvane::posix
