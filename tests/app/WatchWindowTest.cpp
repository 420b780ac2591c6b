// "Ping until stopped" as a user drives it in the main window: started and stopped by its key,
// its menu entry and the ping button, with Esc and by closing; its lines, statistics, charts and
// live figures; real echo requests to loopback, and to an address inside a namespace that stops
// answering for a while.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <mutex>

#include "app/MainMenuUnit.h"
#include "app/PingCharts.h"
#include "app/SingleInstances.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/TX_Edit.h"
#include "ping/EchoService.h"
#include "settings/SettingsModel.h"
#include "support/EchoNamespace.h"
#include "support/ProgramWindows.h"
#include "support/RunDrivers.h"

namespace {

// Answers every request at once with the next trip time of a cycle, from 10.0.0.1.
class CycledEcho final : public TEchoService {
  public:
    explicit CycledEcho(QList<quint32> tripTimes) : tripTimes_(std::move(tripTimes)) {}
    std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
        TPingReply reply;
        reply.StatusCode = 0;
        reply.ResponseTime = tripTimes_.at(next_++ % tripTimes_.size());
        reply.ProtocolAddress = QStringLiteral("10.0.0.1");
        reply.ReplySize = 32;
        reply.TimeToLive = 57;
        return reply;
    }

  private:
    QList<quint32> tripTimes_;
    int next_ = 0;
};

const QRegularExpression kLoopbackReply(
    QStringLiteral("^Reply from 127\\.0\\.0\\.1[;:]  Bytes=32  Time=(<1|\\d+) ms  TTL=\\d+$"));
const QString kLoopbackTimeOut = QStringLiteral("Reply from 127.0.0.1: Request Timed Out");

// The main window with every other window, shown and active, on a fresh home folder whose
// settings file asks for a request every 100 ms with a time-out of 300 ms.
class WatchWindowTest : public ProgramWindowsTest {
  protected:
    void PrepareHome() override {
        WriteSettingsFile("[PING SYSTEM SETTINGS]\nTime Out=300\nInterval=100\n");
    }

    void UseCycledEcho(QList<quint32> tripTimes) {
        UseEchoService([tripTimes] { return std::make_unique<CycledEcho>(tripTimes); });
    }

    // Starts watching what the address field holds with `start` and, while the watch goes,
    // calls `step` every 20 ms until it returns true; `step` is to stop the watch as a user
    // would. Returns once the watch has ended. A watch still going after 60 s is stopped and
    // fails the test.
    void Watch(const std::function<void()> &start, const std::function<bool()> &step) {
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (done || !MainMenuForm->IsWatching()) {
                return;
            }
            if (clock.elapsed() > 60000) {
                ADD_FAILURE() << "the watch did not end";
                MainMenuForm->WatchPingAction->trigger();
                done = true;
                return;
            }
            done = step();
        });
        probe.start(20);
        start();
        FinishRun();
        probe.stop();
        EXPECT_FALSE(form_->IsWatching());
        EXPECT_FALSE(form_->IsRunning());
    }

    int Count(const QString &line) const { return Lines(form_->DebugMemo).count(line); }
    int LoopbackReplies() const { return Lines(form_->DebugMemo).filter(kLoopbackReply).size(); }
};

// The statistics lines of a run of `sent` requests of which `received` answered.
QString PacketsLine(int sent, int received, int lossPercent) {
    return QStringLiteral("Packets: Sent = %1, Received = %2, Lost = %3 [ %4% loss ]")
        .arg(sent)
        .arg(received)
        .arg(sent - received)
        .arg(lossPercent);
}

}  // namespace

TEST_F(WatchWindowTest, WatchingLoopbackUntilStoppedWritesTheRepliesThenTheStatistics) {
    EXPECT_EQ(form_->PingInterval, 100);
    form_->AddressEdit->setFocus();
    QTest::keyClicks(form_->AddressEdit, QStringLiteral("127.0.0.1"));

    struct During {
        bool checked = false, pingEnabled = true, listEnabled = true, fieldReadOnly = false;
        bool paneReadOnly = false, light = false, liveShown = false;
        QString buttonHint, live, progress;
        int headersAfterF9 = 0;
    } during;
    Watch([] { Press(Qt::Key_F9, Qt::ShiftModifier); },
          [&] {
              if (LoopbackReplies() < 5) {
                  return false;
              }
              during.checked = form_->WatchPingAction->isChecked();
              during.pingEnabled = form_->SinglePingAction->isEnabled();
              during.listEnabled = form_->PingListOfAddressesAction->isEnabled();
              during.fieldReadOnly = form_->AddressEdit->isReadOnly();
              during.paneReadOnly = form_->DebugMemo->isReadOnly();
              during.light = form_->ProcessIndicator->isEnabled();
              during.liveShown = form_->WatchLabel->isVisible();
              during.buttonHint = form_->StartPingBtn->toolTip();
              during.live = form_->WatchLabel->text();
              during.progress = form_->RemaningLabel->text();
              // F9, Enter and a list run do nothing meanwhile.
              form_->AddressList = QStringList{QStringLiteral("127.0.0.1")};
              Press(Qt::Key_F9);
              Press(Qt::Key_Return);
              form_->PingListOfAddressesAction->trigger();
              during.headersAfterF9 =
                  Lines(form_->DebugMemo).filter(QStringLiteral("Pinging ")).size();
              Press(Qt::Key_F9, Qt::ShiftModifier);
              return true;
          });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();

    EXPECT_TRUE(during.checked);
    EXPECT_FALSE(during.pingEnabled);
    EXPECT_FALSE(during.listEnabled);
    EXPECT_TRUE(during.fieldReadOnly);
    EXPECT_TRUE(during.paneReadOnly);
    EXPECT_TRUE(during.light);
    EXPECT_TRUE(during.liveShown);
    EXPECT_EQ(during.buttonHint, QStringLiteral("Stop pinging ..."));
    EXPECT_TRUE(during.live.startsWith(QStringLiteral("Sent: "))) << during.live.toStdString();
    EXPECT_TRUE(
        during.progress.endsWith(QStringLiteral(" of ") + during.progress.section(' ', 0, 0)))
        << during.progress.toStdString();
    EXPECT_EQ(during.headersAfterF9, 1);

    // N reply lines as they came, then the statistics with Sent = N = Received.
    const QStringList lines = Lines(form_->DebugMemo);
    const int n = LoopbackReplies();
    ASSERT_GE(n, 5);
    ASSERT_EQ(lines.size(), 3 + n + 8) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("Date: ")));
    EXPECT_EQ(lines.at(1), QStringLiteral("Pinging 127.0.0.1 with 32 bytes of data:"));
    EXPECT_EQ(lines.at(2), QString());
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(kLoopbackReply.match(lines.at(3 + i)).hasMatch())
            << lines.at(3 + i).toStdString();
    }
    EXPECT_EQ(
        lines.mid(3 + n, 6),
        QStringList({QString(), QStringLiteral("Ping statistics for 127.0.0.1; IPv4 - 127.0.0.1"),
                     PacketsLine(n, n, 0), QString(),
                     QStringLiteral("Approximate round trip times in milli-seconds:"),
                     lines.at(3 + n + 5)}));
    EXPECT_TRUE(lines.at(3 + n + 5).startsWith(QStringLiteral("Minimum = ")));
    EXPECT_EQ(Lines(form_->AddressMemo),
              QStringList(QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1")));

    // The live figures and the progress end with the statistics' count.
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("%1 of %1").arg(n));
    EXPECT_TRUE(form_->WatchLabel->text().startsWith(
        QStringLiteral("Sent: %1   Lost: 0 (0%)   Last: ").arg(n)))
        << form_->WatchLabel->text().toStdString();

    // Everything is back as at rest, and the map knows that a ping was done.
    EXPECT_FALSE(form_->WatchPingAction->isChecked());
    EXPECT_TRUE(form_->SinglePingAction->isEnabled());
    EXPECT_TRUE(form_->PingListOfAddressesAction->isEnabled());
    EXPECT_FALSE(form_->AddressEdit->isReadOnly());
    EXPECT_FALSE(form_->DebugMemo->isReadOnly());
    EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
    EXPECT_EQ(form_->StartPingBtn->toolTip(), QStringLiteral("Ping address ..."));
    EXPECT_TRUE(form_->PingProcess);
    EXPECT_TRUE(GeolocationForm->StartGeolocation);

    // A run afterwards is an ordinary one, and hides the watch's figures.
    Press(Qt::Key_Return);
    FinishRun();
    EXPECT_EQ(Count(QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]")), 1);
    EXPECT_FALSE(form_->WatchLabel->isVisible());
}

TEST_F(WatchWindowTest, TheButtonMenuStartsItTheButtonStopsItAndTheChartsFollow) {
    UseCycledEcho({21, 20, 23, 22, 25, 0});
    form_->AddressEdit->setText(QStringLiteral("alpha"));
    QMenu *modes = form_->StartPingBtn->menu();
    ASSERT_NE(modes, nullptr);
    ASSERT_EQ(modes->actions().size(), 2);
    EXPECT_EQ(modes->actions().at(0), form_->SinglePingAction);
    EXPECT_EQ(modes->actions().at(1), form_->WatchPingAction);

    QList<double> barsDuring;
    bool barsShownDuring = false;
    Watch([modes] { modes->actions().at(1)->trigger(); },
          [&] {
              if (Count(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=25 ms  TTL=57")) < 1) {
                  return false;
              }
              for (int i = 0; i < form_->Charts()->BarCount(); ++i) {
                  barsDuring << form_->Charts()->BarHeight(i);
              }
              barsShownDuring = form_->Charts()->BarsActive();
              form_->StartPingBtn->click();  // the button stops the watch
              return true;
          });
    // The bars held the latest four trip times while it went, oldest at the left.
    EXPECT_EQ(barsDuring, QList<double>({20, 23, 22, 25}));
    EXPECT_TRUE(barsShownDuring);
    const QStringList replies = Lines(form_->DebugMemo).filter(QStringLiteral("Reply from"));
    const int n = replies.size();
    ASSERT_GE(n, 5);
    EXPECT_EQ(Count(PacketsLine(n, n, 0)), 1);
    // Every reply above 0 ms is a point of the graph, as in a run.
    EXPECT_EQ(form_->Charts()->PointCount(),
              n - replies.filter(QStringLiteral("Time=<1 ms")).size());
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}

TEST_F(WatchWindowTest, EscStopsTheWatchTheNextEscClearsAndClosingStopsItBeforeTheWindowGoes) {
    UseCycledEcho({3});
    form_->AddressEdit->setText(QStringLiteral("alpha"));
    Watch([] { MainMenuForm->WatchPingAction->trigger(); },
          [&] {
              if (Count(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=3 ms  TTL=57")) < 2) {
                  return false;
              }
              Press(Qt::Key_Escape);
              return true;
          });
    // Esc stopped the watch and its statistics stay, as ping writes them on Ctrl+C.
    const int n = Lines(form_->DebugMemo).filter(QStringLiteral("Reply from")).size();
    ASSERT_GE(n, 2);
    EXPECT_EQ(Count(PacketsLine(n, n, 0)), 1);
    EXPECT_EQ(Lines(form_->AddressMemo),
              QStringList(QStringLiteral("IPv4 - 10.0.0.1\t\tAddress - alpha")));
    EXPECT_FALSE(form_->WatchPingAction->isChecked());

    // At rest, Esc clears everything.
    form_->AddressEdit->setFocus();
    Press(Qt::Key_Escape);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QString());
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QString());
    EXPECT_EQ(form_->AddressEdit->text(), QString());
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("0 of 0"));
    EXPECT_FALSE(form_->WatchLabel->isVisible());
    EXPECT_EQ(form_->Charts()->PointCount(), 0);
    EXPECT_FALSE(form_->WatchPingAction->isChecked());

    // Closing the window while it watches: the watch ends with its statistics, then the window
    // closes.
    form_->AddressEdit->setText(QStringLiteral("alpha"));
    bool visibleAfterClose = false;
    Watch([] { MainMenuForm->WatchPingAction->trigger(); },
          [&] {
              if (Count(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=3 ms  TTL=57")) < 1) {
                  return false;
              }
              form_->close();
              visibleAfterClose = form_->isVisible();
              return true;
          });
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(Lines(form_->DebugMemo).filter(QStringLiteral("Packets: Sent = ")).size(), 1);
    EXPECT_TRUE(WaitUntil([] { return !MainMenuForm->isVisible(); }));
}

TEST_F(WatchWindowTest, AnAddressThatStopsAnsweringAndComesBackShowsTimeOutsBetweenReplies) {
    EchoNamespace ns(QByteArray(), QStringLiteral("w"));
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    UseEchoService([&ns] { return ns.OpenService(TIcmpSocketKind::Automatic); });
    form_->AddressEdit->setText(QStringLiteral("127.0.0.1"));

    // The echo requests are dropped once three replies came, and let through again once three
    // requests timed out; the watch is stopped once three more replies came.
    enum class Phase { Answering, Silent, Back } phase = Phase::Answering;
    int timeOutsAtReturn = 0;
    QString liveWhileSilent;
    Watch([] { MainMenuForm->WatchPingAction->trigger(); },
          [&] {
              switch (phase) {
                  case Phase::Answering:
                      if (LoopbackReplies() >= 3) {
                          ns.Nft("add rule ip txping input icmp type echo-request drop\n");
                          phase = Phase::Silent;
                      }
                      return false;
                  case Phase::Silent:
                      if (Count(kLoopbackTimeOut) >= 3) {
                          liveWhileSilent = form_->WatchLabel->text();
                          ns.Nft("flush chain ip txping input\n");
                          timeOutsAtReturn = Count(kLoopbackTimeOut);
                          phase = Phase::Back;
                      }
                      return false;
                  case Phase::Back: {
                      const QStringList lines = Lines(form_->DebugMemo);
                      const int lastTimeOut = lines.lastIndexOf(kLoopbackTimeOut);
                      if (lines.mid(lastTimeOut + 1).filter(kLoopbackReply).size() < 3) {
                          return false;
                      }
                      form_->WatchPingAction->trigger();
                      return true;
                  }
              }
              return false;
          });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();

    // Replies, then only time-outs, then only replies.
    const QStringList lines = Lines(form_->DebugMemo);
    const int statistics =
        lines.indexOf(QStringLiteral("Ping statistics for 127.0.0.1; IPv4 - 127.0.0.1"));
    ASSERT_GT(statistics, 3);
    QString pattern;
    for (const QString &line : lines.mid(3, statistics - 4)) {
        const QChar kind = kLoopbackReply.match(line).hasMatch() ? QLatin1Char('R')
                           : line == kLoopbackTimeOut            ? QLatin1Char('T')
                                                                 : QLatin1Char('?');
        if (pattern.isEmpty() || pattern.back() != kind) {
            pattern += kind;
        }
    }
    EXPECT_EQ(pattern, QStringLiteral("RTR")) << lines.join('\n').toStdString();
    const int replies = lines.filter(kLoopbackReply).size();
    const int timeOuts = Count(kLoopbackTimeOut);
    EXPECT_GE(timeOuts, 3);
    // At most the request under way when the rule went came back as a time-out afterwards.
    EXPECT_LE(timeOuts, timeOutsAtReturn + 1);
    EXPECT_GE(replies, 6);
    const int sent = replies + timeOuts;
    const int loss = qRound(timeOuts * 100.0 / sent);
    EXPECT_EQ(lines.value(statistics + 1), PacketsLine(sent, replies, loss));
    // The live loss followed the silence, and ends with the statistics' figures.
    EXPECT_TRUE(liveWhileSilent.contains(QRegularExpression(QStringLiteral("Lost: [3-9]"))))
        << liveWhileSilent.toStdString();
    EXPECT_TRUE(form_->WatchLabel->text().startsWith(
        QStringLiteral("Sent: %1   Lost: %2 (%3%)").arg(sent).arg(timeOuts).arg(loss)))
        << form_->WatchLabel->text().toStdString();
    EXPECT_EQ(Lines(form_->AddressMemo),
              QStringList(QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1")));
}

// A request counts as sent when it is made: against a silent address the live figures say so at
// once, not only once the request has timed out.
TEST_F(WatchWindowTest, ARequestWaitingForItsTimeOutCountsAsSent) {
    EchoNamespace ns(EchoNamespace::StandardRules(), QStringLiteral("s"));
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    UseEchoService([&ns] { return ns.OpenService(TIcmpSocketKind::Automatic); });
    form_->AddressEdit->setText(QStringLiteral("127.0.0.3"));  // silent
    const QString timeOut = QStringLiteral("Reply from 127.0.0.3: Request Timed Out");
    QString beforeFirstTimeOut;
    Watch([] { MainMenuForm->WatchPingAction->trigger(); },
          [&] {
              if (Count(timeOut) == 0) {
                  beforeFirstTimeOut = form_->WatchLabel->text();
                  return false;
              }
              if (Count(timeOut) < 2) {
                  return false;
              }
              form_->WatchPingAction->trigger();
              return true;
          });
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_TRUE(beforeFirstTimeOut.startsWith(
        QStringLiteral("Sent: 1   Lost: 0 (0%)   Last: -   Average: -")))
        << beforeFirstTimeOut.toStdString();
    // Once stopped, the request under way has its outcome and the figures are the statistics'.
    const int sent = Count(timeOut);
    EXPECT_EQ(Count(PacketsLine(sent, 0, 100)), 1);
    EXPECT_TRUE(form_->WatchLabel->text().startsWith(
        QStringLiteral("Sent: %1   Lost: %1 (100%)   Last: lost").arg(sent)))
        << form_->WatchLabel->text().toStdString();
}

TEST_F(WatchWindowTest, TheIntervalFromTheSettingsIsHeldToItsRange) {
    const struct {
        const char *text;
        int interval;
    } rows[] = {{"100", 100},     {"2500", 2500}, {"50", 100},  {"60000", 60000},
                {"70000", 60000}, {"-5", 100},    {"abc", 300}, {"", 300}};
    for (const auto &row : rows) {
        WriteSettingsFile(QByteArray("[PING SYSTEM SETTINGS]\nTime Out=300\nInterval=") + row.text +
                          "\n");
        ASSERT_TRUE(Settings()->Load()) << row.text;
        EXPECT_EQ(form_->PingInterval, row.interval) << row.text;
    }
}

TEST_F(WatchWindowTest, TheGraphKeepsOnlyTheLatestPointsOverALongWatch) {
    // A day's watch plots hundreds of thousands of points; the graph holds a bounded number,
    // always the latest, and the axis window slides as before.
    for (int i = 0; i < 1200; ++i) {
        form_->Charts()->AppendPoint(i, 10 + i % 7);
    }
    EXPECT_LE(form_->Charts()->PointCount(), 2 * 4 * 61);
    EXPECT_GE(form_->Charts()->PointCount(), 4 * 61);
    form_->ClearAllActionExecute();
    EXPECT_EQ(form_->Charts()->PointCount(), 0);
}

TEST_F(WatchWindowTest, UndoAfterAWatchTakesBackTheUsersEditAndKeepsTheWatchsLines) {
    UseCycledEcho({7});
    // The user writes a note into the results pane, then watches an address.
    QTextEdit *pane = form_->DebugMemo;
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    QTest::keyClicks(pane, QStringLiteral("note"));
    ASSERT_EQ(pane->toPlainText(), QStringLiteral("note"));
    form_->AddressEdit->setText(QStringLiteral("alpha"));
    Watch([] { MainMenuForm->WatchPingAction->trigger(); },
          [&] {
              if (Count(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=7 ms  TTL=57")) < 3) {
                  return false;
              }
              MainMenuForm->WatchPingAction->trigger();
              return true;
          });
    const QStringList watched = Lines(pane);
    ASSERT_EQ(watched.value(0), QStringLiteral("note"));
    ASSERT_GT(watched.size(), 10);

    // Undo, from the menu and by its key in the pane, takes back the note, and only the note:
    // the watch's lines are no undo step.
    QMenu *edit = form_->findChild<QMenu *>(QStringLiteral("Edit1"));
    ASSERT_NE(edit, nullptr);
    edit->actions().at(0)->trigger();
    EXPECT_EQ(Lines(pane), QStringList(QString()) + watched.mid(1));
    pane->setFocus();
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Lines(pane), QStringList(QString()) + watched.mid(1));
    // Redo brings it back.
    form_->TextRedoAction->trigger();
    EXPECT_EQ(Lines(pane), watched);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}
