// The shared window parts: the artwork every picture button names, and the trip-time graph that
// the main window and the settings preview draw.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLineSeries>
#include <QSplineSeries>
#include <QToolButton>
#include <QValueAxis>
#include <QWidget>

#include "common/TripTimeGraph.h"
#include "common/WindowLook.h"

namespace {

TEST(WindowLook, EveryButtonPictureIsShippedInItsSize) {
    for (const char *name :
         {"ButtonBack.png", "ButtonClose.png", "ButtonDefaults.png", "ButtonForward.png",
          "ButtonMinus.png", "ButtonOK.png", "ButtonPlus.png", "ButtonRefresh.png",
          "ButtonSend.png", "ButtonStop.png"}) {
        const QPixmap picture = ArtworkPicture(QString::fromLatin1(name));
        EXPECT_FALSE(picture.isNull()) << name;
        EXPECT_EQ(picture.size(), QSize(22, 22)) << name;
    }
    for (const char *name :
         {"ReportHtml.png", "ReportLoad.png", "ReportPageSetup.png", "ReportPdf.png",
          "ReportPrint.png", "ReportRtf.png", "ReportSave.png", "ReportSearch.png",
          "ReportZoom.png", "ReportZoomIn.png", "ReportZoomOut.png"}) {
        const QPixmap picture = ArtworkPicture(QString::fromLatin1(name));
        EXPECT_FALSE(picture.isNull()) << name;
        EXPECT_EQ(picture.size(), QSize(32, 32)) << name;
    }
    EXPECT_TRUE(ArtworkPicture(QStringLiteral("NoSuchPicture.png")).isNull());
}

TEST(WindowLook, EveryCommandIconIsInTheIconSet) {
    for (const char *name :
         {"about",    "address-info", "busy-off", "busy-on", "check-list",  "clear", "contact",
          "copy",     "cut",          "delete",   "exit",    "geolocation", "help",  "load-list",
          "paste",    "ping",         "print",    "redo",    "report",      "save",  "select-all",
          "settings", "stop",         "undo",     "update",  "watch"}) {
        const QString path = CommandIconPath(QString::fromLatin1(name));
        EXPECT_TRUE(QFile::exists(path)) << name;
        EXPECT_FALSE(CommandIcon(QString::fromLatin1(name)).pixmap(24, 24).isNull()) << name;
    }
}

TEST(WindowLook, PictureButtonShowsItsArtworkAtItsSize) {
    QWidget parent;
    QToolButton *button =
        NewPictureButton(&parent, QStringLiteral("RzBmpButton2"), QStringLiteral("ButtonOK.png"),
                         20, QStringLiteral("Apply"));
    EXPECT_EQ(button->objectName(), QStringLiteral("RzBmpButton2"));
    EXPECT_EQ(button->size(), QSize(20, 20));
    EXPECT_EQ(button->iconSize(), QSize(18, 18));
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(button->toolTip(), QStringLiteral("Apply"));
}

QLineSeries *Marks(TTripTimeGraph &graph) {
    for (QAbstractSeries *series : graph.chart()->series()) {
        if (series->objectName() == QStringLiteral("Series1Marks")) {
            return qobject_cast<QLineSeries *>(series);
        }
    }
    return nullptr;
}

QValueAxis *Axis(TTripTimeGraph &graph, Qt::Orientation orientation) {
    for (QAbstractAxis *axis : graph.Curve()->attachedAxes()) {
        if (axis->orientation() == orientation) {
            return qobject_cast<QValueAxis *>(axis);
        }
    }
    return nullptr;
}

TEST(TripTimeGraph, MarksTheFirstAndEveryTenthPoint) {
    const struct {
        int points;
        QList<int> marked;
    } cases[] = {
        {0, {}}, {1, {0}}, {10, {0}}, {11, {0, 10}}, {31, {0, 10, 20, 30}},
    };
    for (const auto &c : cases) {
        QList<QPointF> points;
        for (int i = 0; i < c.points; ++i) {
            points.append(QPointF(i, 5 + i % 7));
        }
        QList<QPointF> expected;
        for (int i : c.marked) {
            expected.append(points.at(i));
        }
        TTripTimeGraph shown(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
        shown.ShowCurve(points);
        EXPECT_EQ(Marks(shown)->points(), expected) << c.points << " shown";
        TTripTimeGraph appended(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
        for (const QPointF &point : points) {
            appended.AppendPoint(point.x(), point.y());
        }
        EXPECT_EQ(Marks(appended)->points(), expected) << c.points << " appended";
        EXPECT_EQ(appended.PointCount(), c.points);
    }
}

// Where the charts library wrote the axes' labels of `graph`, in scene coordinates.
QList<QRectF> AxisLabelRects(const TTripTimeGraph &graph) {
    QList<QRectF> rects;
    for (const QGraphicsItem *item : graph.scene()->items()) {
        const auto *text = dynamic_cast<const QGraphicsTextItem *>(item);
        if (text != nullptr && text->isVisible() && !text->toPlainText().isEmpty()) {
            rects << text->sceneBoundingRect();
        }
    }
    return rects;
}

// Points 0, 1, ... `count` - 1 at 0.05 ms, the one at `tall` at 0.067 ms.
QList<QPointF> Flat(int count, int tall) {
    QList<QPointF> points;
    for (int i = 0; i < count; ++i) {
        points << QPointF(i, i == tall ? 0.067 : 0.05);
    }
    return points;
}

TEST(TripTimeGraph, MarksStandInThePlotClearOfTheAxisLabels) {
    const struct {
        const char *name;
        QList<QPointF> points;
        double windowFrom;
        QStringList marks;
    } cases[] = {
        // Loopback times: the first mark sat over the left axis's "0.06".
        {"first point at the left edge", {{0, 0.056}, {1, 0.061}, {2, 0.058}}, 0, {"0.056"}},
        {"highest point at the left edge", {{0, 0.067}, {1, 0.021}, {2, 0.02}}, 0, {"0.067"}},
        // A slid window begins at a mark, which was cut at the chart's edge.
        {"window slid onto a mark",
         Flat(100, 40),
         40,
         {"0.067", "0.05", "0.05", "0.05", "0.05", "0.05"}},
        {"mark at the right edge",
         Flat(61, 60),
         0,
         {"0.05", "0.05", "0.05", "0.05", "0.05", "0.05", "0.067"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TTripTimeGraph graph(QStringLiteral("ProcessGraph"), QStringLiteral("Trip Time [ms]"),
                             QStringLiteral("Ping No"), nullptr);
        graph.resize(520, 182);
        graph.show();
        for (const QPointF &point : c.points) {
            graph.AppendPoint(point.x(), point.y());
        }
        graph.SetAxisRange(c.windowFrom, c.windowFrom + 60);
        QApplication::processEvents();
        EXPECT_EQ(graph.MarkTexts(), c.marks);
        const QRectF plot = graph.chart()->mapRectToScene(graph.chart()->plotArea());
        const QList<QRectF> axisLabels = AxisLabelRects(graph);
        ASSERT_GE(axisLabels.size(), 10);
        for (const QRectF &mark : graph.MarkRects()) {
            const QRectF shown = graph.chart()->mapRectToScene(mark);
            EXPECT_TRUE(plot.contains(shown)) << shown.left() << " " << plot.left();
            for (const QRectF &label : axisLabels) {
                EXPECT_FALSE(shown.intersects(label)) << shown.left() << " " << label.right();
            }
        }
    }
}

TEST(TripTimeGraph, ShownCurveResetsTheWindowAndFitsTheLeftAxis) {
    TTripTimeGraph graph(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
    graph.SetAxisRange(40, 100);
    graph.ShowCurve({{0, 12}, {2, 31}, {4, 8}});
    EXPECT_EQ(graph.AxisMinimum(), 0);
    EXPECT_EQ(graph.AxisMaximum(), 60);
    QValueAxis *left = Axis(graph, Qt::Vertical);
    ASSERT_NE(left, nullptr);
    EXPECT_LE(left->min(), 8);
    EXPECT_GE(left->max(), 31);
}

TEST(TripTimeGraph, LeftAxisRisesWithTheValuesAndClearingPutsItBack) {
    TTripTimeGraph graph(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
    QValueAxis *left = Axis(graph, Qt::Vertical);
    ASSERT_NE(left, nullptr);
    graph.AppendPoint(0, 4);
    EXPECT_EQ(left->max(), 10);
    graph.AppendPoint(1, 250);
    EXPECT_GE(left->max(), 250);
    graph.AppendPoint(2, 3);
    EXPECT_GE(left->max(), 250);  // a lower value does not shrink it
    graph.ClearPoints();
    EXPECT_EQ(graph.PointCount(), 0);
    EXPECT_EQ(Marks(graph)->count(), 0);
    EXPECT_EQ(left->min(), 0);
    EXPECT_EQ(left->max(), 10);
}

// Loopback and LAN times under a millisecond get an axis of their own scale, with labels that
// tell its ticks apart; a millisecond or more keeps the 0-10 ms axis.
TEST(TripTimeGraph, TimesUnderAMillisecondGetAnAxisOfTheirScale) {
    const struct {
        QList<double> points;
        double top;
        const char *format;
        const char *topLabel;
    } rows[] = {
        {{0.042, 0.031}, 0.1, "%.2f", "0.10"},
        {{0.35}, 1, "%.1f", "1.0"},
        {{0.042, 0.9}, 1.5, "%.1f", "1.5"},
        {{4}, 10, "%.0f", "10"},
    };
    for (const auto &row : rows) {
        TTripTimeGraph graph(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
        QValueAxis *left = Axis(graph, Qt::Vertical);
        ASSERT_NE(left, nullptr);
        for (int i = 0; i < row.points.size(); ++i) {
            graph.AppendPoint(i, row.points.at(i));
        }
        SCOPED_TRACE(row.topLabel);
        EXPECT_DOUBLE_EQ(left->max(), row.top);
        EXPECT_EQ(left->labelFormat(), QString::fromLatin1(row.format));
        EXPECT_EQ(QString::asprintf(row.format, left->max()), QString::fromLatin1(row.topLabel));
        graph.ClearPoints();
        EXPECT_EQ(left->max(), 10);
        EXPECT_EQ(left->labelFormat(), QStringLiteral("%.0f"));
    }
}

TEST(TripTimeGraph, KeepsOnlyTheLatestPointsAndTheirMarks) {
    TTripTimeGraph graph(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
    for (int i = 0; i < 5000; ++i) {
        graph.AppendPoint(i, 1 + i % 9);
    }
    EXPECT_LE(graph.PointCount(), 2 * 4 * 61);
    EXPECT_GE(graph.PointCount(), 4 * 61);
    EXPECT_EQ(graph.Curve()->points().last(), QPointF(4999, 1 + 4999 % 9));
    const double firstKept = graph.Curve()->at(0).x();
    for (const QPointF &mark : Marks(graph)->points()) {
        EXPECT_GE(mark.x(), firstKept);
        EXPECT_EQ(static_cast<int>(mark.x()) % 10, 0);
    }
}

TEST(TripTimeGraph, ColourTakesItsAlpha) {
    TTripTimeGraph graph(QStringLiteral("ProcessGraph"), QString(), QString(), nullptr);
    const QColor translucent(16, 138, 190, 161);
    graph.SetColor(translucent);
    EXPECT_EQ(graph.Color(), translucent);
    EXPECT_EQ(graph.Curve()->pen().width(), 2);
}

}  // namespace
