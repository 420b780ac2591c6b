#include <gtest/gtest.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "common/BoxParts.h"
#include "common/DesktopOpen.h"
#include "common/ExchangeLimits.h"
#include "settings/Services.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "update/UpdateUnit.h"
#include "update/VersionCheck.h"

namespace {

// Runs `action` once `condition` holds, polled from the running (modal) event loop, so that the
// window's own queued work runs first.
void WhenTrue(QObject *context, const std::function<bool()> &condition,
              const std::function<void()> &action) {
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, condition, action] {
        if (condition()) {
            timer->stop();
            timer->deleteLater();
            action();
        }
    });
    timer->start(10);
}

const QString kVersionPath = QStringLiteral("/Download/Tarvex/NewVersion.txt");
const QString kPackageName = QStringLiteral("tarvex_1.0.3.0_amd64.deb");
const QString kPackagePath = QStringLiteral("/Download/Tarvex/") + kPackageName;

class UpgradeFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetServiceSettings({{QStringLiteral("Download URL"), server.BaseUrl()}});
        opensBefore = SuppressedDesktopOpens().size();
    }
    void TearDown() override {
        SetServiceSettings({});
        SetWindowMoveStarter({});
    }

    QList<QUrl> NewOpens() const { return SuppressedDesktopOpens().mid(opensBefore); }
    // Where the package is saved: the user's downloads folder.
    QString Downloads() const { return home.Path() + QStringLiteral("/Downloads"); }
    QString SavedPackage() const { return Downloads() + QLatin1Char('/') + kPackageName; }
    QStringList DownloadedFiles() const {
        return QDir(Downloads()).entryList(QDir::Files | QDir::Hidden);
    }

    void ExpectTexts(const QString &version, const QString &info1, const QString &info2) {
        EXPECT_EQ(form.VersionLabel->text(), version);
        EXPECT_EQ(form.InformationLabel_1->text(), info1);
        EXPECT_EQ(form.InformationLabel_2->text(), info2);
    }
    bool UpdateShown() const { return !form.OKButton->isHidden() && !form.OKLabel->isHidden(); }
    // Confirms the update offered and returns how the window closed (-1: it stayed open).
    int ConfirmUpdate() {
        int closedWith = -1;
        const auto connection = QObject::connect(
            &form, &QDialog::finished, [&closedWith](int result) { closedWith = result; });
        form.OKButtonClick();
        QObject::disconnect(connection);
        return closedWith;
    }

    ScopedHome home;
    LocalHttpServer server;
    TUpgradeForm form;
    qsizetype opensBefore = 0;
    const QByteArray package = QByteArray("!<arch>\ndebian-binary ").repeated(3000);
};

TEST_F(UpgradeFormTest, DesignStateBeforeAnyCheck) {
    EXPECT_EQ(form.size(), QSize(394, 256));
    EXPECT_TRUE(form.windowTitle().isEmpty());
    ExpectTexts(QStringLiteral("version 1.0.2.0"), QStringLiteral("No updates available."),
                QStringLiteral("Changes are expected."));
    EXPECT_FALSE(UpdateShown());
    EXPECT_FALSE(form.CancelButton->isHidden());
    EXPECT_EQ(form.CancelLabel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(form.OKLabel->text(), QStringLiteral("Update"));
    EXPECT_FALSE(form.Image1->pixmap().isNull());
}

TEST_F(UpgradeFormTest, FirstCheckWithoutServerShowsTheErrorTexts) {
    SetServiceSettings({{QStringLiteral("Download URL"),
                         QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort())}});
    form.CheckForUpdate();
    ExpectTexts(QStringLiteral("version 1.0.2.0"), QStringLiteral("Download error."),
                QStringLiteral("Please try again later."));
    // Why, in the client's words ("Failed to connect to 127.0.0.1 port ...").
    EXPECT_TRUE(form.ReasonLabel->text().contains(QStringLiteral("connect"), Qt::CaseInsensitive))
        << form.ReasonLabel->text().toStdString();
    EXPECT_FALSE(UpdateShown());
    EXPECT_FALSE(form.NewUpdateReady);
    EXPECT_EQ(form.CurrentVersion, QStringLiteral("1020"));
}

// A failed check says why under the two texts; the next good check takes the reason away.
TEST_F(UpgradeFormTest, AFailedCheckSaysWhy) {
    server.SetRoute(kVersionPath, QByteArray(kVersionFileLimits.MaxBytes + 1, '1'));
    form.CheckForUpdate();
    ExpectTexts(QStringLiteral("version 1.0.2.0"), QStringLiteral("Download error."),
                QStringLiteral("Please try again later."));
    EXPECT_EQ(form.ReasonLabel->text(), ReplyTooLargeText(kVersionFileLimits.MaxBytes));

    server.SetRoute(kVersionPath, "1020\nversion 1.0.2.0\nNo updates available.\nx\n");
    form.CheckForUpdate();
    EXPECT_EQ(form.InformationLabel_1->text(), QStringLiteral("No updates available."));
    EXPECT_EQ(form.ReasonLabel->text(), QString());
}

TEST_F(UpgradeFormTest, SameVersionHidesUpdate) {
    for (const QByteArray &first : {QByteArray("1020"), QByteArray("build-1020-b")}) {
        SCOPED_TRACE(first.constData());
        server.SetRoute(kVersionPath, "1030\nversion 1.0.3.0\nNew.\nBetter.\n");
        form.CheckForUpdate();
        ASSERT_TRUE(UpdateShown());
        server.SetRoute(kVersionPath, first + "\nversion 9\nX\nY\n");
        form.CheckForUpdate();
        ExpectTexts(QStringLiteral("version 1.0.2.0"), QStringLiteral("No updates available."),
                    QStringLiteral("Changes are expected."));
        EXPECT_FALSE(UpdateShown());
        EXPECT_FALSE(form.NewUpdateReady);
    }
}

TEST_F(UpgradeFormTest, NewerVersionOffersTheUpdate) {
    server.SetRoute(kVersionPath, "1030\r\nversion 1.0.3.0\r\nA new map.\r\nFaster lists.\r\n");
    form.CheckForUpdate();
    ExpectTexts(QStringLiteral("version 1.0.3.0"), QStringLiteral("A new map."),
                QStringLiteral("Faster lists."));
    EXPECT_TRUE(UpdateShown());
    EXPECT_TRUE(form.NewUpdateReady);

    server.SetRoute(kVersionPath, "1040\nversion 1.0.4.0\n");
    form.CheckForUpdate();
    ExpectTexts(QStringLiteral("version 1.0.4.0"), QString(), QString());
    EXPECT_TRUE(UpdateShown());
}

TEST_F(UpgradeFormTest, UpdateSavesThePackageSaysHowToInstallItAndCloses) {
    // A package of the same name saved before is replaced.
    ASSERT_TRUE(QDir().mkpath(Downloads()));
    WriteBytes(SavedPackage(), "a package from an earlier download");
    const QByteArray hash = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex();
    server.SetRoute(kVersionPath,
                    "1030\nversion 1.0.3.0\na\nb\n" + hash + "\n" + kPackageName.toLatin1() + "\n");
    server.SetRoute(kPackagePath, package);
    form.CheckForUpdate();
    ASSERT_TRUE(form.NewUpdateReady);

    int closedWith = -1;
    QObject::connect(&form, &QDialog::finished, [&closedWith](int result) { closedWith = result; });
    QString hint;
    WhenTrue(
        &form, [&] { return form.InstallHintBox != nullptr && form.InstallHintBox->isVisible(); },
        [&] {
            hint = form.InstallHintBox->text();
            form.InstallHintBox->findChild<QPushButton *>(QStringLiteral("OpenFolderButton"))
                ->click();
        });
    form.OKButton->click();
    EXPECT_EQ(ReadBytes(SavedPackage()), package);
    EXPECT_EQ(DownloadedFiles(), QStringList{kPackageName});
    EXPECT_EQ(hint, QStringLiteral("The Debian package of version 1.0.3.0 is saved as\n%1\n\n"
                                   "To install it, run in a terminal:\n%2")
                        .arg(SavedPackage(), PackageInstallCommand(SavedPackage())));
    // Nothing is started; "Open folder" shows the folder.
    EXPECT_EQ(NewOpens(), QList<QUrl>{QUrl::fromLocalFile(Downloads())});
    EXPECT_EQ(closedWith, mrOk);
    EXPECT_FALSE(form.NewUpdateReady);
    EXPECT_FALSE(server.RequestedPaths().contains(QStringLiteral("/Download/Tarvex/Update.exe")));
}

TEST_F(UpgradeFormTest, PackageNamedByAFullAddressIsFetchedFromThere) {
    LocalHttpServer mirror;
    mirror.SetRoute(QStringLiteral("/pool/t/") + kPackageName, package);
    server.SetRoute(kVersionPath, "1030\nversion 1.0.3.0\na\nb\n\n" +
                                      (mirror.BaseUrl() + "/pool/t/" + kPackageName).toLatin1());
    form.CheckForUpdate();
    WhenTrue(
        &form, [&] { return form.InstallHintBox != nullptr && form.InstallHintBox->isVisible(); },
        [&] { form.InstallHintBox->accept(); });
    form.OKButton->click();
    EXPECT_EQ(ReadBytes(SavedPackage()), package);
    EXPECT_TRUE(NewOpens().isEmpty());
}

TEST_F(UpgradeFormTest, WithoutAPackageUpdateOpensTheReleasePage) {
    const QString own = QStringLiteral("https://releases.example/tarvex/1.0.3.0");
    const struct {
        const char *name;
        QHash<QString, QString> services;
        QByteArray versionFile;
        QString opened;
    } rows[] = {
        {"no sixth line",
         {},
         "1030\nversion 1.0.3.0\na\nb\n",
         server.BaseUrl() + QStringLiteral("/Download/Tarvex/")},
        {"sixth line names no package",
         {},
         "1030\nv\na\nb\n\n../../etc/passwd\n",
         server.BaseUrl() + QStringLiteral("/Download/Tarvex/")},
        {"release page of the settings",
         {{QStringLiteral("Release Page URL"), own}},
         "1030\nv\na\nb\n",
         own},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QHash<QString, QString> services = row.services;
        services.insert(QStringLiteral("Download URL"), server.BaseUrl());
        SetServiceSettings(services);
        opensBefore = SuppressedDesktopOpens().size();
        server.SetRoute(kVersionPath, row.versionFile);
        form.CheckForUpdate();
        ASSERT_TRUE(form.NewUpdateReady);
        const int closedWith = ConfirmUpdate();
        EXPECT_EQ(NewOpens(), QList<QUrl>{QUrl(row.opened)});
        EXPECT_EQ(closedWith, mrOk);
        EXPECT_TRUE(DownloadedFiles().isEmpty());
    }
    EXPECT_EQ(server.RequestedPaths().filter(QStringLiteral(".deb")), QStringList());
}

TEST_F(UpgradeFormTest, FailedOrWrongDownloadStartsNothing) {
    LocalHttpServer::Route truncated;
    truncated.body = package;
    truncated.kind = LocalHttpServer::Kind::Truncated;
    const QByteArray wrongHash = QByteArray(64, 'a');
    struct Case {
        const char *name;
        QByteArray versionFile;
        LocalHttpServer::Route package;
    };
    LocalHttpServer::Route whole;
    whole.body = package;
    LocalHttpServer::Route missing;
    missing.status = 404;
    const QByteArray named = kPackageName.toLatin1() + "\n";
    const Case cases[] = {
        {"connection closed early", "1030\nv\na\nb\n\n" + named, truncated},
        {"error status", "1030\nv\na\nb\n\n" + named, missing},
        {"checksum differs", "1030\nv\na\nb\n" + wrongHash + "\n" + named, whole},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server.SetRoute(kVersionPath, c.versionFile);
        server.SetRoute(kPackagePath, c.package);
        form.CheckForUpdate();
        ASSERT_TRUE(form.NewUpdateReady);
        const int closedWith = ConfirmUpdate();
        EXPECT_EQ(form.InformationLabel_1->text(), QStringLiteral("Download error."));
        EXPECT_EQ(form.InformationLabel_2->text(), QStringLiteral("Please try again later."));
        EXPECT_TRUE(DownloadedFiles().isEmpty());
        EXPECT_TRUE(NewOpens().isEmpty());
        EXPECT_EQ(closedWith, -1) << "the window stays open to show the error";
    }
}

TEST_F(UpgradeFormTest, ExecuteChecksOnShowAndClearsTheFlagOnClose) {
    server.SetRoute(kVersionPath, "1030\nversion 1.0.3.0\na\nb\n\n" + kPackageName.toLatin1());
    server.SetRoute(kPackagePath, package);
    WhenTrue(
        &form, [&] { return form.NewUpdateReady; }, [&] { form.CancelButton->click(); });
    EXPECT_FALSE(form.Execute());
    EXPECT_FALSE(form.NewUpdateReady);
    EXPECT_TRUE(UpdateShown());

    // The next opening fails: the button stays from before, but Update must not download.
    SetServiceSettings({{QStringLiteral("Download URL"),
                         QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort())}});
    WhenTrue(
        &form, [&] { return form.InformationLabel_1->text() == QStringLiteral("Download error."); },
        [&] { form.OKButton->click(); });
    EXPECT_TRUE(form.Execute());
    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("version 1.0.3.0"));
    EXPECT_TRUE(DownloadedFiles().isEmpty());
    EXPECT_TRUE(NewOpens().isEmpty());
    EXPECT_FALSE(server.RequestedPaths().contains(kPackagePath));
}

TEST_F(UpgradeFormTest, EveryPartOfTheWindowDragsIt) {
    QList<QWidget *> moved;
    SetWindowMoveStarter([&moved](QWidget *window) { moved.append(window); });
    const QList<QWidget *> handles = {&form,
                                      form.Image1,
                                      form.VersionLabel,
                                      form.InformationLabel_1,
                                      form.InformationLabel_2,
                                      form.RzPanel5};
    for (QWidget *handle : handles) {
        SCOPED_TRACE(handle->objectName().toStdString());
        moved.clear();
        QMouseEvent left(QEvent::MouseButtonPress, QPointF(5, 5),
                         handle->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &left);
        EXPECT_EQ(moved, QList<QWidget *>{&form});
        QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5),
                          handle->mapToGlobal(QPointF(5, 5)), Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QApplication::sendEvent(handle, &right);
        EXPECT_EQ(moved.size(), 1);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(UpgradeFormTest, Screenshot) {
    const QString folder = qEnvironmentVariable("TARVEX_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "TARVEX_SCREENSHOT_DIR not set";
    }
    server.SetRoute(kVersionPath,
                    "1030\nversion 1.0.3.0\nA new map window.\nFaster address lists.\n");
    form.show();
    WaitUntil([&] { return form.NewUpdateReady; });
    EXPECT_TRUE(form.grab().save(folder + QStringLiteral("/update.png")));
    form.hide();
}

}  // namespace
