#pragma once

#include <QChartView>
#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

class QAbstractAxis;
class QChart;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QMouseEvent;
class QSplineSeries;
class QValueAxis;
class QWheelEvent;
class QWidget;

// The look of the program's charts: the dark chart theme with its own backgrounds, grey texts in
// the window face, no legend and no animation; and of their axes.
void StyleDarkChart(QChart *chart);
void StyleDarkChartAxis(QAbstractAxis *axis);
// A frameless, antialiased view of `chart` named `objectName`, in the charts' background, never
// lower than LeastChartHeight of its chart. Call it once the chart has its title and axes.
void StyleDarkChartView(QChartView *view, const QString &objectName);

// Returns the least height (pixels) at which `chart`, styled as above, shows its title and every
// axis label in full: below it the charts library squeezes the bottom axis and writes its labels
// as "...".
int LeastChartHeight(const QChart *chart);

// Returns the top of a trip-time axis whose highest value is `highest` (ms): `headroom` times
// that value, and at least the next power of ten above it, up to 10 ms. So times of a few
// milliseconds sit on a 0-10 ms axis as they always have, and loopback or LAN times under a
// millisecond get an axis of their own scale instead of a flat line at the bottom.
double TripAxisTop(double highest, double headroom);

// Gives a value axis nice ticks and labels with as many decimals as its steps need, so that an
// axis of 0-0.1 ms does not read 0 at every tick.
void NiceTripAxis(QValueAxis *axis);

// The sliding trip-time graph: a curve (series "Series1") with a diamond at every point, a value
// mark on the first point and on every 10th after it (series "Series1Marks", whose values are
// written above their points), and a bottom axis window 61 positions wide. The main window's
// graph and the settings window's preview of it.
class TTripTimeGraph final : public QChartView {
  public:
    // `title` above the plot and `axisTitle` under the bottom axis; empty for none.
    TTripTimeGraph(const QString &objectName, const QString &title, const QString &axisTitle,
                   QWidget *parent);

    QSplineSeries *Curve() const { return curve_; }

    // Appends a point and lifts the left axis when it is higher than any so far.
    void AppendPoint(double x, double y);
    // Empties the graph and puts the left axis back to 0..10.
    void ClearPoints();
    // Shows `points` as the whole curve with the bottom axis window at 0..60 and the left axis
    // fitted to their lowest and highest values.
    void ShowCurve(const QList<QPointF> &points);

    double AxisMinimum() const;
    double AxisMaximum() const;
    void SetAxisRange(double minimum, double maximum);

    // Draws the curve and its diamonds in `color` (its alpha included).
    void SetColor(const QColor &color);
    QColor Color() const;
    int PointCount() const;

    // Dragging with the left button pans the curve sideways; the wheel does nothing.
    void SetPanning(bool panning) { panning_ = panning; }

    // The value marks shown in the window now, as written: their texts and where they stand in
    // the chart's coordinates. Each stands above its point, or below it at the top of the plot,
    // and is moved sideways into the plot where it would reach over the left axis's labels or
    // out of the chart.
    QStringList MarkTexts() const;
    QList<QRectF> MarkRects() const;

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

  private:
    void FitLeftAxis(double y);
    // Writes each mark's value at its place in the plot as it is now.
    void PlaceMarkLabels();

    QSplineSeries *curve_ = nullptr;
    QLineSeries *marks_ = nullptr;
    QValueAxis *axisX_ = nullptr;
    QValueAxis *axisY_ = nullptr;
    QList<QGraphicsSimpleTextItem *> markLabels_;  // one per point of marks_, kept in step
    double top_ = 0;
    qint64 appended_ = 0;  // points appended since the graph was last cleared
    bool panning_ = false;
    bool dragging_ = false;
    qreal lastX_ = 0;
};
