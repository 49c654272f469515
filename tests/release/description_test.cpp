#include "release/release.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "release/block_grammar.h"
#include "release/description_writer.h"
#include "release/settings.h"
#include "release/windows1252.h"

namespace morvane {
namespace {

Release read(const std::string& bytes) {
    return parseRelease(bytes);
}

TEST(Release, ReadsHeadBlocksByTitleAndFileBlocksByPosition) {
    const Release d = read(
        "[Titel]\r\nT\r\n[Version]\r\n2\r\n[Msg-Typ]\r\n1\r\n[Beschreibung]\r\nEins\r\nZwei\r\n"
        "[A]\r\nQuelle = a.txt\r\nZiel=lib/a.txt\r\nGr\xF6\xDF"
        "e = 12\r\nZiel = b.txt\r\nx = y = z\r\n[Startdatei]\r\nA.xlsm\r\n");
    EXPECT_EQ(d.version, "2");
    EXPECT_EQ(d.title, "T");
    EXPECT_EQ(d.messageType, "1");
    EXPECT_EQ(d.notes, "Eins\r\nZwei\r\n");
    EXPECT_EQ(d.startFile, "A.xlsm");
    ASSERT_EQ(d.files.size(), 1u);
    const FileEntry& a = d.files[0];
    EXPECT_EQ(a.position, 5);
    EXPECT_EQ(a.title, "A");
    EXPECT_EQ(a.target, "lib\\a.txt");  // the first "Ziel" counts, as Windows reads it
    EXPECT_EQ(a.size, 12);
    EXPECT_FALSE(a.sha256);
    EXPECT_EQ(a.values, (std::map<std::string, std::string>{{"Gr\xC3\xB6\xC3\x9F"
                                                             "e",
                                                             "12"},
                                                            {"Quelle", "a.txt"},
                                                            {"Ziel", "lib/a.txt"}}));
    EXPECT_EQ(a.line, 10);
    EXPECT_EQ(a.lineOf("Ziel"), 12);
    EXPECT_EQ(a.lineOf("SHA256"), 10);
    EXPECT_EQ(d.blocks.back().line, 16);
}

TEST(Release, BytesOfNoUnicodeFormAreWindows1252WhateverTheCodePage) {
    EXPECT_EQ(descriptionText("Gr\xF6\xDF"
                              "e.xlsm \x80"),
              "Größe.xlsm €");
    EXPECT_EQ(descriptionText("Gr\xC3\xB6\xC3\x9F"
                              "e.xlsm"),
              "Größe.xlsm");
}

TEST(Settings, AnotherEncodingAppendedMakesTheFileUnreadable) {
    const std::string ansi = "[Adresse]\r\nhttp://h/r.ini\r\n";
    const struct {
        const char* name;
        std::string bytes;
        bool readable;
    } cases[] = {
        {"ANSI", ansi, true},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + ansi, true},
        {"UTF-16 LE as a whole", std::string("\xFF\xFE[\0A\0]\0\r\0\n\0", 12), true},
        {"UTF-16 LE appended", ansi + std::string("[\0S\0]\0", 6), false},
        {"UTF-16 LE with its mark appended", ansi + std::string("\xFF\xFE[\0S\0]\0", 8), false},
        {"UTF-8 block with its mark appended", ansi + "\xEF\xBB\xBF[Signatur]\r\n", false},
        {"UTF-16 LE of an odd length", std::string("\xFF\xFE[\0A\0]", 7), false},
        {"UTF-16 LE with a mark inside", std::string("\xFF\xFE[\0\xFF\xFE]\0", 8), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(!settingsTextFault(c.bytes).has_value(), c.readable);
    }
}

TEST(Release, TheWriterWritesWhatTheReaderReadsBackOrRefuses) {
    Release d;
    d.version = "2.1";
    d.title = "Umsatz \xC3\xBC";
    d.messageType = "0";
    d.notes = "- Neu\r\n";
    d.startFile = "A.xlsm";
    FileEntry file;
    file.title = "lib/a b.txt";
    file.source = "lib/a b.txt";
    file.target = "lib\\a b.txt";
    file.sha256 = std::string(64, 'a');
    file.size = 3;
    d.files = {file};
    const Release back = read(descriptionText(d));
    EXPECT_EQ(back.version, d.version);
    EXPECT_EQ(back.title, d.title);
    EXPECT_EQ(back.notes, d.notes);
    EXPECT_EQ(back.startFile, d.startFile);
    ASSERT_EQ(back.files.size(), 1u);
    EXPECT_EQ(back.files[0].title, file.title);
    EXPECT_EQ(back.files[0].values.size(), 4u);
    EXPECT_EQ(back.files[0].values.at("Gr\xC3\xB6\xC3\x9F"
                                      "e"),
              "3");

    const auto refused = [&](auto change) {
        Release broken = d;
        change(broken);
        EXPECT_THROW(descriptionText(broken), std::runtime_error);
    };
    refused([](Release& b) { b.version = "[2.1]"; });
    refused([](Release& b) { b.title = ";T"; });
    refused([](Release& b) { b.notes = "[Startdatei]\r\n"; });
    refused([](Release& b) { b.startFile = "A\nB"; });
    refused([](Release& b) { b.files[0].source = "a=b"; });
    refused([](Release& b) { b.files[0].target = " a"; });
    refused([](Release& b) { b.files[0].title = "startdatei"; });
    refused([](Release& b) { b.files[0].target = "\xCE\xA9"; });
}

}  // namespace
}  // namespace morvane
