#include "app/PingCharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QValueAxis>
#include <algorithm>

#include "common/TripTimeGraph.h"

TPingCharts::TPingCharts(QWidget *parent) {
    // Bar chart: one bar per request index, left axis hidden.
    barSet_ = new QBarSet(QStringLiteral("Trip Time [ms]"));
    bars_ = new QBarSeries();
    bars_->setObjectName(QStringLiteral("LineSeries1"));
    bars_->append(barSet_);
    bars_->setBarWidth(0.7);
    auto *barChart = new QChart();
    StyleDarkChart(barChart);
    barChart->addSeries(bars_);
    barAxisX_ = new QBarCategoryAxis();
    barAxisX_->setTitleText(QStringLiteral("Pings"));
    StyleDarkChartAxis(barAxisX_);
    barAxisX_->setGridLineVisible(false);
    barAxisY_ = new QValueAxis();
    barAxisY_->setVisible(false);
    barAxisY_->setRange(0, 1);
    barChart->addAxis(barAxisX_, Qt::AlignBottom);
    barChart->addAxis(barAxisY_, Qt::AlignLeft);
    bars_->attachAxis(barAxisX_);
    bars_->attachAxis(barAxisY_);
    pingChart_ = new QChartView(barChart, parent);
    StyleDarkChartView(pingChart_, QStringLiteral("PingChart"));

    // Trip-time graph: a curve with diamond markers, fixed bottom axis window 0..60.
    graph_ = new TTripTimeGraph(QStringLiteral("ProcessGraph"), QStringLiteral("Trip Time [ms]"),
                                QStringLiteral("Ping No"), parent);

    SetGraphColor(QColor(0, 160, 255));
    SetBarColor(QColor(0, 160, 255));
}

QChartView *TPingCharts::ProcessGraph() const {
    return graph_;
}

void TPingCharts::PrepareBars(int count, double height) {
    barSet_->remove(0, barSet_->count());
    QStringList categories;
    heights_.clear();
    answered_.clear();
    for (int i = 0; i < count; ++i) {
        categories << QString::number(i);
        heights_ << height;
        answered_ << false;
    }
    barAxisX_->clear();
    barAxisX_->append(categories);
    barSet_->append(heights_);
    FitBarAxis();
}

void TPingCharts::SetBarHeight(int index, double height) {
    if (index < 0 || index >= heights_.size()) {
        return;
    }
    heights_[index] = height;
    answered_[index] = true;
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
    graph_->AppendPoint(x, y);
}

void TPingCharts::ClearPoints() {
    graph_->ClearPoints();
}

double TPingCharts::AxisMinimum() const {
    return graph_->AxisMinimum();
}

double TPingCharts::AxisMaximum() const {
    return graph_->AxisMaximum();
}

void TPingCharts::SetAxisRange(double minimum, double maximum) {
    graph_->SetAxisRange(minimum, maximum);
}

void TPingCharts::SetGraphColor(const QColor &color) {
    graph_->SetColor(color);
}

int TPingCharts::BarCount() const {
    return barSet_->count();
}

double TPingCharts::BarHeight(int index) const {
    return heights_.value(index);
}

double TPingCharts::BarAxisTop() const {
    return barAxisY_->max();
}

bool TPingCharts::BarsActive() const {
    return bars_->isVisible();
}

int TPingCharts::PointCount() const {
    return graph_->PointCount();
}

QColor TPingCharts::GraphColor() const {
    return graph_->Color();
}

QColor TPingCharts::BarColor() const {
    return barSet_->color();
}

void TPingCharts::FitBarAxis() {
    double top = 0;
    for (int i = 0; i < heights_.size(); ++i) {
        if (answered_.at(i)) {
            top = std::max(top, heights_.at(i));
        }
    }
    const double axisTop = TripAxisTop(top, 1.15);
    barAxisY_->setRange(0, axisTop);
    // A bar still waiting for its trip time is a thin line at the bottom, whatever the scale.
    for (int i = 0; i < heights_.size(); ++i) {
        const double shown =
            answered_.at(i) ? heights_.at(i) : std::min(heights_.at(i), axisTop / 100);
        if (barSet_->at(i) != shown) {
            barSet_->replace(i, shown);
        }
    }
}
