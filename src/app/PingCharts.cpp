#include "app/PingCharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QScatterSeries>
#include <QSplineSeries>
#include <QValueAxis>
#include <algorithm>

#include "common/WindowLook.h"

namespace {

const QColor kChartBackground(48, 48, 48);
const QColor kPlotBackground(40, 40, 40);
const QColor kChartText(192, 192, 192);
const QColor kGridLine(70, 70, 70);

// The graph's visible window is 61 positions wide and starts at 0; the run slides it.
constexpr double kGraphWindowMaximum = 60;
// Marks are drawn on the first point and then on every 10th one, so the values stay legible.
constexpr int kMarkEvery = 10;
// Points that slid out of the window are dropped, a batch at a time, once the graph holds twice
// this many: an address watched for hours must not make each new point dearer (the curve is
// recomputed over all its points) nor keep memory for what is never shown again. Four windows'
// worth stay, so the curve enters the window as it always did.
constexpr int kKeptPoints = 4 * 61;

void StyleChart(QChart *chart) {
    chart->setTheme(QChart::ChartThemeDark);
    chart->setBackgroundBrush(kChartBackground);
    chart->setPlotAreaBackgroundBrush(kPlotBackground);
    chart->setPlotAreaBackgroundVisible(true);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setTitleBrush(kChartText);
    chart->setTitleFont(WindowFont(8));
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
}

void StyleAxis(QAbstractAxis *axis) {
    axis->setLabelsBrush(kChartText);
    axis->setLabelsFont(WindowFont(7));
    axis->setTitleBrush(kChartText);
    axis->setTitleFont(WindowFont(8));
    axis->setGridLineColor(kGridLine);
    axis->setLinePenColor(kGridLine);
}

QChartView *MakeView(QChart *chart, const QString &name, QWidget *parent) {
    auto *view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundBrush(kChartBackground);
    view->setFocusPolicy(Qt::NoFocus);
    view->setMinimumSize(40, 40);
    return view;
}

// A diamond in the series colour, drawn at every point of the curve.
QImage DiamondMarker(const QColor &color) {
    QImage image(9, 9, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color.darker(160), 1));
    painter.setBrush(color);
    painter.drawPolygon(QPolygonF({{4.5, 0.5}, {8.5, 4.5}, {4.5, 8.5}, {0.5, 4.5}}));
    return image;
}

}  // namespace

TPingCharts::TPingCharts(QWidget *parent) {
    // Bar chart: one bar per request index, left axis hidden.
    barSet_ = new QBarSet(QStringLiteral("Trip Time [ms]"));
    bars_ = new QBarSeries();
    bars_->setObjectName(QStringLiteral("LineSeries1"));
    bars_->append(barSet_);
    bars_->setBarWidth(0.7);
    auto *barChart = new QChart();
    StyleChart(barChart);
    barChart->addSeries(bars_);
    barAxisX_ = new QBarCategoryAxis();
    barAxisX_->setTitleText(QStringLiteral("Pings"));
    StyleAxis(barAxisX_);
    barAxisX_->setGridLineVisible(false);
    barAxisY_ = new QValueAxis();
    barAxisY_->setVisible(false);
    barAxisY_->setRange(0, 1);
    barChart->addAxis(barAxisX_, Qt::AlignBottom);
    barChart->addAxis(barAxisY_, Qt::AlignLeft);
    bars_->attachAxis(barAxisX_);
    bars_->attachAxis(barAxisY_);
    pingChart_ = MakeView(barChart, QStringLiteral("PingChart"), parent);

    // Trip-time graph: a curve with diamond markers, fixed bottom axis window 0..60.
    graph_ = new QSplineSeries();
    graph_->setObjectName(QStringLiteral("Series1"));
    graph_->setMarkerSize(9);
    marks_ = new QScatterSeries();
    marks_->setObjectName(QStringLiteral("Series1Marks"));
    marks_->setMarkerSize(0.1);
    marks_->setPen(Qt::NoPen);
    marks_->setBrush(Qt::NoBrush);
    marks_->setPointLabelsVisible(true);
    marks_->setPointLabelsFormat(QStringLiteral("@yPoint"));
    marks_->setPointLabelsColor(kChartText);
    marks_->setPointLabelsFont(WindowFont(7));
    marks_->setPointLabelsClipping(false);
    auto *graphChart = new QChart();
    StyleChart(graphChart);
    graphChart->setTitle(QStringLiteral("Trip Time [ms]"));
    graphChart->addSeries(graph_);
    graphChart->addSeries(marks_);
    graphAxisX_ = new QValueAxis();
    graphAxisX_->setTitleText(QStringLiteral("Ping No"));
    graphAxisX_->setLabelFormat(QStringLiteral("%.0f"));
    graphAxisX_->setRange(0, kGraphWindowMaximum);
    graphAxisX_->setTickCount(7);
    StyleAxis(graphAxisX_);
    graphAxisY_ = new QValueAxis();
    graphAxisY_->setLabelFormat(QStringLiteral("%.0f"));
    graphAxisY_->setRange(0, 10);
    graphAxisY_->setTickCount(6);
    StyleAxis(graphAxisY_);
    graphChart->addAxis(graphAxisX_, Qt::AlignBottom);
    graphChart->addAxis(graphAxisY_, Qt::AlignLeft);
    for (QXYSeries *series : {static_cast<QXYSeries *>(graph_), static_cast<QXYSeries *>(marks_)}) {
        series->attachAxis(graphAxisX_);
        series->attachAxis(graphAxisY_);
    }
    processGraph_ = MakeView(graphChart, QStringLiteral("ProcessGraph"), parent);

    SetGraphColor(QColor(0, 160, 255));
    SetBarColor(QColor(0, 160, 255));
}

void TPingCharts::PrepareBars(int count, double height) {
    barSet_->remove(0, barSet_->count());
    QStringList categories;
    QList<qreal> heights;
    for (int i = 0; i < count; ++i) {
        categories << QString::number(i);
        heights << height;
    }
    barAxisX_->clear();
    barAxisX_->append(categories);
    barSet_->append(heights);
    FitBarAxis();
}

void TPingCharts::SetBarHeight(int index, double height) {
    if (index < 0 || index >= barSet_->count()) {
        return;
    }
    barSet_->replace(index, height);
    FitBarAxis();
}

void TPingCharts::SetBarsActive(bool active) {
    bars_->setVisible(active);
}

void TPingCharts::SetBarColor(const QColor &color) {
    barSet_->setColor(color);
    barSet_->setBorderColor(color.darker(140));
}

void TPingCharts::AppendPoint(double x, double y) {
    if (appended_ % kMarkEvery == 0) {
        marks_->append(x, y);
    }
    ++appended_;
    graph_->append(x, y);
    if (graph_->count() > 2 * kKeptPoints) {
        graph_->removePoints(0, graph_->count() - kKeptPoints);
        const double firstKept = graph_->at(0).x();
        int oldMarks = 0;
        while (oldMarks < marks_->count() && marks_->at(oldMarks).x() < firstKept) {
            ++oldMarks;
        }
        marks_->removePoints(0, oldMarks);
    }
    FitGraphAxis(y);
}

void TPingCharts::ClearPoints() {
    graph_->clear();
    marks_->clear();
    appended_ = 0;
    graphTop_ = 0;
    graphAxisY_->setRange(0, 10);
    graphAxisY_->setTickCount(6);
}

double TPingCharts::AxisMinimum() const {
    return graphAxisX_->min();
}

double TPingCharts::AxisMaximum() const {
    return graphAxisX_->max();
}

void TPingCharts::SetAxisRange(double minimum, double maximum) {
    graphAxisX_->setRange(minimum, maximum);
}

void TPingCharts::SetGraphColor(const QColor &color) {
    QPen pen(color);
    pen.setWidth(2);
    graph_->setPen(pen);
    graph_->setLightMarker(DiamondMarker(color));
}

int TPingCharts::BarCount() const {
    return barSet_->count();
}

double TPingCharts::BarHeight(int index) const {
    return barSet_->at(index);
}

bool TPingCharts::BarsActive() const {
    return bars_->isVisible();
}

int TPingCharts::PointCount() const {
    return graph_->count();
}

QColor TPingCharts::GraphColor() const {
    return graph_->pen().color();
}

QColor TPingCharts::BarColor() const {
    return barSet_->color();
}

void TPingCharts::FitBarAxis() {
    double top = 0;
    for (int i = 0; i < barSet_->count(); ++i) {
        top = std::max(top, barSet_->at(i));
    }
    // Headroom above the highest bar; the prepared bars of 0.1 stay a thin line at the bottom.
    barAxisY_->setRange(0, std::max(10.0, top * 1.15));
}

void TPingCharts::FitGraphAxis(double y) {
    if (y <= graphTop_) {
        return;
    }
    graphTop_ = y;
    graphAxisY_->setRange(0, std::max(10.0, graphTop_ * 1.2));
    // Whole-number steps, so that the "0" label format never rounds a tick.
    graphAxisY_->applyNiceNumbers();
}
