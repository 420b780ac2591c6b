// The states of a watched list: when an address counts as down and up again, its outages, the
// lines its changes write, and what a stopped watch writes.
#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>

#include "PingTestDoubles.h"
#include "RunPanes.h"
#include "ping/ListWatch.h"

namespace {

// Feeds `outcomes` to one address, request i made at i * 100 ms and its outcome in 50 ms later:
// 'R' a reply, 'L' a time-out, 'U' an unreachable, 'N' a request that could not be made (a name
// that does not resolve). Returns the changes as "up", "down@<since>" and "up after <ms>".
QStringList Feed(TListWatch &watch, const QString &outcomes) {
    QStringList changes;
    for (int i = 0; i < outcomes.size(); ++i) {
        watch.Sending(0, i * 100);
        std::optional<TPingReply> reply;
        switch (outcomes.at(i).toLatin1()) {
            case 'R':
                reply = Reply(5);
                break;
            case 'L':
                reply = Failure(11010);
                break;
            case 'U':
                reply = Failure(11003);
                break;
            default:
                break;
        }
        if (const auto change = watch.Replied(0, reply, i * 100 + 50)) {
            if (change->To == TWatchState::Down) {
                changes << QStringLiteral("down@%1").arg(watch.At(0).DownSince);
            } else if (change->From == TWatchState::Down) {
                changes << QStringLiteral("up after %1").arg(change->Outage);
            } else {
                changes << QStringLiteral("up");
            }
        }
    }
    return changes;
}

TEST(ListWatch, AnAddressIsDownAfterItsRequestsInARowGoUnansweredAndUpAtTheFirstReply) {
    struct Case {
        const char *outcomes;
        int downAfter;
        QStringList changes;
        TWatchState state;
        int outages;
        qint64 total;
        qint64 longest;
    };
    const Case cases[] = {
        {"RRRR", 3, {"up"}, TWatchState::Up, 0, 0, 0},
        {"", 3, {}, TWatchState::Unknown, 0, 0, 0},
        // Down from the start: the outage begins with the first request.
        {"LLL", 3, {"down@0"}, TWatchState::Down, 0, 0, 0},
        {"LLR", 3, {"up"}, TWatchState::Up, 0, 0, 0},
        // The outage runs from the first unanswered request to the reply that ends it.
        {"RLLLLR", 3, {"up", "down@100", "up after 450"}, TWatchState::Up, 1, 450, 450},
        // Two misses and a reply are no outage; the row of misses starts again.
        {"RLLRLLLR", 3, {"up", "down@400", "up after 350"}, TWatchState::Up, 1, 350, 350},
        {"RLRL", 1, {"up", "down@100", "up after 150", "down@300"}, TWatchState::Down, 1, 150, 150},
        // Unreachables and names that do not resolve are no replies either.
        {"RUNU", 3, {"up", "down@100"}, TWatchState::Down, 0, 0, 0},
        {"RLLLRLLLLLR",
         3,
         {"up", "down@100", "up after 350", "down@500", "up after 550"},
         TWatchState::Up,
         2,
         900,
         550},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.outcomes);
        TListWatch watch({QStringLiteral("10.0.0.1")}, c.downAfter);
        EXPECT_EQ(Feed(watch, QString::fromLatin1(c.outcomes)), c.changes);
        const TWatchedAddress &address = watch.At(0);
        EXPECT_EQ(address.State, c.state);
        EXPECT_EQ(address.Outages, c.outages);
        EXPECT_EQ(address.OutageTotal, c.total);
        EXPECT_EQ(address.LongestOutage, c.longest);
        EXPECT_EQ(address.Figures.Sent, static_cast<int>(strlen(c.outcomes)));
        EXPECT_EQ(address.InFlight, 0);
        EXPECT_EQ(watch.UpCount(), c.state == TWatchState::Up ? 1 : 0);
        EXPECT_EQ(watch.DownCount(), c.state == TWatchState::Down ? 1 : 0);
    }
}

TEST(ListWatch, CountsStatesAcrossAddressesAndTheCurrentOutage) {
    TListWatch watch({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, 2);
    for (int i = 0; i < 3; ++i) {
        watch.Sending(i, 0);
    }
    EXPECT_EQ(watch.At(1).InFlight, 1);
    watch.Replied(0, Reply(1), 10);
    watch.Replied(1, Failure(11010), 1000);
    watch.Sending(1, 1000);
    const auto down = watch.Replied(1, Failure(11010), 2000);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->Index, 1);
    EXPECT_EQ(watch.UpCount(), 1);
    EXPECT_EQ(watch.DownCount(), 1);
    // "c" has no outcome yet: neither up nor down.
    EXPECT_EQ(watch.At(2).State, TWatchState::Unknown);
    EXPECT_EQ(watch.At(1).CurrentOutage(5000), 5000);
    EXPECT_EQ(watch.At(0).CurrentOutage(5000), 0);
    EXPECT_EQ(watch.At(1).LastChange, 2000);
}

TEST(ListWatch, AnHourOfRepliesKeepsOnlyTheLatestTripTimes) {
    TListWatch watch({QStringLiteral("10.0.0.1")});
    const qint64 count = 36000;
    for (qint64 i = 0; i < count; ++i) {
        watch.Sending(0, i * 100);
        TPingReply reply = Reply(2);
        reply.TripMicroseconds = 2000 + static_cast<quint32>(i % 7);
        watch.Replied(0, reply, i * 100 + 1);
    }
    const auto &history = watch.At(0).History;
    EXPECT_EQ(static_cast<int>(history.size()), kWatchHistoryPoints);
    EXPECT_EQ(history.back().At, (count - 1) * 100 + 1);
    EXPECT_DOUBLE_EQ(*history.back().Trip, 2 + ((count - 1) % 7) / 1000.0);
    EXPECT_EQ(watch.At(0).Figures.Sent, count);

    // At one request a second, the age limit holds before the count does.
    TListWatch slow({QStringLiteral("10.0.0.1")});
    for (qint64 i = 0; i < 1000; ++i) {
        slow.Sending(0, i * 1000);
        slow.Replied(0, Reply(2), i * 1000);
    }
    EXPECT_EQ(slow.At(0).History.front().At, 999000 - kWatchHistoryMs);

    // A request without a reply is kept as a gap.
    slow.Replied(0, Failure(11010), 1000000);
    EXPECT_FALSE(slow.At(0).History.back().Trip);
}

TEST(ListWatch, DurationsAndTheLinesOfChanges) {
    const std::pair<qint64, const char *> durations[] = {
        {-5, "0 ms"},
        {0, "0 ms"},
        {850, "850 ms"},
        {1000, "1.0 s"},
        {12345, "12.3 s"},
        {59999, "59.9 s"},
        {60000, "1 min 00 s"},
        {245000, "4 min 05 s"},
        {3599999, "59 min 59 s"},
        {7380000, "2 h 03 min"},
    };
    for (const auto &[ms, text] : durations) {
        EXPECT_EQ(WatchDurationText(ms), QString::fromLatin1(text)) << ms;
    }
    const QDateTime at(QDate(2026, 12, 11), QTime(14, 3, 7, 51));
    TWatchChange change;
    change.From = TWatchState::Up;
    change.To = TWatchState::Down;
    EXPECT_EQ(WatchChangeLine(at, QStringLiteral("10.0.0.2"), change),
              QStringLiteral("14:03:07  10.0.0.2 is down"));
    change.From = TWatchState::Unknown;
    EXPECT_EQ(WatchChangeLine(at, QStringLiteral("10.0.0.2"), change),
              QStringLiteral("14:03:07  10.0.0.2 is down"));
    change.From = TWatchState::Down;
    change.To = TWatchState::Up;
    change.Outage = 12345;
    EXPECT_EQ(WatchChangeLine(at, QStringLiteral("host.example"), change),
              QStringLiteral("14:03:07  host.example is up again after 12.3 s"));
    // An address answering for the first time writes nothing.
    change.From = TWatchState::Unknown;
    EXPECT_EQ(WatchChangeLine(at, QStringLiteral("10.0.0.2"), change), std::nullopt);
}

// The desktop notice of a burst of changes: one change names its address, several are counted,
// and the tally is of the states after the burst.
TEST(ListWatch, TheNoticeOfABurstOfChanges) {
    QStringList names;
    for (int i = 1; i <= 5; ++i) {
        names << QStringLiteral("10.0.0.%1").arg(i);
    }
    TListWatch watch(names, 2);
    const auto outcome = [&watch](int index, const std::optional<TPingReply> &reply, qint64 at) {
        watch.Sending(index, at);
        return watch.Replied(index, reply, at + 10);
    };
    for (int i = 0; i < 5; ++i) {
        outcome(i, Reply(1), 0);
    }
    outcome(1, Failure(11010), 100);
    outcome(1, Failure(11010), 200);
    outcome(1, Failure(11010), 300);
    TWatchChange down;
    down.Index = 1;
    down.From = TWatchState::Up;
    down.To = TWatchState::Down;
    const TWatchNotice one = WatchChangesNotice(watch, {down});
    EXPECT_EQ(one.Summary, QStringLiteral("10.0.0.2 is down"));
    EXPECT_EQ(one.Body,
              QStringLiteral("No reply to 3 requests in a row. 1 of 5 addresses watched down."));
    EXPECT_TRUE(one.Urgent);

    const std::optional<TWatchChange> back = outcome(1, Reply(1), 12400);
    ASSERT_TRUE(back);
    const TWatchNotice again = WatchChangesNotice(watch, {*back});
    EXPECT_EQ(again.Summary, QStringLiteral("10.0.0.2 is up again"));
    EXPECT_EQ(again.Body, QStringLiteral("After %1 down. All 5 addresses watched are up.")
                              .arg(WatchDurationText(back->Outage)));
    EXPECT_FALSE(again.Urgent);

    // A switch fails: four go down together while one comes back.
    std::vector<TWatchChange> burst;
    for (int i : {0, 2, 3, 4}) {
        outcome(i, Failure(11010), 13000);
        const std::optional<TWatchChange> change = outcome(i, Failure(11010), 13100);
        ASSERT_TRUE(change);
        burst.push_back(*change);
    }
    outcome(1, Failure(11010), 13000);
    outcome(1, Failure(11010), 13100);
    burst.push_back(*back);
    const TWatchNotice many = WatchChangesNotice(watch, burst);
    EXPECT_EQ(many.Summary, QStringLiteral("5 watched addresses changed"));
    EXPECT_EQ(many.Body, QStringLiteral("Down: 10.0.0.1, 10.0.0.3, 10.0.0.4 and 1 more. Up again: "
                                        "10.0.0.2. 5 of 5 addresses watched down."));
    EXPECT_TRUE(many.Urgent);
    EXPECT_EQ(WatchAddressCountText(1), QStringLiteral("1 address"));
}

QStringList DocumentLines(const QTextDocument &document) {
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        lines << block.text();
    }
    return lines;
}

// Each address's block is the block a list run writes for the same outcomes, without its lines
// per request; the outages follow.
TEST(ListWatch, AStoppedWatchWritesTheListRunsBlocksWithoutTheRequestLinesThenTheOutages) {
    const QStringList addresses = {QStringLiteral("10.0.0.1"), QStringLiteral("silent.example")};
    const std::vector<std::vector<std::optional<TPingReply>>> outcomes = {
        {Reply(5), Reply(7), Failure(11010), Failure(11010), Failure(11010), Reply(6)},
        {Failure(11010, QStringLiteral("10.0.0.9")), Failure(11010, QStringLiteral("10.0.0.9")),
         Failure(11010, QStringLiteral("10.0.0.9"))},
    };
    TListWatch watch(addresses);
    RunPanes list;
    for (int a = 0; a < 2; ++a) {
        TPingRecord record;
        for (std::size_t i = 0; i < outcomes[a].size(); ++i) {
            const qint64 at = static_cast<qint64>(i) * 1000;
            watch.Sending(a, at);
            watch.Replied(a, outcomes[a][i], at + 500);
            record.Replies.push_back(outcomes[a][i]);
        }
        WritePingRecord(PingInput(addresses.at(a)), list.targets, record);
    }
    RunPanes watched;
    WriteListWatchEnd(PingInput(QString()), watched.targets, watch,
                      QDateTime(QDate(2018, 12, 9), QTime(14, 3, 7, 51)), 65000);

    QStringList expected = DocumentLines(list.debugMemo);
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const QString &line) {
                                      return line.startsWith(QStringLiteral("Reply from"));
                                  }),
                   expected.end());
    expected.removeLast();  // the pane's empty last line
    expected << QStringLiteral("Outages in 1 min 05 s of watching 2 addresses:")
             << QStringLiteral("10.0.0.1: 1 outage, 3.5 s in all, the longest 3.5 s")
             << QStringLiteral("silent.example: down for the last 1 min 05 s") << QString()
             << QString();
    EXPECT_EQ(DocumentLines(watched.debugMemo), expected);
    EXPECT_EQ(DocumentLines(watched.addressMemo), DocumentLines(list.addressMemo));
    EXPECT_EQ(WatchOutageLines(TListWatch({QStringLiteral("a")}), 1500),
              QStringList(QStringLiteral("No outages in 1.5 s of watching 1 address.")));
}

}  // namespace
