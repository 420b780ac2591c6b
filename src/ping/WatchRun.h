#pragma once

#include <functional>
#include <memory>

#include "ping/PingRun.h"

class TRecentTripBars;

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
