#include "common/PictureSources.h"

#include <gtest/gtest.h>

#include <functional>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/TestSupport.h"

namespace {

QString SourcePictures() {
    return QFileInfo(SourcePath(QStringLiteral("resources/images"))).canonicalFilePath();
}

// The same path with its folder written canonically, so that paths through links compare equal.
QString CanonicalFolder(const QString &path) {
    const QFileInfo info(path);
    return QFileInfo(info.path()).canonicalFilePath() + QLatin1Char('/') + info.fileName();
}

// Each case starts in a fresh, empty folder, like a program started from an unrelated folder.
class StartFolder final {
  public:
    StartFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~StartFolder() { QDir::setCurrent(previous_); }
    StartFolder(const StartFolder &) = delete;
    StartFolder &operator=(const StartFolder &) = delete;

    QString Path(const QString &name) const {
        return QFileInfo(dir_.path()).canonicalFilePath() + QLatin1Char('/') + name;
    }

  private:
    QTemporaryDir dir_;
    QString previous_;
};

TEST(PictureSources, FoldersAreStartInstalledThenSourceTreeForABuildFolderProgram) {
    const StartFolder start;
    const QStringList folders = PictureSourceFolders();
    ASSERT_EQ(folders.size(), 3);
    EXPECT_EQ(folders[0], QDir::currentPath());
    // The installed pictures lie in share/tarvex beside the program's bin folder.
    EXPECT_EQ(folders[1], QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/../share/tarvex")));
    // This test program runs from the build folder, so the source tree's pictures come last.
    EXPECT_EQ(QFileInfo(folders[2]).canonicalFilePath(), SourcePictures());
}

TEST(PictureSources, FirstFolderThatHoldsThePictureWins) {
    struct Case {
        const char *name;
        std::function<void(const StartFolder &)> prepare;
        QString picture;
        std::function<QString(const StartFolder &)> expected;
    };
    const auto write = [](const QString &path) { WriteBytes(path, "picture"); };
    const Case cases[] = {
        {"the start folder comes first, as it always has",
         [&](const StartFolder &start) { write(start.Path(QStringLiteral("Marker.png"))); },
         QStringLiteral("Marker.png"),
         [](const StartFolder &start) { return start.Path(QStringLiteral("Marker.png")); }},
        {"an empty start folder falls back to the source tree", [](const StartFolder &) {},
         QStringLiteral("Flag.png"),
         [](const StartFolder &) { return SourcePictures() + QStringLiteral("/Flag.png"); }},
        {"a folder of that name in the start folder is no picture",
         [](const StartFolder &start) { QDir().mkdir(start.Path(QStringLiteral("Marker.png"))); },
         QStringLiteral("Marker.png"),
         [](const StartFolder &) { return SourcePictures() + QStringLiteral("/Marker.png"); }},
        {"a link in the start folder is followed",
         [](const StartFolder &start) {
             QFile::link(SourcePictures() + QStringLiteral("/Flag.png"),
                         start.Path(QStringLiteral("Flag.png")));
         },
         QStringLiteral("Flag.png"),
         [](const StartFolder &start) { return start.Path(QStringLiteral("Flag.png")); }},
        {"a picture found nowhere is looked for in the start folder, where the copy then fails",
         [](const StartFolder &) {}, QStringLiteral("Missing.png"),
         [](const StartFolder &start) { return start.Path(QStringLiteral("Missing.png")); }},
    };
    for (const Case &c : cases) {
        const StartFolder start;
        c.prepare(start);
        EXPECT_EQ(CanonicalFolder(PictureSource(c.picture)), c.expected(start)) << c.name;
    }
}

}  // namespace
