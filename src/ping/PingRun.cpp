#include "ping/PingRun.h"

#include <QTextDocument>
#include <cmath>
#include <optional>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/ChartSink.h"
#include "ping/PingStatus.h"

QString PingHeaderLine(const QDateTime &when) {
    return QStringLiteral("Date: ") + when.toString(QStringLiteral("dd.MM.yyyy")) +
           QLatin1Char('\t') + QStringLiteral("Time: ") +
           when.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral(" ms");
}

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

QString AddressLine(const QString &replyAddress, const QString &addressEditText) {
    QString line = QStringLiteral("IPv4 - ") + replyAddress;
    // The tabs line the "Address - " column up for the usual address lengths.
    line += line.length() > 18 ? QStringLiteral("\t") : QStringLiteral("\t\t");
    line += QStringLiteral("Address - ");
    line += addressEditText.isEmpty() ? QStringLiteral("\t") : addressEditText;
    return line;
}

namespace {

void WriteLine(const QString &line) {
    ResultString = line;
    WriteResult();
}

}  // namespace

void StandardPing(const TPingRunInput &input, const TPingRunTargets &targets) {
    if (targets.DebugMemo == nullptr || targets.AddressMemo == nullptr ||
        targets.PositionX == nullptr) {
        throw TxError(QStringLiteral("The ping run has no results pane."));
    }

    SelectedResultMemo = targets.DebugMemo;
    ResultsFontColor = input.DebugColor;
    // Raw figures only; the average and the loss are derived when the statistics are written.
    qint32 packetsReceived = 0;
    qint32 minimum = 0;
    qint32 maximum = 0;
    qint64 tripSum = 0;
    QString replyAddress;

    {
        // Lines written back to back make one change of the pane (one layout, one scroll).
        const TResultBatch batch(targets.DebugMemo);
        const QDateTime now = targets.Now ? targets.Now() : QDateTime::currentDateTime();
        WriteLine(PingHeaderLine(now));
        WriteLine(QStringLiteral("Pinging %1 with %2 bytes of data:")
                      .arg(input.PingAddress, QString::number(input.PingBufferSize)));
        WriteLine(QString());
    }

    std::unique_ptr<TEchoService> service =
        targets.Connect ? targets.Connect() : ConnectEchoService();
    if (!service) {
        throw TxError(QStringLiteral("The echo service is not available."));
    }
    const QString query = EchoQueryText(input.PingAddress, input.PingBufferSize, input.PingTimeOut);

    for (int i = 0; i < input.PingRetries; ++i) {
        const std::optional<TPingReply> reply =
            RunBlocking([&service, &query] { return service->ExecQuery(query); });
        const TReplyKind kind = ClassifyReply(reply);

        if (kind == TReplyKind::Received) {
            const double trip = reply->ResponseTime;
            if (targets.Charts != nullptr) {
                targets.Charts->SetBarHeight(i, trip);
                targets.Charts->AppendPoint(*targets.PositionX, trip);
            }
            *targets.PositionX += 1;
            // The graph shows a window of 61 positions that slides one step per point once the
            // points pass its right edge.
            if (targets.Charts != nullptr && *targets.PositionX > targets.Charts->AxisMaximum()) {
                targets.Charts->SetAxisRange(targets.Charts->AxisMinimum() + 1,
                                             targets.Charts->AxisMaximum() + 1);
            }
        }

        if (kind == TReplyKind::Received || kind == TReplyKind::ReceivedFast) {
            WriteLine(ReplyLine(reply, input.PingAddress));
            const auto trip = static_cast<qint32>(qMin<quint32>(reply->ResponseTime, INT32_MAX));
            ++packetsReceived;
            if (trip > maximum) {
                maximum = trip;
            }
            if (packetsReceived == 1 || trip < minimum) {
                minimum = trip;
            }
            tripSum += trip;
        } else if (kind == TReplyKind::Failed) {
            WriteLine(ReplyLine(reply, input.PingAddress));
        }
        // No object at all counts as lost and writes nothing; its reply address is empty.
        replyAddress = reply ? reply->ProtocolAddress : QString();

        if (targets.SetProgress) {
            targets.SetProgress(QStringLiteral("%1 of %2").arg(i + 1).arg(input.PingRetries));
        }
    }

    std::optional<TResultBatch> statistics;
    statistics.emplace(targets.DebugMemo);
    WriteLine(QString());
    WriteLine(QStringLiteral("Ping statistics for %1;").arg(input.PingAddress) +
              QStringLiteral(" IPv4 - ") + replyAddress);
    const qint32 sent = input.PingRetries;
    const qint32 lost = sent - packetsReceived;
    // Rounded half to even, so 12.5 % shows as 12 %. A run of no requests lost nothing: 0 %,
    // rather than a division by zero.
    const qint64 lossPercent = sent > 0 ? RoundHalfEven(lost * 100.0 / sent) : 0;
    WriteLine(QStringLiteral("Packets: Sent = %1, Received = %2, Lost = %3 [ %4% loss ]")
                  .arg(sent)
                  .arg(packetsReceived)
                  .arg(lost)
                  .arg(lossPercent));

    QString addressLine = replyAddress;
    if (packetsReceived > 0) {
        WriteLine(QString());
        WriteLine(QStringLiteral("Approximate round trip times in milli-seconds:"));
        const qint64 average = RoundHalfEven(static_cast<double>(tripSum) / packetsReceived);
        WriteLine(QStringLiteral("Minimum = %1 ms, Maximum = %2 ms, Average = %3 ms")
                      .arg(minimum)
                      .arg(maximum)
                      .arg(average));
        WriteLine(QString());
        WriteLine(QString());
        if (targets.Charts != nullptr) {
            targets.Charts->SetBarsActive(true);
        }
        const QString editText =
            targets.AddressEditText ? targets.AddressEditText() : input.PingAddress;
        addressLine = AddressLine(replyAddress, editText);
    }

    statistics.reset();

    SelectedResultMemo = targets.AddressMemo;
    ResultsFontColor = input.ResultsColor;
    WriteReport(addressLine);
    SelectedResultMemo = targets.DebugMemo;
}
