#pragma once

// Runs driven to their end from the calling thread, for tests and benchmarks: each starts a run of
// the run model or its session (the product's own path) and waits in a local event loop until it
// has ended. The program itself never waits so: its runs tell, and the window draws.
#include <functional>

#include "ping/ListRun.h"
#include "ping/PingRun.h"
#include "ping/RunModel.h"
#include "ping/WatchRun.h"

// Pings every address of `input` through a list run of the run session (TRunSession, the path of
// the window's and the command line's list runs): up to InFlight addresses under way at once, up
// to Ahead started and not yet handed back, their requests as Interval and Cadence say, through
// the echo service input.Connect (unset: the real one). Hands each address's record to `write`
// on the calling thread, in list order; every address is recorded, a failed one with its error,
// and the others go on after it. The calling thread waits in a local event loop meanwhile, so a
// QCoreApplication must exist. An exception thrown by `write` ends the run: no further address
// starts, those under way stop after their current request and are not handed on, and the
// exception propagates once they are done. No thread or socket of the run outlives the call.
void RunAddressList(const TListRunInput &input, const TListRunWriter &write);

// How a watch is driven from outside: its pace, when it ends, and who hears of each request.
struct TWatchControl {
    // Milliseconds from the start of one request to the start of the next. A request that
    // takes longer (a time-out) is followed at once by the next, without catching up.
    int Interval = 300;
    // True once the watch is to end; asked at the start, after each request and every few
    // milliseconds in between, from the calling thread. Required.
    std::function<bool()> StopRequested;
    // Called after each request with the figures so far (the live figures).
    std::function<void(const TPingFigures &)> Counted;
};

// Runs one address on a run model of its own (TRunModel, the path of the window's and the
// command line's runs): the model writes into targets' panes (or targets.DebugLines) and charts
// with the settings of `input`, `interval` as a watch's pace, the echo service targets.Connect,
// the header's clock targets.Now and the address field's text targets.AddressEditText, and tells
// its progress to targets.SetProgress. `start` starts the model's run and hooks what the caller
// hears of it; the calling thread then waits in a local event loop until the model is idle, so
// a QCoreApplication must exist. The graph's next position is taken from *targets.PositionX and
// given back there. A run that fails raises its error as a TxError once the lines written so
// far are in; neither statistics nor address line are written then.
void RunAddressOnModel(const TPingRunInput &input, const TPingRunTargets &targets, int interval,
                       const std::function<void(TRunModel &model)> &start);

// One ping run (StandardPing): writes the header, one reply line per request and the
// statistics block into targets.DebugMemo in input.DebugColor, plots each reply with a measured
// trip time above 0 (with its fraction, TripMilliseconds) as bar I and as a graph point at
// *PositionX (sliding the graph's 0-60 axis window one step per point past its maximum), reports "N
// of M" after each request, and writes one line into targets.AddressMemo in input.ResultsColor: the
// address line when anything was received, else the bare reply address of the last request.
//
// The run is the model's single run (RunAddressOnModel): the requests go through the probe
// engine, the lines are written on the calling thread as the outcomes come.
//
// A run of 0 requests writes "[ 0% loss ]". When the service cannot be opened or fails, the
// TxError propagates: the lines written so far stay, and neither statistics nor address line
// are written.
void StandardPing(const TPingRunInput &input, const TPingRunTargets &targets);

// Pings input.PingAddress until control.StopRequested(), one request every control.Interval
// milliseconds ("ping until stopped"), and writes what a run writes: the header, one reply line
// per request as it comes (each reply with a measured trip time above 0 also a point of the sliding
// graph), and once stopped the statistics block with Sent = the requests made, and the line of
// the address list pane. The progress "N of N" follows every request; the bar chart is prepared
// afresh at the start and then shows the trip times of the latest input.Echo.Retries replies,
// oldest at the left, and is shown from the first of them on.
//
// The watch is the run model's (RunAddressOnModel), as the window's "ping until stopped" is; a
// stop is that model's stop of the watch, as Esc's. A stop while the watch waits for its next
// request ends it at once; a request under way when the stop comes is finished (its time-out at
// the longest) and counts, so a stop asked at the start ends the watch after its first request.
// The calling thread waits in a local event loop. Failures end the watch as they end a run: the
// TxError propagates, the lines written so far stay, and no statistics are written.
void WatchPing(const TPingRunInput &input, const TPingRunTargets &targets,
               const TWatchControl &control);
