#include "common/TripTimeGraph.h"

#include <QAbstractAxis>
#include <QChart>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QSplineSeries>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "common/WindowLook.h"

namespace {

const QColor kChartBackground = LookMainPaneColor();
const QColor kPlotBackground(40, 40, 40);
const QColor kChartText = LookTextColor();
const QColor kGridLine(70, 70, 70);

// The graph's visible window is 61 positions wide and starts at 0; a run slides it.
constexpr double kWindowMaximum = 60;
// Marks are drawn on the first point and then on every 10th one, so the values stay legible.
constexpr int kMarkEvery = 10;
// Points that slid out of the window are dropped, a batch at a time, once the graph holds twice
// this many: an address watched for hours must not make each new point dearer (the curve is
// recomputed over all its points) nor keep memory for what is never shown again. Four windows'
// worth stay, so the curve enters the window as it always did.
constexpr int kKeptPoints = 4 * 61;
// The left axis of an empty graph, and its number of ticks.
constexpr double kEmptyTop = 10;
constexpr int kLeftTicks = 6;

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

double TripAxisTop(double highest, double headroom) {
    if (highest <= 0) {
        return kEmptyTop;
    }
    const double decade = std::min(kEmptyTop, std::pow(10.0, std::ceil(std::log10(highest))));
    return std::max(decade, highest * headroom);
}

void NiceTripAxis(QValueAxis *axis) {
    axis->applyNiceNumbers();
    const double step = (axis->max() - axis->min()) / std::max(1, axis->tickCount() - 1);
    int decimals = 0;
    while (decimals < 4 && std::fabs(step * std::pow(10.0, decimals) -
                                     std::round(step * std::pow(10.0, decimals))) > 1e-6) {
        ++decimals;
    }
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

void StyleDarkChart(QChart *chart) {
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

void StyleDarkChartAxis(QAbstractAxis *axis) {
    axis->setLabelsBrush(kChartText);
    axis->setLabelsFont(WindowFont(7));
    axis->setTitleBrush(kChartText);
    axis->setTitleFont(WindowFont(8));
    axis->setGridLineColor(kGridLine);
    axis->setLinePenColor(kGridLine);
}

void StyleDarkChartView(QChartView *view, const QString &objectName) {
    view->setObjectName(objectName);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundBrush(kChartBackground);
    view->setFocusPolicy(Qt::NoFocus);
    view->setMinimumSize(40, LeastChartHeight(view->chart()));
}

int LeastChartHeight(const QChart *chart) {
    // The charts library gives the axes along the bottom at most 40 % of the chart's height;
    // an axis that needs more is squeezed and its labels are cut down to "...". So the plot
    // needs 2.5 times the bottom axes' height, with a margin for the library's rounding, below
    // the title line.
    constexpr double kBottomAxisShare = 0.4;
    constexpr int kAxisPadding = 20;  // around the labels and the axis title
    constexpr int kTitlePadding = 12;
    const int labelHeight = QFontMetrics(WindowFont(7)).height();
    const int titleHeight = QFontMetrics(WindowFont(8)).height();
    int bottomAxes = 0;
    for (const QAbstractAxis *axis : chart->axes(Qt::Horizontal)) {
        if (axis->isVisible() && (axis->alignment() & Qt::AlignBottom)) {
            bottomAxes +=
                labelHeight + kAxisPadding + (axis->titleText().isEmpty() ? 0 : titleHeight);
        }
    }
    const int title = chart->title().isEmpty() ? 0 : titleHeight + kTitlePadding;
    const int margins = chart->margins().top() + chart->margins().bottom();
    return title + margins + static_cast<int>(std::ceil(bottomAxes / kBottomAxisShare)) + 4;
}

TTripTimeGraph::TTripTimeGraph(const QString &objectName, const QString &title,
                               const QString &axisTitle, QWidget *parent)
    : QChartView(new QChart(), parent) {
    curve_ = new QSplineSeries();
    curve_->setObjectName(QStringLiteral("Series1"));
    curve_->setMarkerSize(9);
    // The marks are a series of their own that draws nothing; their values are text items of
    // the graph's own, because the charts library centres a point's label over the point
    // whatever is there: on the first points it lay over the left axis's labels or was cut at
    // the chart's edge.
    marks_ = new QLineSeries();
    marks_->setObjectName(QStringLiteral("Series1Marks"));
    marks_->setPen(QPen(Qt::NoPen));
    QChart *graph = chart();
    StyleDarkChart(graph);
    graph->setTitle(title);
    graph->addSeries(curve_);
    graph->addSeries(marks_);
    axisX_ = new QValueAxis();
    axisX_->setTitleText(axisTitle);
    axisX_->setLabelFormat(QStringLiteral("%.0f"));
    axisX_->setRange(0, kWindowMaximum);
    axisX_->setTickCount(7);
    StyleDarkChartAxis(axisX_);
    axisY_ = new QValueAxis();
    axisY_->setLabelFormat(QStringLiteral("%.0f"));
    axisY_->setRange(0, kEmptyTop);
    axisY_->setTickCount(kLeftTicks);
    StyleDarkChartAxis(axisY_);
    graph->addAxis(axisX_, Qt::AlignBottom);
    graph->addAxis(axisY_, Qt::AlignLeft);
    for (QXYSeries *series : {static_cast<QXYSeries *>(curve_), static_cast<QXYSeries *>(marks_)}) {
        series->attachAxis(axisX_);
        series->attachAxis(axisY_);
    }
    StyleDarkChartView(this, objectName);
    // The marks follow their points wherever the plot moves: a resize, a new scale, the window
    // sliding or panned.
    connect(graph, &QChart::plotAreaChanged, this, [this] { PlaceMarkLabels(); });
    for (QValueAxis *axis : {axisX_, axisY_}) {
        connect(axis, &QValueAxis::rangeChanged, this, [this] { PlaceMarkLabels(); });
    }
}

void TTripTimeGraph::AppendPoint(double x, double y) {
    if (appended_ % kMarkEvery == 0) {
        marks_->append(x, y);
    }
    ++appended_;
    curve_->append(x, y);
    if (curve_->count() > 2 * kKeptPoints) {
        curve_->removePoints(0, curve_->count() - kKeptPoints);
        const double firstKept = curve_->at(0).x();
        int oldMarks = 0;
        while (oldMarks < marks_->count() && marks_->at(oldMarks).x() < firstKept) {
            ++oldMarks;
        }
        marks_->removePoints(0, oldMarks);
    }
    FitLeftAxis(y);
    PlaceMarkLabels();
}

void TTripTimeGraph::ClearPoints() {
    curve_->clear();
    marks_->clear();
    appended_ = 0;
    top_ = 0;
    axisY_->setRange(0, kEmptyTop);
    axisY_->setTickCount(kLeftTicks);
    axisY_->setLabelFormat(QStringLiteral("%.0f"));
    PlaceMarkLabels();
}

void TTripTimeGraph::ShowCurve(const QList<QPointF> &points) {
    curve_->replace(points);
    QList<QPointF> marked;
    for (int i = 0; i < points.size(); i += kMarkEvery) {
        marked.append(points.at(i));
    }
    marks_->replace(marked);
    appended_ = points.size();
    axisX_->setRange(0, kWindowMaximum);  // undoes any panning
    if (points.isEmpty()) {
        PlaceMarkLabels();
        return;
    }
    const auto [low, high] =
        std::minmax_element(points.cbegin(), points.cend(),
                            [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    top_ = high->y();
    axisY_->setTickCount(kLeftTicks);
    axisY_->setRange(low->y(), high->y());
    NiceTripAxis(axisY_);
    PlaceMarkLabels();
}

double TTripTimeGraph::AxisMinimum() const {
    return axisX_->min();
}

double TTripTimeGraph::AxisMaximum() const {
    return axisX_->max();
}

void TTripTimeGraph::SetAxisRange(double minimum, double maximum) {
    axisX_->setRange(minimum, maximum);
}

void TTripTimeGraph::SetColor(const QColor &color) {
    QPen pen(color);
    pen.setWidth(2);
    curve_->setPen(pen);
    curve_->setLightMarker(DiamondMarker(color));
}

QColor TTripTimeGraph::Color() const {
    return curve_->pen().color();
}

int TTripTimeGraph::PointCount() const {
    return curve_->count();
}

void TTripTimeGraph::FitLeftAxis(double y) {
    if (y <= top_) {
        return;
    }
    top_ = y;
    axisY_->setRange(0, TripAxisTop(top_, 1.2));
    NiceTripAxis(axisY_);
}

void TTripTimeGraph::PlaceMarkLabels() {
    QChart *graph = chart();
    while (markLabels_.size() < marks_->count()) {
        auto *label = new QGraphicsSimpleTextItem(graph);
        label->setFont(WindowFont(7));
        label->setBrush(kChartText);
        label->setZValue(100);  // over the curve and its diamonds
        markLabels_.append(label);
    }
    while (markLabels_.size() > marks_->count()) {
        delete markLabels_.takeLast();
    }
    const QRectF plot = graph->plotArea();
    constexpr double kGap = 2;  // between a point and its value
    for (int i = 0; i < markLabels_.size(); ++i) {
        QGraphicsSimpleTextItem *label = markLabels_.at(i);
        const QPointF value = marks_->at(i);
        const QString text = QString::number(value.y(), 'g', 6);
        if (label->text() != text) {
            label->setText(text);
        }
        if (value.x() < axisX_->min() || value.x() > axisX_->max() || plot.isEmpty()) {
            label->hide();
            continue;
        }
        const QPointF at = graph->mapToPosition(value, curve_);
        const QSizeF size = label->boundingRect().size();
        double left = at.x() - size.width() / 2;
        left = std::max(plot.left() + 1, std::min(left, plot.right() - size.width() - 1));
        double top = at.y() - kGap - size.height();
        if (top < plot.top()) {
            top = at.y() + kGap + 4;  // below the point's diamond instead
        }
        label->setPos(left, top);
        label->show();
    }
}

QStringList TTripTimeGraph::MarkTexts() const {
    QStringList texts;
    for (const QGraphicsSimpleTextItem *label : markLabels_) {
        if (label->isVisible()) {
            texts.append(label->text());
        }
    }
    return texts;
}

QList<QRectF> TTripTimeGraph::MarkRects() const {
    QList<QRectF> rects;
    for (const QGraphicsSimpleTextItem *label : markLabels_) {
        if (label->isVisible()) {
            rects.append(label->mapRectToParent(label->boundingRect()));
        }
    }
    return rects;
}

void TTripTimeGraph::mousePressEvent(QMouseEvent *event) {
    if (panning_ && event->button() == Qt::LeftButton) {
        dragging_ = true;
        lastX_ = event->position().x();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TTripTimeGraph::mouseMoveEvent(QMouseEvent *event) {
    if (dragging_) {
        const qreal x = event->position().x();
        chart()->scroll(lastX_ - x, 0);
        lastX_ = x;
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void TTripTimeGraph::mouseReleaseEvent(QMouseEvent *event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TTripTimeGraph::wheelEvent(QWheelEvent *event) {
    if (panning_) {
        event->ignore();
        return;
    }
    QChartView::wheelEvent(event);
}
