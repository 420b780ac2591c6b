#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QSet>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/TX_Edit.h"
#include "geo/GeolocationUnit.h"
#include "geo/MapPage.h"
#include "lookup/DataUnit.h"
#include "settings/Services.h"
#include "support/LoopbackServer.h"
#include "support/MapServices.h"
#include "support/TestSupport.h"
#include "support/WindowTest.h"

namespace {

class GeolocationWindow : public WindowTest {
  protected:
    void SetUp() override {
        form_.SetPlaceLookup(
            [this](const QStringList &addresses, const std::function<void(int, int)> &progress) {
                return module_.LocatePlaces(addresses, progress);
            });
        addressMemo_ = new QTextEdit(&mainWindow_);
        form_.SetAddressSource([this] { return PaneLines(addressMemo_->document()); });
        SetServiceSettings(
            {{QStringLiteral("Geolocation URL"), server_.Url()},
             {QStringLiteral("Maps Script URL"), server_.Url()},
             {QStringLiteral("Public Map URL"), server_.Url() + QStringLiteral("/public")}});
        // The pictures the start-up copies into the data folder.
        QDir().mkpath(ImagesFolder());
        for (const QString &name : {QStringLiteral("Marker.png"), QStringLiteral("Flag.png")}) {
            QFile::copy(SourcePath(QStringLiteral("resources/images/") + name),
                        ImagesFolder() + name);
        }
    }

    // Whether the two marker pictures of the page have loaded.
    bool PicturesShown() {
        return WaitUntil(
            [&] {
                return Evaluate(form_.WB, QStringLiteral("document.images.length == 2 && "
                                                         "Array.from(document.images).every("
                                                         "i => i.complete && i.naturalWidth > 0)"))
                    .toBool();
            },
            30000);
    }

    bool Requested(const QByteArray &prefix) const {
        for (const QByteArray &path : server_.Recorded()) {
            if (path.startsWith(prefix)) {
                return true;
            }
        }
        return false;
    }

    // Loads the page of the address pane and waits until its script has run.
    void BuildAndWait() {
        int loaded = 0;
        const auto connection =
            QObject::connect(form_.WB, &QWebEngineView::loadFinished, [&] { ++loaded; });
        form_.ResultsGeolocationActionExecute();
        ASSERT_TRUE(WaitUntil([&] { return loaded > 0; }, 30000));
        QObject::disconnect(connection);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return Evaluate(form_.WB, QStringLiteral("window.listenerCount || 0")).toInt() == 2;
            },
            30000));
    }

    LoopbackServer server_{ServeMapServices};
    TPingDataModule module_;
    QMainWindow mainWindow_;
    QTextEdit *addressMemo_ = nullptr;
    TGeolocationForm form_;
};

TEST_F(GeolocationWindow, WithoutKeyShowsThePublicMapAndLooksNothingUp) {
    EXPECT_EQ(form_.WB, nullptr);  // the browser comes with the first showing
    addressMemo_->setPlainText(QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - alpha.example"));
    form_.StartGeolocation = true;
    form_.show();
    ASSERT_NE(form_.WB, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Requested("/public"); }, 30000));
    EXPECT_EQ(form_.WB->url(), QUrl(server_.Url() + QStringLiteral("/public")));
    EXPECT_TRUE(form_.GoogleKeyEdit->text().isEmpty());
    EXPECT_FALSE(Requested("/xml/"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(GeolocationWindow, PageOfTwoPingedAddressesRunsAndPlacesTwoMarkers) {
    addressMemo_->setPlainText(
        QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - alpha.example\n"
                       "IPv4 - 192.0.2.2\tAddress - beta\"</script>"));
    form_.show();
    ASSERT_TRUE(WaitUntil([&] { return Requested("/public"); }, 30000));
    form_.GoogleKey = QStringLiteral("TEST-KEY");

    BuildAndWait();

    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.markerCount")).toInt(), 2);
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.mapZoom")).toInt(), 2);
    // The marker pictures load (the data folder's files, served by the program's own scheme)
    // although the page came from memory.
    EXPECT_TRUE(PicturesShown());
    const QString marker = QStringLiteral("tarvex://map/Marker.png");
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.markerIcons.join('|')")).toString(),
              marker + QLatin1Char('|') + marker);
    // The hostile address arrives as text, not as markup or script.
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.infoContents[1]")).toString(),
              QStringLiteral("URL: beta&quot;&lt;/script&gt;<br>IPv4: 192.0.2.2"));
    EXPECT_TRUE(Requested("/xml/192.0.2.1"));
    EXPECT_TRUE(Requested("/xml/192.0.2.2"));
    EXPECT_TRUE(Requested("/maps/api/js?key=TEST-KEY&callback=initMap"));
    EXPECT_TRUE(form_.WB->url().toString().startsWith(QStringLiteral("tarvex://map/page.html")));
    // The map script may not read local files.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Evaluate(form_.WB, QStringLiteral("window.localFile")).toString() !=
                   QStringLiteral("pending");
        },
        30000));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.localFile")).toString(),
              QStringLiteral("blocked"));

    // The flag check rebuilds the page (all lookups again) with the other image.
    form_.FlagCheck->click();
    const QString flag = QStringLiteral("tarvex://map/Flag.png");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Evaluate(form_.WB, QStringLiteral("(window.markerIcons || []).join('|')"))
                       .toString() == flag + QLatin1Char('|') + flag;
        },
        30000));
    EXPECT_TRUE(PicturesShown());
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();

    const QString shot = qEnvironmentVariable("TARVEX_MAP_SCREENSHOT");
    if (!shot.isEmpty()) {
        WaitUntil([] { return false; }, 500);  // let the new page paint
        form_.grab().save(shot);
    }
}

// People map lists of many thousands of addresses: every located line gets its marker, and each
// distinct address is asked for once.
TEST_F(GeolocationWindow, TwentyThousandLinesGiveTwentyThousandMarkers) {
    const int lines = 20000;
    QStringList pane;
    QSet<QByteArray> distinct;
    for (int i = 0; i < lines; ++i) {
        const QString address = QStringLiteral("10.0.%1.%2").arg(i % 100).arg(i / 100 % 5);
        distinct.insert("/xml/" + address.toLatin1());
        pane << QStringLiteral("IPv4 - %1\t\tAddress - host%2.example").arg(address).arg(i);
    }
    addressMemo_->setPlainText(pane.join(QLatin1Char('\n')));
    form_.show();
    ASSERT_TRUE(WaitUntil([&] { return Requested("/public"); }, 30000));
    form_.GoogleKey = QStringLiteral("TEST-KEY");

    int progressShown = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (form_.LookupProgress->isVisible()) {
            ++progressShown;
        }
    });
    watch.start(1);
    int loaded = 0;
    QObject::connect(form_.WB, &QWebEngineView::loadFinished, [&] { ++loaded; });
    form_.ResultsGeolocationActionExecute();
    watch.stop();
    EXPECT_FALSE(form_.LookupProgress->isVisible());
    EXPECT_GT(progressShown, 0);
    ASSERT_TRUE(WaitUntil([&] { return loaded > 0; }, 60000));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Evaluate(form_.WB, QStringLiteral("window.listenerCount || 0")).toInt() == lines;
        },
        120000));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.markerCount")).toInt(), lines);
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.infoContents[19999]")).toString(),
              QStringLiteral("URL: host19999.example<br>IPv4: 10.0.99.4"));

    QList<QByteArray> lookups;
    for (const QByteArray &path : PageBuildRequests(server_)) {
        if (path.startsWith("/xml/")) {
            lookups << path;
        }
    }
    EXPECT_EQ(lookups.size(), distinct.size());
    EXPECT_EQ(QSet<QByteArray>(lookups.begin(), lookups.end()), distinct);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(GeolocationWindow, EnterInTheKeyEditStoresTheKeyWithoutRebuilding) {
    form_.show();
    ASSERT_TRUE(WaitUntil([&] { return Requested("/public"); }, 30000));
    form_.GoogleKeyEdit->setText(QStringLiteral("typed key"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(form_.GoogleKeyEdit, &enter);
    EXPECT_EQ(form_.GoogleKey, QStringLiteral("typed key"));
    EXPECT_TRUE(PageBuildRequests(server_).isEmpty());
}

}  // namespace

namespace {

TEST_F(GeolocationWindow, BusyCursorLastsUntilThePageHasLoaded) {
    bool busyWhenShown = false;
    bool idleAfterLoad = false;
    QTimer::singleShot(0, &form_, [&] {
        busyWhenShown = QApplication::overrideCursor() != nullptr;
        idleAfterLoad = WaitUntil(
            [&] { return Requested("/public") && QApplication::overrideCursor() == nullptr; },
            30000);
        form_.reject();
    });
    EXPECT_EQ(form_.Execute(), 0);
    EXPECT_TRUE(busyWhenShown);
    EXPECT_TRUE(idleAfterLoad);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace

namespace {

// The window says what failed and why: no key, a public map, a geolocation service or a map
// script that cannot be reached. What a row leaves unset is served by the test's own services.
TEST_F(GeolocationWindow, NoticesSayWhatFailedWhereAndWhy) {
    const QString closed = QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort());
    addressMemo_->setPlainText(
        QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - alpha.example\n"
                       "IPv4 - 192.0.2.2\t\tAddress - beta.example\n"
                       "IPv4 - 192.0.2.1\t\tAddress - alpha.example"));
    const struct {
        const char *name;
        QString key;
        bool pinged;
        QString service;     // the [SERVICES] key pointed at a closed port, if any
        QStringList starts;  // the notices shown, each by its beginning
    } rows[] = {
        {"everything reachable", QStringLiteral("K"), true, QString(), {}},
        {"no key", QString(), true, QString(), {MissingKeyNotice()}},
        {"no key, public map unreachable",
         QString(),
         false,
         QStringLiteral("Public Map URL"),
         {MissingKeyNotice(),
          QStringLiteral("The public map could not be loaded from %1/public: ").arg(closed)}},
        {"geolocation service down",
         QStringLiteral("K"),
         true,
         QStringLiteral("Geolocation URL"),
         {QStringLiteral("The geolocation service did not locate 2 of 2 addresses, so they have "
                         "no marker. First failure: %1/xml/192.0.2.1 gave Error EIdSocketError [ ")
              .arg(closed)}},
        {"key refused", QStringLiteral("REFUSED"), true, QString(), {KeyRefusedNotice()}},
        {"map script unreachable",
         QStringLiteral("K"),
         true,
         QStringLiteral("Maps Script URL"),
         {QStringLiteral("The map script could not be loaded from %1/maps/api/js: Failed to "
                         "connect to 127.0.0.1 port ")
              .arg(closed)}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QHash<QString, QString> services{
            {QStringLiteral("Geolocation URL"), server_.Url()},
            {QStringLiteral("Maps Script URL"), server_.Url()},
            {QStringLiteral("Public Map URL"), server_.Url() + QStringLiteral("/public")}};
        if (!row.service.isEmpty()) {
            services[row.service] = closed + (row.service == QStringLiteral("Public Map URL")
                                                  ? QStringLiteral("/public")
                                                  : QString());
        }
        SetServiceSettings(services);
        const QString key = row.key;
        form_.SetSettingsStore([this, key] { form_.GoogleKey = key; }, {});
        form_.StartGeolocation = row.pinged;
        int loaded = 0;
        form_.show();
        const auto connection =
            QObject::connect(form_.WB, &QWebEngineView::loadFinished, [&] { ++loaded; });
        ASSERT_TRUE(WaitUntil([&] { return loaded > 0; }, 30000));
        // What the page reports comes after it has loaded.
        WaitUntil([&] { return form_.Notices().size() >= row.starts.size(); }, 10000);
        WaitUntil([] { return false; }, 300);
        QObject::disconnect(connection);
        const QStringList notices = form_.Notices();
        ASSERT_EQ(notices.size(), row.starts.size()) << notices.join('\n').toStdString();
        for (int i = 0; i < notices.size(); ++i) {
            EXPECT_TRUE(notices.at(i).startsWith(row.starts.at(i))) << notices.at(i).toStdString();
            // A failure names its error after the beginning.
            EXPECT_TRUE(notices.at(i) == row.starts.at(i) ||
                        notices.at(i).size() > row.starts.at(i).size() + 2)
                << notices.at(i).toStdString();
        }
        EXPECT_EQ(form_.NoticeLabel->isVisible(), !notices.isEmpty());
        EXPECT_EQ(form_.NoticeLabel->text(), notices.join(QLatin1Char('\n')));
        EXPECT_EQ(form_.NoticeLabel->textFormat(), Qt::PlainText);
        form_.hide();
    }
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
