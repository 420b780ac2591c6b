// The hops of a traced route as the probes' outcomes come in, the block a finished trace writes,
// and a real trace of the loopback address.
#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "PingTestDoubles.h"
#include "common/TX_Edit.h"
#include "ping/TraceRun.h"

namespace {

// An answer of a hop: a router's "time exceeded", the target's reply, or an "unreachable", each
// measured to the microsecond.
TPingReply Answer(qint32 status, const QString &from, quint32 microseconds) {
    TPingReply reply = status == 0 ? Reply(microseconds / 1000, from) : Failure(status, from);
    reply.TripMicroseconds = microseconds;
    return reply;
}
TPingReply Exceeded(const QString &from, quint32 microseconds) {
    return Answer(11013, from, microseconds);
}
const TPingReply kSilent = Failure(11010, QStringLiteral("192.0.2.7"));

struct Outcome {
    int ttl;
    TPingReply reply;
};

TTraceHops Feed(const std::vector<Outcome> &outcomes) {
    TTraceHops hops;
    for (const Outcome &outcome : outcomes) {
        hops.Sent(outcome.ttl);
    }
    for (const Outcome &outcome : outcomes) {
        hops.Add(outcome.ttl, outcome.reply);
    }
    return hops;
}

const QString kR1 = QStringLiteral("10.1.0.1");
const QString kR2 = QStringLiteral("10.2.0.1");
const QString kR2b = QStringLiteral("10.2.0.9");
const QString kTarget = QStringLiteral("192.0.2.7");

}  // namespace

TEST(TraceHops, TheRouteEndsAtTheTargetOrAnUnreachableAndHopsPastItAreDropped) {
    const struct {
        const char *name;
        std::vector<Outcome> outcomes;
        int count;
        int end;
        bool reached;
        // Per hop shown: its addresses joined by ",", "?" for none, sent/received, its status
        // ("-" for none).
        QStringList hops;
        // The first of the silent hops at the end, and the rows of the hop table.
        int silentFrom;
        int rows;
        QString endLine;
    } rows[] = {
        {"two routers, then the target",
         {{1, Exceeded(kR1, 500)},
          {2, Exceeded(kR2, 900)},
          {3, Answer(0, kTarget, 1200)},
          {4, Answer(0, kTarget, 1300)},
          {5, Answer(0, kTarget, 1250)}},
         3,
         3,
         true,
         {"10.1.0.1 1/1 11013", "10.2.0.1 1/1 11013", "192.0.2.7 1/1 0"},
         0,
         3,
         ""},
        {"a silent router between answering ones",
         {{1, Exceeded(kR1, 500)}, {2, kSilent}, {3, Answer(0, kTarget, 1200)}},
         3,
         3,
         true,
         {"10.1.0.1 1/1 11013", "? 1/0 11010", "192.0.2.7 1/1 0"},
         0,
         3,
         ""},
        {"a balanced hop keeps both addresses, first seen first",
         {{1, Exceeded(kR1, 500)},
          {2, Exceeded(kR2, 900)},
          {2, Exceeded(kR2b, 950)},
          {2, Exceeded(kR2, 910)},
          {3, Answer(0, kTarget, 1200)}},
         3,
         3,
         true,
         {"10.1.0.1 1/1 11013", "10.2.0.1,10.2.0.9 3/3 11013", "192.0.2.7 1/1 0"},
         0,
         3,
         ""},
        {"an unreachable ends the route without reaching the target",
         {{1, Exceeded(kR1, 500)}, {2, Answer(11003, kR2, 700)}, {3, kSilent}, {4, kSilent}},
         2,
         2,
         false,
         {"10.1.0.1 1/1 11013", "10.2.0.1 1/1 11003"},
         0,
         2,
         "Destination Host Unreachable from 10.2.0.1 at hop 2: the target was not reached."},
        {"a hop that answered keeps its status when a later probe of it is lost",
         {{1, Exceeded(kR1, 500)}, {2, Answer(11002, kR2, 700)}, {2, kSilent}},
         2,
         2,
         false,
         {"10.1.0.1 1/1 11013", "10.2.0.1 2/1 11002"},
         0,
         2,
         "Destination Net Unreachable from 10.2.0.1 at hop 2: the target was not reached."},
        {"not there yet: every hop probed is shown, the silent ones behind the last answer too",
         {{1, Exceeded(kR1, 500)},
          {2, kSilent},
          {3, Exceeded(kR2, 800)},
          {4, kSilent},
          {5, kSilent}},
         5,
         0,
         false,
         {"10.1.0.1 1/1 11013", "? 1/0 11010", "10.2.0.1 1/1 11013", "? 1/0 11010", "? 1/0 11010"},
         4,
         4,
         "No answer from hop 4 to 5: the target was not reached."},
        {"one silent hop at the end is a row of its own",
         {{1, Exceeded(kR1, 500)}, {2, kSilent}},
         2,
         0,
         false,
         {"10.1.0.1 1/1 11013", "? 1/0 11010"},
         2,
         2,
         "No answer from hop 2: the target was not reached."},
        {"nothing answered: every hop is silent, in one row",
         {{1, kSilent}, {2, kSilent}, {3, kSilent}},
         3,
         0,
         false,
         {"? 1/0 11010", "? 1/0 11010", "? 1/0 11010"},
         1,
         1,
         "No answer from hop 1 to 3: the target was not reached."},
        {"nothing sent: no hop", {}, 0, 0, false, {}, 0, 0, "The target was not reached."},
        {"a later round finds the target nearer: the hops past it go",
         {{1, Exceeded(kR1, 500)},
          {2, Exceeded(kR2, 900)},
          {3, Answer(0, kTarget, 1200)},
          {1, Exceeded(kR1, 510)},
          {2, Answer(0, kTarget, 950)},
          {3, Answer(0, kTarget, 990)}},
         2,
         2,
         true,
         {"10.1.0.1 2/2 11013", "10.2.0.1,192.0.2.7 2/2 0"},
         0,
         2,
         ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const TTraceHops hops = Feed(row.outcomes);
        EXPECT_EQ(hops.Count(), row.count);
        EXPECT_EQ(hops.End(), row.end);
        EXPECT_EQ(hops.Reached(), row.reached);
        QStringList shown;
        for (int ttl = 1; ttl <= hops.Count(); ++ttl) {
            const TTraceHop &hop = hops.Hop(ttl);
            shown << QStringLiteral("%1 %2/%3 %4")
                         .arg(hop.Addresses.isEmpty() ? QStringLiteral("?")
                                                      : hop.Addresses.join(QLatin1Char(',')))
                         .arg(hop.Figures.Sent)
                         .arg(hop.Figures.PacketsReceived)
                         .arg(hop.Status ? QString::number(*hop.Status) : QStringLiteral("-"));
            EXPECT_EQ(hop.InFlight, 0);
        }
        EXPECT_EQ(shown, row.hops);
        EXPECT_EQ(hops.SilentFrom(), row.silentFrom);
        EXPECT_EQ(hops.Rows(), row.rows);
        EXPECT_EQ(TraceEndLine(hops), row.endLine);
        // Nothing is kept past the end.
        for (int ttl = hops.Count() + 1; row.end != 0 && ttl <= hops.MaxHops(); ++ttl) {
            EXPECT_EQ(hops.Hop(ttl).Figures.Sent, 0) << ttl;
        }
    }
}

// Probes still out belong to the route: a hop is shown from the moment its probe leaves, and a
// trace stopped before any came back shows no hop at all.
TEST(TraceHops, HopsInFlightAreShownUntilTheyAreForgotten) {
    TTraceHops hops(5);
    for (int ttl = 1; ttl <= 5; ++ttl) {
        hops.Sent(ttl);
    }
    EXPECT_EQ(hops.Count(), 5);
    EXPECT_EQ(hops.SilentFrom(), 1);
    EXPECT_EQ(hops.Rows(), 1);
    EXPECT_EQ(hops.RowEnd(1), 5);
    hops.Add(1, Exceeded(kR1, 400));
    EXPECT_EQ(hops.Rows(), 2);
    EXPECT_EQ(hops.RowEnd(1), 1);
    EXPECT_EQ(hops.RowEnd(2), 5);
    hops.ForgetInFlight();
    EXPECT_EQ(hops.Count(), 1);
    EXPECT_EQ(hops.SilentFrom(), 0);
    EXPECT_EQ(TraceEndLine(hops), QStringLiteral("The target was not reached."));
}

TEST(TraceHops, ProbesOutCountInFlightUntilTheirOutcomeAndNamesReachEveryHopOfTheirAddress) {
    TTraceHops hops;
    hops.Sent(1);
    hops.Sent(2);
    EXPECT_EQ(hops.Hop(1).InFlight, 1);
    hops.Add(1, Exceeded(kR1, 400));
    hops.Add(2, Answer(0, kR1, 400));  // a loop back to the same router
    EXPECT_EQ(hops.Hop(1).InFlight, 0);
    hops.SetName(kR1, QStringLiteral("gw.test"));
    EXPECT_EQ(hops.Hop(1).Names, QStringList{QStringLiteral("gw.test")});
    EXPECT_EQ(hops.Hop(2).Names, QStringList{QStringLiteral("gw.test")});
    // Outcomes for hops that do not exist change nothing.
    EXPECT_FALSE(hops.Add(0, Exceeded(kR1, 1)));
    EXPECT_FALSE(hops.Add(31, Exceeded(kR1, 1)));
    EXPECT_FALSE(hops.Add(3, Exceeded(kR1, 1)));  // past the end
}

TEST(TraceHops, TheResultsBlockOfAScriptedTrace) {
    TTraceHops hops;
    const std::vector<Outcome> rounds = {
        {1, Exceeded(kR1, 52)},     {2, kSilent},
        {3, Exceeded(kR2, 12340)},  {4, Answer(0, kTarget, 123456)},
        {1, Exceeded(kR1, 90)},     {2, kSilent},
        {3, Exceeded(kR2b, 15000)}, {4, Answer(0, kTarget, 120000)},
    };
    for (const Outcome &outcome : rounds) {
        hops.Sent(outcome.ttl);
        hops.Add(outcome.ttl, outcome.reply);
    }
    hops.SetName(kR1, QStringLiteral("gw.test"));
    QTextDocument pane;
    WriteTraceBlock(TResultTarget{&pane, QColor(0, 200, 0)}, QStringLiteral("example.test"),
                    kTarget, QDateTime(QDate(2026, 12, 11), QTime(2, 30, 0)), hops, 2);
    const QStringList expected = {
        QStringLiteral("Date: 11.12.2026\tTime: 02:30:00.000 ms"),
        QStringLiteral("Tracing route to example.test [192.0.2.7] over a maximum of 30 hops:"),
        QString(),
        QStringLiteral("Hop  Address                           Sent  Loss    Last     "
                       "Avg    Best   Worst  Jitter"),
        QStringLiteral("  1  gw.test [10.1.0.1]                   2    0%    0.09   "
                       "0.071   0.052    0.09   0.038"),
        QStringLiteral("  2  ???                                  2  100%       -       "
                       "-       -       -       -"),
        QStringLiteral("  3  10.2.0.1                             2    0%      15   "
                       " 13.7    12.3      15    2.66"),
        QStringLiteral("     10.2.0.9"),
        QStringLiteral("  4  192.0.2.7                            2    0%     120   "
                       "  122     120     123    3.46"),
        QString(),
        QStringLiteral("Rounds: 2"),
    };
    EXPECT_EQ(PaneLines(&pane).join(QLatin1Char('\n')).toStdString(),
              expected.join(QLatin1Char('\n')).toStdString());
    // The table's lines (heading and hops) are in the fixed-pitch font, so its columns line up in
    // the pane; the other lines keep the pane's font.
    QStringList fixed;
    for (QTextBlock block = pane.begin(); block.isValid(); block = block.next()) {
        if (!block.begin().atEnd() && block.begin().fragment().charFormat().fontFixedPitch()) {
            fixed << block.text();
        }
    }
    EXPECT_EQ(fixed, expected.mid(3, 6));
}

// A route that did not reach its target says so: the hop that answered "unreachable" carries its
// status after its figures, silent hops at the end fold into one row, and a line before the
// rounds tells how the route ended.
TEST(TraceHops, TheBlockOfARouteThatDidNotReachItsTarget) {
    const QString heading = QStringLiteral(
        "Hop  Address                           Sent  Loss    Last     Avg    Best   Worst  "
        "Jitter");
    const struct {
        const char *name;
        std::vector<Outcome> round;  // sent twice
        QStringList lines;           // from the hop table's heading on
    } rows[] = {
        {"an unreachable ends the route",
         {{1, Exceeded(kR1, 52)}, {2, Answer(11003, kR2, 90)}, {3, kSilent}},
         {heading,
          QStringLiteral("  1  10.1.0.1                             2    0%   0.052   0.052   "
                         "0.052   0.052       0"),
          QStringLiteral("  2  10.2.0.1                             2    0%    0.09    0.09    "
                         "0.09    0.09       0  Destination Host Unreachable"),
          QString(),
          QStringLiteral("Destination Host Unreachable from 10.2.0.1 at hop 2: the target was "
                         "not reached."),
          QStringLiteral("Rounds: 2")}},
        {"silent hops at the end fold into one row",
         {{1, Exceeded(kR1, 52)},
          {2, kSilent},
          {3, Exceeded(kR2, 90)},
          {4, kSilent},
          {5, kSilent},
          {6, kSilent}},
         {heading,
          QStringLiteral("  1  10.1.0.1                             2    0%   0.052   0.052   "
                         "0.052   0.052       0"),
          QStringLiteral("  2  ???                                  2  100%       -       -       "
                         "-       -       -"),
          QStringLiteral("  3  10.2.0.1                             2    0%    0.09    0.09    "
                         "0.09    0.09       0"),
          QStringLiteral("4-6  ???  no answer                       2  100%       -       -       "
                         "-       -       -"),
          QString(), QStringLiteral("No answer from hop 4 to 6: the target was not reached."),
          QStringLiteral("Rounds: 2")}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TTraceHops hops;
        for (int round = 0; round < 2; ++round) {
            for (const Outcome &outcome : row.round) {
                hops.Sent(outcome.ttl);
                hops.Add(outcome.ttl, outcome.reply);
            }
        }
        QTextDocument pane;
        WriteTraceBlock(TResultTarget{&pane, QColor(0, 200, 0)}, kTarget, kTarget,
                        QDateTime(QDate(2026, 12, 11), QTime(2, 30, 0)), hops, 2);
        EXPECT_EQ(PaneLines(&pane).mid(3).join(QLatin1Char('\n')).toStdString(),
                  row.lines.join(QLatin1Char('\n')).toStdString());
    }
}

// 127.0.0.1 is its own first hop: every round's one probe is answered by the target.
TEST(TraceRun, TheLoopbackAddressIsReachedAtTheFirstHop) {
    TTraceInput input;
    input.Address = QStringLiteral("127.0.0.1");
    input.Interval = 20;
    input.Rounds = 3;
    input.Echo.TimeOut = 1000;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr failure;
    QString resolved;
    TTraceHops hops;
    TTraceCallbacks callbacks;
    callbacks.Resolved = [&](const QString &address) { resolved = address; };
    callbacks.ProbeSent = [&](int, int ttl) { hops.Sent(ttl); };
    callbacks.Probed = [&](int, int ttl, const TPingReply &reply) { hops.Add(ttl, reply); };

    callbacks.Finished = [&](std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex);
        failure = error;
        finished = true;
        done.notify_all();
    };
    {
        TTraceRun run(input, callbacks);
        run.Wait();
    }
    ASSERT_TRUE(finished);
    ASSERT_FALSE(failure);
    EXPECT_EQ(resolved, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(hops.Reached());
    EXPECT_EQ(hops.Count(), 1);
    EXPECT_EQ(hops.Hop(1).Addresses, QStringList{QStringLiteral("127.0.0.1")});
    EXPECT_EQ(hops.Hop(1).Figures.PacketsReceived, 3);
    EXPECT_EQ(hops.Hop(1).Figures.Sent, 3);
}

// A hop's name is looked up once, off the engine thread, and the rounds go on while the name
// service takes its time: here it answers only once the third round has begun.
TEST(TraceRun, AHopsNameComesWithoutHoldingUpTheRounds) {
    std::mutex mutex;
    std::condition_variable changed;
    int rounds = 0;
    int lookUps = 0;
    QStringList named;
    TTraceInput input;
    input.Address = QStringLiteral("127.0.0.1");
    input.Interval = 20;
    input.LookUpName = [&](const QString &address) {
        std::unique_lock<std::mutex> lock(mutex);
        ++lookUps;
        changed.wait(lock, [&] { return rounds >= 3; });
        return address == QStringLiteral("127.0.0.1") ? QStringLiteral("loop.test") : QString();
    };
    TTraceCallbacks callbacks;
    callbacks.RoundStarted = [&](int round, int) {
        std::lock_guard<std::mutex> lock(mutex);
        rounds = round;
        changed.notify_all();
    };
    callbacks.Named = [&](const QString &address, const QString &name) {
        std::lock_guard<std::mutex> lock(mutex);
        named << address + QLatin1Char('=') + name;
        changed.notify_all();
    };
    TTraceRun run(input, callbacks);
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(
            changed.wait_for(lock, std::chrono::seconds(30), [&] { return !named.isEmpty(); }));
        EXPECT_GE(rounds, 3);
    }
    run.Stop();
    run.Wait();
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(named, QStringList{QStringLiteral("127.0.0.1=loop.test")});
    EXPECT_EQ(lookUps, 1);
}

TEST(TraceRun, ANameThatDoesNotResolveFailsWithItsName) {
    TTraceInput input;
    input.Address = QStringLiteral("no-such-host.invalid");
    std::exception_ptr failure;
    TTraceCallbacks callbacks;
    callbacks.Finished = [&](std::exception_ptr error) { failure = error; };
    {
        TTraceRun run(input, callbacks);
        run.Wait();
    }
    ASSERT_TRUE(failure);
    try {
        std::rethrow_exception(failure);
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Unable to resolve target system name no-such-host.invalid."));
    }
}
