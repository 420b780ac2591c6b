// The runs kept as data and written as JSON for scripts: what a watched list went through.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "PingTestDoubles.h"
#include "ping/ListWatch.h"
#include "ping/RunResults.h"
#include "support/ResultsReadBack.h"

namespace {

QJsonArray RunsOf(const QByteArray &json) {
    return QJsonDocument::fromJson(json).object().value(QStringLiteral("runs")).toArray();
}

}  // namespace

// A watched list saved as JSON says it was a watch, and carries each address's state, its
// outages (the one under way at the end with no end) and its changes of state, at the times of
// day they happened; the document passes the schema. A ping that was no watch has no such part.
TEST(WatchResults, CarryOutagesAndChangesOfState) {
    TListWatch watch({QStringLiteral("192.0.2.1"), QStringLiteral("192.0.2.2")}, 2);
    TWatchLog log;
    log.Reset(watch.Count());
    const TPingReply reply = Reply(0, QStringLiteral("192.0.2.1"));
    const TPingReply lost = Failure(11010, QStringLiteral("192.0.2.1"));
    // (address, reply or not, sent at, in at), in ms since the watch began.
    const struct {
        int index;
        bool answered;
        qint64 sent;
        qint64 in;
    } outcomes[] = {
        {0, true, 0, 10},        {1, true, 0, 12},      {0, false, 1000, 5000},
        {0, false, 2000, 6000},  {0, true, 7000, 7005}, {0, false, 8000, 12000},
        {0, false, 9000, 13000},
    };
    for (const auto &o : outcomes) {
        if (const std::optional<TWatchChange> change =
                watch.Replied(o.index, o.answered ? reply : lost, o.in, o.sent)) {
            log.Changed(*change, watch.At(o.index));
        }
    }
    const QDateTime started(QDate(2024, 5, 20), QTime(14, 0), Qt::OffsetFromUTC, 7200);
    TEchoParameters echo;
    std::vector<TRunResult> runs = WatchedListResults(watch, log, echo, 1000, started, 15000);
    TRunResult single =
        PingResult(QStringLiteral("192.0.2.3"), echo, TPingRecord{{reply}, {}, started});
    runs.push_back(single);

    const QByteArray json = RunResultsJson(runs);
    EXPECT_FALSE(ReadResultsBack(json, "json").isEmpty());
    const QJsonArray saved = RunsOf(json);
    ASSERT_EQ(saved.size(), 3);
    const QJsonObject first = saved.at(0).toObject().value(QStringLiteral("watch")).toObject();
    const QString expected = QStringLiteral(R"({
        "interval_ms": 1000, "down_after": 2, "watched_ms": 15000, "state": "down",
        "outage_count": 2, "outage_total_ms": 13005, "longest_outage_ms": 7000,
        "outages": [
            {"start": "2024-05-20T14:00:01.000+02:00", "end": "2024-05-20T14:00:07.005+02:00",
             "duration_ms": 6005},
            {"start": "2024-05-20T14:00:08.000+02:00", "end": null, "duration_ms": 7000}],
        "changes": [
            {"at": "2024-05-20T14:00:00.010+02:00", "from": "unknown", "to": "up"},
            {"at": "2024-05-20T14:00:06.000+02:00", "from": "up", "to": "down"},
            {"at": "2024-05-20T14:00:07.005+02:00", "from": "down", "to": "up"},
            {"at": "2024-05-20T14:00:13.000+02:00", "from": "up", "to": "down"}],
        "changes_left_out": 0})");
    EXPECT_EQ(first, QJsonDocument::fromJson(expected.toUtf8()).object())
        << QJsonDocument(first).toJson().toStdString();
    const QJsonObject second = saved.at(1).toObject().value(QStringLiteral("watch")).toObject();
    EXPECT_EQ(second.value(QStringLiteral("state")).toString(), QStringLiteral("up"));
    EXPECT_EQ(second.value(QStringLiteral("outage_count")).toInt(), 0);
    EXPECT_TRUE(second.value(QStringLiteral("outages")).toArray().isEmpty());
    EXPECT_FALSE(saved.at(2).toObject().contains(QStringLiteral("watch")));
}

// An address that comes and goes all day keeps only its latest changes, and says how many went.
TEST(WatchResults, KeepTheLatestChangesOfAnAddressThatFlaps) {
    TListWatch watch({QStringLiteral("192.0.2.1")}, 1);
    TWatchLog log;
    log.Reset(1);
    const int changes = kWatchChangesKept + 40;
    for (int i = 0; i < changes; ++i) {
        const TPingReply outcome = i % 2 == 0 ? Reply(0, QStringLiteral("192.0.2.1"))
                                              : Failure(11010, QStringLiteral("192.0.2.1"));
        if (const std::optional<TWatchChange> change =
                watch.Replied(0, outcome, i * 1000 + 5, i * 1000)) {
            log.Changed(*change, watch.At(0));
        }
    }
    EXPECT_EQ(log.Changes(0).size(), static_cast<std::size_t>(kWatchChangesKept));
    EXPECT_EQ(log.LeftOut(0), 40);
    EXPECT_EQ(log.Changes(0).back().At, (changes - 1) * 1000 + 5);
    const QJsonObject saved =
        RunsOf(RunResultsJson(WatchedListResults(watch, log, TEchoParameters(), 1000, QDateTime(),
                                                 changes * 1000)))
            .at(0)
            .toObject()
            .value(QStringLiteral("watch"))
            .toObject();
    EXPECT_EQ(saved.value(QStringLiteral("changes")).toArray().size(), kWatchChangesKept);
    EXPECT_EQ(saved.value(QStringLiteral("changes_left_out")).toInt(), 40);
    // Every outage is counted, also those whose changes went.
    EXPECT_EQ(saved.value(QStringLiteral("outage_count")).toInt(), changes / 2);
}
