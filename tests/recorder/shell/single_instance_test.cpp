// The single running instance between processes. This program plays the other start itself:
// "--acquire FOLDER" ends with 10 + the result of an Acquire that waits 300 ms at most.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <string>

#include "common/qt/single_instance.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

constexpr int kExitOffset = 10;

int AcquireElsewhere(const std::string& folder) {
    return QProcess::execute(QCoreApplication::applicationFilePath(),
                             {"--acquire", QString::fromStdString(folder)}) -
           kExitOffset;
}

// An instance that is ending (no longer answering) but does not end is waited for only so long;
// its lock stands for its folder, however it is spelt, and for no other.
TEST(SingleInstanceTest, StartGivesUpOnAnInstanceThatNeitherAnswersNorEnds) {
    test::TempDir dir;
    test::TempDir otherDir;
    SingleInstance mine(dir.path());
    ASSERT_EQ(mine.Acquire(5000), SingleInstance::kOwner);
    mine.StopListening();
    EXPECT_EQ(AcquireElsewhere(dir.path()), SingleInstance::kBusy);
    EXPECT_EQ(AcquireElsewhere(dir.path() + "/."), SingleInstance::kBusy);
    EXPECT_EQ(AcquireElsewhere(otherDir.path()), SingleInstance::kOwner);
}

}  // namespace
}  // namespace qarv

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == "--acquire")
        return qarv::kExitOffset + qarv::SingleInstance(arguments[2].toStdString()).Acquire(300);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
