#pragma once

#include <QByteArray>
#include <QString>

#include "reports/ReportEngine.h"

class QTextDocument;

// Document information written into an exported PDF.
struct TPdfInfo {
    QString title;
    QString author;
    QString subject;
    QString keywords;
    QString creator;
};

// The information of the report's PDF export: title "Tarvex Report", the maker as author,
// subject "Tarvex Standard Report", keywords "Tarvex, <maker>, Haldrin".
TPdfInfo ReportPdfInfo();

// Returns the report as a PDF document (one PDF page per report page, fonts embedded) carrying
// `info` in its document information dictionary; web addresses that the body marks as links are
// link annotations. Returns the empty array when `progress` (told per page) cancelled it.
QByteArray ReportToPdf(const TPreparedReport &report, const TPdfInfo &info,
                       const TReportProgress &progress = {});

// Returns `pdf` with an appended update whose trailer points at a new document information
// dictionary holding `info` (texts as UTF-16, so any character survives). Throws TxError when
// `pdf` has no classic cross-reference trailer to extend.
QByteArray SetPdfInfo(const QByteArray &pdf, const TPdfInfo &info);

// Returns the report as one HTML page: the report's pages in order, each a fixed-width sheet with
// its title block (first page), its part of the body and its footer. Body text keeps its blanks
// and empty lines; pictures in the body are embedded as PNG; body links are <a href> links.
// Returns the empty array when `progress` (told per page) cancelled it.
QByteArray ReportToHtml(const TPreparedReport &report, const TReportProgress &progress = {});

// Replaces `target` by the report as flowing rich text: per page, the title block (first page),
// that page's part of the body and the footer line, each page after the first starting on a new
// page. Page headers and footers are kept as text. Returns false when `progress` (told per page,
// of the pages plus one) cancelled it.
bool BuildReportTextDocument(const TPreparedReport &report, QTextDocument &target,
                             const TReportProgress &progress = {});

// Returns the report as an RTF document (see BuildReportTextDocument), with a page break
// between report pages. Returns the empty array when `progress` cancelled it.
QByteArray ReportToRtf(const TPreparedReport &report, const TReportProgress &progress = {});

// Writes `data` to `path`, replacing a file of that name only once the new one is complete.
// Throws TxError `Cannot create file "<path>". <system text>` when it cannot be written.
void WriteReportFile(const QString &path, const QByteArray &data);

// Export through the file window's modes: 3 PDF, 4 RTF, 5 HTML. Writes the file and returns
// true; returns false, having written nothing, when `progress` cancelled the export. Throws
// TxError for another mode or when the file cannot be written.
bool ExportReport(const TPreparedReport &report, int mode, const QString &path,
                  const TReportProgress &progress = {});
