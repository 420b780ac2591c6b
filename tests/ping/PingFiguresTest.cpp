// The figures of a run: what the statistics block and the live figures of a watch are derived
// from, fed with sequences of trip times.
#include <gtest/gtest.h>

#include <vector>

#include "PingTestDoubles.h"
#include "ping/PingFigures.h"

namespace {

// One request of a sequence: a reply with its trip time, or a lost request.
struct Request {
    std::optional<TPingReply> reply;
};
Request Trip(quint32 milliseconds) {
    return {Reply(milliseconds)};
}
// A reply whose trip time the socket measured to the microsecond.
Request Measured(quint32 microseconds) {
    TPingReply reply = Reply(microseconds / 1000);
    reply.TripMicroseconds = microseconds;
    return {reply};
}
const Request kTimedOut{Failure(11010)};
const Request kUnresolved{Failure(std::nullopt, QString())};
const Request kNoObject{std::nullopt};

TPingFigures Feed(const std::vector<Request> &requests) {
    TPingFigures figures;
    for (const Request &request : requests) {
        figures.Add(request.reply);
    }
    return figures;
}

}  // namespace

TEST(PingFigures, LiveFiguresOfTripTimeSequences) {
    const struct {
        const char *name;
        std::vector<Request> requests;
        qint32 sent;
        qint32 lost;
        qint64 lossPercent;
        qint64 average;
        qint32 minimum;
        qint32 maximum;
        double jitter;
        const char *text;
    } rows[] = {
        // clang-format off
        // name, requests,
        //  sent, lost, loss %, average, minimum, maximum, jitter,
        //  status bar text
        {"nothing sent yet", {},
         0, 0, 0, 0, 0, 0, 0.0,
         "Sent: 0   Lost: 0 (0%)   Last: -   Average: -   Minimum: -   Maximum: -   Jitter: -"},
        {"one reply has no jitter", {Trip(7)},
         1, 0, 0, 7, 7, 7, 0.0,
         "Sent: 1   Lost: 0 (0%)   Last: 7 ms   Average: 7 ms   Minimum: 7 ms   "
         "Maximum: 7 ms   Jitter: 0 ms"},
        {"steady trip times have no jitter", {Trip(5), Trip(5), Trip(5), Trip(5)},
         4, 0, 0, 5, 5, 5, 0.0,
         "Sent: 4   Lost: 0 (0%)   Last: 5 ms   Average: 5 ms   Minimum: 5 ms   "
         "Maximum: 5 ms   Jitter: 0 ms"},
        // |20-10| + |10-20| + |30-10| + |20-30| = 50 over four differences.
        {"mean absolute difference, not smoothed",
         {Trip(10), Trip(20), Trip(10), Trip(30), Trip(20)},
         5, 0, 0, 18, 10, 30, 12.5,
         "Sent: 5   Lost: 0 (0%)   Last: 20 ms   Average: 18 ms   Minimum: 10 ms   "
         "Maximum: 30 ms   Jitter: 12.5 ms"},
        // A rising ramp has a jitter of its step, whatever its length.
        {"a ramp", {Trip(1), Trip(2), Trip(3), Trip(4), Trip(5), Trip(6)},
         6, 0, 0, 4, 1, 6, 1.0,
         "Sent: 6   Lost: 0 (0%)   Last: 6 ms   Average: 3.5 ms   Minimum: 1 ms   "
         "Maximum: 6 ms   Jitter: 1 ms"},
        // "<1 ms" counts as 0 in every figure.
        {"replies under a millisecond", {Trip(0), Trip(3), Trip(0)},
         3, 0, 0, 1, 0, 3, 3.0,
         "Sent: 3   Lost: 0 (0%)   Last: 0 ms   Average: 1 ms   Minimum: 0 ms   "
         "Maximum: 3 ms   Jitter: 3 ms"},
        // Measured replies: the statistics keep whole milliseconds, the live text the fraction.
        {"replies measured to the microsecond", {Measured(42), Measured(58), Measured(1500)},
         3, 0, 0, 0, 0, 1, 0.5,
         "Sent: 3   Lost: 0 (0%)   Last: 1.5 ms   Average: 0.533 ms   Minimum: 0.042 ms   "
         "Maximum: 1.5 ms   Jitter: 0.729 ms"},
        // Lost requests do not break a pair: 8 then 2 is one difference of 6.
        {"loss between replies", {Trip(8), kTimedOut, kTimedOut, Trip(2)},
         4, 2, 50, 5, 2, 8, 6.0,
         "Sent: 4   Lost: 2 (50%)   Last: 2 ms   Average: 5 ms   Minimum: 2 ms   "
         "Maximum: 8 ms   Jitter: 6 ms"},
        {"the latest request lost", {Trip(4), Trip(6), kTimedOut},
         3, 1, 33, 5, 4, 6, 2.0,
         "Sent: 3   Lost: 1 (33%)   Last: lost   Average: 5 ms   Minimum: 4 ms   "
         "Maximum: 6 ms   Jitter: 2 ms"},
        {"nothing answered", {kTimedOut, kUnresolved, kNoObject},
         3, 3, 100, 0, 0, 0, 0.0,
         "Sent: 3   Lost: 3 (100%)   Last: lost   Average: -   Minimum: -   Maximum: -   "
         "Jitter: -"},
        // Loss and the whole-millisecond average round half to even, as the statistics block
        // does; the live text shows the average with its fraction.
        {"12.5 % shows as 12 %",
         {Trip(1), Trip(1), Trip(1), kTimedOut, Trip(1), Trip(1), Trip(1), Trip(2)},
         8, 1, 12, 1, 1, 2, 1.0 / 6,
         "Sent: 8   Lost: 1 (12%)   Last: 2 ms   Average: 1.14 ms   Minimum: 1 ms   "
         "Maximum: 2 ms   Jitter: 0.167 ms"},
        {"21.5 ms: 22 in the statistics, 21.5 live", {Trip(21), Trip(20), Trip(22), Trip(23)},
         4, 0, 0, 22, 20, 23, 4.0 / 3,
         "Sent: 4   Lost: 0 (0%)   Last: 23 ms   Average: 21.5 ms   Minimum: 20 ms   "
         "Maximum: 23 ms   Jitter: 1.33 ms"},
        // A link that stops answering and comes back: the loss follows, the trip times go on.
        {"silent, then back", {Trip(3), Trip(3), kTimedOut, kTimedOut, kTimedOut, Trip(5)},
         6, 3, 50, 4, 3, 5, 1.0,
         "Sent: 6   Lost: 3 (50%)   Last: 5 ms   Average: 3.67 ms   Minimum: 3 ms   "
         "Maximum: 5 ms   Jitter: 1 ms"},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const TPingFigures figures = Feed(row.requests);
        EXPECT_EQ(figures.Sent, row.sent);
        EXPECT_EQ(figures.Lost(), row.lost);
        EXPECT_EQ(figures.LossPercent(), row.lossPercent);
        EXPECT_EQ(figures.Average(), row.average);
        EXPECT_EQ(figures.Minimum, row.minimum);
        EXPECT_EQ(figures.Maximum, row.maximum);
        EXPECT_DOUBLE_EQ(figures.Jitter(), row.jitter);
        EXPECT_EQ(LiveFiguresText(figures), QString::fromLatin1(row.text));
    }
}

TEST(PingFigures, TheLatestReplyAddressIsKeptAndEmptyWithoutAnObject) {
    TPingFigures figures;
    figures.Add(Reply(3, QStringLiteral("10.0.0.9")));
    EXPECT_EQ(figures.ReplyAddress, QStringLiteral("10.0.0.9"));
    figures.Add(Failure(11003, QStringLiteral("192.0.2.7")));
    EXPECT_EQ(figures.ReplyAddress, QStringLiteral("192.0.2.7"));
    figures.Add(std::nullopt);
    EXPECT_EQ(figures.ReplyAddress, QString());
}

TEST(PingFigures, HoursOfRequestsStayExact) {
    // A day at 100 ms is 864,000 requests; the sums must not wrap and the means stay exact.
    TPingFigures figures;
    for (int i = 0; i < 864000; ++i) {
        figures.Add(i % 10 == 9 ? std::optional<TPingReply>(Failure(11010))
                                : std::optional<TPingReply>(Reply(i % 2 == 0 ? 4000 : 2000)));
    }
    EXPECT_EQ(figures.Sent, 864000);
    EXPECT_EQ(figures.Lost(), 86400);
    EXPECT_EQ(figures.LossPercent(), 10);
    EXPECT_EQ(figures.Minimum, 2000);
    EXPECT_EQ(figures.Maximum, 4000);
    // Replies alternate 4000 and 2000 ms except where the lost tenth request sits between two
    // even ones (8 then 0): of the 777,599 differences, 86,399 are 0 and the rest 2000 ms.
    EXPECT_DOUBLE_EQ(figures.Jitter(), 2000.0 * (777599 - 86399) / 777599);
}

TEST(PingFigures, RequestsInFlightCountAsSentButNotAsLost) {
    TPingFigures figures;
    EXPECT_TRUE(LiveFiguresText(figures, 1)
                    .startsWith(QStringLiteral("Sent: 1   Lost: 0 (0%)   Last: -   Average: -")));
    figures.Add(Failure(11010));
    EXPECT_TRUE(LiveFiguresText(figures, 1)
                    .startsWith(QStringLiteral("Sent: 2   Lost: 1 (100%)   Last: lost")));
}

TEST(PingFigures, TripTimesReadWithPingsPrecision) {
    const struct {
        double milliseconds;
        const char *text;
    } rows[] = {
        {0, "0"},       {0.0421, "0.042"}, {0.5, "0.5"},     {0.9996, "1"},
        {2.5, "2.5"},   {9.999, "10"},     {17.04, "17"},    {17.06, "17.1"},
        {99.96, "100"}, {123.6, "124"},    {16000, "16000"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(TripText(row.milliseconds), QString::fromLatin1(row.text)) << row.milliseconds;
    }
}
