// The run model without a window: runs of different kinds side by side on real echo requests in
// a namespace of the test's own, each run's lines kept together in the results pane, the charts
// with the run that took them, and Esc's stop of the run started last.
#include <gtest/gtest.h>

#include <QTextDocument>
#include <algorithm>

#include "PingTestDoubles.h"
#include "common/TX_Edit.h"
#include "ping/RunModel.h"
#include "support/EchoNamespace.h"
#include "support/TestSupport.h"

namespace {

using TKind = TRunModel::TKind;

class RunModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!ns_.Problem().isEmpty()) {
            GTEST_SKIP() << ns_.Problem().toStdString();
        }
        const EchoNamespace *ns = &ns_;
        model_.SetConnect([ns] { return ns->OpenService(TIcmpSocketKind::Automatic); });
        model_.SetViews({&debugMemo_, &addressMemo_, {}, &charts_});
        TRunSettings settings;
        settings.Echo.TimeOut = 300;
        settings.Echo.Retries = 2;
        settings.Interval = 100;
        settings.DownAfter = 2;
        model_.SetSettings(settings);
        QObject::connect(&model_, &TRunModel::Failed,
                         [this](TKind, const QString &message) { errors_ << message; });
    }

    bool WaitIdle(TKind kind) {
        return WaitUntil([this, kind] { return model_.Session(kind).IsIdle(); }, 20000);
    }

    // The index of the first line of the results pane that starts with `start`; -1: none.
    qsizetype LineStarting(const QString &start) const {
        const QStringList lines = PaneLines(&debugMemo_);
        const auto line = std::find_if(lines.cbegin(), lines.cend(), [&start](const QString &text) {
            return text.startsWith(start);
        });
        return line == lines.cend() ? -1 : line - lines.cbegin();
    }

    // 127.0.0.1 answers; the namespace's standard rules drop requests to 127.0.0.3.
    EchoNamespace ns_;
    QTextDocument debugMemo_;
    QTextDocument addressMemo_;
    ChartRecorder charts_{2};
    TRunModel model_;
    QStringList errors_;
};

}  // namespace

// While the block of a watch is being written, a list run's blocks wait and follow it whole, and
// the charts draw only the run started last.
TEST_F(RunModelTest, ABlockBeingWrittenKeepsItsLinesTogether) {
    ASSERT_TRUE(model_.StartWatch(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(WaitUntil([this] { return charts_.points.size() >= 3; }));
    EXPECT_EQ(model_.ChartsFollow(), TKind::Watch);

    ASSERT_TRUE(model_.StartList({QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.1")}));
    EXPECT_FALSE(model_.StartWatch(QStringLiteral("127.0.0.1")));  // one of a kind at a time
    ASSERT_TRUE(WaitIdle(TKind::List));
    // The list's records are in, but its blocks wait behind the watch's.
    EXPECT_EQ(LineStarting(QStringLiteral("Pinging 127.0.0.3")), -1);
    const qsizetype watchPoints = charts_.points.size();
    EXPECT_TRUE(model_.PaneRuns().empty());
    // The watch goes on without drawing: the charts are the list run's now.
    EXPECT_EQ(model_.ChartsFollow(), TKind::List);

    model_.Stop(TKind::Watch);
    ASSERT_TRUE(WaitIdle(TKind::Watch));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    // The list's blocks drew the replies of 127.0.0.1 once written; the watch nothing more.
    EXPECT_EQ(charts_.points.size(), watchPoints + 2);

    const QStringList lines = PaneLines(&debugMemo_);
    const qsizetype watchStats = LineStarting(QStringLiteral("Ping statistics for 127.0.0.1"));
    const qsizetype silent = LineStarting(QStringLiteral("Pinging 127.0.0.3"));
    ASSERT_EQ(lines.at(1), QStringLiteral("Pinging 127.0.0.1 with 32 bytes of data:"));
    ASSERT_GT(watchStats, 1);
    // Between the watch's header and its statistics, only its own reply lines.
    for (qsizetype i = 3; i < watchStats - 1; ++i) {
        EXPECT_TRUE(lines.at(i).startsWith(QStringLiteral("Reply from 127.0.0.1:  Bytes=32")))
            << i << ": " << lines.at(i).toStdString();
    }
    EXPECT_GT(silent, watchStats);
    EXPECT_EQ(lines.filter(QStringLiteral("Reply from 127.0.0.3: Request Timed Out")).size(), 2);
    ASSERT_EQ(model_.PaneRuns().size(), 3u);
    EXPECT_EQ(model_.PaneRuns().at(0).Target, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(model_.PaneRuns().at(1).Target, QStringLiteral("127.0.0.3"));
    EXPECT_EQ(PaneLines(&addressMemo_).size(), 3);
}

// A watched list goes on while one of its addresses is pinged and its route traced; Esc stops
// the run started last each time, and the watch's outcomes and blocks are whole at its end.
TEST_F(RunModelTest, AWatchedListGoesOnWhileItsAddressIsPingedAndTraced) {
    QList<TKind> finished;
    QObject::connect(&model_, &TRunModel::RunFinished,
                     [&finished](TKind kind) { finished << kind; });
    ASSERT_TRUE(model_.StartListWatch({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3")}));
    ASSERT_TRUE(WaitUntil([this] { return model_.ListWatch()->DownCount() == 1; }, 10000));

    ASSERT_TRUE(model_.StartSingle(QStringLiteral("127.0.0.3")));
    ASSERT_TRUE(model_.StartTrace(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(WaitIdle(TKind::Single));
    ASSERT_TRUE(WaitUntil([this] { return model_.TraceHops()->Reached(); }, 10000));
    EXPECT_EQ(model_.LastStarted(), TKind::Trace);
    EXPECT_EQ(model_.StopLast(), TKind::Trace);
    ASSERT_TRUE(WaitIdle(TKind::Trace));
    // The charts the trace had go back to the watch, still under way, afresh.
    EXPECT_EQ(model_.ChartsFollow(), TKind::ListWatch);
    EXPECT_TRUE(charts_.points.isEmpty());

    // The watch did not notice: it is still under way and its requests go on.
    ASSERT_TRUE(model_.IsRunning(TKind::ListWatch));
    model_.CountListRequests();
    const int made = model_.ListWatch()->At(0).Figures.Sent;
    ASSERT_TRUE(WaitUntil([&] {
        model_.CountListRequests();
        return model_.ListWatch()->At(0).Figures.Sent > made + 2;
    }));
    EXPECT_EQ(model_.StopLast(), TKind::ListWatch);
    ASSERT_TRUE(WaitIdle(TKind::ListWatch));
    EXPECT_TRUE(model_.IsIdle());
    EXPECT_EQ(model_.StopLast(), TKind::None);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(finished, (QList<TKind>{TKind::Single, TKind::Trace, TKind::ListWatch}));

    const QStringList lines = PaneLines(&debugMemo_);
    const qsizetype header = LineStarting(QStringLiteral("Pinging 127.0.0.3 with 32 bytes"));
    const qsizetype packets = LineStarting(QStringLiteral("Packets: Sent = 2, Received = 0"));
    ASSERT_GT(header, 0);
    EXPECT_EQ(packets, header + 6) << lines.join('\n').toStdString();
    EXPECT_GT(LineStarting(QStringLiteral("Tracing route to 127.0.0.1")), packets);
    EXPECT_EQ(lines.filter(QStringLiteral("127.0.0.3 is down")).size(), 1);
    EXPECT_GT(LineStarting(QStringLiteral("Outages in ")), 0);
    // The ping, the trace, then each watched address.
    ASSERT_EQ(model_.PaneRuns().size(), 4u);
    EXPECT_EQ(model_.PaneRuns().at(0).Kind, TRunResult::TKind::Ping);
    EXPECT_EQ(model_.PaneRuns().at(1).Kind, TRunResult::TKind::Trace);
    EXPECT_TRUE(model_.PaneRuns().at(3).Watch.has_value());
}

// Without a window the lines go out as text, and the outcomes are the same data.
TEST_F(RunModelTest, WithoutAWindowTheSameLinesGoOutAsText) {
    QStringList text;
    model_.SetViews({nullptr, nullptr, [&text](const QString &line) { text << line; }, nullptr});
    ASSERT_TRUE(model_.StartSingle(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(WaitIdle(TKind::Single));
    ASSERT_TRUE(model_.StartList({QStringLiteral("127.0.0.3")}));
    ASSERT_TRUE(WaitIdle(TKind::List));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    EXPECT_EQ(text.filter(QStringLiteral("Reply from 127.0.0.1:  Bytes=32")).size(), 2);
    EXPECT_EQ(text.filter(QStringLiteral("Packets: Sent = 2, Received = 0, Lost = 2")).size(), 1);
    ASSERT_EQ(model_.PaneRuns().size(), 2u);
    EXPECT_EQ(model_.PaneRuns().at(1).Replies.size(), 2u);

    model_.Clear();
    EXPECT_TRUE(model_.PaneRuns().empty());
    EXPECT_EQ(model_.PositionX, 0);
}

// The views' clock dates a run's header and its run as data; the address field's text ends the
// address line of a single run, while a list run's line names the list's address.
TEST_F(RunModelTest, TheViewsClockAndAddressFieldReachTheWriter) {
    const QDateTime clock(QDate(2026, 3, 4), QTime(5, 6, 7, 8));
    TRunViews views{&debugMemo_, &addressMemo_, {}, &charts_};
    views.Now = [clock] { return clock; };
    views.AddressEditText = [] { return QStringLiteral("typed"); };
    model_.SetViews(views);
    ASSERT_TRUE(model_.StartSingle(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(WaitIdle(TKind::Single));
    EXPECT_EQ(PaneLines(&debugMemo_).value(0),
              QStringLiteral("Date: 04.03.2026\tTime: 05:06:07.008 ms"));
    EXPECT_EQ(PaneLines(&addressMemo_),
              QStringList({QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - typed")}));
    ASSERT_EQ(model_.PaneRuns().size(), 1u);
    EXPECT_EQ(model_.PaneRuns().at(0).Started, clock);

    // A list run starts its address pane afresh.
    ASSERT_TRUE(model_.StartList({QStringLiteral("127.0.0.1")}));
    ASSERT_TRUE(WaitIdle(TKind::List));
    EXPECT_EQ(PaneLines(&addressMemo_),
              QStringList({QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1")}));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}
