#include "blockfile/file_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_file_system.h"

namespace morvane {
namespace {

const char* const kFile = "C:\\data\\f.txt";

struct LineCase {
    const char* name;
    std::string content;
    std::vector<std::string> lines;
};

const std::vector<LineCase> kLineCases = {
    {"crlf, no final end", "a\r\nb", {"a", "b"}},
    {"lone cr and crlf", "a\rb\r\n", {"a", "b"}},
    {"lone lf does not end a line", "a\nb\n", {"a\nb\n"}},
    {"empty line before end", "a\r\n\r\n", {"a", ""}},
    {"empty file", "", {}},
    {"single cr", "\r", {""}},
    {"cr then crlf", "\r\r\n", {"", ""}},
    {"lf after crlf starts next line", "a\r\n\nb", {"a", "\nb"}},
    {"cr lf cr", "x\r\n\ry", {"x", "", "y"}},
};

// Every case with buffers that split the CR LF pair at each position.
TEST(FileReaderLines, EndsLinesAtCrLfAndLoneCrOnly) {
    for (const int bufferSize : {1, 2, 3, 1024}) {
        for (const LineCase& c : kLineCases) {
            SCOPED_TRACE(std::string(c.name) + ", buffer " + std::to_string(bufferSize));
            test::FakeFileSystem files;
            files.addFile(kFile, c.content);
            FileReader reader(files);
            ASSERT_TRUE(reader.Init(kFile, 2, bufferSize));
            std::vector<std::string> lines;
            while (!reader.EndOfFile()) {
                lines.push_back(reader.ReadLine());
            }
            EXPECT_EQ(lines, c.lines);
        }
    }
}

class FileReaderTest : public ::testing::Test {
protected:
    test::FakeFileSystem files;
};

TEST_F(FileReaderTest, ReadTextKeepsLineEnds) {
    files.addFile(kFile, "ab\r\ncd");
    FileReader reader(files);
    ASSERT_TRUE(reader.Init(kFile));
    EXPECT_EQ(reader.ReadText(3), "ab\r");
    FileReader fresh(files);
    ASSERT_TRUE(fresh.Init(kFile));
    EXPECT_EQ(fresh.ReadText(6), "ab\r\ncd");
}

TEST_F(FileReaderTest, ReadAllGivesTheWholeFileOnlyOnAFreshReader) {
    files.addFile(kFile, "12\r\n45\n789");
    FileReader reader(files);
    ASSERT_TRUE(reader.Init(kFile, 2, 4));
    EXPECT_EQ(reader.Size(), 10);
    EXPECT_EQ(reader.ReadAll(), "12\r\n45\n789");
    ASSERT_TRUE(reader.Init(kFile));
    reader.ReadText(1);
    try {
        reader.ReadAll();
        FAIL() << "reading past the end must fail";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::ReadPastEnd);
    }
}

TEST_F(FileReaderTest, CountLinesRewindsToTheFirstByte) {
    files.addFile(kFile, "one\r\ntwo\r\nthree");
    FileReader reader(files);
    ASSERT_TRUE(reader.Init(kFile, 2, 2));
    EXPECT_EQ(reader.CountLines(), 3);
    EXPECT_EQ(reader.ReadLine(), "one");
    reader.ReadLine();
    reader.SetPos(1);
    EXPECT_EQ(reader.ReadLine(), "one");
    reader.SetPos(6);
    EXPECT_EQ(reader.ReadLine(), "two");
}

TEST_F(FileReaderTest, ReadBytesAreRaw) {
    files.addFile(kFile, std::string("\xE4\0\r", 3));
    FileReader reader(files);
    ASSERT_TRUE(reader.Init(kFile));
    EXPECT_EQ(reader.ReadBytes(3), (std::vector<std::uint8_t>{0xE4, 0x00, 0x0D}));
    EXPECT_TRUE(reader.EndOfFile());
}

#ifndef _WIN32
TEST_F(FileReaderTest, TextIsDecodedFromWindows1252) {
    files.addFile(kFile, "\xC4rger \x80\r\n");
    FileReader reader(files);
    ASSERT_TRUE(reader.Init(kFile));
    EXPECT_EQ(reader.ReadLine(), "Ärger €");
}
#endif

TEST_F(FileReaderTest, FailuresOfReadsAndClosedReaders) {
    files.addFile(kFile, "x");
    const auto expectFailure = [](int number, auto&& action) {
        try {
            action();
            ADD_FAILURE() << "expected failure " << number;
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), number);
        }
    };
    FileReader reader(files);
    expectFailure(err::InvalidCall, [&] { reader.ReadLine(); });
    expectFailure(err::InvalidCall, [&] { (void)reader.EndOfFile(); });
    ASSERT_TRUE(reader.Init(kFile));
    expectFailure(err::InvalidCall, [&] { reader.SetPos(0); });
    EXPECT_EQ(reader.ReadLine(), "x");
    expectFailure(err::ReadPastEnd, [&] { reader.ReadLine(); });
    expectFailure(err::ReadPastEnd, [&] { reader.CountLines(); });
    reader.CloseFile();
    reader.CloseFile();
    expectFailure(err::InvalidCall, [&] { reader.Size(); });
}

TEST_F(FileReaderTest, InitRefusesMissingFilesAndBadArguments) {
    files.addFile(kFile, "x");
    FileReader reader(files);
    EXPECT_FALSE(reader.Init("C:\\missing.txt"));
    reader.CloseFile();
    EXPECT_FALSE(reader.Init(kFile, 4));
    EXPECT_FALSE(reader.Init(kFile, -1));
    EXPECT_FALSE(reader.Init(kFile, 2, 0));
    EXPECT_FALSE(reader.Init(kFile, 2, 32768));
    EXPECT_TRUE(reader.Init(kFile, 0, 32767));
}

}  // namespace
}  // namespace morvane
