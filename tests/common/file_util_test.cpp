#include "common/file_util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/paths.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

int CountEntries(const std::string& dir) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++count;
    return count;
}

TEST(FileUtilTest, AtomicWriteReplacesAndKeepsMode) {
    TempDir dir;
    const std::string path = dir.file("a.xml");
    ASSERT_EQ(WriteFileAtomically(path, "first"), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(WriteFileAtomically(path, "second"), 0);
    EXPECT_EQ(ReadFileText(path), "second");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(CountEntries(dir.path()), 1);  // no temporary file left
}

TEST(FileUtilTest, AtomicWriteIntoMissingFolderFails) {
    TempDir dir;
    EXPECT_EQ(WriteFileAtomically(dir.file("no/such/file"), "x"), -1);
}

TEST(FileUtilTest, ReadWholeFileLimitsAndMissing) {
    TempDir dir;
    std::string out;
    EXPECT_EQ(ReadWholeFile(dir.file("missing"), 10, out), kReadMissing);
    EXPECT_EQ(ReadWholeFile(dir.path(), 10, out), kReadMissing);  // a folder is no file
    WriteFileText(dir.file("f"), "0123456789");
    EXPECT_EQ(ReadWholeFile(dir.file("f"), 10, out), kReadOk);
    EXPECT_EQ(out, "0123456789");
    EXPECT_EQ(ReadWholeFile(dir.file("f"), 9, out), kReadTooLarge);
}

TEST(FileUtilTest, DirectoriesAndPaths) {
    TempDir dir;
    EXPECT_EQ(CreateDirectoryIfMissing(dir.file("Video")), 0);
    EXPECT_EQ(CreateDirectoryIfMissing(dir.file("Video")), 0);
    EXPECT_TRUE(DirectoryExists(dir.file("Video")));
    WriteFileText(dir.file("Log"), "a file in the way");
    EXPECT_EQ(CreateDirectoryIfMissing(dir.file("Log")), -1);
    EXPECT_FALSE(DirectoryExists(dir.file("Log")));
    EXPECT_TRUE(FileExists(dir.file("Log")));

    EXPECT_EQ(JoinPath("a", "b"), "a/b");
    EXPECT_EQ(JoinPath("a/", "b"), "a/b");
    EXPECT_EQ(JoinPath("", "Icon"), "Icon");
    EXPECT_EQ(BaseName("/x/y/capturer"), "capturer");
    EXPECT_EQ(BaseName("capturer"), "capturer");
    EXPECT_EQ(ExecutableName("capturer"), "capturer");
}

}  // namespace
}  // namespace qarv
