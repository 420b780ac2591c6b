#pragma once

#include <QChartView>
#include <QColor>
#include <QList>
#include <QString>

#include "ping/ListWatch.h"

class QLineSeries;
class QValueAxis;

// The graph of a list watch: one line per address, as gping draws them, over the last two
// minutes, each in a colour of its own (the watch table shows which).
class TWatchGraph final : public QChartView {
  public:
    // The most lines drawn at once: more would be one tangle of colours.
    static constexpr int kMaxLines = 10;
    // The span the bottom axis shows, ending at the latest moment.
    static constexpr qint64 kSpanMs = 2 * 60 * 1000;

    explicit TWatchGraph(QWidget *parent = nullptr);

    // Draws the trip times of the addresses `rows` of `watch` (the first kMaxLines of them) up to
    // `now` (ms since the watch began).
    void Show(const TListWatch &watch, const QList<int> &rows, qint64 now);
    void Clear();

    // The colour of line `line`.
    static QColor LineColor(int line);

    // What the graph shows, for the window's tests.
    int LineCount() const { return static_cast<int>(lines_.size()); }
    // The pieces line `line` is drawn in: it breaks where a request got no reply.
    int SegmentCount(int line) const;
    QString LineName(int line) const;
    int PointCount(int line) const;

  private:
    // One series per piece of a line, each named after its address.
    QList<QList<QLineSeries *>> lines_;
    QValueAxis *axisX_ = nullptr;
    QValueAxis *axisY_ = nullptr;
};
