#include "common/TX_File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/Errors.h"
#include "support/TestSupport.h"

namespace {

class FileHelpers : public ::testing::Test {
  protected:
    QString Path(const QString &relative) const { return dir_.filePath(relative); }
    QTemporaryDir dir_;
};

// ---- CreateNewFolder ------------------------------------------------------------------------

TEST_F(FileHelpers, CreateNewFolderMakesEveryMissingLevel) {
    struct Case {
        const char *name;
        QString path;
        QString mustExist;
    };
    const Case cases[] = {
        {"three levels, trailing separator", Path("a/b/c/"), Path("a/b/c")},
        {"no trailing separator still makes the last level", Path("d/e"), Path("d/e")},
        {"doubled separators", Path("f//g/"), Path("f/g")},
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(CreateNewFolder(c.path)) << c.name;
        EXPECT_TRUE(QFileInfo(c.mustExist).isDir()) << c.name;
    }
}

TEST_F(FileHelpers, CreateNewFolderOnAnExistingPathCreatesNothing) {
    ASSERT_TRUE(QDir().mkpath(Path("x/y")));
    WriteBytes(Path("x/y/keep.txt"), "kept");
    const QDateTime before = QFileInfo(Path("x/y")).lastModified();

    EXPECT_TRUE(CreateNewFolder(Path("x/y/")));
    EXPECT_TRUE(CreateNewFolder(Path("x/y")));

    EXPECT_EQ(QDir(Path("x/y")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(QFileInfo(Path("x/y")).lastModified(), before);
}

TEST_F(FileHelpers, CreateNewFolderFailures) {
    EXPECT_FALSE(CreateNewFolder(QString()));
    EXPECT_FALSE(CreateNewFolder(QStringLiteral("/")));

    // A file standing where a level should be: that level cannot be made, the ones above stay.
    ASSERT_TRUE(QDir().mkpath(Path("p")));
    WriteBytes(Path("p/blocker"), "file");
    EXPECT_FALSE(CreateNewFolder(Path("p/blocker/q/")));
    EXPECT_TRUE(QFileInfo(Path("p")).isDir());
    EXPECT_TRUE(QFileInfo(Path("p/blocker")).isFile());
    EXPECT_FALSE(QFileInfo::exists(Path("p/blocker/q")));
}

TEST_F(FileHelpers, CreateNewFolderFollowsLinkedLevels) {
    ASSERT_TRUE(QDir().mkpath(Path("real")));
    ASSERT_TRUE(QFile::link(Path("real"), Path("link")));
    EXPECT_TRUE(CreateNewFolder(Path("link/inner/")));
    EXPECT_TRUE(QFileInfo(Path("real/inner")).isDir());
}

// ---- CopyLocalFile --------------------------------------------------------------------------

TEST_F(FileHelpers, CopyLocalFileCopiesAndReplaces) {
    ASSERT_TRUE(QDir().mkpath(Path("to")));
    WriteBytes(Path("Marker.png"), "new picture");
    WriteBytes(Path("to/Marker.png"), "an older and longer picture");

    EXPECT_TRUE(CopyLocalFile(Path("Marker.png"), Path("to")));
    EXPECT_EQ(ReadBytes(Path("to/Marker.png")), QByteArray("new picture"));
    EXPECT_EQ(ReadBytes(Path("Marker.png")), QByteArray("new picture"));

    // Trailing separator on the folder, and a file that is not there yet.
    WriteBytes(Path("Flag.png"), QByteArray(200000, '\x7f'));
    EXPECT_TRUE(CopyLocalFile(Path("Flag.png"), Path("to/")));
    EXPECT_EQ(ReadBytes(Path("to/Flag.png")), QByteArray(200000, '\x7f'));
}

TEST_F(FileHelpers, CopyLocalFileFailuresLeaveTheTargetAlone) {
    ASSERT_TRUE(QDir().mkpath(Path("to")));
    WriteBytes(Path("to/Marker.png"), "old");
    EXPECT_FALSE(CopyLocalFile(Path("missing.png"), Path("to")));
    EXPECT_EQ(ReadBytes(Path("to/Marker.png")), QByteArray("old"));

    WriteBytes(Path("Marker.png"), "new");
    EXPECT_FALSE(CopyLocalFile(Path("Marker.png"), Path("no-such-folder")));
    EXPECT_FALSE(QFileInfo::exists(Path("no-such-folder")));
    EXPECT_FALSE(CopyLocalFile(Path("to"), Path("Marker.png")));  // a folder is not a file
}

TEST_F(FileHelpers, CopyLocalFileOntoItselfKeepsTheFile) {
    WriteBytes(Path("same.png"), "content");
    EXPECT_TRUE(CopyLocalFile(Path("same.png"), dir_.path()));
    EXPECT_EQ(ReadBytes(Path("same.png")), QByteArray("content"));
}

// ---- GetSpecialPath ---------------------------------------------------------------------------

TEST(SpecialPath, DocumentsFolderIsCreatedAndHasNoTrailingSeparator) {
    ScopedHome home;
    QDir(home.Documents()).removeRecursively();

    const QString path = GetSpecialPath(CSIDL_COMMON_DOCUMENTS);
    EXPECT_EQ(path, QDir::cleanPath(home.Documents()));
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_FALSE(path.endsWith(QLatin1Char('/')));
    EXPECT_EQ(GetSpecialPath(CSIDL_PERSONAL), path);
    EXPECT_EQ(GetSpecialPath(12345), QString());
}

// ---- DeleteFilePermanently --------------------------------------------------------------------

TEST_F(FileHelpers, DeleteFilePermanentlyWritesWholeBlocksThenTheRest) {
    struct Case {
        qint64 size;
        QVector<qint64> perPass;
    };
    const Case cases[] = {
        {0, {}}, {1, {1}}, {4096, {4096}}, {4097, {4096, 1}}, {10000, {4096, 4096, 1808}},
    };
    for (const Case &c : cases) {
        const QString file = Path(QStringLiteral("victim-%1").arg(c.size));
        WriteBytes(file, QByteArray(int(c.size), 'A'));
        TSecureDeleteTrace trace;
        EXPECT_TRUE(DeleteFilePermanently(file, &trace)) << c.size;
        EXPECT_EQ(trace.passes, QVector<QVector<qint64>>(3, c.perPass)) << c.size;
        EXPECT_EQ(trace.flushes, 3) << c.size;
        EXPECT_FALSE(QFileInfo::exists(file)) << c.size;
    }
}

TEST_F(FileHelpers, DeleteFilePermanentlyOverwritesTheDataInPlace) {
    // A second name for the same inode survives the deletion and shows what was left on disk.
    const QByteArray original(10000, 'S');
    WriteBytes(Path("secret"), original);
    ASSERT_EQ(::link(QFile::encodeName(Path("secret")).constData(),
                     QFile::encodeName(Path("witness")).constData()),
              0);

    EXPECT_TRUE(DeleteFilePermanently(Path("secret")));

    EXPECT_FALSE(QFileInfo::exists(Path("secret")));
    const QByteArray left = ReadBytes(Path("witness"));
    ASSERT_EQ(left.size(), original.size());  // neither grown nor shrunk
    EXPECT_LT(left.count('S'), 200) << "the content was not overwritten";
    // The last pass wrote every block from the one buffer of that pass.
    EXPECT_EQ(left.mid(4096, 4096), left.left(4096));
    EXPECT_EQ(left.mid(8192), left.left(1808));
}

TEST_F(FileHelpers, DeleteFilePermanentlyRefusesWhatItCannotOpen) {
    const QString missing = Path("missing.exe");
    try {
        DeleteFilePermanently(missing);
        FAIL() << "no error for a missing file";
    } catch (const TxError &error) {
        EXPECT_EQ(
            error.Message(),
            QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    }

    // A folder, and a link (whose target must not be overwritten).
    ASSERT_TRUE(QDir().mkpath(Path("folder")));
    EXPECT_THROW(DeleteFilePermanently(Path("folder")), TxError);
    EXPECT_TRUE(QFileInfo(Path("folder")).isDir());

    WriteBytes(Path("target"), "keep me");
    ASSERT_TRUE(QFile::link(Path("target"), Path("link")));
    EXPECT_THROW(DeleteFilePermanently(Path("link")), TxError);
    EXPECT_EQ(ReadBytes(Path("target")), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(Path("link")).isSymLink());
}

TEST_F(FileHelpers, DeleteFilePermanentlyLeavesAFileInUseAlone) {
    WriteBytes(Path("Update.exe"), "installer");
    const int holder = ::open(QFile::encodeName(Path("Update.exe")).constData(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    try {
        DeleteFilePermanently(Path("Update.exe"));
        ADD_FAILURE() << "no error for a locked file";
    } catch (const TxError &error) {
        EXPECT_TRUE(
            error.Message().endsWith(QStringLiteral("The file is in use by another program.")))
            << error.Message().toStdString();
    }
    ::close(holder);
    EXPECT_EQ(ReadBytes(Path("Update.exe")), QByteArray("installer"));
    EXPECT_TRUE(DeleteFilePermanently(Path("Update.exe")));
}

TEST_F(FileHelpers, DeleteFilePermanentlyKeepsTheFileAfterAWriteError) {
    WriteBytes(Path("Update.exe"), QByteArray(10000, 'I'));
    // A file-size limit below the file's size makes the overwrite fail part-way, for real.
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 5000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    QString message;
    try {
        DeleteFilePermanently(Path("Update.exe"));
    } catch (const TxError &error) {
        message = error.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(
        message,
        QStringLiteral("Cannot write to file \"%1\". File too large").arg(Path("Update.exe")));
    EXPECT_TRUE(QFileInfo::exists(Path("Update.exe")));
    EXPECT_EQ(QFileInfo(Path("Update.exe")).size(), 10000);
}

}  // namespace
