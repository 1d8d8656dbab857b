// The picture generator as the build runs it: it writes the whole set into the folder it is
// given and reports failures through its exit status.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "assets/pictures.h"

namespace qarv::test {
namespace {

int RunGenerator(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QARV_PICTURE_GENERATOR), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return process.exitCode();
}

TEST(PictureGenerator, WritesEveryPictureIntoTheGivenFolder) {
    QTemporaryDir output;
    ASSERT_TRUE(output.isValid());
    const QString target = QDir(output.path()).filePath("install/here");
    ASSERT_EQ(RunGenerator({target}), 0);
    for (const assets::Picture& picture : assets::AllPictures()) {
        const QString path = QDir(target).filePath(picture.path);
        EXPECT_FALSE(QImage(path).isNull()) << path.toStdString();
    }
    // Nothing else.
    int files = 0;
    for (const QString& folder : QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        files += QDir(QDir(target).filePath(folder)).entryList(QDir::Files).size();
    }
    EXPECT_EQ(files, static_cast<int>(assets::AllPictures().size()));
}

TEST(PictureGenerator, ReportsAWrongCommandLine) {
    EXPECT_EQ(RunGenerator({}), 2);
    EXPECT_EQ(RunGenerator({"one", "two"}), 2);
}

TEST(PictureGenerator, ReportsAFolderItCannotWrite) {
    QTemporaryDir output;
    ASSERT_TRUE(output.isValid());
    // A plain file where the folder should be.
    const QString blocked = QDir(output.path()).filePath("blocked");
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(RunGenerator({blocked}), 1);
}

}  // namespace
}  // namespace qarv::test
