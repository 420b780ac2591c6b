// "Watch list of addresses" as a user drives it: Shift+F10 on a loaded list, the table, graph
// and tray while real echo requests go to addresses in a namespace, one of which stops
// answering for a while, the lines and desktop notices of its changes, and what is written once
// the watch is stopped.
#include <gtest/gtest.h>
#include <malloc.h>

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QVariantMap>
#include <functional>

#include "app/MainMenuUnit.h"
#include "app/WatchGraph.h"
#include "app/WatchListPanel.h"
#include "common/CommandGuard.h"
#include "common/Errors.h"
#include "ping/RunResults.h"
#include "support/EchoNamespace.h"
#include "support/ProgramWindows.h"

namespace {

// The desktop's notification service as far as the program uses it: it takes each notice and
// keeps its summary, body and urgency.
class NotificationStandIn final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    struct Notice {
        QString Summary;
        QString Body;
        int Urgency = -1;
    };
    QList<Notice> Received;

  public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int) {
        Received.append(Notice{summary, body, hints.value(QStringLiteral("urgency")).toInt()});
        return static_cast<uint>(Received.size());
    }
};

// A session bus of the test's own, the program's session bus from the start of the suite.
QProcess *privateBus = nullptr;
QString privateBusAddress;

const QRegularExpression kUpAgain(
    QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  127\\.0\\.0\\.5 is up again after (\\d+)\\.(\\d) s$"));

// The main window with its list loaded, on a home folder whose settings file asks for a request
// every 100 ms with a time-out of 300 ms, in a namespace where every loopback address answers
// until a rule says otherwise.
class WatchListWindowTest : public ProgramWindowsTest {
  protected:
    static void SetUpTestSuite() {
        privateBus = new QProcess;
        privateBus->start(QStringLiteral("dbus-daemon"),
                          {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
        if (privateBus->waitForReadyRead(10000)) {
            privateBusAddress = QString::fromUtf8(privateBus->readLine()).trimmed();
            qputenv("DBUS_SESSION_BUS_ADDRESS", privateBusAddress.toUtf8());
        }
    }
    static void TearDownTestSuite() {
        privateBus->kill();
        privateBus->waitForFinished();
        delete privateBus;
        privateBus = nullptr;
    }

    void PrepareHome() override {
        WriteSettingsFile("[PING SYSTEM SETTINGS]\nTime Out=300\nInterval=100\n");
    }

    void SetUp() override {
        ProgramWindowsTest::SetUp();
        ns_ = std::make_unique<EchoNamespace>(QByteArray(), QStringLiteral("l"));
        if (!ns_->Problem().isEmpty()) {
            GTEST_SKIP() << ns_->Problem().toStdString();
        }
        if (privateBusAddress.isEmpty()) {
            GTEST_SKIP() << "no session bus of the test's own";
        }
        EchoNamespace *ns = ns_.get();
        UseEchoService([ns] { return ns->OpenService(TIcmpSocketKind::Automatic); });
    }

    void TearDown() override {
        ProgramWindowsTest::TearDown();
        ns_.reset();
    }

    // Another window takes the focus, as when the user works elsewhere.
    void LookAway() {
        elsewhere_.setWindowTitle(QStringLiteral("Elsewhere"));
        elsewhere_.resize(200, 100);
        elsewhere_.show();
        elsewhere_.activateWindow();
        QApplication::setActiveWindow(&elsewhere_);
        ASSERT_TRUE(WaitUntil([this] { return !form_->isActiveWindow(); }, 5000));
    }

    // Calls `step` every 20 ms while the list is watched until it returns true (it stops the
    // watch as a user would); a watch still going after 60 s is stopped and fails the test.
    void WhileWatching(const std::function<bool()> &step) {
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (done || !form_->IsWatchingList()) {
                return;
            }
            if (clock.elapsed() > 60000) {
                ADD_FAILURE() << "the watch did not end";
                form_->WatchListAction->trigger();
                done = true;
                return;
            }
            done = step();
        });
        probe.start(20);
        FinishRun();
        probe.stop();
    }

    QString State(int row) const {
        return form_->WatchListPanel->Model()->index(row, TWatchListModel::State).data().toString();
    }

    std::unique_ptr<EchoNamespace> ns_;
    QWidget elsewhere_;
};

TEST_F(WatchListWindowTest, AnAddressThatFallsSilentIsDownThenUpAgainWithLinesNoticesAndBlocks) {
    NotificationStandIn standIn;
    QDBusConnection service = QDBusConnection::connectToBus(privateBusAddress, "standin");
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &standIn,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    form_->AddressList = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.4"),
                          QStringLiteral("127.0.0.5")};
    form_->AddressEdit->setFocus();
    Press(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(form_->IsWatchingList());
    EXPECT_TRUE(form_->WatchListAction->isChecked());
    EXPECT_TRUE(form_->WatchListPanel->isVisible());
    EXPECT_TRUE(form_->WatchGraph->isVisible());
    EXPECT_FALSE(form_->ProcessGraph->isVisible());
    LookAway();

    enum class Phase { Answering, Silent, Back } phase = Phase::Answering;
    QStringList states;
    QString trayWhileDown, headingWhileDown;
    int graphLines = 0;
    WhileWatching([&] {
        switch (phase) {
            case Phase::Answering:
                if (State(0) == "up" && State(1) == "up" && State(2) == "up") {
                    states << State(2);
                    ns_->Nft(
                        "add rule ip txping input ip daddr 127.0.0.5 icmp type "
                        "echo-request drop\n");
                    phase = Phase::Silent;
                }
                return false;
            case Phase::Silent:
                // The heading follows at its next refresh.
                if (State(2) == "down" &&
                    form_->WatchListPanel->findChild<QLabel *>("WatchListHeading")
                        ->text()
                        .contains(QStringLiteral("1 down"))) {
                    states << State(2);
                    trayWhileDown = form_->WatchTray->toolTip();
                    headingWhileDown =
                        form_->WatchListPanel->findChild<QLabel *>("WatchListHeading")->text();
                    ns_->Nft("flush chain ip txping input\n");
                    phase = Phase::Back;
                }
                return false;
            case Phase::Back:
                if (State(2) != "up" || standIn.Received.size() < 2) {
                    return false;
                }
                states << State(2);
                graphLines = form_->WatchGraph->LineCount();
                form_->WatchListAction->trigger();
                return true;
        }
        return false;
    });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(states, QStringList({"up", "down", "up"}));
    EXPECT_EQ(trayWhileDown, QStringLiteral("Tarvex: 1 of 3 addresses down"));
    EXPECT_TRUE(headingWhileDown.contains(QStringLiteral("2 up,   1 down")))
        << headingWhileDown.toStdString();
    EXPECT_EQ(graphLines, 3);

    // One line per change, the outage at least the three time-outs that made the address down.
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_TRUE(lines.at(0).endsWith(
        QStringLiteral("Watching 3 addresses every 100 ms; an address is down after 3 requests "
                       "in a row without a reply.")))
        << lines.at(0).toStdString();
    EXPECT_EQ(lines
                  .filter(QRegularExpression(
                      QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  127\\.0\\.0\\.5 is down$")))
                  .size(),
              1)
        << lines.join('\n').toStdString();
    const QStringList upAgain = lines.filter(kUpAgain);
    ASSERT_EQ(upAgain.size(), 1) << lines.join('\n').toStdString();
    const QRegularExpressionMatch outage = kUpAgain.match(upAgain.first());
    const double seconds = outage.captured(1).toInt() + outage.captured(2).toInt() / 10.0;
    EXPECT_GE(seconds, 0.8);
    EXPECT_LT(seconds, 30);
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral(" is down$"))).size(), 1);

    // The notices, the outage's end in its text; a down is urgent.
    ASSERT_TRUE(WaitUntil([&] { return standIn.Received.size() >= 2; }, 5000));
    ASSERT_EQ(standIn.Received.size(), 2);
    EXPECT_EQ(standIn.Received.at(0).Summary, QStringLiteral("127.0.0.5 is down"));
    EXPECT_EQ(standIn.Received.at(0).Body,
              QStringLiteral("No reply to 3 requests in a row. 1 of 3 addresses watched down."));
    EXPECT_EQ(standIn.Received.at(0).Urgency, 2);
    EXPECT_EQ(standIn.Received.at(1).Summary, QStringLiteral("127.0.0.5 is up again"));
    EXPECT_TRUE(standIn.Received.at(1).Body.endsWith(
        QStringLiteral(" down. All 3 addresses watched are up.")))
        << standIn.Received.at(1).Body.toStdString();

    // Once stopped: each address's block in list order, then the outages.
    int at = 0;
    for (const char *address : {"127.0.0.1", "127.0.0.4", "127.0.0.5"}) {
        const int block =
            lines.indexOf(QStringLiteral("Pinging %1 with 32 bytes of data:").arg(address), at);
        ASSERT_GT(block, at) << address;
        EXPECT_TRUE(lines.at(block - 1).startsWith(QStringLiteral("Date: ")));
        EXPECT_EQ(lines.value(block + 3),
                  QStringLiteral("Ping statistics for %1; IPv4 - %1").arg(address));
        at = block;
    }
    const int outages = lines.indexOf(
        QRegularExpression(QStringLiteral("^Outages in .* of watching 3 addresses:$")), at);
    ASSERT_GT(outages, at) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.value(outages + 1).startsWith(QStringLiteral("127.0.0.5: 1 outage, ")))
        << lines.value(outages + 1).toStdString();
    EXPECT_EQ(Lines(form_->AddressMemo).size(), 3);
    EXPECT_EQ(Lines(form_->AddressMemo).at(2),
              QStringLiteral("IPv4 - 127.0.0.5\t\tAddress - 127.0.0.5"));

    // Saved as data like any run: each address with its statistics, without its replies.
    ASSERT_EQ(form_->PaneRuns().size(), 3u);
    const QJsonArray runs =
        QJsonDocument::fromJson(RunResultsJson(form_->PaneRuns())).object().value("runs").toArray();
    ASSERT_EQ(runs.size(), 3);
    const QJsonObject silent = runs.at(2).toObject();
    EXPECT_EQ(silent.value("target").toString(), QStringLiteral("127.0.0.5"));
    EXPECT_EQ(silent.value("address").toString(), QStringLiteral("127.0.0.5"));
    EXPECT_TRUE(silent.value("replies").toArray().isEmpty());
    const QJsonObject statistics = silent.value("statistics").toObject();
    const TPingFigures &figures = form_->PaneRuns().at(2).Figures.value();
    EXPECT_EQ(statistics.value("sent").toInt(), figures.Sent);
    EXPECT_GE(statistics.value("lost").toInt(), 3);
    EXPECT_GT(statistics.value("received").toInt(), 0);
    // ... and what its watch went through: it was down once and came back.
    const QJsonObject watched = silent.value("watch").toObject();
    EXPECT_EQ(watched.value("outage_count").toInt(), 1);
    EXPECT_EQ(watched.value("outages").toArray().size(), 1);
    const QJsonArray changes = watched.value("changes").toArray();
    ASSERT_GE(changes.size(), 3);
    EXPECT_EQ(changes.at(1).toObject().value("to").toString(), QStringLiteral("down"));
    EXPECT_EQ(changes.at(2).toObject().value("from").toString(), QStringLiteral("down"));

    // The table stays with its figures; everything else is back as at rest.
    EXPECT_FALSE(form_->WatchListAction->isChecked());
    EXPECT_FALSE(form_->WatchTray->isVisible());
    EXPECT_EQ(form_->WatchListPanel->Model()->index(2, TWatchListModel::Outages).data().toInt(), 1);
    EXPECT_TRUE(form_->WatchListPanel->isVisible());
    EXPECT_TRUE(form_->WatchListPanel->findChild<QLabel *>("WatchListHeading")
                    ->text()
                    .startsWith(QStringLiteral("Watched 3 addresses every 100 ms:")));

    // A double click on a row pings that address as an ordinary run, on the ordinary graph.
    form_->activateWindow();
    QTableView *table = form_->WatchListPanel->Table();
    const QRect row = table->visualRect(table->model()->index(1, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    EXPECT_TRUE(form_->IsRunning());
    FinishRun();
    EXPECT_EQ(Lines(form_->DebugMemo).filter(QStringLiteral("Pinging 127.0.0.4 with")).size(), 2);
    EXPECT_TRUE(form_->ProcessGraph->isVisible());
    EXPECT_FALSE(form_->WatchGraph->isVisible());
    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus("standin");
}

// Without a notification service the program says so once, and the watch goes on; Esc stops it.
// The moment an address goes down is the moment its route is wanted: the watch goes on while
// the address is pinged (a double click on its row) and a route is traced (typed into the field,
// Ctrl+T). Esc stops the run started last and says which; each run's block is written whole, and
// the watch neither stops nor misses its requests meanwhile.
TEST_F(WatchListWindowTest, TheWatchGoesOnWhileItsAddressIsPingedAndARouteTraced) {
    form_->AddressList = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.5")};
    form_->AddressEdit->setFocus();
    Press(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(form_->IsWatchingList());

    enum class Phase {
        Answering,
        Silent,
        Pinging,
        Tracing,
        Stopping,
        After
    } phase = Phase::Answering;
    QString stopStatus;
    int sentBefore = 0;
    bool watchStopped = false;
    QTableView *table = form_->WatchListPanel->Table();
    WhileWatching([&] {
        watchStopped = watchStopped || !form_->IsWatchingList();
        switch (phase) {
            case Phase::Answering:
                if (State(0) == "up" && State(1) == "up") {
                    ns_->Nft(
                        "add rule ip txping input ip daddr 127.0.0.5 icmp type "
                        "echo-request drop\n");
                    phase = Phase::Silent;
                }
                return false;
            case Phase::Silent:
                if (State(1) == "down") {
                    const QRect row = table->visualRect(table->model()->index(1, 0));
                    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                                      row.center());
                    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                                       row.center());
                    EXPECT_TRUE(form_->Runs()->IsRunning(TRunModel::TKind::Single));
                    phase = Phase::Pinging;
                }
                return false;
            case Phase::Pinging:
                if (form_->Runs()->IsRunning(TRunModel::TKind::Single)) {
                    // The field shows the pinged address and cannot change meanwhile.
                    EXPECT_TRUE(form_->AddressEdit->isReadOnly());
                    return false;
                }
                // Typed while the watch goes: the field is free again.
                EXPECT_FALSE(form_->AddressEdit->isReadOnly());
                form_->AddressEdit->setFocus();
                form_->AddressEdit->clear();
                QTest::keyClicks(form_->AddressEdit, QStringLiteral("127.0.0.1"));
                Press(Qt::Key_T, Qt::ControlModifier);
                EXPECT_TRUE(form_->IsTracing());
                phase = Phase::Tracing;
                return false;
            case Phase::Tracing:
                if (form_->Runs()->TraceHops() == nullptr ||
                    !form_->Runs()->TraceHops()->Reached()) {
                    return false;
                }
                Press(Qt::Key_Escape);
                stopStatus = form_->WatchLabel->text();
                phase = Phase::Stopping;
                return false;
            case Phase::Stopping:
                if (form_->IsTracing()) {
                    return false;
                }
                form_->Runs()->CountListRequests();
                sentBefore = form_->Runs()->ListWatch()->At(0).Figures.Sent;
                phase = Phase::After;
                return false;
            case Phase::After:
                form_->Runs()->CountListRequests();
                if (form_->Runs()->ListWatch()->At(0).Figures.Sent < sentBefore + 3) {
                    return false;
                }
                form_->WatchListAction->trigger();
                return true;
        }
        return false;
    });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_FALSE(watchStopped);
    EXPECT_EQ(stopStatus, QStringLiteral("Stopping the trace of 127.0.0.1 ..."));

    const QStringList lines = Lines(form_->DebugMemo);
    const QString text = lines.join('\n');
    // The ping's block is whole: its four time-outs, no line of the watch or trace inside it.
    const int header = lines.indexOf(QStringLiteral("Pinging 127.0.0.5 with 32 bytes of data:"));
    ASSERT_GT(header, 0) << text.toStdString();
    EXPECT_EQ(lines.mid(header + 2, 4),
              QStringList(4, QStringLiteral("Reply from 127.0.0.5: Request Timed Out")));
    EXPECT_EQ(lines.value(header + 8),
              QStringLiteral("Packets: Sent = 4, Received = 0, Lost = 4 [ 100% loss ]"));
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^Tracing route to 127\\.0\\.0\\.1 ")))
                  .size(),
              1)
        << text.toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral(" 127\\.0\\.0\\.5 is down$"))).size(),
              1);
    // Then the watch's own blocks, both addresses, once it was stopped.
    const int watched =
        lines.lastIndexOf(QStringLiteral("Pinging 127.0.0.1 with 32 bytes of data:"));
    EXPECT_GT(watched, header);
    EXPECT_GT(lines.indexOf(QRegularExpression(QStringLiteral("^Outages in .* of watching 2 "
                                                              "addresses:$"))),
              watched);
    // The ping, the trace, and the two watched addresses, as data.
    ASSERT_EQ(form_->PaneRuns().size(), 4u);
    EXPECT_EQ(form_->PaneRuns().at(1).Kind, TRunResult::TKind::Trace);
}

TEST_F(WatchListWindowTest, WithoutANotificationServiceItSaysSoOnceAndGoesOn) {
    EchoNamespace standard(EchoNamespace::StandardRules(), QStringLiteral("r"));
    if (!standard.Problem().isEmpty()) {
        GTEST_SKIP() << standard.Problem().toStdString();
    }
    UseEchoService([&standard] { return standard.OpenService(TIcmpSocketKind::Automatic); });
    // 127.0.0.2 is rejected and 127.0.0.3 dropped: both go down, two notices are due.
    form_->AddressList = {QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"),
                          QStringLiteral("127.0.0.1")};
    form_->WatchListAction->trigger();
    LookAway();
    WhileWatching([&] {
        if (form_->WatchTray->toolTip() != QStringLiteral("Tarvex: 2 of 3 addresses down")) {
            return false;
        }
        form_->activateWindow();
        QApplication::setActiveWindow(form_);
        form_->AddressEdit->setFocus();
        Press(Qt::Key_Escape);
        return true;
    });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_EQ(lines.filter(QStringLiteral("Desktop notifications cannot be shown")).size(), 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(
        lines.filter(QRegularExpression(QStringLiteral("127\\.0\\.0\\.[23] is down$"))).size(), 2);
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral(" is down$"))).size(), 2);
    EXPECT_EQ(lines.filter(QStringLiteral("Ping statistics for ")).size(), 3);
    EXPECT_FALSE(form_->IsRunning());
}

// The network of an answering address comes from the offline location database: a public
// address put on the namespace's loopback answers as RIPE NCC's network.
TEST_F(WatchListWindowTest, TheNetworkColumnNamesTheAddressesAs) {
    ASSERT_TRUE(ns_->AddLoopbackAddress(QStringLiteral("193.0.6.139/32")))
        << ns_->Problem().toStdString();
    form_->AddressList = {QStringLiteral("193.0.6.139"), QStringLiteral("127.0.0.1")};
    form_->WatchListAction->trigger();
    QString network, loopback;
    WhileWatching([&] {
        if (State(0) != "up" || State(1) != "up") {
            return false;
        }
        TWatchListModel *model = form_->WatchListPanel->Model();
        network = model->index(0, TWatchListModel::Network).data().toString();
        loopback = model->index(1, TWatchListModel::Network).data().toString();
        form_->WatchListAction->trigger();
        return true;
    });
    EXPECT_TRUE(network.startsWith(QStringLiteral("AS3333 "))) << network.toStdString();
    // A loopback address lies in no network of the database.
    EXPECT_EQ(loopback, QString());
}

// An echo service that answers every request at once, except for one address whose service
// fails.
class FailingForOne final : public TEchoService {
  public:
    std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override {
        if (query.Address == QStringLiteral("broken.test")) {
            throw TxError(QStringLiteral("The echo service broke down."));
        }
        TPingReply reply;
        reply.StatusCode = 0;
        reply.ResponseTime = 3;
        reply.ProtocolAddress = QStringLiteral("10.0.0.1");
        reply.ReplySize = 32;
        reply.TimeToLive = 57;
        return reply;
    }
};

// An address whose requests end with an error says so at once; the others go on.
TEST_F(WatchListWindowTest, AnAddressThatFailsIsToldAtOnceAndTheOthersGoOn) {
    UseEchoService([] { return std::make_unique<FailingForOne>(); });
    form_->AddressList = {QStringLiteral("10.0.0.1"), QStringLiteral("broken.test")};
    form_->WatchListAction->trigger();
    int sentAtError = 0;
    QString tip;
    WhileWatching([&] {
        TWatchListModel *model = form_->WatchListPanel->Model();
        if (State(1) != "error") {
            return false;
        }
        if (sentAtError == 0) {
            sentAtError = model->index(0, TWatchListModel::Sent).data().toInt();
            tip = model->index(1, TWatchListModel::State).data(Qt::ToolTipRole).toString();
        }
        // The first address goes on.
        if (model->index(0, TWatchListModel::Sent).data().toInt() < sentAtError + 3) {
            return false;
        }
        form_->WatchListAction->trigger();
        return true;
    });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(tip, QStringLiteral("The echo service broke down."));
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_EQ(lines
                  .filter(QRegularExpression(QStringLiteral(
                      "^\\d\\d:\\d\\d:\\d\\d  broken\\.test is no longer watched: The "
                      "echo service broke down\\.$")))
                  .size(),
              1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("Ping statistics for ")).size(), 2);
}

// The table marks each drawn address with its line's colour, however often it is drawn: the
// swatches are the same pictures every time, so a few hundred drawings keep nothing on the heap
// (each new picture was kept in the picture cache under a key of its own, a watch's steady
// growth).
TEST(WatchListTable, DrawingTheLineColoursAgainAndAgainKeepsNothing) {
    QStringList addresses;
    QHash<int, QColor> colors;
    for (int i = 0; i < TWatchGraph::kMaxLines; ++i) {
        addresses << QStringLiteral("10.0.0.%1").arg(i + 1);
        colors.insert(i, TWatchGraph::LineColor(i));
    }
    const TListWatch watch(addresses);
    TWatchListPanel panel;
    panel.resize(900, 400);
    panel.Show(&watch, QDateTime::currentDateTime());
    panel.SetLineColors(colors);
    panel.show();
    QWidget *viewport = panel.Table()->viewport();
    QImage canvas(viewport->size(), QImage::Format_ARGB32);
    int drawn = 0;
    const auto draw = [&] {
        panel.SetLineColors(colors);
        panel.Refresh(QStringLiteral("Watching"), ++drawn * 1000);
        viewport->render(&canvas);
    };
    for (int i = 0; i < 20; ++i) {
        draw();
    }
    // The first row's swatch is in its line's colour.
    const QRect first = panel.Table()->visualRect(panel.Table()->model()->index(0, 0));
    bool swatch = false;
    for (int x = first.left(); x <= first.right() && !swatch; ++x) {
        swatch = canvas.pixelColor(x, first.center().y()) == TWatchGraph::LineColor(0);
    }
    EXPECT_TRUE(swatch);

    const auto heap = [] { return static_cast<qint64>(mallinfo2().uordblks); };
    const qint64 before = heap();
    for (int i = 0; i < 500; ++i) {
        draw();
    }
    EXPECT_LT(heap() - before, 512 * 1024);
}

// The same window waiting a minute for each reply.
class WatchListClosingTest : public WatchListWindowTest {
  protected:
    void PrepareHome() override {
        WriteSettingsFile("[PING SYSTEM SETTINGS]\nTime Out=60000\nInterval=100\n");
    }
};

// Closing the window while a list is watched: the watch ends at once, without waiting for the
// silent address's request under way, its blocks and outages are written as a stop writes them,
// then the window closes.
TEST_F(WatchListClosingTest, ClosingEndsTheWatchAtOnceAndKeepsWhatItMeasured) {
    ASSERT_TRUE(
        ns_->Nft("add rule ip txping input ip daddr 127.0.0.4 icmp type echo-request drop\n"));
    form_->AddressList = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.4")};
    form_->WatchListAction->trigger();
    ASSERT_TRUE(form_->IsWatchingList());
    TWatchListModel *model = form_->WatchListPanel->Model();
    ASSERT_TRUE(WaitUntil([&] {
        return model->index(0, TWatchListModel::Sent).data().toInt() >= 4 &&
               model->index(1, TWatchListModel::Sent).data().toInt() == 1;
    }));
    form_->close();
    // A minute's time-out is far beyond this wait.
    ASSERT_TRUE(WaitUntil([&] { return !form_->isVisible(); }, 20000));
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_FALSE(form_->IsRunning());

    const QStringList lines = Lines(form_->DebugMemo);
    const int answering = lines.indexOf(QStringLiteral("Pinging 127.0.0.1 with 32 bytes of data:"));
    const int silent = lines.indexOf(QStringLiteral("Pinging 127.0.0.4 with 32 bytes of data:"));
    ASSERT_GT(answering, 0) << lines.join('\n').toStdString();
    ASSERT_GT(silent, answering) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.value(answering + 3),
              QStringLiteral("Ping statistics for 127.0.0.1; IPv4 - 127.0.0.1"));
    // The answering address's replies are counted; the silent one's request had no outcome.
    const QRegularExpression sent(QStringLiteral("^\\s*Packets: Sent = (\\d+), Received = (\\d+)"));
    const QRegularExpressionMatch first = sent.match(lines.value(answering + 4));
    ASSERT_TRUE(first.hasMatch()) << lines.value(answering + 4).toStdString();
    EXPECT_GE(first.captured(1).toInt(), 3);
    EXPECT_EQ(first.captured(2), first.captured(1));
    const QRegularExpressionMatch second = sent.match(lines.value(silent + 4));
    ASSERT_TRUE(second.hasMatch()) << lines.value(silent + 4).toStdString();
    EXPECT_EQ(second.captured(1), QStringLiteral("0"));
    EXPECT_GT(lines.indexOf(QRegularExpression(
                                QStringLiteral("^No outages in .* of watching 2 addresses\\.$")),
                            silent),
              silent)
        << lines.join('\n').toStdString();
    EXPECT_EQ(form_->PaneRuns().size(), 2u);
}

TEST_F(WatchListWindowTest, NoListOrAListTooLongIsRefusedAndNothingIsCleared) {
    form_->DebugMemo->setPlainText(QStringLiteral("kept"));
    form_->AddressList.clear();
    form_->WatchListAction->trigger();
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_.at(0).contains(QStringLiteral("No list of addresses is loaded")));
    EXPECT_TRUE(errors_.at(0).contains(QStringLiteral("Shift+F10")));

    for (int i = 0; i <= kMaxWatchedAddresses; ++i) {
        form_->AddressList
            << QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255);
    }
    form_->WatchListAction->trigger();
    ASSERT_EQ(errors_.size(), 2);
    EXPECT_TRUE(
        errors_.at(1).contains(QStringLiteral("at most 10000 addresses; the list has 10001")))
        << errors_.at(1).toStdString();
    EXPECT_FALSE(form_->IsRunning());
    EXPECT_FALSE(form_->WatchListAction->isChecked());
    EXPECT_EQ(Lines(form_->DebugMemo), QStringList(QStringLiteral("kept")));
    EXPECT_FALSE(form_->WatchListPanel->isVisible());
}

}  // namespace

#include "WatchListWindowTest.moc"
