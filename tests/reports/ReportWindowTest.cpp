#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include "common/CommandGuard.h"
#include "common/DesktopOpen.h"
#include "reports/FileManager.h"
#include "reports/ReportBody.h"
#include "reports/ReportPreview.h"
#include "reports/ReportSamples.h"
#include "reports/ReportUnit.h"
#include "support/TestSupport.h"

namespace {

class ReportWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (LocalFile == nullptr) {
            LocalFile = new TLocalFile();
        }
        form_ = std::make_unique<TReportForm>();
        SetErrorReporter([this](const QString &text) { errors_ << text; });
        SetBody(PingRunsLines(1));
    }

    void TearDown() override { SetErrorReporter({}); }

    static void SetBody(const QStringList &paneLines) {
        QTextDocument pane;
        QTextDocument scratch;
        FillPane(pane, paneLines);
        CreateReportBody(pane, scratch, PingDataSet());
    }

    // Answers the next file window: chooses `folder`, types `name`, and presses OK (or Cancel).
    static void AnswerFileWindow(const QString &folder, const QString &name, bool ok = true) {
        QTimer::singleShot(0, LocalFile, [folder, name, ok] {
            if (!folder.isEmpty()) {
                LocalFile->SelectFolder(folder);
            }
            LocalFile->FileNameEdit->setText(name);
            if (ok) {
                LocalFile->OKActionExecute();
            } else {
                LocalFile->CancelActionExecute();
            }
        });
    }

    QString Label() const { return form_->TotalPagesNoLabel->text(); }

    ScopedHome home_;
    QTemporaryDir dir_;
    std::unique_ptr<TReportForm> form_;
    QStringList errors_;
};

TEST_F(ReportWindow, ShowingPreparesTheReportAndCountsPages) {
    EXPECT_EQ(Label(), "Page 0 of 0");
    SetBody(PingRunsLines(60));
    form_->FormShow();
    const int pages = form_->Prepared()->PageCount();
    ASSERT_GT(pages, 5);
    EXPECT_EQ(Label(), QStringLiteral("Page 1 of %1").arg(pages));
    form_->PreviewResults->SetPageNo(4);
    EXPECT_EQ(Label(), QStringLiteral("Page 4 of %1").arg(pages));
    EXPECT_EQ(form_->PingReport.bodyFontPointSize, 12);

    SetBody({});
    form_->FormShow();
    EXPECT_EQ(Label(), "Page 1 of 1");
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ReportWindow, ZoomStepsShowInTheZoomBarAndThePreview) {
    form_->FormShow();
    form_->ChangeZoomAction->trigger();
    EXPECT_FALSE(form_->ZoomPanel->isHidden());
    QStringList shown;
    for (int i = 0; i < 10; ++i) {
        form_->ZoomDownAction->trigger();
        shown << form_->ZoomPercent->text();
    }
    EXPECT_EQ(shown, (QStringList{"90", "80", "70", "60", "50", "40", "30", "20", "10", "10"}));
    EXPECT_DOUBLE_EQ(form_->PreviewResults->Zoom(), 0.1);

    form_->FormShow();  // every opening starts again from 100 %
    EXPECT_EQ(form_->ZoomPercent->text(), "100");
    for (int i = 0; i < 20; ++i) {
        form_->ZoomUpAction->trigger();
    }
    EXPECT_EQ(form_->ZoomPercent->text(), "300");
    form_->ZoomUpAction->trigger();
    EXPECT_EQ(form_->ZoomPercent->text(), "300");
    EXPECT_DOUBLE_EQ(form_->PreviewResults->Zoom(), 3.0);

    // Showing the report again (thumbnail switch) keeps the zoom the window shows.
    form_->ThumbnailVisibleItem->trigger();
    EXPECT_DOUBLE_EQ(form_->PreviewResults->Zoom(), 3.0);
    form_->ChangeZoomAction->trigger();
    EXPECT_TRUE(form_->ZoomPanel->isHidden());
}

TEST_F(ReportWindow, FindThenFindNextContinuesTheRunningSearch) {
    SetBody(PingRunsLines(30));
    form_->FormShow();
    form_->StartFindAction->trigger();
    EXPECT_FALSE(form_->FindPanel->isHidden());
    form_->FindTextEdit->setText(QStringLiteral("TIME=20 ms"));
    form_->FindInReportAction->trigger();
    ASSERT_TRUE(form_->FindNextKey);
    const TReportSearch::Hit first = form_->PreviewResults->Search().Current();
    ASSERT_GE(first.page, 0);
    form_->FindInReportAction->trigger();
    const TReportSearch::Hit second = form_->PreviewResults->Search().Current();
    const auto item = [&](const TReportSearch::Hit &hit) {
        return form_->Prepared()->PageTexts(hit.page).at(hit.item);
    };
    EXPECT_EQ(item(first).text, "  Reply from 10.0.0.1;  Bytes=32  Time=20 ms  TTL=57");
    EXPECT_EQ(item(second).text, "  Reply from 10.0.0.5;  Bytes=32  Time=20 ms  TTL=57");

    // A changed text does not start a new search; Esc hides the bars but keeps the search.
    form_->FindTextEdit->setText(QStringLiteral("host7;"));
    form_->FindInReportAction->trigger();
    EXPECT_EQ(form_->PreviewResults->Search().Text(), "TIME=20 ms");
    form_->ChangeZoomAction->trigger();
    form_->CloseAllToolsAction->trigger();
    EXPECT_TRUE(form_->FindPanel->isHidden());
    EXPECT_TRUE(form_->ZoomPanel->isHidden());
    EXPECT_TRUE(form_->FindNextKey);

    // Ending the search lets the new text take effect.
    form_->StopFindAction->trigger();
    EXPECT_FALSE(form_->FindNextKey);
    EXPECT_FALSE(form_->PreviewResults->Search().Running());
    form_->FindInReportAction->trigger();
    EXPECT_TRUE(item(form_->PreviewResults->Search().Current())
                    .text.startsWith("Ping statistics for host7;"));
    EXPECT_EQ(form_->PreviewResults->PageNo(), form_->PreviewResults->Search().Current().page + 1);
}

TEST_F(ReportWindow, ViewItemsSwitchThumbnailsToolBarAndStatusBar) {
    form_->FormShow();
    EXPECT_TRUE(form_->PreviewResults->ThumbnailsVisible());
    form_->ThumbnailVisibleItem->trigger();
    EXPECT_FALSE(form_->ThumbnailVisibleItem->isChecked());
    EXPECT_FALSE(form_->PreviewResults->ThumbnailsVisible());
    form_->ThumbnailVisibleItem->trigger();
    EXPECT_TRUE(form_->PreviewResults->ThumbnailsVisible());
    form_->ToolBarItem->trigger();
    EXPECT_TRUE(form_->ToolPanel->isHidden());
    form_->StatusBarItem->trigger();
    EXPECT_TRUE(form_->StatusPanel->isHidden());
}

TEST_F(ReportWindow, ExecuteShowsTheArrowAndExitClosesWithOk) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Qt::CursorShape shown = Qt::WaitCursor;
    QTimer::singleShot(0, form_.get(), [this, &shown] {
        shown = QApplication::overrideCursor()->shape();
        form_->ExitItem->trigger();
    });
    const bool ok = form_->Execute();
    const Qt::CursorShape after = QApplication::overrideCursor()->shape();
    QApplication::restoreOverrideCursor();
    EXPECT_TRUE(ok);
    EXPECT_EQ(shown, Qt::ArrowCursor);
    EXPECT_EQ(after, Qt::WaitCursor);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ReportWindow, ActionsCarryTheirShortcuts) {
    const struct {
        QAction *action;
        const char *keys;
    } rows[] = {
        {form_->LoadRTFFileAction, "Ctrl+L"}, {form_->SaveRTFAction, "Ctrl+S"},
        {form_->ExportToPDFAction, "F5"},     {form_->ExportToRTFAction, "F6"},
        {form_->ExportToHTMLAction, "F7"},    {form_->CloseAllToolsAction, "Esc"},
        {form_->PrintReportAction, "Ctrl+P"}, {form_->PageSetupAction, "Ctrl+Shift+P"},
        {form_->StartFindAction, "Ctrl+F"},   {form_->ChangeZoomAction, "Ctrl+Z"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(row.action->shortcut(), QKeySequence(QString::fromLatin1(row.keys)))
            << row.action->objectName().toStdString();
    }
    EXPECT_EQ(form_->windowTitle(), "Tarvex Report");
    EXPECT_NE(form_->findChild<QAction *>(QStringLiteral("FindInReportAction")), nullptr);
}

TEST_F(ReportWindow, SaveComposesThePathLikeResultFiles) {
    const QString folder = dir_.path();
    const QString rtfFolder = dir_.filePath(QStringLiteral("old.rtf.d"));
    ASSERT_TRUE(QDir().mkpath(rtfFolder));
    const struct {
        QString folder;
        QString name;
        QString written;
    } rows[] = {
        {folder, "", folder + "/Result.rtf"},
        {folder, "plain", folder + "/plain.rtf"},
        {folder, "kept.rtf", folder + "/kept.rtf"},
        {folder, "upper.RTF", folder + "/upper.RTF.rtf"},
        {rtfFolder, "inside", rtfFolder + "/inside"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        AnswerFileWindow(row.folder, row.name);
        form_->SaveRTFAction->trigger();
        EXPECT_TRUE(QFile::exists(row.written));
    }
    AnswerFileWindow(folder, QStringLiteral("cancelled"), false);
    form_->SaveRTFAction->trigger();
    EXPECT_FALSE(QFile::exists(folder + "/cancelled.rtf"));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ReportWindow, SavedReportLoadsBackAsABodyUnderTheResultsHeader) {
    form_->FormShow();
    const QString folder = dir_.path();
    AnswerFileWindow(folder, QStringLiteral("saved"));
    form_->SaveRTFAction->trigger();
    ASSERT_TRUE(QFile::exists(folder + "/saved.rtf"));

    SetBody(PingRunLines(QStringLiteral("other"), QStringLiteral("10.9.9.9"), 1));
    AnswerFileWindow(folder, QStringLiteral("saved.rtf"));
    form_->LoadRTFFileAction->trigger();
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
    const QStringList lines = PingDataSet().ResultData()->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines.mid(0, 4), (QStringList{"TARVEX REPORT", "version 1.0.0.1", "", ""}));
    EXPECT_TRUE(lines.at(4).startsWith("Date: 09.12.2026"));
    EXPECT_FALSE(PingDataSet().ResultData()->toPlainText().contains("other"));
    // The window shows the loaded body at once.
    EXPECT_TRUE(form_->Prepared()->Body().toPlainText().startsWith("TARVEX REPORT\n"));
}

TEST_F(ReportWindow, LoadFailureReportsAndKeepsTheBody) {
    form_->FormShow();
    const QString before = PingDataSet().ResultData()->toPlainText();
    AnswerFileWindow(dir_.path(), QString());  // no file: the path is the folder itself
    form_->LoadRTFFileAction->trigger();
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_.first().startsWith("Cannot open file")) << errors_.first().toStdString();
    EXPECT_EQ(PingDataSet().ResultData()->toPlainText(), before);

    AnswerFileWindow(dir_.path(), QStringLiteral("x.rtf"), false);
    form_->LoadRTFFileAction->trigger();
    EXPECT_EQ(errors_.size(), 1);
    EXPECT_EQ(PingDataSet().ResultData()->toPlainText(), before);
}

TEST_F(ReportWindow, ExportsWriteOpenAndReplaceFiles) {
    SetBody(PingRunsLines(3));
    form_->FormShow();
    const QString folder = dir_.path();
    const struct {
        QAction *action;
        QString file;
        QByteArray start;
    } rows[] = {
        {form_->ExportToPDFAction, folder + "/r.pdf", "%PDF-"},
        {form_->ExportToRTFAction, folder + "/r.rtf", "{\\rtf"},
        {form_->ExportToHTMLAction, folder + "/r.html", "<!DOCTYPE html>"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        QFile old(row.file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        const qsizetype opened = SuppressedDesktopOpens().size();
        AnswerFileWindow(folder, QStringLiteral("r"));
        row.action->trigger();
        QFile file(row.file);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().startsWith(row.start));
        ASSERT_EQ(SuppressedDesktopOpens().size(), opened + 1);
        EXPECT_EQ(SuppressedDesktopOpens().constLast(), QUrl::fromLocalFile(row.file));
    }
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();

    // The PDF holds every page of the prepared report.
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {folder + "/r.pdf"});
    ASSERT_TRUE(pdfinfo.waitForFinished(60000));
    EXPECT_TRUE(
        QString::fromUtf8(pdfinfo.readAllStandardOutput())
            .contains(QStringLiteral("Pages:           %1\n").arg(form_->Prepared()->PageCount())));
}

TEST_F(ReportWindow, FailedOrCancelledExportsAreHandled) {
    form_->FormShow();
    const qsizetype opened = SuppressedDesktopOpens().size();
    AnswerFileWindow(dir_.path(), QStringLiteral("no-such-folder/r"));
    form_->ExportToPDFAction->trigger();
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_.first().startsWith(
        QStringLiteral("Cannot create file \"%1/no-such-folder/r.pdf\".").arg(dir_.path())))
        << errors_.first().toStdString();

    AnswerFileWindow(dir_.path(), QStringLiteral("skipped"), false);
    form_->ExportToHTMLAction->trigger();
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("skipped.html"))));
    EXPECT_EQ(errors_.size(), 1);
    EXPECT_EQ(SuppressedDesktopOpens().size(), opened);
    // The report is shown again either way.
    ASSERT_NE(form_->Prepared(), nullptr);
    EXPECT_EQ(Label(), "Page 1 of 1");
}

}  // namespace
