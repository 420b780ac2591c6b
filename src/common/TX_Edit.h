#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <functional>
#include <utility>

class QTextDocument;

// The result writer: every line of ping and WHOIS output reaches a pane through WriteReport.
//
// A pane is a QTextDocument holding one block per line. Every line that WriteReport writes ends
// with a paragraph break, the way a rich-text control's line list appends, so after a write the
// document ends with an empty block that is not a line of its own (PaneLines leaves it out).
// Text is always added as plain text with a character format, never as HTML: HTML would
// collapse the double blanks of the reply lines.

// Where a writer's lines go: a pane and the colour of the lines.
struct TResultTarget {
    TResultTarget() = default;
    TResultTarget(QTextDocument *document, QColor color, bool fixedPitch = false)
        : Document(document), Color(std::move(color)), FixedPitch(fixedPitch) {}

    QTextDocument *Document = nullptr;  // nothing is written while it is null
    QColor Color;
    // Lines in the system's fixed-pitch font, for tables whose columns must line up.
    bool FixedPitch = false;
    // A pane without a window (the command line): when set, each line goes here as plain text,
    // with the same line-break rule as a document's line, and Document is not written.
    std::function<void(const QString &line)> Plain;
};

// The text of one line as a pane holds it: a line break inside it (LF, CR, U+2029) becomes a
// blank, so that a line stays one line.
QString PaneLineText(const QString &ReportText);

// Appends ReportText, unchanged, as a new last line of target.Document in target.Color, then
// asks the view of that pane to scroll to its end (see SetResultScroller). An empty text adds an
// empty line. When the pane's last line is not terminated (text typed or loaded into it), a
// paragraph break is put first, so the new text never joins an existing line. The line is no
// step of the pane's undo history: Undo and Redo act on the user's own edits before and after
// it, and the redo history ends where a line is written, as after any new change.
// With target.Plain set, hands it PaneLineText(ReportText) instead.
void WriteReport(const TResultTarget &target, const QString &ReportText);

// Called by WriteReport after each line with the document that received it; the window that
// shows that document moves its vertical scroll bar to the maximum (not the caret). An empty
// function (the default) scrolls nothing.
using ResultScroller = std::function<void(QTextDocument *)>;
void SetResultScroller(ResultScroller scroller);

// Groups the lines written to one pane while it lives into a single change of that pane: a
// visible pane is laid out and scrolled once, when the group ends, instead of once per line
// (on a long pane each layout pass costs far more than the line itself). Use it only around lines
// written without waiting in between: nothing is painted inside a group anyway. Groups on the same
// pane may nest.
class TResultBatch final {
  public:
    explicit TResultBatch(QTextDocument *document);
    ~TResultBatch();
    TResultBatch(const TResultBatch &) = delete;
    TResultBatch &operator=(const TResultBatch &) = delete;

  private:
    QTextDocument *document_;
    QTextCursor cursor_;
};

// Returns the lines of a pane as the user sees them: its text split at paragraph breaks and at
// soft line breaks (U+2028), without the empty block that follows the last terminated line. An
// empty document has no lines.
QStringList PaneLines(const QTextDocument *document);
