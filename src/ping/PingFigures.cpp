#include "ping/PingFigures.h"

#include <cmath>
#include <cstdlib>

#include "ping/PingStatus.h"

qint64 RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5) {
        return static_cast<qint64>(lower) + 1;
    }
    if (fraction < 0.5) {
        return static_cast<qint64>(lower);
    }
    const auto even = static_cast<qint64>(lower);
    return (even % 2 == 0) ? even : even + 1;
}

void TPingFigures::Add(const std::optional<TPingReply> &reply) {
    ++Sent;
    const TReplyKind kind = ClassifyReply(reply);
    // No object at all counts as lost; its reply address is empty.
    ReplyAddress = reply ? reply->ProtocolAddress : QString();
    if (kind != TReplyKind::Received && kind != TReplyKind::ReceivedFast) {
        Last.reset();
        Fine.Last.reset();
        return;
    }
    const auto trip = static_cast<qint32>(qMin<quint32>(reply->ResponseTime, INT32_MAX));
    ++PacketsReceived;
    if (trip > Maximum) {
        Maximum = trip;
    }
    if (PacketsReceived == 1 || trip < Minimum) {
        Minimum = trip;
    }
    TripSum += trip;
    if (PacketsReceived > 1) {
        JitterSum += std::llabs(static_cast<qint64>(trip) - PreviousTrip);
    }
    PreviousTrip = trip;
    Last = trip;

    const double fine = TripMilliseconds(*reply);
    if (PacketsReceived == 1 || fine > Fine.Maximum) {
        Fine.Maximum = fine;
    }
    if (PacketsReceived == 1 || fine < Fine.Minimum) {
        Fine.Minimum = fine;
    }
    Fine.Sum += fine;
    if (PacketsReceived > 1) {
        Fine.JitterSum += std::fabs(fine - Fine.Previous);
    }
    Fine.Previous = fine;
    Fine.Last = fine;
}

qint64 TPingFigures::LossPercent() const {
    return Sent > 0 ? RoundHalfEven(Lost() * 100.0 / Sent) : 0;
}

qint64 TPingFigures::Average() const {
    return PacketsReceived > 0 ? RoundHalfEven(static_cast<double>(TripSum) / PacketsReceived) : 0;
}

double TPingFigures::Jitter() const {
    return PacketsReceived > 1 ? static_cast<double>(JitterSum) / (PacketsReceived - 1) : 0.0;
}

double TPingFigures::FineAverage() const {
    return PacketsReceived > 0 ? Fine.Sum / PacketsReceived : 0.0;
}

double TPingFigures::FineJitter() const {
    return PacketsReceived > 1 ? Fine.JitterSum / (PacketsReceived - 1) : 0.0;
}

double TripMilliseconds(const TPingReply &reply) {
    return reply.TripMicroseconds > 0 ? reply.TripMicroseconds / 1000.0
                                      : static_cast<double>(reply.ResponseTime);
}

QString TripText(double milliseconds) {
    const int decimals = milliseconds < 1 ? 3 : milliseconds < 10 ? 2 : milliseconds < 100 ? 1 : 0;
    QString text = QString::number(milliseconds, 'f', decimals);
    if (decimals > 0) {
        while (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
        if (text.endsWith(QLatin1Char('.'))) {
            text.chop(1);
        }
    }
    return text;
}

QString LiveFiguresText(const TPingFigures &figures, qint32 inFlight) {
    const bool anyReply = figures.PacketsReceived > 0;
    const auto ms = [anyReply](double value) {
        return anyReply ? TripText(value) + QStringLiteral(" ms") : QStringLiteral("-");
    };
    const QString last = figures.Fine.Last
                             ? TripText(*figures.Fine.Last) + QStringLiteral(" ms")
                             : (figures.Sent > 0 ? QStringLiteral("lost") : QStringLiteral("-"));
    return QStringLiteral(
               "Sent: %1   Lost: %2 (%3%)   Last: %4   Average: %5   Minimum: %6   "
               "Maximum: %7   Jitter: %8")
        .arg(figures.Sent + qMax(0, inFlight))
        .arg(figures.Lost())
        .arg(figures.LossPercent())
        .arg(last, ms(figures.FineAverage()), ms(figures.Fine.Minimum), ms(figures.Fine.Maximum),
             ms(figures.FineJitter()));
}
