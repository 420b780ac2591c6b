// "Trace route" as a user drives it in the main window: Ctrl+T starts it in the route panel,
// Esc or the command again stops it and writes the route's block, a double click on a hop takes
// its address into the field, and the next Esc clears the route away. Real probes to loopback.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "app/PingCharts.h"
#include "app/TracePanel.h"
#include "common/BrowserWindows.h"
#include "support/ProgramWindows.h"
#include "support/RouterChain.h"

namespace {

class TraceWindowTest : public ProgramWindowsTest {
  protected:
    // The map of a route reaches nothing outside this machine: its services are closed ports.
    // A silent hop is given up on after 300 ms.
    void PrepareHome() override {
        WriteSettingsFile(
            "[PING SYSTEM SETTINGS]\nTime Out=300\n"
            "[SERVICES]\nGeolocation URL=http://127.0.0.1:1\nPublic Map URL=http://127.0.0.1:1/\n"
            "Maps Script URL=http://127.0.0.1:1\nTile URL=http://127.0.0.1:1/{z}/{x}/{y}.png\n");
    }

    // Traces 127.0.0.1 until `rounds` rounds are shown, then stops with `stop`.
    void Trace(int rounds, const std::function<void()> &stop) {
        form_->AddressEdit->setFocus();
        QTest::keyClicks(form_->AddressEdit, QStringLiteral("127.0.0.1"));
        Press(Qt::Key_T, Qt::ControlModifier);
        ASSERT_TRUE(form_->IsTracing());
        EXPECT_TRUE(form_->TraceRouteAction->isChecked());
        EXPECT_TRUE(form_->TracePanel->isVisible());
        const QString shown = QStringLiteral("Round %1").arg(rounds);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return form_->TracePanel->findChild<QLabel *>(QStringLiteral("TraceHeading"))
                    ->text()
                    .endsWith(shown);
            },
            30000));
        stop();
        FinishRun();
        EXPECT_FALSE(form_->IsRunning());
        EXPECT_FALSE(form_->TraceRouteAction->isChecked());
    }
};

const QRegularExpression kLoopbackHop(QStringLiteral(
    "^  1  (localhost \\[127\\.0\\.0\\.1\\]|127\\.0\\.0\\.1) +(\\d+) +0%( +\\d+(\\.\\d+)?){5}$"));

}  // namespace

TEST_F(TraceWindowTest, EscStopsTheTraceAndTheRoutesBlockIsWritten) {
    Trace(2, [] { Press(Qt::Key_Escape); });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();

    // The route panel held the one hop with its figures, and the graph followed it.
    TTraceModel *model = form_->TracePanel->Model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->data(model->index(0, TTraceModel::Address), Qt::DisplayRole).toString(),
              QStringLiteral("127.0.0.1"));
    EXPECT_EQ(model->data(model->index(0, TTraceModel::Loss), Qt::DisplayRole).toString(),
              QStringLiteral("0%"));
    EXPECT_GE(form_->Charts()->PointCount(), 1);

    const QStringList lines = Lines(form_->DebugMemo);
    ASSERT_EQ(lines.size(), 7) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("Date: ")));
    EXPECT_EQ(lines.at(1),
              QStringLiteral("Tracing route to 127.0.0.1 [127.0.0.1] over a maximum of 30 hops:"));
    EXPECT_EQ(lines.at(2), QString());
    EXPECT_TRUE(lines.at(3).startsWith(QStringLiteral("Hop  Address")));
    const QRegularExpressionMatch hop = kLoopbackHop.match(lines.at(4));
    ASSERT_TRUE(hop.hasMatch()) << lines.at(4).toStdString();
    const int rounds = lines.at(6).mid(QStringLiteral("Rounds: ").size()).toInt();
    EXPECT_GE(rounds, 2);
    EXPECT_TRUE(lines.at(6).startsWith(QStringLiteral("Rounds: ")));
    // Every round's probe is in: the stop forgets none that had an answer.
    EXPECT_LE(hop.captured(2).toInt(), rounds);
    EXPECT_EQ(Lines(form_->AddressMemo),
              QStringList(QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1")));

    // A double click on the hop puts its address into the field.
    form_->AddressEdit->clear();
    QTableView *table = form_->TracePanel->Table();
    const QRect cell = table->visualRect(model->index(0, TTraceModel::Address));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("127.0.0.1"));

    // The next Esc clears everything, the route with it.
    Press(Qt::Key_Escape);
    EXPECT_FALSE(form_->TracePanel->isVisible());
    EXPECT_EQ(form_->TracePanel->Model()->rowCount(), 0);
    EXPECT_TRUE(Lines(form_->DebugMemo).join(QString()).isEmpty());
}

TEST_F(TraceWindowTest, TheCommandAgainStopsItAndAPingGoesBesideIt) {
    Trace(1, [this] {
        // A ping of the address goes beside the trace, which the command then stops.
        form_->SinglePingAction->trigger();
        EXPECT_TRUE(form_->IsTracing());
        EXPECT_TRUE(form_->Runs()->IsRunning(TRunModel::TKind::Single));
        Press(Qt::Key_T, Qt::ControlModifier);
    });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_EQ(lines.filter(QStringLiteral("Tracing route to 127.0.0.1")).size(), 1);
    // The ping's block is whole: the route's block, which ended meanwhile, follows it.
    const qsizetype header =
        lines.indexOf(QStringLiteral("Pinging 127.0.0.1 with 32 bytes of data:"));
    const qsizetype packets =
        lines.indexOf(QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]"));
    ASSERT_GT(header, 0);
    ASSERT_GT(packets, header);
    EXPECT_EQ(lines.filter(QStringLiteral("Reply from 127.0.0.1")).size(), 4);
    const auto route = std::find_if(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.startsWith(QStringLiteral("Tracing route to 127.0.0.1"));
    });
    EXPECT_GT(route - lines.cbegin(), packets);
    EXPECT_EQ(form_->PaneRuns().size(), 2u);
}

// A trace goes until stopped, so closing the window stops it; its block is written, then the
// window goes.
TEST_F(TraceWindowTest, ClosingTheWindowStopsTheTraceBeforeTheWindowGoes) {
    bool visibleAfterClose = false;
    Trace(1, [&] {
        form_->close();
        visibleAfterClose = form_->isVisible();
    });
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(Lines(form_->DebugMemo).filter(QStringLiteral("Tracing route to 127.0.0.1")).size(),
              1);
    EXPECT_TRUE(QTest::qWaitFor([] { return !MainMenuForm->isVisible(); }, 30000));
}

// "Show route on map" in the route panel's menu opens the map window on the route's hops, drawn as
// a route; closing it puts the pinged addresses back as the map's subject.
TEST_F(TraceWindowTest, TheRouteOpensOnTheMapAndTheMapGoesBackToThePingedAddresses) {
    QAction showRoute;
    QObject::connect(&showRoute, &QAction::triggered,
                     [this] { emit form_->TracePanel->RouteMapRequested(); });
    // Before any hop answered there is nothing to show, and the window says so.
    EXPECT_EQ(WhileOpen(&showRoute, QStringLiteral("GeolocationForm"), nullptr), nullptr);
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_.at(0).contains(QStringLiteral("nothing to show on the map")));
    errors_.clear();

    Trace(1, [] { Press(Qt::Key_Escape); });
    const bool locateBefore = GeolocationForm->StartGeolocation;
    bool routeShown = false;
    bool locating = false;
    QDialog *map = WhileOpen(&showRoute, QStringLiteral("GeolocationForm"), [&](QDialog *) {
        routeShown = GeolocationForm->ShowRoute;
        locating = GeolocationForm->StartGeolocation;
    });
    ASSERT_NE(map, nullptr) << errors_.join('\n').toStdString();
    EXPECT_TRUE(routeShown);
    EXPECT_TRUE(locating);
    EXPECT_FALSE(GeolocationForm->ShowRoute);
    EXPECT_EQ(GeolocationForm->StartGeolocation, locateBefore);
}

// Behind three answering routers the target keeps silent: the graph, which follows the target,
// draws nothing, the status bar counts no round as answered, the silent hops fold into one row,
// and once stopped the heading and the block say that the target was not reached.
TEST_F(TraceWindowTest, ASilentTargetIsDrawnAndCountedAsSilent) {
    RouterChain chain(QStringLiteral("win"));
    if (!chain.Problem().isEmpty()) {
        GTEST_SKIP() << chain.Problem().toStdString();
    }
    ASSERT_TRUE(chain.Nft(
        4,
        "add chain inet txchain input { type filter hook input priority 0; policy accept; }\n"
        "add rule inet txchain input icmp type echo-request drop\n"));
    UseEchoService([&chain] { return chain.OpenService(TIcmpSocketKind::Automatic); });
    form_->AddressEdit->setText(RouterChain::TargetV4());
    // Started inside the chain, so that the trace's threads look its hops' names up there.
    ASSERT_TRUE(chain.RunInside([] { Press(Qt::Key_T, Qt::ControlModifier); }));
    ASSERT_TRUE(form_->IsTracing());
    TTraceModel *model = form_->TracePanel->Model();
    const auto cell = [model](int row, int column) {
        return model->data(model->index(row, column), Qt::DisplayRole).toString();
    };
    // Two rounds whose probes to the silent hops have all timed out, a round a second.
    QLabel *heading = form_->TracePanel->findChild<QLabel *>(QStringLiteral("TraceHeading"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return heading->text().contains(
                       QRegularExpression(QStringLiteral("Round ([4-9]|\\d\\d)"))) &&
                   model->rowCount() == 4 && cell(3, TTraceModel::Sent).toInt() >= 2 &&
                   cell(3, TTraceModel::Loss) == QStringLiteral("100%") &&
                   cell(2, TTraceModel::Loss) == QStringLiteral("0%");
        },
        30000));
    EXPECT_EQ(cell(2, TTraceModel::Address), RouterChain::HopV4(3));
    EXPECT_EQ(cell(3, TTraceModel::Hop), QStringLiteral("4-30"));
    EXPECT_EQ(cell(3, TTraceModel::Address), QStringLiteral("???"));
    EXPECT_EQ(cell(3, TTraceModel::Name), QStringLiteral("no answer"));
    EXPECT_EQ(form_->Charts()->PointCount(), 0);
    EXPECT_TRUE(form_->RemaningLabel->text().startsWith(QStringLiteral("0 of ")))
        << form_->RemaningLabel->text().toStdString();
    Press(Qt::Key_Escape);
    FinishRun();
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(form_->Charts()->PointCount(), 0);
    const QString end = QStringLiteral("No answer from hop 4 to 30: the target was not reached.");
    EXPECT_TRUE(heading->text().endsWith(end)) << heading->text().toStdString();
    const QStringList lines = Lines(form_->DebugMemo);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.at(lines.size() - 2), end);
    EXPECT_TRUE(
        lines.filter(QRegularExpression(QStringLiteral("^4-30  \\?\\?\\?  no answer"))).size() == 1)
        << lines.join('\n').toStdString();
}

TEST_F(TraceWindowTest, AnEmptyAddressFieldSaysWhatIsMissing) {
    form_->AddressEdit->clear();
    form_->TraceRouteAction->trigger();
    EXPECT_FALSE(form_->IsRunning());
    EXPECT_FALSE(form_->TracePanel->isVisible());
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(
        errors_.at(0).contains(QStringLiteral("Type the address whose route is to be traced")))
        << errors_.at(0).toStdString();
}

namespace {

// The Network column names each hop's AS from the offline location database; hops in private
// networks (the loopback traces above) and hops without an answer show nothing there.
TEST(TraceModel, NetworkColumnNamesEachHopsAsOnce) {
    const auto answer = [](const char *address) {
        TPingReply reply;
        reply.StatusCode = 11013;  // time exceeded on the way
        reply.ProtocolAddress = QString::fromLatin1(address);
        return reply;
    };
    TTraceHops hops(6);
    const struct {
        int ttl;
        QStringList addresses;  // none: the hop did not answer
        QString network;
        QString details;
    } rows[] = {
        {1, {QStringLiteral("192.168.1.1")}, QString(), QString()},
        {2, {}, QString(), QString()},
        {3,
         {QStringLiteral("193.0.6.139")},
         QStringLiteral("AS3333 Reseaux IP Europeens Network Coordination Centre (RIPE NCC)"),
         QStringLiteral("NL Netherlands, 193.0.0.0/21")},
        // A balanced hop: two addresses of one AS name it once, each network in the tip.
        {4,
         {QStringLiteral("8.8.8.8"), QStringLiteral("8.8.4.4")},
         QStringLiteral("AS15169 GOOGLE"),
         QStringLiteral("US United States of America, 8.8.8.0/24\n"
                        "US United States of America, 8.8.4.0/24")},
        {5,
         {QStringLiteral("2001:67c:2e8:22::c100:68b"), QStringLiteral("10.0.0.1"),
          QStringLiteral("2001:4860:4860::8888")},
         QStringLiteral("AS3333 Reseaux IP Europeens Network Coordination Centre (RIPE NCC), "
                        "AS15169 GOOGLE"),
         QStringLiteral("NL Netherlands, 2001:67c:2e8::/48\n"
                        "US United States of America, 2001:4860::/32")},
    };
    for (const auto &row : rows) {
        for (const QString &address : row.addresses) {
            hops.Sent(row.ttl);
            hops.Add(row.ttl, answer(address.toLatin1().constData()));
        }
        if (row.addresses.isEmpty()) {
            hops.Sent(row.ttl);
            hops.Add(row.ttl, TPingReply{11010, 0, QString(), 0, 0, 0});
        }
    }
    TTraceModel model;
    model.Show(&hops);
    ASSERT_GE(model.rowCount(), 5);
    EXPECT_EQ(model.headerData(TTraceModel::Network, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Network"));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.ttl);
        const QModelIndex cell = model.index(row.ttl - 1, TTraceModel::Network);
        EXPECT_EQ(model.data(cell, Qt::DisplayRole).toString(), row.network);
        EXPECT_EQ(model.data(cell, Qt::ToolTipRole).toString(), row.details);
    }
}

}  // namespace
