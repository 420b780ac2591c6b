#pragma once

#include <QString>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextDocument>

// How one line of the results pane appears in the report body: the text as printed (reply lines
// get two blanks in front), its character format, and the lines that follow it.
struct ReportLineStyle {
    QString text;
    QTextCharFormat format;
    int emptyLinesAfter = 0;  // empty lines right after the line
    bool ruleAfter = false;   // then the underscore rule and one more empty line
};

// The separator printed after the summary of every ping run: 92 underscores.
QString ReportRuleLine();

// Classifies one results-pane line. The tests are case-sensitive substring tests applied each on
// its own, so one line can meet several of them (a reply from a host whose name holds "round" is
// bold and indented).
ReportLineStyle ClassifyReportLine(const QString &line);

// Replaces the content of `body` by the report body built from `lines`: every line as plain text
// in Arial 12 pt, RGB 54, 54, 54, formatted by ClassifyReportLine. No lines give an empty body.
void BuildReportBody(const QStringList &lines, QTextDocument &body);

// The report body store: exactly one formatted body, replaced by every write. The hidden
// data-aware editor of the main window shows this document, and the report reads it.
class TPingDataSet final {
  public:
    TPingDataSet();

    // The stored body (empty before the first write).
    QTextDocument *ResultData() { return &resultData_; }
    const QTextDocument *ResultData() const { return &resultData_; }

    // Whether a body has been written since the program started.
    bool HasRecord() const { return hasRecord_; }

    // Replaces the stored body by a copy of `body` (text, character and paragraph formats).
    void WriteResultData(const QTextDocument &body);

  private:
    QTextDocument resultData_;
    bool hasRecord_ = false;
};

// The program's one report body store.
TPingDataSet &PingDataSet();

// "Create report": builds the report body from the lines of the results pane in `scratch` and
// stores it in `store`, replacing the previous body.
void CreateReportBody(const QTextDocument &resultsPane, QTextDocument &scratch,
                      TPingDataSet &store);

// Replaces the whole content of `target` by a copy of `source`'s content (text, character and
// paragraph formats, default font), document to document: the user's clipboard is never involved.
void ReplaceDocumentContent(const QTextDocument &source, QTextDocument &target);
