#include "ping/TraceRun.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QSet>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/AddressRuns.h"
#include "ping/EchoFamily.h"
#include "ping/PingRun.h"
#include "ping/PingStatus.h"
#include "ping/ProbeEngine.h"

namespace {

constexpr qint32 kTimeExceeded = 11013;
constexpr qint32 kTimedOut = 11010;

// True for the answers that end a route: the target's own reply, and a router or the target
// saying that the target cannot be reached.
bool EndsRoute(qint32 status) {
    return status == 0 || (status >= 11002 && status <= 11005);
}

// True for every answer of a hop: a router's "time exceeded" and whatever ends the route.
bool Answered(qint32 status) {
    return status == kTimeExceeded || EndsRoute(status);
}

// The name of an address from the name service (its PTR record); "" when it has none.
QString NameOf(const QString &address) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const QByteArray text = address.toLatin1();
    if (auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof(sockaddr_in);
    } else if (auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
               inet_pton(AF_INET6, text.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof(sockaddr_in6);
    } else {
        return QString();
    }
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&storage), length, host, sizeof host,
                    nullptr, 0, NI_NAMEREQD) != 0) {
        return QString();
    }
    return QString::fromLocal8Bit(host);
}

}  // namespace

// Name look-ups of a trace, which may wait seconds for a name server that does not answer: each
// runs on a thread of its own (at most kResolverThreads at once) that nothing ever waits for, so
// neither a round nor the end of the trace is held up by one. What a look-up found is handed to
// the engine thread, unless the trace is gone by then.
class TTraceLookups final {
  public:
    // Work that runs off the engine thread and returns what is to run on it.
    using TWork = std::function<std::function<void()>()>;

    explicit TTraceLookups(TProbeEngine &engine) : shared_(std::make_shared<TShared>()) {
        shared_->Engine = &engine;
    }
    // From now on nothing reaches the engine; look-ups under way end on their own.
    ~TTraceLookups() {
        std::lock_guard<std::mutex> lock(shared_->Mutex);
        shared_->Engine = nullptr;
        shared_->Queue.clear();
    }
    TTraceLookups(const TTraceLookups &) = delete;
    TTraceLookups &operator=(const TTraceLookups &) = delete;

    void Submit(TWork work) {
        std::lock_guard<std::mutex> lock(shared_->Mutex);
        shared_->Queue.push_back(std::move(work));
        if (shared_->Threads < kResolverThreads) {
            ++shared_->Threads;
            std::thread([shared = shared_] { Work(*shared); }).detach();
        }
    }

  private:
    struct TShared {
        std::mutex Mutex;
        TProbeEngine *Engine = nullptr;
        std::deque<TWork> Queue;
        int Threads = 0;
    };

    static void Work(TShared &shared) {
        std::unique_lock<std::mutex> lock(shared.Mutex);
        while (!shared.Queue.empty()) {
            TWork work = std::move(shared.Queue.front());
            shared.Queue.pop_front();
            lock.unlock();
            std::function<void()> found = work();
            lock.lock();
            if (found && shared.Engine != nullptr) {
                shared.Engine->Post(std::move(found));
            }
        }
        --shared.Threads;
    }

    std::shared_ptr<TShared> shared_;
};

namespace {

// Right-aligns `text` in `width` characters.
QString Column(const QString &text, int width) {
    return text.rightJustified(width, QLatin1Char(' '));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Hops

TTraceHops::TTraceHops(int maxHops) : hops_(static_cast<std::size_t>(qBound(1, maxHops, 255))) {}

void TTraceHops::Sent(int ttl) {
    if (ttl >= 1 && ttl <= MaxHops() && (end_ == 0 || ttl <= end_)) {
        ++hops_[static_cast<std::size_t>(ttl - 1)].InFlight;
    }
}

bool TTraceHops::Add(int ttl, const TPingReply &reply) {
    if (ttl < 1 || ttl > MaxHops() || (end_ != 0 && ttl > end_)) {
        return false;
    }
    TTraceHop &hop = hops_[static_cast<std::size_t>(ttl - 1)];
    hop.InFlight = qMax(0, hop.InFlight - 1);
    const qint32 status = reply.StatusCode.value_or(-1);
    if (!Answered(status)) {
        hop.Figures.Add(reply);
        // Silence after an answer does not undo what the hop is; before one, it is all there is.
        if (!hop.Status || !Answered(*hop.Status)) {
            hop.Status = reply.StatusCode;
        }
        return true;
    }
    hop.Status = status;
    if (!reply.ProtocolAddress.isEmpty() && !hop.Addresses.contains(reply.ProtocolAddress)) {
        hop.Addresses << reply.ProtocolAddress;
        hop.Names << QString();
    }
    // Every answer is a reply of this hop, with the time it took.
    TPingReply counted = reply;
    counted.StatusCode = 0;
    hop.Figures.Add(counted);
    if (EndsRoute(status) && (end_ == 0 || ttl < end_)) {
        end_ = ttl;
        reached_ = status == 0;
        // What was heard past the end came from probes that outran the answer; it is not part of
        // the route.
        for (std::size_t i = static_cast<std::size_t>(ttl); i < hops_.size(); ++i) {
            hops_[i] = TTraceHop();
        }
    } else if (status == 0 && ttl == end_) {
        reached_ = true;
    }
    return true;
}

void TTraceHops::ForgetInFlight() {
    for (TTraceHop &hop : hops_) {
        hop.InFlight = 0;
    }
}

void TTraceHops::SetName(const QString &address, const QString &name) {
    for (TTraceHop &hop : hops_) {
        const int at = static_cast<int>(hop.Addresses.indexOf(address));
        if (at >= 0) {
            hop.Names[at] = name;
        }
    }
}

int TTraceHops::Count() const {
    if (end_ != 0) {
        return end_;
    }
    for (int ttl = MaxHops(); ttl >= 1; --ttl) {
        const TTraceHop &hop = Hop(ttl);
        if (hop.Figures.Sent > 0 || hop.InFlight > 0) {
            return ttl;
        }
    }
    return 0;
}

int TTraceHops::LastAnswered() const {
    for (int ttl = Count(); ttl >= 1; --ttl) {
        if (!Hop(ttl).Addresses.isEmpty() || Hop(ttl).Figures.PacketsReceived > 0) {
            return ttl;
        }
    }
    return 0;
}

int TTraceHops::SilentFrom() const {
    const int last = LastAnswered();
    return end_ == 0 && last < Count() ? last + 1 : 0;
}

int TTraceHops::Rows() const {
    const int silent = SilentFrom();
    return silent != 0 ? silent : Count();
}

int TTraceHops::RowEnd(int row) const {
    return row == SilentFrom() ? Count() : row;
}

// ---------------------------------------------------------------------------------------------
// The run

class TTraceRun::TState final : public std::enable_shared_from_this<TState> {
  public:
    TState(const TTraceInput &input, TTraceCallbacks callbacks, TProbeEngine &engine,
           TTraceLookups &names)
        : input_(input), callbacks_(std::move(callbacks)), engine_(engine), names_(names) {}

    // Engine thread.
    void Begin() {
        if (ResolvesWithoutLookup(input_.Address)) {
            Resolved(ResolveEchoTarget(input_.Address));
            return;
        }
        names_.Submit([state = shared_from_this()]() -> std::function<void()> {
            std::optional<TEchoTarget> target = ResolveEchoTarget(state->input_.Address);
            return [state, target] { state->Resolved(target); };
        });
    }

    // Engine thread.
    void Stop() {
        if (finished_) {
            return;
        }
        stopping_ = true;
        Finish(nullptr);
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        finishedChanged_.wait(lock, [this] { return waitOver_; });
    }

  private:
    void Resolved(const std::optional<TEchoTarget> &target) {
        if (finished_) {
            return;
        }
        if (!target) {
            Finish(std::make_exception_ptr(TxError(
                QStringLiteral("Unable to resolve target system name %1.").arg(input_.Address))));
            return;
        }
        try {
            engine_.CheckFamily(*target->Family);
        } catch (...) {
            Finish(std::current_exception());
            return;
        }
        target_ = target;
        if (callbacks_.Resolved) {
            callbacks_.Resolved(target->Family->AddressText(target->Raw));
        }
        Round();
    }

    void Round() {
        roundTimer_ = 0;
        if (finished_ || stopping_) {
            return;
        }
        if (input_.Rounds > 0 && round_ >= input_.Rounds) {
            return;  // the last round's probes finish the trace
        }
        const int round = ++round_;
        const int ttls = end_ != 0 ? end_ : qBound(1, input_.MaxHops, 255);
        const int interval = qMax(1, input_.Interval);
        if (callbacks_.RoundStarted) {
            callbacks_.RoundStarted(round, ttls);
        }
        // The probes of a round leave one by one, spread over the round as mtr spreads them,
        // not in one burst: behind the first probe of a burst the others find the system's
        // path warm and come back in a fraction of the time a lone request takes (on a chain of
        // namespaces, 18 us against 100 us), so the far hops and the target would read faster
        // than a ping of the same address. Spread out, each probe goes as a ping's request goes.
        for (int ttl = 1; ttl <= ttls; ++ttl) {
            const qint64 at = static_cast<qint64>(ttl - 1) * interval / ttls;
            ++toSend_;
            if (at == 0) {
                SendProbe(round, ttl);
                continue;
            }
            const quint64 timer = engine_.After(at, [state = shared_from_this(), round, ttl] {
                state->sendTimers_.erase(ProbeKey(round, ttl));
                state->SendProbe(round, ttl);
            });
            sendTimers_[ProbeKey(round, ttl)] = timer;
        }
        roundTimer_ = engine_.After(interval, [state = shared_from_this()] { state->Round(); });
    }

    void SendProbe(int round, int ttl) {
        --toSend_;
        // Past an end found since the round began there is nothing more to learn.
        if (finished_ || (end_ != 0 && ttl > end_)) {
            FinishIfDone();
            return;
        }
        TProbeRequest probe;
        probe.Target = *target_;
        probe.PayloadSize = input_.Echo.BufferSize;
        probe.TimeToLive = static_cast<quint16>(ttl);
        probe.TimeOutMs = input_.Echo.TimeOut;
        ++inFlight_;
        if (callbacks_.ProbeSent) {
            callbacks_.ProbeSent(round, ttl);
        }
        engine_.Send(probe, [state = shared_from_this(), round, ttl](const TPingReply &reply) {
            state->Probed(round, ttl, reply);
        });
    }

    static qint64 ProbeKey(int round, int ttl) { return static_cast<qint64>(round) * 256 + ttl; }

    // A trace of a fixed number of rounds ends with the last outcome of its last round.
    void FinishIfDone() {
        if (input_.Rounds > 0 && round_ >= input_.Rounds && inFlight_ == 0 && toSend_ == 0) {
            Finish(nullptr);
        }
    }

    void Probed(int round, int ttl, const TPingReply &reply) {
        --inFlight_;
        if (finished_) {
            return;
        }
        const qint32 status = reply.StatusCode.value_or(-1);
        if (EndsRoute(status) && (end_ == 0 || ttl < end_)) {
            end_ = ttl;
        }
        if (callbacks_.Probed) {
            callbacks_.Probed(round, ttl, reply);
        }
        const QString &from = reply.ProtocolAddress;
        if (Answered(status) && !from.isEmpty() && !looked_.contains(from)) {
            looked_.insert(from);
            names_.Submit([state = shared_from_this(), from]() -> std::function<void()> {
                const QString name =
                    state->input_.LookUpName ? state->input_.LookUpName(from) : NameOf(from);
                if (name.isEmpty()) {
                    return {};
                }
                return [state, from, name] {
                    if (!state->finished_ && state->callbacks_.Named) {
                        state->callbacks_.Named(from, name);
                    }
                };
            });
        }
        FinishIfDone();
    }

    void Finish(std::exception_ptr failure) {
        if (finished_) {
            return;
        }
        finished_ = true;
        if (roundTimer_ != 0) {
            engine_.Cancel(roundTimer_);
            roundTimer_ = 0;
        }
        for (const auto &[probe, timer] : sendTimers_) {
            engine_.Cancel(timer);
        }
        sendTimers_.clear();
        if (callbacks_.Finished) {
            callbacks_.Finished(failure);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        waitOver_ = true;
        finishedChanged_.notify_all();
    }

    const TTraceInput input_;
    const TTraceCallbacks callbacks_;
    TProbeEngine &engine_;
    TTraceLookups &names_;

    // Engine thread only.
    std::optional<TEchoTarget> target_;
    int round_ = 0;
    int end_ = 0;
    int inFlight_ = 0;
    int toSend_ = 0;  // probes of the rounds begun that have not left yet
    quint64 roundTimer_ = 0;
    // The timers of the probes waiting for their moment, by ProbeKey.
    std::unordered_map<qint64, quint64> sendTimers_;
    bool stopping_ = false;
    bool finished_ = false;
    QSet<QString> looked_;  // addresses whose name was asked for

    std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool waitOver_ = false;
};

TTraceRun::TTraceRun(const TTraceInput &input, TTraceCallbacks callbacks) {
    service_ = OpenEchoService(input.Connect);
    engine_ = service_ ? service_->Engine() : nullptr;
    if (!engine_) {
        throw TxError(QStringLiteral("Tracing a route needs the system's ICMP sockets."));
    }
    names_ = std::make_unique<TTraceLookups>(*engine_);
    state_ = std::make_shared<TState>(input, std::move(callbacks), *engine_, *names_);
    engine_->Start();
    engine_->Post([state = state_] { state->Begin(); });
}

TTraceRun::~TTraceRun() {
    Stop();
    Wait();
    // Look-ups still under way are left to end on their own; nothing of them reaches the engine.
    names_.reset();
    service_.reset();
    engine_.reset();
}

void TTraceRun::Stop() {
    engine_->Post([state = state_] { state->Stop(); });
}

void TTraceRun::Wait() {
    state_->Wait();
}

// ---------------------------------------------------------------------------------------------
// The results block

TTripTexts HopTripTexts(const TPingFigures &f) {
    const bool any = f.PacketsReceived > 0;
    const auto ms = [any](double value) { return any ? TripText(value) : QStringLiteral("-"); };
    return {f.Fine.Last ? TripText(*f.Fine.Last) : QStringLiteral("-"), ms(f.FineAverage()),
            ms(f.Fine.Minimum), ms(f.Fine.Maximum), ms(f.FineJitter())};
}

QString HopStatusText(const TTraceHop &hop) {
    if (!hop.Status || *hop.Status == 0 || *hop.Status == kTimeExceeded ||
        *hop.Status == kTimedOut) {
        return QString();
    }
    return PingStatus(*hop.Status);
}

QString HopAddressText(const TTraceHop &hop, int index) {
    const QString &name = hop.Names.at(index);
    return name.isEmpty() ? hop.Addresses.at(index)
                          : QStringLiteral("%1 [%2]").arg(name, hop.Addresses.at(index));
}

QStringList TraceHopLines(const TTraceHops &hops) {
    constexpr int kAddressWidth = 32;
    // The hop number and the address take this many characters together, so that a folded
    // row's longer hop range shifts no figure.
    constexpr int kLeadWidth = 5 + kAddressWidth;
    QStringList lines;
    lines << QStringLiteral("Hop  ") + QStringLiteral("Address").leftJustified(kAddressWidth) +
                 Column(QStringLiteral("Sent"), 6) + Column(QStringLiteral("Loss"), 6) +
                 Column(QStringLiteral("Last"), 8) + Column(QStringLiteral("Avg"), 8) +
                 Column(QStringLiteral("Best"), 8) + Column(QStringLiteral("Worst"), 8) +
                 Column(QStringLiteral("Jitter"), 8);
    for (int ttl = 1; ttl <= hops.Rows(); ++ttl) {
        const TTraceHop &hop = hops.Hop(ttl);
        const TPingFigures &f = hop.Figures;
        const TTripTexts trips = HopTripTexts(f);
        const int last = hops.RowEnd(ttl);
        QString lead;
        if (last != ttl) {
            // Every hop of the folded row had the same probes, one a round, and none answered.
            lead = QStringLiteral("%1-%2  ???  no answer").arg(ttl).arg(last);
        } else {
            // A long name pushes the figures right rather than being cut.
            lead = Column(QString::number(ttl), 3) + QStringLiteral("  ") +
                   (hop.Addresses.isEmpty() ? QStringLiteral("???") : HopAddressText(hop, 0));
        }
        QString line = lead.leftJustified(kLeadWidth) + Column(QString::number(f.Sent), 6) +
                       Column(QString::number(f.LossPercent()) + QLatin1Char('%'), 6) +
                       Column(trips.Last, 8) + Column(trips.Average, 8) + Column(trips.Best, 8) +
                       Column(trips.Worst, 8) + Column(trips.Jitter, 8);
        const QString status = HopStatusText(hop);
        if (!status.isEmpty()) {
            line += QStringLiteral("  ") + status;
        }
        lines << line;
        for (int i = 1; i < hop.Addresses.size(); ++i) {
            lines << QStringLiteral("     ") + HopAddressText(hop, i);
        }
    }
    return lines;
}

QString TraceEndLine(const TTraceHops &hops) {
    if (hops.Reached()) {
        return QString();
    }
    const QString notReached = QStringLiteral("the target was not reached.");
    if (hops.End() != 0) {
        const TTraceHop &hop = hops.Hop(hops.End());
        const QString status = HopStatusText(hop);
        return QStringLiteral("%1 from %2 at hop %3: %4")
            .arg(status.isEmpty() ? PingStatus(hop.Status.value_or(kTimedOut)) : status,
                 hop.Addresses.value(0, QStringLiteral("???")))
            .arg(hops.End())
            .arg(notReached);
    }
    if (const int silent = hops.SilentFrom(); silent != 0) {
        return (silent == hops.Count() ? QStringLiteral("No answer from hop %1: ").arg(silent)
                                       : QStringLiteral("No answer from hop %1 to %2: ")
                                             .arg(silent)
                                             .arg(hops.Count())) +
               notReached;
    }
    if (hops.Count() == hops.MaxHops()) {
        return QStringLiteral("The target was not reached within %1 hops.").arg(hops.MaxHops());
    }
    return QStringLiteral("The target was not reached.");
}

void WriteTraceBlock(const TResultTarget &pane, const QString &address, const QString &resolved,
                     const QDateTime &started, const TTraceHops &hops, int rounds) {
    const TResultBatch batch(pane.Document);
    WriteReport(pane, PingHeaderLine(started));
    WriteReport(pane, QStringLiteral("Tracing route to %1 [%2] over a maximum of %3 hops:")
                          .arg(address, resolved)
                          .arg(hops.MaxHops()));
    WriteReport(pane, QString());
    // The hop table lines its columns up in the fixed-pitch font.
    TResultTarget table = pane;
    table.FixedPitch = true;
    for (const QString &line : TraceHopLines(hops)) {
        WriteReport(table, line);
    }
    WriteReport(pane, QString());
    if (const QString end = TraceEndLine(hops); !end.isEmpty()) {
        WriteReport(pane, end);
    }
    WriteReport(pane, QStringLiteral("Rounds: %1").arg(rounds));
}
