#include "paths/url_class.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"

namespace morvane {
namespace {

UrlClass url(const std::string& fullUrl) {
    UrlClass value;
    value.setFullUrl(fullUrl);
    return value;
}

// Expects failure 5 from `operation` and the URL unchanged afterwards.
void expectInvalidCall(UrlClass& value, const std::function<void()>& operation) {
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): the call may change it
    const std::string before = value.FullUrl();
    try {
        operation();
        ADD_FAILURE() << "no failure on " << before;
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), err::InvalidCall);
    }
    EXPECT_EQ(value.FullUrl(), before);
}

struct ReadCase {
    std::string fullUrl;
    std::string protocol, fullProtocol, folder, fullName;
    std::optional<std::string> name;  // nullopt: the read fails
    std::string ext, fullExt;
};

TEST(UrlClassTest, ReadsOfTheParts) {
    const ReadCase cases[] = {
        {"http://server/updates/revision.ini", "http", "http://", "http://server/updates/",
         "revision.ini", "revision", "ini", ".ini"},
        {"http://server/updates/", "http", "http://", "http://server/updates/", "", "", "", "."},
        {"http://server/files/archive.tar.gz", "http", "http://", "http://server/files/",
         "archive.tar.gz", "archive.tar", "gz", ".gz"},
        {"http://server/updates/setup", "http", "http://", "http://server/updates/", "setup",
         std::nullopt, "setup", ".setup"},
        {"http://server", "http", "http://", "http://", "server", std::nullopt, "server",
         ".server"},
        {"server/files/app.exe", "server/files/app.exe", "server/files/app.exe://", "server/files/",
         "app.exe", "app", "exe", ".exe"},
        {"", "", "://", "", "", "", "", "."},
        // Beyond the worked examples: no query parsing, "\" and ":" as
        // ordinary characters, dots in folders, a leading dot.
        {"http://server/get?file=app.exe", "http", "http://", "http://server/", "get?file=app.exe",
         "get?file=app", "exe", ".exe"},
        {"http://server:8080/a\\b.txt", "http", "http://", "http://server:8080/", "a\\b.txt",
         "a\\b", "txt", ".txt"},
        {"http://server/v1.2/notes", "http", "http://", "http://server/v1.2/", "notes",
         std::nullopt, "notes", ".notes"},
        {"http://server/.htaccess", "http", "http://", "http://server/", ".htaccess", "",
         "htaccess", ".htaccess"},
        {"http://server/app.", "http", "http://", "http://server/", "app.", "app", "", "."},
        {"a://b://c/d.e", "a", "a://", "a://b://c/", "d.e", "d", "e", ".e"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.fullUrl);
        UrlClass value = url(c.fullUrl);
        EXPECT_EQ(value.Protocol(), c.protocol);
        EXPECT_EQ(value.FullProtocol(), c.fullProtocol);
        EXPECT_EQ(value.Url(), c.folder);
        EXPECT_EQ(value.FullUrl(), c.fullUrl);
        EXPECT_EQ(value.FullName(), c.fullName);
        if (c.name) {
            EXPECT_EQ(value.Name(), *c.name);
        } else {
            expectInvalidCall(value, [&] { (void)value.Name(); });
        }
        EXPECT_EQ(value.Ext(), c.ext);
        EXPECT_EQ(value.FullExt(), c.fullExt);
    }
}

struct WriteCase {
    std::string label;
    std::string start;
    std::function<void(UrlClass&)> write;
    std::string expected;
};

void runWrites(const std::vector<WriteCase>& cases) {
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.label + " on \"" + c.start + "\"");
        UrlClass value = url(c.start);
        c.write(value);
        EXPECT_EQ(value.FullUrl(), c.expected);
    }
}

TEST(UrlClassTest, WritesOnAFileUrl) {
    const std::string revision = "http://server/updates/revision.ini";
    runWrites({
        {"Protocol https", revision, [](UrlClass& u) { u.setProtocol("https"); },
         "https://server/updates/revision.ini"},
        {"Protocol empty", revision, [](UrlClass& u) { u.setProtocol(""); },
         "server/updates/revision.ini"},
        {"Url http://server/next", revision, [](UrlClass& u) { u.setUrl("http://server/next"); },
         "http://server/next/revision.ini"},
        {"Name changes", revision, [](UrlClass& u) { u.setName("changes"); },
         "http://server/updates/changes.ini"},
        {"FullName app.exe", revision, [](UrlClass& u) { u.setFullName("app.exe"); },
         "http://server/updates/app.exe"},
        {"FullName empty", revision, [](UrlClass& u) { u.setFullName(""); },
         "http://server/updates/"},
        {"Ext txt", revision, [](UrlClass& u) { u.setExt("txt"); },
         "http://server/updates/revision.txt"},
        {"FullExt .txt", revision, [](UrlClass& u) { u.setFullExt(".txt"); },
         "http://server/updates/revision.txt"},
    });
}

TEST(UrlClassTest, WritesOnEdgeUrls) {
    const std::string revision = "http://server/updates/revision.ini";
    runWrites({
        {"Protocol http", "", [](UrlClass& u) { u.setProtocol("http"); }, "http://"},
        {"Protocol empty", "", [](UrlClass& u) { u.setProtocol(""); }, ""},
        {"Url x", "", [](UrlClass& u) { u.setUrl("x"); }, "x/"},
        {"Ext txt", "", [](UrlClass& u) { u.setExt("txt"); }, ".txt"},
        {"Name a", "", [](UrlClass& u) { u.setName("a"); }, "a."},
        {"FullName app.exe", "http://server/updates/",
         [](UrlClass& u) { u.setFullName("app.exe"); }, "http://server/updates/app.exe"},
        {"Url with its separator", revision, [](UrlClass& u) { u.setUrl("http://server/next/"); },
         "http://server/next//revision.ini"},
        {"Url read back", revision, [](UrlClass& u) { u.setUrl(u.Url()); },
         "http://server/updates//revision.ini"},
        {"Protocol http without one", "server/files/app.exe",
         [](UrlClass& u) { u.setProtocol("http"); }, "http://server/files/app.exe"},
        {"Protocol after two", "a://b://c/d.e", [](UrlClass& u) { u.setProtocol("x"); },
         "x://c/d.e"},
        {"Protocol https://", revision, [](UrlClass& u) { u.setProtocol("https://"); },
         "https://server/updates/revision.ini"},
        {"FullProtocol https://", revision, [](UrlClass& u) { u.setFullProtocol("https://"); },
         "https://server/updates/revision.ini"},
        {"FullProtocol read back", revision,
         [](UrlClass& u) { u.setFullProtocol(u.FullProtocol()); }, revision},
        {"FullProtocol ftp", revision, [](UrlClass& u) { u.setFullProtocol("ftp"); },
         "ftp://server/updates/revision.ini"},
        {"Ext .txt", revision, [](UrlClass& u) { u.setExt(".txt"); },
         "http://server/updates/revision.txt"},
        {"Ext empty", revision, [](UrlClass& u) { u.setExt(""); },
         "http://server/updates/revision."},
        {"FullExt txt", revision, [](UrlClass& u) { u.setFullExt("txt"); },
         "http://server/updates/revision.txt"},
        {"Name on a server-only address", "http://server", [](UrlClass& u) { u.setName("x"); },
         "http://x.server"},
        {"FullName on a server-only address", "http://server",
         [](UrlClass& u) { u.setFullName("index.html"); }, "http://index.html"},
        {"Name with a query", "http://server/get?file=app.exe",
         [](UrlClass& u) { u.setName("put"); }, "http://server/put.exe"},
    });
}

TEST(UrlClassTest, WhatReadsNameFailsOnANameWithoutDotAndChangesNothing) {
    for (const std::string start : {"http://server/updates/setup", "http://server"}) {
        SCOPED_TRACE(start);
        UrlClass value = url(start);
        expectInvalidCall(value, [&] { (void)value.Name(); });
        expectInvalidCall(value, [&] { value.setExt("txt"); });
        expectInvalidCall(value, [&] { value.setFullExt(".txt"); });
    }
}

TEST(UrlClassTest, SourceEntryAppendsToTheServerFolder) {
    UrlClass server = url("http://server/updates/revision.ini");
    UrlClass file = url(server.Url() + "bin/app.exe");
    EXPECT_EQ(file.FullUrl(), "http://server/updates/bin/app.exe");
    EXPECT_EQ(file.FullName(), "app.exe");
}

}  // namespace
}  // namespace morvane
