#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
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
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <mutex>

#include "common/BlockingCall.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/DesktopOpen.h"
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
                return module_.PlacesQuery(addresses, progress, askService_);
            });
        addressMemo_ = new QTextEdit(&mainWindow_);
        form_.SetAddressSource([this] { return PaneLines(addressMemo_->document()); });
        SetServiceSettings(
            {{QStringLiteral("Geolocation URL"), server_.Url()},
             {QStringLiteral("Maps Script URL"), server_.Url()},
             {QStringLiteral("Public Map URL"), server_.Url() + QStringLiteral("/public")},
             {QStringLiteral("Tile URL"),
              server_.Url() + QStringLiteral("/tiles/{z}/{x}/{y}.png")}});
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

    // What became of the page's attempt to read a local file (window.localFile): "blocked" or
    // "read...", once it is no longer "pending".
    QString LocalFileOutcome() {
        WaitUntil(
            [&] {
                return Evaluate(form_.WB, QStringLiteral("window.localFile")).toString() !=
                       QStringLiteral("pending");
            },
            30000);
        return Evaluate(form_.WB, QStringLiteral("window.localFile")).toString();
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
    bool askService_ = true;
    QMainWindow mainWindow_;
    QTextEdit *addressMemo_ = nullptr;
    TGeolocationForm form_;
};

TEST_F(GeolocationWindow, WithoutKeyOrPingShowsThePublicMapAndLooksNothingUp) {
    EXPECT_EQ(form_.WB, nullptr);  // the browser comes with the first showing
    addressMemo_->setPlainText(QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - alpha.example"));
    form_.StartGeolocation = false;
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
    EXPECT_EQ(LocalFileOutcome(), QStringLiteral("blocked"));

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
    // The lookups go on while the window stays live; the page comes when they are over.
    ASSERT_TRUE(WaitUntil([&] { return loaded > 0; }, 60000));
    watch.stop();
    EXPECT_FALSE(form_.LookupProgress->isVisible());
    EXPECT_GT(progressShown, 0);
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
        {"no key, tile server unreachable",
         QString(),
         true,
         QStringLiteral("Tile URL"),
         {MissingKeyNotice(), TilesFailedNotice(closed)}},
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
            {QStringLiteral("Public Map URL"), server_.Url() + QStringLiteral("/public")},
            {QStringLiteral("Tile URL"), server_.Url() + QStringLiteral("/tiles/{z}/{x}/{y}.png")}};
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

namespace {

// Every address the page's browser asks for, as the engine sends it.
class RequestRecorder final : public QWebEngineUrlRequestInterceptor {
  public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        urls_ << info.requestUrl();
    }
    QList<QUrl> Urls() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return urls_;
    }

  private:
    mutable std::mutex mutex_;
    QList<QUrl> urls_;
};

class OpenStreetMapWindow : public GeolocationWindow {
  protected:
    // Shows the window without a key (so the map is OpenStreetMap), records every request of its
    // browser, and waits until the page has placed `markers` markers.
    void ShowAndWait(int markers) {
        form_.StartGeolocation = true;
        form_.show();
        ASSERT_NE(form_.WB, nullptr);
        // The page is built by the showing, queued after it: the recorder is in place first.
        form_.WB->page()->profile()->setUrlRequestInterceptor(&recorder_);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return Evaluate(form_.WB,
                                QStringLiteral("window.markers ? markers.getLayers().length : -1"))
                           .toInt() == markers;
            },
            60000))
            << Evaluate(form_.WB, QStringLiteral("window.markerCount")).toInt();
    }

    // The requests that left for anything but the program's own scheme and the test's server.
    QStringList ForeignRequests() const {
        QStringList foreign;
        for (const QUrl &url : recorder_.Urls()) {
            if (url.scheme() != QLatin1String("tarvex") &&
                !url.toString().startsWith(server_.Url() + QLatin1Char('/'))) {
                foreign << url.toString();
            }
        }
        return foreign;
    }

    ~OpenStreetMapWindow() override {
        if (form_.WB != nullptr) {
            form_.WB->page()->profile()->setUrlRequestInterceptor(nullptr);
        }
    }

    RequestRecorder recorder_;
};

// Without a key the pinged addresses are drawn on OpenStreetMap by the system's Leaflet, served
// by the program's own scheme, with tiles from the "Tile URL" server. An address the service
// does not locate is placed in its country from the offline location database, marked as
// approximate; a private one gets no marker.
TEST_F(OpenStreetMapWindow, WithoutKeyThePingedAddressesAreOnOpenStreetMap) {
    addressMemo_->setPlainText(
        QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - alpha\"</script><img src=x onerror=boom()>\n"
                       "IPv4 - 193.0.6.139\t\tAddress - www.ripe.net\n"
                       "IPv4 - 192.168.5.5\t\tAddress - printer.lan"));
    ShowAndWait(2);

    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("window.markerCount")).toInt(), 2);
    EXPECT_TRUE(form_.WB->url().toString().startsWith(QStringLiteral("tarvex://map/page.html")));
    // The hostile address arrives as text, not as markup or script.
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("Marker1.getPopup().getContent()")).toString(),
              QStringLiteral("URL: alpha&quot;&lt;/script&gt;&lt;img src=x onerror=boom()&gt;"
                             "<br>IPv4: 192.0.2.1"));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("Marker2.getPopup().getContent()")).toString(),
              QStringLiteral("URL: www.ripe.net<br>IPv4: 193.0.6.139<br>Approximate: in "
                             "Netherlands (NL)"));
    EXPECT_EQ(
        Evaluate(form_.WB, QStringLiteral("[Marker1.getLatLng().lat, Marker1.getLatLng().lng, "
                                          "Marker2.getLatLng().lat, "
                                          "Marker2.getLatLng().lng].join(' ')"))
            .toString(),
        QStringLiteral("52.37 4.89 52.37 4.9"));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("typeof Marker3")).toString(),
              QStringLiteral("undefined"));
    // The marker pictures and the Leaflet files come from the program's scheme.
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("Marker1.getIcon().options.iconUrl")).toString(),
              QStringLiteral("tarvex://map/Marker.png"));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("typeof L.markerClusterGroup")).toString(),
              QStringLiteral("function"));
    // With its attribution, as OpenStreetMap's tile policy asks.
    EXPECT_TRUE(
        Evaluate(form_.WB, QStringLiteral("document.querySelector('.leaflet-control-attribution')"
                                          ".textContent"))
            .toString()
            .contains(QStringLiteral("\u00a9 OpenStreetMap contributors")));
    // Tiles are asked of the tile server, by a browser that says it is this program.
    ASSERT_TRUE(WaitUntil([&] { return Requested("/tiles/2/"); }, 30000));
    ASSERT_TRUE(Requested("agent "));
    for (const QByteArray &item : server_.Recorded()) {
        if (item.startsWith("agent ")) {
            EXPECT_TRUE(item.contains(" Tarvex")) << item.toStdString();
        }
    }
    // The service was asked about all three; the notices say which were placed how.
    EXPECT_TRUE(Requested("/xml/193.0.6.139"));
    const QStringList notices = form_.Notices();
    ASSERT_EQ(notices.size(), 3) << notices.join('\n').toStdString();
    EXPECT_EQ(notices.at(0), MissingKeyNotice());
    EXPECT_TRUE(notices.at(1).startsWith(QStringLiteral(
        "The geolocation service did not locate 1 of 3 addresses, so they have no marker.")));
    EXPECT_TRUE(notices.at(2).startsWith(
        QStringLiteral("The geolocation service did not locate 1 of 3 addresses, so they are "
                       "placed in their country")));

    // Nothing on the page reads local files, and nothing leaves for another host.
    Evaluate(form_.WB,
             QStringLiteral("window.localFile = 'pending';"
                            "var request = new XMLHttpRequest();"
                            "request.onload = function () { window.localFile = 'read'; };"
                            "request.onerror = function () { window.localFile = 'blocked'; };"
                            "try { request.open('GET', 'file:///etc/hostname'); request.send(); }"
                            "catch (e) { window.localFile = 'blocked'; }"));
    EXPECT_EQ(LocalFileOutcome(), QStringLiteral("blocked"));
    EXPECT_TRUE(ForeignRequests().isEmpty()) << ForeignRequests().join('\n').toStdString();
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();

    // The program's scheme serves the listed Leaflet files, nothing else from that folder or
    // beside it.
    Evaluate(form_.WB,
             QStringLiteral("window.probes = {};"
                            "['leaflet.markercluster.js', 'leaflet.esm.js', "
                            " '%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/hostname']"
                            ".forEach(function (name) {"
                            "  var s = document.createElement('script');"
                            "  s.onload = function () { window.probes[name] = 'served'; };"
                            "  s.onerror = function () { window.probes[name] = 'refused'; };"
                            "  s.src = 'tarvex://map/leaflet/' + name;"
                            "  document.head.appendChild(s); });"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Evaluate(form_.WB, QStringLiteral("Object.keys(window.probes).length"))
                       .toInt() == 3;
        },
        10000));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("JSON.stringify(window.probes, Object.keys("
                                                "window.probes).sort())"))
                  .toString(),
              QStringLiteral("{\"%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/hostname\":\"refused\","
                             "\"leaflet.esm.js\":\"refused\","
                             "\"leaflet.markercluster.js\":\"served\"}"));

    // The attribution's link opens in the desktop's browser; the map stays.
    const QUrl page = form_.WB->url();
    const int opened = SuppressedDesktopOpens().size();
    Evaluate(form_.WB, QStringLiteral("document.querySelector('.leaflet-control-attribution "
                                      "a[href*=copyright]').click()"));
    ASSERT_TRUE(WaitUntil([&] { return SuppressedDesktopOpens().size() > opened; }, 10000));
    EXPECT_EQ(SuppressedDesktopOpens().last(),
              QUrl(QStringLiteral("https://www.openstreetmap.org/copyright")));
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(form_.WB->url(), page);

    const QString shot = qEnvironmentVariable("TARVEX_OSM_SCREENSHOT");
    if (!shot.isEmpty()) {
        Evaluate(form_.WB, QStringLiteral("Marker2.openPopup()"));
        WaitUntil([] { return false; }, 1500);  // let the tiles paint
        form_.grab().save(shot);
    }
}

// Users who must not send addresses to a third party switch the service off: nobody is asked,
// and the offline database places what it knows.
TEST_F(OpenStreetMapWindow, WithTheServiceOffOnlyTheOfflineDatabasePlacesAddresses) {
    askService_ = false;
    form_.PreferOpenStreetMap = true;
    form_.GoogleKey = QStringLiteral("KEY");
    addressMemo_->setPlainText(
        QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - doc.example\n"
                       "IPv6 - 2001:4860:4860::8888\tAddress - dns.google\n"
                       "IPv4 - 193.0.6.139\t\tAddress - www.ripe.net"));
    form_.SetSettingsStore([this] { form_.GoogleKey = QStringLiteral("KEY"); }, {});
    ShowAndWait(2);
    EXPECT_FALSE(Requested("/xml/"));
    EXPECT_FALSE(Requested("/maps/"));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("Marker2.getPopup().getContent()")).toString(),
              QStringLiteral("URL: dns.google<br>IPv6: 2001:4860:4860::8888<br>Approximate: in "
                             "United States of America (US)"));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("typeof Marker1")).toString(),
              QStringLiteral("undefined"));
    // No service asked, no service failed: nothing to say.
    EXPECT_TRUE(form_.Notices().isEmpty()) << form_.Notices().join('\n').toStdString();
    EXPECT_TRUE(ForeignRequests().isEmpty()) << ForeignRequests().join('\n').toStdString();
}

// A traced route on OpenStreetMap: its located hops numbered in order and joined by one line,
// each shown on its own (not clustered).
TEST_F(OpenStreetMapWindow, ARouteNumbersItsHopsAndJoinsThem) {
    form_.ShowRoute = true;
    addressMemo_->setPlainText(
        QStringLiteral("IPv4 - 10.0.100.200\t\tAddress - hop1\n"
                       "IPv4 - 192.168.1.1\t\tAddress - hop2\n"
                       "IPv4 - 10.0.300.400\t\tAddress - hop3"));
    ShowAndWait(2);
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("Array.from(document.querySelectorAll("
                                                "'.leaflet-tooltip.hop')).map(t => "
                                                "t.textContent).join(' ')"))
                  .toString(),
              QStringLiteral("1 3"));
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("document.querySelectorAll('.leaflet-marker-icon')"
                                                ".length"))
                  .toInt(),
              2);
    EXPECT_EQ(
        Evaluate(form_.WB, QStringLiteral("document.querySelectorAll('path').length")).toInt(), 1);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

// Twenty thousand located lines stay usable: every one is a marker of the page, gathered into
// clusters so that the map shows a few hundred things at a time.
TEST_F(OpenStreetMapWindow, TwentyThousandMarkersAreClustered) {
    const int lines = 20000;
    QStringList pane;
    for (int i = 0; i < lines; ++i) {
        pane << QStringLiteral("IPv4 - 10.0.%1.%2\t\tAddress - host%3.example")
                    .arg(i % 900)
                    .arg(i / 900 * 10)
                    .arg(i);
    }
    addressMemo_->setPlainText(pane.join(QLatin1Char('\n')));
    // The places are known without the service: only the page is measured here.
    form_.SetPlaceLookup(
        [](const QStringList &addresses, const std::function<void(int, int)> &) -> TPlaceQuery {
            QHash<QString, TMapPlace> places;
            for (const QString &address : addresses) {
                const QStringList parts = address.split(QLatin1Char('.'));
                TMapPlace place;
                place.Latitude = QString::number(parts.value(2).toInt() / 10.0 - 45);
                place.Longitude = QString::number(parts.value(3).toInt() / 2.0 - 100);
                places.insert(address, place);
            }
            return [places](const TCancelSignal &) { return places; };
        });
    QElapsedTimer clock;
    clock.start();
    ShowAndWait(lines);
    const qint64 shown = clock.elapsed();
    const int drawn =
        Evaluate(form_.WB,
                 QStringLiteral("document.querySelectorAll('.leaflet-marker-icon').length"))
            .toInt();
    RecordProperty("milliseconds_to_all_markers", static_cast<int>(shown));
    RecordProperty("elements_drawn", drawn);
    GTEST_LOG_(INFO) << lines << " markers in " << shown << " ms, " << drawn << " drawn";
    EXPECT_GT(drawn, 0);
    EXPECT_LT(drawn, 2000);
    EXPECT_EQ(Evaluate(form_.WB, QStringLiteral("Marker20000.getPopup().getContent()")).toString(),
              QStringLiteral("URL: host19999.example<br>IPv4: 10.0.199.220"));
}

}  // namespace
