#pragma once

#include <QDateTime>
#include <QStringList>
#include <QtGlobal>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "ping/EchoService.h"

// A list run pings many addresses at once and hands each address's outcome back in list order,
// so that the caller writes exactly what a run of one address after another writes.

// The most addresses a list run has under way at once, with requests out or names being
// resolved. All of them share the probe engine's two sockets and its one thread, so the limit
// bounds only the probes in flight (a few hundred bytes each), and lies far above what a list
// of a few thousand addresses needs.
constexpr int kMaxAddressesInFlight = 10000;

// The most addresses a list run has started and not yet handed back: those under way, and those
// complete but waiting for an earlier address that still waits for its replies. It bounds the
// records held for a list of any length, and leaves room for the addresses behind a silent one
// to go ahead.
constexpr int kMaxAddressesAhead = 8 * kMaxAddressesInFlight;

// Requests a second of a run unless told otherwise: gentle enough for the ICMP rate limits of
// routers and hosts on the way, and room for a watched list of a thousand addresses every second
// with a reserve for names and retries.
constexpr int kStandardRate = 2000;

// What the requests of one address returned, in order, and the error that ended them early
// (no more requests were made after it). A watch (UntilStopped) keeps no replies here: its
// outcomes are heard one by one as they come.
struct TPingRecord {
    std::vector<std::optional<TPingReply>> Replies;
    std::exception_ptr Failure;
    // The moment the address's run began (its first request, or the look-up of its name).
    QDateTime Started;
};

// How the requests to one address follow one another.
enum class TRequestCadence {
    // The window's rule: the next request once the previous one has its outcome, at the earliest
    // Interval after the previous one began; one that took longer (a time-out) is followed at
    // once.
    AfterAnswer,
    // ping's and fping's: a request every Interval, whatever earlier ones still wait for, each
    // waiting its own time-out; the address is done when the last one has its outcome. Outcomes
    // are still handed on in the order of the requests.
    EveryInterval,
};

// The parameters of one list run.
struct TListRunInput {
    QStringList Addresses;  // the targets, each exactly as typed
    TEchoParameters Echo;
    // Addresses under way at once; 1 pings one address after another.
    int InFlight = kMaxAddressesInFlight;
    // Addresses started and not yet handed back (at least InFlight).
    int Ahead = kMaxAddressesAhead;
    // Opens the echo service of the run (TAddressRuns says when it is called). Unset:
    // ConnectEchoService().
    TEchoServiceFactory Connect;
    // Milliseconds from the start of one request of an address to the start of its next, as
    // Cadence says. 0: back to back, each request as soon as the previous one has its outcome.
    int Interval = 0;
    // EveryInterval applies to runs through a probe engine; an echo service without one makes
    // one request at a time, and its requests follow AfterAnswer.
    TRequestCadence Cadence = TRequestCadence::AfterAnswer;
    // Requests go on until the run is stopped (a watch); Echo.Retries is then no limit.
    bool UntilStopped = false;
    // Requests a second that the whole run sends at most, spaced evenly (a request waits for its
    // turn before its time-out starts); 0: no limit. Applies to runs through a probe engine.
    int Rate = 0;
};

// Called on the calling thread with each address's index and record, in list order, as soon as
// that address and every address before it are complete.
using TListRunWriter = std::function<void(int index, const TPingRecord &record)>;
