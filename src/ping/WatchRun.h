#pragma once

#include <functional>
#include <memory>

#include "ping/PingRun.h"

class TRecentTripBars;

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

// What a watch writes as its requests come, after the header: each outcome's line, its graph
// point and its bar among the latest trip times, and the progress "N of N"; once stopped, the
// statistics block and the address pane's line. The watch of the window and WatchPing share it.
class TWatchWriter final {
  public:
    // Prepares the bar chart afresh for the latest input.Echo.Retries trip times.
    TWatchWriter(const TPingRunInput &input, const TPingRunTargets &targets);
    ~TWatchWriter();
    TWatchWriter(const TWatchWriter &) = delete;
    TWatchWriter &operator=(const TWatchWriter &) = delete;

    // From now on the lines and points go to `targets`: a watch that the charts no longer follow
    // draws nothing (targets.Charts null); one that they follow again starts its bars afresh.
    void Retarget(const TPingRunTargets &targets);

    // A request is made; its outcome follows in Reply.
    void Sending() { ++inFlight_; }
    void Reply(const std::optional<TPingReply> &reply);
    void End();

    // The figures of the requests whose outcome is in, and the requests made still waiting for
    // theirs: what the live figures show.
    const TPingFigures &Figures() const { return figures_; }
    int InFlight() const { return inFlight_; }

  private:
    TPingRunInput input_;
    TPingRunTargets targets_;
    TPingRunTargets watchTargets_;
    std::unique_ptr<TRecentTripBars> bars_;
    TPingFigures figures_;
    int inFlight_ = 0;
};

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
