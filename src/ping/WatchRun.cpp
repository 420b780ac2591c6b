#include "ping/WatchRun.h"

#include <deque>
#include <memory>

#include "common/Errors.h"
#include "ping/ChartSink.h"

// The bar chart of a watch: every bar a run would set goes to the right end instead, so that the
// bars hold the latest trip times, oldest at the left. The graph calls pass through unchanged.
class TRecentTripBars final : public ChartSink {
  public:
    TRecentTripBars(ChartSink &charts, int bars) : charts_(charts), bars_(bars) {}

    void PrepareBars(int count, double height) override { charts_.PrepareBars(count, height); }
    void SetBarHeight(int /*index*/, double height) override {
        if (bars_ <= 0) {
            return;
        }
        if (static_cast<int>(recent_.size()) == bars_) {
            recent_.pop_front();
        }
        recent_.push_back(height);
        for (std::size_t i = 0; i < recent_.size(); ++i) {
            charts_.SetBarHeight(static_cast<int>(i), recent_[i]);
        }
        // A watch may go on for hours: its bars are shown as they come, not at its end.
        if (!shown_) {
            charts_.SetBarsActive(true);
            shown_ = true;
        }
    }
    void SetBarsActive(bool active) override { charts_.SetBarsActive(active); }
    void SetBarColor(const QColor &color) override { charts_.SetBarColor(color); }

    void AppendPoint(double x, double y) override { charts_.AppendPoint(x, y); }
    void ClearPoints() override { charts_.ClearPoints(); }
    double AxisMinimum() const override { return charts_.AxisMinimum(); }
    double AxisMaximum() const override { return charts_.AxisMaximum(); }
    void SetAxisRange(double minimum, double maximum) override {
        charts_.SetAxisRange(minimum, maximum);
    }
    void SetGraphColor(const QColor &color) override { charts_.SetGraphColor(color); }

  private:
    ChartSink &charts_;
    int bars_;
    std::deque<double> recent_;
    bool shown_ = false;
};

TWatchWriter::TWatchWriter(const TPingRunInput &input, const TPingRunTargets &targets)
    : input_(input) {
    Retarget(targets);
}

void TWatchWriter::Retarget(const TPingRunTargets &targets) {
    const bool fresh = targets.Charts != targets_.Charts;
    targets_ = targets;
    watchTargets_ = targets;
    if (targets.Charts == nullptr) {
        bars_.reset();
    } else if (fresh || !bars_) {
        targets.Charts->PrepareBars(input_.Echo.Retries, 0.1);
        bars_ = std::make_unique<TRecentTripBars>(*targets.Charts, input_.Echo.Retries);
    }
    watchTargets_.Charts = bars_.get();
    // The progress of a run counts up to its fixed number of requests; a watch has none, so it
    // reports its own after each request.
    watchTargets_.SetProgress = {};
}

TWatchWriter::~TWatchWriter() = default;

void TWatchWriter::Reply(const std::optional<TPingReply> &reply) {
    inFlight_ = qMax(0, inFlight_ - 1);
    WritePingReply(figures_.Sent, reply, input_, watchTargets_, figures_);
    if (targets_.SetProgress) {
        targets_.SetProgress(QStringLiteral("%1 of %1").arg(figures_.Sent));
    }
}

void TWatchWriter::End() {
    WritePingStatistics(input_, targets_, figures_);
}
