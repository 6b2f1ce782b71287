// The record file: exact bytes, a line torn by a killed run, two programs
// appending at once, and what a bad path says.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "child_process.h"
#include "units/record.h"

namespace melvorin::units {
namespace {

namespace fs = std::filesystem;

class RecordFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("mlv-record-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string Path(const char* name) const { return (folder_ / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path folder_;
};

TEST_F(RecordFolder, LinesAreAppendedWholeAndATornLastLineGetsItsOwnEnd) {
    const std::string path = Path("units.jsonl");
    {
        RecordFile file(path);  // created
        file.Append({"{\"a\": 1}", "{\"b\": 2}"});
        file.Append({});
    }
    EXPECT_EQ(Read(path), "{\"a\": 1}\n{\"b\": 2}\n");

    // A run killed in the middle of its write left half a line.
    std::ofstream(path, std::ios::binary | std::ios::app) << "{\"c\": ";
    RecordFile again(path);
    again.Append({"{\"d\": 4}"});
    again.Append({"{\"e\": 5}"});
    EXPECT_EQ(Read(path), "{\"a\": 1}\n{\"b\": 2}\n{\"c\": \n{\"d\": 4}\n{\"e\": 5}\n");
}

TEST_F(RecordFolder, TwoProgramsAppendingAtOnceNeverMixTheirLines) {
    const std::string path = Path("shared.jsonl");
    std::ofstream(path, std::ios::binary) << "torn";
    constexpr int kLines = 1000;
    testing::ChildProcess first(RECORD_WRITER_PATH, {path, "first", std::to_string(kLines)});
    testing::ChildProcess second(RECORD_WRITER_PATH, {path, "second", std::to_string(kLines)});
    ASSERT_EQ(first.WaitExit(60000), 0) << first.Stderr();
    ASSERT_EQ(second.WaitExit(60000), 0) << second.Stderr();

    std::istringstream lines(Read(path));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "torn");
    std::map<std::string, int> next;  // each writer's lines whole and in its order
    int count = 0;
    const std::string filler(300, 'x');
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        const std::string tag = line.substr(0, space);
        ASSERT_TRUE(tag == "first" || tag == "second") << line;
        ASSERT_EQ(line, tag + " " + std::to_string(next[tag]++) + " " + filler);
        ++count;
    }
    EXPECT_EQ(count, 2 * kLines);
    EXPECT_EQ(Read(path).back(), '\n');
}

TEST_F(RecordFolder, APathThatCannotBeOpenedNamesItAndTheReason) {
    const std::string missing = Path("no-such-folder") + "/units.jsonl";
    try {
        RecordFile file(missing);
        FAIL() << "opened " << missing;
    } catch (const RecordError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot open the record file \"" + missing + "\": No such file or directory");
    }
    EXPECT_THROW(RecordFile(folder_.string()), RecordError);  // a folder
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace melvorin::units
