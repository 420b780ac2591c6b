#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/Errors.h"
#include "settings/Services.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "update/VersionCheck.h"

namespace {

const QString kNoUpdate1 = QStringLiteral("No updates available.");
const QString kNoUpdate2 = QStringLiteral("Changes are expected.");

struct VersionCase {
    const char *name;
    QString text;
    bool update;
    QString version;
    QString info1;
    QString info2;
    bool hasHash;
};

TEST(ParseVersionFile, ReadsEveryKindOfFile) {
    const QString hash = QStringLiteral("ab").repeated(32);
    const VersionCase cases[] = {
        {"same version", QStringLiteral("1020\r\nversion 1.0.3.0\r\nA\r\nB\r\n"), false,
         QStringLiteral("version 1.0.2.0"), kNoUpdate1, kNoUpdate2, false},
        {"code inside other characters", QStringLiteral("v-1020-final\nx\ny\nz"), false,
         QStringLiteral("version 1.0.2.0"), kNoUpdate1, kNoUpdate2, false},
        {"newer, CR LF", QStringLiteral("1030\r\nversion 1.0.3.0\r\nNew map.\r\nFaster pings.\r\n"),
         true, QStringLiteral("version 1.0.3.0"), QStringLiteral("New map."),
         QStringLiteral("Faster pings."), false},
        {"newer, lone CR breaks", QStringLiteral("1030\rv3\rone\rtwo"), true, QStringLiteral("v3"),
         QStringLiteral("one"), QStringLiteral("two"), false},
        {"newer, fewer than four lines", QStringLiteral("1030\nversion 1.0.3.0\n"), true,
         QStringLiteral("version 1.0.3.0"), QString(), QString(), false},
        {"newer, first line only", QStringLiteral("1030"), true, QString(), QString(), QString(),
         false},
        {"newer with hash", QStringLiteral("1030\nv\na\nb\n") + hash + QStringLiteral("\n"), true,
         QStringLiteral("v"), QStringLiteral("a"), QStringLiteral("b"), true},
        {"fifth line is no hash", QStringLiteral("1030\nv\na\nb\nnot a hash\n"), true,
         QStringLiteral("v"), QStringLiteral("a"), QStringLiteral("b"), false},
        {"hash one digit short", QStringLiteral("1030\nv\na\nb\n") + hash.left(63), true,
         QStringLiteral("v"), QStringLiteral("a"), QStringLiteral("b"), false},
    };
    for (const VersionCase &c : cases) {
        SCOPED_TRACE(c.name);
        const TVersionInfo info = ParseVersionFile(c.text);
        EXPECT_EQ(info.UpdateAvailable, c.update);
        EXPECT_EQ(info.VersionText, c.version);
        EXPECT_EQ(info.Information1, c.info1);
        EXPECT_EQ(info.Information2, c.info2);
        EXPECT_EQ(!info.Sha256.isEmpty(), c.hasHash);
    }
}

TEST(ParseVersionFile, SixthLineNamesThePackageOrNothing) {
    const struct {
        const char *line;
        const char *package;
    } rows[] = {
        {"tarvex_1.0.3.0_amd64.deb", "tarvex_1.0.3.0_amd64.deb"},
        {"  tarvex_1.0.3.0+deb12u1~1_arm64.deb  ", "tarvex_1.0.3.0+deb12u1~1_arm64.deb"},
        {"https://mirror.example/pool/tarvex_1.0.3.0_amd64.deb",
         "https://mirror.example/pool/tarvex_1.0.3.0_amd64.deb"},
        {"http://127.0.0.1:8080/t/tarvex.deb?from=check",
         "http://127.0.0.1:8080/t/tarvex.deb?from=check"},
        // Not a package: no line, other files, paths, other schemes, names that are options.
        {"", ""},
        {"tarvex_1.0.3.0_amd64.rpm", ""},
        {"tarvex.deb.exe", ""},
        {"../tarvex.deb", ""},
        {"sub/tarvex.deb", ""},
        {"/etc/tarvex.deb", ""},
        {"-tarvex.deb", ""},
        {".tarvex.deb", ""},
        {"tar vex.deb", ""},
        {"file:///home/u/tarvex.deb", ""},
        {"ftp://mirror.example/tarvex.deb", ""},
        {"https:///tarvex.deb", ""},
        {"https://mirror.example/pool/", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        const TVersionInfo info =
            ParseVersionFile(QStringLiteral("1030\nv\na\nb\n\n") + QString::fromLatin1(row.line));
        EXPECT_EQ(info.Package, QString::fromLatin1(row.package));
    }
    // The running version offers nothing to download.
    EXPECT_EQ(ParseVersionFile(QStringLiteral("1020\nv\na\nb\n\ntarvex.deb")).Package, QString());
}

TEST(ParseVersionFile, HashLineGivesTheRawDigest) {
    const QByteArray digest = QCryptographicHash::hash("x", QCryptographicHash::Sha256);
    const TVersionInfo info = ParseVersionFile(QStringLiteral("1030\nv\na\nb\n  ") +
                                               QString::fromLatin1(digest.toHex().toUpper()));
    EXPECT_EQ(info.Sha256, digest);
}

TEST(ParseVersionFile, FileWithoutVersionCodeIsAnError) {
    for (const QString &text : {QString(), QStringLiteral("\n"), QStringLiteral("  \r\nv\na\nb")}) {
        SCOPED_TRACE(text.toStdString());
        try {
            ParseVersionFile(text);
            ADD_FAILURE() << "no error";
        } catch (const TxError &error) {
            EXPECT_EQ(error.Message(), QStringLiteral("The version file holds no version code."));
        }
    }
}

class DownloadServer : public ::testing::Test {
  protected:
    void SetUp() override {
        SetServiceSettings(
            {{QStringLiteral("Download URL"), server.BaseUrl() + QStringLiteral("/")}});
        target = home.Documents() + QStringLiteral("/tarvex_1.0.3.0_amd64.deb");
    }
    void TearDown() override { SetServiceSettings({}); }

    ScopedHome home;
    LocalHttpServer server;
    QString target;
    const QString packagePath = QStringLiteral("/Download/Tarvex/tarvex_1.0.3.0_amd64.deb");
    const QByteArray installer = QByteArray("!<arch>\ndebian-binary ").repeated(5000);
};

TEST_F(DownloadServer, AddressesFollowTheServiceSetting) {
    EXPECT_EQ(VersionFileUrl(),
              server.BaseUrl() + QStringLiteral("/Download/Tarvex/NewVersion.txt"));
    EXPECT_EQ(PackageUrl(QStringLiteral("tarvex_1.0.3.0_amd64.deb")),
              server.BaseUrl() + packagePath);
    const QString mirror = QStringLiteral("https://mirror.example/pool/t/tarvex_1.0.3.0_amd64.deb");
    EXPECT_EQ(PackageUrl(mirror), mirror);
    EXPECT_EQ(PackageFileName(mirror), QStringLiteral("tarvex_1.0.3.0_amd64.deb"));
    EXPECT_EQ(PackageFileName(QStringLiteral("tarvex.deb")), QStringLiteral("tarvex.deb"));
    // The saved name is a plain name in the folder, whatever the address's path holds.
    EXPECT_EQ(PackageFileName(QStringLiteral("https://m.example/a/..%2F..%2Ftarvex.deb")),
              QStringLiteral("tarvex.deb"));
    EXPECT_EQ(ReleasePageUrl(), server.BaseUrl() + QStringLiteral("/Download/Tarvex/"));
    SetServiceSettings({{QStringLiteral("Release Page URL"), mirror}});
    EXPECT_EQ(ReleasePageUrl(), mirror);
    SetServiceSettings({});
    EXPECT_TRUE(VersionFileUrl().startsWith(QStringLiteral("http://")));
    EXPECT_TRUE(VersionFileUrl().endsWith(QStringLiteral("/Download/Tarvex/NewVersion.txt")));
}

TEST_F(DownloadServer, FetchesTheVersionFile) {
    server.SetRoute(QStringLiteral("/Download/Tarvex/NewVersion.txt"),
                    "1030\r\nversion 1.0.3.0\r\nNew things.\r\nMore things.\r\n");
    const TVersionInfo info = FetchVersionInfo();
    EXPECT_TRUE(info.UpdateAvailable);
    EXPECT_EQ(info.VersionText, QStringLiteral("version 1.0.3.0"));
    EXPECT_EQ(server.RequestedPaths(),
              QStringList{QStringLiteral("/Download/Tarvex/NewVersion.txt")});
}

TEST_F(DownloadServer, FailedFetchesRaise) {
    server.SetRoute(QStringLiteral("/Download/Tarvex/NewVersion.txt"), "gone", 500);
    EXPECT_THROW(FetchVersionInfo(), TxError);
    SetServiceSettings({{QStringLiteral("Download URL"),
                         QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort())}});
    EXPECT_THROW(FetchVersionInfo(), TxError);
}

TEST_F(DownloadServer, VersionFileLargerThan64KiBIsAnError) {
    const QByteArray head = "1030\r\nversion 1.0.3.0\r\nNew things.\r\n";
    QByteArray file = head + QByteArray(64 * 1024 - head.size(), 'x');
    server.SetRoute(QStringLiteral("/Download/Tarvex/NewVersion.txt"), file);
    EXPECT_TRUE(FetchVersionInfo().UpdateAvailable);

    server.SetRoute(QStringLiteral("/Download/Tarvex/NewVersion.txt"), file + 'x');
    try {
        FetchVersionInfo();
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("The reply is larger than the limit of 64 KiB."));
    }
}

TEST_F(DownloadServer, InstallerLargerThanItsLimitLeavesNoFile) {
    server.SetRoute(packagePath, installer);
    const TExchangeLimits small{30000, 60000, installer.size() - 1};
    try {
        DownloadPackage(server.BaseUrl() + packagePath, target, {}, small);
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdReplyTooLarge"));
        EXPECT_EQ(error.Message(), QStringLiteral("The reply is larger than the limit of %1 bytes.")
                                       .arg(installer.size() - 1));
    }
    EXPECT_EQ(QDir(home.Documents()).entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_EQ(kInstallerLimits.MaxBytes, kGiB);
}

TEST_F(DownloadServer, DownloadWritesTheInstaller) {
    server.SetRoute(packagePath, installer);
    DownloadPackage(server.BaseUrl() + packagePath, target, {});
    EXPECT_EQ(ReadBytes(target), installer);
}

TEST_F(DownloadServer, DownloadReplacesAnOldInstaller) {
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(200000, 'o'));
    }
    server.SetRoute(packagePath, installer);
    DownloadPackage(server.BaseUrl() + packagePath, target, {});
    EXPECT_EQ(ReadBytes(target), installer);
}

TEST_F(DownloadServer, FailedDownloadsLeaveNoFile) {
    LocalHttpServer::Route truncated;
    truncated.body = installer;
    truncated.kind = LocalHttpServer::Kind::Truncated;
    server.SetRoute(QStringLiteral("/truncated"), truncated);
    server.SetRoute(QStringLiteral("/error"), "no", 403);
    const QString urls[] = {server.BaseUrl() + QStringLiteral("/truncated"),
                            server.BaseUrl() + QStringLiteral("/error"),
                            QStringLiteral("http://127.0.0.1:%1/x").arg(ClosedLoopbackPort())};
    for (const QString &url : urls) {
        SCOPED_TRACE(url.toStdString());
        // A package saved before stays as it was: the user's downloads are not touched by a
        // download that did not complete.
        WriteBytes(target, "old package");
        EXPECT_THROW(DownloadPackage(url, target, {}), TxError);
        EXPECT_EQ(ReadBytes(target), QByteArray("old package"));
        EXPECT_EQ(QDir(home.Documents()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QFileInfo(target).fileName()});
        QFile::remove(target);
        EXPECT_THROW(DownloadPackage(url, target, {}), TxError);
        EXPECT_EQ(QDir(home.Documents()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
}

TEST_F(DownloadServer, ChecksumDecidesWhetherTheFileStays) {
    server.SetRoute(packagePath, installer);
    const QByteArray right = QCryptographicHash::hash(installer, QCryptographicHash::Sha256);
    const QByteArray wrong = QCryptographicHash::hash("other", QCryptographicHash::Sha256);

    try {
        DownloadPackage(server.BaseUrl() + packagePath, target, wrong);
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("The downloaded package does not match its SHA-256 checksum."));
    }
    EXPECT_FALSE(QFile::exists(target));

    DownloadPackage(server.BaseUrl() + packagePath, target, right);
    EXPECT_EQ(ReadBytes(target), installer);
}

}  // namespace

namespace {

TEST(PackageInstallCommand, QuotesThePathOnlyWhenItMustBe) {
    const struct {
        const char *path;
        const char *command;
    } rows[] = {
        {"/home/u/Downloads/tarvex_1.0.3.0_amd64.deb",
         "sudo apt install /home/u/Downloads/tarvex_1.0.3.0_amd64.deb"},
        {"/home/u/My Downloads/tarvex.deb", "sudo apt install '/home/u/My Downloads/tarvex.deb'"},
        {"/home/o'neil/Downloads/tarvex.deb",
         "sudo apt install '/home/o'\\''neil/Downloads/tarvex.deb'"},
        {"/home/u/$(reboot)/tarvex.deb", "sudo apt install '/home/u/$(reboot)/tarvex.deb'"},
        {"/home/u/x\n/tarvex.deb", "sudo apt install '/home/u/x\n/tarvex.deb'"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(PackageInstallCommand(QString::fromUtf8(row.path)),
                  QString::fromUtf8(row.command));
    }
}

TEST(PackageDownloadFolder, IsTheUsersDownloadsFolder) {
    ScopedHome home;
    const QByteArray previous = qgetenv("XDG_DOWNLOAD_DIR");
    qunsetenv("XDG_DOWNLOAD_DIR");
    EXPECT_EQ(PackageDownloadFolder(), home.Path() + QStringLiteral("/Downloads"));
    qputenv("XDG_DOWNLOAD_DIR", (home.Path() + QStringLiteral("/Fetched/")).toLocal8Bit());
    EXPECT_EQ(PackageDownloadFolder(), home.Path() + QStringLiteral("/Fetched"));
    if (previous.isEmpty()) {
        qunsetenv("XDG_DOWNLOAD_DIR");
    } else {
        qputenv("XDG_DOWNLOAD_DIR", previous);
    }
}

}  // namespace
