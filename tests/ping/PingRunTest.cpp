#include <gtest/gtest.h>

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QThread>

#include "PingTestDoubles.h"
#include "RunPanes.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/PingRun.h"
#include "support/RunDrivers.h"

namespace {

// The colour of the text of one line of a pane.
QColor LineColour(const QTextDocument &pane, int line) {
    const QTextBlock block = pane.findBlockByNumber(line);
    return block.begin().fragment().charFormat().foreground().color();
}

class PingRun : public ::testing::Test, protected RunPanes {
  protected:
    // Runs StandardPing against a scripted service and returns the lines of the results pane.
    QStringList Run(Script script) {
        Answer(std::move(script));
        StandardPing(input, targets);
        return PaneLines(&debugMemo);
    }

    TPingRunInput input = PingInput(QStringLiteral("alpha"));
};

const QString kHeader = QStringLiteral("Date: 09.12.2018\tTime: 14:03:07.051 ms");

}  // namespace

TEST_F(PingRun, WritesTheFourRequestExampleLineForLine) {
    const QStringList lines = Run({Reply(21), Reply(20), Reply(23), Reply(0)});

    EXPECT_EQ(lines, QStringList({
                         kHeader,
                         QStringLiteral("Pinging alpha with 32 bytes of data:"),
                         QString(),
                         QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"),
                         QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57"),
                         QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=23 ms  TTL=57"),
                         QStringLiteral("Reply from 10.0.0.1:  Bytes=32  Time=<1 ms  TTL=57"),
                         QString(),
                         QStringLiteral("Ping statistics for alpha; IPv4 - 10.0.0.1"),
                         QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]"),
                         QString(),
                         QStringLiteral("Approximate round trip times in milli-seconds:"),
                         QStringLiteral("Minimum = 0 ms, Maximum = 23 ms, Average = 16 ms"),
                         QString(),
                         QString(),
                     }));
    EXPECT_EQ(PaneLines(&addressMemo),
              QStringList({QStringLiteral("IPv4 - 10.0.0.1\t\tAddress - alpha")}));

    // One connection per run, the same query for every request.
    EXPECT_EQ(connections, 1);
    EXPECT_EQ(queries, QStringList(4, QStringLiteral("SELECT * FROM Win32_PingStatus where "
                                                     "Address='alpha' AND BufferSize=32 AND "
                                                     "TimeOut=4000")));
    EXPECT_EQ(progress, QStringList({QStringLiteral("1 of 4"), QStringLiteral("2 of 4"),
                                     QStringLiteral("3 of 4"), QStringLiteral("4 of 4")}));

    EXPECT_EQ(charts.bars, QList<double>({21, 20, 23, 0.1}));
    EXPECT_TRUE(charts.barsActive);
    EXPECT_EQ(charts.points, QList<QPointF>({{0, 21}, {1, 20}, {2, 23}}));
    EXPECT_EQ(positionX, 3);

    // Every results line in the run's colour, the address line in the results colour.
    for (int line = 0; line < lines.size(); ++line) {
        EXPECT_EQ(LineColour(debugMemo, line), input.DebugColor) << line;
    }
    EXPECT_EQ(LineColour(addressMemo, 0), input.ResultsColor);
}

TEST_F(PingRun, LeavesEachPaneScrolledToItsLastLine) {
    QHash<QTextDocument *, int> linesAtLastScroll;
    SetResultScroller(
        [&](QTextDocument *document) { linesAtLastScroll[document] = PaneLines(document).size(); });
    const QStringList lines = Run({Reply(21), Failure(11010), Reply(0), Reply(3)});
    SetResultScroller({});
    EXPECT_EQ(linesAtLastScroll.value(&debugMemo), lines.size());
    EXPECT_EQ(linesAtLastScroll.value(&addressMemo), 1);
}

TEST_F(PingRun, DerivesLossAndTripTimesRoundingHalvesToEven) {
    const TPingReply lost = Failure(11010);
    const struct {
        const char *name;
        Script script;
        const char *packets;
        const char *times;  // empty: no trip-time lines
    } rows[] = {
        {"0 then 5",
         {Reply(0), Reply(5)},
         "Sent = 2, Received = 2, Lost = 0 [ 0% loss ]",
         "Minimum = 0 ms, Maximum = 5 ms, Average = 2 ms"},
        {"5 then 0",
         {Reply(5), Reply(0)},
         "Sent = 2, Received = 2, Lost = 0 [ 0% loss ]",
         "Minimum = 0 ms, Maximum = 5 ms, Average = 2 ms"},
        {"21, <1, 23",
         {Reply(21), Reply(0), Reply(23)},
         "Sent = 3, Received = 3, Lost = 0 [ 0% loss ]",
         "Minimum = 0 ms, Maximum = 23 ms, Average = 15 ms"},
        {"21.5 goes to 22",
         {Reply(21), Reply(20), Reply(22), Reply(23)},
         "Sent = 4, Received = 4, Lost = 0 [ 0% loss ]",
         "Minimum = 20 ms, Maximum = 23 ms, Average = 22 ms"},
        {"12.5 % goes to 12",
         {Reply(1), Reply(1), Reply(1), lost, Reply(1), Reply(1), Reply(1), Reply(1)},
         "Sent = 8, Received = 7, Lost = 1 [ 12% loss ]",
         "Minimum = 1 ms, Maximum = 1 ms, Average = 1 ms"},
        {"two of three lost",
         {lost, Reply(4), lost},
         "Sent = 3, Received = 1, Lost = 2 [ 67% loss ]",
         "Minimum = 4 ms, Maximum = 4 ms, Average = 4 ms"},
        {"one of three lost",
         {Reply(4), lost, Reply(6)},
         "Sent = 3, Received = 2, Lost = 1 [ 33% loss ]",
         "Minimum = 4 ms, Maximum = 6 ms, Average = 5 ms"},
        {"minimum of later replies",
         {Reply(9), Reply(3), Reply(7)},
         "Sent = 3, Received = 3, Lost = 0 [ 0% loss ]",
         "Minimum = 3 ms, Maximum = 9 ms, Average = 6 ms"},
    };
    for (const auto &row : rows) {
        debugMemo.clear();
        input.Echo.Retries = static_cast<quint16>(row.script.size());
        const QStringList lines = Run(row.script);
        ASSERT_GE(lines.size(), 5) << row.name;
        const int packets = lines.indexOf(QStringLiteral("Packets: ") + QLatin1String(row.packets));
        // header, "Pinging", empty line, one line per request, empty line, statistics line
        EXPECT_EQ(packets, 5 + static_cast<int>(row.script.size())) << row.name;
        EXPECT_EQ(lines.value(packets + 3), QString::fromLatin1(row.times)) << row.name;
    }
}

TEST_F(PingRun, WithNothingReceivedEndsAtThePacketsLineAndWritesTheBareAddress) {
    input.PingAddress = QStringLiteral("beta");
    input.Echo.Retries = 3;
    const QStringList lines = Run({Failure(11010), Failure(11003), Failure(11010)});

    EXPECT_EQ(lines, QStringList({
                         kHeader,
                         QStringLiteral("Pinging beta with 32 bytes of data:"),
                         QString(),
                         QStringLiteral("Reply from 192.0.2.1: Request Timed Out"),
                         QStringLiteral("Reply from 192.0.2.1: Destination Host Unreachable"),
                         QStringLiteral("Reply from 192.0.2.1: Request Timed Out"),
                         QString(),
                         QStringLiteral("Ping statistics for beta; IPv4 - 192.0.2.1"),
                         QStringLiteral("Packets: Sent = 3, Received = 0, Lost = 3 [ 100% loss ]"),
                     }));
    EXPECT_EQ(PaneLines(&addressMemo), QStringList({QStringLiteral("192.0.2.1")}));
    EXPECT_FALSE(charts.barsActive);
    EXPECT_EQ(charts.bars, QList<double>(4, 0.1));
    EXPECT_TRUE(charts.points.isEmpty());
}

TEST_F(PingRun, ANameThatDoesNotResolveLeavesAnEmptyAddressLine) {
    input.PingAddress = QStringLiteral("nowhere.invalid");
    input.Echo.Retries = 2;
    const QStringList lines =
        Run({Failure(std::nullopt, QString()), Failure(std::nullopt, QString())});
    EXPECT_EQ(
        lines.mid(3, 2),
        QStringList(2, QStringLiteral("Reply from nowhere.invalid: Error processing request")));
    EXPECT_EQ(lines.value(6), QStringLiteral("Ping statistics for nowhere.invalid; IPv4 - "));
    EXPECT_EQ(lines.value(7),
              QStringLiteral("Packets: Sent = 2, Received = 0, Lost = 2 [ 100% loss ]"));
    EXPECT_EQ(PaneLines(&addressMemo), QStringList({QString()}));
}

TEST_F(PingRun, OfZeroRequestsWritesZeroLoss) {
    input.Echo.Retries = 0;
    const QStringList lines = Run({});
    EXPECT_EQ(lines, QStringList({
                         kHeader,
                         QStringLiteral("Pinging alpha with 32 bytes of data:"),
                         QString(),
                         QString(),
                         QStringLiteral("Ping statistics for alpha; IPv4 - "),
                         QStringLiteral("Packets: Sent = 0, Received = 0, Lost = 0 [ 0% loss ]"),
                     }));
    EXPECT_TRUE(queries.isEmpty());
    EXPECT_TRUE(progress.isEmpty());
}

TEST_F(PingRun, AServiceReturningNoObjectCountsTheRequestAsLostWithoutALine) {
    input.Echo.Retries = 2;
    const QStringList lines = Run({Reply(5), std::nullopt});
    EXPECT_EQ(lines.mid(3, 3),
              QStringList({QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=5 ms  TTL=57"),
                           QString(), QStringLiteral("Ping statistics for alpha; IPv4 - ")}));
    EXPECT_EQ(lines.value(6),
              QStringLiteral("Packets: Sent = 2, Received = 1, Lost = 1 [ 50% loss ]"));
    EXPECT_EQ(PaneLines(&addressMemo), QStringList({QStringLiteral("IPv4 - \t\tAddress - alpha")}));
}

TEST(AddressLine, PutsOneTabAfterMoreThan18CharactersAndTwoOtherwise) {
    const struct {
        const char *reply;
        const char *typed;
        const char *line;
    } rows[] = {
        {"10.10.10.10", "alpha", "IPv4 - 10.10.10.10\t\tAddress - alpha"},  // 18 characters
        {"10.10.10.100", "alpha", "IPv4 - 10.10.10.100\tAddress - alpha"},  // 19
        {"192.168.100.10", "host", "IPv4 - 192.168.100.10\tAddress - host"},
        {"10.0.0.1", "", "IPv4 - 10.0.0.1\t\tAddress - \t"},
        {"10.0.0.1", " spaced ", "IPv4 - 10.0.0.1\t\tAddress -  spaced "},
        // IPv6 replies, by the same rule of length.
        {"::1", "::1", "IPv6 - ::1\t\tAddress - ::1"},
        {"fd7a:5ee::1", "v6", "IPv6 - fd7a:5ee::1\t\tAddress - v6"},  // 18 characters
        {"fd7a:5ee::10", "v6", "IPv6 - fd7a:5ee::10\tAddress - v6"},  // 19
        {"2001:db8::1", "http://[2001:db8::1]:8080/",
         "IPv6 - 2001:db8::1\t\tAddress - http://[2001:db8::1]:8080/"},
        {"", "alpha", "IPv4 - \t\tAddress - alpha"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(AddressLine(QString::fromLatin1(row.reply), QString::fromLatin1(row.typed)),
                  QString::fromLatin1(row.line));
    }
}

TEST_F(PingRun, AnIpv6RunWritesTheIpv4LinesWithTheIpv6Address) {
    input.PingAddress = QStringLiteral("v6.example");
    const QStringList lines = Run({Reply(0, QStringLiteral("2001:db8::7"), 32, 64),
                                   Reply(12, QStringLiteral("2001:db8::7"), 32, 64),
                                   Failure(11010, QStringLiteral("2001:db8::7")),
                                   Failure(11003, QStringLiteral("2001:db8:ff::1"))});
    EXPECT_EQ(lines.mid(3),
              QStringList({
                  QStringLiteral("Reply from 2001:db8::7:  Bytes=32  Time=<1 ms  TTL=64"),
                  QStringLiteral("Reply from 2001:db8::7;  Bytes=32  Time=12 ms  TTL=64"),
                  QStringLiteral("Reply from 2001:db8::7: Request Timed Out"),
                  QStringLiteral("Reply from 2001:db8:ff::1: Destination Host "
                                 "Unreachable"),
                  QString(),
                  QStringLiteral("Ping statistics for v6.example; IPv6 - "
                                 "2001:db8:ff::1"),
                  QStringLiteral("Packets: Sent = 4, Received = 2, Lost = 2 [ 50% "
                                 "loss ]"),
                  QString(),
                  QStringLiteral("Approximate round trip times in milli-seconds:"),
                  QStringLiteral("Minimum = 0 ms, Maximum = 12 ms, Average = 6 ms"),
                  QString(),
                  QString(),
              }));
    EXPECT_EQ(PaneLines(&addressMemo),
              QStringList({QStringLiteral("IPv6 - 2001:db8:ff::1\tAddress - v6.example")}));

    // Without a reply the address pane gets the bare address, as for IPv4.
    addressMemo.clear();
    input.Echo.Retries = 1;
    Run({Failure(11010, QStringLiteral("fd7a:5ee::3"))});
    EXPECT_EQ(PaneLines(&addressMemo), QStringList({QStringLiteral("fd7a:5ee::3")}));
    EXPECT_EQ(PaneLines(&debugMemo).constLast(),
              QStringLiteral("Packets: Sent = 1, Received = 0, Lost = 1 [ 100% loss ]"));
}

TEST_F(PingRun, HandsTheTtlSettingToEveryRequest) {
    std::vector<TEchoQuery> received;
    targets.Connect = [&received]() -> std::unique_ptr<TEchoService> {
        return std::make_unique<ScriptedEchoService>(Script{}, nullptr, &received);
    };
    input.Echo.Retries = 2;
    input.Echo.TimeToLive = 77;
    StandardPing(input, targets);
    ASSERT_EQ(received.size(), 2u);
    for (const TEchoQuery &query : received) {
        EXPECT_EQ(query.Echo.TimeToLive, 77);
        EXPECT_EQ(query.Address, QStringLiteral("alpha"));
    }
}

TEST_F(PingRun, TakesTheAddressLineFromTheAddressFieldAtTheEnd) {
    targets.AddressEditText = [] { return QString(); };
    input.Echo.Retries = 1;
    Run({Reply(3, QStringLiteral("192.168.100.10"))});
    EXPECT_EQ(PaneLines(&addressMemo),
              QStringList({QStringLiteral("IPv4 - 192.168.100.10\tAddress - \t")}));
}

TEST_F(PingRun, LeavesBarsOfRequestsWithoutATripTimeAsTheyWere) {
    charts.bars = {5, 6, 7, 8};
    Run({Reply(0), Failure(11010), Reply(9), std::nullopt});
    EXPECT_EQ(charts.bars, QList<double>({5, 6, 9, 8}));
    EXPECT_EQ(charts.points, QList<QPointF>({{0, 9}}));
    EXPECT_EQ(positionX, 1);
}

TEST_F(PingRun, SlidesTheGraphWindowOneStepPerPointPastSixty) {
    input.Echo.Retries = 61;
    charts.PrepareBars(61, 0.1);
    Run(Script(61, Reply(3)));
    EXPECT_EQ(positionX, 61);
    EXPECT_EQ(charts.points.size(), 61);
    EXPECT_EQ(charts.points.last(), QPointF(60, 3));
    EXPECT_EQ(charts.axisMinimum, 1);
    EXPECT_EQ(charts.axisMaximum, 61);

    // Points and position carry on over the next run.
    input.Echo.Retries = 2;
    Run({Reply(4), Reply(0)});
    EXPECT_EQ(charts.points.last(), QPointF(61, 4));
    EXPECT_EQ(positionX, 62);
    EXPECT_EQ(charts.axisMinimum, 2);
    EXPECT_EQ(charts.axisMaximum, 62);
}

TEST_F(PingRun, RunsEachRequestOffTheCallingThread) {
    QThread *const caller = QThread::currentThread();
    QList<QThread *> threads;
    class ThreadRecorder final : public TEchoService {
      public:
        explicit ThreadRecorder(QList<QThread *> *threads) : threads_(threads) {}
        std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
            threads_->append(QThread::currentThread());
            return Reply(2);
        }

      private:
        QList<QThread *> *threads_;
    };
    targets.Connect = [&threads]() -> std::unique_ptr<TEchoService> {
        return std::make_unique<ThreadRecorder>(&threads);
    };
    StandardPing(input, targets);
    ASSERT_EQ(threads.size(), 4);
    for (QThread *thread : threads) {
        EXPECT_NE(thread, caller);
    }
}

TEST_F(PingRun, AServiceFailureEndsTheRunAndKeepsTheLinesWritten) {
    // The service cannot be opened: the header stays, nothing else is written.
    targets.Connect = []() -> std::unique_ptr<TEchoService> {
        throw TxError(QStringLiteral("Cannot send echo requests: denied"));
    };
    EXPECT_THROW(StandardPing(input, targets), TxError);
    EXPECT_EQ(PaneLines(&debugMemo).size(), 3);
    EXPECT_TRUE(addressMemo.isEmpty());

    // The service fails on the second request: one reply line, no statistics, no address line.
    debugMemo.clear();
    class FailsSecond final : public TEchoService {
      public:
        std::optional<TPingReply> ExecQuery(const TEchoQuery &) override {
            if (++calls_ == 2) {
                throw TxError(QStringLiteral("Echo request failed: broken"));
            }
            return Reply(5);
        }

      private:
        int calls_ = 0;
    };
    targets.Connect = []() -> std::unique_ptr<TEchoService> {
        return std::make_unique<FailsSecond>();
    };
    try {
        StandardPing(input, targets);
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Echo request failed: broken"));
    }
    const QStringList lines = PaneLines(&debugMemo);
    EXPECT_EQ(lines.size(), 4);
    EXPECT_EQ(lines.last(), QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=5 ms  TTL=57"));
    EXPECT_EQ(progress.last(), QStringLiteral("1 of 4"));
    EXPECT_TRUE(addressMemo.isEmpty());
    EXPECT_FALSE(charts.barsActive);
}

TEST(PingRunFigures, HeaderLineAndRounding) {
    EXPECT_EQ(PingHeaderLine(QDateTime(QDate(2018, 12, 9), QTime(14, 3, 7, 51))), kHeader);
    EXPECT_EQ(PingHeaderLine(QDateTime(QDate(2026, 1, 2), QTime(0, 0, 0, 0))),
              QStringLiteral("Date: 02.01.2026\tTime: 00:00:00.000 ms"));
    EXPECT_EQ(PingHeaderLine(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999))),
              QStringLiteral("Date: 31.12.2026\tTime: 23:59:59.999 ms"));

    const struct {
        double value;
        qint64 rounded;
    } rows[] = {{0, 0},     {0.5, 0},        {1.5, 2},        {2.5, 2},      {3.5, 4}, {12.5, 12},
                {21.5, 22}, {100.0 / 3, 33}, {200.0 / 3, 67}, {99.4999, 99}, {16, 16}, {100, 100}};
    for (const auto &row : rows) {
        EXPECT_EQ(RoundHalfEven(row.value), row.rounded) << row.value;
    }
}

TEST_F(PingRun, ARecordedRunsHeaderGivesTheMomentItsAddressBeganNotOfWriting) {
    TPingRecord record;
    record.Started = QDateTime(QDate(2026, 12, 10), QTime(21, 5, 9, 7));
    record.Replies = {Reply(3), Reply(4)};
    input.Echo.Retries = 2;
    WritePingRecord(input, targets, record);
    EXPECT_EQ(PaneLines(&debugMemo).value(0),
              QStringLiteral("Date: 10.12.2026\tTime: 21:05:09.007 ms"));

    // A record without a start time is dated by the run's clock, as before.
    debugMemo.clear();
    record.Started = QDateTime();
    WritePingRecord(input, targets, record);
    EXPECT_EQ(PaneLines(&debugMemo).value(0), PingHeaderLine(targets.Now()));
}
