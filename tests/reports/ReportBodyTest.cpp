#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>

#include "reports/ReportBody.h"
#include "reports/ReportSamples.h"

namespace {

struct Paragraph {
    QString text;
    double points;
    bool bold;
};

// The body's paragraphs with the format of their text.
QList<Paragraph> Paragraphs(const QTextDocument &body) {
    QList<Paragraph> paragraphs;
    for (QTextBlock block = body.begin(); block.isValid(); block = block.next()) {
        const QTextCharFormat format =
            block.begin().atEnd() ? block.charFormat() : block.begin().fragment().charFormat();
        paragraphs.append(
            {block.text(), format.fontPointSize(), format.fontWeight() >= QFont::Bold});
    }
    return paragraphs;
}

QStringList Texts(const QTextDocument &body) {
    QStringList texts;
    for (const Paragraph &p : Paragraphs(body)) {
        texts << p.text;
    }
    return texts;
}

}  // namespace

TEST(ReportBody, ClassifiesEachLineByCaseSensitiveWords) {
    struct Case {
        const char *line;
        const char *printed;
        double points;
        bool bold;
        int emptyAfter;
        bool rule;
    };
    const Case cases[] = {
        {"Date: 09.12.2026\tTime: 14:03:07.051 ms", "Date: 09.12.2026\tTime: 14:03:07.051 ms", 10,
         false, 1, false},
        {"Expiry Date unknown", "Expiry Date unknown", 10, false, 1, false},  // "Date" anywhere
        {"Updated list", "Updated list", 12, false, 0, false},
        {"Pinging alpha with 32 bytes of data:", "Pinging alpha with 32 bytes of data:", 12, true,
         0, false},
        {"Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57",
         "  Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57", 12, false, 0, false},
        {"Reply from 10.0.0.1:  Bytes=32  Time=<1 ms  TTL=57",
         "  Reply from 10.0.0.1:  Bytes=32  Time=<1 ms  TTL=57", 12, false, 0, false},
        {"Reply from playground.example: Error processing request",
         "  Reply from playground.example: Error processing request", 12, true, 0, false},
        {"Reply from update.example: Error processing request",
         "  Reply from update.example: Error processing request", 12, false, 0, false},
        {"Ping statistics for alpha; IPv4 - 10.0.0.1", "Ping statistics for alpha; IPv4 - 10.0.0.1",
         12, true, 0, false},
        // IPv6 runs: the same words, so the same layout.
        {"Reply from fd7a:5ee::1:  Bytes=32  Time=<1 ms  TTL=64",
         "  Reply from fd7a:5ee::1:  Bytes=32  Time=<1 ms  TTL=64", 12, false, 0, false},
        {"Ping statistics for six.test; IPv6 - fd7a:5ee::1",
         "Ping statistics for six.test; IPv6 - fd7a:5ee::1", 12, true, 0, false},
        {"Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]",
         "Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]", 12, false, 0, false},
        {"Approximate round trip times in milli-seconds:",
         "Approximate round trip times in milli-seconds:", 12, true, 0, false},
        {"Minimum = 0 ms, Maximum = 23 ms, Average = 16 ms",
         "Minimum = 0 ms, Maximum = 23 ms, Average = 16 ms", 12, false, 2, true},
        {"PINGING ROUND STATISTICS", "PINGING ROUND STATISTICS", 12, false, 0, false},
        {"", "", 12, false, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        const ReportLineStyle style = ClassifyReportLine(QString::fromUtf8(c.line));
        EXPECT_EQ(style.text, QString::fromUtf8(c.printed));
        EXPECT_EQ(style.format.fontPointSize(), c.points);
        EXPECT_EQ(style.format.fontWeight() >= QFont::Bold, c.bold);
        EXPECT_EQ(style.format.fontFamilies().toStringList(), QStringList{"Arial"});
        EXPECT_EQ(style.format.foreground().color(), QColor(54, 54, 54));
        EXPECT_FALSE(style.format.fontItalic());
        EXPECT_EQ(style.emptyLinesAfter, c.emptyAfter);
        EXPECT_EQ(style.ruleAfter, c.rule);
    }
}

TEST(ReportBody, OneRunBecomesFormattedParagraphsEndingInTheRule) {
    QTextDocument body;
    BuildReportBody(PingRunLines(QStringLiteral("alpha"), QStringLiteral("10.0.0.1"), 2), body);
    const QList<Paragraph> paragraphs = Paragraphs(body);
    const QString rule(92, QLatin1Char('_'));
    const QList<Paragraph> expected = {
        {"Date: 09.12.2026\tTime: 14:00:07.051 ms", 10, false},
        {"", 10, false},
        {"Pinging alpha with 32 bytes of data:", 12, true},
        {"", 12, false},
        {"  Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57", 12, false},
        {"  Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57", 12, false},
        {"", 12, false},
        {"Ping statistics for alpha; IPv4 - 10.0.0.1", 12, true},
        {"Packets: Sent = 2, Received = 2, Lost = 0 [ 0% loss ]", 12, false},
        {"", 12, false},
        {"Approximate round trip times in milli-seconds:", 12, true},
        {"Minimum = 20 ms, Maximum = 26 ms, Average = 23 ms", 12, false},
        {"", 12, false},
        {"", 12, false},
        {rule, 12, false},
        {"", 12, false},
        {"", 12, false},
        {"", 12, false},
    };
    ASSERT_EQ(paragraphs.size(), expected.size()) << Texts(body).join("|").toStdString();
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(paragraphs[i].text, expected[i].text);
        EXPECT_EQ(paragraphs[i].points, expected[i].points);
        EXPECT_EQ(paragraphs[i].bold, expected[i].bold);
    }
    EXPECT_EQ(rule.size(), 92);
}

// A traced route's block: its heading bold like a run's, the hop table in a fixed-pitch font so
// that its columns stay aligned, and the round count closing the block with the rule.
TEST(ReportBody, ATracedRouteKeepsItsColumnsAndEndsInTheRule) {
    const QStringList lines = {
        QStringLiteral("Date: 11.12.2026\tTime: 02:30:00.000 ms"),
        QStringLiteral("Tracing route to example.test [192.0.2.7] over a maximum of 30 hops:"),
        QString(),
        QStringLiteral("Hop  Address                                       Sent  Loss    Last"),
        QStringLiteral("  1  gw.test [10.1.0.1]                               2    0%    0.09"),
        QStringLiteral("  2  ???                                              2  100%       -"),
        QString(),
        QStringLiteral("Rounds: 2"),
    };
    QTextDocument body;
    BuildReportBody(lines, body);
    const QList<Paragraph> paragraphs = Paragraphs(body);
    const QString rule(92, QLatin1Char('_'));
    const QList<Paragraph> expected = {
        {lines[0], 10, false}, {"", 10, false},      {lines[1], 12, true}, {"", 12, false},
        {lines[3], 9, false},  {lines[4], 9, false}, {lines[5], 9, false}, {"", 12, false},
        {lines[7], 12, false}, {"", 12, false},      {"", 12, false},      {rule, 12, false},
        {"", 12, false},
    };
    ASSERT_EQ(paragraphs.size(), expected.size()) << Texts(body).join("|").toStdString();
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(paragraphs[i].text, expected[i].text);
        EXPECT_EQ(paragraphs[i].points, expected[i].points);
        EXPECT_EQ(paragraphs[i].bold, expected[i].bold);
    }
    // Only the table is fixed-pitch.
    int fixed = 0;
    for (QTextBlock block = body.begin(); block.isValid(); block = block.next()) {
        if (!block.begin().atEnd() && block.begin().fragment().charFormat().fontFixedPitch()) {
            ++fixed;
        }
    }
    EXPECT_EQ(fixed, 3);
}

TEST(ReportBody, TwoRunsGiveTwoRules) {
    QTextDocument body;
    BuildReportBody(PingRunsLines(2), body);
    EXPECT_EQ(Texts(body).count(ReportRuleLine()), 2);
    EXPECT_EQ(ReportRuleLine(), QString(92, QLatin1Char('_')));
}

TEST(ReportBody, EachCreateReplacesTheStoredBody) {
    QTextDocument pane;
    QTextDocument scratch;
    TPingDataSet store;
    EXPECT_FALSE(store.HasRecord());

    FillPane(pane, PingRunLines(QStringLiteral("first"), QStringLiteral("10.0.0.1"), 1));
    CreateReportBody(pane, scratch, store);
    EXPECT_TRUE(store.HasRecord());
    EXPECT_TRUE(store.ResultData()->toPlainText().contains(QStringLiteral("first")));

    FillPane(pane, PingRunLines(QStringLiteral("second"), QStringLiteral("10.0.0.2"), 1));
    CreateReportBody(pane, scratch, store);
    const QString stored = store.ResultData()->toPlainText();
    EXPECT_FALSE(stored.contains(QStringLiteral("first")));
    EXPECT_TRUE(stored.startsWith(QStringLiteral("Date: ")));
    EXPECT_EQ(Texts(*store.ResultData()).count(ReportRuleLine()), 1);
    // The stored copy keeps the formats of the scratch body.
    EXPECT_EQ(Paragraphs(*store.ResultData()).at(2).bold, true);
    EXPECT_EQ(Paragraphs(*store.ResultData()).at(0).points, 10);

    FillPane(pane, {});
    CreateReportBody(pane, scratch, store);
    EXPECT_TRUE(store.ResultData()->isEmpty());
}

TEST(ReportBody, PaneColoursAndFontsAreDropped) {
    QTextDocument pane;
    QTextCursor cursor(&pane);
    QTextCharFormat loud;
    loud.setForeground(Qt::red);
    loud.setFontPointSize(30);
    loud.setFontItalic(true);
    cursor.insertText(QStringLiteral("Packets: Sent = 1"), loud);
    QTextDocument scratch;
    TPingDataSet store;
    CreateReportBody(pane, scratch, store);
    const QTextCharFormat format = store.ResultData()->begin().begin().fragment().charFormat();
    EXPECT_EQ(format.foreground().color(), QColor(54, 54, 54));
    EXPECT_EQ(format.fontPointSize(), 12);
    EXPECT_FALSE(format.fontItalic());
}
