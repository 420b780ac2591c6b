// Replacing a file: the old content stays whole until the new one is wholly written, and a
// failure says why in the system's own words.
#include "common/SafeFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/Errors.h"
#include "common/TX_File.h"
#include "support/FullDisk.h"
#include "support/TestSupport.h"

namespace {

const QByteArray kGood = "[PING SYSTEM SETTINGS]\nTime Out=4000\nRetries No=4\n";

QString ErrorOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const TxError &error) {
        return error.Message();
    }
    return QString();
}

// The names in `folder` other than the filler of a full disk: a failed save leaves no stray file.
QStringList Names(const QString &folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral(".filler"));
    return names;
}

TEST(SafeFile, AFullDiskKeepsTheOldFileAndSaysWhy) {
    // Small content fits in a write buffer and fails only when flushed; large content fails
    // while it is written: neither may empty the file.
    for (const qsizetype size : {qsizetype(10), qsizetype(200 * 1024)}) {
        SCOPED_TRACE(size);
        TFullDisk disk;
        if (!disk.Problem().isEmpty()) {
            GTEST_SKIP() << disk.Problem().toStdString();
        }
        const QString path = disk.FilePath(QStringLiteral("Tarvex.ini"));
        WriteBytes(path, kGood);
        disk.Fill();

        EXPECT_EQ(ErrorOf([&] { WriteFileSafely(path, QByteArray(size, 'n')); }),
                  QStringLiteral("No space left on device"));
        EXPECT_EQ(ReadBytes(path), kGood);
        EXPECT_EQ(Names(disk.Path()), QStringList{QStringLiteral("Tarvex.ini")});

        // A copy over the good file fails the same way and keeps it.
        QTemporaryDir source;
        WriteBytes(source.filePath(QStringLiteral("Tarvex.ini")), QByteArray(size, 'c'));
        EXPECT_FALSE(CopyLocalFile(source.filePath(QStringLiteral("Tarvex.ini")), disk.Path()));
        EXPECT_EQ(ReadBytes(path), kGood);
        EXPECT_EQ(Names(disk.Path()), QStringList{QStringLiteral("Tarvex.ini")});
    }
}

TEST(SafeFile, AReplacedFileKeepsItsModeAndItsLink) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("results.rtf"));
    WriteBytes(path, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    const QString link = dir.filePath(QStringLiteral("latest.rtf"));
    ASSERT_TRUE(QFile::link(path, link));

    WriteFileSafely(link, "new content");
    EXPECT_EQ(ReadBytes(path), "new content");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A new file gets the usual mode, not the private one of its temporary.
    const QString fresh = dir.filePath(QStringLiteral("fresh.csv"));
    const mode_t mask = ::umask(022);
    WriteFileSafely(fresh, "a,b\n");
    ::umask(mask);
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    EXPECT_EQ(ErrorOf([&] { WriteFileSafely(dir.path(), "x"); }), QStringLiteral("Is a directory"));
    EXPECT_EQ(ErrorOf([&] { WriteFileSafely(dir.filePath(QStringLiteral("no/such.txt")), "x"); }),
              QStringLiteral("No such file or directory"));
}

// A folder that forbids new files, holding a file its user may write (a shared settings file):
// the file is written in place, but only once all the room the new content needs is taken.
// Run as an unprivileged user in a child process, since root may create files anywhere.
TEST(SafeFile, AFileInAClosedFolderIsWrittenInPlaceOnlyWhenItFits) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    TFullDisk disk(256 * 1024);
    if (!disk.Problem().isEmpty()) {
        GTEST_SKIP() << disk.Problem().toStdString();
    }
    const QString folder = disk.FilePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/Tarvex.ini");
    WriteBytes(path, kGood);
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);

    // Exit status: 0 written, 1 refused with "No space left on device", 2 anything else.
    const auto writeAsNobody = [&](const QByteArray &content) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
                ::_exit(3);
            }
            const QString error = ErrorOf([&] { WriteFileSafely(path, content); });
            ::_exit(error.isEmpty()                                      ? 0
                    : error == QStringLiteral("No space left on device") ? 1
                                                                         : 2);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    EXPECT_EQ(writeAsNobody("[PING SYSTEM SETTINGS]\nTime Out=100\n"), 0);
    EXPECT_EQ(ReadBytes(path), "[PING SYSTEM SETTINGS]\nTime Out=100\n");

    disk.Fill();
    EXPECT_EQ(writeAsNobody(kGood + QByteArray(64 * 1024, ';')), 1);
    EXPECT_EQ(ReadBytes(path), "[PING SYSTEM SETTINGS]\nTime Out=100\n");
    // Shorter content needs no new room.
    EXPECT_EQ(writeAsNobody("[A]\n"), 0);
    EXPECT_EQ(ReadBytes(path), "[A]\n");
}

}  // namespace
