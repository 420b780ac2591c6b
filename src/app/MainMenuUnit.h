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
#include "ping/RunModel.h"
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

    // True while any run or a lookup is under way; the commands other than the runs' own and the
    // lookups wait until everything has ended.
    bool IsRunning() const { return !runs_->IsIdle() || IsLookingUp(); }
    // True while a WHOIS lookup is under way (IsRunning() too); Esc and the ping button cancel it.
    bool IsLookingUp() const;
    // True while an address is pinged until stopped, a route traced, a list watched (each
    // IsRunning() too). Runs of different kinds go side by side; Esc and the ping button stop the
    // one started last, and the command of a watch or trace stops its own.
    bool IsWatching() const { return runs_->IsRunning(TRunModel::TKind::Watch); }
    bool IsTracing() const { return runs_->IsRunning(TRunModel::TKind::Trace); }
    bool IsWatchingList() const { return runs_->IsRunning(TRunModel::TKind::ListWatch); }

    // The runs of the window: those under way, and what those since the last clearing measured.
    TRunModel *Runs() const { return runs_; }

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
    const std::vector<TRunResult> &PaneRuns() const { return runs_->PaneRuns(); }

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
    // Requests a second of list runs and watched lists (0: no limit).
    int PingRate = kStandardRate;
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

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The window's side of the runs: the panes, charts, panels and status bar follow the model.
    void ConnectRuns();
    // The window's side of a trace: the route panel's commands.
    void ConnectTrace();
    // The route panel shows the trace's heading, rows and answered rounds; `over`: it ended.
    void RefreshTrace(bool over = false);
    // The located hops of the latest trace as the map window takes them, and the map of them.
    QStringList RouteMapLines() const;
    void ShowRouteOnMap();
    // The window's side of a list watch: the panel, graph, tray and notices follow the model.
    void ConnectListWatch();
    // Shows the list watch's figures: table, heading, graph, bars, tray.
    void RefreshListWatch();
    // Tells the changes just written in one desktop notice, unless the window is looked at.
    void TellWatchChanges(const std::vector<TWatchChange> &changes);
    // The watch panel and its graph (on), or neither (off).
    void ShowListWatch(bool on);
    // The graph's place follows the run the charts follow: the watch's graph or the trip times.
    void ShowChartsOfRun();
    // The tray icon's colour and text for the states of the watched addresses.
    void RefreshWatchTray();
    // True when `action` is the command of a run under way, which stops it.
    bool StopsRun(const QAction *action) const;
    // True when `action` may start now: a run command while no run of its kind and no lookup
    // goes, a lookup while none goes, any other command while nothing goes.
    bool MayStart(const QAction *action) const;
    // Shows the watch's live figures in the status bar.
    void ShowLiveFigures();
    // Shows `text` in the status bar for a while, above the live figures.
    void ShowStatus(const QString &text);
    // The start of a single run or watch: the field's address taken, the light on.
    void BeginAddressRun();
    // The end of one address's run: the light off (unless `more` runs go on), the completion
    // flag set.
    void AddressRunCompleted(bool more = false);
    // The window's look for the runs and lookup under way: the commands that may not start are
    // shown disabled, the field and panes cannot be changed while runs write into them, and the
    // ping button stops the run started last.
    void RefreshRunMode();
    // Asks the run started last to end after the request under way, and says which in the
    // status bar; a lookup ends at once.
    void StopRun();
    // Ends the lookup under way at once and says so in the status bar, the panes as they were;
    // false when none was under way.
    bool CancelLookup();
    // The window while a lookup goes (on) or after it (off).
    void SetLookupMode(bool on, const QString &status);
    // Runs `step` once, when every run has ended.
    void AfterRun(const std::function<void()> &step);
    // The engine parameters, colours and rules the next run takes.
    TRunSettings RunSettings() const;
    // The words for a run of `kind` under way in the status bar: "the trace of 10.0.0.1".
    QString RunName(TRunModel::TKind kind) const;

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
    TRunModel *runs_ = nullptr;
    // The WHOIS lookup under way, off the window's thread.
    TBackgroundCall *lookup_ = nullptr;
    void SaveRunResults(bool csv);
    QTimer *listWatchRefresh_ = nullptr;
    TDesktopNotifier *notifier_ = nullptr;
    // A word in the status bar, shown until this time (ms since the epoch), and the run whose
    // stop it tells of.
    qint64 statusUntil_ = 0;
    TRunModel::TKind stopping_ = TRunModel::TKind::None;
};

extern TMainMenuForm *MainMenuForm;
