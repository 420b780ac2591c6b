#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ping/EchoParameters.h"
#include "ping/EchoService.h"
#include "ping/PingFigures.h"

class TProbeEngine;
class TTraceLookups;
struct TResultTarget;

// The most hops a route is traced over.
constexpr int kMaxTraceHops = 30;

// The shortest interval between the rounds of a trace a user asks for (ms), as mtr goes by
// default: routers answer "time exceeded" to a source about once a second and drop what is asked
// faster, which would show as loss that is not there.
constexpr int kLeastTraceRoundInterval = 1000;

// One hop of a traced route: who answered the probes that left with its TTL, and how.
struct TTraceHop {
    // Every address that answered for this hop, the first seen first (more than one where the
    // path is balanced), and their names, "" until (or unless) a name is known.
    QStringList Addresses;
    QStringList Names;
    // The probes with an outcome: an answer (the target's reply, a router's "time exceeded" or
    // an "unreachable") counts as received with its trip time; a probe without answer is lost.
    TPingFigures Figures;
    // Probes sent that have no outcome yet.
    int InFlight = 0;
    // How the hop answered: the status of its latest answer (11013 a router's "time exceeded",
    // 0 the target's reply, 11002 to 11005 an "unreachable"), or while it has not answered, of
    // its latest outcome (11010: nothing came back); none before its first outcome.
    std::optional<qint32> Status;
};

// The status text a hop's line carries after its figures: what ended the route there (an
// "unreachable"), or what became of its probes when that was neither an answer nor silence
// (a request the system refused to send); "" for a router's "time exceeded", the target's
// reply, silence and a hop without outcome.
QString HopStatusText(const TTraceHop &hop);

// The trip-time figures of a hop as the route panel and the results block show them, in ms with
// ping's precision; "-" for a figure the hop has none of yet.
struct TTripTexts {
    QString Last;
    QString Average;
    QString Best;
    QString Worst;
    QString Jitter;
};
TTripTexts HopTripTexts(const TPingFigures &figures);

// A hop's address `index` as the block shows it: "name [address]", or the bare address.
QString HopAddressText(const TTraceHop &hop, int index);

// The hops of a trace as the probes' outcomes come in. Hops past the end of the route (the
// target's hop, or a hop that answered "unreachable") are dropped as soon as the end is known.
// While the end is unknown, every hop a probe went to is part of the route, the silent ones
// behind the last answer too, so that no table reads as a complete route when it is not.
class TTraceHops final {
  public:
    explicit TTraceHops(int maxHops = kMaxTraceHops);

    // A probe with TTL `ttl` (1-based) left.
    void Sent(int ttl);
    // The outcome of a probe that left with TTL `ttl`. Returns false when it was ignored
    // (a hop past the end of the route).
    bool Add(int ttl, const TPingReply &reply);
    // The trace ended: probes still out will not be heard of, and count neither as sent nor as
    // lost.
    void ForgetInFlight();
    // Gives `address` its name wherever it answered.
    void SetName(const QString &address, const QString &name);

    int MaxHops() const { return static_cast<int>(hops_.size()); }
    // The hops to show: up to the end of the route once known, else up to the furthest hop a
    // probe went to (whether its outcome is in or not); 0 before the first probe.
    int Count() const;
    // The furthest hop that answered; 0 when none did.
    int LastAnswered() const;
    // While the end is unknown: the first of the hops behind the last answer, which no answer
    // came from (yet); 0 when there are none.
    int SilentFrom() const;
    // The rows of a hop table: row r starts with hop r, one hop a row, except that two or more
    // silent hops at the end are folded into the one row SilentFrom().
    int Rows() const;
    // The last hop of row `row`.
    int RowEnd(int row) const;
    // Hop `ttl`, 1 to MaxHops().
    const TTraceHop &Hop(int ttl) const { return hops_.at(static_cast<std::size_t>(ttl - 1)); }
    // The hop of the target, or of the "unreachable" that ends the route; 0 while unknown.
    int End() const { return end_; }
    // True once the target itself answered.
    bool Reached() const { return reached_; }

  private:
    std::vector<TTraceHop> hops_;
    int end_ = 0;
    bool reached_ = false;
};

// What a trace is asked to do.
struct TTraceInput {
    QString Address;  // the target exactly as typed
    // Payload of each probe (BufferSize) and how long to wait for its answer (TimeOut).
    TEchoParameters Echo;
    // Milliseconds from the start of one round to the start of the next.
    int Interval = 1000;
    int MaxHops = kMaxTraceHops;
    // Rounds to make; 0: until stopped.
    int Rounds = 0;
    // Opens the echo service whose probe engine the trace uses; unset: ConnectEchoService().
    TEchoServiceFactory Connect;
    // Returns the name of a hop's address, "" for none; called off the engine thread, and may
    // block. Unset: the system's name service (the address's PTR record).
    std::function<QString(const QString &address)> LookUpName;
};

// What a trace hears, on the engine thread (see TAddressRuns for the contract: callbacks never
// block, one at a time, none after Finished).
struct TTraceCallbacks {
    // The target resolved to `resolved` (its address text); the first round follows.
    std::function<void(const QString &resolved)> Resolved;
    // A round began: its probes leave one after another over the round, TTL 1 up to `ttls`
    // at most (the probes past the end of the route, when it is found meanwhile, stay home).
    std::function<void(int round, int ttls)> RoundStarted;
    // The probe of round `round` with TTL `ttl` left; its outcome follows in Probed.
    std::function<void(int round, int ttl)> ProbeSent;
    // The outcome of the probe of round `round` that left with TTL `ttl`.
    std::function<void(int round, int ttl, const TPingReply &reply)> Probed;
    // A hop's address has a name (looked up in parallel, never holding up a round).
    std::function<void(const QString &address, const QString &name)> Named;
    // Once, last: the rounds are made, the trace was stopped, or it failed (the target does not
    // resolve, no probe engine): `failure` holds the error then.
    std::function<void(std::exception_ptr failure)> Finished;
};

// A route traced in rounds, as mtr does: every round sends one probe for each TTL from 1 to the
// end of the route (30 until the end is known) through the probe engine, spread evenly over the
// round, and a round starts every Interval milliseconds whatever the probes of earlier rounds
// still wait for, so a hop that never answers slows no other. Same threading contract as
// TAddressRuns.
class TTraceRun final {
  public:
    // Opens the echo service on the calling thread and starts; returns at once. Throws TxError
    // when the service has no probe engine.
    TTraceRun(const TTraceInput &input, TTraceCallbacks callbacks);
    // Stops, and waits until Finished has returned.
    ~TTraceRun();
    TTraceRun(const TTraceRun &) = delete;
    TTraceRun &operator=(const TTraceRun &) = delete;

    // Any thread. No round starts any more; the trace finishes at once, and probes still in
    // flight are forgotten (they count neither as sent nor as lost).
    void Stop();
    // Blocks until Finished has returned.
    void Wait();

  private:
    class TState;
    std::unique_ptr<TEchoService> service_;
    std::shared_ptr<TProbeEngine> engine_;
    std::unique_ptr<TTraceLookups> names_;
    std::shared_ptr<TState> state_;
};

// Writes the block of a finished trace into the results pane: the date header of a ping run,
// "Tracing route to example.test [192.0.2.7] over a maximum of 30 hops:", an empty line, the hop
// table of TraceHopLines in the fixed-pitch font, an empty line, the TraceEndLine when the target
// was not reached, and "Rounds: 10". A hop table reads, with its last columns (Worst, Jitter)
// left out here:
//   Hop  Address                           Sent  Loss    Last     Avg    Best
//     1  gw.test [10.1.0.1]                  10    0%   0.052   0.061   0.045
//     2  ???                                 10  100%       -       -       -
//     3  10.2.0.1                            10    0%    12.3    13.7    12.3
//        10.2.0.9
//   4-30  ???  no answer                     10  100%       -       -       -
// one line per hop (the silent hops at the end of a route whose end is unknown folded into
// one), further addresses of a balanced hop on lines of their own; a hop's HopStatusText
// follows its figures.
void WriteTraceBlock(const TResultTarget &pane, const QString &address, const QString &resolved,
                     const QDateTime &started, const TTraceHops &hops, int rounds);

// The lines of the hop table of WriteTraceBlock, from its column heading on.
QStringList TraceHopLines(const TTraceHops &hops);

// How a route ended without reaching its target, in one line: "Destination Host Unreachable
// from 10.77.3.2 at hop 4: the target was not reached.", "No answer from hop 4 to 30: the target
// was not reached.", or "The target was not reached within 3 hops."; "" when it was reached.
QString TraceEndLine(const TTraceHops &hops);
