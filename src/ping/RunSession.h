#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "ping/EchoService.h"
#include "ping/ListRun.h"
#include "ping/PingRun.h"
#include "ping/TraceRun.h"

class TAddressRuns;
struct TAddressRunCallbacks;

// How the requests of a single run and of a list run's addresses follow each other: back to back
// by default, or every Interval ms (TListRunInput).
// At most Rate requests a second (0: no limit), spaced evenly.
struct TRunPace {
    int Interval = 0;
    TRequestCadence Cadence = TRequestCadence::AfterAnswer;
    int Rate = 0;
};

// One run at a time (the run model keeps a session per kind of run). A run goes through the probe
// engine (TAddressRuns), whose thread posts each outcome to the session's thread, where the signals
// are emitted; that thread never waits for a request and only writes what the signals bring.
//
// States: Idle -> Running (a Start call) -> Stopping (Stop: the request under way is finished,
// then the run ends with the statistics of what was sent) -> Idle (Finished). A run also ends by
// itself once its requests are made, or when it fails.
class TRunSession final : public QObject {
    Q_OBJECT

  public:
    enum class TState { Idle, Running, Stopping };
    enum class TKind { None, Single, Watch, List, ListWatch, Trace };

    explicit TRunSession(QObject *parent = nullptr);
    // Stops a run under way and waits for it (at most the request under way).
    ~TRunSession() override;
    TRunSession(const TRunSession &) = delete;
    TRunSession &operator=(const TRunSession &) = delete;

    // The echo service of the runs started from now on; unset: ConnectEchoService().
    void SetConnect(TEchoServiceFactory connect) { connect_ = std::move(connect); }
    // The clock (ms, monotonic) that paces the deliveries of a list watch's outcomes; unset:
    // std::chrono::steady_clock. Owner's thread.
    void SetDeliveryClock(std::function<qint64()> clock) { deliveryClock_ = std::move(clock); }

    using TPace = TRunPace;

    // Each Start returns false, and starts nothing, while a run is under way.
    // input.Echo.Retries requests to input.PingAddress: Replied for each, then Ended.
    bool StartSingle(const TPingRunInput &input, TPace pace = {});
    // Requests to input.PingAddress every `interval` ms until stopped: Replied for each, then
    // Ended once stopped.
    bool StartWatch(const TPingRunInput &input, int interval);
    // input.Echo.Retries requests to each address, up to `inFlight` addresses at once (1: one
    // after another): Recorded for each address in list order. A failed address ends the list
    // run after its record, which carries the error. Stopped, the addresses under way finish
    // their request and are recorded with what they sent; those not begun get no record.
    // With `stopAtFailure` false, the other addresses go on after a failed one.
    bool StartList(const TPingRunInput &input, const QStringList &addresses, int inFlight,
                   TPace pace = {}, bool stopAtFailure = true);
    // The same for a list run given whole: its addresses, Echo, InFlight, Ahead, Interval and
    // Cadence (UntilStopped is ignored: a list run ends by itself). Its requests go through the
    // session's echo service (SetConnect), whatever run.Connect holds.
    bool StartList(TListRunInput run, bool stopAtFailure = true);

    // Requests to every address of `addresses` every `interval` ms, all at once, until stopped,
    // at most `rate` a second (0: no limit): ListReplied for each request's outcome
    // (ListRequestsMade counts those made), ListFailed for an address whose requests ended with
    // an error (the others go on), then Ended once stopped.
    bool StartListWatch(const TPingRunInput &input, const QStringList &addresses, int interval,
                        int rate = 0);

    // Traces the route to input.Address in rounds until stopped (or input.Rounds): TraceResolved,
    // then TraceRound, TraceSent, TraceProbed and TraceNamed as they come, then Ended. A stop ends
    // it at once; probes still out are forgotten.
    bool StartTrace(TTraceInput input);

    // Asks the run under way to end after its current request(s).
    void Stop();
    // Ends the run under way (running or stopping) without waiting for the requests it has out:
    // their outcomes are forgotten, and it ends as a stopped run with what is in so far (Ended,
    // Finished), as soon as the signals before them are taken in. For a window that closes.
    void StopNow();

    TState State() const { return state_; }
    TKind Kind() const { return kind_; }
    bool IsIdle() const { return state_ == TState::Idle; }
    // The requests address `index` of the list watch under way (or last made) has made so far;
    // any thread.
    int ListRequestsMade(int index) const;

  signals:
    // A request of a single run or watch is made; its outcome follows in Replied.
    void Sending(int request);
    // The outcome of a request of a single run or watch.
    void Replied(int request, const std::optional<TPingReply> &reply);
    // A single run or watch has made its requests (stopped: it was asked to stop before the
    // last); the statistics follow.
    void Ended(bool stopped);
    // One address of a list run with the outcomes of its requests.
    void Recorded(int index, const QString &address, const TPingRecord &record);
    // The outcome of a request of address `index` of a list watch, made at `sentAt` (ms of the
    // monotonic clock: std::chrono::steady_clock, QElapsedTimer's msecsSinceReference), and the
    // error that ended the requests of an address.
    void ListReplied(int index, qint64 sentAt, const std::optional<TPingReply> &reply);
    void ListFailed(int index, const QString &message);
    // A trace's target resolved, a round of up to `ttls` probes began, a probe left, a probe's
    // outcome, and the name of a hop's address.
    void TraceResolved(const QString &resolved);
    void TraceRound(int round, int ttls);
    void TraceSent(int round, int ttl);
    void TraceProbed(int round, int ttl, const TPingReply &reply);
    void TraceNamed(const QString &address, const QString &name);
    // The run ended with an error: what was written stays, no statistics follow.
    void Failed(const QString &message);
    // Something the user should know about the run as a whole, once: requests had to wait for
    // room in the system's neighbour table (RoomWaitNotice).
    void Notice(const QString &text);
    // The run is over and the session idle again; always the last signal of a run.
    void Finished();

  private:
    // An outcome of a list watch on its way to the owner's thread: a request made (no reply) or
    // its outcome.
    struct TListOutcome {
        int Index = 0;
        qint64 SentAt = 0;
        std::optional<TPingReply> Reply;
    };

    bool Begin(TKind kind, TListRunInput run, bool stopAtFailure = true);
    // Engine thread: keeps an outcome of a list watch for the owner's thread.
    void QueueListOutcome(TListOutcome outcome);
    // Owner's thread: tells every outcome kept so far, in the order they came; unless `now`, not
    // sooner than kListDeliveryMs after the last time.
    void DeliverListOutcomes(bool now);
    TAddressRunCallbacks Callbacks(TKind kind, const QStringList &addresses,
                                   bool stopAtFailure = true);
    void Finish();

    TEchoServiceFactory connect_;
    std::function<qint64()> deliveryClock_;
    TState state_ = TState::Idle;
    TKind kind_ = TKind::None;
    // Set on the owner's thread, read on the engine thread.
    std::atomic<bool> stopped_{false};
    std::unique_ptr<TAddressRuns> runs_;
    std::unique_ptr<TTraceRun> trace_;
    // A thousand watched addresses bring thousands of outcomes a second, mostly in bursts (they
    // started together): they wait here and reach the owner's thread in one go per burst rather
    // than waking it once each.
    // They are delivered at most every kListDeliveryMs (50), so that a steady stream of them
    // wakes the owner's thread twenty times a second rather than for every reply.
    std::mutex listMutex_;
    std::vector<TListOutcome> listPending_;
    bool listDeliveryDue_ = false;
    // Requests made per address (the engine thread counts, any thread reads), and when each
    // address's latest was made (engine thread only). Made anew for each list watch.
    std::unique_ptr<std::atomic<int>[]> listMade_;
    int listCount_ = 0;
    std::vector<qint64> listSentAt_;  // a delivery is queued or timed; under listMutex_
    qint64 lastListDelivery_ = 0;     // ms, monotonic; owner's thread
};
