#include "platform/win32/system_proxy.h"

#include <gtest/gtest.h>

namespace morvane::win32 {
namespace {

TEST(SystemProxy, TheHttpProxyUnlessTheBypassListExemptsTheHost) {
    const struct {
        const char* host;
        const char* proxies;
        const char* bypass;
        const char* proxy;
    } cases[] = {
        {"updates.firma.de", "proxy:8080", "", "proxy:8080"},
        {"updates.firma.de", "https=tls:443;http=web:8080", "", "web:8080"},
        {"updates.firma.de", "ftp=f:21", "", ""},
        {"updates", "proxy:8080", "<local>", ""},
        {"updates.firma.de", "proxy:8080", "<local>", "proxy:8080"},
        {"updates.firma.de:81", "proxy:8080", "*.FIRMA.de;10.*", ""},
        {"10.1.2.3", "proxy:8080", "*.firma.de; 10.*", ""},
        {"updates.firma.de.evil.org", "proxy:8080", "*.firma.de", "proxy:8080"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " / " + c.proxies + " / " + c.bypass);
        EXPECT_EQ(httpProxyFor(c.host, c.proxies, c.bypass), c.proxy);
    }
}

}  // namespace
}  // namespace morvane::win32
