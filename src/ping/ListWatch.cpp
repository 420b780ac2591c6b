#include "ping/ListWatch.h"

#include "common/TX_Edit.h"

TListWatch::TListWatch(const QStringList &addresses, int downAfter)
    : downAfter_(qMax(1, downAfter)) {
    addresses_.resize(static_cast<std::size_t>(addresses.size()));
    for (int i = 0; i < addresses.size(); ++i) {
        addresses_[static_cast<std::size_t>(i)].Address = addresses.at(i);
    }
}

void TListWatch::Sending(int index, qint64 now) {
    TWatchedAddress &address = addresses_.at(static_cast<std::size_t>(index));
    ++address.InFlight;
    address.LastSentAt = now;
}

void TListWatch::SetRequestsMade(int index, int made) {
    TWatchedAddress &address = addresses_.at(static_cast<std::size_t>(index));
    address.InFlight = qMax(0, made - address.Figures.Sent);
}

std::optional<TWatchChange> TListWatch::Replied(int index, const std::optional<TPingReply> &reply,
                                                qint64 now, std::optional<qint64> sentAt) {
    TWatchedAddress &address = addresses_.at(static_cast<std::size_t>(index));
    if (sentAt) {
        address.LastSentAt = *sentAt;
    }
    address.InFlight = qMax(0, address.InFlight - 1);
    address.Figures.Add(reply);
    const bool answered = reply && reply->StatusCode && *reply->StatusCode == 0;
    address.History.push_back(TWatchPoint{
        now, answered ? std::optional<double>(TripMilliseconds(*reply)) : std::nullopt});
    while (address.History.size() > static_cast<std::size_t>(kWatchHistoryPoints) ||
           address.History.front().At < now - kWatchHistoryMs) {
        address.History.pop_front();
    }
    TWatchChange change;
    change.Index = index;
    change.From = address.State;
    if (answered) {
        address.MissedInRow = 0;
        if (address.State == TWatchState::Up) {
            return std::nullopt;
        }
        if (address.State == TWatchState::Down) {
            change.Outage = now - address.DownSince;
            ++address.Outages;
            address.OutageTotal += change.Outage;
            address.LongestOutage = qMax(address.LongestOutage, change.Outage);
        }
        Move(address, TWatchState::Up);
    } else {
        if (address.MissedInRow++ == 0) {
            address.FirstMissedAt = address.LastSentAt;
        }
        if (address.State == TWatchState::Down || address.MissedInRow < downAfter_) {
            return std::nullopt;
        }
        address.DownSince = address.FirstMissedAt;
        Move(address, TWatchState::Down);
    }
    address.LastChange = now;
    change.To = address.State;
    return change;
}

void TListWatch::Failed(int index, const QString &message) {
    TWatchedAddress &address = addresses_.at(static_cast<std::size_t>(index));
    address.Failure = message;
    address.InFlight = 0;
}

void TListWatch::Move(TWatchedAddress &address, TWatchState to) {
    up_ += (to == TWatchState::Up) - (address.State == TWatchState::Up);
    down_ += (to == TWatchState::Down) - (address.State == TWatchState::Down);
    address.State = to;
}

QString WatchDurationText(qint64 milliseconds) {
    const qint64 ms = qMax<qint64>(0, milliseconds);
    if (ms < 1000) {
        return QStringLiteral("%1 ms").arg(ms);
    }
    if (ms < 60 * 1000) {
        // Tenths, cut rather than rounded, so that 59.99 s never reads "60.0 s".
        return QStringLiteral("%1.%2 s").arg(ms / 1000).arg(ms % 1000 / 100);
    }
    const qint64 seconds = ms / 1000;
    if (seconds < 3600) {
        return QStringLiteral("%1 min %2 s")
            .arg(seconds / 60)
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1 h %2 min")
        .arg(seconds / 3600)
        .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QString WatchEventLine(const QDateTime &when, const QString &text) {
    return when.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text;
}

std::optional<QString> WatchChangeLine(const QDateTime &when, const QString &address,
                                       const TWatchChange &change) {
    if (change.To == TWatchState::Down) {
        return WatchEventLine(when, QStringLiteral("%1 is down").arg(address));
    }
    if (change.To == TWatchState::Up && change.From == TWatchState::Down) {
        return WatchEventLine(when, QStringLiteral("%1 is up again after %2")
                                        .arg(address, WatchDurationText(change.Outage)));
    }
    return std::nullopt;
}

QStringList WatchOutageLines(const TListWatch &watch, qint64 watched) {
    const QString span = QStringLiteral("%1 of watching %2 address%3")
                             .arg(WatchDurationText(watched))
                             .arg(watch.Count())
                             .arg(watch.Count() == 1 ? QString() : QStringLiteral("es"));
    QStringList lines;
    for (int i = 0; i < watch.Count(); ++i) {
        const TWatchedAddress &address = watch.At(i);
        const qint64 current = address.CurrentOutage(watched);
        if (address.Outages == 0 && current == 0) {
            continue;
        }
        QString line = QStringLiteral("%1: ").arg(address.Address);
        if (address.Outages > 0) {
            line += QStringLiteral("%1 outage%2, %3 in all, the longest %4")
                        .arg(address.Outages)
                        .arg(address.Outages == 1 ? QString() : QStringLiteral("s"))
                        .arg(WatchDurationText(address.OutageTotal),
                             WatchDurationText(address.LongestOutage));
        }
        if (current > 0) {
            line += QStringLiteral("%1down for the last %2")
                        .arg(address.Outages > 0 ? QStringLiteral("; ") : QString(),
                             WatchDurationText(current));
        }
        lines << line;
    }
    if (lines.isEmpty()) {
        return {QStringLiteral("No outages in %1.").arg(span)};
    }
    lines.prepend(QStringLiteral("Outages in %1:").arg(span));
    return lines;
}

void WriteListWatchEnd(const TPingRunInput &input, const TPingRunTargets &targets,
                       const TListWatch &watch, const QDateTime &started, qint64 watched) {
    TPingRunTargets begun = targets;
    begun.Now = [started] { return started; };
    for (int i = 0; i < watch.Count(); ++i) {
        const TWatchedAddress &address = watch.At(i);
        TPingRunInput one = input;
        one.PingAddress = address.Address;
        begun.AddressEditText = [text = address.Address] { return text; };
        WritePingRunStart(one, begun);
        if (!address.Failure.isEmpty()) {
            // Its requests ended with the error; what it made before still counts below.
            WriteReport(TResultTarget{targets.DebugMemo, input.DebugColor}, address.Failure);
        }
        WritePingStatistics(one, begun, address.Figures);
    }
    const TResultTarget pane{targets.DebugMemo, input.DebugColor};
    const TResultBatch batch(targets.DebugMemo);
    for (const QString &line : WatchOutageLines(watch, watched)) {
        WriteReport(pane, line);
    }
    WriteReport(pane, QString());
}

QString WatchStateName(TWatchState state) {
    switch (state) {
        case TWatchState::Up:
            return QStringLiteral("up");
        case TWatchState::Down:
            return QStringLiteral("down");
        case TWatchState::Unknown:
            break;
    }
    return QStringLiteral("unknown");
}

QString WatchAddressCountText(int count) {
    return QStringLiteral("%1 address%2").arg(count).arg(count == 1 ? "" : "es");
}

TWatchNotice WatchChangesNotice(const TListWatch &watch, const std::vector<TWatchChange> &changes) {
    const int count = watch.Count();
    const int downNow = watch.DownCount();
    const QString tally =
        downNow == 0 ? QStringLiteral("All %1 watched are up.").arg(WatchAddressCountText(count))
                     : QStringLiteral("%1 of %2 watched down.")
                           .arg(downNow)
                           .arg(WatchAddressCountText(count));
    if (changes.size() == 1) {
        const TWatchChange &change = changes.front();
        const TWatchedAddress &address = watch.At(change.Index);
        if (change.To == TWatchState::Down) {
            return {QStringLiteral("%1 is down").arg(address.Address),
                    QStringLiteral("No reply to %1 requests in a row. %2")
                        .arg(address.MissedInRow)
                        .arg(tally),
                    true};
        }
        return {QStringLiteral("%1 is up again").arg(address.Address),
                QStringLiteral("After %1 down. %2").arg(WatchDurationText(change.Outage), tally),
                false};
    }
    QStringList down;
    QStringList up;
    for (const TWatchChange &change : changes) {
        (change.To == TWatchState::Down ? down : up) << watch.At(change.Index).Address;
    }
    // A notice has room for a few names; hundreds at once are counted.
    const auto names = [](const QStringList &addresses) {
        constexpr int kNamed = 3;
        QString text = addresses.mid(0, kNamed).join(QStringLiteral(", "));
        if (addresses.size() > kNamed) {
            text += QStringLiteral(" and %1 more").arg(addresses.size() - kNamed);
        }
        return text;
    };
    QStringList parts;
    if (!down.isEmpty()) {
        parts << QStringLiteral("Down: %1.").arg(names(down));
    }
    if (!up.isEmpty()) {
        parts << QStringLiteral("Up again: %1.").arg(names(up));
    }
    parts << tally;
    return {QStringLiteral("%1 watched addresses changed").arg(changes.size()),
            parts.join(QLatin1Char(' ')), !down.isEmpty()};
}
