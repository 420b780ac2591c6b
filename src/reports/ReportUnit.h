#pragma once

#include <QDialog>
#include <QList>
#include <QPrinter>
#include <functional>
#include <memory>

#include "files/FileManager.h"
#include "reports/ReportEngine.h"

class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QToolButton;
class QWidget;
class TReportPreview;

// "Tarvex Report": previews the report of the stored body with page counter, zoom and text
// search; prints it, exports it to PDF, RTF or HTML, saves the body as a results file and loads
// an RTF file as the body.
class TReportForm final : public QDialog {
    Q_OBJECT

  public:
    explicit TReportForm(QWidget *parent = nullptr);
    ~TReportForm() override;

    // Shows the window modally; returns true when it was closed with "Exit ...".
    bool Execute();

    // Puts the main window's help commands into the Help menu (on-line help, contact, update
    // check, about); null entries are left out. Called once, when the single instances are made.
    void SetHelpActions(QAction *onLineHelp, QAction *contactUs, QAction *checkForUpdates,
                        QAction *aboutTarvex);

    // Where the report's file names come from: the file window, asked in one of its modes.
    // Called once, when the single instances are made; without it nothing is saved, loaded or
    // exported.
    void SetFileChooser(std::function<TFileChoice(TFileMode)> choose);

    // Handlers.
    void FormShow();
    void PreviewResultsPageChanged(int pageNo);
    void LoadRTFFileActionExecute();
    void SaveRTFActionExecute();
    // Exports the report through the file window in `ConvertSwich`'s mode and opens the file in
    // the desktop's application for it; where there is none, a message says where the file is.
    void ExportData(TFileMode ConvertSwich);
    void CloseAllToolsActionExecute();
    void PrintReportActionExecute();
    void PageSetupActionExecute();

    // Prints the prepared report on `printer` (preparing it first when none is), all pages or
    // the printer's page range or the page shown; what the print command does once its dialog
    // was confirmed.
    void PrintReport(QPrinter &printer);
    // Gives the report the page layout (paper, orientation, margins) and shows it again; what
    // page setup does once its dialog was confirmed.
    void SetPageLayout(const QPageLayout &page);
    void StartFindActionExecute();
    void StopFindActionExecute();
    void FindInReportActionExecute();
    void ZoomUpActionExecute();
    void ZoomDownActionExecute();
    void ChangeZoomActionExecute();
    // The page fills the preview's width, or fits into it whole; the fit holds while the window
    // changes its size, until the next zoom step.
    void FitWidthActionExecute();
    void FitPageActionExecute();
    // A zoom typed into ZoomPercent (Enter, or leaving it): a whole percentage from 10 to 300
    // takes effect; anything else gives way to the zoom in force again.
    void ZoomPercentChange();
    void ThumbnailVisibleClick();
    void ToolBarClick();
    void StatusBarClick();

    // Prepares the report from the stored body (clearing the last prepared pages); returns
    // whether it succeeded.
    bool PrepareReport();
    // Shows the prepared report in the preview at the window's zoom.
    void ShowPreparedReport();
    // Prepares and shows.
    void ShowReport();

    // The prepared report (null before the first preparation).
    std::shared_ptr<const TPreparedReport> Prepared() const { return prepared_; }

    // The template with what the window changed on it (body font, thumbnails, page setup).
    TReportTemplate PingReport;

    // State.
    bool FindNextKey = false;
    double ZoomValue = 1.0;

    // Components (object names as the members).
    QWidget *ToolPanel = nullptr;
    QToolButton *RzBmpButton35 = nullptr;  // load
    QToolButton *RzBmpButton36 = nullptr;  // save
    QToolButton *PDFButton = nullptr;
    QToolButton *RTFButton = nullptr;
    QToolButton *HTMLButton = nullptr;
    QToolButton *SettingsButton = nullptr;
    QToolButton *PrintButton = nullptr;
    QToolButton *SearchButton = nullptr;
    QToolButton *ZoomButton = nullptr;

    QWidget *FindPanel = nullptr;
    QLineEdit *FindTextEdit = nullptr;
    QToolButton *StartPingBtn = nullptr;  // find
    QToolButton *RzBmpButton4 = nullptr;  // end the search
    // What the last find found not: no occurrence, or none after the last one.
    QLabel *FindStatusLabel = nullptr;

    QWidget *ZoomPanel = nullptr;
    QToolButton *ZoomDown = nullptr;
    QLineEdit *ZoomPercent = nullptr;
    QToolButton *ZoomUp = nullptr;
    QToolButton *FitWidthButton = nullptr;
    QToolButton *FitPageButton = nullptr;
    QToolButton *RzBmpButton7 = nullptr;  // close the zoom bar

    TReportPreview *PreviewResults = nullptr;

    QWidget *StatusPanel = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *TotalPagesNoLabel = nullptr;

    QMenuBar *ReportMenu = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *ThumbnailVisibleItem = nullptr;
    QAction *ToolBarItem = nullptr;
    QAction *StatusBarItem = nullptr;
    QAction *ExitItem = nullptr;

    QActionGroup *ReportActionList = nullptr;
    QAction *LoadRTFFileAction = nullptr;
    QAction *SaveRTFAction = nullptr;
    QAction *ExportToPDFAction = nullptr;
    QAction *ExportToRTFAction = nullptr;
    QAction *ExportToHTMLAction = nullptr;
    QAction *CloseAllToolsAction = nullptr;
    QAction *PrintReportAction = nullptr;
    QAction *PageSetupAction = nullptr;
    QAction *StartFindAction = nullptr;
    QAction *StopFindAction = nullptr;
    QAction *ZoomUpAction = nullptr;
    QAction *ZoomDownAction = nullptr;
    QAction *ChangeZoomAction = nullptr;
    QAction *FitWidthAction = nullptr;
    QAction *FitPageAction = nullptr;
    QAction *FindInReportAction = nullptr;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void BuildWindow();
    // Tells that the exported file at `path` is saved and no application opened it.
    void ShowSavedFile(const QString &path);
    // The tool bar of the report commands, the find bar and the zoom bar (both hidden until
    // asked for), and the status line with the page count.
    void BuildToolPanel();
    void BuildFindPanel();
    void BuildZoomPanel();
    void BuildStatusPanel();
    void BuildActions();
    void BuildMenu();
    void ApplyZoom();
    // The zoom in force, as the preview reports it: kept in ZoomValue and shown in ZoomPercent.
    void ShowZoom(double zoom);
    void ShowFindStatus(const QString &text);
    void UpdatePageLabel(int pageNo);
    // The printer of the print and page set-up commands, made on the first of them: making one
    // asks the system's print service for its printers, which the program's start need not wait
    // for. It then keeps the user's choices from one command to the next.
    QPrinter &Printer();
    // The file window's answer in `mode`; nothing chosen without a chooser.
    TFileChoice ChooseFile(TFileMode mode) const;

    std::shared_ptr<const TPreparedReport> prepared_;
    std::unique_ptr<QPrinter> printer_;
    std::function<TFileChoice(TFileMode)> chooseFile_;
};

extern TReportForm *ReportForm;
