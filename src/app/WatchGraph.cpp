#include "app/WatchGraph.h"

#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>

#include "common/TripTimeGraph.h"
#include "common/WindowLook.h"

namespace {

// Colours that stay apart from each other on the dark plot.
const QColor kLineColors[TWatchGraph::kMaxLines] = {
    QColor(0, 160, 255),   QColor(255, 170, 0),  QColor(90, 200, 110),  QColor(235, 90, 80),
    QColor(190, 120, 255), QColor(0, 210, 200),  QColor(255, 110, 190), QColor(200, 200, 90),
    QColor(150, 150, 150), QColor(120, 170, 255)};

}  // namespace

TWatchGraph::TWatchGraph(QWidget *parent) : QChartView(new QChart(), parent) {
    QChart *graph = chart();
    StyleDarkChart(graph);
    graph->setTitle(QStringLiteral("Trip Time [ms]"));
    // Unlike the single graph, the lines need their names.
    graph->legend()->show();
    graph->legend()->setAlignment(Qt::AlignRight);
    graph->legend()->setLabelColor(LookTextColor());
    graph->legend()->setFont(WindowFont(7));
    axisX_ = new QValueAxis();
    axisX_->setTitleText(QStringLiteral("Watching [s]"));
    axisX_->setLabelFormat(QStringLiteral("%.0f"));
    axisX_->setTickCount(7);
    axisX_->setRange(0, kSpanMs / 1000.0);
    StyleDarkChartAxis(axisX_);
    axisY_ = new QValueAxis();
    axisY_->setRange(0, TripAxisTop(0, 1.15));
    axisY_->setTickCount(6);
    axisY_->setLabelFormat(QStringLiteral("%.0f"));
    StyleDarkChartAxis(axisY_);
    graph->addAxis(axisX_, Qt::AlignBottom);
    graph->addAxis(axisY_, Qt::AlignLeft);
    StyleDarkChartView(this, QStringLiteral("WatchGraph"));
}

void TWatchGraph::Show(const TListWatch &watch, const QList<int> &rows, qint64 now) {
    const int count = std::min<int>(kMaxLines, static_cast<int>(rows.size()));
    while (lines_.size() > count) {
        QLineSeries *line = lines_.takeLast();
        chart()->removeSeries(line);
        delete line;
    }
    while (lines_.size() < count) {
        auto *line = new QLineSeries();
        line->setPen(QPen(kLineColors[lines_.size()], 1.5));
        chart()->addSeries(line);
        line->attachAxis(axisX_);
        line->attachAxis(axisY_);
        lines_.append(line);
    }
    const qint64 from = std::max<qint64>(0, now - kSpanMs);
    double top = 0;
    QList<QPointF> points;
    for (int i = 0; i < count; ++i) {
        const TWatchedAddress &address = watch.At(rows.at(i));
        points.clear();
        for (const TWatchPoint &point : address.History) {
            if (point.At >= from) {
                points.append(QPointF(point.At / 1000.0, point.Trip));
                top = std::max(top, point.Trip);
            }
        }
        lines_.at(i)->setName(address.Address);
        lines_.at(i)->replace(points);
    }
    // The axis stays 0..span until the watch is that old, then slides with it.
    axisX_->setRange(from / 1000.0, (from + kSpanMs) / 1000.0);
    axisY_->setRange(0, TripAxisTop(top, 1.15));
    NiceTripAxis(axisY_);
}

void TWatchGraph::Clear() {
    for (QLineSeries *line : lines_) {
        chart()->removeSeries(line);
        delete line;
    }
    lines_.clear();
    axisX_->setRange(0, kSpanMs / 1000.0);
    axisY_->setRange(0, TripAxisTop(0, 1.15));
    axisY_->setLabelFormat(QStringLiteral("%.0f"));
}

QString TWatchGraph::LineName(int line) const {
    return line >= 0 && line < lines_.size() ? lines_.at(line)->name() : QString();
}

int TWatchGraph::PointCount(int line) const {
    return line >= 0 && line < lines_.size() ? lines_.at(line)->count() : 0;
}
