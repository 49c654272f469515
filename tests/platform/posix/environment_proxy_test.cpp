#include "platform/posix/environment_proxy.h"

#include <gtest/gtest.h>

namespace morvane::posix {
namespace {

TEST(EnvironmentProxy, NoProxyExemptsAHostAndTheNamesBelowIt) {
    const std::string proxy = "http://proxy:3128";
    const struct {
        const char* host;
        const char* noProxy;
        bool direct;
    } cases[] = {
        {"updates.firma.de", "", false},
        {"updates.firma.de", "*", true},
        {"updates.firma.de", "firma.de", true},
        {"updates.firma.de", " localhost, .firma.de", true},
        {"updates.firma.de:8080", "FIRMA.DE", true},
        {"updates.firma.de", "tes.firma.de", false},
        {"firma.de", "updates.firma.de", false},
        {"127.0.0.1", "127.0.0.1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " / " + c.noProxy);
        EXPECT_EQ(httpProxyFor(c.host, proxy, c.noProxy), c.direct ? "" : proxy);
    }
    EXPECT_EQ(httpProxyFor("updates.firma.de", "", ""), "");
}

}  // namespace
}  // namespace morvane::posix
