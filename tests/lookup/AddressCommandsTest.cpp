// The address information (F2) and geolocation (F3) commands as a user drives them from the
// main window, against WHOIS, geolocation and map services that the test runs on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineView>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/AboutUsUnit.h"
#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "app/SplashUnit.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/TX_Edit.h"
#include "contact/ContactUnit.h"
#include "files/FileManager.h"
#include "lookup/DataUnit.h"
#include "reports/ReportUnit.h"
#include "settings/Services.h"
#include "settings/SettingsModel.h"
#include "support/LoopbackServer.h"
#include "support/MapServices.h"
#include "support/ProgramWindows.h"
#include "update/UpdateUnit.h"

namespace {

// The map window comes from the browser module when it first opens; its parts are found by name.
QDialog *MapWindow() {
    return GeolocationForm->Window();
}
QWebEngineView *MapBrowser() {
    return MapWindow() != nullptr ? MapWindow()->findChild<QWebEngineView *>(QStringLiteral("WB"))
                                  : nullptr;
}
QLineEdit *MapKeyEdit() {
    return MapWindow() != nullptr
               ? MapWindow()->findChild<QLineEdit *>(QStringLiteral("GoogleKeyEdit"))
               : nullptr;
}

QByteArray RipeReply() {
    QFile file(SourcePath(QStringLiteral("tests/lookup/fixtures/ripe_reply.txt")));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Every window of the program, created in start-up order, the main window shown.
class AddressCommands : public ProgramWindowsTest {
  protected:
    // Points services at the test's servers the way a user does: a [SERVICES] section in the
    // settings file, which the map window reads again each time it opens.
    static void UseServices(const QList<QPair<QString, QString>> &services) {
        QFile file(SettingsFilePath());
        ASSERT_TRUE(file.open(QIODevice::Append | QIODevice::Text));
        QByteArray section = "\n[SERVICES]\n";
        for (const auto &service : services) {
            section += service.first.toUtf8() + '=' + service.second.toUtf8() + '\n';
        }
        file.write(section);
    }

    // The window's keys act only while it is the active window, and a window of another
    // program (another test on the same display) may take that at any moment: as a user clicks
    // the window first, the test makes it active before each key. False when it cannot.
    bool Activate() {
        form_->activateWindow();
        return QTest::qWaitForWindowActive(form_);
    }

    bool Type(const QString &address, Qt::Key key) {
        if (!Activate()) {
            return false;
        }
        form_->AddressEdit->setFocus();
        form_->AddressEdit->setText(address);
        QTest::keyClick(form_->AddressEdit, key);
        FinishRun();
        return true;
    }

    // An address pinged, no map key stored, the map services at `services`: the map window
    // shows the address on OpenStreetMap.
    void PingedWithoutKey(LoopbackServer &services) {
        UseServices({{QStringLiteral("Geolocation URL"), services.Url()},
                     {QStringLiteral("Public Map URL"), services.Url() + QStringLiteral("/public")},
                     {QStringLiteral("Tile URL"),
                      services.Url() + QStringLiteral("/tiles/{z}/{x}/{y}.png")}});
        form_->AddressMemo->setPlainText(QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1"));
        GeolocationForm->StartGeolocation = true;
    }

    // Presses F3 in the main window and runs `whileOpen` inside the map window's modal run;
    // `whileOpen` closes the window. False when the window did not open: then `whileOpen` never
    // runs, not even later, after the test's own variables are gone.
    bool WithMapOpen(const std::function<void()> &whileOpen) {
        if (!Activate()) {
            return false;
        }
        bool ran = false;
        // The queued call goes with this object when the key opened nothing.
        QObject scope;
        QTimer::singleShot(0, &scope, [&] {
            if (MapWindow() == nullptr || MapBrowser() == nullptr) {
                return;
            }
            ran = true;
            whileOpen();
        });
        QTest::keyClick(form_->AddressEdit, Qt::Key_F3);
        return ran;
    }
};

TEST_F(AddressCommands, F2ShowsTheHeaderAndTheLaidOutReply) {
    LoopbackServer whois([](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(connection.ReadLine());
        connection.Write(RipeReply());
    });
    SetServiceSettings({{QStringLiteral("Whois Server"), whois.HostPort()}});
    form_->DebugMemo->setPlainText(QStringLiteral("results of an earlier ping"));
    ASSERT_EQ(PingDataModule()->WhoIsServerList.size(), 286);

    // "127.1" is 127.0.0.1 to the resolver, without any name server; its zone "1" occurs in the
    // table (in "g12.br"), so the query goes out.
    ASSERT_TRUE(Type(QStringLiteral("127.1"), Qt::Key_F2));

    EXPECT_EQ(whois.Recorded(), QList<QByteArray>{"127.0.0.1\r\n"});
    const QStringList lines = PaneLines(form_->DebugMemo->document());
    ASSERT_GT(lines.size(), 10);
    EXPECT_EQ(
        lines.mid(0, 5),
        (QStringList{QStringLiteral("WhoIs Server:\t https://apps.db.ripe.net/db-web-ui/query"),
                     QStringLiteral("Zona:\t\tEurope"), QString(), QStringLiteral("RESULT:"),
                     QString()}));
    EXPECT_EQ(lines.at(5), QStringLiteral("% This is the RIPE Database query service."));
    EXPECT_TRUE(lines.contains(QStringLiteral("inetnum:\t\t\t192.0.2.0 - 192.0.2.255")));
    EXPECT_TRUE(lines.contains(QStringLiteral("org-type:\t\t\tLIR")));
    EXPECT_TRUE(lines.contains(QStringLiteral("abuse-mailbox:\t\tabuse@example.net")));
    EXPECT_FALSE(lines.contains(QStringLiteral("results of an earlier ping")));
    QTextCursor first(form_->DebugMemo->document());
    first.setPosition(1);
    EXPECT_EQ(first.charFormat().foreground().color(), form_->InfoColor);
    EXPECT_EQ(first.charFormat().fontWeight(), QFont::Bold);
    EXPECT_TRUE(form_->TempMemo->toPlainText().isEmpty());
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();

    const QString shot = qEnvironmentVariable("TARVEX_WHOIS_SCREENSHOT");
    if (!shot.isEmpty()) {
        form_->grab().save(shot);
    }
}

TEST_F(AddressCommands, F2ForAZoneOutsideTheTableShowsNoResults) {
    LoopbackServer whois([](LoopbackConnection &, LoopbackServer &) {});
    SetServiceSettings({{QStringLiteral("Whois Server"), whois.HostPort()}});
    ASSERT_TRUE(Type(QStringLiteral("www.example.com"), Qt::Key_F2));
    const QStringList lines = PaneLines(form_->DebugMemo->document());
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.last(), QStringLiteral("\t\t\tNo results."));
    EXPECT_EQ(whois.Connections(), 0);
}

TEST_F(AddressCommands, F2WithoutAWhoisServerKeepsThePaneAndSaysWhy) {
    SetServiceSettings({{QStringLiteral("Whois Server"),
                         QStringLiteral("127.0.0.1:%1").arg(ClosedLoopbackPort())}});
    form_->DebugMemo->setPlainText(QStringLiteral("results of an earlier ping"));
    ASSERT_TRUE(Type(QStringLiteral("127.1"), Qt::Key_F2));
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("results of an earlier ping"));
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_.first().contains(QStringLiteral("Connection refused")))
        << errors_.first().toStdString();
}

// Presses `key` as a user does: through the window system to the window that has the keyboard
// (xdotool on an X display), else as a key event of the toolkit to `target`.
void PressKey(QWidget *target, Qt::Key key, const char *keyName) {
    if (QGuiApplication::platformName() == QLatin1String("xcb") &&
        !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"),
                   {QStringLiteral("key"), QString::fromLatin1(keyName)});
        EXPECT_TRUE(tool.waitForFinished(10000) && tool.exitCode() == 0);
        return;
    }
    QTest::keyClick(target, key);
}

// Types `text` as a user does (as PressKey presses a key) into the control that has the keyboard.
void TypeText(QWidget *target, const QString &text) {
    if (QGuiApplication::platformName() == QLatin1String("xcb") &&
        !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), {QStringLiteral("type"), text});
        EXPECT_TRUE(tool.waitForFinished(10000) && tool.exitCode() == 0);
        return;
    }
    QTest::keyClicks(target, text);
}

// A WHOIS server that takes the query and then holds the lookup open: silent, or sending a byte
// now and then so that the silence time-out never runs out. It records the query, and "closed"
// once the client has gone.
LoopbackServer::Handler HoldingWhois(bool trickle, std::atomic<bool> *clientGone) {
    return [trickle, clientGone](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(connection.ReadLine());
        if (!trickle) {
            connection.WaitForClose();
            server.Record("closed");
            return;
        }
        while (!*clientGone) {
            connection.Write("%");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    };
}

// While a WHOIS server holds the lookup open, the window stays live: Esc (a real key) or the ping
// button's Stop ends the lookup at once as cancelled, the status bar says so, the results pane
// keeps its lines, no error is shown, and the next command runs.
TEST_F(AddressCommands, F2CanBeCancelledWhileTheServerHoldsTheLookup) {
    const struct {
        const char *name;
        bool trickle;
        bool stopButton;
    } rows[] = {
        {"silent server, Esc", false, false},
        {"trickling server, Esc", true, false},
        {"silent server, ping button", false, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<bool> clientGone{false};
        LoopbackServer whois(HoldingWhois(row.trickle, &clientGone));
        SetServiceSettings({{QStringLiteral("Whois Server"), whois.HostPort()}});
        form_->DebugMemo->setPlainText(QStringLiteral("results of an earlier ping"));
        ASSERT_TRUE(Activate());
        form_->AddressEdit->setFocus();
        form_->AddressEdit->setText(QStringLiteral("127.1"));
        QTest::keyClick(form_->AddressEdit, Qt::Key_F2);
        // The command has returned with the query still waiting for its answer.
        ASSERT_TRUE(WaitUntil([&] { return !whois.Recorded().isEmpty(); }));
        EXPECT_TRUE(form_->IsLookingUp());
        EXPECT_TRUE(form_->IsRunning());
        EXPECT_TRUE(form_->WatchLabel->text().startsWith(QStringLiteral("Looking up 127.1 at ")))
            << form_->WatchLabel->text().toStdString();

        if (row.stopButton) {
            QTest::mouseClick(form_->StartPingBtn, Qt::LeftButton);
        } else {
            ASSERT_TRUE(Activate());
            PressKey(form_->AddressEdit, Qt::Key_Escape, "Escape");
        }
        ASSERT_TRUE(WaitUntil([&] { return !form_->IsLookingUp(); }));
        clientGone = true;
        EXPECT_EQ(form_->WatchLabel->text(),
                  QStringLiteral("The lookup was cancelled; the panes are as they were."));
        EXPECT_TRUE(form_->WatchLabel->isVisible());
        EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("results of an earlier ping"));
        EXPECT_FALSE(form_->DebugMemo->isReadOnly());
        EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
        if (!row.trickle) {
            // The query's connection went with the cancel.
            EXPECT_TRUE(WaitUntil([&] { return whois.Recorded().size() == 2; }));
            EXPECT_EQ(whois.Recorded(), (QList<QByteArray>{"127.0.0.1\r\n", "closed"}));
        }
    }
    // The window is at rest again: the next Esc clears as it always does.
    ASSERT_TRUE(Activate());
    PressKey(form_->AddressEdit, Qt::Key_Escape, "Escape");
    EXPECT_TRUE(WaitUntil([&] { return form_->DebugMemo->toPlainText().isEmpty(); }));
}

// While the map waits for a geolocation service that never answers, Esc (a real key, in the map
// window) cancels the lookups: the window takes typing while they wait, it stays open and says
// they were cancelled, the service's connections are closed, and the main window's unsaved
// results are untouched.
TEST_F(AddressCommands, EscInTheMapCancelsItsLookupsAndLeavesTheResults) {
    LoopbackServer services(ServeMapServices);
    LoopbackServer geolocation(
        [](LoopbackConnection &connection, LoopbackServer &server) {
            server.Record(RequestPath(connection.ReadRequestHead()));
            connection.WaitForClose();
            server.Record("closed");
        },
        LoopbackServer::Serving::Concurrently);
    UseServices(
        {{QStringLiteral("Geolocation URL"), geolocation.Url()},
         {QStringLiteral("Public Map URL"), services.Url() + QStringLiteral("/public")},
         {QStringLiteral("Tile URL"), services.Url() + QStringLiteral("/tiles/{z}/{x}/{y}.png")}});
    form_->AddressMemo->setPlainText(QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1"));
    form_->DebugMemo->setPlainText(QStringLiteral("unsaved results"));
    GeolocationForm->StartGeolocation = true;

    bool asked = false;
    bool stillOpen = false;
    QString typed;
    QString notice;
    ASSERT_TRUE(WithMapOpen([&] {
        asked = WaitUntil([&] { return !geolocation.Recorded().isEmpty(); }, 30000);
        MapWindow()->activateWindow();
        if (asked && QTest::qWaitForWindowActive(MapWindow())) {
            MapKeyEdit()->setFocus();
            TypeText(MapKeyEdit(), QStringLiteral("key"));
            WaitUntil([&] { return MapKeyEdit()->text() == QStringLiteral("key"); });
            typed = MapKeyEdit()->text();
            PressKey(MapKeyEdit(), Qt::Key_Escape, "Escape");
            auto *label = MapWindow()->findChild<QLabel *>(QStringLiteral("NoticeLabel"));
            WaitUntil([&] { return label->text().contains(QStringLiteral("cancelled")); });
            notice = label->text();
            stillOpen = MapWindow()->isVisible();
        }
        MapWindow()->reject();
    }));

    ASSERT_TRUE(asked);
    EXPECT_EQ(typed, QStringLiteral("key"));
    EXPECT_TRUE(notice.contains(
        QStringLiteral("Locating the addresses was cancelled, so they have no marker.")))
        << notice.toStdString();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(WaitUntil([&] { return geolocation.Recorded().contains("closed"); }));
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("unsaved results"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(AddressCommands, F3AfterTwoPingsShowsTheirMarkers) {
    LoopbackServer services(ServeMapServices);
    // The key as the user stores it in the map window: it goes into the settings file.
    Settings()->SetMapKey(QStringLiteral("USER-KEY"));
    Settings()->Save();
    UseServices({{QStringLiteral("Geolocation URL"), services.Url()},
                 {QStringLiteral("Maps Script URL"), services.Url()},
                 {QStringLiteral("Public Map URL"), services.Url() + QStringLiteral("/public")}});

    ASSERT_TRUE(Type(QStringLiteral("127.0.0.1"), Qt::Key_Return));
    ASSERT_TRUE(Type(QStringLiteral("127.0.0.2"), Qt::Key_Return));
    ASSERT_EQ(PaneLines(form_->AddressMemo->document()).size(), 2);
    ASSERT_TRUE(GeolocationForm->StartGeolocation);

    int markers = -1;
    ASSERT_TRUE(WithMapOpen([&] {
        WaitUntil(
            [&] {
                return MapBrowser() != nullptr &&
                       Evaluate(MapBrowser(), QStringLiteral("window.listenerCount || 0"))
                               .toInt() == 2;
            },
            30000);
        markers = Evaluate(MapBrowser(), QStringLiteral("window.markerCount")).toInt();
        const QString shot = qEnvironmentVariable("TARVEX_MAP_SCREENSHOT");
        if (!shot.isEmpty()) {
            WaitUntil([] { return false; }, 500);  // let the pictures paint
            MapWindow()->grab().save(shot);
        }
        MapWindow()->reject();
    }));

    EXPECT_EQ(markers, 2);
    EXPECT_EQ(MapKeyEdit()->text(), QStringLiteral("USER-KEY"));
    const QList<QByteArray> paths = services.Recorded();
    EXPECT_TRUE(paths.contains("/xml/127.0.0.1"));
    EXPECT_TRUE(paths.contains("/xml/127.0.0.2"));
    EXPECT_TRUE(paths.contains("/maps/api/js?key=USER-KEY&callback=initMap"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(AddressCommands, F3WithoutKeyShowsThePingedAddressOnOpenStreetMap) {
    LoopbackServer services(ServeMapServices);
    PingedWithoutKey(services);

    int markers = -1;
    ASSERT_TRUE(WithMapOpen([&] {
        WaitUntil(
            [&] {
                return MapBrowser() != nullptr &&
                       Evaluate(MapBrowser(), QStringLiteral("window.markerCount || 0")).toInt() ==
                           1;
            },
            30000);
        markers = Evaluate(MapBrowser(), QStringLiteral("window.markerCount")).toInt();
        MapWindow()->reject();
    }));

    EXPECT_EQ(markers, 1);
    EXPECT_FALSE(services.Recorded().contains("/public"));
    // The address was located; no map script of another provider was asked for.
    EXPECT_EQ(PageBuildRequests(services), QList<QByteArray>{"/xml/127.0.0.1"});
    EXPECT_TRUE(
        MapBrowser()->url().toString().startsWith(QStringLiteral("tarvex://map/page.html")));
}

TEST_F(AddressCommands, F3OpensTheMapAfterAnotherWindowHadTheFocus) {
    LoopbackServer services(ServeMapServices);
    UseServices({{QStringLiteral("Public Map URL"), services.Url() + QStringLiteral("/public")}});
    // A window of the test's own takes the focus, as another program's window can.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    bool visible = false;
    ASSERT_TRUE(WithMapOpen([&] {
        visible = MapWindow()->isVisible();
        MapWindow()->reject();
    }));
    EXPECT_TRUE(visible);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

}  // namespace

namespace {

TEST_F(AddressCommands, EnterInTheKeyEditWritesTheSettingsFileWithoutRebuilding) {
    LoopbackServer services(ServeMapServices);
    PingedWithoutKey(services);

    ASSERT_TRUE(WithMapOpen([&] {
        // Without a key the pinged address is on OpenStreetMap.
        WaitUntil(
            [&] {
                return MapBrowser() != nullptr &&
                       Evaluate(MapBrowser(), QStringLiteral("window.markerCount || 0")).toInt() ==
                           1;
            },
            30000);
        MapKeyEdit()->setFocus();
        QTest::keyClicks(MapKeyEdit(), QStringLiteral("MY-KEY"));
        QTest::keyClick(MapKeyEdit(), Qt::Key_Return);
        MapWindow()->reject();
    }));

    EXPECT_EQ(GeolocationForm->GoogleKey, QStringLiteral("MY-KEY"));
    QFile settings(SettingsFilePath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray text = settings.readAll();
    EXPECT_TRUE(text.contains("Google Maps Key=MY-KEY")) << text.constData();
    // The section of service addresses survives the save.
    EXPECT_TRUE(text.contains("[SERVICES]"));
    // The one page of the opening; the key built no other (no lookup again, no map script).
    EXPECT_EQ(PageBuildRequests(services), QList<QByteArray>{"/xml/127.0.0.1"});
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

}  // namespace

namespace {

// The address pane's context menu names the address of the line clicked (or of the selection)
// and writes its country and network into the results pane; the results pane's own menu has no
// such entry.
TEST_F(AddressCommands, CountryAndNetworkOfTheAddressPaneLine) {
    form_->AddressMemo->setPlainText(
        QStringLiteral("IPv4 - 192.168.7.7\t\tAddress - printer.lan\n"
                       "IPv4 - 193.0.6.139\t\tAddress - www.ripe.net\n"
                       "Address - not pinged yet"));
    QTextEdit *pane = form_->AddressMemo;
    const auto openMenuAt = [&](QTextEdit *on, int line) {
        const QTextBlock block = on->document()->findBlockByNumber(line);
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock);
        const QPoint at = on->cursorRect(cursor).center() - QPoint(3, 0);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, on->viewport()->mapToGlobal(at));
        QApplication::sendEvent(on->viewport(), &event);
        EXPECT_TRUE(QTest::qWaitFor([&] { return form_->ResultPopupMenu->isVisible(); }, 5000));
    };
    const struct {
        QTextEdit *pane;
        int line;
        bool shown;
        bool enabled;
    } rows[] = {
        {pane, 1, true, true},
        {pane, 0, true, true},
        {pane, 2, true, false},  // no address on that line
        {form_->DebugMemo, 0, false, false},
    };
    form_->DebugMemo->setPlainText(QStringLiteral("Reply from 193.0.6.139"));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        openMenuAt(row.pane, row.line);
        EXPECT_EQ(form_->ResultPopupMenu->actions().contains(form_->PopupCountryNetwork),
                  row.shown);
        if (row.shown) {
            EXPECT_EQ(form_->PopupCountryNetwork->isEnabled(), row.enabled);
        }
        form_->ResultPopupMenu->hide();
    }

    form_->DebugMemo->clear();
    openMenuAt(pane, 1);
    form_->PopupCountryNetwork->trigger();
    form_->ResultPopupMenu->hide();
    openMenuAt(pane, 0);
    form_->PopupCountryNetwork->trigger();
    form_->ResultPopupMenu->hide();
    const QStringList lines = PaneLines(form_->DebugMemo->document());
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.at(0), QStringLiteral("Country and network of 193.0.6.139"));
    EXPECT_EQ(lines.at(1), QStringLiteral("Country: NL Netherlands"));
    EXPECT_EQ(lines.at(3), QStringLiteral("AS: AS3333 Reseaux IP Europeens Network Coordination "
                                          "Centre (RIPE NCC)"));
    EXPECT_TRUE(lines.at(5).startsWith(
        QStringLiteral("Country and network of 192.168.7.7: none, it is a private")));
    // In the colour of address information, as the WHOIS answer.
    const QTextBlock first = form_->DebugMemo->document()->firstBlock();
    EXPECT_EQ(first.begin().fragment().charFormat().foreground().color(), form_->InfoColor);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
