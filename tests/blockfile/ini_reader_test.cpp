#include "blockfile/ini_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"

namespace morvane {
namespace {

const char* const kFile = "C:\\app\\Updater.ini";

class IniReaderTest : public ::testing::Test {
protected:
    IniReader& load(const std::string& content) {
        files.addFile(kFile, content);
        EXPECT_TRUE(reader.Init(kFile));
        return reader;
    }
    test::FakeFileSystem files;
    IniReader reader{files};
};

struct BlockCase {
    const char* name;
    std::string content;
    // Expected blocks in order: text of each.
    std::vector<std::string> texts;
};

const std::vector<BlockCase> kBlockCases = {
    {"empty file", "", {""}},
    {"no header", "abc", {"abc\r\n"}},
    {"lines before the first header join it",
     ";comment\r\nx\r\n[A]\r\na",
     {";comment\r\nx\r\na\r\n"}},
    {"lines after [] join the next block",
     "[A]\r\na\r\n[]\r\nx\r\n[B]\r\nb",
     {"a\r\n", "x\r\nb\r\n"}},
    {"[] at the end leaves an empty last block", "[A]\r\na\r\n[]", {"a\r\n", ""}},
    {"header as last line", "[A]\r\na\r\n[B]", {"a\r\n", ""}},
    {"lines after a trailing [] form an untitled block", "[A]\r\n[]\r\nx", {"", "x\r\n"}},
    {"untrimmed headers are content", " [A]\r\n[A] \r\n[A", {" [A]\r\n[A] \r\n[A\r\n"}},
    {"lone LF ends no line", "[A]\na\n", {"[A]\na\n\r\n"}},
    {"empty lines and comments stay", "[A]\r\n\r\n;c\r\n", {"\r\n;c\r\n"}},
};

TEST_F(IniReaderTest, SplitsFilesIntoBlocks) {
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(c.name);
        load(c.content);
        ASSERT_EQ(reader.BlockCount(), static_cast<std::int32_t>(c.texts.size()));
        for (std::size_t i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ(reader.GetBlock(static_cast<std::int32_t>(i + 1)), c.texts[i]) << i + 1;
        }
    }
}

TEST_F(IniReaderTest, TitlesIgnoreCaseAndTheFirstOfATitleWins) {
    load("[Version]\r\n1.2.0\r\n[Titel]\r\n[Ziel]\r\nfirst\r\n[ZIEL]\r\nsecond\r\n[ A ]\r\nx");
    EXPECT_EQ(reader.GetLine("Version"), "1.2.0");
    EXPECT_EQ(reader.GetLine("VERSION"), "1.2.0");
    EXPECT_EQ(reader.BlockCount(), 5);
    EXPECT_EQ(reader.GetBlock("Ziel"), "first\r\n");
    EXPECT_EQ(reader.GetBlock(4), "second\r\n");
    EXPECT_EQ(reader.GetBlock("A"), "");
    EXPECT_EQ(reader.GetBlock(" a "), "x\r\n");
}

TEST_F(IniReaderTest, TitlesIgnoreCaseOfUmlauts) {
    load("[\xC4nderungen]\r\nx");  // the file holds Windows-1252 bytes
    EXPECT_EQ(reader.GetLine("äNDERUNGEN"), "x");
}

TEST_F(IniReaderTest, AByteOrderMarkMakesTheFileUtf8) {
    load(
        "\xEF\xBB\xBF[\xC3\x84nderungen]\r\nGr\xC3\xB6\xC3\x9F"
        "e \xFF\r\n[B]\r\n\xEF\xBB\xBFx");
    EXPECT_EQ(reader.BlockCount(), 2);
    EXPECT_EQ(reader.GetLine("äNDERUNGEN"), "Größe \uFFFD");
    EXPECT_EQ(reader.GetLine("B"), "\uFEFFx");  // a mark further on is text
}

// `text` (ASCII and Latin-1 only) as UTF-16 with its byte order mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST_F(IniReaderTest, ReadsTheEncodingsWindowsEditorsSave) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"UTF-8 with mark",
         "\xEF\xBB\xBF[A]\r\n\xC3\x9C"
         "bersicht.xlsm"},
        {"UTF-8 without mark",
         "[A]\r\n\xC3\x9C"
         "bersicht.xlsm"},
        {"ANSI",
         "[A]\r\n\xDC"
         "bersicht.xlsm"},
        {"UTF-16 LE", utf16(u"[A]\r\n\u00DCbersicht.xlsm", false)},
        {"UTF-16 BE", utf16(u"[A]\r\n\u00DCbersicht.xlsm", true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.bytes);
        EXPECT_EQ(reader.GetLine("A"), "Übersicht.xlsm");
    }
}

TEST_F(IniReaderTest, DigitsAreATitleNotAPosition) {
    load("[2]\r\nby title\r\n[B]\r\nby position");
    EXPECT_EQ(reader.GetLine("2"), "by title");
    EXPECT_EQ(reader.GetLine(2), "by position");
}

TEST_F(IniReaderTest, MissingBlocksGiveEmptyText) {
    load("[A]\r\na");
    for (const BlockSelector& missing :
         {BlockSelector("B"), BlockSelector(0), BlockSelector(2), BlockSelector(-1)}) {
        EXPECT_EQ(reader.GetBlock(missing), "");
        EXPECT_EQ(reader.GetLine(missing), "");
        EXPECT_EQ(reader.GetValue(missing, "a"), "");
    }
}

TEST_F(IniReaderTest, GetLineSkipsCommentsAndCountsThem) {
    load("[A]\r\na\r\nb\r\n[C]\r\n;x\r\ny\r\n[E]\r\n\r\nz");
    const std::vector<std::pair<std::int32_t, std::string>> a = {
        {0, "a"}, {1, "b"}, {2, ""}, {3, ""}, {-1, ""}};
    for (const auto& [index, line] : a) {
        EXPECT_EQ(reader.GetLine("A", index), line) << index;
    }
    EXPECT_EQ(reader.GetLine("C", 0), "y");
    EXPECT_EQ(reader.GetLine("C", 1), "y");
    EXPECT_EQ(reader.GetLine("E", 0), "");
    EXPECT_EQ(reader.GetLine("E", 1), "z");
}

TEST_F(IniReaderTest, GetValueTakesLinesWithExactlyOneEquals) {
    load(
        "[F]\r\nQuelle=a=b\r\nquelle=lower\r\n;Ziel=c\r\nQuelle\t= tab\r\n"
        "Quelle = a.txt\r\nQuelle=b.txt\r\n=empty name\r\nZiel=\r\n  Pfad  =  x y  \r\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Quelle", "a.txt"}, {"quelle", "lower"}, {";Ziel", "c"}, {"Ziel", ""},
        {"", "empty name"},  {"Pfad", "x y"},     {"  Pfad", ""}, {"Quelle\t", "tab"},
    };
    for (const auto& [key, value] : cases) {
        EXPECT_EQ(reader.GetValue("F", key), value) << key;
    }
}

TEST_F(IniReaderTest, GetValueCountsLinesIn16Bits) {
    const auto block = [](const std::string& first, int fillers, const std::string& last) {
        std::string text = "[B]\r\n" + first;
        for (int i = 0; i < fillers; ++i) {
            text += "x\r\n";
        }
        return text + last;
    };
    // 32,767 lines with the key on the last one: found.
    load(block("", 32766, "k=v\r\n"));
    EXPECT_EQ(reader.GetValue("B", "k"), "v");
    // The same block without a match has to scan past the last countable line.
    EXPECT_THROW(reader.GetValue("B", "missing"), Failure);
    // 32,768 lines are too many to count, wherever the key stands.
    load(block("k=v\r\n", 32767, ""));
    try {
        reader.GetValue("B", "k");
        FAIL() << "expected an overflow";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::Overflow);
    }
    EXPECT_EQ(reader.GetLine("B", 32767), "x");
}

TEST_F(IniReaderTest, FailedInitEmptiesTheReader) {
    load("[A]\r\na");
    EXPECT_FALSE(reader.Init("C:\\missing.ini"));
    EXPECT_EQ(reader.BlockCount(), 0);
    EXPECT_EQ(reader.GetBlock(1), "");
}

// Whatever the file holds, the reader reads it or fails with a catalogue failure.
TEST_F(IniReaderTest, MalformedInputNeverBreaksTheReader) {
    std::mt19937 random(20241205);
    const std::string alphabet = std::string("[]=;\r\n \t\xE4\x80\0ab\0", 14);
    for (int round = 0; round < 300; ++round) {
        std::string content(random() % 4096, '\0');
        for (char& c : content) {
            c = round % 2 == 0 ? alphabet[random() % alphabet.size()]
                               : static_cast<char>(random() % 256);
        }
        load(content);
        EXPECT_GE(reader.BlockCount(), 1);
        for (std::int32_t i = 0; i <= reader.BlockCount() + 1; ++i) {
            (void)reader.GetLine(i, 1);
            (void)reader.GetValue(i, "a");
        }
    }
    load(std::string(8 << 20, 'x'));  // one line of 8 MiB, no line end
    EXPECT_EQ(reader.GetBlock(1).size(), (8u << 20) + 2);

    std::string many;
    for (int i = 0; i < 20000; ++i) {
        many += "[B" + std::to_string(i % 5000) + "]\r\nk=" + std::to_string(i) + "\r\n";
    }
    load(many);
    EXPECT_EQ(reader.BlockCount(), 20000);
    EXPECT_EQ(reader.GetValue("b4999", "k"), "4999");
    EXPECT_EQ(reader.GetValue(20000, "k"), "19999");
}

}  // namespace
}  // namespace morvane
