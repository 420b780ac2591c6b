#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "ping/ListRun.h"

class TProbeEngine;
class TWorkers;

// Runs of one or many addresses that never block a thread: each address is a small state machine
// over the outcomes of the probe engine (resolve the name, then its requests, each once the
// previous one is answered or every Interval milliseconds whatever earlier ones wait for, as the
// input's Cadence says, then done), and all of them share the engine's one thread and its
// sockets. A single run is a list of one address; a watch is a list of one address
// with UntilStopped and an Interval.
//
// Threading contract:
// - The constructor, Stop, Wait and the destructor may be called from any thread but the engine
//   thread (that is, not from within a callback).
// - Every callback runs on the engine thread, one at a time, never two at once; a callback must
//   not block (post the work elsewhere, e.g. as a queued signal) and must not call Wait or
//   destroy the run. Stop may be called from a callback.
// - After Finished has been called no other callback comes. The destructor stops the run, waits
//   until Finished has returned and closes everything the run opened: when it returns, no
//   callback runs and no thread or socket of the run is left.
//
// Resources: one engine thread and the engine's sockets, plus up to kResolverThreads threads for
// names that need a name server (literals are taken at once, so addresses already resolved are
// never held up by names still being looked up). Memory per address under way is a few hundred
// bytes. With an echo service that has no probe engine (a test's scripted service), its blocking
// requests run on up to min(InFlight, kMaxBlockingThreads) worker threads instead.

// The most names looked up at once.
constexpr int kResolverThreads = 8;
// The most worker threads for echo services that block in ExecQuery.
constexpr int kMaxBlockingThreads = 128;

struct TAddressRunCallbacks {
    // Request `request` (0, 1, ...) of address `index` is about to be made; its outcome follows
    // in Replied. A name that does not resolve counts as a request made.
    std::function<void(int index, int request)> Sending;
    // The outcome of request `request` (0, 1, ...) of address `index`, as soon as it and those of
    // the address's earlier requests are in.
    std::function<void(int index, int request, const std::optional<TPingReply> &reply)> Replied;
    // Address `index` is complete (its requests made, or ended by an error or a stop), at once
    // and in any order; its record follows in Done, in list order.
    std::function<void(int index, const TPingRecord &record)> Completed;
    // The record of address `index`, in list order: once that address and every address before
    // it are complete. After a stop, the addresses that had started still come, each with the
    // requests it made.
    std::function<void(int index, TPingRecord &record)> Done;
    // Once, after the last Done: every address is done, or the run was stopped and the requests
    // under way are done.
    std::function<void()> Finished;
    // The first time requests of a family had to wait for room in the system (a full neighbour
    // table): the note that says so, why, and how to raise the limit. They are sent as room
    // frees, so the wait is no loss of the address.
    std::function<void(const QString &notice)> Notice;
};

class TAddressRuns final {
  public:
    // Starts the run and returns at once. Opens the echo service with input.Connect (unset:
    // ConnectEchoService()) on the calling thread: when the service has a probe engine, every
    // address of the run is probed through that one engine, and Connect is not called again;
    // otherwise each further address opens its own service (on a worker thread) and its requests
    // block a worker thread each. A service that cannot be opened ends its address with that
    // error in the record's Failure, as does a request that fails; the other addresses go on.
    //
    // Of input: Addresses, Echo (Echo.Retries: requests per address), InFlight (addresses under
    // way at once), Ahead (addresses started and not yet handed to Done), Interval, Cadence,
    // UntilStopped (then Echo.Retries is no limit) and Rate (kept by the probe engine, which
    // spaces the run's requests; a blocking service's requests are not spaced).
    TAddressRuns(const TListRunInput &input, TAddressRunCallbacks callbacks);
    ~TAddressRuns();
    TAddressRuns(const TAddressRuns &) = delete;
    TAddressRuns &operator=(const TAddressRuns &) = delete;

    // Any thread. No address starts any more; an address waiting for its next request ends at
    // once, one with a request under way ends when that request is done (its time-out at the
    // longest). Finished comes once they are all done.
    void Stop();
    // Any thread. As Stop, but an address with a request out to the probe engine ends at once
    // too: the outcomes of the requests still out are forgotten, so Finished comes without
    // waiting for any time-out. An address whose name is still being looked up ends too, but
    // the destructor still joins the look-up's thread; a blocking echo service's request is
    // still waited for.
    void StopNow();

    // Blocks until Finished has returned.
    void Wait();

  private:
    class TState;
    std::unique_ptr<TWorkers> resolvers_;
    std::unique_ptr<TWorkers> blocking_;
    std::unique_ptr<TEchoService> service_;
    std::shared_ptr<TProbeEngine> engine_;
    std::shared_ptr<TState> state_;
};
