#pragma once

#include <QColor>

#include "ping/ChartSink.h"

class TTripTimeGraph;
class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChart;
class QChartView;
class QValueAxis;
class QWidget;

// The two charts of the main window, drawn with Qt Charts: the bar chart of trip times per
// request (PingChart, bar series LineSeries1) and the sliding trip-time graph (ProcessGraph,
// curve Series1 with diamond markers and a value mark on every 10th point).
class TPingCharts final : public ChartSink {
  public:
    // Builds both chart views as children of `parent`, named PingChart and ProcessGraph.
    explicit TPingCharts(QWidget *parent);

    QChartView *PingChart() const { return pingChart_; }
    QChartView *ProcessGraph() const;

    void PrepareBars(int count, double height) override;
    void SetBarHeight(int index, double height) override;
    void SetBarsActive(bool active) override;
    void SetBarColor(const QColor &color) override;

    void AppendPoint(double x, double y) override;
    void ClearPoints() override;
    double AxisMinimum() const override;
    double AxisMaximum() const override;
    void SetAxisRange(double minimum, double maximum) override;
    void SetGraphColor(const QColor &color) override;

    // What the charts hold, for the window's tests. The graph keeps the latest points only: those
    // in its window and a few windows before it.
    int BarCount() const;
    double BarHeight(int index) const;
    double BarAxisTop() const;
    bool BarsActive() const;
    int PointCount() const;
    QColor GraphColor() const;
    QColor BarColor() const;

  private:
    // Fits the axis to the bars that hold a trip time and shows the others as a thin line.
    void FitBarAxis();

    QChartView *pingChart_ = nullptr;
    TTripTimeGraph *graph_ = nullptr;
    QBarSeries *bars_ = nullptr;
    QBarSet *barSet_ = nullptr;
    QBarCategoryAxis *barAxisX_ = nullptr;
    QValueAxis *barAxisY_ = nullptr;
    // The heights the run gave each bar, and which of them hold a trip time; the bar set shows
    // the prepared ones at a height that follows the axis.
    QList<double> heights_;
    QList<bool> answered_;
};
