#include "recorder/recording/file_number.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "recorder/library/qarv_file_management.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

// Creates empty files quickly (a full folder needs 10,000 of them).
void Touch(const test::TempDir& dir, const std::string& name) {
    const int fd = ::open(dir.file(name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
}

// The number found in a folder holding exactly `names`, or "-1" on failure.
std::string NumberFor(std::initializer_list<const char*> names) {
    test::TempDir dir;
    for (const char* name : names)
        Touch(dir, name);
    std::string number = "unset";
    const int result = FindFreeFileNumber(dir.path(), number);
    return result == 0 ? number : std::to_string(result) + number;
}

TEST(FindFreeFileNumberTest, EmptyFolderGivesZero) {
    EXPECT_EQ(NumberFor({}), "0");
}

TEST(FindFreeFileNumberTest, SmallestNumberNotTaken) {
    EXPECT_EQ(NumberFor({"0.flv", "1.flv", "3.flv", "0_1.jpeg"}), "2");
    EXPECT_EQ(NumberFor({"2.flv", "2.ts"}), "0");
    EXPECT_EQ(NumberFor({"0.flv", "0.ts", "1.mts"}), "2");
}

TEST(FindFreeFileNumberTest, StemsAreReadAsAtoi) {
    // A stem without leading digits counts as 0.
    EXPECT_EQ(NumberFor({"abc.flv"}), "1");
    // Leading zeros, trailing text, a name without extension, only the last dot counts.
    EXPECT_EQ(NumberFor({"0.flv", "001.flv", "2x.flv", "3", "4.5.flv"}), "5");
    // Negative and out-of-range values take no number.
    EXPECT_EQ(NumberFor({"-1.flv", "10000.flv", "99999999999.flv"}), "0");
}

TEST(FindFreeFileNumberTest, ThumbnailsAreSkipped) {
    // A stem with an underscore never takes a number, even if it starts with one.
    EXPECT_EQ(NumberFor({"0_0.jpeg", "0_1.jpeg", "1_2.jpeg"}), "0");
    EXPECT_EQ(NumberFor({"0.flv", "1_a.b.jpeg"}), "1");
}

TEST(FindFreeFileNumberTest, DirectoriesAreSkipped) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("0"));
    std::filesystem::create_directory(dir.file("1.flv"));
    Touch(dir, "2.flv");
    std::string number;
    ASSERT_EQ(FindFreeFileNumber(dir.path(), number), 0);
    EXPECT_EQ(number, "0");
}

TEST(FindFreeFileNumberTest, MissingFolderFails) {
    test::TempDir dir;
    std::string number = "unset";
    EXPECT_EQ(FindFreeFileNumber(dir.file("missing"), number), -1);
    EXPECT_EQ(number, "");
    // A file is not a folder.
    Touch(dir, "0.flv");
    EXPECT_EQ(FindFreeFileNumber(dir.file("0.flv"), number), -1);
}

TEST(FindFreeFileNumberTest, FullFolderFailsAndTheLastNumberIsFound) {
    test::TempDir dir;
    for (int n = 0; n < kMaxFileNumbers; ++n) {
        if (n != kMaxFileNumbers - 1)
            Touch(dir, std::to_string(n) + ".flv");
    }
    std::string number;
    ASSERT_EQ(FindFreeFileNumber(dir.path(), number), 0);
    EXPECT_EQ(number, "9999");

    Touch(dir, "9999.ts");
    EXPECT_EQ(FindFreeFileNumber(dir.path(), number), -1);
    EXPECT_EQ(number, "");
}

// Numbers the catalogue holds for the day are taken, read as the folder's names are, whether
// their files are there or not (a recording deleted by hand keeps its entry).
TEST(FindFreeFileNumberTest, NamesTheCatalogueHoldsAreTaken) {
    test::TempDir dir;
    const std::string day = dir.file("2014_9_9");
    std::filesystem::create_directory(day);
    Touch(dir, "2014_9_9/1.flv");
    test::WriteFileText(
        dir.file("VideoInfo.xml"),
        "<VideoRoot><DateList Date=\"2014_9_9\"><Element>0.flv</Element><Element>3_0.ts</Element>"
        "<Element>002.ts</Element></DateList>"
        "<DateList Date=\"2014_9_10\"><Element>3.flv</Element></DateList></VideoRoot>");
    const QarvFileManagement catalogue(dir.path(), dir.file("VideoInfo.xml"));
    std::string number;
    ASSERT_EQ(FindFreeFileNumber(day, catalogue.GetFileNamesByDate("2014_9_9"), number), 0);
    EXPECT_EQ(number, "3");
    ASSERT_EQ(FindFreeFileNumber(day, {"abc.flv", "2.flv"}, number), 0);
    EXPECT_EQ(number, "3");
    ASSERT_EQ(FindFreeFileNumber(day, number), 0);  // the folder alone
    EXPECT_EQ(number, "0");
}

}  // namespace
}  // namespace qarv
