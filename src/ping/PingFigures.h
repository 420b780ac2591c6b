#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

#include "ping/EchoService.h"

// Returns `value` rounded to the nearest integer, an exact half going to the even neighbour
// (2.5 gives 2, 21.5 gives 22, 12.5 gives 12).
qint64 RoundHalfEven(double value);

// The raw figures of a run, kept while its requests go. What is shown (loss, average, jitter) is
// derived only when it is written, so the statistics block at the end of a run and the live
// figures while an address is watched come from the same counts.
struct TPingFigures {
    qint32 Sent = 0;             // requests made
    qint32 PacketsReceived = 0;  // requests with status 0
    qint32 Minimum = 0;          // smallest trip time received ("<1 ms" counts as 0)
    qint32 Maximum = 0;          // largest trip time received
    qint64 TripSum = 0;          // sum of the trip times received
    QString ReplyAddress;        // reply address of the latest request (empty: none)
    // Trip time of the latest request; none when it got no reply.
    std::optional<qint32> Last;
    // Trip time of the latest request that got a reply (jitter is measured between replies).
    qint32 PreviousTrip = 0;
    // Sum of the absolute differences between the trip times of consecutive replies.
    qint64 JitterSum = 0;

    // The same figures from the measured trip times with their fraction, in milliseconds. The
    // statistics block keeps whole milliseconds, as ping's lines always have; the live figures
    // and the charts use these, so that replies under a millisecond still show what they took.
    struct TFine {
        double Minimum = 0;
        double Maximum = 0;
        double Sum = 0;
        double Previous = 0;
        double JitterSum = 0;
        std::optional<double> Last;
    } Fine;

    // Counts the outcome of one request: a reply (status 0) with its trip time, or a lost
    // request (an error status, a null status, or no object at all).
    void Add(const std::optional<TPingReply> &reply);

    // Returns the requests that got no reply.
    qint32 Lost() const { return Sent - PacketsReceived; }
    // Returns the lost requests in percent of those sent, rounded half to even (12.5 % gives
    // 12); 0 when nothing was sent, rather than a division by zero.
    qint64 LossPercent() const;
    // Returns the average trip time of the replies in whole milliseconds, rounded half to even;
    // 0 when there was none.
    qint64 Average() const;
    // Returns the jitter in milliseconds: the mean absolute difference between the trip times of
    // consecutive replies (the interarrival idea of RFC 3550, without its 1/16 smoothing, so the
    // figure is the plain mean over the whole run); 0 with fewer than two replies. Lost requests
    // in between do not break a pair.
    double Jitter() const;
    // The average and the jitter of the measured trip times, in milliseconds with fraction.
    double FineAverage() const;
    double FineJitter() const;
};

// Returns the trip time of a reply in milliseconds with its fraction: the measured
// microseconds where the socket gave them, otherwise the whole milliseconds.
double TripMilliseconds(const TPingReply &reply);

// Returns a trip time for reading, with the precision ping gives it (three decimals under 1 ms,
// two under 10 ms, one under 100 ms, none above) and without trailing zeros: "0.042", "2.5",
// "17", "20".
QString TripText(double milliseconds);

// Returns the live figures of a watched address as the status bar shows them, e.g.
// "Sent: 12   Lost: 1 (8%)   Last: 3.1 ms   Average: 2.25 ms   Minimum: 0.95 ms   Maximum: 5 ms
// Jitter: 1.5 ms" (one line), from the measured trip times (TripText). Sent counts the requests
// made, `inFlight` of them still waiting for their outcome; Lost and its percentage count only
// those whose outcome is in. "Last" reads "lost" when the latest request got no reply; the
// trip-time figures read "-" until a reply came.
QString LiveFiguresText(const TPingFigures &figures, qint32 inFlight = 0);
