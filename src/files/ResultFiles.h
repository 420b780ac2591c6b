#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "common/ExchangeLimits.h"

class QTextDocument;

// Address lists, result files and pane texts: the rules behind the main window's four file
// commands and the report window's save and load of its body.

// Folder and name as the file window shows them after OK. Returns the path to read: the folder,
// a "/" unless it already ends with one, and the name as it stands. Returns an empty string when
// the folder is empty (the caller then does nothing).
QString ComposeLoadPath(const QString &folder, const QString &name);

// As ComposeLoadPath, for writing: an empty name becomes "Result", and ".rtf" is appended unless
// the whole path already contains ".rtf" (case-sensitive, anywhere, the folder included).
QString ComposeSavePath(const QString &folder, const QString &name);

// The path a user typed or pasted into the file window, made absolute and clean: blanks around
// it and one pair of quotes around it are dropped, a "file:" URL becomes its local path, "~"
// at the start stands for the home folder, and a relative path is taken from `base` (the
// folder shown; the home folder when that is empty). Returns an empty string for an empty text
// or a URL of another scheme.
QString ResolveTypedPath(const QString &typed, const QString &base);

// Removes every "https://", then every "http://", then every "www." from `text`, ignoring letter
// case. Nothing else changes (paths, ports, blanks and empty lines stay).
QString NormaliseAddresses(const QString &text);

// Splits a text into its lines (CR LF, LF or CR end a line). Empty lines are kept; a line break
// at the very end does not start one more line; an empty text has no lines.
QStringList TextLines(const QString &text);

// The text of a plain-text file: UTF-8 (a byte-order mark is dropped), or Latin-1 when the
// bytes are not valid UTF-8.
QString DecodePlainText(const QByteArray &bytes);

// Reads the whole file. Throws TxError `Cannot open file "<path>". <system text>` when it cannot
// be opened or read (a folder included).
QByteArray ReadWholeFile(const QString &path);

// The largest address list file that is read. A list is typed or exported by people, one
// address per line: 1 MiB holds some 50,000 host names, far more than anyone pings from one
// window, while the address pane still takes the largest list in a moment. A larger file is
// refused before it is read, so a huge or endless file costs neither memory nor time.
inline constexpr qint64 kAddressListMaxBytes = 1 * kMiB;

// Reads the address list in the file at `path`: an RTF document as rich text, any other file as
// plain text (see DecodePlainText). Returns its lines (see TextLines) after NormaliseAddresses,
// empty lines included. When `asRead` is given it is replaced by the file's content as read,
// and only once the whole list has been accepted. Throws TxError, touching nothing:
//   `Cannot open file "<path>". <system text>` when it cannot be opened or read;
//   `Cannot load the address list "<path>". The file is larger than 1 MiB.` when it holds
//     more than kAddressListMaxBytes bytes;
//   `Cannot load the address list "<path>". Line <n> is longer than 2048 characters.` for
//     the first line, as read, longer than an address can be (kAddressMaxLength).
QStringList ReadAddressList(const QString &path, QTextDocument *asRead = nullptr);

// Replaces `document` by the file's content: as rich text when the file is an RTF document,
// as plain text otherwise. Throws TxError (see ReadWholeFile) and leaves `document` untouched
// when the file cannot be read.
void LoadDocumentFile(const QString &path, QTextDocument *document);

// Writes `document` as RTF (see WriteRtf) to `path`, replacing a file of that name. The file is
// replaced only once it has been written completely. Throws TxError
// `Cannot create file "<path>". <system text>` when it cannot be written; an existing file of
// that name then stays as it was.
void SaveRtfFile(const QString &path, const QTextDocument &document,
                 const QColor &defaultColor = QColor());

// Writes `data` to `path` as SaveRtfFile writes its document: replaced only once written
// completely, TxError `Cannot create file "<path>". <system text>` otherwise.
void SaveBytesFile(const QString &path, const QByteArray &data);

// Appends the whole of `source` to the end of `target`, document to document (the clipboard is
// not used), with every character format resolved: unset font properties come from
// source.defaultFont(), an unset text colour from `defaultColor` when that is valid. The first
// paragraph of `source` continues the last paragraph of `target`.
void AppendDocument(QTextDocument *target, const QTextDocument &source,
                    const QColor &defaultColor = QColor());

// Title block of a result document.
inline constexpr const char *ResultTitle = "TARVEX REPORT";
inline constexpr const char *ResultVersion = "version 1.0.0.1";

// Replaces `target` by a result document: "TARVEX REPORT" in 14 point bold, "version 1.0.0.1"
// and two empty lines in 10 point regular, all in `headerFamily` and `headerColor`, then the
// whole of `body` with its own formats (see AppendDocument; `bodyColor` stands in for unset
// body colours). `target` and `body` must be different documents.
void BuildResultDocument(QTextDocument *target, const QTextDocument &body,
                         const QString &headerFamily, const QColor &headerColor,
                         const QColor &bodyColor = QColor());
