#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "common/TX_Edit.h"

namespace {

// Colours of the fragments of one block (one entry per fragment).
QList<QColor> BlockColours(const QTextBlock &block) {
    QList<QColor> colours;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        colours << it.fragment().charFormat().foreground().color();
    }
    return colours;
}

class ResultWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        SelectedResultMemo = &pane;
        ResultsFontColor = Qt::red;
    }
    void TearDown() override {
        SelectedResultMemo = nullptr;
        SetResultScroller({});
    }
    QTextDocument pane;
};

}  // namespace

TEST_F(ResultWriter, AppendsEachLineUnchangedInTheColourCurrentWhenWritten) {
    WriteReport(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"));
    ResultsFontColor = Qt::blue;
    WriteReport(QStringLiteral("Date: 09.12.2018\tTime: 14:03:07.051 ms"));
    WriteReport(QStringLiteral("<b>not html</b> &amp;"));

    EXPECT_EQ(PaneLines(&pane),
              QStringList({QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"),
                           QStringLiteral("Date: 09.12.2018\tTime: 14:03:07.051 ms"),
                           QStringLiteral("<b>not html</b> &amp;")}));
    EXPECT_EQ(BlockColours(pane.findBlockByNumber(0)), QList<QColor>({QColor(Qt::red)}));
    EXPECT_EQ(BlockColours(pane.findBlockByNumber(1)), QList<QColor>({QColor(Qt::blue)}));
    EXPECT_EQ(BlockColours(pane.findBlockByNumber(2)), QList<QColor>({QColor(Qt::blue)}));
}

TEST_F(ResultWriter, KeepsEmptyLinesAtTheStartTheMiddleAndTheEnd) {
    const QStringList lines = {QString(), QStringLiteral("a"), QString(),
                               QString(), QStringLiteral("b"), QString()};
    for (const QString &line : lines) {
        WriteReport(line);
    }
    EXPECT_EQ(PaneLines(&pane), lines);
}

TEST_F(ResultWriter, NeverJoinsALineThatIsStillOpen) {
    pane.setPlainText(QStringLiteral("typed\nby hand"));
    WriteReport(QStringLiteral("first"));
    WriteReport(QStringLiteral("second"));
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("typed"), QStringLiteral("by hand"),
                                             QStringLiteral("first"), QStringLiteral("second")}));
}

TEST_F(ResultWriter, KeepsALineBreakInsideTheTextOnOneLine) {
    WriteReport(QStringLiteral("a\nb"));
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("a b")}));
}

TEST_F(ResultWriter, AsksThePaneToScrollAfterEveryLine) {
    QList<QTextDocument *> scrolled;
    SetResultScroller([&](QTextDocument *document) { scrolled << document; });
    WriteReport(QStringLiteral("one"));
    WriteReport(QString());
    EXPECT_EQ(scrolled, QList<QTextDocument *>({&pane, &pane}));
}

TEST_F(ResultWriter, WriteResultWritesTheLineBufferAndKeepsIt) {
    ResultString = QStringLiteral("buffered");
    WriteResult();
    WriteResult();
    EXPECT_EQ(ResultString, QStringLiteral("buffered"));
    EXPECT_EQ(PaneLines(&pane),
              QStringList({QStringLiteral("buffered"), QStringLiteral("buffered")}));
}

TEST_F(ResultWriter, WritesNothingWithoutAPane) {
    SelectedResultMemo = nullptr;
    bool scrolled = false;
    SetResultScroller([&](QTextDocument *) { scrolled = true; });
    WriteReport(QStringLiteral("lost"));
    EXPECT_FALSE(scrolled);
    EXPECT_TRUE(pane.isEmpty());
    EXPECT_TRUE(PaneLines(&pane).isEmpty());
}

TEST_F(ResultWriter, ABatchScrollsOnceWhenItEndsAndIsOneUndoStep) {
    QList<int> linesAtScroll;
    SetResultScroller(
        [&](QTextDocument *document) { linesAtScroll << PaneLines(document).size(); });
    WriteReport(QStringLiteral("before"));
    {
        const TResultBatch outer(&pane);
        WriteReport(QStringLiteral("one"));
        {
            const TResultBatch inner(&pane);
            WriteReport(QStringLiteral("two"));
        }
        WriteReport(QStringLiteral("three"));
        EXPECT_EQ(linesAtScroll, QList<int>({1}));
    }
    EXPECT_EQ(linesAtScroll, QList<int>({1, 4}));
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("before"), QStringLiteral("one"),
                                             QStringLiteral("two"), QStringLiteral("three")}));
    pane.undo();
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("before")}));

    // A batch on another pane, or one in which nothing was written, does not hold this pane
    // back nor scroll anything.
    QTextDocument other;
    {
        const TResultBatch elsewhere(&other);
        WriteReport(QStringLiteral("direct"));
    }
    { const TResultBatch empty(&pane); }
    EXPECT_EQ(linesAtScroll, QList<int>({1, 4, 2}));
}
