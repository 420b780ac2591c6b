#include "reports/ReportBody.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>

#include "common/TX_Edit.h"
#include "reports/ReportEngine.h"

QString ReportRuleLine() {
    return QString(92, QLatin1Char('_'));
}

ReportLineStyle ClassifyReportLine(const QString &line) {
    ReportLineStyle style;
    style.text = line;
    style.format.setFontFamilies({QStringLiteral("Arial")});
    style.format.setFontPointSize(12);
    style.format.setFontWeight(QFont::Normal);
    style.format.setFontItalic(false);
    style.format.setFontUnderline(false);
    style.format.setFontStrikeOut(false);
    style.format.setForeground(QColor(54, 54, 54));

    // Case-sensitive on purpose: the words are those the ping run writes, and a host name that
    // merely contains "date" in lower case must not change the look of its reply line.
    if (line.contains(QLatin1String("Date"))) {
        style.format.setFontPointSize(10);
        style.emptyLinesAfter = 1;
    }
    if (line.contains(QLatin1String("Pinging")) || line.contains(QLatin1String("statistics")) ||
        line.contains(QLatin1String("round")) || line.startsWith(QLatin1String("Tracing route"))) {
        style.format.setFontWeight(QFont::Bold);
    }
    if (line.contains(QLatin1String("Reply"))) {
        style.text = QStringLiteral("  ") + line;
    }
    // A traced route's block ends with its round count, as a run's ends with its trip times.
    if (line.contains(QLatin1String("Minimum")) || line.startsWith(QLatin1String("Rounds: "))) {
        style.emptyLinesAfter += 2;
        style.ruleAfter = true;
    }
    return style;
}

namespace {

constexpr double kHopTablePoints = 9;
constexpr double kLeastHopTablePoints = 6;

QFont HopTableFont(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("monospace")});
    font.setFixedPitch(true);
    font.setPointSizeF(points);
    return font;
}

// The size of a traced route's hop table: 9 pt, or less where its widest line would not fit the
// report's body at that size, since a wrapped table row loses its columns; down to 6 pt, below
// which the rows wrap rather than become unreadable.
double HopTablePoints(const QStringList &table) {
    // Measured as the report lays the body out, at 96 dots per inch, with a little room to spare:
    // the layout's design metrics run slightly wider than the screen's.
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    device.setDotsPerMeterX(qRound(kReportDpi / 0.0254));
    device.setDotsPerMeterY(qRound(kReportDpi / 0.0254));
    const TReportTemplate page = PingReportTemplate();
    const double room = 0.97 * (MmToPx(page.bodyRectMm.width()) - 2 * page.bodyGapXPx);
    // Half a point at a time, since font sizes do not scale the text's width exactly.
    double points = kHopTablePoints;
    for (; points > kLeastHopTablePoints; points -= 0.5) {
        const QFontMetricsF metrics(HopTableFont(points), &device);
        double widest = 0;
        for (const QString &line : table) {
            widest = std::max(widest, metrics.horizontalAdvance(line));
        }
        if (widest <= room) {
            break;
        }
    }
    return points;
}

}  // namespace

void BuildReportBody(const QStringList &lines, QTextDocument &body) {
    body.clear();
    QTextCursor cursor(&body);
    QTextBlockFormat paragraph;
    paragraph.setRightMargin(0);
    bool first = true;
    const auto append = [&](const QString &text, const QTextCharFormat &format) {
        // Added as plain text with an explicit format: HTML would collapse the double blanks
        // of the reply lines.
        if (first) {
            cursor.setBlockFormat(paragraph);
            cursor.setBlockCharFormat(format);
            first = false;
        } else {
            cursor.insertBlock(paragraph, format);
        }
        cursor.insertText(text, format);
    };
    // The hop table of a traced route, from its heading to the blank line after it, keeps its
    // columns in a fixed-pitch font.
    bool hopTable = false;
    double hopTablePoints = kHopTablePoints;
    for (int index = 0; index < lines.size(); ++index) {
        const QString &line = lines.at(index);
        ReportLineStyle style = ClassifyReportLine(line);
        if (line.startsWith(QLatin1String("Hop  Address"))) {
            hopTable = true;
            int end = index;
            while (end < lines.size() && !lines.at(end).isEmpty()) {
                ++end;
            }
            hopTablePoints = HopTablePoints(lines.mid(index, end - index));
        } else if (line.isEmpty()) {
            hopTable = false;
        }
        if (hopTable) {
            style.format.setFontFamilies(HopTableFont(hopTablePoints).families());
            style.format.setFontFixedPitch(true);
            style.format.setFontPointSize(hopTablePoints);
        }
        append(style.text, style.format);
        int emptyLines = style.emptyLinesAfter;
        for (int i = 0; i < emptyLines; ++i) {
            append(QString(), style.format);
        }
        if (style.ruleAfter) {
            // The rule is wider than the body; kept on one line and cut at the body's edge it
            // reads as a rule across the page instead of a line and a stub.
            QTextBlockFormat rule = paragraph;
            rule.setNonBreakableLines(true);
            cursor.insertBlock(rule, style.format);
            cursor.insertText(ReportRuleLine(), style.format);
            append(QString(), style.format);
        }
    }
}

TPingDataSet::TPingDataSet() {
    resultData_.setUndoRedoEnabled(false);
}

void TPingDataSet::WriteResultData(const QTextDocument &body) {
    ReplaceDocumentContent(body, resultData_);
    hasRecord_ = true;
}

TPingDataSet &PingDataSet() {
    static TPingDataSet dataSet;
    return dataSet;
}

void CreateReportBody(const QTextDocument &resultsPane, QTextDocument &scratch,
                      TPingDataSet &store) {
    BuildReportBody(PaneLines(&resultsPane), scratch);
    store.WriteResultData(scratch);
}

void ReplaceDocumentContent(const QTextDocument &source, QTextDocument &target) {
    if (&source == &target) {
        return;
    }
    target.clear();
    target.setDefaultFont(source.defaultFont());
    if (source.isEmpty()) {
        return;
    }
    QTextCursor all(const_cast<QTextDocument *>(&source));
    all.select(QTextCursor::Document);
    // Inserting a fragment merges its first paragraph into the one at the cursor, so that
    // paragraph's own formats are carried over first.
    const QTextBlock firstBlock = source.begin();
    QTextCursor cursor(&target);
    cursor.setBlockFormat(firstBlock.blockFormat());
    cursor.setBlockCharFormat(firstBlock.charFormat());
    cursor.insertFragment(all.selection());
}
