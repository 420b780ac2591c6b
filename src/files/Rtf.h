#pragma once

#include <QByteArray>
#include <QColor>
#include <QPageLayout>

class QTextCursor;
class QTextDocument;

// Our own RTF reader and writer on QTextDocument. They carry what the panes, result files and
// report exports use: text, paragraphs, line breaks, tabs, font face, size, bold, italic,
// underline and colour; paragraph alignment, indents and tab stops; paper size and margins.

// True when the bytes are an RTF document: "{\rtf" after an optional UTF-8 byte-order mark and
// leading white space.
bool IsRtf(const QByteArray &data);

// Replaces the content of `document` by the RTF document in `data`. Never throws and never
// hangs: malformed input (unbalanced braces, truncated data, absurd numbers, unknown control
// words) gives whatever text could be read before and around the damage. Text that is not RTF
// at all is read as RTF body text. When `page` is given it receives the paper size, orientation
// and margins the document asks for (invalid when it gives no paper size).
void ReadRtf(const QByteArray &data, QTextDocument *document, QPageLayout *page = nullptr);

// Inserts the RTF document in `data` at `cursor` (same rules as ReadRtf). The paragraph mark
// that closes the last paragraph of the RTF is not inserted, so the text joins what follows the
// cursor.
void InsertRtf(const QByteArray &data, QTextCursor &cursor, QPageLayout *page = nullptr);

// Returns `document` as an RTF document (Windows-1252 code page, every other character as a
// Unicode escape; a paragraph that must start a new page is preceded by \page). Properties a
// fragment leaves unset come from document.defaultFont(); a fragment without its own text colour
// gets `defaultColor` when that is valid, and the reader's automatic colour otherwise. A valid
// `page` is written as paper size, orientation and margins.
QByteArray WriteRtf(const QTextDocument &document, const QColor &defaultColor = QColor(),
                    const QPageLayout &page = QPageLayout());
