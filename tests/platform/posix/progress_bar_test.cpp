#include "platform/posix/progress_bar.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace morvane::posix {
namespace {

TEST(TerminalProgressBar, RendersTheShareAsBarAndPercent) {
    struct Case {
        float share;
        const char* line;
    };
    const Case cases[] = {
        {0.0f, "Aktualisierung [          ]   0 %"},
        {0.5f, "Aktualisierung [#####     ]  50 %"},
        {1.0f, "Aktualisierung [##########] 100 %"},
        {1.0f / 3.0f, "Aktualisierung [###       ]  33 %"},
        {0.7f, "Aktualisierung [#######   ]  70 %"},  // 0.7f lies just below 0.7
        {1.5f, "Aktualisierung [##########] 150 %"},
        {-0.25f, "Aktualisierung [          ] -25 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.share);
        EXPECT_EQ(TerminalProgressBar::render(c.share, 10), c.line);
    }
}

// The read and write ends of a pipe, closed at the end of a test.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    std::string drain() const {
        const int flags = ::fcntl(fds[0], F_GETFL);
        ::fcntl(fds[0], F_SETFL, flags | O_NONBLOCK);
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    int fds[2] = {-1, -1};
};

TEST(TerminalProgressBar, WithoutTerminalWritesOneLinePerUpdate) {
    const Pipe pipe;
    {
        TerminalProgressBar bar(pipe.fds[1]);
        bar.setPercent(0.25f);  // not shown yet: stored only
        EXPECT_EQ(pipe.drain(), "");
        bar.show("C:\\Programme\\Updater.gif");
        bar.setPercent(0.5f);
        bar.setPercent(1.0f);
        bar.close();
        bar.setPercent(0.0f);  // closed: nothing more
    }
    const std::string expected = TerminalProgressBar::render(0.25f) + "\n" +
                                 TerminalProgressBar::render(0.5f) + "\n" +
                                 TerminalProgressBar::render(1.0f) + "\n";
    EXPECT_EQ(pipe.drain(), expected);
}

TEST(TerminalProgressBar, FullOutputDropsUpdatesInsteadOfBlocking) {
    const Pipe pipe;
    const int flags = ::fcntl(pipe.fds[1], F_GETFL);
    ::fcntl(pipe.fds[1], F_SETFL, flags | O_NONBLOCK);
    const std::vector<char> block(4096, 'x');
    while (::write(pipe.fds[1], block.data(), block.size()) > 0) {
    }
    [[maybe_unused]] const ssize_t last = ::write(pipe.fds[1], block.data(), 1);
    ::fcntl(pipe.fds[1], F_SETFL, flags);  // blocking again, as stderr would be

    TerminalProgressBar bar(pipe.fds[1]);
    bar.show("");
    bar.setPercent(0.5f);  // returns instead of waiting for a reader
    bar.close();
    // The updates were dropped, not queued for later.
    const std::string written = pipe.drain();
    EXPECT_FALSE(written.empty());
    EXPECT_EQ(written.find("Aktualisierung"), std::string::npos);
}

}  // namespace
}  // namespace morvane::posix
