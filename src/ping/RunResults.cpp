#include "ping/RunResults.h"

#include <arpa/inet.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

#include "common/Errors.h"
#include "ping/EchoFamily.h"
#include "ping/PingFigures.h"
#include "ping/PingStatus.h"

namespace {

// Status 11010: the request went out and nothing came back; the reply's address is then the
// address the request went to.
constexpr qint32 kTimedOut = 11010;

QString LiteralAddress(const QString &target) {
    if (!ResolvesWithoutLookup(target)) {
        return QString();
    }
    const std::optional<TEchoTarget> resolved = ResolveEchoTarget(target);
    if (!resolved) {
        return QString();
    }
    if (resolved->Raw.size() == 16) {
        return Ipv6AddressText(resolved->Raw);
    }
    char text[INET_ADDRSTRLEN] = {};
    if (resolved->Raw.size() != 4 ||
        inet_ntop(AF_INET, resolved->Raw.constData(), text, sizeof(text)) == nullptr) {
        return QString();
    }
    return QString::fromLatin1(text);
}

QJsonValue OrNull(const QString &text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// Trip times keep their microseconds and no more, so that a reply's 0.042 ms reads 0.042 and
// not 0.042000000000000003.
double Milliseconds(double value) {
    return std::round(value * 1000.0) / 1000.0;
}

QString MillisecondsText(double value) {
    return QString::number(Milliseconds(value), 'f', 3);
}

QString StartedText(const QDateTime &started) {
    return started.isValid()
               ? started.toOffsetFromUtc(started.offsetFromUtc()).toString(Qt::ISODateWithMs)
               : QString();
}

bool IsReply(const std::optional<TPingReply> &reply) {
    const TReplyKind kind = ClassifyReply(reply);
    return kind == TReplyKind::Received || kind == TReplyKind::ReceivedFast;
}

// A ping as its JSON and CSV tell it: a name that did not resolve sent nothing, so it has no
// replies to count and the error says why, whatever the pane's lines made of it.
struct TPingTold {
    const std::vector<std::optional<TPingReply>> *Replies;
    QString Error;
};

TPingTold PingTold(const TRunResult &run) {
    static const std::vector<std::optional<TPingReply>> none;
    if (PingNameUnresolved(run)) {
        return {&none, run.Error.isEmpty() ? QString::fromLatin1(kNameDoesNotResolve) : run.Error};
    }
    return {&run.Replies, run.Error};
}

TPingFigures FiguresOf(const TRunResult &run, const TPingTold &told) {
    if (run.Figures) {
        return *run.Figures;
    }
    TPingFigures figures;
    for (const std::optional<TPingReply> &reply : *told.Replies) {
        figures.Add(reply);
    }
    return figures;
}

QString WatchTimeText(const QDateTime &started, qint64 at) {
    return StartedText(started.isValid() ? started.addMSecs(at) : started);
}

QJsonObject OutageObject(const QDateTime &started, qint64 start, std::optional<qint64> end,
                         qint64 watched) {
    QJsonObject object;
    object.insert(QStringLiteral("start"), OrNull(WatchTimeText(started, start)));
    object.insert(QStringLiteral("end"), end ? OrNull(WatchTimeText(started, *end)) : QJsonValue());
    object.insert(QStringLiteral("duration_ms"), qMax<qint64>(0, end.value_or(watched) - start));
    return object;
}

// What the watch of an address went through: its state at the end, every outage counted, the
// outages and changes kept (times of day as "started" gives them), and how many changes were not
// kept.
QJsonObject WatchObject(const QDateTime &started, const TWatchResult &watch) {
    const bool down = watch.State == TWatchState::Down;
    const qint64 current = down ? qMax<qint64>(0, watch.WatchedMs - watch.DownSince) : 0;
    QJsonObject object;
    object.insert(QStringLiteral("interval_ms"), watch.IntervalMs);
    object.insert(QStringLiteral("down_after"), watch.DownAfter);
    object.insert(QStringLiteral("watched_ms"), watch.WatchedMs);
    object.insert(QStringLiteral("state"), WatchStateName(watch.State));
    object.insert(QStringLiteral("outage_count"), watch.Outages + (down ? 1 : 0));
    object.insert(QStringLiteral("outage_total_ms"), watch.OutageTotalMs + current);
    object.insert(QStringLiteral("longest_outage_ms"), qMax(watch.LongestOutageMs, current));
    QJsonArray outages;
    QJsonArray changes;
    for (const TWatchEvent &event : watch.Changes) {
        if (event.From == TWatchState::Down && event.To == TWatchState::Up) {
            outages.append(OutageObject(started, event.OutageStart, event.At, watch.WatchedMs));
        }
        QJsonObject change;
        change.insert(QStringLiteral("at"), OrNull(WatchTimeText(started, event.At)));
        change.insert(QStringLiteral("from"), WatchStateName(event.From));
        change.insert(QStringLiteral("to"), WatchStateName(event.To));
        changes.append(change);
    }
    if (down) {
        outages.append(OutageObject(started, watch.DownSince, std::nullopt, watch.WatchedMs));
    }
    object.insert(QStringLiteral("outages"), outages);
    object.insert(QStringLiteral("changes"), changes);
    object.insert(QStringLiteral("changes_left_out"), watch.ChangesLeftOut);
    return object;
}

// A trip-time figure of `figures`: null while nothing was received.
QJsonValue FigureMs(const TPingFigures &figures, double value) {
    return figures.PacketsReceived > 0 ? QJsonValue(Milliseconds(value)) : QJsonValue();
}

QJsonObject ReplyObject(int seq, const std::optional<TPingReply> &reply) {
    QJsonObject object;
    object.insert(QStringLiteral("seq"), seq);
    const bool received = IsReply(reply);
    if (reply && reply->StatusCode) {
        object.insert(QStringLiteral("status"), *reply->StatusCode);
        object.insert(QStringLiteral("status_text"), PingStatus(*reply->StatusCode));
    } else {
        object.insert(QStringLiteral("status"), QJsonValue());
        // A null status is a request that could not be made at all (the name did not resolve).
        object.insert(
            QStringLiteral("status_text"),
            reply ? QJsonValue(QStringLiteral("Error processing request")) : QJsonValue());
    }
    object.insert(QStringLiteral("time_ms"),
                  received ? QJsonValue(Milliseconds(TripMilliseconds(*reply))) : QJsonValue());
    object.insert(QStringLiteral("ttl"),
                  received ? QJsonValue(static_cast<qint64>(reply->TimeToLive)) : QJsonValue());
    object.insert(QStringLiteral("bytes"),
                  received ? QJsonValue(static_cast<qint64>(reply->ReplySize)) : QJsonValue());
    object.insert(QStringLiteral("from"), reply ? OrNull(reply->ProtocolAddress) : QJsonValue());
    return object;
}

QJsonObject StatisticsObject(const TPingFigures &f) {
    const auto ms = [&f](double value) { return FigureMs(f, value); };
    QJsonObject object;
    object.insert(QStringLiteral("sent"), f.Sent);
    object.insert(QStringLiteral("received"), f.PacketsReceived);
    object.insert(QStringLiteral("lost"), f.Lost());
    object.insert(QStringLiteral("loss_percent"), f.LossPercent());
    object.insert(QStringLiteral("min_ms"), ms(f.Fine.Minimum));
    object.insert(QStringLiteral("max_ms"), ms(f.Fine.Maximum));
    object.insert(QStringLiteral("avg_ms"), ms(f.FineAverage()));
    object.insert(QStringLiteral("jitter_ms"), ms(f.FineJitter()));
    return object;
}

QJsonObject HopObject(int ttl, const TTraceHop &hop) {
    QJsonObject object;
    object.insert(QStringLiteral("hop"), ttl);
    QJsonArray addresses;
    for (int i = 0; i < hop.Addresses.size(); ++i) {
        QJsonObject address;
        address.insert(QStringLiteral("address"), hop.Addresses.at(i));
        address.insert(QStringLiteral("name"), OrNull(hop.Names.value(i)));
        addresses.append(address);
    }
    object.insert(QStringLiteral("addresses"), addresses);
    object.insert(QStringLiteral("status"), hop.Status ? QJsonValue(*hop.Status) : QJsonValue());
    object.insert(QStringLiteral("status_text"),
                  hop.Status ? QJsonValue(PingStatus(*hop.Status)) : QJsonValue());
    const TPingFigures &f = hop.Figures;
    const auto ms = [&f](double value) { return FigureMs(f, value); };
    object.insert(QStringLiteral("sent"), f.Sent);
    object.insert(QStringLiteral("received"), f.PacketsReceived);
    object.insert(QStringLiteral("lost"), f.Lost());
    object.insert(QStringLiteral("loss_percent"), f.LossPercent());
    object.insert(QStringLiteral("last_ms"),
                  f.Fine.Last ? QJsonValue(Milliseconds(*f.Fine.Last)) : QJsonValue());
    object.insert(QStringLiteral("avg_ms"), ms(f.FineAverage()));
    object.insert(QStringLiteral("best_ms"), ms(f.Fine.Minimum));
    object.insert(QStringLiteral("worst_ms"), ms(f.Fine.Maximum));
    object.insert(QStringLiteral("jitter_ms"), ms(f.FineJitter()));
    return object;
}

QString RunAddress(const TRunResult &run) {
    return run.Kind == TRunResult::TKind::Trace ? run.Resolved : PingResultAddress(run);
}

QJsonObject RunObject(const TRunResult &run) {
    const bool trace = run.Kind == TRunResult::TKind::Trace;
    const QString address = RunAddress(run);
    QJsonObject object;
    object.insert(QStringLiteral("kind"), trace ? QStringLiteral("trace") : QStringLiteral("ping"));
    object.insert(QStringLiteral("target"), run.Target);
    object.insert(QStringLiteral("address"), OrNull(address));
    object.insert(QStringLiteral("family"), OrNull(AddressFamilyName(address)));
    object.insert(QStringLiteral("started"), OrNull(StartedText(run.Started)));
    object.insert(QStringLiteral("bytes"), run.Echo.BufferSize);
    object.insert(QStringLiteral("timeout_ms"), run.Echo.TimeOut);
    const TPingTold told = PingTold(run);
    object.insert(QStringLiteral("error"), OrNull(trace ? run.Error : told.Error));
    if (trace) {
        object.insert(QStringLiteral("rounds"), run.Rounds);
        object.insert(QStringLiteral("reached"), run.Hops && run.Hops->Reached());
        QJsonArray hops;
        for (int ttl = 1; run.Hops && ttl <= run.Hops->Count(); ++ttl) {
            hops.append(HopObject(ttl, run.Hops->Hop(ttl)));
        }
        object.insert(QStringLiteral("hops"), hops);
        return object;
    }
    QJsonArray replies;
    for (std::size_t i = 0; i < told.Replies->size(); ++i) {
        replies.append(ReplyObject(static_cast<int>(i) + 1, (*told.Replies)[i]));
    }
    object.insert(QStringLiteral("replies"), replies);
    object.insert(QStringLiteral("statistics"), StatisticsObject(FiguresOf(run, told)));
    if (run.Watch) {
        object.insert(QStringLiteral("watch"), WatchObject(run.Started, *run.Watch));
    }
    return object;
}

QString Number(qint64 value) {
    return QString::number(value);
}

}  // namespace

void TWatchLog::Reset(int count) {
    addresses_.assign(static_cast<std::size_t>(qMax(0, count)), TAddressLog());
}

void TWatchLog::Changed(const TWatchChange &change, const TWatchedAddress &address) {
    if (change.Index < 0 || static_cast<std::size_t>(change.Index) >= addresses_.size()) {
        return;
    }
    TAddressLog &log = addresses_[static_cast<std::size_t>(change.Index)];
    TWatchEvent event;
    event.At = address.LastChange;
    event.From = change.From;
    event.To = change.To;
    event.OutageStart =
        change.To == TWatchState::Down ? address.DownSince : address.LastChange - change.Outage;
    log.Changes.push_back(event);
    if (log.Changes.size() > static_cast<std::size_t>(kWatchChangesKept)) {
        log.Changes.pop_front();
        ++log.LeftOut;
    }
}

const std::deque<TWatchEvent> &TWatchLog::Changes(int index) const {
    static const std::deque<TWatchEvent> none;
    return index >= 0 && static_cast<std::size_t>(index) < addresses_.size()
               ? addresses_[static_cast<std::size_t>(index)].Changes
               : none;
}

qint64 TWatchLog::LeftOut(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < addresses_.size()
               ? addresses_[static_cast<std::size_t>(index)].LeftOut
               : 0;
}

std::vector<TRunResult> WatchedListResults(const TListWatch &watch, const TWatchLog &log,
                                           const TEchoParameters &echo, int intervalMs,
                                           const QDateTime &started, qint64 watchedMs) {
    std::vector<TRunResult> runs;
    runs.reserve(static_cast<std::size_t>(watch.Count()));
    for (int i = 0; i < watch.Count(); ++i) {
        const TWatchedAddress &address = watch.At(i);
        TRunResult run;
        run.Target = address.Address;
        run.Echo = echo;
        run.Started = started;
        run.Error = address.Failure;
        run.Figures = address.Figures;
        TWatchResult result;
        result.IntervalMs = intervalMs;
        result.DownAfter = watch.DownAfter();
        result.WatchedMs = watchedMs;
        result.State = address.State;
        result.DownSince = address.DownSince;
        result.Outages = address.Outages;
        result.OutageTotalMs = address.OutageTotal;
        result.LongestOutageMs = address.LongestOutage;
        const std::deque<TWatchEvent> &changes = log.Changes(i);
        result.Changes.assign(changes.begin(), changes.end());
        result.ChangesLeftOut = log.LeftOut(i);
        run.Watch = std::move(result);
        runs.push_back(std::move(run));
    }
    return runs;
}

TRunResult PingResult(const QString &target, const TEchoParameters &echo,
                      const TPingRecord &record) {
    TRunResult run;
    run.Target = target;
    run.Echo = echo;
    run.Started = record.Started;
    run.Replies = record.Replies;
    if (record.Failure) {
        try {
            std::rethrow_exception(record.Failure);
        } catch (const std::exception &error) {
            run.Error = ErrorText(error);
        } catch (...) {
            run.Error = QStringLiteral("The run failed.");
        }
    }
    return run;
}

QString PingResultAddress(const TRunResult &run) {
    const QString literal = LiteralAddress(run.Target);
    if (!literal.isEmpty()) {
        return literal;
    }
    for (const std::optional<TPingReply> &reply : run.Replies) {
        if (reply && reply->StatusCode &&
            (*reply->StatusCode == 0 || *reply->StatusCode == kTimedOut)) {
            return reply->ProtocolAddress;
        }
    }
    return run.Figures ? run.Figures->ReplyAddress : QString();
}

QString AddressFamilyName(const QString &address) {
    if (address.isEmpty()) {
        return QString();
    }
    return address.contains(QLatin1Char(':')) ? QStringLiteral("IPv6") : QStringLiteral("IPv4");
}

bool PingNameUnresolved(const TRunResult &run) {
    if (run.Kind != TRunResult::TKind::Ping || run.Replies.empty()) {
        return false;
    }
    for (const std::optional<TPingReply> &reply : run.Replies) {
        if (!reply || reply->StatusCode) {
            return false;
        }
    }
    return true;
}

bool RunAnswered(const TRunResult &run) {
    if (run.Kind == TRunResult::TKind::Trace) {
        return run.Hops && run.Hops->Reached();
    }
    for (const std::optional<TPingReply> &reply : run.Replies) {
        if (IsReply(reply)) {
            return true;
        }
    }
    return run.Figures && run.Figures->PacketsReceived > 0;
}

QByteArray RunResultsJson(const std::vector<TRunResult> &runs) {
    QJsonArray array;
    for (const TRunResult &run : runs) {
        array.append(RunObject(run));
    }
    return ResultsJsonDocument(array);
}

QByteArray ResultsJsonDocument(const QJsonArray &array) {
    QJsonObject document;
    document.insert(QStringLiteral("program"), QStringLiteral("Tarvex"));
    document.insert(QStringLiteral("version"), QStringLiteral("1.0.0.1"));
    document.insert(QStringLiteral("runs"), array);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QStringList RunResultsCsvHeader() {
    return {QStringLiteral("kind"),     QStringLiteral("target"),       QStringLiteral("address"),
            QStringLiteral("family"),   QStringLiteral("started"),      QStringLiteral("seq"),
            QStringLiteral("status"),   QStringLiteral("status_text"),  QStringLiteral("time_ms"),
            QStringLiteral("ttl"),      QStringLiteral("bytes"),        QStringLiteral("from"),
            QStringLiteral("hop"),      QStringLiteral("name"),         QStringLiteral("sent"),
            QStringLiteral("received"), QStringLiteral("loss_percent"), QStringLiteral("avg_ms"),
            QStringLiteral("best_ms"),  QStringLiteral("worst_ms"),     QStringLiteral("jitter_ms"),
            QStringLiteral("run"),      QStringLiteral("error")};
}

QByteArray CsvRow(const QStringList &fields) {
    QByteArray row;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            row += ',';
        }
        QString field = fields.at(i);
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
            field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            field = QLatin1Char('"') + field + QLatin1Char('"');
        }
        row += field.toUtf8();
    }
    row += "\r\n";
    return row;
}

QByteArray RunResultsCsv(const std::vector<TRunResult> &runs) {
    QByteArray table = CsvRow(RunResultsCsvHeader());
    const int columns = static_cast<int>(RunResultsCsvHeader().size());
    qint64 number = 0;
    for (const TRunResult &run : runs) {
        const bool trace = run.Kind == TRunResult::TKind::Trace;
        const QString address = RunAddress(run);
        const QStringList common = {trace ? QStringLiteral("trace") : QStringLiteral("ping"),
                                    run.Target, address, AddressFamilyName(address),
                                    StartedText(run.Started)};
        const TPingTold told = PingTold(run);
        // Closes every row of the run.
        const QStringList end = {Number(++number), trace ? run.Error : told.Error};
        if (!trace) {
            const std::vector<std::optional<TPingReply>> &replies = *told.Replies;
            if (replies.empty() && !told.Error.isEmpty()) {
                QStringList row = common;
                while (row.size() < columns - end.size()) {
                    row << QString();
                }
                table += CsvRow(row + end);
            }
            for (std::size_t i = 0; i < replies.size(); ++i) {
                const std::optional<TPingReply> &reply = replies[i];
                const bool received = IsReply(reply);
                QStringList row = common;
                row << Number(static_cast<qint64>(i) + 1);
                if (reply && reply->StatusCode) {
                    row << Number(*reply->StatusCode) << PingStatus(*reply->StatusCode);
                } else {
                    row << QString()
                        << (reply ? QStringLiteral("Error processing request") : QString());
                }
                row << (received ? MillisecondsText(TripMilliseconds(*reply)) : QString())
                    << (received ? Number(reply->TimeToLive) : QString())
                    << (received ? Number(reply->ReplySize) : QString())
                    << (reply ? reply->ProtocolAddress : QString());
                while (row.size() < columns - end.size()) {
                    row << QString();
                }
                table += CsvRow(row + end);
            }
            continue;
        }
        // A trace that sent nothing (its name did not resolve) has its error only.
        if ((!run.Hops || run.Hops->Count() == 0) && !run.Error.isEmpty()) {
            QStringList row = common;
            while (row.size() < columns - end.size()) {
                row << QString();
            }
            table += CsvRow(row + end);
        }
        for (int ttl = 1; run.Hops && ttl <= run.Hops->Count(); ++ttl) {
            const TTraceHop &hop = run.Hops->Hop(ttl);
            const TPingFigures &f = hop.Figures;
            const bool any = f.PacketsReceived > 0;
            const auto ms = [any](double value) {
                return any ? MillisecondsText(value) : QString();
            };
            // One row per address that answered for the hop; a hop nobody answered for has one
            // row without address.
            const int rows = qMax(1, static_cast<int>(hop.Addresses.size()));
            for (int i = 0; i < rows; ++i) {
                QStringList row = common;
                row << QString() << (hop.Status ? Number(*hop.Status) : QString())
                    << (hop.Status ? PingStatus(*hop.Status) : QString())
                    << (f.Fine.Last ? MillisecondsText(*f.Fine.Last) : QString()) << QString()
                    << QString() << hop.Addresses.value(i) << Number(ttl) << hop.Names.value(i)
                    << Number(f.Sent) << Number(f.PacketsReceived) << Number(f.LossPercent())
                    << ms(f.FineAverage()) << ms(f.Fine.Minimum) << ms(f.Fine.Maximum)
                    << ms(f.FineJitter());
                table += CsvRow(row + end);
            }
        }
    }
    return table;
}
