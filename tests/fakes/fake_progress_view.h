#pragma once

#include <string>
#include <vector>

#include "platform/progress_view.h"

namespace morvane::test {

class FakeProgressView : public ProgressView {
public:
    std::vector<std::string> shown;  // picture paths, one per show()
    std::vector<float> shares;
    int closes = 0;

    void show(const std::string& picturePath) override { shown.push_back(picturePath); }
    void setPercent(float share) override { shares.push_back(share); }
    void close() override { ++closes; }
};

}  // namespace morvane::test
