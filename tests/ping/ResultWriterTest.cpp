#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <functional>

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
    void TearDown() override { SetResultScroller({}); }
    // Writes one line to the pane in the colour the test set last.
    void Write(const QString &text) { WriteReport(target, text); }
    QTextDocument pane;
    TResultTarget target{&pane, Qt::red};
};

}  // namespace

TEST_F(ResultWriter, AppendsEachLineUnchangedInTheColourCurrentWhenWritten) {
    Write(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"));
    target.Color = Qt::blue;
    Write(QStringLiteral("Date: 09.12.2018\tTime: 14:03:07.051 ms"));
    Write(QStringLiteral("<b>not html</b> &amp;"));

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
        Write(line);
    }
    EXPECT_EQ(PaneLines(&pane), lines);
}

TEST_F(ResultWriter, NeverJoinsALineThatIsStillOpen) {
    pane.setPlainText(QStringLiteral("typed\nby hand"));
    Write(QStringLiteral("first"));
    Write(QStringLiteral("second"));
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("typed"), QStringLiteral("by hand"),
                                             QStringLiteral("first"), QStringLiteral("second")}));
}

TEST_F(ResultWriter, KeepsALineBreakInsideTheTextOnOneLine) {
    Write(QStringLiteral("a\nb"));
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("a b")}));
}

TEST_F(ResultWriter, AsksThePaneToScrollAfterEveryLine) {
    QList<QTextDocument *> scrolled;
    SetResultScroller([&](QTextDocument *document) { scrolled << document; });
    Write(QStringLiteral("one"));
    Write(QString());
    EXPECT_EQ(scrolled, QList<QTextDocument *>({&pane, &pane}));
}

TEST_F(ResultWriter, WritesNothingWithoutAPane) {
    target.Document = nullptr;
    bool scrolled = false;
    SetResultScroller([&](QTextDocument *) { scrolled = true; });
    Write(QStringLiteral("lost"));
    EXPECT_FALSE(scrolled);
    EXPECT_TRUE(pane.isEmpty());
    EXPECT_TRUE(PaneLines(&pane).isEmpty());
}

TEST_F(ResultWriter, ABatchScrollsOnceWhenItEnds) {
    QList<int> linesAtScroll;
    SetResultScroller(
        [&](QTextDocument *document) { linesAtScroll << PaneLines(document).size(); });
    Write(QStringLiteral("before"));
    {
        const TResultBatch outer(&pane);
        Write(QStringLiteral("one"));
        {
            const TResultBatch inner(&pane);
            Write(QStringLiteral("two"));
        }
        Write(QStringLiteral("three"));
        EXPECT_EQ(linesAtScroll, QList<int>({1}));
    }
    EXPECT_EQ(linesAtScroll, QList<int>({1, 4}));
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("before"), QStringLiteral("one"),
                                             QStringLiteral("two"), QStringLiteral("three")}));
    pane.undo();  // the lines of a batch are no undo step either
    EXPECT_EQ(PaneLines(&pane), QStringList({QStringLiteral("before"), QStringLiteral("one"),
                                             QStringLiteral("two"), QStringLiteral("three")}));

    // A batch on another pane, or one in which nothing was written, does not hold this pane
    // back nor scroll anything.
    QTextDocument other;
    {
        const TResultBatch elsewhere(&other);
        Write(QStringLiteral("direct"));
    }
    { const TResultBatch empty(&pane); }
    EXPECT_EQ(linesAtScroll, QList<int>({1, 4, 5}));
}

namespace {

// What a user does to a pane: edits through a cursor of the pane's document, as the pane's own
// editing does. Select marks `length` characters from character `from` of line `line`.
QTextCursor Select(QTextDocument &pane, int line, int from, int length) {
    QTextCursor cursor(pane.findBlockByNumber(line));
    cursor.setPosition(cursor.position() + from);
    cursor.setPosition(cursor.position() + length, QTextCursor::KeepAnchor);
    return cursor;
}

void TypeAtEnd(QTextDocument &pane, const QString &text) {
    QTextCursor cursor(&pane);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

void Replace(QTextDocument &pane, int line, int from, int length, const QString &text) {
    Select(pane, line, from, length).insertText(text);
}

void Delete(QTextDocument &pane, int line, int from, int length) {
    Select(pane, line, from, length).removeSelectedText();
}

}  // namespace

// Undo and Redo take back what the user changed in a pane, however many lines were written
// before and after the change; the written lines themselves are never undone, and leave no
// trace in the pane's undo history, whose length a long watch would otherwise add to forever.
TEST(ResultWriterUndo, UndoTakesBackTheUsersEditsAndNeverTheWrittenLines) {
    struct Case {
        const char *name;
        std::function<void(QTextDocument &)> steps;  // after "one" and "two" were written
        QStringList expected;
    };
    const auto write = [](QTextDocument &pane, const QStringList &lines) {
        for (const QString &line : lines) {
            WriteReport(TResultTarget{&pane, Qt::green}, line);
        }
    };
    const auto writeBatch = [&write](QTextDocument &pane, const QStringList &lines) {
        const TResultBatch batch(&pane);
        write(pane, lines);
    };
    QStringList replies;
    for (int i = 0; i < 300; ++i) {
        replies << QStringLiteral("Reply from 127.0.0.1:  Bytes=32  Time=%1 ms  TTL=64").arg(i);
    }
    const QList<Case> cases = {
        {"undo with no edit of the user changes nothing",
         [&](QTextDocument &pane) {
             write(pane, {"three"});
             pane.undo();
         },
         {"one", "two", "three"}},
        {"a word replaced before a watch's lines",
         [&](QTextDocument &pane) {
             Replace(pane, 0, 0, 3, QStringLiteral("ONE"));
             for (const QString &reply : replies) {
                 write(pane, {reply});
             }
             pane.undo();
         },
         QStringList({"one", "two"}) + replies},
        {"a line deleted, then a batch",
         [&](QTextDocument &pane) {
             Delete(pane, 0, 0, 4);  // "one" and its break
             writeBatch(pane, {"three", "four"});
             pane.undo();
         },
         {"one", "two", "three", "four"}},
        {"text typed into the open last line, then lines after it",
         [&](QTextDocument &pane) {
             TypeAtEnd(pane, QStringLiteral("typed"));
             write(pane, {"three"});
             pane.undo();
         },
         {"one", "two", "", "three"}},
        {"two edits with lines between are undone in turn",
         [&](QTextDocument &pane) {
             Replace(pane, 0, 0, 1, QStringLiteral("O"));
             write(pane, {"three"});
             Replace(pane, 1, 0, 1, QStringLiteral("T"));
             write(pane, {"four"});
             pane.undo();
             const QStringList afterOne = PaneLines(&pane);
             EXPECT_EQ(afterOne, QStringList({"One", "two", "three", "four"}));
             pane.undo();
             pane.undo();  // nothing more to undo
         },
         {"one", "two", "three", "four"}},
        {"an undone edit is redone over the lines written before the undo",
         [&](QTextDocument &pane) {
             Replace(pane, 1, 0, 3, QStringLiteral("TWO"));
             write(pane, {"three"});
             pane.undo();
             pane.redo();
         },
         {"one", "TWO", "three"}},
        {"a line written after an undo ends the redo history, as any change does",
         [&](QTextDocument &pane) {
             Replace(pane, 1, 0, 3, QStringLiteral("TWO"));
             pane.undo();
             write(pane, {"three"});
             pane.redo();
         },
         {"one", "two", "three"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument pane;
        write(pane, {"one", "two"});
        EXPECT_EQ(pane.availableUndoSteps(), 0);
        c.steps(pane);
        EXPECT_EQ(PaneLines(&pane), c.expected);
    }
}

// The colour and the scroll of a written line are those of any line, and a document kept
// without undo history (a report's scratch document) is written the same way.
TEST(ResultWriterUndo, APaneWithoutUndoHistoryGetsTheSameLines) {
    for (const bool undo : {true, false}) {
        SCOPED_TRACE(undo);
        QTextDocument pane;
        pane.setUndoRedoEnabled(undo);
        QList<QTextDocument *> scrolled;
        SetResultScroller([&](QTextDocument *document) { scrolled << document; });
        WriteReport(TResultTarget{&pane, Qt::red}, QStringLiteral("first"));
        WriteReport(TResultTarget{&pane, Qt::blue}, QStringLiteral("second"));
        SetResultScroller({});
        EXPECT_EQ(PaneLines(&pane), QStringList({"first", "second"}));
        EXPECT_EQ(BlockColours(pane.findBlockByNumber(0)), QList<QColor>({QColor(Qt::red)}));
        EXPECT_EQ(BlockColours(pane.findBlockByNumber(1)), QList<QColor>({QColor(Qt::blue)}));
        EXPECT_EQ(scrolled, QList<QTextDocument *>({&pane, &pane}));
        EXPECT_EQ(pane.availableUndoSteps(), 0);
    }
}
