#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/progress_view.h"

namespace morvane::win32 {

// The progress window on Windows: a borderless top-level window titled
// "Form1" that shows the update's picture at its natural size, centred on the
// screen, with a frame and a bar for the share done drawn over its lower part
// in the colour of an active title bar. Without a picture it keeps its designed
// size (kProgressDesignWidth × kProgressDesignHeight at 96 dpi, scaled with
// the screen's resolution like a picture) in the colour of an inactive title
// bar and nothing is drawn on it. It is shown without taking the focus.
//
// Loading and painting never fail outwardly: a step that fails is skipped.
// Must be used on the thread that runs the window's messages, a single-threaded
// COM apartment (entered on show() when the thread has none yet).
class Win32ProgressWindow final : public ProgressView {
public:
    Win32ProgressWindow();
    ~Win32ProgressWindow() override;
    Win32ProgressWindow(const Win32ProgressWindow&) = delete;
    Win32ProgressWindow& operator=(const Win32ProgressWindow&) = delete;

    void show(const std::string& picturePath) override;
    void setPercent(float share) override;
    void close() override;

    // The window while it exists (after show(), until close()), else nullptr.
    HWND handle() const noexcept;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Maps the bar's real right end to a pixel column: rounded like roundToInt16,
// but limited to the coordinate range that GDI draws (±2^27) instead of
// failing. Throws Failure 6 for a value that is not a number.
int toPixel(double value);

}  // namespace morvane::win32
