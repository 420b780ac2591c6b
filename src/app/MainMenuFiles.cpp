// Address lists, result files and pane texts of the main window.
//
// Every command chooses its file in the file window and composes the path itself from the
// folder and name the window shows. Nothing is changed before the file has been read or
// written: a cancelled window or a file that cannot be read leaves the list and the panes as
// they were, and a failure raises TxError, which the command wrapper shows.
#include <QTextDocument>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "common/Errors.h"
#include "common/TX_EditOps.h"
#include "files/FileManager.h"
#include "files/ResultFiles.h"
#include "ping/RunResults.h"

namespace {

// Runs the file window `files` in `mode`, under `caption`. Returns what the user chose.
TFileChoice Choose(TLocalFile *files, TFileMode mode, const QString &caption) {
    if (files == nullptr) {
        throw TxError(QStringLiteral("The file window is not available."));
    }
    return files->Choose(mode, caption);
}

QColor TextColorOf(const QTextEdit *pane) {
    return pane->palette().color(QPalette::Text);
}

}  // namespace

void TMainMenuForm::LoadAddressListActionExecute() {
    const QString path =
        Choose(files_, TFileMode::LoadText, QStringLiteral("Load addresses list")).LoadPath();
    if (path.isEmpty()) {
        return;
    }
    // Reading fails before anything is touched, so the old list stays on any error.
    const QStringList lines = ReadAddressList(path, TempMemo->document());
    SelectedEditingMemo = TempMemo;
    AddressList = lines;
    AddressMemo->setPlainText(lines.join(QLatin1Char('\n')));
}

void TMainMenuForm::SaveResultsActionExecute() {
    const QString path =
        Choose(files_, TFileMode::SaveRtf, QStringLiteral("Save results")).SavePath();
    if (path.isEmpty()) {
        return;
    }
    QTextEdit *source = SelectedEditingMemo != nullptr ? SelectedEditingMemo : DebugMemo;
    // The document is assembled apart from the panes and copied document to document; the
    // user's clipboard is left alone.
    QTextDocument result;
    result.setDefaultFont(TempMemo->document()->defaultFont());
    BuildResultDocument(&result, *source->document(), TempMemo->font().family(),
                        TextColorOf(TempMemo), TextColorOf(source));
    SaveRtfFile(path, result);
    // The scratch pane holds the saved document afterwards, unless it is itself the pane that
    // was saved (a loaded list): replacing it would put a second title block in front of the
    // list at the next save.
    if (source != TempMemo) {
        TempMemo->clear();
        AppendDocument(TempMemo->document(), result);
    }
}

void TMainMenuForm::LoadTextActionExecute() {
    const QString path =
        Choose(files_, TFileMode::LoadText, QStringLiteral("Load list of addresses")).LoadPath();
    if (path.isEmpty() || SelectedEditingMemo == nullptr) {
        return;
    }
    LoadDocumentFile(path, SelectedEditingMemo->document());
    // A text loaded into the results pane replaces the runs it held.
    if (SelectedEditingMemo == DebugMemo) {
        runs_->ForgetPaneRuns();
    }
}

void TMainMenuForm::SaveTextActionExecute() {
    const QString path =
        Choose(files_, TFileMode::SaveRtf, QStringLiteral("Save results")).SavePath();
    if (path.isEmpty() || SelectedEditingMemo == nullptr) {
        return;
    }
    SaveRtfFile(path, *SelectedEditingMemo->document(), TextColorOf(SelectedEditingMemo));
}

void TMainMenuForm::SaveResultsCsvActionExecute() {
    SaveRunResults(true);
}

void TMainMenuForm::SaveResultsJsonActionExecute() {
    SaveRunResults(false);
}

void TMainMenuForm::SaveRunResults(bool csv) {
    if (PaneRuns().empty()) {
        throw TxError(
            QStringLiteral("The results pane holds no run to save. Ping an address or a list, or "
                           "trace a route, first."));
    }
    // The file window's OK appends the mode's extension to a name that lacks it.
    const QString path =
        Choose(files_, csv ? TFileMode::SaveCsv : TFileMode::SaveJson,
               csv ? QStringLiteral("Save results as CSV") : QStringLiteral("Save results as JSON"))
            .ExportPath();
    if (path.isEmpty()) {
        return;
    }
    SaveBytesFile(path, csv ? RunResultsCsv(PaneRuns()) : RunResultsJson(PaneRuns()));
}
