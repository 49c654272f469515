#include "fleet/access_log.h"

#include <gtest/gtest.h>

#include <string>

#include "fleet_logs.h"

namespace morvane::fleet {
namespace {

// Lines as the servers write them. nginx: captured from nginx 1.22 with
// "access_log ... combined" (it escapes '"', '\' and bytes above 126 as
// \xHH). Apache: the "combined" format of its documentation, which escapes
// '"' and '\' with a backslash; "combinedio" adds %I %O after the
// User-Agent. IIS: W3C extended with its default fields, "+" for the blanks
// of the User-Agent, UTC, a new #Fields block after each restart.
const char* const kNginx =
    "127.0.0.1 - - [08/Dec/2026:10:32:42 +0000] \"GET /updates/revision.ini HTTP/1.1\" 200 16 "
    "\"-\" \"Morvane-Updater/1.0.0.0 (Revision 2.0; Status 3; PC BUERO-01)\"\n"
    "127.0.0.1 - - [08/Dec/2026:10:32:42 +0000] \"GET /updates/revision.ini.sig HTTP/1.1\" 404 "
    "153 \"-\" \"Morvane-Updater/1.0.0.0 (Revision 2.0; Status 3; PC BUERO-01)\"\n"
    "127.0.0.1 - - [08/Dec/2026:10:32:43 +0000] \"HEAD /updates/Umsatz.xlsm HTTP/1.1\" 200 0 "
    "\"-\" \"Morvane-Updater/1.0.0.0 (Revision 2.0; Status 3; PC BUERO-01)\"\n"
    "10.0.0.12 - - [08/Dec/2026:11:02:00 +0100] \"GET /updates/revision.ini?x=1 HTTP/1.1\" 200 "
    "16 \"-\" \"Morvane-Updater/1.0.0.0 (Revision 2.0\\x22x\\x5C\\xC3\\xA4; Status -; PC b)\"\n"
    "10.0.0.13 - - [08/Dec/2026:10:40:00 +0000] \"GET /updates/revision.ini HTTP/1.1\" 304 0 "
    "\"-\" \"Mozilla/5.0 (Windows NT 10.0; Win64; x64)\"\n"
    "10.0.0.12 - - [08/Dec/2026:10:00:00 +0000] \"GET /updates/revision.ini HTTP/1.1\" 200 16 "
    "\"-\" \"Morvane-Updater/1.0.0.0 (Revision 1.9; Status 5; PC B)\"\n";

const char* const kApache =
    "10.0.0.21 - frank [10/Dec/2026:13:55:36 -0700] \"GET /umsatz/revision.ini HTTP/1.0\" 200 "
    "2326 \"http://intranet/start.html\" \"Morvane-Updater/1.1.0.0 (Revision 2.1; Status 0; PC "
    "EMPFANG)\"\n"
    "10.0.0.22 - - [10/Dec/2026:13:56:00 -0700] \"GET /umsatz/revision.ini HTTP/1.1\" 200 - "
    "\"-\" \"Morvane-Updater/1.1.0.0 (Revision 2.1 \\\"neu\\\"; Status 4; PC LAGER_7)\"\n"
    "10.0.0.23 - - [10/Dec/2026:13:57:00 -0700] \"GET /umsatz/revision.ini HTTP/1.1\" 200 2326 "
    "\"-\" \"Morvane-Updater/1.0.0.0\"\n";

const char* const kApacheWithIo =
    "10.0.0.21 - - [10/Dec/2026:13:55:36 +0100] \"GET /umsatz/revision.ini HTTP/1.1\" 200 2326 "
    "\"-\" \"Morvane-Updater/1.1.0.0 (Revision 2.1; Status 6; PC EMPFANG)\" 312 2598\n";

const char* const kIis =
    "#Software: Microsoft Internet Information Services 10.0\r\n"
    "#Version: 1.0\r\n"
    "#Date: 2026-12-08 09:00:00\r\n"
    "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
    "cs(User-Agent) cs(Referer) sc-status sc-substatus sc-win32-status time-taken\r\n"
    "2026-12-08 09:15:02 10.0.0.5 GET /umsatz/revision.ini - 80 - 10.0.0.31 "
    "Morvane-Updater/1.1.0.0+(Revision+2.0;+Status+7;+PC+BUCHHALTUNG) - 200 0 0 15\r\n"
    "2026-12-08 09:15:02 10.0.0.5 GET /umsatz/revision.ini.sig - 80 - 10.0.0.31 "
    "Morvane-Updater/1.1.0.0+(Revision+2.0;+Status+7;+PC+BUCHHALTUNG) - 200 0 0 0\r\n"
    "#Software: Microsoft Internet Information Services 10.0\r\n"
    "#Version: 1.0\r\n"
    "#Date: 2026-12-08 12:00:00\r\n"
    "#Fields: date time cs-method cs-uri-stem c-ip cs(User-Agent) sc-status time-taken\r\n"
    "2026-12-08 12:30:00 GET /umsatz/revision.ini 10.0.0.31 "
    "Morvane-Updater/1.1.0.0+(Revision+2.1;+Status+0;+PC+BUCHHALTUNG) 200 12\r\n";

TEST(AccessLogs, ReadTheUpdatersGetsOfTheDescriptionFromEachServersLines) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string description;
        std::string pcs;
    };
    const std::string nginxPcs =
        "BUERO-01 127.0.0.1 2.0 3 1.0.0.0 1/1\n"
        "b 10.0.0.12 2.0\"x\\\xC3\xA4 - 1.0.0.0 2/1\n";
    const std::string apachePcs =
        "? 10.0.0.23 ? ? 1.0.0.0 1/0\n"
        "EMPFANG 10.0.0.21 2.1 0 1.1.0.0 1/0\n"
        "LAGER_7 10.0.0.22 2.1 \"neu\" 4 1.1.0.0 1/0\n";
    const Case cases[] = {
        {"nginx", kNginx, "", nginxPcs},
        {"nginx, the description named", kNginx, "UPDATES/revision.ini", nginxPcs},
        {"nginx, another description named", kNginx, "umsatz/revision.ini", ""},
        {"nginx, gzip", test::gzipped(kNginx), "", nginxPcs},
        {"apache", kApache, "", apachePcs},
        {"apache combinedio", kApacheWithIo, "", "EMPFANG 10.0.0.21 2.1 6 1.1.0.0 1/1\n"},
        {"apache, two gzip members as cat a.gz b.gz makes",
         test::gzipped(kApache) + test::gzipped(kApacheWithIo), "",
         "? 10.0.0.23 ? ? 1.0.0.0 1/0\nEMPFANG 10.0.0.21 2.1 0 1.1.0.0 2/1\n"
         "LAGER_7 10.0.0.22 2.1 \"neu\" 4 1.1.0.0 1/0\n"},
        {"iis", kIis, "", "BUCHHALTUNG 10.0.0.31 2.1 0 1.1.0.0 2/1\n"},
        {"iis with byte order mark, gzip", test::gzipped("\xEF\xBB\xBF" + std::string(kIis)), "",
         "BUCHHALTUNG 10.0.0.31 2.1 0 1.1.0.0 2/1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogFolder logs;
        PcTally tally(0);
        const LogReading reading =
            readAccessLog(logs.write("access.log", c.bytes), c.description, tally);
        EXPECT_EQ(reading.unreadable, 0) << reading.firstWhy;
        EXPECT_EQ(test::pcLines(tally), c.pcs);
    }
}

TEST(AccessLogs, LinesThatDoNotReadAreCountedAndNamedByTheFirstOnesNumber) {
    const std::string good =
        "10.0.0.5 - - [08/Dec/2026:10:00:00 +0000] \"GET /u/revision.ini HTTP/1.1\" 200 9 \"-\" "
        "\"Morvane-Updater/1.0.0.0 (Revision 2.0; Status 0; PC GUT)\"\n";
    const std::string iisHead = "#Software: Microsoft Internet Information Services 10.0\n";
    const std::string iisFields =
        "#Fields: date time cs-method cs-uri-stem c-ip cs(User-Agent) sc-status\n";
    const std::string iisGood =
        "2026-12-08 10:00:00 GET /u/revision.ini 10.0.0.5 "
        "Morvane-Updater/1.0.0.0+(Revision+2.0;+Status+0;+PC+GUT) 200\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::int64_t unreadable;
        std::int64_t first;
        const char* why;
    };
    const Case cases[] = {
        {"a line cut short, and one with a bad time",
         good + "10.0.0.6 - - [08/Dec/2026:10:3\n" + good +
             "10.0.0.6 - - [31/Feb/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200 1 \"-\" \"x\"\n",
         2, 2, "no [time]"},
        {"a line of the common format",
         good + "10.0.0.6 - - [08/Dec/2026:10:00:00 +0000] "
                "\"GET /u/revision.ini HTTP/1.1\" 200 9\n",
         1, 2, "no User-Agent"},
        {"the updater's User-Agent damaged",
         good +
             "10.0.0.6 - - [08/Dec/2026:10:00:00 +0000] \"GET /u/revision.ini HTTP/1.1\" 200 "
             "9 \"-\" \"Morvane-Updater/1.0.0.0 (Revision 2.0; PC X)\"\n" +
             "10.0.0.6 - - [08/Dec/2026:10:00:00 +0000] \"GET /u/revision.ini HTTP/1.1\" 200 "
             "9 \"-\" \"Morvane-Updater/1.0.0.0 (Revision 2.0; Status 0; PC A.B)\"\n",
         2, 2, "begins as the updater's"},
        {"a line longer than 64 KiB",
         good + "10.0.0.6 - - [08/Dec/2026:10:00:00 +0000] \"GET /" + std::string(70000, 'a') +
             " HTTP/1.1\" 414 0 \"-\" \"-\"\n" + good,
         1, 2, "longer than 64 KiB"},
        {"an IIS line before #Fields", iisHead + iisGood + iisFields + iisGood, 1, 2,
         "before any #Fields"},
        {"IIS fields without the User-Agent",
         iisHead + "#Fields: date time cs-method cs-uri-stem c-ip sc-status\n" +
             "2026-12-08 10:00:00 GET /u/revision.ini 10.0.0.5 200\n" + iisFields + iisGood,
         1, 3, "names no cs(User-Agent)"},
        {"an IIS line of too few fields",
         iisHead + iisFields + iisGood + "2026-12-08 10:00:00 GET /u/revision.ini 200\n", 1, 4,
         "not as many fields"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogFolder logs;
        PcTally tally(0);
        const LogReading reading = readAccessLog(logs.write("access.log", c.bytes), "", tally);
        EXPECT_EQ(reading.unreadable, c.unreadable);
        EXPECT_EQ(reading.firstUnreadable, c.first);
        EXPECT_NE(reading.firstWhy.find(c.why), std::string::npos) << reading.firstWhy;
        EXPECT_EQ(test::pcLines(tally).substr(0, 12), "GUT 10.0.0.5") << "the good lines count";
    }
}

TEST(AccessLogs, AFileOfNoKnownFormatOrThatCannotBeReadIsAnErrorNamingIt) {
    const std::string nginx =
        "127.0.0.1 - - [08/Dec/2026:10:32:42 +0000] \"GET /r.ini HTTP/1.1\" 200 16 \"-\" \"x\"\n";
    const std::string compressed = test::gzipped(nginx + nginx);
    std::string damaged = compressed;
    damaged[12] = static_cast<char>(damaged[12] ^ 0x55);
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"nginx's error log",
         "2026/12/08 10:32:42 [error] 8084#8084: *2 open() \"/srv/www/x\" failed (2: No such file "
         "or directory), client: 127.0.0.1, server: , request: \"GET /x HTTP/1.1\"\n",
         "not an access log of a format fleet knows: nginx and Apache \"combined\""},
        {"JSON lines", "{\"time\":\"2026-12-08T10:00:00Z\",\"ua\":\"Morvane-Updater/1.0.0.0\"}\n",
         "IIS W3C extended (with #Fields:)"},
        {"binary bytes", std::string("\x00\x01\x02\xff\n\x7f", 6), "format fleet knows"},
        {"the common format",
         "10.0.0.6 - - [08/Dec/2026:10:00:00 +0000] \"GET /u/revision.ini HTTP/1.1\" 200 9\n",
         "the common format, which holds no User-Agent"},
        {"damaged gzip", damaged, "damaged compressed data"},
        {"gzip cut short", compressed.substr(0, compressed.size() - 12), "ends early"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogFolder logs;
        PcTally tally(0);
        const std::string path = logs.write("access.log", c.bytes);
        try {
            readAccessLog(path, "", tally);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
        }
    }
    test::LogFolder logs;
    PcTally tally(0);
    EXPECT_THROW(readAccessLog(logs.path("missing.log"), "", tally), std::runtime_error);
    const LogReading empty = readAccessLog(logs.write("empty.log", ""), "", tally);
    EXPECT_FALSE(empty.format.has_value()) << "a log just rotated is no error";
}

TEST(AccessLogs, ALogLargerThanTheBufferStreamsThroughIt) {
    // 3 MiB of lines, with and without gzip: lines cross the ends of the
    // 1 MiB line buffer and of the 64 KiB pieces of compressed data.
    std::string text;
    int updaterLines = 0;
    for (int i = 0; text.size() < std::size_t{3} * 1024 * 1024; ++i) {
        const bool updater = i % 10 == 3;
        updaterLines += updater ? 1 : 0;
        text += "10.0." + std::to_string(i % 200) + ".1 - - [08/Dec/2026:10:00:00 +0000] \"GET " +
                (updater ? "/u/revision.ini" : "/static/p" + std::to_string(i) + ".png") +
                " HTTP/1.1\" 200 1234 \"-\" \"" +
                (updater ? "Morvane-Updater/1.0.0.0 (Revision 2.0; Status 0; PC PC" +
                               std::to_string(i / 10 % 50) + ")"
                         : "Mozilla/5.0") +
                "\"" + (i % 2 == 0 ? "\r\n" : "\n");
    }
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "gzip" : "plain");
        test::LogFolder logs;
        PcTally tally(0);
        const LogReading reading = readAccessLog(
            logs.write("access.log", compressed ? test::gzipped(text) : text), "", tally);
        EXPECT_EQ(reading.unreadable, 0) << reading.firstWhy;
        EXPECT_EQ(reading.descriptionRequests, updaterLines);
        EXPECT_EQ(tally.pcs().size(), 50u);
    }
}

}  // namespace
}  // namespace morvane::fleet
