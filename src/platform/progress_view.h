#pragma once

#include <string>

namespace morvane {

// The progress window: a picture with a bar for the share of files done.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    // Loads the picture (nothing happens when it cannot be read) and shows the
    // window without blocking. Never throws.
    virtual void show(const std::string& picturePath) = 0;
    // Stores the share done (0..1, not limited), paints at once and lets the
    // window system process pending messages.
    virtual void setPercent(float share) = 0;
    // Unloads the window; harmless when it was never shown.
    virtual void close() = 0;
};

}  // namespace morvane
