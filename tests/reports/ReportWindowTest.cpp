#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>
#include <cmath>

#include "common/CommandGuard.h"
#include "common/DesktopOpen.h"
#include "files/FileManager.h"
#include "files/ResultFiles.h"
#include "reports/ReportBody.h"
#include "reports/ReportEngine.h"
#include "reports/ReportExport.h"
#include "reports/ReportPreview.h"
#include "reports/ReportSamples.h"
#include "reports/ReportUnit.h"
#include "support/TestSupport.h"
#include "support/WindowTest.h"

namespace {

class ReportWindow : public WindowTest {
  protected:
    void SetUp() override {
        form_ = std::make_unique<TReportForm>();
        form_->SetFileChooser([this](TFileMode mode) { return files_.Choose(mode); });
        SetBody(PingRunsLines(1));
    }

    static void SetBody(const QStringList &paneLines) {
        QTextDocument pane;
        QTextDocument scratch;
        FillPane(pane, paneLines);
        CreateReportBody(pane, scratch, PingDataSet());
    }

    // Answers the next file window: chooses `folder`, types `name`, and presses OK (or Cancel).
    void AnswerFileWindow(const QString &folder, const QString &name, bool ok = true) {
        QTimer::singleShot(0, &files_, [this, folder, name, ok] {
            if (!folder.isEmpty()) {
                files_.SelectFolder(folder);
            }
            files_.FileNameEdit->setText(name);
            if (ok) {
                files_.OKActionExecute();
            }
            // A window that OK did not end (it says what is missing) is cancelled.
            if (files_.isVisible()) {
                notice_ = files_.NoticeLabel->text();
                files_.CancelActionExecute();
            }
        });
    }

    QString Label() const { return form_->TotalPagesNoLabel->text(); }

    QTemporaryDir dir_;
    TLocalFile files_;
    QString notice_;  // what the file window said when OK did not end it
    std::unique_ptr<TReportForm> form_;
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
    // The zoom typed into the box takes effect.
    form_->ZoomPercent->setText(QStringLiteral("100"));
    form_->ZoomPercentChange();
    EXPECT_DOUBLE_EQ(form_->PreviewResults->Zoom(), 1.0);
    QStringList shown;
    for (int i = 0; i < 10; ++i) {
        form_->ZoomDownAction->trigger();
        shown << form_->ZoomPercent->text();
    }
    EXPECT_EQ(shown, (QStringList{"90", "80", "70", "60", "50", "40", "30", "20", "10", "10"}));
    EXPECT_DOUBLE_EQ(form_->PreviewResults->Zoom(), 0.1);

    form_->FormShow();
    form_->ZoomPercent->setText(QStringLiteral("100 %"));
    form_->ZoomPercentChange();
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

// The report window as the user sees it: shown at its size, its layout done.
class ShownReportWindow : public ReportWindow {
  protected:
    void SetUp() override {
        ReportWindow::SetUp();
        SetBody(PingRunsLines(30));
        form_->resize(684, 521);
        form_->show();  // the opening shows the report
        QApplication::processEvents();
    }
    void TearDown() override {
        form_->hide();
        ReportWindow::TearDown();
    }

    TReportPageView *Pages() const { return form_->PreviewResults->PagesView(); }
    double Zoom() const { return form_->PreviewResults->Zoom(); }
    QSizeF Page() const { return form_->Prepared()->PageSize(); }
    // The zoom box shows the zoom in force.
    void ExpectBoxShowsZoom() const {
        EXPECT_EQ(form_->ZoomPercent->text(), QString::number(qRound(Zoom() * 100)));
        EXPECT_DOUBLE_EQ(form_->ZoomValue, Zoom());
    }
    // The page's width fills the view: it fits, and one percent more would not.
    void ExpectWidthFits() const {
        EXPECT_EQ(Pages()->horizontalScrollBar()->maximum(), 0) << Zoom();
        EXPECT_GT(Page().width() * (Zoom() + 0.01) + 2 * 12 + 3, Pages()->viewport()->width())
            << Zoom();
    }
    void Resize(int width, int height) {
        form_->resize(width, height);
        QApplication::processEvents();
    }
    void CtrlWheel(int angle, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        const QPointF at(Pages()->viewport()->width() / 2.0, Pages()->viewport()->height() / 2.0);
        QWheelEvent wheel(at, Pages()->viewport()->mapToGlobal(at), QPoint(), QPoint(0, angle),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Pages()->viewport(), &wheel);
    }
};

TEST_F(ShownReportWindow, OpensAtPageWidthAndFitsWidthOrPageAsTheWindowChanges) {
    // At 100 % the A4 page is wider than the window: it opens at the view's width instead.
    EXPECT_LT(Zoom(), 1.0);
    ExpectWidthFits();
    ExpectBoxShowsZoom();
    EXPECT_EQ(form_->PreviewResults->ZoomFit(), TZoomFit::Width);

    // A wider window, and the thumbnails hidden, give the page more room; it follows.
    double before = Zoom();
    Resize(1100, 900);
    EXPECT_GT(Zoom(), before);
    ExpectWidthFits();
    ExpectBoxShowsZoom();
    before = Zoom();
    form_->ThumbnailVisibleItem->trigger();
    QApplication::processEvents();
    EXPECT_GT(Zoom(), before);
    ExpectWidthFits();
    ExpectBoxShowsZoom();
    form_->ThumbnailVisibleItem->trigger();
    QApplication::processEvents();
    EXPECT_DOUBLE_EQ(Zoom(), before);

    // The whole page: it fits the view's height as well, and follows the window too.
    form_->FitPageAction->trigger();
    EXPECT_LT(Zoom(), before);
    EXPECT_LE(Page().height() * Zoom() + 2 * 12, Pages()->viewport()->height());
    EXPECT_GT(Page().height() * (Zoom() + 0.01) + 2 * 12 + 3, Pages()->viewport()->height());
    EXPECT_EQ(Pages()->horizontalScrollBar()->maximum(), 0);
    ExpectBoxShowsZoom();
    Resize(700, 600);
    EXPECT_LE(Page().height() * Zoom() + 2 * 12, Pages()->viewport()->height());
    ExpectBoxShowsZoom();

    // A zoom step ends the fit: from the fitted zoom to the next tenth, kept on resizing.
    form_->FitWidthButton->click();
    const double fitted = Zoom();
    form_->ZoomUpAction->trigger();
    EXPECT_DOUBLE_EQ(Zoom(), std::floor(fitted * 10 + 1e-6) / 10 + 0.1);
    ExpectBoxShowsZoom();
    EXPECT_EQ(form_->PreviewResults->ZoomFit(), TZoomFit::None);
    Resize(1000, 800);
    EXPECT_DOUBLE_EQ(Zoom(), std::floor(fitted * 10 + 1e-6) / 10 + 0.1);

    // A typed zoom that is not one gives way to the zoom in force.
    for (const char *typed : {"abc", "5", "301", ""}) {
        form_->ZoomPercent->setText(QString::fromLatin1(typed));
        form_->ZoomPercentChange();
        ExpectBoxShowsZoom();
    }
    form_->ZoomPercent->setText(QStringLiteral("250"));
    form_->ZoomPercentChange();
    EXPECT_DOUBLE_EQ(Zoom(), 2.5);

    // The next opening is at page width again.
    form_->hide();
    form_->show();
    QApplication::processEvents();
    ExpectWidthFits();
    ExpectBoxShowsZoom();
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ShownReportWindow, CtrlWheelZoomsByNotchesAndTheWheelAloneScrolls) {
    form_->ZoomPercent->setText(QStringLiteral("100"));
    form_->ZoomPercentChange();
    CtrlWheel(120);
    EXPECT_DOUBLE_EQ(Zoom(), 1.1);
    ExpectBoxShowsZoom();
    CtrlWheel(-240);
    EXPECT_DOUBLE_EQ(Zoom(), 0.9);
    ExpectBoxShowsZoom();
    // A fine wheel's parts of a notch add up to one step.
    CtrlWheel(60);
    EXPECT_DOUBLE_EQ(Zoom(), 0.9);
    CtrlWheel(60);
    EXPECT_DOUBLE_EQ(Zoom(), 1.0);
    // Without Ctrl the wheel scrolls the pages and leaves the zoom.
    const int top = Pages()->verticalScrollBar()->value();
    CtrlWheel(-120, Qt::NoModifier);
    EXPECT_GT(Pages()->verticalScrollBar()->value(), top);
    EXPECT_DOUBLE_EQ(Zoom(), 1.0);
    ExpectBoxShowsZoom();
}

TEST_F(ReportWindow, FindSaysWhenNothingOrNothingMoreIsFoundAndGoesRound) {
    SetBody(PingRunsLines(5));
    form_->FormShow();
    form_->StartFindAction->trigger();
    const auto find = [this](const QString &text) {
        form_->FindTextEdit->setText(text);
        form_->FindInReportAction->trigger();
        return form_->FindStatusLabel->text();
    };
    const auto shownReply = [this] {
        const TReportSearch::Hit hit = form_->PreviewResults->Search().Current();
        return form_->Prepared()->PageTexts(hit.page).at(hit.item).text.mid(2, 19);
    };
    // "Time=20 ms" is in runs 0 and 4 only.
    EXPECT_EQ(find(QStringLiteral("Time=20 ms")), "");
    EXPECT_EQ(shownReply(), "Reply from 10.0.0.1");
    EXPECT_EQ(find(QString()), "");
    EXPECT_EQ(shownReply(), "Reply from 10.0.0.5");
    EXPECT_EQ(find(QString()), "No more hits; Find starts at the top.");
    EXPECT_EQ(shownReply(), "Reply from 10.0.0.5");  // the last hit stays marked
    EXPECT_EQ(find(QString()), "Started again at the top.");
    EXPECT_EQ(shownReply(), "Reply from 10.0.0.1");
    EXPECT_EQ(find(QString()), "");
    EXPECT_EQ(shownReply(), "Reply from 10.0.0.5");

    // No occurrence at all; it stays so on the next Find. Ending the search clears the line.
    form_->StopFindAction->trigger();
    form_->StartFindAction->trigger();
    EXPECT_EQ(find(QStringLiteral("no such text")), "Text not found.");
    EXPECT_EQ(find(QString()), "Text not found.");
    EXPECT_EQ(form_->PreviewResults->Search().Current().page, -1);
    form_->StopFindAction->trigger();
    EXPECT_EQ(form_->FindStatusLabel->text(), "");

    // An empty text starts no search: the text typed next is searched at once.
    form_->StartFindAction->trigger();
    EXPECT_EQ(find(QString()), "Type the text to find.");
    EXPECT_FALSE(form_->FindNextKey);
    EXPECT_EQ(find(QStringLiteral("for host2;")), "");
    EXPECT_TRUE(form_->FindNextKey);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ShownReportWindow, FindMessagesFitTheFindBar) {
    form_->StartFindAction->trigger();
    QApplication::processEvents();
    for (const char *text : {"Text not found.", "No more hits; Find starts at the top.",
                             "Started again at the top.", "Type the text to find."}) {
        form_->FindStatusLabel->setText(QString::fromLatin1(text));
        QApplication::processEvents();
        EXPECT_TRUE(form_->FindStatusLabel->isVisible());
        EXPECT_LE(form_->FindStatusLabel->geometry().right() + 1, form_->FindPanel->width())
            << text;
        EXPECT_GE(form_->FindStatusLabel->width(), form_->FindStatusLabel->sizeHint().width())
            << text;
    }
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
    // OK without a name writes nothing (no hidden ".rtf") and the window says what is missing.
    AnswerFileWindow(folder, QString());
    form_->SaveRTFAction->trigger();
    EXPECT_EQ(notice_, QStringLiteral("Type a name for the file."));
    EXPECT_FALSE(QFile::exists(folder + "/.rtf"));
    EXPECT_FALSE(QFile::exists(folder + "/Result.rtf"));
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

TEST_F(ReportWindow, ALoadedResultsFileInPaneColoursPrintsDarkOnPaper) {
    // A results file as "Save results ..." writes the results pane: its lines in the pane's
    // colours, chosen for the dark pane.
    QTextDocument pane;
    QTextCursor cursor(&pane);
    const QList<QColor> paneColours = {QColor(192, 192, 192), QColor(255, 255, 0),
                                       QColor(0, 255, 0)};
    for (const QColor &colour : paneColours) {
        QTextCharFormat format;
        format.setForeground(colour);
        if (!pane.isEmpty()) {
            cursor.insertBlock();
        }
        cursor.insertText(QStringLiteral("Reply from 10.0.0.1;  Bytes=32  Time=21 ms  TTL=57"),
                          format);
    }
    QTextDocument results;
    BuildResultDocument(&results, pane, QStringLiteral("Tahoma"), QColor(54, 54, 54));
    const QString path = dir_.path() + QStringLiteral("/results.rtf");
    SaveRtfFile(path, results);

    form_->FormShow();
    AnswerFileWindow(dir_.path(), QStringLiteral("results.rtf"));
    form_->LoadRTFFileAction->trigger();
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
    const QTextDocument &printed = form_->Prepared()->Body();
    QList<QColor> replies;
    QColor title;
    for (QTextBlock block = printed.begin(); block.isValid(); block = block.next()) {
        const QColor colour = block.begin().fragment().charFormat().foreground().color();
        if (block.text().startsWith(QStringLiteral("Reply"))) {
            replies << colour;
        } else if (block.text() == QStringLiteral("TARVEX REPORT")) {
            title = colour;
        }
    }
    ASSERT_EQ(replies.size(), paneColours.size());
    for (int i = 0; i < replies.size(); ++i) {
        EXPECT_EQ(replies.at(i), PaperTextColor(paneColours.at(i)));
        EXPECT_LT(replies.at(i).lightness(), paneColours.at(i).lightness());
    }
    // The header keeps its own dark colour, and the body as loaded keeps the pane's.
    EXPECT_EQ(title, QColor(54, 54, 54));
    EXPECT_TRUE(PingDataSet().ResultData()->toPlainText().contains(QStringLiteral("TTL=57")));
}

TEST_F(ReportWindow, LoadFailureReportsAndKeepsTheBody) {
    form_->FormShow();
    const QString before = PingDataSet().ResultData()->toPlainText();
    AnswerFileWindow(dir_.path(), QStringLiteral("missing.rtf"));  // a file that is not there
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

TEST_F(ReportWindow, WithoutAViewerTheExportSaysWhereTheFileIsSaved) {
    // The desktop really asked, on a system where nothing opens the files: no launcher on the
    // search path, and no desktop behind the window.
    QTemporaryDir emptyPath;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", emptyPath.path().toLocal8Bit());
    const bool wasEnabled = SetDesktopOpenEnabled(true);
    form_->FormShow();
    const QString folder = dir_.path();
    const struct {
        QAction *action;
        QString file;
    } rows[] = {
        {form_->ExportToPDFAction, folder + "/r.pdf"},
        {form_->ExportToRTFAction, folder + "/r.rtf"},
        {form_->ExportToHTMLAction, folder + "/r.html"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        QString said;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box != nullptr && box->objectName() == QStringLiteral("SavedFileBox")) {
                said = box->text();
                box->accept();
            }
        });
        watch.start(20);
        AnswerFileWindow(folder, QStringLiteral("r"));
        row.action->trigger();
        watch.stop();
        EXPECT_TRUE(QFile::exists(row.file));
        EXPECT_EQ(said, QStringLiteral("The report is saved as\n%1\n\nNo application to open it "
                                       "was found on this system.")
                            .arg(row.file));
    }
    SetDesktopOpenEnabled(wasEnabled);
    qputenv("PATH", path);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
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

namespace {

// Closes the next modal dialog of type T that opens (polling, since it opens inside exec()),
// accepting or rejecting it; `seen` tells whether one opened.
template <typename T>
void AnswerDialog(bool accept, bool *seen) {
    auto *timer = new QTimer();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, accept, seen] {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        *seen = true;
        timer->stop();
        timer->deleteLater();
        if (accept) {
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    timer->start();
}

// The text of a PDF file, page by page.
QStringList PdfPages(const QString &path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(process.waitForFinished(60000));
    return QString::fromUtf8(process.readAllStandardOutput())
        .split(QChar(0x0C), Qt::SkipEmptyParts);
}

QString PdfInfo(const QString &path) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(process.waitForFinished(60000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

}  // namespace

TEST_F(ReportWindow, ARunningSearchGoesOnAfterTheReportIsShownAgain) {
    const QString folder = dir_.path();
    // A saved copy of the body, so that loading gives the same text again.
    SetBody(PingRunsLines(30));
    AnswerFileWindow(folder, QStringLiteral("same"));
    form_->SaveRTFAction->trigger();
    const struct {
        const char *name;
        std::function<void()> showAgain;
    } rows[] = {
        {"thumbnail switch", [this] { form_->ThumbnailVisibleItem->trigger(); }},
        {"export",
         [&] {
             AnswerFileWindow(folder, QStringLiteral("r"));
             form_->ExportToHTMLAction->trigger();
         }},
        {"cancelled export",
         [&] {
             AnswerFileWindow(folder, QStringLiteral("r"), false);
             form_->ExportToPDFAction->trigger();
         }},
        {"cancelled print dialog",
         [this] {
             bool seen = false;
             AnswerDialog<QPrintDialog>(false, &seen);
             form_->PrintReportAction->trigger();
             EXPECT_TRUE(seen);
         }},
        {"page setup", [this] { form_->SetPageLayout(form_->PingReport.page); }},
        {"load",
         [&] {
             AnswerFileWindow(folder, QStringLiteral("same.rtf"));
             form_->LoadRTFFileAction->trigger();
         }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SetBody(PingRunsLines(30));
        form_->FormShow();
        form_->StartFindAction->trigger();
        form_->FindTextEdit->setText(QStringLiteral("Time=20 ms"));
        form_->FindInReportAction->trigger();
        const TReportSearch::Hit first = form_->PreviewResults->Search().Current();
        ASSERT_GE(first.page, 0);
        const QString firstText = form_->Prepared()->PageTexts(first.page).at(first.item).text;

        row.showAgain();
        EXPECT_TRUE(form_->FindNextKey);
        EXPECT_TRUE(form_->PreviewResults->Search().Running());

        form_->FindInReportAction->trigger();
        const TReportSearch::Hit next = form_->PreviewResults->Search().Current();
        ASSERT_GE(next.page, 0);
        const QString nextText = form_->Prepared()->PageTexts(next.page).at(next.item).text;
        EXPECT_TRUE(nextText.contains(QStringLiteral("Time=20 ms"))) << nextText.toStdString();
        // The loaded file starts with the results header, so its lines stand lower: the search
        // goes on from the place of the last hit, not from the same line.
        if (QLatin1String(row.name) != QLatin1String("load")) {
            EXPECT_NE(nextText, firstText);
        }
        EXPECT_TRUE(next.page > first.page || (next.page == first.page && next.item > first.item));
        form_->StopFindAction->trigger();
    }
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ReportWindow, LongExportsShowProgressAndCancelLeavesNoFile) {
    const QString folder = dir_.path();
    SetBody(PingRunsLines(60));
    form_->FormShow();
    ASSERT_GT(form_->Prepared()->PageCount(), 5);

    // Cancel pressed while the export runs: no file, nothing opened, no message.
    const QString kept = folder + "/kept.pdf";
    WriteReportFile(kept, "old content");
    const qsizetype opened = SuppressedDesktopOpens().size();
    for (const QString &name : {QStringLiteral("fresh"), QStringLiteral("kept")}) {
        SCOPED_TRACE(name.toStdString());
        int shownAt = -1;
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *progress = form_->findChild<QProgressDialog *>(QStringLiteral("ExportProgress"));
            if (progress != nullptr && progress->isVisible() && progress->value() >= 2) {
                shownAt = progress->value();
                poll.stop();
                progress->findChild<QPushButton *>()->click();
            }
        });
        poll.start();
        AnswerFileWindow(folder, name);
        form_->ExportToPDFAction->trigger();
        poll.stop();
        EXPECT_GE(shownAt, 2);
    }
    EXPECT_FALSE(QFile::exists(folder + "/fresh.pdf"));
    QFile old(kept);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old content"));
    EXPECT_EQ(SuppressedDesktopOpens().size(), opened);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
    EXPECT_EQ(form_->findChild<QProgressDialog *>(), nullptr);

    // Without Cancel the export completes; a one-page report shows no progress window.
    bool progressSeen = false;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (form_->findChild<QProgressDialog *>() != nullptr) {
            progressSeen = true;
        }
    });
    watch.start();
    AnswerFileWindow(folder, QStringLiteral("whole"));
    form_->ExportToPDFAction->trigger();
    EXPECT_TRUE(progressSeen);
    EXPECT_EQ(
        PdfInfo(folder + "/whole.pdf")
            .contains(QStringLiteral("Pages:           %1\n").arg(form_->Prepared()->PageCount())),
        true);
    SetBody(PingRunsLines(1));
    form_->FormShow();
    progressSeen = false;
    AnswerFileWindow(folder, QStringLiteral("short"));
    form_->ExportToRTFAction->trigger();
    watch.stop();
    EXPECT_FALSE(progressSeen);
    EXPECT_TRUE(QFile::exists(folder + "/short.rtf"));
}

TEST_F(ReportWindow, PrintsToAPdfPrinterWithTheChosenPagesAndPageSetup) {
    SetBody(PingRunsLines(30));
    form_->FormShow();
    const int pages = form_->Prepared()->PageCount();
    ASSERT_GE(pages, 3);
    const auto pdfPrinter = [this](const QString &name) {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(dir_.filePath(name));
        return printer;
    };

    // All pages, on the report's A4 paper.
    auto all = pdfPrinter(QStringLiteral("all.pdf"));
    form_->PrintReport(*all);
    all.reset();
    QStringList printed = PdfPages(dir_.filePath(QStringLiteral("all.pdf")));
    ASSERT_EQ(printed.size(), pages);
    EXPECT_TRUE(printed.first().contains(QStringLiteral("ADDRESS ANALYSIS RESULTS")));
    for (int page = 0; page < pages; ++page) {
        EXPECT_TRUE(printed.at(page).contains(
            QRegularExpression(QStringLiteral("Page:\\s+%1\\s+of\\s+%2").arg(page + 1).arg(pages))))
            << page;
    }
    EXPECT_TRUE(PdfInfo(dir_.filePath(QStringLiteral("all.pdf"))).contains(QStringLiteral("(A4)")));

    // A page range: pages 2 and 3 only.
    auto range = pdfPrinter(QStringLiteral("range.pdf"));
    range->setPrintRange(QPrinter::PageRange);
    range->setFromTo(2, 3);
    form_->PrintReport(*range);
    range.reset();
    printed = PdfPages(dir_.filePath(QStringLiteral("range.pdf")));
    ASSERT_EQ(printed.size(), 2);
    EXPECT_FALSE(printed.first().contains(QStringLiteral("ADDRESS ANALYSIS RESULTS")));
    EXPECT_TRUE(printed.at(0).contains(
        QRegularExpression(QStringLiteral("Page:\\s+2\\s+of\\s+%1").arg(pages))));
    EXPECT_TRUE(printed.at(1).contains(
        QRegularExpression(QStringLiteral("Page:\\s+3\\s+of\\s+%1").arg(pages))));

    // Page setup: US Letter, landscape, wide margins. The report is laid out again on it and
    // printed on it.
    const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Landscape,
                             QMarginsF(25, 20, 25, 20), QPageLayout::Millimeter);
    form_->SetPageLayout(letter);
    EXPECT_EQ(form_->PingReport.page.pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(form_->PingReport.page.orientation(), QPageLayout::Landscape);
    const int landscapePages = form_->Prepared()->PageCount();
    EXPECT_GT(landscapePages, pages);
    EXPECT_EQ(Label(), QStringLiteral("Page 1 of %1").arg(landscapePages));
    auto wide = pdfPrinter(QStringLiteral("letter.pdf"));
    form_->PrintReport(*wide);
    wide.reset();
    const QString info = PdfInfo(dir_.filePath(QStringLiteral("letter.pdf")));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+792 x 612 pts"))))
        << info.toStdString();
    printed = PdfPages(dir_.filePath(QStringLiteral("letter.pdf")));
    ASSERT_EQ(printed.size(), landscapePages);
    EXPECT_TRUE(printed.last().contains(
        QRegularExpression(QStringLiteral("Page:\\s+%1\\s+of\\s+%1").arg(landscapePages))));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}

TEST_F(ReportWindow, PrintAndPageSetupCommandsRunTheirDialogs) {
    form_->FormShow();
    // Print: the dialog is shown with the report's pages; cancelling prints nothing.
    bool seen = false;
    AnswerDialog<QPrintDialog>(false, &seen);
    form_->PrintButton->click();
    EXPECT_TRUE(seen);
    // Page setup: a cancelled dialog keeps the page.
    const QPageLayout before = form_->PingReport.page;
    seen = false;
    AnswerDialog<QPageSetupDialog>(false, &seen);
    form_->SettingsButton->click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(form_->PingReport.page.isEquivalentTo(before));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
}
