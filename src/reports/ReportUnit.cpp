#include "reports/ReportUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QProgressDialog>
#include <QShowEvent>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>

#include "common/CommandGuard.h"
#include "common/DesktopOpen.h"
#include "common/Errors.h"
#include "common/WindowLook.h"
#include "common/WindowOpening.h"
#include "files/FileManager.h"
#include "files/ResultFiles.h"
#include "reports/ReportBody.h"
#include "reports/ReportExport.h"
#include "reports/ReportPreview.h"

TReportForm *ReportForm = nullptr;

namespace {

const QColor kText(200, 200, 200);
// The header lines of a saved body take the face and colour of the hidden scratch editor.
const QColor kHeaderColor(128, 128, 128);
const QString kHeaderFamily = QStringLiteral("Tahoma");
// Exports of more pages than this show their progress, with Cancel.
constexpr int kProgressPages = 5;

QToolButton *Button(QWidget *parent, const QString &name, QAction *action, const QString &hint,
                    const QIcon &icon, int size = 40) {
    return NewCommandButton(parent, name, action, icon, size, size - 10, hint);
}

}  // namespace

TReportForm::TReportForm(QWidget *parent) : QDialog(parent), PingReport(PingReportTemplate()) {
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("Tarvex Report"));
    BuildActions();
    BuildWindow();
    BuildMenu();
}

TReportForm::~TReportForm() = default;

void TReportForm::BuildActions() {
    ReportActionList = new QActionGroup(this);
    ReportActionList->setObjectName(QStringLiteral("ReportActionList"));
    ReportActionList->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    const auto make = [this](const QString &name, const QString &category,
                             const QKeySequence &shortcut, const std::function<void()> &run) {
        auto *action = new QAction(name, this);
        action->setObjectName(name);
        action->setProperty("category", category);
        if (!shortcut.isEmpty()) {
            action->setShortcut(shortcut);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        ReportActionList->addAction(action);
        addAction(action);
        ConnectCommand(action, this, run);
        return action;
    };
    const QString file = QStringLiteral("[ FILE OPTIONS ]");
    const QString tools = QStringLiteral("[ TOOLS OPTIONS ]");
    LoadRTFFileAction = make(QStringLiteral("LoadRTFFileAction"), file, QKeySequence("Ctrl+L"),
                             [this] { LoadRTFFileActionExecute(); });
    SaveRTFAction = make(QStringLiteral("SaveRTFAction"), file, QKeySequence("Ctrl+S"),
                         [this] { SaveRTFActionExecute(); });
    ExportToPDFAction = make(QStringLiteral("ExportToPDFAction"), file, QKeySequence("F5"),
                             [this] { ExportData(TFileMode::ExportPdf); });
    ExportToRTFAction = make(QStringLiteral("ExportToRTFAction"), file, QKeySequence("F6"),
                             [this] { ExportData(TFileMode::ExportRtf); });
    ExportToHTMLAction = make(QStringLiteral("ExportToHTMLAction"), file, QKeySequence("F7"),
                              [this] { ExportData(TFileMode::ExportHtml); });
    CloseAllToolsAction = make(QStringLiteral("CloseAllToolsAction"), file, QKeySequence("Esc"),
                               [this] { CloseAllToolsActionExecute(); });
    PrintReportAction = make(QStringLiteral("PrintReportAction"), tools, QKeySequence("Ctrl+P"),
                             [this] { PrintReportActionExecute(); });
    PageSetupAction = make(QStringLiteral("PageSetupAction"), tools, QKeySequence("Ctrl+Shift+P"),
                           [this] { PageSetupActionExecute(); });
    StartFindAction = make(QStringLiteral("StartFindAction"), tools, QKeySequence("Ctrl+F"),
                           [this] { StartFindActionExecute(); });
    StopFindAction = make(QStringLiteral("StopFindAction"), tools, QKeySequence(),
                          [this] { StopFindActionExecute(); });
    ZoomUpAction = make(QStringLiteral("ZoomUpAction"), tools, QKeySequence(),
                        [this] { ZoomUpActionExecute(); });
    ZoomDownAction = make(QStringLiteral("ZoomDownAction"), tools, QKeySequence(),
                          [this] { ZoomDownActionExecute(); });
    ChangeZoomAction = make(QStringLiteral("ChangeZoomAction"), tools, QKeySequence("Ctrl+Z"),
                            [this] { ChangeZoomActionExecute(); });
    FitWidthAction = make(QStringLiteral("FitWidthAction"), tools, QKeySequence(),
                          [this] { FitWidthActionExecute(); });
    FitPageAction = make(QStringLiteral("FitPageAction"), tools, QKeySequence(),
                         [this] { FitPageActionExecute(); });
    FindInReportAction = make(QStringLiteral("FindInReportAction"), QString(), QKeySequence(),
                              [this] { FindInReportActionExecute(); });
}

void TReportForm::BuildWindow() {
    PaintDarkControls(this, kText);
    setFont(WindowPixelFont());
    setMinimumSize(580, 440);
    resize(684, 521);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    BuildToolPanel();
    layout->addWidget(ToolPanel);

    BuildFindPanel();
    layout->addWidget(FindPanel);

    BuildZoomPanel();
    layout->addWidget(ZoomPanel);

    PreviewResults = new TReportPreview(this);
    PreviewResults->setObjectName(QStringLiteral("PreviewResults"));
    connect(PreviewResults, &TReportPreview::PageChanged, this,
            [this](int pageNo) { PreviewResultsPageChanged(pageNo); });
    connect(PreviewResults, &TReportPreview::ZoomChanged, this,
            [this](double zoom) { ShowZoom(zoom); });
    // Ctrl+wheel over the pages takes the zoom steps of the zoom bar.
    connect(PreviewResults, &TReportPreview::ZoomStepRequested, this, [this](int steps) {
        for (int step = 0; step < std::abs(steps); ++step) {
            (steps > 0 ? ZoomUpAction : ZoomDownAction)->trigger();
        }
    });
    layout->addWidget(PreviewResults, 1);

    BuildStatusPanel();
    layout->addWidget(StatusPanel);
}

void TReportForm::BuildToolPanel() {
    ToolPanel = new QWidget(this);
    ToolPanel->setObjectName(QStringLiteral("ToolPanel"));
    ToolPanel->setFixedHeight(50);
    auto *tools = new QHBoxLayout(ToolPanel);
    tools->setContentsMargins(6, 5, 6, 5);
    tools->setSpacing(2);
    const struct {
        QToolButton *&button;
        const char *name;
        QAction *action;
        const char *hint;
        const char *picture;
    } toolButtons[] = {
        {RzBmpButton35, "RzBmpButton35", LoadRTFFileAction, "Load file ...", "ReportLoad.png"},
        {RzBmpButton36, "RzBmpButton36", SaveRTFAction, "Save report ...", "ReportSave.png"},
        {PDFButton, "PDFButton", ExportToPDFAction, "Convert to PDF ...", "ReportPdf.png"},
        {RTFButton, "RTFButton", ExportToRTFAction, "Convert to RTF ...", "ReportRtf.png"},
        {HTMLButton, "HTMLButton", ExportToHTMLAction, "Convert to HTML ...", "ReportHtml.png"},
        {SettingsButton, "SettingsButton", PageSetupAction, "Page setup ...",
         "ReportPageSetup.png"},
        {PrintButton, "PrintButton", PrintReportAction, "Print report ... ", "ReportPrint.png"},
        {SearchButton, "SearchButton", StartFindAction, "Search text ...", "ReportSearch.png"},
        {ZoomButton, "ZoomButton", ChangeZoomAction, "Zoom page ...", "ReportZoom.png"},
    };
    for (const auto &tool : toolButtons) {
        tool.button =
            Button(ToolPanel, QString::fromLatin1(tool.name), tool.action,
                   QString::fromLatin1(tool.hint), ArtworkIcon(QString::fromLatin1(tool.picture)));
        tools->addWidget(tool.button);
    }
    tools->addStretch(1);
}

void TReportForm::BuildFindPanel() {
    FindPanel = new QWidget(this);
    FindPanel->setObjectName(QStringLiteral("FindPanel"));
    auto *find = new QHBoxLayout(FindPanel);
    find->setContentsMargins(8, 3, 8, 3);
    find->addWidget(NewLabel(FindPanel, QString(), QStringLiteral("Text to find:")));
    FindTextEdit = new QLineEdit(FindPanel);
    FindTextEdit->setObjectName(QStringLiteral("FindTextEdit"));
    FindTextEdit->setMinimumWidth(220);
    find->addWidget(FindTextEdit);
    StartPingBtn =
        Button(FindPanel, QStringLiteral("StartPingBtn"), FindInReportAction,
               QStringLiteral("Find"), ArtworkIcon(QStringLiteral("ReportSearch.png")), 24);
    find->addWidget(StartPingBtn);
    find->addSpacing(12);
    find->addWidget(NewLabel(FindPanel, QString(), QStringLiteral("Cancel")));
    RzBmpButton4 =
        Button(FindPanel, QStringLiteral("RzBmpButton4"), StopFindAction, QStringLiteral("Cancel"),
               ArtworkIcon(QStringLiteral("ButtonClose.png")), 24);
    find->addWidget(RzBmpButton4);
    find->addSpacing(12);
    FindStatusLabel = NewLabel(FindPanel, QStringLiteral("FindStatusLabel"), QString());
    FindStatusLabel->setTextFormat(Qt::PlainText);
    SetTextColor(FindStatusLabel, QColor(230, 170, 60));
    find->addWidget(FindStatusLabel);
    find->addStretch(1);
    connect(FindTextEdit, &QLineEdit::returnPressed, FindInReportAction, &QAction::trigger);
    FindPanel->hide();
}

void TReportForm::BuildZoomPanel() {
    ZoomPanel = new QWidget(this);
    ZoomPanel->setObjectName(QStringLiteral("ZoomPanel"));
    auto *zoom = new QHBoxLayout(ZoomPanel);
    zoom->setContentsMargins(8, 3, 8, 3);
    zoom->addWidget(NewLabel(ZoomPanel, QString(), QStringLiteral("Zoom [%]:")));
    ZoomDown =
        Button(ZoomPanel, QStringLiteral("ZoomDown"), ZoomDownAction, QStringLiteral("Zoom out"),
               ArtworkIcon(QStringLiteral("ReportZoomOut.png")), 24);
    zoom->addWidget(ZoomDown);
    ZoomPercent = new QLineEdit(QStringLiteral("100"), ZoomPanel);
    ZoomPercent->setObjectName(QStringLiteral("ZoomPercent"));
    ZoomPercent->setAlignment(Qt::AlignCenter);
    ZoomPercent->setFixedWidth(48);
    connect(ZoomPercent, &QLineEdit::editingFinished, this,
            [this] { RunCommand(this, [this] { ZoomPercentChange(); }); });
    zoom->addWidget(ZoomPercent);
    ZoomUp = Button(ZoomPanel, QStringLiteral("ZoomUp"), ZoomUpAction, QStringLiteral("Zoom in"),
                    ArtworkIcon(QStringLiteral("ReportZoomIn.png")), 24);
    zoom->addWidget(ZoomUp);
    zoom->addSpacing(12);
    const auto textButton = [this](const QString &name, QAction *action, const QString &caption,
                                   const QString &hint) {
        auto *button = new QToolButton(ZoomPanel);
        button->setObjectName(name);
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setText(caption);
        button->setToolTip(hint);
        button->setAutoRaise(true);
        button->setCursor(Qt::PointingHandCursor);
        return button;
    };
    FitWidthButton =
        textButton(QStringLiteral("FitWidthButton"), FitWidthAction, QStringLiteral("Page width"),
                   QStringLiteral("The page fills the width of the preview"));
    FitPageButton =
        textButton(QStringLiteral("FitPageButton"), FitPageAction, QStringLiteral("Whole page"),
                   QStringLiteral("The whole page fits into the preview"));
    zoom->addWidget(FitWidthButton);
    zoom->addWidget(FitPageButton);
    zoom->addSpacing(12);
    zoom->addWidget(NewLabel(ZoomPanel, QString(), QStringLiteral("Close")));
    RzBmpButton7 =
        Button(ZoomPanel, QStringLiteral("RzBmpButton7"), ChangeZoomAction, QStringLiteral("Close"),
               ArtworkIcon(QStringLiteral("ButtonClose.png")), 24);
    zoom->addWidget(RzBmpButton7);
    zoom->addStretch(1);
    ZoomPanel->hide();
}

void TReportForm::BuildStatusPanel() {
    StatusPanel = new QWidget(this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setFixedHeight(20);
    auto *status = new QHBoxLayout(StatusPanel);
    status->setContentsMargins(8, 0, 8, 0);
    Label2 = NewLabel(StatusPanel, QStringLiteral("Label2"), QStringLiteral("Tarvex ST"));
    TotalPagesNoLabel =
        NewLabel(StatusPanel, QStringLiteral("TotalPagesNoLabel"), QStringLiteral("Page 0 of 0"));
    status->addWidget(Label2);
    status->addStretch(1);
    status->addWidget(TotalPagesNoLabel);
}

void TReportForm::BuildMenu() {
    ReportMenu = new QMenuBar(this);
    ReportMenu->setObjectName(QStringLiteral("ReportMenu"));
    layout()->setMenuBar(ReportMenu);
    // Menu entries carry the shortcut in their caption; the shortcut itself belongs to the
    // action, so an entry only triggers its action.
    const auto item = [](QMenu *menu, const QString &caption, QAction *action) {
        QAction *entry = menu->addAction(caption);
        QObject::connect(entry, &QAction::triggered, action, &QAction::trigger);
        return entry;
    };
    QMenu *file = ReportMenu->addMenu(QStringLiteral("File"));
    item(file, QStringLiteral("Load file ... Ctrl+L "), LoadRTFFileAction);
    item(file, QStringLiteral("Save report ... Ctrl+S"), SaveRTFAction);
    file->addSeparator();
    item(file, QStringLiteral("Export to PDF ... F5"), ExportToPDFAction);
    item(file, QStringLiteral("Export to RTF ... F6"), ExportToRTFAction);
    item(file, QStringLiteral("Export to HTML ... F7"), ExportToHTMLAction);
    file->addSeparator();
    ExitItem = file->addAction(QStringLiteral("Exit ..."));
    ExitItem->setObjectName(QStringLiteral("ExitItem"));
    connect(ExitItem, &QAction::triggered, this, [this] { done(1); });

    QMenu *view = ReportMenu->addMenu(QStringLiteral("View"));
    ThumbnailVisibleItem = view->addAction(QStringLiteral("Thumbnail visible"));
    ThumbnailVisibleItem->setObjectName(QStringLiteral("ThumbnailVisibleItem"));
    view->addSeparator();
    ToolBarItem = view->addAction(QStringLiteral("Tool bar"));
    ToolBarItem->setObjectName(QStringLiteral("ToolBarItem"));
    StatusBarItem = view->addAction(QStringLiteral("Status bar"));
    StatusBarItem->setObjectName(QStringLiteral("StatusBarItem"));
    for (QAction *toggle : {ThumbnailVisibleItem, ToolBarItem, StatusBarItem}) {
        toggle->setCheckable(true);
        toggle->setChecked(true);
    }
    connect(ThumbnailVisibleItem, &QAction::triggered, this,
            [this] { RunCommand(this, [this] { ThumbnailVisibleClick(); }); });
    connect(ToolBarItem, &QAction::triggered, this, [this] { ToolBarClick(); });
    connect(StatusBarItem, &QAction::triggered, this, [this] { StatusBarClick(); });

    QMenu *tools = ReportMenu->addMenu(QStringLiteral("Tools"));
    item(tools, QStringLiteral("Page set&up ... Shift+P"), PageSetupAction);
    item(tools, QStringLiteral("&Print report ... Ctrl+P"), PrintReportAction);
    tools->addSeparator();
    item(tools, QStringLiteral("Search text ... Ctrl+F"), StartFindAction);
    tools->addSeparator();
    item(tools, QStringLiteral("Change zoom ... Ctrl+Z"), ChangeZoomAction);
    item(tools, QStringLiteral("Fit page width"), FitWidthAction);
    item(tools, QStringLiteral("Fit whole page"), FitPageAction);

    HelpMenu = ReportMenu->addMenu(QStringLiteral("Help"));
}

void TReportForm::SetFileChooser(std::function<TFileChoice(TFileMode)> choose) {
    chooseFile_ = std::move(choose);
}

TFileChoice TReportForm::ChooseFile(TFileMode mode) const {
    return chooseFile_ ? chooseFile_(mode) : TFileChoice();
}

void TReportForm::SetHelpActions(QAction *onLineHelp, QAction *contactUs, QAction *checkForUpdates,
                                 QAction *aboutTarvex) {
    HelpMenu->clear();
    const auto add = [this](QAction *action) {
        if (action != nullptr) {
            HelpMenu->addAction(action);
        }
    };
    add(onLineHelp);
    HelpMenu->addSeparator();
    add(contactUs);
    add(checkForUpdates);
    HelpMenu->addSeparator();
    add(aboutTarvex);
}

bool TReportForm::Execute() {
    const int result = ExecWithArrowCursor(this);
    return result == 1;
}

void TReportForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (IsWindowOpening(event)) {
        RunCommand(this, [this] { FormShow(); });
    }
}

void TReportForm::FormShow() {
    ZoomValue = 1.0;
    FindNextKey = false;
    PreviewResults->StopFind();
    ShowFindStatus(QString());
    if (PingReport.HasObject(QStringLiteral("ResultMemo"))) {
        PingReport.bodyDetectLinks = true;
        PingReport.bodyFontPointSize = 12;
    }
    // Every opening shows the pages as wide as the preview: at 100 % an A4 page is wider than
    // the window on a common screen, and its right side would be cut off. The zoom bar shows
    // the zoom that this gives.
    ZoomPercent->setText(QString::number(qRound(ZoomValue * 100)));
    PreviewResults->SetZoomFit(TZoomFit::Width);
    if (PrepareReport()) {
        ShowPreparedReport();
    }
    TotalPagesNoLabel->setText(
        QStringLiteral("Page 1 of %1").arg(prepared_ ? prepared_->PageCount() : 0));
}

bool TReportForm::PrepareReport() {
    prepared_.reset();
    prepared_ = std::make_shared<const TPreparedReport>(PingReport, *PingDataSet().ResultData());
    return true;
}

void TReportForm::ShowPreparedReport() {
    PreviewResults->SetReport(prepared_);
    // The preview stays at the zoom the window shows, so the next zoom step continues from it;
    // a fitted zoom is fitted again.
    if (PreviewResults->ZoomFit() == TZoomFit::None) {
        ApplyZoom();
    }
    UpdatePageLabel(PreviewResults->PageNo());
}

void TReportForm::ShowReport() {
    if (PrepareReport()) {
        ShowPreparedReport();
    }
}

void TReportForm::UpdatePageLabel(int pageNo) {
    TotalPagesNoLabel->setText(
        QStringLiteral("Page %1 of %2").arg(pageNo).arg(prepared_ ? prepared_->PageCount() : 0));
}

void TReportForm::PreviewResultsPageChanged(int pageNo) {
    UpdatePageLabel(pageNo);
}

void TReportForm::ApplyZoom() {
    PreviewResults->SetZoom(ZoomValue);
    PreviewResults->update();
}

void TReportForm::ShowZoom(double zoom) {
    ZoomValue = zoom;
    ZoomPercent->setText(QString::number(qRound(ZoomValue * 100)));
}

void TReportForm::ZoomPercentChange() {
    bool ok = false;
    QString typed = ZoomPercent->text().trimmed();
    if (typed.endsWith(QLatin1Char('%'))) {
        typed.chop(1);
    }
    const int percent = typed.trimmed().toInt(&ok);
    if (!ok || percent < 10 || percent > 300) {
        ShowZoom(PreviewResults->Zoom());
        return;
    }
    ZoomValue = percent / 100.0;
    ApplyZoom();
}

void TReportForm::FitWidthActionExecute() {
    PreviewResults->SetZoomFit(TZoomFit::Width);
}

void TReportForm::FitPageActionExecute() {
    PreviewResults->SetZoomFit(TZoomFit::Page);
}

void TReportForm::ChangeZoomActionExecute() {
    ZoomPanel->setVisible(ZoomPanel->isHidden());
}

void TReportForm::ZoomUpActionExecute() {
    ZoomValue = ReportZoomUp(ZoomValue);
    ApplyZoom();
}

void TReportForm::ZoomDownActionExecute() {
    ZoomValue = ReportZoomDown(ZoomValue);
    ApplyZoom();
}

void TReportForm::StartFindActionExecute() {
    if (FindPanel->isHidden()) {
        FindPanel->show();
    }
    FindTextEdit->setFocus();
}

void TReportForm::FindInReportActionExecute() {
    // The messages are short: they share the find bar with the text and its buttons.
    if (!FindNextKey) {
        // Nothing to look for starts no search, so the next text typed is searched at once.
        if (FindTextEdit->text().isEmpty()) {
            ShowFindStatus(QStringLiteral("Type the text to find."));
            return;
        }
        const bool found = PreviewResults->Find(FindTextEdit->text());
        FindNextKey = true;
        ShowFindStatus(found ? QString() : QStringLiteral("Text not found."));
        return;
    }
    const bool found = PreviewResults->FindNext();
    const TReportSearch &search = PreviewResults->Search();
    if (found) {
        ShowFindStatus(search.Wrapped() ? QStringLiteral("Started again at the top.") : QString());
    } else if (search.Current().page < 0) {
        ShowFindStatus(QStringLiteral("Text not found."));
    } else {
        ShowFindStatus(QStringLiteral("No more hits; Find starts at the top."));
    }
}

void TReportForm::ShowFindStatus(const QString &text) {
    FindStatusLabel->setText(text);
}

void TReportForm::StopFindActionExecute() {
    FindNextKey = false;
    ShowFindStatus(QString());
    if (!FindPanel->isHidden()) {
        FindPanel->hide();
    }
    PreviewResults->StopFind();
    PreviewResults->update();
}

void TReportForm::CloseAllToolsActionExecute() {
    ZoomPanel->hide();
    FindPanel->hide();
}

void TReportForm::ThumbnailVisibleClick() {
    PingReport.thumbnails = ThumbnailVisibleItem->isChecked();
    ShowReport();
}

void TReportForm::ToolBarClick() {
    ToolPanel->setVisible(ToolBarItem->isChecked());
}

void TReportForm::StatusBarClick() {
    StatusPanel->setVisible(StatusBarItem->isChecked());
}

void TReportForm::ExportData(TFileMode ConvertSwich) {
    const QString path = ChooseFile(ConvertSwich).ExportPath();
    QString unopened;  // written, but no application took it
    PrepareReport();
    try {
        if (!path.isEmpty()) {
            std::unique_ptr<QProgressDialog> progress;
            TReportProgress onStep;
            if (prepared_->PageCount() > kProgressPages) {
                progress = std::make_unique<QProgressDialog>(
                    QStringLiteral("Exporting the report ..."), QStringLiteral("Cancel"), 0,
                    prepared_->PageCount(), this);
                progress->setObjectName(QStringLiteral("ExportProgress"));
                progress->setWindowTitle(windowTitle());
                progress->setWindowModality(Qt::WindowModal);
                progress->setMinimumDuration(0);
                progress->setAutoClose(false);
                progress->setValue(0);
                // A modal progress window lets events through at each step, so Cancel is seen.
                onStep = [&progress](int done, int total) {
                    progress->setMaximum(total);
                    progress->setValue(done);
                    return !progress->wasCanceled();
                };
            }
            const bool written =
                ExportReport(*prepared_, static_cast<int>(ConvertSwich), path, onStep);
            progress.reset();
            if (written && !OpenInDesktop(QUrl::fromLocalFile(path))) {
                unopened = path;
            }
        }
    } catch (...) {
        ShowReport();
        throw;
    }
    ShowReport();
    if (!unopened.isEmpty()) {
        ShowSavedFile(unopened);
    }
}

void TReportForm::ShowSavedFile(const QString &path) {
    // Without a viewer the export would otherwise end in silence, and the user would not know
    // whether or where the file was written.
    QMessageBox box(QMessageBox::Information, windowTitle(),
                    QStringLiteral("The report is saved as\n%1\n\nNo application to open it was "
                                   "found on this system.")
                        .arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("SavedFileBox"));
    // The path can be copied from here.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

QPrinter &TReportForm::Printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *printer_;
}

void TReportForm::PrintReportActionExecute() {
    if (!prepared_) {
        PrepareReport();
    }
    QPrinter &printer = Printer();
    printer.setPageLayout(PingReport.page);
    printer.setFromTo(1, prepared_->PageCount());
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, prepared_->PageCount());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() == QDialog::Accepted) {
        PrintReport(printer);
    }
    if (PrepareReport()) {
        ShowPreparedReport();
    }
}

void TReportForm::PrintReport(QPrinter &printer) {
    if (!prepared_) {
        PrepareReport();
    }
    int first = 0;
    int last = prepared_->PageCount() - 1;
    if (printer.printRange() == QPrinter::PageRange) {
        first = printer.fromPage() - 1;
        last = printer.toPage() - 1;
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        first = last = PreviewResults->PageNo() - 1;
    }
    printer.setFullPage(true);
    RenderReport(*prepared_, printer, first, last);
}

void TReportForm::PageSetupActionExecute() {
    QPrinter &printer = Printer();
    printer.setPageLayout(PingReport.page);
    QPageSetupDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) {
        SetPageLayout(printer.pageLayout());
    }
}

void TReportForm::SetPageLayout(const QPageLayout &page) {
    QPageLayout layout = page;
    layout.setUnits(QPageLayout::Millimeter);
    PingReport.page = layout;
    ShowReport();
}

void TReportForm::SaveRTFActionExecute() {
    const QString path = ChooseFile(TFileMode::SaveRtf).SavePath();
    if (path.isEmpty()) {
        return;
    }
    QTextDocument document;
    BuildResultDocument(&document, *PingDataSet().ResultData(), kHeaderFamily, kHeaderColor);
    SaveRtfFile(path, document, kHeaderColor);
}

void TReportForm::LoadRTFFileActionExecute() {
    const QString path = ChooseFile(TFileMode::LoadRtf).LoadPath();
    if (path.isEmpty()) {
        return;
    }
    // Read completely before the body is touched: a file that cannot be read leaves the body
    // as it was.
    QTextDocument loaded;
    LoadDocumentFile(path, &loaded);
    PingDataSet().WriteResultData(loaded);
    ShowReport();
}
