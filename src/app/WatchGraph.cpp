#include "app/WatchGraph.h"

#include <QChart>
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
    // No legend: the watch table marks each drawn address with its line's colour, where ten
    // names have room that a legend beside the plot does not.
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

QColor TWatchGraph::LineColor(int line) {
    return kLineColors[((line % kMaxLines) + kMaxLines) % kMaxLines];
}

void TWatchGraph::Show(const TListWatch &watch, const QList<int> &rows, qint64 now) {
    const int count = std::min<int>(kMaxLines, static_cast<int>(rows.size()));
    const auto drop = [this](QLineSeries *series) {
        chart()->removeSeries(series);
        delete series;
    };
    while (lines_.size() > count) {
        for (QLineSeries *series : lines_.takeLast()) {
            drop(series);
        }
    }
    lines_.resize(count);
    const qint64 from = std::max<qint64>(0, now - kSpanMs);
    double top = 0;
    for (int i = 0; i < count; ++i) {
        const TWatchedAddress &address = watch.At(rows.at(i));
        // The line's pieces: a request without a reply ends one.
        QList<QList<QPointF>> pieces(1);
        for (const TWatchPoint &point : address.History) {
            if (point.At < from) {
                continue;
            }
            if (!point.Trip) {
                if (!pieces.last().isEmpty()) {
                    pieces.append(QList<QPointF>());
                }
                continue;
            }
            pieces.last().append(QPointF(point.At / 1000.0, *point.Trip));
            top = std::max(top, *point.Trip);
        }
        if (pieces.size() > 1 && pieces.last().isEmpty()) {
            pieces.removeLast();
        }
        QList<QLineSeries *> &series = lines_[i];
        while (series.size() > pieces.size()) {
            drop(series.takeLast());
        }
        while (series.size() < pieces.size()) {
            auto *piece = new QLineSeries();
            piece->setPen(QPen(LineColor(i), 1.5));
            chart()->addSeries(piece);
            piece->attachAxis(axisX_);
            piece->attachAxis(axisY_);
            series.append(piece);
        }
        for (int p = 0; p < pieces.size(); ++p) {
            series.at(p)->setName(address.Address);
            series.at(p)->replace(pieces.at(p));
        }
    }
    // The axis stays 0..span until the watch is that old, then slides with it.
    axisX_->setRange(from / 1000.0, (from + kSpanMs) / 1000.0);
    axisY_->setRange(0, TripAxisTop(top, 1.15));
    NiceTripAxis(axisY_);
}

void TWatchGraph::Clear() {
    for (const QList<QLineSeries *> &line : lines_) {
        for (QLineSeries *series : line) {
            chart()->removeSeries(series);
            delete series;
        }
    }
    lines_.clear();
    axisX_->setRange(0, kSpanMs / 1000.0);
    axisY_->setRange(0, TripAxisTop(0, 1.15));
    axisY_->setLabelFormat(QStringLiteral("%.0f"));
}

QString TWatchGraph::LineName(int line) const {
    return line >= 0 && line < lines_.size() ? lines_.at(line).first()->name() : QString();
}

int TWatchGraph::PointCount(int line) const {
    int points = 0;
    for (const QLineSeries *series : lines_.value(line)) {
        points += series->count();
    }
    return points;
}

int TWatchGraph::SegmentCount(int line) const {
    return static_cast<int>(lines_.value(line).size());
}
