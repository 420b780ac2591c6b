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

QString LiveFiguresText(const TPingFigures &figures) {
    const bool anyReply = figures.PacketsReceived > 0;
    const auto ms = [anyReply](qint64 value) {
        return anyReply ? QStringLiteral("%1 ms").arg(value) : QStringLiteral("-");
    };
    const QString last = figures.Last
                             ? QStringLiteral("%1 ms").arg(*figures.Last)
                             : (figures.Sent > 0 ? QStringLiteral("lost") : QStringLiteral("-"));
    const QString jitter = anyReply
                               ? QString::number(figures.Jitter(), 'f', 1) + QStringLiteral(" ms")
                               : QStringLiteral("-");
    return QStringLiteral(
               "Sent: %1   Lost: %2 (%3%)   Last: %4   Average: %5   Minimum: %6   "
               "Maximum: %7   Jitter: %8")
        .arg(figures.Sent)
        .arg(figures.Lost())
        .arg(figures.LossPercent())
        .arg(last, ms(figures.Average()), ms(figures.Minimum), ms(figures.Maximum), jitter);
}
