#include "common/TX_Edit.h"

#include <QFontDatabase>
#include <QHash>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <utility>

namespace {

ResultScroller &Scroller() {
    static ResultScroller scroller;
    return scroller;
}

// Panes inside a TResultBatch: how deep, and whether a line was written (so a scroll is due).
struct OpenBatch {
    int depth = 0;
    bool written = false;
};

QHash<QTextDocument *, OpenBatch> &OpenBatches() {
    static QHash<QTextDocument *, OpenBatch> batches;
    return batches;
}

}  // namespace

QString PaneLineText(const QString &ReportText) {
    // insertText would turn these into line breaks of their own; a line stays one line.
    QString text;
    text.reserve(ReportText.size() + 1);
    for (const QChar c : ReportText) {
        const bool lineBreak =
            c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator;
        text += lineBreak ? QLatin1Char(' ') : c;
    }
    return text;
}

namespace {

// Appends text as a new last line of document in color (the text of WriteReport).
void AppendLine(QTextDocument *document, const QString &ReportText, const QColor &color,
                bool fixedPitch) {
    QTextCharFormat format;
    format.setForeground(color);
    if (fixedPitch) {
        format.setFontFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
        format.setFontFixedPitch(true);
    }

    QString text = PaneLineText(ReportText);

    QTextCursor cursor(document);
    // Inside the edit block the move does not ask the layout for the caret's x position, which
    // would lay out the pane once more per line.
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    // A line list appends "text + break" after a terminated last line, and "break + text" after
    // one that is still open; either way no line already there changes. A single insertion
    // keeps the document operations per line (each costs a walk of its block tree) to a minimum.
    const bool lastLineOpen = cursor.block().length() > 1;
    if (lastLineOpen) {
        text.prepend(QChar::ParagraphSeparator);
    } else {
        text.append(QChar::ParagraphSeparator);
    }
    // Left to right, as the panes are. Without an explicit direction the layout scans a line's
    // text for its direction every time it passes over that line, which on a long pane costs
    // more than the line itself. New lines take the format of the line they are split from, so
    // this is set once per pane.
    if (cursor.blockFormat().layoutDirection() != Qt::LeftToRight) {
        QTextBlockFormat direction;
        direction.setLayoutDirection(Qt::LeftToRight);
        cursor.mergeBlockFormat(direction);
    }
    cursor.insertText(text, format);
    cursor.endEditBlock();
}

// The program's own lines are no step of a pane's undo history: Undo takes back what the user
// changed in a pane, not the output of a run. Kept in the history, every line of a watch would
// also stay there, beside the line itself, for as long as the pane lives. This step writes its
// line when it is undone and does nothing when redone (see WriteReport).
class TLineWriter final : public QAbstractUndoItem {
  public:
    TLineWriter(QTextDocument *document, QString text, QColor color, bool fixedPitch)
        : document_(document),
          text_(std::move(text)),
          color_(std::move(color)),
          fixedPitch_(fixedPitch) {}
    void undo() override { AppendLine(document_, text_, color_, fixedPitch_); }
    void redo() override {}

  private:
    QTextDocument *document_;
    QString text_;
    QColor color_;
    bool fixedPitch_;
};

}  // namespace

void WriteReport(const TResultTarget &target, const QString &ReportText) {
    if (target.Plain) {
        target.Plain(PaneLineText(ReportText));
        return;
    }
    QTextDocument *const document = target.Document;
    if (document == nullptr) {
        return;
    }

    if (document->isUndoRedoEnabled()) {
        // A document records no change made while it replays an undo step, so the line is
        // written by a step of its own that is undone at once and then dropped: the pane's undo
        // history keeps only what the user changed, and a long watch adds nothing to it.
        document->appendUndoItem(
            new TLineWriter(document, ReportText, target.Color, target.FixedPitch));
        document->undo();
        document->clearUndoRedoStacks(QTextDocument::RedoStack);
    } else {
        AppendLine(document, ReportText, target.Color, target.FixedPitch);
    }

    const auto batch = OpenBatches().find(document);
    if (batch != OpenBatches().end()) {
        batch->written = true;  // the pane is laid out, and so scrolled, when the batch ends
    } else if (Scroller()) {
        Scroller()(document);
    }
}

TResultBatch::TResultBatch(QTextDocument *document)
    : document_(document), cursor_(document != nullptr ? QTextCursor(document) : QTextCursor()) {
    if (document_ != nullptr) {
        ++OpenBatches()[document_].depth;
        cursor_.beginEditBlock();
    }
}

TResultBatch::~TResultBatch() {
    if (document_ == nullptr) {
        return;
    }
    cursor_.endEditBlock();
    const auto batch = OpenBatches().find(document_);
    if (batch == OpenBatches().end() || --batch->depth > 0) {
        return;
    }
    const bool written = batch->written;
    OpenBatches().erase(batch);
    if (written && Scroller()) {
        Scroller()(document_);
    }
}

void SetResultScroller(ResultScroller scroller) {
    Scroller() = std::move(scroller);
}

QStringList PaneLines(const QTextDocument *document) {
    QStringList lines;
    if (document == nullptr) {
        return lines;
    }
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        // A soft line break (Shift+Enter) inside a paragraph starts a new visible line as well.
        lines << block.text().split(QChar::LineSeparator);
    }
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}
