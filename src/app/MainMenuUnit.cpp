#include "app/MainMenuUnit.h"

#include "common/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AboutUsUnit.h"
#include "app/PingCharts.h"
#include "app/SizeSplitter.h"
#include "app/TracePanel.h"
#include "app/WatchGraph.h"
#include "app/WatchListPanel.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/Errors.h"
#include "common/PictureSources.h"
#include "common/TX_Edit.h"
#include "common/TX_EditOps.h"
#include "common/TX_File.h"
#include "common/TX_Net.h"
#include "common/WindowLook.h"
#include "contact/ContactUnit.h"
#include "lookup/DataUnit.h"
#include "lookup/WhoisZones.h"
#include "ping/ListRun.h"
#include "ping/PingRun.h"
#include "ping/RunSession.h"
#include "ping/WatchRun.h"
#include "settings/ColorValues.h"
#include "settings/SettingsModel.h"
#include "settings/SystemSettingsUnit.h"
#include "update/UpdateUnit.h"

TMainMenuForm *MainMenuForm = nullptr;

namespace {

const QColor kPaneColor = LookMainPaneColor();
const QColor kHeadingColor(54, 54, 54);
const QColor kTextColor = LookTextColor();

constexpr int kClientWidth = 914;
constexpr int kClientHeight = 532;
constexpr int kControlPanelHeight = 50;
constexpr int kAddressPanelHeight = 26;
constexpr int kResultsPanelHeight = 230;
constexpr int kStatusBarHeight = 20;
// The least height the panes keep when a panel opens below them: a heading and four lines.
constexpr int kLeastPanesHeight = 80;
constexpr int kSidePanelWidth = 364;
constexpr int kToolButtonSize = 32;

QFrame *MakePanel(const char *name, QWidget *parent) {
    auto *panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setAutoFillBackground(true);
    return panel;
}

// A heading above a pane or chart, as the panels of the window carry them.
QLabel *MakeHeading(const char *name, const QString &caption, QWidget *parent) {
    QLabel *label = NewLabel(parent, QString::fromLatin1(name), caption);
    label->setFixedHeight(18);
    label->setIndent(4);
    PaintDark(label, kTextColor, kHeadingColor);
    return label;
}

QVBoxLayout *TightColumn(QWidget *owner) {
    auto *layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

}  // namespace

TMainMenuForm::TMainMenuForm(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainMenuForm"));
    setWindowTitle(QStringLiteral("Tarvex"));
    setWindowIcon(CommandIcon(QStringLiteral("about")));
    setFont(WindowFont());
    PaintDark(this, kTextColor);

    runs_ = new TRunModel(this);
    BuildActions();
    BuildPanels();
    runs_->SetViews({DebugMemo->document(), AddressMemo->document(), {}, charts_.get()});
    ConnectRuns();
    ConnectTrace();
    ConnectListWatch();
    BuildMenus();
    BuildPopupMenu();

    // Every pane that the result writer fills shows its newest line: the scroll bar goes to
    // its end, the caret stays where the user left it.
    SetResultScroller([this](QTextDocument *document) {
        for (QTextEdit *pane : {DebugMemo, AddressMemo, TempMemo, DBRichEdit}) {
            if (pane != nullptr && pane->document() == document) {
                pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
            }
        }
    });

    // The client area (below the menu) is 914 x 532, centred on the screen.
    resize(kClientWidth, kClientHeight + PingMenu->sizeHint().height());
    CenterOnScreen(this);
}

TMainMenuForm::~TMainMenuForm() {
    SetResultScroller({});
    if (SelectedEditingMemo == DebugMemo || SelectedEditingMemo == AddressMemo ||
        SelectedEditingMemo == TempMemo) {
        SelectedEditingMemo = nullptr;
    }
    if (MainMenuForm == this) {
        MainMenuForm = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// Building the window

QAction *TMainMenuForm::MakeAction(QAction *&field, const char *name, const char *category,
                                   const QString &caption, const QString &icon,
                                   const QList<QKeySequence> &keys,
                                   void (TMainMenuForm::*handler)()) {
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setProperty("category", QString::fromLatin1(category));
    action->setData(QString::fromLatin1(category));
    if (!icon.isEmpty()) {
        action->setIcon(CommandIcon(icon));
    }
    // Shortcuts belong to the whole window: whichever control has the focus, the key runs the
    // command (see eventFilter for the controls that would keep such keys for themselves).
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    ConnectCommand(action, this, [this, handler, action] {
        // While a run goes, Esc (which stops it) and the command of a watch or trace (which
        // stops its own) still act, and so do the runs of other kinds and the lookups; every
        // other command waits until the runs have ended.
        if ((IsRunning() && action == ClearAllAction) || StopsRun(action) || MayStart(action)) {
            (this->*handler)();
        }
        // A check mark shows whether an address is watched or traced, not how often it was
        // clicked.
        if (action->isCheckable()) {
            action->setChecked(StopsRun(action));
        }
    });
    field = action;
    PingActionList.append(action);
    return action;
}

void TMainMenuForm::BuildActions() {
    // A secondary shortcut is not shown in the menus: the first key of the list is left empty.
    const QKeySequence none;
    MakeAction(SinglePingAction, "SinglePingAction", "[ PING ]", QStringLiteral("Ping address ..."),
               QStringLiteral("ping"), {QKeySequence(Qt::Key_F9)},
               &TMainMenuForm::SinglePingActionExecute);
    MakeAction(WatchPingAction, "WatchPingAction", "[ PING ]", QStringLiteral("Ping until stopped"),
               QStringLiteral("watch"), {QKeySequence(Qt::SHIFT | Qt::Key_F9)},
               &TMainMenuForm::WatchPingActionExecute);
    WatchPingAction->setCheckable(true);
    MakeAction(TraceRouteAction, "TraceRouteAction", "[ PING ]", QStringLiteral("Trace route"),
               QStringLiteral("watch"), {QKeySequence(Qt::CTRL | Qt::Key_T)},
               &TMainMenuForm::TraceRouteActionExecute);
    TraceRouteAction->setCheckable(true);
    MakeAction(PingListOfAddressesAction, "PingListOfAddressesAction", "[ PING ]",
               QStringLiteral("Ping list of addresses ... "), QStringLiteral("check-list"),
               {QKeySequence(Qt::Key_F10)}, &TMainMenuForm::PingListOfAddressesActionExecute);
    MakeAction(WatchListAction, "WatchListAction", "[ PING ]",
               QStringLiteral("Watch list of addresses"), QStringLiteral("watch"),
               {QKeySequence(Qt::SHIFT | Qt::Key_F10)}, &TMainMenuForm::WatchListActionExecute);
    WatchListAction->setCheckable(true);
    MakeAction(GetAddressInformationAction, "GetAddressInformationAction", "[ PING ]",
               QStringLiteral("Get address info ..."), QStringLiteral("address-info"),
               {QKeySequence(Qt::Key_F2)}, &TMainMenuForm::GetAddressInformationActionExecute);
    MakeAction(AddressGeolocationAction, "AddressGeolocationAction", "[ PING ]",
               QStringLiteral("Address geolocation ..."), QStringLiteral("geolocation"),
               {QKeySequence(Qt::Key_F3)}, &TMainMenuForm::AddressGeolocationActionExecute);
    MakeAction(SystemSettingsAction, "SystemSettingsAction", "[ PING ]",
               QStringLiteral("System settings ..."), QStringLiteral("settings"),
               {QKeySequence(Qt::ALT | Qt::Key_S)}, &TMainMenuForm::SystemSettingsActionExecute);
    MakeAction(ClearAllAction, "ClearAllAction", "[ PING ]", QStringLiteral("New analyze ..."),
               QStringLiteral("clear"), {none, QKeySequence(Qt::Key_Escape)},
               &TMainMenuForm::ClearAllActionExecute);
    MakeAction(InitPingAction, "InitPingAction", "[ PING ]", QStringLiteral("Init ping"), QString(),
               {}, &TMainMenuForm::InitPingActionExecute);
    MakeAction(LoadAddressListAction, "LoadAddressListAction", "[ FILE ]",
               QStringLiteral("Load addresses list ..."), QStringLiteral("load-list"), {},
               &TMainMenuForm::LoadAddressListActionExecute);
    MakeAction(SaveResultsAction, "SaveResultsAction", "[ FILE ]",
               QStringLiteral("Save results ..."), QStringLiteral("save"), {},
               &TMainMenuForm::SaveResultsActionExecute);
    MakeAction(SaveResultsCsvAction, "SaveResultsCsvAction", "[ FILE ]",
               QStringLiteral("Save results as CSV ..."), QStringLiteral("save"), {},
               &TMainMenuForm::SaveResultsCsvActionExecute);
    MakeAction(SaveResultsJsonAction, "SaveResultsJsonAction", "[ FILE ]",
               QStringLiteral("Save results as JSON ..."), QStringLiteral("save"), {},
               &TMainMenuForm::SaveResultsJsonActionExecute);
    MakeAction(CreateReportAction, "CreateReportAction", "[ FILE ]",
               QStringLiteral("Create report ...."), QStringLiteral("report"), {},
               &TMainMenuForm::CreateReportActionExecute);
    MakeAction(LoadTextAction, "LoadTextAction", "[ FILE ]", QStringLiteral("Load ..."),
               QStringLiteral("load-list"), {none, QKeySequence(Qt::CTRL | Qt::Key_L)},
               &TMainMenuForm::LoadTextActionExecute);
    MakeAction(SaveTextAction, "SaveTextAction", "[ FILE ]", QStringLiteral("Save ..."),
               QStringLiteral("save"), {none, QKeySequence(Qt::CTRL | Qt::Key_S)},
               &TMainMenuForm::SaveTextActionExecute);
    MakeAction(ClearMemoAction, "ClearMemoAction", "[ FILE ]", QStringLiteral("New ..."),
               QStringLiteral("clear"), {}, &TMainMenuForm::ClearMemoActionExecute);
    MakeAction(TextUndoAction, "TextUndoAction", "[ EDIT ]", QStringLiteral("Undo ..."),
               QStringLiteral("undo"), {QKeySequence(Qt::CTRL | Qt::Key_Z)},
               &TMainMenuForm::TextUndoActionExecute);
    MakeAction(TextRedoAction, "TextRedoAction", "[ EDIT ]", QStringLiteral("Redo ..."),
               QStringLiteral("redo"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
               &TMainMenuForm::TextRedoActionExecute);
    MakeAction(TextCutAction, "TextCutAction", "[ EDIT ]", QStringLiteral("Cut ..."),
               QStringLiteral("cut"), {QKeySequence(Qt::CTRL | Qt::Key_X)},
               &TMainMenuForm::TextCutActionExecute);
    MakeAction(TextCopyAction, "TextCopyAction", "[ EDIT ]", QStringLiteral("Copy ..."),
               QStringLiteral("copy"), {QKeySequence(Qt::CTRL | Qt::Key_C)},
               &TMainMenuForm::TextCopyActionExecute);
    MakeAction(TextPasteAction, "TextPasteAction", "[ EDIT ]", QStringLiteral("Paste ..."),
               QStringLiteral("paste"), {QKeySequence(Qt::CTRL | Qt::Key_V)},
               &TMainMenuForm::TextPasteActionExecute);
    MakeAction(TextDeleteAction, "TextDeleteAction", "[ EDIT ]", QStringLiteral("delete ..."),
               QStringLiteral("delete"), {QKeySequence(Qt::Key_Delete)},
               &TMainMenuForm::TextDeleteActionExecute);
    MakeAction(TextSelectAllAction, "TextSelectAllAction", "[ EDIT ]",
               QStringLiteral("Select all ..."), QStringLiteral("select-all"),
               {QKeySequence(Qt::CTRL | Qt::Key_A)}, &TMainMenuForm::TextSelectAllActionExecute);
    MakeAction(OnLineHelpAction, "OnLineHelpAction", "[ HELP ]", QStringLiteral("Online help"),
               QStringLiteral("help"), {none, QKeySequence(Qt::Key_F1)},
               &TMainMenuForm::OnLineHelpActionExecute);
    MakeAction(ContsctUsAction, "ContsctUsAction", "[ HELP ]", QStringLiteral("Contact us"),
               QStringLiteral("contact"), {}, &TMainMenuForm::ContsctUsActionExecute);
    MakeAction(CheckForUpdatesAction, "CheckForUpdatesAction", "[ HELP ]",
               QStringLiteral("Check for updates"), QStringLiteral("update"), {},
               &TMainMenuForm::CheckForUpdatesActionExecute);
    MakeAction(AboutTarvexAction, "AboutTarvexAction", "[ HELP ]", QStringLiteral("About Tarvex"),
               QStringLiteral("about"), {}, &TMainMenuForm::AboutTarvexActionExecute);
}

QToolButton *TMainMenuForm::AddToolButton(const char *frameName, const char *buttonName,
                                          QAction *action, const QString &hint) {
    auto *frame = new QGroupBox(ControlPanel);
    frame->setObjectName(QString::fromLatin1(frameName));
    frame->setFixedSize(kToolButtonSize + 10, kToolButtonSize + 10);
    auto *layout = new QHBoxLayout(frame);
    layout->setContentsMargins(4, 4, 4, 4);
    QToolButton *button = NewCommandButton(frame, QString::fromLatin1(buttonName), action,
                                           action->icon(), kToolButtonSize, 24, hint);
    button->setFocusPolicy(Qt::NoFocus);
    connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    layout->addWidget(button);
    ControlPanel->layout()->addWidget(frame);
    return button;
}

QTextEdit *TMainMenuForm::MakePane(const char *name, QWidget *parent) {
    auto *pane = new QTextEdit(parent);
    pane->setObjectName(QString::fromLatin1(name));
    pane->setFrameShape(QFrame::NoFrame);
    pane->setLineWrapMode(QTextEdit::NoWrap);
    pane->setAcceptRichText(true);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setFont(WindowFont());
    pane->document()->setDefaultFont(WindowFont());
    PaintPane(pane, kPaneColor, kTextColor);
    pane->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pane, &QWidget::customContextMenuRequested, this, [this, pane](const QPoint &pos) {
        PreparePopupMenu(pane, pos);
        ResultPopupMenu->popup(pane->viewport()->mapToGlobal(pos));
    });
    pane->installEventFilter(this);
    return pane;
}

void TMainMenuForm::BuildPanels() {
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    QVBoxLayout *column = TightColumn(central);
    BuildToolBar(central);
    column->addWidget(ControlPanel);
    BuildAddressBar(central);
    column->addWidget(AddressPanel);

    // Charts above, panes below; the panes' panel is resizable.
    MainSplitter = new TSizeSplitter(Qt::Vertical, central);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    BuildChartPanels(MainSplitter);
    BuildPanePanels(MainSplitter);
    TracePanel = new TTracePanel(MainSplitter);
    TracePanel->hide();
    WatchListPanel = new TWatchListPanel(MainSplitter);
    WatchListPanel->hide();
    MainSplitter->addWidget(ResultPanel);
    MainSplitter->addWidget(ResultsPanel);
    // The route of a trace goes below the panes, shown once a trace starts.
    MainSplitter->addWidget(TracePanel);
    // So does the table of a list watch.
    MainSplitter->addWidget(WatchListPanel);
    MainSplitter->setStretchFactor(0, 1);
    MainSplitter->setStretchFactor(1, 0);
    MainSplitter->setCollapsible(0, false);
    MainSplitter->SetLeastKept(ResultsPanel, kLeastPanesHeight);
    const int chartsHeight = kClientHeight - kControlPanelHeight - kAddressPanelHeight -
                             kStatusBarHeight - kResultsPanelHeight - MainSplitter->handleWidth();
    MainSplitter->setSizes({chartsHeight, kResultsPanelHeight});
    column->addWidget(MainSplitter, 1);

    BuildStatusBar(central);
    column->addWidget(StatusBar);
    setCentralWidget(central);
}

void TMainMenuForm::BuildToolBar(QWidget *central) {
    ControlPanel = MakePanel("ControlPanel", central);
    ControlPanel->setFixedHeight(kControlPanelHeight);
    auto *tools = new QHBoxLayout(ControlPanel);
    tools->setContentsMargins(6, 4, 6, 4);
    tools->setSpacing(4);
    AddToolButton("RzGroupBox11", "ClearAllButton", ClearAllAction,
                  QStringLiteral("Clear all ..."));
    AddToolButton("RzGroupBox10", "LoadAddressListButton", LoadAddressListAction,
                  QStringLiteral("Load address list ..."));
    AddToolButton("RzGroupBox9", "SaveResultsButton", SaveResultsAction,
                  QStringLiteral("Save results ..."));
    AddToolButton("RzGroupBox12", "ReportButton", CreateReportAction, QStringLiteral("Report ..."));
    AddressInformationButton =
        AddToolButton("RzGroupBox2", "AddressInformationButton", GetAddressInformationAction,
                      QStringLiteral("Address information ..."));
    AddToolButton("RzGroupBox1", "GeolocationMapButton", AddressGeolocationAction,
                  QStringLiteral("Address geolocation ..."));
    AddressGeolocationButton =
        AddToolButton("RzGroupBox13", "AddressGeolocationButton", PingListOfAddressesAction,
                      QStringLiteral("Check list of addresses ..."));
    CheckAddressURLButton =
        AddToolButton("RzGroupBox19", "CheckAddressURLButton", SystemSettingsAction,
                      QStringLiteral("System settings ..."));
    tools->addStretch(1);
}

void TMainMenuForm::BuildAddressBar(QWidget *central) {
    AddressPanel = MakePanel("AddressPanel", central);
    AddressPanel->setFixedHeight(kAddressPanelHeight);
    auto *addressRow = new QHBoxLayout(AddressPanel);
    addressRow->setContentsMargins(8, 2, 6, 2);
    addressRow->setSpacing(6);
    AddressLabel =
        NewLabel(AddressPanel, QStringLiteral("AddressLabel"), QStringLiteral("URL or IP Address"));
    AddressEdit = new QLineEdit(AddressPanel);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    AddressEdit->setFixedWidth(320);
    AddressEdit->setMaxLength(kAddressMaxLength);
    AddressEdit->installEventFilter(this);
    StartPingBtn = new QToolButton(AddressPanel);
    StartPingBtn->setObjectName(QStringLiteral("StartPingBtn"));
    StartPingBtn->setIcon(CommandIcon(QStringLiteral("ping")));
    StartPingBtn->setIconSize(QSize(18, 18));
    StartPingBtn->setFixedSize(34, 22);
    StartPingBtn->setAutoRaise(true);
    StartPingBtn->setFocusPolicy(Qt::NoFocus);
    StartPingBtn->setToolTip(QStringLiteral("Ping address ..."));
    // The button's second mode: its arrow offers pinging until stopped, and while an address is
    // watched the button itself stops it.
    auto *pingModes = new QMenu(StartPingBtn);
    pingModes->setObjectName(QStringLiteral("StartPingMenu"));
    pingModes->setFont(WindowFont());
    pingModes->addAction(SinglePingAction);
    pingModes->addAction(WatchPingAction);
    StartPingBtn->setMenu(pingModes);
    StartPingBtn->setPopupMode(QToolButton::MenuButtonPopup);
    connect(StartPingBtn, &QToolButton::clicked, this,
            [this] { IsRunning() ? StopRun() : SinglePingAction->trigger(); });
    ProcessLabel =
        NewLabel(AddressPanel, QStringLiteral("ProcessLabel"), QStringLiteral("Process"));
    ProcessIndicator = new QToolButton(AddressPanel);
    ProcessIndicator->setObjectName(QStringLiteral("ProcessIndicator"));
    QIcon light;
    light.addFile(CommandIconPath(QStringLiteral("busy-on")), QSize(), QIcon::Normal);
    light.addFile(CommandIconPath(QStringLiteral("busy-off")), QSize(), QIcon::Disabled);
    ProcessIndicator->setIcon(light);
    ProcessIndicator->setIconSize(QSize(16, 16));
    ProcessIndicator->setFixedSize(22, 22);
    ProcessIndicator->setAutoRaise(true);
    ProcessIndicator->setFocusPolicy(Qt::NoFocus);
    ProcessIndicator->setToolTip(QStringLiteral("Start analyze ..."));
    ProcessIndicator->setEnabled(false);
    addressRow->addWidget(AddressLabel);
    addressRow->addWidget(AddressEdit);
    addressRow->addWidget(StartPingBtn);
    addressRow->addStretch(1);
    addressRow->addWidget(ProcessLabel);
    addressRow->addWidget(ProcessIndicator);
}

void TMainMenuForm::BuildChartPanels(QWidget *splitter) {
    ResultPanel = new TSizeSplitter(Qt::Horizontal, splitter);
    ResultPanel->setObjectName(QStringLiteral("ResultPanel"));
    charts_ = std::make_unique<TPingCharts>(ResultPanel);
    ProcessGraph = charts_->ProcessGraph();
    PingChart = charts_->PingChart();

    ProcessPanel = MakePanel("ProcessPanel", ResultPanel);
    QVBoxLayout *processColumn = TightColumn(ProcessPanel);
    GraphInfoPanel = MakePanel("GraphInfoPanel", ProcessPanel);
    GraphInfoPanel->setFixedHeight(18);
    auto *infoRow = new QHBoxLayout(GraphInfoPanel);
    infoRow->setContentsMargins(6, 0, 6, 0);
    TimeoutLabel = NewLabel(GraphInfoPanel, QStringLiteral("TimeoutLabel"),
                            QStringLiteral("Receive Timeout:  1000 ms"));
    RetriesLabel =
        NewLabel(GraphInfoPanel, QStringLiteral("RetriesLabel"), QStringLiteral("Retries No: 3 "));
    infoRow->addWidget(TimeoutLabel);
    infoRow->addStretch(1);
    infoRow->addWidget(RetriesLabel);
    processColumn->addWidget(GraphInfoPanel);
    ProcessGraph->setParent(ProcessPanel);
    processColumn->addWidget(ProcessGraph, 1);
    WatchGraph = new TWatchGraph(ProcessPanel);
    WatchGraph->hide();
    processColumn->addWidget(WatchGraph, 1);

    GraphPanel = MakePanel("GraphPanel", ResultPanel);
    QVBoxLayout *graphColumn = TightColumn(GraphPanel);
    RzLabel1 = MakeHeading("RzLabel1", QStringLiteral("Trip Time [ms]"), GraphPanel);
    graphColumn->addWidget(RzLabel1);
    PingChart->setParent(GraphPanel);
    graphColumn->addWidget(PingChart, 1);

    ResultPanel->addWidget(ProcessPanel);
    ResultPanel->addWidget(GraphPanel);
    ResultPanel->setStretchFactor(0, 1);
    ResultPanel->setStretchFactor(1, 0);
    ResultPanel->setCollapsible(0, false);
    ResultPanel->setSizes(
        {kClientWidth - kSidePanelWidth - ResultPanel->handleWidth(), kSidePanelWidth});
}

void TMainMenuForm::BuildPanePanels(QWidget *splitter) {
    ResultsPanel = new TSizeSplitter(Qt::Horizontal, splitter);
    ResultsPanel->setObjectName(QStringLiteral("ResultsPanel"));
    DebugPanel = MakePanel("DebugPanel", ResultsPanel);
    QVBoxLayout *debugColumn = TightColumn(DebugPanel);
    RzLabel2 = MakeHeading("RzLabel2", QStringLiteral("Results"), DebugPanel);
    DebugMemo = MakePane("DebugMemo", DebugPanel);
    debugColumn->addWidget(RzLabel2);
    debugColumn->addWidget(DebugMemo, 1);

    RzSizePanel1 = MakePanel("RzSizePanel1", ResultsPanel);
    QVBoxLayout *addressColumn = TightColumn(RzSizePanel1);
    RzLabel3 = MakeHeading("RzLabel3", QStringLiteral("Addresses List"), RzSizePanel1);
    AddressMemo = MakePane("AddressMemo", RzSizePanel1);
    // Scratch area of the lookups, result files and reports; never shown.
    TempMemo = MakePane("TempMemo", RzSizePanel1);
    TempMemo->setContextMenuPolicy(Qt::NoContextMenu);
    TempMemo->hide();
    // Holds the report body; never shown.
    DBRichEdit = MakePane("DBRichEdit", RzSizePanel1);
    DBRichEdit->setContextMenuPolicy(Qt::NoContextMenu);
    DBRichEdit->hide();
    addressColumn->addWidget(RzLabel3);
    addressColumn->addWidget(AddressMemo, 1);
    addressColumn->addWidget(TempMemo);
    addressColumn->addWidget(DBRichEdit);

    ResultsPanel->addWidget(DebugPanel);
    ResultsPanel->addWidget(RzSizePanel1);
    ResultsPanel->setStretchFactor(0, 1);
    ResultsPanel->setStretchFactor(1, 0);
    ResultsPanel->setCollapsible(0, false);
    ResultsPanel->setSizes(
        {kClientWidth - kSidePanelWidth - ResultsPanel->handleWidth(), kSidePanelWidth});
}

void TMainMenuForm::BuildStatusBar(QWidget *central) {
    StatusBar = MakePanel("StatusBar", central);
    StatusBar->setFixedHeight(kStatusBarHeight);
    auto *statusRow = new QHBoxLayout(StatusBar);
    statusRow->setContentsMargins(8, 0, 8, 0);
    statusRow->setSpacing(12);
    Label5 = NewLabel(StatusBar, QStringLiteral("Label5"), QStringLiteral("Ping results"));
    RemaningLabel = NewLabel(StatusBar, QStringLiteral("RemaningLabel"), QStringLiteral("0 of 0"));
    WatchLabel = NewLabel(StatusBar, QStringLiteral("WatchLabel"), QString());
    // Long figures are cut at the right rather than widening the window.
    WatchLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    WatchLabel->hide();
    Label2 = NewLabel(StatusBar, QStringLiteral("Label2"), QStringLiteral("Tarvex ST"));
    statusRow->addWidget(Label5);
    statusRow->addWidget(RemaningLabel);
    statusRow->addWidget(WatchLabel, 1);
    // Takes the room while the figures are hidden.
    statusRow->addStretch(0);
    statusRow->addWidget(Label2);
}

QMenu *TMainMenuForm::AddMenu(const char *name, const QString &caption) {
    QMenu *menu = PingMenu->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menu->setFont(WindowFont());
    return menu;
}

QAction *TMainMenuForm::AddMenuItem(QMenu *menu, QAction *&field, const char *name,
                                    const QString &caption, const QString &icon) {
    field = new QAction(caption, this);
    field->setObjectName(QString::fromLatin1(name));
    if (!icon.isEmpty()) {
        field->setIcon(CommandIcon(icon));
    }
    menu->addAction(field);
    return field;
}

void TMainMenuForm::AddViewSwitch(QMenu *menu, QAction *&field, const char *name,
                                  const QString &caption, bool on,
                                  void (TMainMenuForm::*handler)()) {
    AddMenuItem(menu, field, name, caption, QString());
    field->setCheckable(true);
    field->setChecked(on);
    ConnectCommand(field, this,
                   [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
}

void TMainMenuForm::BuildMenus() {
    PingMenu = new QMenuBar(this);
    PingMenu->setObjectName(QStringLiteral("PingMenu"));
    setMenuBar(PingMenu);

    QMenu *file = AddMenu("File1", QStringLiteral("&File"));
    file->addAction(ClearAllAction);
    file->addSeparator();
    file->addAction(LoadAddressListAction);
    file->addAction(SaveResultsAction);
    file->addAction(SaveResultsCsvAction);
    file->addAction(SaveResultsJsonAction);
    file->addSeparator();
    file->addAction(CreateReportAction);
    // This entry has no command; it is shown disabled so that it does not promise one.
    AddMenuItem(file, PrintReport1, "PrintReport1", QStringLiteral("&Print report . . . "),
                QStringLiteral("print"));
    PrintReport1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    PrintReport1->setShortcutContext(Qt::WindowShortcut);
    PrintReport1->setEnabled(false);
    file->addSeparator();
    AddMenuItem(file, Exit1, "Exit1", QStringLiteral("E&xit"), QStringLiteral("exit"));
    ConnectCommand(Exit1, this, [this] { Guarded([this] { Exit1Click(); }); });

    QMenu *edit = AddMenu("Edit1", QStringLiteral("Edit"));
    edit->addAction(TextUndoAction);
    edit->addAction(TextRedoAction);
    edit->addSeparator();
    edit->addAction(TextCutAction);
    edit->addAction(TextCopyAction);
    edit->addAction(TextPasteAction);
    edit->addAction(TextDeleteAction);
    edit->addSeparator();
    edit->addAction(TextSelectAllAction);

    QMenu *view = AddMenu("View1", QStringLiteral("View"));
    AddViewSwitch(view, ControlPanelView, "ControlPanelView", QStringLiteral("Control panel"), true,
                  &TMainMenuForm::ControlPanelViewClick);
    AddViewSwitch(view, StatusBarView, "StatusBarView", QStringLiteral("Status bar"), true,
                  &TMainMenuForm::StatusBarViewClick);
    view->addSeparator();
    AddViewSwitch(view, AddressPanelView, "AddressPanelView", QStringLiteral("Address panel"), true,
                  &TMainMenuForm::AddressPanelViewClick);
    view->addSeparator();
    AddViewSwitch(view, ScrollBarsVisible, "ScrollBarsVisible",
                  QStringLiteral("Scroll bars visible"), false,
                  &TMainMenuForm::ScrollBarsVisibleClick);

    QMenu *tools = AddMenu("Tools1", QStringLiteral("Tools"));
    tools->addAction(SinglePingAction);
    tools->addAction(WatchPingAction);
    tools->addAction(TraceRouteAction);
    tools->addAction(GetAddressInformationAction);
    tools->addAction(AddressGeolocationAction);
    tools->addSeparator();
    tools->addAction(PingListOfAddressesAction);
    tools->addAction(WatchListAction);
    tools->addSeparator();
    tools->addAction(SystemSettingsAction);

    QMenu *help = AddMenu("Help1", QStringLiteral("&Help"));
    help->addAction(OnLineHelpAction);
    help->addSeparator();
    help->addAction(ContsctUsAction);
    help->addAction(CheckForUpdatesAction);
    help->addSeparator();
    // The entry's caption differs from the command's ("About Tarvex"), so it is an entry of its
    // own that runs the command.
    QAction *about = nullptr;
    AddMenuItem(help, about, "AboutTarvex1", QStringLiteral("About Tarvex "),
                QStringLiteral("about"));
    connect(about, &QAction::triggered, AboutTarvexAction, &QAction::trigger);
}

void TMainMenuForm::BuildPopupMenu() {
    ResultPopupMenu = new QMenu(this);
    ResultPopupMenu->setObjectName(QStringLiteral("ResultPopupMenu"));
    ResultPopupMenu->setFont(WindowFont());
    // The entries carry captions of their own and run the commands of the list.
    auto entry = [this](const char *name, const QString &caption, QAction *command) {
        auto *item = new QAction(caption, ResultPopupMenu);
        item->setObjectName(QString::fromLatin1(name));
        item->setIcon(command->icon());
        connect(item, &QAction::triggered, command, &QAction::trigger);
        connect(command, &QAction::enabledChanged, item, &QAction::setEnabled);
        ResultPopupMenu->addAction(item);
    };
    entry("PopupNew", QStringLiteral("New ..."), ClearMemoAction);
    entry("PopupSave", QStringLiteral("Save ..."), SaveTextAction);
    ResultPopupMenu->addSeparator();
    entry("PopupUndo", QStringLiteral("Undo ... "), TextUndoAction);
    entry("PopupRedo", QStringLiteral("Redo ..."), TextRedoAction);
    ResultPopupMenu->addSeparator();
    entry("PopupCut", QStringLiteral("Cut ..."), TextCutAction);
    entry("PopupCopy", QStringLiteral("Copy ..."), TextCopyAction);
    entry("PopupPaste", QStringLiteral("Paste ..."), TextPasteAction);
    entry("PopupDelete", QStringLiteral("Delete ..."), TextDeleteAction);
    ResultPopupMenu->addSeparator();
    entry("PopupSelectAll", QStringLiteral("Selecta all ..."), TextSelectAllAction);
    AddCountryNetworkEntry();
}

// ---------------------------------------------------------------------------------------------
// Events

void TMainMenuForm::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TMainMenuForm::closeEvent(QCloseEvent *event) {
    CancelLookup();  // nobody is left to read its answer
    if (IsRunning()) {
        // A run of its set number of requests ends by itself, and the window closes then. A run
        // that goes until stopped (a watch, a trace) is told to stop: a watch ends after its
        // current request, a trace at once, each with its block written. A watched list ends at
        // once with what it measured: its silent addresses would hold the window a time-out.
        runs_->StopForClosing();
        AfterRun([this] { close(); });
        event->ignore();
        return;
    }
    FormCloseQuery();
    event->accept();
}

bool TMainMenuForm::ActionShortcutMatches(QKeyEvent *event) const {
    const QKeySequence pressed(event->keyCombination());
    for (QAction *action : PingActionList) {
        if (!action->isEnabled()) {
            continue;
        }
        for (const QKeySequence &key : action->shortcuts()) {
            if (!key.isEmpty() && key == pressed) {
                return true;
            }
        }
    }
    return false;
}

bool TMainMenuForm::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // The address field and the panes would keep Ctrl+C, Ctrl+A, Del and the like for
            // themselves; the window's commands come first, so that Ctrl+C in the address field
            // copies from the editing target. Select all is the exception in the address field:
            // a user who presses it there means to type over the address.
            if (watched == AddressEdit &&
                static_cast<QKeyEvent *>(event)->matches(QKeySequence::SelectAll)) {
                break;
            }
            if (ActionShortcutMatches(static_cast<QKeyEvent *>(event))) {
                event->ignore();
                return true;
            }
            break;
        case QEvent::KeyPress:
            if (watched == AddressEdit) {
                AddressEditKeyPress(static_cast<QKeyEvent *>(event));
            }
            break;
        case QEvent::FocusIn: {
            // Only a move of the focus inside the window selects a pane, not the window coming
            // back to the front or a closing popup menu.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
                break;
            }
            if (watched == DebugMemo) {
                DebugMemoEnter();
            } else if (watched == AddressMemo) {
                AddressMemoEnter();
            }
            break;
        }
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainMenuForm::Guarded(const std::function<void()> &command) {
    if (IsRunning()) {
        return;
    }
    command();
}

void TMainMenuForm::AfterRun(const std::function<void()> &step) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(runs_, &TRunModel::RunFinished, this, [this, step, connection] {
        if (runs_->IsIdle()) {
            disconnect(*connection);
            RunCommand(this, step);
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Start-up

void TMainMenuForm::FormShow() {
    if (!QFileInfo(ImagesFolder()).isDir()) {
        CreateNewFolder(ImagesFolder());
    }
    if (!QFileInfo::exists(MarkerImagePath())) {
        CopyLocalFile(PictureSource(QStringLiteral("Marker.png")), ImagesFolder());
    }
    if (!QFileInfo::exists(FlagImagePath())) {
        CopyLocalFile(PictureSource(QStringLiteral("Flag.png")), ImagesFolder());
    }
    // A settings file that cannot be written or read is reported; the window still comes up
    // ready, with the values the model holds.
    RunCommand(this, [this] { settings_->CreateFileWhenMissing(); });
    RunCommand(this, [this] { settings_->Load(); });
    ChangeSystemSettings();
    // From here on the window follows the model: a confirmed settings window, or a reload that
    // brings other values.
    connect(settings_, &TSettingsModel::Changed, this, &TMainMenuForm::ChangeSystemSettings);
    InitPingActionExecute();
    ClearAllActionExecute();
    RunCommand(this, [this] {
        if (data_ != nullptr) {
            data_->CreateWhoIsServerList(WhoisZoneTable());
        }
    });
    AddressList = QStringList();
    if (GeolocationForm != nullptr) {
        GeolocationForm->StartGeolocation = false;
    }
}

// ---------------------------------------------------------------------------------------------
// Ping commands and engine settings

void TMainMenuForm::InitPingActionExecute() {
    PingAddress = AddressEdit->text();
    // The live figures belong to the watch they came from.
    WatchLabel->hide();
}

void TMainMenuForm::ConnectRuns() {
    connect(runs_, &TRunModel::RunStarted, this, [this] { RefreshRunMode(); });
    connect(runs_, &TRunModel::RunFinished, this, [this](TRunModel::TKind kind) {
        // The word that the run is stopping goes with it: a watch leaves its last figures.
        if (kind == stopping_) {
            stopping_ = TRunModel::TKind::None;
            statusUntil_ = 0;
            if (kind == TRunModel::TKind::Watch) {
                WatchLabel->setText(runs_->LiveFigures());
            } else if (kind == TRunModel::TKind::ListWatch) {
                RefreshListWatch();
            } else if (!IsWatching() && !IsWatchingList()) {
                WatchLabel->hide();
            }
        }
        RefreshRunMode();
    });
    connect(runs_, &TRunModel::Progress, RemaningLabel, &QLabel::setText);
    connect(runs_, &TRunModel::LiveFiguresChanged, this, &TMainMenuForm::ShowLiveFigures);
    connect(runs_, &TRunModel::ListAddressWriting, this, [this](const QString &address) {
        // The field shows the address whose block is written, as if it had been typed and
        // pinged.
        AddressEdit->setText(address);
        PingProcess = false;
        InitPingActionExecute();
        ProcessIndicator->setEnabled(true);
    });
    connect(runs_, &TRunModel::AddressRunEnded, this, [this](TRunModel::TKind kind, bool more) {
        AddressRunCompleted(more || runs_->OthersRunning(kind));
    });
    connect(runs_, &TRunModel::ChartsChanged, this, &TMainMenuForm::ShowChartsOfRun);
    connect(runs_, &TRunModel::Failed, this, [this](TRunModel::TKind, const QString &message) {
        RunCommand(this, [&message] { throw TxError(message); });
    });
}

void TMainMenuForm::ShowStatus(const QString &text) {
    constexpr qint64 kStatusMs = 4000;
    statusUntil_ = QDateTime::currentMSecsSinceEpoch() + kStatusMs;
    WatchLabel->setText(text);
    WatchLabel->show();
}

void TMainMenuForm::ShowLiveFigures() {
    if (QDateTime::currentMSecsSinceEpoch() < statusUntil_ || !IsWatching()) {
        return;
    }
    WatchLabel->setText(runs_->LiveFigures());
    WatchLabel->show();
}

QString TMainMenuForm::RunName(TRunModel::TKind kind) const {
    switch (kind) {
        case TRunModel::TKind::Single:
            return QStringLiteral("the ping of %1").arg(runs_->AddressRunTarget());
        case TRunModel::TKind::Watch:
            return QStringLiteral("the watch of %1").arg(runs_->AddressRunTarget());
        case TRunModel::TKind::List:
            return QStringLiteral("the list run");
        case TRunModel::TKind::ListWatch:
            return QStringLiteral("the watch of %1")
                .arg(WatchAddressCountText(runs_->ListWatch() ? runs_->ListWatch()->Count() : 0));
        case TRunModel::TKind::Trace:
            return QStringLiteral("the trace of %1").arg(runs_->TraceTarget());
        case TRunModel::TKind::None:
            break;
    }
    return QString();
}

void TMainMenuForm::BeginAddressRun() {
    InitPingActionExecute();
    ProcessIndicator->setEnabled(true);
}

void TMainMenuForm::AddressRunCompleted(bool more) {
    ProcessIndicator->setEnabled(more);
    PingProcess = true;
    if (GeolocationForm != nullptr) {
        GeolocationForm->StartGeolocation = true;
    }
}

void TMainMenuForm::SinglePingActionExecute() {
    if (!MayStart(SinglePingAction)) {
        return;
    }
    BeginAddressRun();
    runs_->SetSettings(RunSettings());
    runs_->StartSingle(AddressEdit->text());
}

bool TMainMenuForm::StopsRun(const QAction *action) const {
    return (IsWatching() && action == WatchPingAction) ||
           (IsTracing() && action == TraceRouteAction) ||
           (IsWatchingList() && action == WatchListAction);
}

bool TMainMenuForm::MayStart(const QAction *action) const {
    if (IsLookingUp()) {
        return false;
    }
    using TKind = TRunModel::TKind;
    const auto idle = [this](TKind kind) { return runs_->Session(kind).IsIdle(); };
    if (action == SinglePingAction || action == WatchPingAction) {
        // The field's address is pinged, so not while a list run writes its addresses there.
        return idle(TKind::Single) && idle(TKind::List);
    }
    if (action == PingListOfAddressesAction) {
        return idle(TKind::List) && idle(TKind::Single);
    }
    if (action == TraceRouteAction) {
        return idle(TKind::Trace);
    }
    if (action == WatchListAction) {
        return idle(TKind::ListWatch);
    }
    if (action == GetAddressInformationAction || action == AddressGeolocationAction) {
        return true;
    }
    return !IsRunning();
}

void TMainMenuForm::RefreshRunMode() {
    // A run writes into the results pane: from now on that pane is what the pane commands act
    // on, also when a list was loaded (and the scratch pane chosen) just before.
    const bool any = IsRunning();
    if (any && SelectedEditingMemo == TempMemo) {
        SelectedEditingMemo = DebugMemo;
    }
    for (QAction *action : {SinglePingAction, PingListOfAddressesAction}) {
        action->setEnabled(MayStart(action));
    }
    WatchPingAction->setChecked(IsWatching());
    TraceRouteAction->setChecked(IsTracing());
    WatchListAction->setChecked(IsWatchingList());
    TracePanel->SetCommandsEnabled(!IsLookingUp());
    WatchListPanel->SetCommandsEnabled(!IsLookingUp());
    // The field is what a single run, a watch and a list run read and show; while only a trace
    // or a watched list goes, the next address can be typed.
    using TKind = TRunModel::TKind;
    AddressEdit->setReadOnly(IsLookingUp() || !runs_->Session(TKind::Single).IsIdle() ||
                             !runs_->Session(TKind::List).IsIdle());
    DebugMemo->setReadOnly(any);
    AddressMemo->setReadOnly(any);
    StartPingBtn->setIcon(CommandIcon(any ? QStringLiteral("stop") : QStringLiteral("ping")));
    StartPingBtn->setToolTip(any ? QStringLiteral("Stop pinging ...")
                                 : QStringLiteral("Ping address ..."));
    StartPingBtn->setText(any ? QStringLiteral("Stop") : QStringLiteral("Ping"));
}

void TMainMenuForm::StopRun() {
    if (CancelLookup()) {
        return;
    }
    const TRunModel::TKind kind = runs_->LastStarted();
    const QString name = RunName(kind);
    if (runs_->StopLast() == TRunModel::TKind::None) {
        return;
    }
    // Several runs may go at once: the status bar says which one this stop ends.
    stopping_ = kind;
    ShowStatus(QStringLiteral("Stopping %1 ...").arg(name));
}

void TMainMenuForm::WatchPingActionExecute() {
    if (IsWatching()) {
        // The watch ends after its current request, with its statistics.
        runs_->Stop(TRunModel::TKind::Watch);
        return;
    }
    if (!MayStart(WatchPingAction)) {
        return;
    }
    BeginAddressRun();
    statusUntil_ = 0;
    runs_->SetSettings(RunSettings());
    if (runs_->StartWatch(AddressEdit->text())) {
        ShowLiveFigures();
    }
}

void TMainMenuForm::PingListOfAddressesActionExecute() {
    if (!MayStart(PingListOfAddressesAction)) {
        return;
    }
    // Each address is pinged as the field holds it, which is how the ping command is given it.
    QStringList addresses;
    for (const QString &address : AddressList) {
        addresses << address.left(AddressEdit->maxLength());
    }
    // The light is on while any address is under way, as it is from one address's run to the
    // next. Nothing is cleared when there is no list: the panes keep what they hold.
    runs_->SetSettings(RunSettings());
    if (runs_->StartList(addresses)) {
        ProcessIndicator->setEnabled(true);
    }
}

void TMainMenuForm::ChangeSystemSettings() {
    const TSettingsValues &values = settings_->Values();
    ResultsColor = ToQColor(values.ResultsColor);
    DebugColor = ToQColor(values.DebugColor);
    InfoColor = ToQColor(values.InfoColor);

    const TEngineParameters engine = EngineParameters(values);
    PingTimeOut = engine.TimeOut;
    PingBufferSize = engine.BufferSize;
    PingRetries = engine.Retries;
    PingInterval = engine.Interval;
    PingRate = engine.Rate;
    PingTTL = engine.TTL;
    WatchDownAfter = ClampToRange(values.WatchDownAfterValue, kDownAfterRange);
    WatchNotifications = values.WatchNotificationsValue != 0;

    // The labels show the settings as the settings window shows them, before any wrapping.
    TimeoutLabel->setText(QStringLiteral("Receive Timeout: %1 ms").arg(values.PingTimeOutValue));
    RetriesLabel->setText(QStringLiteral("Retries No: %1").arg(values.PingRetriesNoValue));

    charts_->SetBarsActive(false);
    charts_->PrepareBars(PingRetries, 0.1);
    const QColor chartColor = ToQColor(values.GraphColor);
    charts_->SetGraphColor(chartColor);
    charts_->SetBarColor(chartColor);
}

void TMainMenuForm::SetSettingsModel(TSettingsModel *model) {
    settings_ = model;
}

void TMainMenuForm::SetDataModule(TPingDataModule *data) {
    data_ = data;
}

void TMainMenuForm::SetFileWindow(TLocalFile *files) {
    files_ = files;
}

void TMainMenuForm::SetEchoService(TEchoServiceFactory connect) {
    runs_->SetConnect(std::move(connect));
}

void TMainMenuForm::SystemSettingsActionExecute() {
    // A confirmed window hands its values to the model, whose notice applies them here.
    SystemSettings->Execute();
}

void TMainMenuForm::ClearAllActionExecute() {
    if (IsRunning()) {
        // Esc stops a run after the request under way, and its statistics are written; the
        // next Esc, at rest, clears everything.
        StopRun();
        return;
    }
    WatchLabel->hide();
    MainSplitter->ClosePanel(TracePanel);
    TracePanel->Show(nullptr);
    ShowListWatch(false);
    runs_->Clear();
    charts_->PrepareBars(PingRetries, 0.1);
    charts_->SetBarsActive(false);
    AddressMemo->clear();
    DebugMemo->clear();
    RemaningLabel->setText(QStringLiteral("0 of 0"));
    AddressEdit->clear();
    AddressEdit->setFocus(Qt::OtherFocusReason);
    SelectedEditingMemo = DebugMemo;
}

TRunSettings TMainMenuForm::RunSettings() const {
    TRunSettings settings;
    settings.Echo.BufferSize = PingBufferSize;
    settings.Echo.TimeOut = PingTimeOut;
    settings.Echo.Retries = PingRetries;
    settings.Echo.TimeToLive = PingTTL;
    settings.DebugColor = DebugColor;
    settings.ResultsColor = ResultsColor;
    settings.Interval = PingInterval;
    settings.ListInFlight = ListRunInFlight;
    settings.DownAfter = WatchDownAfter;
    settings.Rate = PingRate;
    return settings;
}

void TMainMenuForm::ClearMemoActionExecute() {
    if (SelectedEditingMemo != nullptr) {
        SelectedEditingMemo->clear();
    }
    if (SelectedEditingMemo == DebugMemo) {
        runs_->ForgetPaneRuns();
    }
}

// ---------------------------------------------------------------------------------------------
// Text editing, view switches, other windows, closing

void TMainMenuForm::TextUndoActionExecute() {
    UndoRtfText(this);
}
void TMainMenuForm::TextRedoActionExecute() {
    RedoRtfText(this);
}
void TMainMenuForm::TextCutActionExecute() {
    CutRtfText(this);
}
void TMainMenuForm::TextCopyActionExecute() {
    CopyRtfText(this);
}
void TMainMenuForm::TextPasteActionExecute() {
    PasteRtfText(this);
}
void TMainMenuForm::TextDeleteActionExecute() {
    ClearSelectionRtfText(this);
}
void TMainMenuForm::TextSelectAllActionExecute() {
    SelectAllRtfText(this);
}

void TMainMenuForm::ControlPanelViewClick() {
    ControlPanel->setVisible(ControlPanelView->isChecked());
}

void TMainMenuForm::StatusBarViewClick() {
    StatusBar->setVisible(StatusBarView->isChecked());
}

void TMainMenuForm::AddressPanelViewClick() {
    AddressPanel->setVisible(AddressPanelView->isChecked());
}

void TMainMenuForm::ScrollBarsVisibleClick() {
    const Qt::ScrollBarPolicy policy =
        ScrollBarsVisible->isChecked() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    for (QTextEdit *pane : {DebugMemo, AddressMemo}) {
        pane->setHorizontalScrollBarPolicy(policy);
        pane->setVerticalScrollBarPolicy(policy);
    }
}

void TMainMenuForm::OnLineHelpActionExecute() {
    HelpForm->Execute();
}
void TMainMenuForm::ContsctUsActionExecute() {
    ContactForm->Execute();
}
void TMainMenuForm::CheckForUpdatesActionExecute() {
    UpgradeForm->Execute();
}
void TMainMenuForm::AboutTarvexActionExecute() {
    AboutUsForm->Execute();
}

void TMainMenuForm::Exit1Click() {
    close();
}

void TMainMenuForm::AddressEditKeyPress(QKeyEvent *Key) {
    if (Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) {
        RunCommand(this, [this] { Guarded([this] { SinglePingActionExecute(); }); });
    }
}

void TMainMenuForm::DebugMemoEnter() {
    SelectedEditingMemo = DebugMemo;
}

void TMainMenuForm::AddressMemoEnter() {
    SelectedEditingMemo = AddressMemo;
}

void TMainMenuForm::FormCloseQuery() {
    if (data_ != nullptr) {
        data_->WhoIsServerList.clear();
    }
    AddressList.clear();
}
