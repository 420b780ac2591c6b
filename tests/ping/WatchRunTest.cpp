// Pinging an address until stopped: what it writes, how it paces and ends, and what it shows
// while it goes.
#include <gtest/gtest.h>

#include <QTextDocument>
#include <atomic>
#include <chrono>
#include <thread>

#include "PingTestDoubles.h"
#include "RunPanes.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/PingRun.h"
#include "ping/WatchRun.h"
#include "support/RunDrivers.h"

namespace {

class WatchRun : public ::testing::Test {
  protected:
    WatchRun() {
        // Long enough for the stop, asked once a reply is counted, to come before the next.
        control.Interval = 100;
        // Stops once `stopAfter` requests have been counted.
        control.StopRequested = [this] { return counted.size() >= stopAfter; };
        control.Counted = [this](const TPingFigures &figures) { counted.push_back(figures); };
    }

    // Watches until `stopAfter` requests, answered from `script`.
    void Watch(Script script) {
        stopAfter = script.size();
        panes.Answer(std::move(script));
        WatchPing(input, panes.targets, control);
    }

    TPingRunInput input = PingInput(QStringLiteral("alpha"));
    TWatchControl control;
    RunPanes panes;
    std::size_t stopAfter = 0;
    std::vector<TPingFigures> counted;
};

const TPingReply kLost = Failure(11010, QStringLiteral("10.0.0.1"));

}  // namespace

TEST_F(WatchRun, WritesExactlyWhatARunOfAsManyRequestsWrites) {
    const struct {
        const char *name;
        Script script;
    } rows[] = {
        {"all answered", {Reply(21), Reply(20), Reply(23), Reply(0)}},
        {"silent, then back", {Reply(3), kLost, kLost, kLost, Reply(5), Reply(4)}},
        {"nothing answered", {kLost, Failure(11003), kLost}},
        {"a name that does not resolve", {Failure(std::nullopt, QString())}},
        {"no object, then a reply", {std::nullopt, Reply(7)}},
        {"seventy requests", Script(70, Reply(2))},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        RunPanes run;
        run.Answer(row.script);
        TPingRunInput runInput = input;
        runInput.Echo.Retries = static_cast<quint16>(row.script.size());
        StandardPing(runInput, run.targets);

        counted.clear();
        panes.debugMemo.clear();
        panes.addressMemo.clear();
        Watch(row.script);

        EXPECT_EQ(PaneLines(&panes.debugMemo), PaneLines(&run.debugMemo));
        EXPECT_EQ(PaneLines(&panes.addressMemo), PaneLines(&run.addressMemo));
        EXPECT_EQ(panes.charts.points, run.charts.points);
        EXPECT_EQ(panes.positionX, run.positionX);
        EXPECT_EQ(panes.charts.axisMinimum, run.charts.axisMinimum);
        EXPECT_EQ(panes.charts.barsActive, run.charts.barsActive);
        panes.charts = ChartRecorder();
        panes.positionX = 0;
    }
}

TEST_F(WatchRun, ReportsEachRequestAsItComes) {
    Watch({Reply(5), kLost, Reply(9)});

    EXPECT_EQ(panes.progress, QStringList({QStringLiteral("1 of 1"), QStringLiteral("2 of 2"),
                                           QStringLiteral("3 of 3")}));
    ASSERT_EQ(counted.size(), 3u);
    EXPECT_EQ(LiveFiguresText(counted[0]),
              QStringLiteral("Sent: 1   Lost: 0 (0%)   Last: 5 ms   Average: 5 ms   Minimum: 5 ms"
                             "   Maximum: 5 ms   Jitter: 0 ms"));
    EXPECT_EQ(LiveFiguresText(counted[1]),
              QStringLiteral("Sent: 2   Lost: 1 (50%)   Last: lost   Average: 5 ms   Minimum: 5 "
                             "ms   Maximum: 5 ms   Jitter: 0 ms"));
    EXPECT_EQ(LiveFiguresText(counted[2]),
              QStringLiteral("Sent: 3   Lost: 1 (33%)   Last: 9 ms   Average: 7 ms   Minimum: 5 ms"
                             "   Maximum: 9 ms   Jitter: 4 ms"));
    // The figures shown last are those of the statistics block.
    const QStringList lines = PaneLines(&panes.debugMemo);
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Packets: Sent = 3, Received = 2, Lost = 1 [ 33% loss ]")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Minimum = 5 ms, Maximum = 9 ms, Average = 7 ms")));
}

TEST_F(WatchRun, TheBarsHoldTheLatestTripTimesOldestAtTheLeft) {
    panes.charts.bars = {5, 6, 7, 8};  // an earlier run's
    stopAfter = 0;
    // After each request: the bars, and whether they are shown.
    QList<QList<double>> bars;
    QList<bool> shown;
    control.Counted = [&](const TPingFigures &figures) {
        counted.push_back(figures);
        bars << panes.charts.bars;
        shown << panes.charts.barsActive;
    };
    Watch({kLost, Reply(10), Reply(0), Reply(11), Reply(12), Reply(13), kLost, Reply(14)});

    const QList<QList<double>> expected = {
        {0.1, 0.1, 0.1, 0.1},                       // prepared afresh; a lost request sets no bar
        {10, 0.1, 0.1, 0.1},  {10, 0.1, 0.1, 0.1},  // "<1 ms" is not plotted, as in a run
        {10, 11, 0.1, 0.1},   {10, 11, 12, 0.1},   {10, 11, 12, 13},
        {10, 11, 12, 13},     {11, 12, 13, 14},
    };
    EXPECT_EQ(bars, expected);
    EXPECT_EQ(shown, QList<bool>({false, true, true, true, true, true, true, true}));
    EXPECT_EQ(panes.charts.points, QList<QPointF>({{0, 10}, {1, 11}, {2, 12}, {3, 13}, {4, 14}}));
}

TEST_F(WatchRun, WaitsTheIntervalFromOneRequestToTheNext) {
    // A lower bound only: the next request never goes out before the interval is over.
    control.Interval = 150;
    std::vector<std::chrono::steady_clock::time_point> starts;
    class Timed final : public TEchoService {
      public:
        explicit Timed(std::vector<std::chrono::steady_clock::time_point> *starts)
            : starts_(starts) {}
        std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
            starts_->push_back(std::chrono::steady_clock::now());
            return Reply(2);
        }

      private:
        std::vector<std::chrono::steady_clock::time_point> *starts_;
    };
    panes.targets.Connect = [&starts]() -> std::unique_ptr<TEchoService> {
        return std::make_unique<Timed>(&starts);
    };
    stopAfter = 3;
    WatchPing(input, panes.targets, control);
    ASSERT_EQ(starts.size(), 3u);
    for (std::size_t i = 1; i < starts.size(); ++i) {
        EXPECT_GE(starts[i] - starts[i - 1], std::chrono::milliseconds(150)) << i;
    }
}

TEST_F(WatchRun, ARequestUnderWayWhenTheStopComesIsFinishedAndCounted) {
    std::atomic<bool> stop{false};
    control.StopRequested = [&stop] { return stop.load(); };
    int requests = 0;
    class StopsInside final : public TEchoService {
      public:
        StopsInside(std::atomic<bool> *stop, int *requests) : stop_(stop), requests_(requests) {}
        std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
            // The third request is under way when the stop comes.
            if (++*requests_ == 3) {
                *stop_ = true;
            }
            return Reply(4);
        }

      private:
        std::atomic<bool> *stop_;
        int *requests_;
    };
    panes.targets.Connect = [&]() -> std::unique_ptr<TEchoService> {
        return std::make_unique<StopsInside>(&stop, &requests);
    };
    WatchPing(input, panes.targets, control);
    EXPECT_EQ(requests, 3);
    const QStringList lines = PaneLines(&panes.debugMemo);
    EXPECT_EQ(lines.filter(QStringLiteral("Reply from")).size(), 3);
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Packets: Sent = 3, Received = 3, Lost = 0 [ 0% loss ]")));
}

TEST_F(WatchRun, AStopAskedForWhileItPausesEndsThePauseAndTheWatch) {
    // Another thread asks for the stop during the first wait of a watch whose interval is a
    // minute.
    control.Interval = 60000;
    std::atomic<bool> stop{false};
    control.StopRequested = [&stop] { return stop.load(); };
    std::thread asker([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop = true;
    });
    panes.Answer({Reply(3), Reply(4)});
    WatchPing(input, panes.targets, control);
    asker.join();
    EXPECT_EQ(counted.size(), 1u);
    EXPECT_TRUE(
        PaneLines(&panes.debugMemo)
            .contains(QStringLiteral("Packets: Sent = 1, Received = 1, Lost = 0 [ 0% loss ]")));
}

TEST_F(WatchRun, AStopAskedAtTheStartEndsTheWatchAfterItsFirstRequest) {
    // As Esc right after the start: the first request is already under way, and counts.
    panes.Answer({Reply(3), Reply(4)});
    WatchPing(input, panes.targets, control);
    EXPECT_EQ(panes.queries.size(), 1);
    EXPECT_EQ(
        PaneLines(&panes.debugMemo),
        QStringList({QStringLiteral("Date: 09.12.2018\tTime: 14:03:07.051 ms"),
                     QStringLiteral("Pinging alpha with 32 bytes of data:"), QString(),
                     QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=3 ms  TTL=57"), QString(),
                     QStringLiteral("Ping statistics for alpha; IPv4 - 10.0.0.1"),
                     QStringLiteral("Packets: Sent = 1, Received = 1, Lost = 0 [ 0% loss ]"),
                     QString(), QStringLiteral("Approximate round trip times in milli-seconds:"),
                     QStringLiteral("Minimum = 3 ms, Maximum = 3 ms, Average = 3 ms"), QString(),
                     QString()}));
}

TEST_F(WatchRun, AServiceFailureEndsTheWatchWithoutStatistics) {
    stopAfter = 100;
    class FailsThird final : public TEchoService {
      public:
        std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
            if (++calls_ == 3) {
                throw TxError(QStringLiteral("Echo request failed: broken"));
            }
            return Reply(5);
        }

      private:
        int calls_ = 0;
    };
    panes.targets.Connect = []() -> std::unique_ptr<TEchoService> {
        return std::make_unique<FailsThird>();
    };
    EXPECT_THROW(WatchPing(input, panes.targets, control), TxError);
    const QStringList lines = PaneLines(&panes.debugMemo);
    EXPECT_EQ(lines.size(), 5);
    EXPECT_EQ(lines.filter(QStringLiteral("Packets:")).size(), 0);
    EXPECT_TRUE(panes.addressMemo.isEmpty());

    // Without a way to stop, nothing is started.
    control.StopRequested = {};
    panes.debugMemo.clear();
    EXPECT_THROW(WatchPing(input, panes.targets, control), TxError);
    EXPECT_TRUE(panes.debugMemo.isEmpty());
}
