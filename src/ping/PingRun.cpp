#include "ping/PingRun.h"

#include <QTextDocument>
#include <optional>

#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/ChartSink.h"
#include "ping/PingStatus.h"
#include "ping/RunModel.h"

QString PingHeaderLine(const QDateTime &when) {
    return QStringLiteral("Date: ") + when.toString(QStringLiteral("dd.MM.yyyy")) +
           QLatin1Char('\t') + QStringLiteral("Time: ") +
           when.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral(" ms");
}

QString AddressFamilyPrefix(const QString &replyAddress) {
    // Only IPv6 texts hold colons; an empty address (nothing resolved) stays with "IPv4 - ".
    return replyAddress.contains(QLatin1Char(':')) ? QStringLiteral("IPv6 - ")
                                                   : QStringLiteral("IPv4 - ");
}

QString AddressLine(const QString &replyAddress, const QString &addressEditText) {
    QString line = AddressFamilyPrefix(replyAddress) + replyAddress;
    // The tabs line the "Address - " column up for the usual address lengths.
    line += line.length() > 18 ? QStringLiteral("\t") : QStringLiteral("\t\t");
    line += QStringLiteral("Address - ");
    line += addressEditText.isEmpty() ? QStringLiteral("\t") : addressEditText;
    return line;
}

namespace {

TResultTarget ResultsPane(const TPingRunInput &input, const TPingRunTargets &targets) {
    TResultTarget pane(targets.DebugMemo, input.DebugColor);
    pane.Plain = targets.DebugLines;
    return pane;
}

}  // namespace

void CheckTargets(const TPingRunTargets &targets) {
    const bool panes =
        targets.DebugLines || (targets.DebugMemo != nullptr && targets.AddressMemo != nullptr);
    if (!panes || targets.PositionX == nullptr) {
        throw TxError(QStringLiteral("The ping run has no results pane."));
    }
}

void PlotTrip(int index, double trip, const TPingRunTargets &targets) {
    if (targets.Charts != nullptr) {
        targets.Charts->SetBarHeight(index, trip);
        targets.Charts->AppendPoint(*targets.PositionX, trip);
    }
    *targets.PositionX += 1;
    // The graph shows a window of 61 positions that slides one step per point once the points
    // pass its right edge.
    if (targets.Charts != nullptr && *targets.PositionX > targets.Charts->AxisMaximum()) {
        targets.Charts->SetAxisRange(targets.Charts->AxisMinimum() + 1,
                                     targets.Charts->AxisMaximum() + 1);
    }
}

void WritePingRunStart(const TPingRunInput &input, const TPingRunTargets &targets) {
    CheckTargets(targets);
    WritePingHeader(input, targets);
}

void WritePingHeader(const TPingRunInput &input, const TPingRunTargets &targets) {
    const TResultTarget pane = ResultsPane(input, targets);
    // Lines written back to back make one change of the pane (one layout, one scroll).
    const TResultBatch batch(targets.DebugMemo);
    const QDateTime now = targets.Now ? targets.Now() : QDateTime::currentDateTime();
    WriteReport(pane, PingHeaderLine(now));
    WriteReport(pane, QStringLiteral("Pinging %1 with %2 bytes of data:")
                          .arg(input.PingAddress, QString::number(input.Echo.BufferSize)));
    WriteReport(pane, QString());
}

void WritePingReply(int index, const std::optional<TPingReply> &reply, const TPingRunInput &input,
                    const TPingRunTargets &targets, TPingFigures &figures) {
    const TReplyKind kind = ClassifyReply(reply);
    if ((kind == TReplyKind::Received || kind == TReplyKind::ReceivedFast) &&
        TripMilliseconds(*reply) > 0) {
        PlotTrip(index, TripMilliseconds(*reply), targets);
    }
    if (kind != TReplyKind::NoObject) {
        WriteReport(ResultsPane(input, targets), ReplyLine(reply, input.PingAddress));
    }
    figures.Add(reply);

    if (targets.SetProgress) {
        targets.SetProgress(QStringLiteral("%1 of %2").arg(index + 1).arg(input.Echo.Retries));
    }
}

void WritePingStatistics(const TPingRunInput &input, const TPingRunTargets &targets,
                         const TPingFigures &figures) {
    const TResultTarget pane = ResultsPane(input, targets);
    QString addressLine = figures.ReplyAddress;
    {
        const TResultBatch batch(targets.DebugMemo);
        WriteReport(pane, QString());
        WriteReport(pane, QStringLiteral("Ping statistics for %1; ").arg(input.PingAddress) +
                              AddressFamilyPrefix(figures.ReplyAddress) + figures.ReplyAddress);
        WriteReport(pane,
                    QStringLiteral("Packets: Sent = %1, Received = %2, Lost = %3 [ %4% loss ]")
                        .arg(figures.Sent)
                        .arg(figures.PacketsReceived)
                        .arg(figures.Lost())
                        .arg(figures.LossPercent()));

        if (figures.PacketsReceived > 0) {
            WriteReport(pane, QString());
            WriteReport(pane, QStringLiteral("Approximate round trip times in milli-seconds:"));
            WriteReport(pane, QStringLiteral("Minimum = %1 ms, Maximum = %2 ms, Average = %3 ms")
                                  .arg(figures.Minimum)
                                  .arg(figures.Maximum)
                                  .arg(figures.Average()));
            WriteReport(pane, QString());
            WriteReport(pane, QString());
            if (targets.Charts != nullptr) {
                targets.Charts->SetBarsActive(true);
            }
            const QString editText =
                targets.AddressEditText ? targets.AddressEditText() : input.PingAddress;
            addressLine = AddressLine(figures.ReplyAddress, editText);
        }
    }
    WriteReport(TResultTarget{targets.AddressMemo, input.ResultsColor}, addressLine);
}

TListRunInput AddressRunInput(const TPingRunInput &input) {
    TListRunInput run;
    run.Addresses = QStringList(input.PingAddress);
    run.Echo = input.Echo;
    return run;
}

void WritePingRecord(const TPingRunInput &input, const TPingRunTargets &targets,
                     const TPingRecord &record) {
    // A list run writes a block once its address and those before it are complete, which may be
    // long after the address began: the header gives the moment it began.
    TPingRunTargets begun = targets;
    if (record.Started.isValid()) {
        begun.Now = [started = record.Started] { return started; };
    }
    WritePingRunStart(input, begun);
    TPingFigures figures;
    for (std::size_t i = 0; i < record.Replies.size(); ++i) {
        WritePingReply(static_cast<int>(i), record.Replies[i], input, targets, figures);
    }
    if (record.Failure) {
        std::rethrow_exception(record.Failure);
    }
    WritePingStatistics(input, targets, figures);
}
