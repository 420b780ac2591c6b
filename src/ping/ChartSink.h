#pragma once

#include <QColor>

// The two charts of the main window as the ping run sees them: the bar chart of trip times per
// request index (PingChart, series LineSeries1) and the sliding trip-time graph (ProcessGraph,
// series Series1). The window implements it with Qt Charts; tests implement it with a recorder.
class ChartSink {
  public:
    virtual ~ChartSink() = default;

    // Bar chart.
    // Removes every bar, then adds `count` bars at x = 0 .. count-1, each `height` high.
    virtual void PrepareBars(int count, double height) = 0;
    // Sets the height of the bar at `index`; an index without a bar is ignored.
    virtual void SetBarHeight(int index, double height) = 0;
    // Shows (active) or hides the bar series.
    virtual void SetBarsActive(bool active) = 0;
    // Gives the bar series its colour.
    virtual void SetBarColor(const QColor &color) = 0;

    // Trip-time graph.
    // Appends the point (x, y) to the line series.
    virtual void AppendPoint(double x, double y) = 0;
    // Removes every point of the line series (the axis window stays).
    virtual void ClearPoints() = 0;
    // Returns the minimum / maximum of the graph's bottom axis.
    virtual double AxisMinimum() const = 0;
    virtual double AxisMaximum() const = 0;
    // Sets the window of the graph's bottom axis.
    virtual void SetAxisRange(double minimum, double maximum) = 0;
    // Gives the line series its colour.
    virtual void SetGraphColor(const QColor &color) = 0;
};
