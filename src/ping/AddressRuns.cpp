#include "ping/AddressRuns.h"

#include <time.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "ping/ProbeEngine.h"
#include "ping/Workers.h"

namespace {

qint64 MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

// Everything the run's state machines share; lives on the engine thread. Each callback the run
// leaves with the engine or a worker holds a reference, so the state outlives every one of them.
class TAddressRuns::TState final : public std::enable_shared_from_this<TState> {
  public:
    TState(const TListRunInput &input, TAddressRunCallbacks callbacks, TProbeEngine &engine,
           bool probes, TWorkers &resolvers, TWorkers &blocking,
           std::unique_ptr<TEchoService> firstService, std::exception_ptr firstFailure)
        : input_(input),
          callbacks_(std::move(callbacks)),
          engine_(engine),
          probes_(probes),
          resolvers_(resolvers),
          blocking_(blocking),
          count_(static_cast<int>(input.Addresses.size())),
          firstService_(std::move(firstService)),
          firstFailure_(firstFailure),
          localOffset_(QDateTime::currentDateTime().offsetFromUtc()) {}

    // Engine thread: starts as many addresses as the limits allow.
    void Begin() {
        if (probes_) {
            engine_.SetRate(input_.Rate);
            if (callbacks_.Notice) {
                engine_.SetRoomNotice([state = shared_from_this()](const QString &notice) {
                    if (!state->finishedCalled_) {
                        state->callbacks_.Notice(notice);
                    }
                });
            }
        }
        Fill();
        CheckFinished();
    }

    // An address between two requests ends now; one with requests out (sent at an interval, or
    // the one under way) ends when their outcomes are in, unless `now`: then requests out to the
    // probe engine are let go as well. A blocking service's request is still waited for, as its
    // worker thread uses the address's service.
    void Stop(bool now) {
        stopping_ = true;
        std::vector<int> ending;
        for (auto &[index, address] : addresses_) {
            const bool pausing = address.Pause != 0;
            if (pausing) {
                engine_.Cancel(address.Pause);
                address.Pause = 0;
            }
            if ((pausing && address.Requests == address.Sent) ||
                (now && probes_ && !address.Complete)) {
                ending.push_back(index);
            }
        }
        for (int index : ending) {
            Complete(index);
        }
        CheckFinished();
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        finishedChanged_.wait(lock, [this] { return finished_; });
    }

  private:
    // One address started and not yet handed back.
    struct TAddress {
        TPingRecord Record;
        std::optional<TEchoTarget> Target;      // probe engine: the resolved target
        std::unique_ptr<TEchoService> Service;  // blocking service: this address's own
        qint64 RequestStarted = 0;              // nanoseconds, monotonic
        int Sent = 0;                           // requests made
        int Requests = 0;                       // requests with an outcome, handed on in order
        // Outcomes that came before that of an earlier request (EveryInterval), by request.
        std::map<int, std::optional<TPingReply>> Early;
        quint64 Pause = 0;  // timer of the next request, while waiting for it
        bool Complete = false;
    };

    // Not re-entered: an address that completes while it starts (a failure, a name that does
    // not resolve) leaves the next start to the loop already running, not to a deeper call.
    void Fill() {
        if (filling_) {
            return;
        }
        filling_ = true;
        const int inFlight = qMax(1, input_.InFlight);
        const int ahead = qMax(inFlight, input_.Ahead);
        while (!stopping_ && nextToStart_ < count_ && underWay_ < inFlight &&
               nextToStart_ < nextToHandBack_ + ahead) {
            Start(nextToStart_++);
        }
        filling_ = false;
    }

    void Start(int index) {
        ++underWay_;
        TAddress &address = addresses_[index];
        // The local time of the run's start applies to every address: asked for each one, the
        // system would read its time zone again every time.
        address.Record.Started = QDateTime::currentDateTimeUtc().toOffsetFromUtc(localOffset_);
        const QString name = input_.Addresses.at(index);
        if (!probes_) {
            if (index == 0 && (firstService_ || firstFailure_)) {
                address.Service = std::move(firstService_);
                if (firstFailure_) {
                    address.Record.Failure = firstFailure_;
                    Complete(index);
                    return;
                }
            }
            Request(index);
            return;
        }
        if (ResolvesWithoutLookup(name)) {
            Resolved(index, ResolveEchoTarget(name));
            return;
        }
        resolvers_.Submit([state = shared_from_this(), index, name] {
            std::optional<TEchoTarget> target = ResolveEchoTarget(name);
            state->engine_.Post([state, index, target = std::move(target)] {
                state->Resolved(index, target);
                state->CheckFinished();
            });
        });
    }

    // The address `index` while it waits for something, else null: one that ended on a stop
    // that did not wait hears nothing more of what it had asked for.
    TAddress *Waiting(int index) {
        const auto found = addresses_.find(index);
        return found != addresses_.end() && !found->second.Complete ? &found->second : nullptr;
    }

    void Resolved(int index, const std::optional<TEchoTarget> &target) {
        TAddress *waiting = Waiting(index);
        if (waiting == nullptr) {
            return;
        }
        TAddress &address = *waiting;
        address.Target = target;
        if (target) {
            try {
                engine_.CheckFamily(*target->Family);
            } catch (...) {
                address.Record.Failure = std::current_exception();
                Complete(index);
                return;
            }
        }
        Request(index);
    }

    // No more requests for the address.
    bool IsOver(const TAddress &address) const {
        return stopping_ || address.Record.Failure ||
               (!input_.UntilStopped && address.Sent >= input_.Echo.Retries);
    }

    // Requests go every Interval whatever earlier ones wait for, rather than one after another.
    bool Paced() const {
        return probes_ && input_.Cadence == TRequestCadence::EveryInterval && input_.Interval > 0;
    }

    void Request(int index) {
        TAddress &address = addresses_.at(index);
        address.Pause = 0;
        if (IsOver(address)) {
            if (address.Requests == address.Sent) {
                Complete(index);
            }
            return;
        }
        const int request = address.Sent++;
        address.RequestStarted = MonotonicNs();
        if (callbacks_.Sending) {
            callbacks_.Sending(index, request);
        }
        const auto state = shared_from_this();
        if (!probes_) {
            RequestBlocking(index, request, address);
            return;
        }
        if (Paced() && !IsOver(address)) {
            // The next request goes Interval after this one began, whatever this one waits for.
            // A name that does not resolve sends nothing, so nothing there is worth a wait.
            address.Pause = engine_.After(address.Target ? input_.Interval : 0, [state, index] {
                state->Request(index);
                state->CheckFinished();
            });
        }
        if (!address.Target) {
            // A name that does not resolve: a request that could not be processed.
            engine_.Post([state, index, request] {
                state->Answered(index, request, TPingReply{});
                state->CheckFinished();
            });
            return;
        }
        engine_.Send(EchoProbe(*address.Target, input_.Echo),
                     [state, index, request](const TPingReply &reply) {
                         state->Answered(index, request, reply);
                         state->CheckFinished();
                     });
    }

    // A service without engine blocks in ExecQuery: on a worker, whose answer comes back to the
    // engine thread. The address's service is opened by its first request.
    void RequestBlocking(int index, int request, TAddress &address) {
        TEchoQuery query;
        query.Address = input_.Addresses.at(index);
        query.Echo = input_.Echo;
        TEchoService *service = address.Service.get();
        const bool open = service != nullptr;
        blocking_.Submit([state = shared_from_this(), index, request, query, service, open] {
            std::unique_ptr<TEchoService> opened;
            std::optional<TPingReply> reply;
            std::exception_ptr failure;
            // The request starts when the worker takes it up, which may be well after it was
            // handed over on a busy machine.
            qint64 started = 0;
            try {
                TEchoService *using_ = service;
                if (!open) {
                    opened = OpenEchoService(state->input_.Connect);
                    using_ = opened.get();
                }
                started = MonotonicNs();
                reply = using_->ExecQuery(query);
            } catch (...) {
                failure = std::current_exception();
            }
            // The service is handed over to the engine thread, which keeps it for the next request.
            auto held = std::make_shared<std::unique_ptr<TEchoService>>(std::move(opened));
            state->engine_.Post(
                [state, index, request, reply, failure = std::move(failure), held, started] {
                    if (state->Waiting(index) == nullptr) {
                        state->CheckFinished();
                        return;
                    }
                    if (started != 0) {
                        state->addresses_.at(index).RequestStarted = started;
                    }
                    if (*held) {
                        state->addresses_.at(index).Service = std::move(*held);
                    }
                    if (failure) {
                        state->addresses_.at(index).Record.Failure = failure;
                        state->Complete(index);
                    } else {
                        state->Answered(index, request, reply);
                    }
                    state->CheckFinished();
                });
        });
    }

    // The outcome of the address's next request in order.
    void HandOn(int index, TAddress &address, const std::optional<TPingReply> &reply) {
        // A watch goes on for hours: its callers count its outcomes as they come, and its record
        // keeps none of them.
        if (!input_.UntilStopped) {
            address.Record.Replies.push_back(reply);
        }
        if (callbacks_.Replied) {
            callbacks_.Replied(index, address.Requests, reply);
        }
        ++address.Requests;
    }

    void Answered(int index, int request, const std::optional<TPingReply> &reply) {
        TAddress *waiting = Waiting(index);
        if (waiting == nullptr) {
            return;
        }
        TAddress &address = *waiting;
        // Handed on in the order of the requests, so that every reader counts them alike; a
        // reply that overtakes a request still waiting for its time-out waits for it here.
        if (request != address.Requests) {
            address.Early.emplace(request, reply);
            return;
        }
        HandOn(index, address, reply);
        for (auto next = address.Early.begin();
             next != address.Early.end() && next->first == address.Requests;
             next = address.Early.erase(next)) {
            HandOn(index, address, next->second);
        }
        if (Paced()) {
            if (IsOver(address) && address.Pause == 0 && address.Requests == address.Sent) {
                Complete(index);
            }
            return;
        }
        if (IsOver(address)) {
            Complete(index);
            return;
        }
        // The next request starts Interval after this one started; one that took longer (a
        // time-out) is followed at once, without catching up.
        // Counted in nanoseconds and rounded up, so that the pause is never short of the interval
        // by what whole milliseconds would cut off.
        const qint64 rest = static_cast<qint64>(input_.Interval) * 1000000 -
                            (MonotonicNs() - address.RequestStarted);
        if (rest <= 0) {
            Request(index);
            return;
        }
        address.Pause =
            engine_.After((rest + 999999) / 1000000, [state = shared_from_this(), index] {
                state->Request(index);
                state->CheckFinished();
            });
    }

    void Complete(int index) {
        TAddress &address = addresses_.at(index);
        if (address.Complete) {
            return;
        }
        address.Complete = true;
        address.Service.reset();
        --underWay_;
        if (callbacks_.Completed) {
            callbacks_.Completed(index, address.Record);
        }
        // Hand back in list order whatever is complete.
        for (auto next = addresses_.find(nextToHandBack_);
             next != addresses_.end() && next->second.Complete;
             next = addresses_.find(nextToHandBack_)) {
            if (callbacks_.Done) {
                callbacks_.Done(next->first, next->second.Record);
            }
            addresses_.erase(next);
            ++nextToHandBack_;
        }
        Fill();
    }

    // Called last in every callback of the run, so that nothing of the state is touched by the
    // engine thread once a waiter has seen the run finished.
    void CheckFinished() {
        if (finishedCalled_ || underWay_ > 0 || !addresses_.empty() ||
            (!stopping_ && nextToStart_ < count_)) {
            return;
        }
        finishedCalled_ = true;
        if (callbacks_.Finished) {
            callbacks_.Finished();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        finishedChanged_.notify_all();
    }

    const TListRunInput input_;
    const TAddressRunCallbacks callbacks_;
    TProbeEngine &engine_;
    const bool probes_;  // through the probe engine; else through blocking services
    TWorkers &resolvers_;
    TWorkers &blocking_;
    const int count_;
    std::unique_ptr<TEchoService> firstService_;
    std::exception_ptr firstFailure_;
    // Seconds east of UTC of local time when the run began.
    int localOffset_ = 0;

    // Engine thread only.
    std::map<int, TAddress> addresses_;
    int nextToStart_ = 0;
    int nextToHandBack_ = 0;
    int underWay_ = 0;
    bool stopping_ = false;
    bool finishedCalled_ = false;
    bool filling_ = false;

    std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};

TAddressRuns::TAddressRuns(const TListRunInput &input, TAddressRunCallbacks callbacks) {
    std::exception_ptr failure;
    std::unique_ptr<TEchoService> first;
    try {
        first = OpenEchoService(input.Connect);
    } catch (...) {
        failure = std::current_exception();
    }
    engine_ = first ? first->Engine() : nullptr;
    const bool probes = engine_ != nullptr;
    if (probes) {
        service_ = std::move(first);
    } else {
        engine_ = TProbeEngine::LoopOnly();
    }
    resolvers_ = std::make_unique<TWorkers>(kResolverThreads);
    blocking_ = std::make_unique<TWorkers>(qMin(qMax(1, input.InFlight), kMaxBlockingThreads));
    state_ = std::make_shared<TState>(input, std::move(callbacks), *engine_, probes, *resolvers_,
                                      *blocking_, std::move(first), failure);
    engine_->Start();
    engine_->Post([state = state_] { state->Begin(); });
}

TAddressRuns::~TAddressRuns() {
    Stop();
    Wait();
    // Every worker has handed its answer over by now; they end, then the engine's thread and
    // sockets (unless another owner of the engine keeps them).
    blocking_.reset();
    resolvers_.reset();
    service_.reset();
    engine_.reset();
}

void TAddressRuns::Stop() {
    engine_->Post([state = state_] { state->Stop(false); });
}

void TAddressRuns::StopNow() {
    engine_->Post([state = state_] { state->Stop(true); });
}

void TAddressRuns::Wait() {
    state_->Wait();
}
