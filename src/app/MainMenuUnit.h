#pragma once

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "ping/ListRun.h"
#include "ping/ListWatch.h"
#include "ping/PingRun.h"
#include "ping/RunResults.h"
#include "ping/RunSession.h"
#include "ping/WatchRun.h"

class QAction;
class QChartView;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QTextEdit;
class QToolButton;
class TBackgroundCall;
class TLocalFile;
class TPingCharts;
class TPingDataModule;
class TSettingsModel;
class TSizeSplitter;
class TTracePanel;
class QSystemTrayIcon;
class QTimer;
class TDesktopNotifier;
class TListWatch;
class TWatchGraph;
class TWatchListPanel;
struct TWatchChange;

// The main window: address field, charts, results and address panes, and every command of the
// program as an action of PingActionList.
class TMainMenuForm final : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainMenuForm(QWidget *parent = nullptr);
    ~TMainMenuForm() override;

    // Ping commands and engine settings.
    void SinglePingActionExecute();
    // "Ping until stopped": starts pinging the address in the field every PingInterval
    // milliseconds; triggered while it goes, stops it (the statistics are then written).
    void WatchPingActionExecute();
    void PingListOfAddressesActionExecute();
    // "Watch list of addresses": pings every address of the loaded list every PingInterval
    // milliseconds, all at once, in the watch panel, until stopped; triggered while it goes,
    // stops it (each address's block and the outages are then written).
    void WatchListActionExecute();
    // "Trace route": traces the route to the address in the field in rounds until stopped, in
    // the route panel; triggered while it goes, stops it (the route's block is then written).
    void TraceRouteActionExecute();
    void InitPingActionExecute();
    // Takes the engine parameters, colours and labels from the settings model; runs at the
    // first showing and on every change notice of the model after it.
    void ChangeSystemSettings();
    // The settings the window runs with; handed in before the first showing and outliving the
    // window.
    void SetSettingsModel(TSettingsModel *model);
    // The data module of the WHOIS lookup and the file window of the file commands; handed in
    // before the first showing, and owned by the window.
    void SetDataModule(TPingDataModule *data);
    void SetFileWindow(TLocalFile *files);
    // The echo service of the window's runs from now on.
    void SetEchoService(TEchoServiceFactory connect);
    void SystemSettingsActionExecute();
    void ClearAllActionExecute();
    void ClearMemoActionExecute();

    // Address information (WHOIS) and geolocation map.
    void GetAddressInformationActionExecute();
    void AddressGeolocationActionExecute();
    // "Country and network" of the address pane's context menu: writes what the offline
    // location database knows of `address` (country, network, AS) into the results pane.
    void CountryAndNetworkExecute(const QString &address);

    // Address lists, result files and pane texts.
    void LoadAddressListActionExecute();
    void SaveResultsActionExecute();
    // The runs written into the results pane since it was last cleared, as data for scripts.
    void SaveResultsCsvActionExecute();
    void SaveResultsJsonActionExecute();
    void LoadTextActionExecute();
    void SaveTextActionExecute();

    // Report.
    void CreateReportActionExecute();

    // Text editing on the editing target.
    void TextUndoActionExecute();
    void TextRedoActionExecute();
    void TextCutActionExecute();
    void TextCopyActionExecute();
    void TextPasteActionExecute();
    void TextDeleteActionExecute();
    void TextSelectAllActionExecute();

    // Other windows.
    void OnLineHelpActionExecute();
    void ContsctUsActionExecute();
    void CheckForUpdatesActionExecute();
    void AboutTarvexActionExecute();

    // View switches of the "View" menu.
    void ControlPanelViewClick();
    void StatusBarViewClick();
    void AddressPanelViewClick();
    void ScrollBarsVisibleClick();

    // "E&xit": closes the window, which ends the program.
    void Exit1Click();

    // Enter in the address field starts a single ping; every key is passed on.
    void AddressEditKeyPress(QKeyEvent *Key);
    // A pane received the input focus: it becomes the editing target.
    void DebugMemoEnter();
    void AddressMemoEnter();
    // Close request: frees the WHOIS zone list and the address list; closing is always allowed.
    void FormCloseQuery();

    // True while a ping run or list run, or a lookup, is under way; no other command starts then.
    bool IsRunning() const { return !session_->IsIdle() || IsLookingUp(); }
    // True while a WHOIS lookup is under way (IsRunning() too); Esc and the ping button cancel it.
    bool IsLookingUp() const;
    // True while an address is pinged until stopped (IsRunning() too). While any run goes, Esc
    // and the ping button stop it, and so does the watch command while a watch goes.
    bool IsWatching() const { return session_->Kind() == TRunSession::TKind::Watch; }
    // True while a route is traced (IsRunning() too).
    bool IsTracing() const { return session_->Kind() == TRunSession::TKind::Trace; }
    // True while a list is watched (IsRunning() too).
    bool IsWatchingList() const { return session_->Kind() == TRunSession::TKind::ListWatch; }

    // Panes and fields that the commands share.
    QLineEdit *AddressEdit = nullptr;
    QTextEdit *DebugMemo = nullptr;
    QTextEdit *AddressMemo = nullptr;
    QTextEdit *TempMemo = nullptr;
    QTextEdit *DBRichEdit = nullptr;

    // Panels and controls of the window, top to bottom.
    QMenuBar *PingMenu = nullptr;
    QFrame *ControlPanel = nullptr;
    QFrame *AddressPanel = nullptr;
    QLabel *AddressLabel = nullptr;
    QToolButton *StartPingBtn = nullptr;
    QLabel *ProcessLabel = nullptr;
    QToolButton *ProcessIndicator = nullptr;
    TSizeSplitter *MainSplitter = nullptr;
    TSizeSplitter *ResultPanel = nullptr;
    QFrame *ProcessPanel = nullptr;
    QFrame *GraphInfoPanel = nullptr;
    QLabel *TimeoutLabel = nullptr;
    QLabel *RetriesLabel = nullptr;
    QChartView *ProcessGraph = nullptr;
    // The hops of the latest trace; shown from its start until the next clearing.
    TTracePanel *TracePanel = nullptr;
    // The addresses of the latest list watch; shown from its start until the next clearing.
    TWatchListPanel *WatchListPanel = nullptr;
    // The lines of the watched addresses; in place of the trip-time graph while the watch panel
    // is shown.
    TWatchGraph *WatchGraph = nullptr;
    // Whether every watched address is up, while a list is watched.
    QSystemTrayIcon *WatchTray = nullptr;
    QFrame *GraphPanel = nullptr;
    QLabel *RzLabel1 = nullptr;
    QChartView *PingChart = nullptr;
    TSizeSplitter *ResultsPanel = nullptr;
    QFrame *DebugPanel = nullptr;
    QLabel *RzLabel2 = nullptr;
    QFrame *RzSizePanel1 = nullptr;
    QLabel *RzLabel3 = nullptr;
    QFrame *StatusBar = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *RemaningLabel = nullptr;
    // The live figures of a watched address (sent, lost, trip times, jitter); shown from the
    // start of a watch until the next run or clearing everything.
    QLabel *WatchLabel = nullptr;
    QLabel *Label2 = nullptr;
    QMenu *ResultPopupMenu = nullptr;
    // The context menu's "Country and network", in the menu only while the address pane shows it.
    QAction *PopupCountryNetwork = nullptr;

    // The tool buttons that the command table names.
    QToolButton *AddressInformationButton = nullptr;
    QToolButton *AddressGeolocationButton = nullptr;
    QToolButton *CheckAddressURLButton = nullptr;

    // The commands, in the order of the command table.
    QList<QAction *> PingActionList;
    QAction *SinglePingAction = nullptr;
    QAction *WatchPingAction = nullptr;
    QAction *TraceRouteAction = nullptr;
    QAction *PingListOfAddressesAction = nullptr;
    QAction *WatchListAction = nullptr;
    QAction *GetAddressInformationAction = nullptr;
    QAction *AddressGeolocationAction = nullptr;
    QAction *SystemSettingsAction = nullptr;
    QAction *ClearAllAction = nullptr;
    QAction *InitPingAction = nullptr;
    QAction *LoadAddressListAction = nullptr;
    QAction *SaveResultsAction = nullptr;
    QAction *SaveResultsCsvAction = nullptr;
    QAction *SaveResultsJsonAction = nullptr;
    QAction *CreateReportAction = nullptr;
    QAction *LoadTextAction = nullptr;
    QAction *SaveTextAction = nullptr;
    QAction *ClearMemoAction = nullptr;
    QAction *TextUndoAction = nullptr;
    QAction *TextRedoAction = nullptr;
    QAction *TextCutAction = nullptr;
    QAction *TextCopyAction = nullptr;
    QAction *TextPasteAction = nullptr;
    QAction *TextDeleteAction = nullptr;
    QAction *TextSelectAllAction = nullptr;
    QAction *OnLineHelpAction = nullptr;
    QAction *ContsctUsAction = nullptr;
    QAction *CheckForUpdatesAction = nullptr;
    QAction *AboutTarvexAction = nullptr;

    // Menu entries that are not commands of the list.
    QAction *PrintReport1 = nullptr;
    QAction *Exit1 = nullptr;
    QAction *ControlPanelView = nullptr;
    QAction *StatusBarView = nullptr;
    QAction *AddressPanelView = nullptr;
    QAction *ScrollBarsVisible = nullptr;

    // The runs written into the results pane since it was last cleared, oldest first: single
    // runs, watches, each address of a list run and traces.
    const std::vector<TRunResult> &PaneRuns() const { return paneRuns_; }

    // The charts as the ping run draws on them.
    TPingCharts *Charts() const { return charts_.get(); }

    // The addresses of the list run; filled by loading an address list.
    QStringList AddressList;

    // Engine parameters, filled by ChangeSystemSettings and InitPingActionExecute.
    QString PingAddress;
    quint16 PingTimeOut = 0;
    quint16 PingBufferSize = 0;
    quint16 PingRetries = 0;
    // Milliseconds from one request of a watch to the next.
    int PingInterval = 300;
    // The TTL setting: the hop limit of IPv6 requests (IPv4 requests keep the system's TTL).
    quint16 PingTTL = 0;
    QColor ResultsColor;
    QColor DebugColor;
    QColor InfoColor;

    // Unanswered requests in a row after which a watched address is down, and whether a change
    // of state is also a desktop notification while the window is not active.
    int WatchDownAfter = kStandardDownAfter;
    bool WatchNotifications = true;

    // Addresses a list run pings at once; 1 pings them one after another, the way the ping
    // command is given them one by one.
    int ListRunInFlight = kMaxAddressesInFlight;

    // Completion flag of the latest ping command.
    bool PingProcess = false;
    // x position of the next point of the trip-time graph; reset only by clearing everything.
    double PositionX = 0;

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The engine parameters and the window's panes, charts and labels as a run of `address`
    // takes them.
    TPingRunInput RunInput() const;
    TPingRunTargets RunTargets(const QString &address);
    // The window's side of the runs: it writes what the session's signals bring.
    void ConnectSession();
    // The window's side of a trace: the route panel follows the session's trace signals.
    void ConnectTrace();
    // Writes the block of the trace that ended and the target's line in the address pane.
    void EndTrace();
    // Shows the trace's heading, rows and answered rounds; `over`: the trace has ended, and the
    // heading says how when the target was not reached.
    void RefreshTrace(bool over = false);
    // Empties the trip-time graph and puts its window back at 0..60.
    void RestartGraph();
    // The located hops of the latest trace as the map window takes them, and the map of them.
    QStringList RouteMapLines() const;
    void ShowRouteOnMap();
    // The window's side of a list watch: the panel, graph, lines and notices follow the session.
    void ConnectListWatch();
    // Shows the list watch's figures: table, heading, graph, bars, tray.
    void RefreshListWatch();
    // A change of a watched address's state: kept, and told with the others of its burst.
    void ListWatchChanged(const TWatchChange &change);
    // Writes the kept changes' lines in one go, and tells them in one desktop notice.
    void FlushWatchChanges();
    // Writes each address's block and the outages of the list watch that ended.
    void EndListWatch();
    // The watch panel and its graph (on), or neither (off).
    void ShowListWatch(bool on);
    // The watch's graph (on) or the trip-time graph (off) in the graph's place.
    void ShowWatchGraph(bool on);
    // The tray icon's colour and text for the states of the watched addresses.
    void RefreshWatchTray();
    // Milliseconds since the list watch began.
    qint64 ListWatchNow() const;
    // True when `action` is the command of the run under way, which stops it.
    bool StopsRun(const QAction *action) const;
    // Shows the watch's live figures in the status bar.
    void ShowLiveFigures();
    // The start of a single run or watch of `address`: the header, the light on.
    void BeginAddressRun(const QString &address);
    // The end of one address's run: the light off, the completion flag set.
    void AddressRunCompleted();
    // Writes one address's block of a list run, as the ping command writes it.
    void WriteListRecord(int index, const QString &address, const TPingRecord &record);
    // Shows (on) or ends the window's look while a run goes.
    void SetRunMode(bool on);
    // Asks the run under way to end after the request under way; a lookup ends at once.
    void StopRun();
    // Ends the lookup under way at once and says so in the status bar, the panes as they were;
    // false when none was under way.
    bool CancelLookup();
    // The window while a lookup goes (on) or after it (off).
    void SetLookupMode(bool on, const QString &status);
    // Runs `step` once, when the run under way has ended.
    void AfterRun(const std::function<void()> &step);

    void BuildPanels();
    // The parts of the client area, top to bottom: the tool bar, the address bar, the charts
    // with the graph's information row, the results and address-list panes, the status bar.
    void BuildToolBar(QWidget *central);
    void BuildAddressBar(QWidget *central);
    void BuildChartPanels(QWidget *splitter);
    void BuildPanePanels(QWidget *splitter);
    void BuildStatusBar(QWidget *central);
    void BuildActions();
    void BuildMenus();
    // A menu of the menu bar; an entry of its own (not a command of the list) in `menu`; and a
    // checkable entry of the View menu that runs `handler`.
    QMenu *AddMenu(const char *name, const QString &caption);
    QAction *AddMenuItem(QMenu *menu, QAction *&field, const char *name, const QString &caption,
                         const QString &icon);
    void AddViewSwitch(QMenu *menu, QAction *&field, const char *name, const QString &caption,
                       bool on, void (TMainMenuForm::*handler)());
    void BuildPopupMenu();
    // Before the context menu of `pane` opens at `pos`: "Country and network" names the address
    // of the selection or of the line clicked, or is left out.
    void PreparePopupMenu(QTextEdit *pane, const QPoint &pos);
    void AddCountryNetworkEntry();
    QAction *MakeAction(QAction *&field, const char *name, const char *category,
                        const QString &caption, const QString &icon,
                        const QList<QKeySequence> &keys, void (TMainMenuForm::*handler)());
    QToolButton *AddToolButton(const char *frameName, const char *buttonName, QAction *action,
                               const QString &hint);
    QTextEdit *MakePane(const char *name, QWidget *parent);
    // Runs a command unless a run is under way.
    void Guarded(const std::function<void()> &command);
    // True when the key of a shortcut-override event is a shortcut of an enabled command, which
    // then takes precedence over the focused control's own use of that key.
    bool ActionShortcutMatches(QKeyEvent *event) const;

    // First showing of the window: completes the data folders, loads the settings, prepares an
    // empty window.
    void FormShow();

    std::unique_ptr<TPingCharts> charts_;
    TSettingsModel *settings_ = nullptr;
    TPingDataModule *data_ = nullptr;
    TLocalFile *files_ = nullptr;
    bool shown_ = false;
    TRunSession *session_ = nullptr;
    // The WHOIS lookup under way, off the window's thread.
    TBackgroundCall *lookup_ = nullptr;
    // The single run or watch under way: its input, address and figures so far.
    TPingRunInput runInput_;
    QString runAddress_;
    TPingFigures figures_;
    std::unique_ptr<TWatchWriter> watchWriter_;
    // Addresses of the list run under way.
    int listLength_ = 0;
    // The trace under way or last made: its hops, target, start and rounds.
    // The runs of the results pane as data (see PaneRuns), and the single run or watch under way.
    void KeepPaneRun(TRunResult run);
    void ForgetPaneRuns();
    void SaveRunResults(bool csv);
    std::vector<TRunResult> paneRuns_;
    TRunResult paneRun_;
    std::unique_ptr<TTraceHops> traceHops_;
    QString traceResolved_;
    QDateTime traceStarted_;
    int traceRounds_ = 0;
    // The latest round the graph has a point of.
    int tracePlottedRound_ = 0;
    // The list watch under way or last made, when it began, and its clock.
    std::unique_ptr<TListWatch> listWatch_;
    // Its changes of state, for the watch's results saved as JSON.
    TWatchLog listWatchLog_;
    QDateTime listWatchStarted_;
    QElapsedTimer listWatchClock_;
    qint64 listWatchEndedMs_ = -1;
    QTimer *listWatchRefresh_ = nullptr;
    TDesktopNotifier *notifier_ = nullptr;
    // The row and trip times the bar chart shows during a list watch.
    int barsRow_ = -1;
    QList<double> barTrips_;
    // The changes of the latest burst of outcomes, with their time, not yet told.
    QList<QPair<TWatchChange, QDateTime>> pendingChanges_;
};

extern TMainMenuForm *MainMenuForm;
