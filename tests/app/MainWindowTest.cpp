// The main window as a user drives it: start-up, commands, shortcuts, menus, runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QChartView>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "app/AboutUsUnit.h"
#include "app/MainMenuUnit.h"
#include "app/PingCharts.h"
#include "app/SingleInstances.h"
#include "app/SizeSplitter.h"
#include "app/SplashUnit.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "common/TX_EditOps.h"
#include "contact/ContactUnit.h"
#include "files/FileManager.h"
#include "lookup/DataUnit.h"
#include "lookup/WhoisZones.h"
#include "ping/EchoService.h"
#include "ping/ListRun.h"
#include "ping/PingTestDoubles.h"
#include "reports/ReportUnit.h"
#include "settings/ColorValues.h"
#include "settings/SettingsModel.h"
#include "support/EchoNamespace.h"
#include "support/ProgramWindows.h"
#include "support/RunDrivers.h"
#include "update/UpdateUnit.h"

namespace {

// Answers every request with a reply from `replyAddress` after the script's trip times (cycled),
// and records the queries. A hook runs inside each request on the worker thread.
struct EchoScript {
    std::mutex mutex;
    QList<TEchoQuery> queries;
    QList<quint32> tripTimes{21, 20, 23, 22};
    QString replyAddress = QStringLiteral("10.0.0.1");
    std::function<void()> insideRequest;

    QList<TEchoQuery> Queries() {
        std::lock_guard<std::mutex> lock(mutex);
        return queries;
    }

    // Holds request number `held` (from 1) until Release(); Started() counts the requests begun.
    void HoldRequest(int held) {
        insideRequest = [this, held] {
            if (++started == held) {
                while (!released) {
                    QThread::msleep(2);
                }
            }
        };
    }
    void Release() { released = true; }
    int Started() const { return started; }

  private:
    std::atomic<int> started{0};
    std::atomic<bool> released{false};
};

class ScriptedEcho final : public TEchoService {
  public:
    explicit ScriptedEcho(std::shared_ptr<EchoScript> script) : script_(std::move(script)) {}

    std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override {
        if (script_->insideRequest) {
            script_->insideRequest();
        }
        std::lock_guard<std::mutex> lock(script_->mutex);
        TPingReply reply;
        reply.StatusCode = 0;
        reply.ResponseTime =
            script_->tripTimes.at(script_->queries.size() % script_->tripTimes.size());
        reply.ProtocolAddress = script_->replyAddress;
        reply.ReplySize = 32;
        reply.TimeToLive = 57;
        script_->queries.append(query);
        return reply;
    }

  private:
    std::shared_ptr<EchoScript> script_;
};

// The address of each recorded query.
QStringList QueriedAddresses(const QList<TEchoQuery> &queries) {
    QStringList addresses;
    for (const TEchoQuery &query : queries) {
        addresses << query.Address;
    }
    return addresses;
}

template <typename T>
T *Named(const QString &name) {
    T *found = MainMenuForm->findChild<T *>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

// Every window of the program, created in start-up order like the program does, with the main
// window shown and active; a fresh home folder for each test.
class MainWindowTest : public ProgramWindowsTest {
  protected:
    std::shared_ptr<EchoScript> UseScriptedEcho() {
        auto script = std::make_shared<EchoScript>();
        UseEchoService([script] { return std::make_unique<ScriptedEcho>(script); });
        return script;
    }

    static void ClickInto(QTextEdit *pane) {
        QTest::mouseClick(pane->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    }

    // What a list run leaves in the window.
    struct ListRunOutcome {
        QStringList results;
        QStringList addresses;
        QString progress;
        bool completed = false;
        bool light = false;
        QString addressField;
        int points = 0;
        QList<double> bars;
        bool barsActive = false;
        QStringList errors;
    };

    // Runs the list from a cleared window with `inFlight` addresses at once (1: one after
    // another).
    ListRunOutcome RunList(const QStringList &list, int inFlight) {
        form_->ClearAllActionExecute();
        form_->PingProcess = false;
        form_->ProcessIndicator->setEnabled(false);
        errors_.clear();
        form_->ListRunInFlight = inFlight;
        form_->AddressList = list;
        form_->PingListOfAddressesAction->trigger();
        FinishRun();
        ListRunOutcome outcome;
        outcome.results = ColouredPaneLines(*form_->DebugMemo->document());
        outcome.addresses = ColouredPaneLines(*form_->AddressMemo->document());
        outcome.progress = form_->RemaningLabel->text();
        outcome.completed = form_->PingProcess;
        outcome.light = form_->ProcessIndicator->isEnabled();
        outcome.addressField = form_->AddressEdit->text();
        outcome.points = form_->Charts()->PointCount();
        for (int i = 0; i < form_->Charts()->BarCount(); ++i) {
            outcome.bars << form_->Charts()->BarHeight(i);
        }
        outcome.barsActive = form_->Charts()->BarsActive();
        outcome.errors = errors_;
        return outcome;
    }

    static void ExpectSame(const ListRunOutcome &together, const ListRunOutcome &oneByOne) {
        EXPECT_EQ(together.results, oneByOne.results);
        EXPECT_EQ(together.addresses, oneByOne.addresses);
        EXPECT_EQ(together.progress, oneByOne.progress);
        EXPECT_EQ(together.completed, oneByOne.completed);
        EXPECT_EQ(together.light, oneByOne.light);
        EXPECT_EQ(together.addressField, oneByOne.addressField);
        EXPECT_EQ(together.points, oneByOne.points);
        EXPECT_EQ(together.bars, oneByOne.bars);
        EXPECT_EQ(together.barsActive, oneByOne.barsActive);
        EXPECT_EQ(together.errors, oneByOne.errors);
    }

    // The colour of the first character of a pane.
    static QColor FirstColor(QTextEdit *pane) {
        QTextCursor cursor(pane->document());
        cursor.setPosition(1);
        return cursor.charFormat().foreground().color();
    }
};

TEST_F(MainWindowTest, FirstShowingCompletesTheDataTreeAndLeavesAReadyWindow) {
    EXPECT_TRUE(QFileInfo(ImagesFolder()).isDir());
    for (const QString &picture : {MarkerImagePath(), FlagImagePath()}) {
        QFile copy(picture);
        QFile original(SourcePath(QStringLiteral("resources/images/")) +
                       QFileInfo(picture).fileName());
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << picture.toStdString();
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), original.readAll());
    }
    EXPECT_TRUE(QFileInfo::exists(SettingsFilePath()));

    // The standard settings reached the engine and the labels.
    EXPECT_EQ(form_->TimeoutLabel->text(), QStringLiteral("Receive Timeout: 4000 ms"));
    EXPECT_EQ(form_->RetriesLabel->text(), QStringLiteral("Retries No: 4"));
    EXPECT_EQ(form_->PingTimeOut, 4000);
    EXPECT_EQ(form_->PingBufferSize, 32);
    EXPECT_EQ(form_->PingRetries, 4);
    EXPECT_EQ(form_->PingTTL, 128);
    EXPECT_EQ(form_->Charts()->BarCount(), 4);
    EXPECT_FALSE(form_->Charts()->BarsActive());

    // An empty, ready window.
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("0 of 0"));
    EXPECT_TRUE(form_->AddressEdit->hasFocus());
    EXPECT_EQ(SelectedEditingMemo, form_->DebugMemo);
    EXPECT_TRUE(form_->AddressList.isEmpty());
    EXPECT_FALSE(GeolocationForm->StartGeolocation);
    EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
    EXPECT_EQ(PingDataModule()->WhoIsServerList, WhoisReplyLines(WhoisZoneTable()));
    EXPECT_TRUE(form_->TempMemo->toPlainText().isEmpty());
    EXPECT_FALSE(form_->TempMemo->isVisible());
    EXPECT_FALSE(form_->DBRichEdit->isVisible());
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

// A start with data from an earlier one: a settings file of the user's own and a marker picture
// that differs from the one in the working folder.
class MainWindowRestartTest : public MainWindowTest {
  protected:
    void PrepareHome() override {
        ASSERT_TRUE(QDir().mkpath(SystemFolder()));
        ASSERT_TRUE(QDir().mkpath(ImagesFolder()));
        WriteBytes(SettingsFilePath(), kSettings);
        WriteBytes(MarkerImagePath(), kOwnMarker);
    }

    const QByteArray kSettings =
        "[PING SYSTEM SETTINGS]\r\nTime Out=2500\r\nTTL=64\r\nRetries No=6\r\n"
        "[PING GRAPH SETTINGS]\r\nProcess Graph Color=$000000FF\r\n";
    const QByteArray kOwnMarker = "not the shipped marker";
};

TEST_F(MainWindowRestartTest, AnExistingSettingsFileIsLoadedAndKept) {
    EXPECT_EQ(ReadBytes(SettingsFilePath()), kSettings);
    EXPECT_EQ(ReadBytes(MarkerImagePath()), kOwnMarker);
    EXPECT_TRUE(QFileInfo::exists(FlagImagePath()));

    EXPECT_EQ(form_->TimeoutLabel->text(), QStringLiteral("Receive Timeout: 2500 ms"));
    EXPECT_EQ(form_->RetriesLabel->text(), QStringLiteral("Retries No: 6"));
    EXPECT_EQ(form_->PingTimeOut, 2500);
    EXPECT_EQ(form_->PingRetries, 6);
    EXPECT_EQ(form_->PingTTL, 64);
    EXPECT_EQ(form_->Charts()->BarCount(), 6);
    EXPECT_EQ(form_->Charts()->GraphColor(), QColor(255, 0, 0));
    EXPECT_EQ(form_->Charts()->BarColor(), QColor(255, 0, 0));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

TEST_F(MainWindowTest, PanelsHaveTheirSizes) {
    QWidget *client = form_->centralWidget();
    EXPECT_EQ(client->size(), QSize(914, 532));
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Tarvex"));
    EXPECT_EQ(form_->ControlPanel->height(), 50);
    EXPECT_EQ(form_->AddressPanel->height(), 26);
    EXPECT_EQ(form_->StatusBar->height(), 20);
    EXPECT_EQ(form_->ResultsPanel->height(), 230);
    EXPECT_EQ(form_->GraphPanel->width(), 364);
    EXPECT_EQ(form_->RzSizePanel1->width(), 364);
    EXPECT_EQ(form_->palette().color(QPalette::Window), QColor(62, 62, 62));

    for (QTextEdit *pane : {form_->DebugMemo, form_->AddressMemo}) {
        EXPECT_EQ(pane->frameShape(), QFrame::NoFrame);
        EXPECT_EQ(pane->lineWrapMode(), QTextEdit::NoWrap);
        EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_FALSE(pane->isReadOnly());
    }
}

TEST_F(MainWindowTest, HotSpotCollapsesAndRestoresTheResizablePanel) {
    TSizeSplitter *splitter = form_->MainSplitter;
    auto *bar = static_cast<TSizeBarHandle *>(splitter->handle(1));
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->HotSpot().center());
    EXPECT_EQ(form_->ResultsPanel->height(), 0);
    EXPECT_TRUE(splitter->IsCollapsed());
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->HotSpot().center());
    EXPECT_EQ(form_->ResultsPanel->height(), 230);

    // The side panels of both rows collapse the same way.
    for (TSizeSplitter *row : {form_->ResultPanel, form_->ResultsPanel}) {
        row->ToggleCollapsed();
        EXPECT_EQ(row->widget(1)->width(), 0);
        row->ToggleCollapsed();
        EXPECT_EQ(row->widget(1)->width(), 364);
    }
}

// The axis labels of the window's charts that the charts library had to cut down to "...".
QStringList CutChartLabels(TMainMenuForm *form) {
    QStringList cut;
    for (QChartView *view : form->findChildren<QChartView *>()) {
        if (!view->isVisible()) {
            continue;
        }
        for (QGraphicsItem *item : view->scene()->items()) {
            const auto *text = dynamic_cast<QGraphicsTextItem *>(item);
            if (text != nullptr && text->isVisible() &&
                text->toPlainText().contains(QStringLiteral("..."))) {
                cut << view->objectName();
            }
        }
    }
    return cut;
}

TEST_F(MainWindowTest, LowerPanelsLeaveTheChartsLegibleAndGiveTheirRoomBack) {
    const struct {
        const char *panel;
        std::function<void()> open;
    } cases[] = {
        {"route",
         [this] {
             form_->AddressEdit->setText(QStringLiteral("127.0.0.1"));
             form_->TraceRouteAction->trigger();
         }},
        {"watch",
         [this] {
             form_->AddressList = QStringList{QStringLiteral("127.0.0.1")};
             form_->WatchListAction->trigger();
         }},
    };
    // The window at its first size: charts over panes.
    QApplication::processEvents();
    const QList<int> before = form_->MainSplitter->sizes();
    ASSERT_EQ(form_->ResultsPanel->height(), 230);
    ASSERT_TRUE(CutChartLabels(form_).isEmpty());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.panel);
        c.open();
        ASSERT_TRUE(form_->IsRunning());
        QWidget *panel = form_->MainSplitter->OpenedPanel();
        ASSERT_NE(panel, nullptr);
        QApplication::processEvents();
        EXPECT_TRUE(panel->isVisible());
        EXPECT_GE(panel->height(), 100);
        // Charts and panes both gave room, neither below what it needs.
        EXPECT_LT(form_->ResultPanel->height(), before.at(0));
        EXPECT_LT(form_->ResultsPanel->height(), before.at(1));
        EXPECT_GE(form_->ResultsPanel->height(), 80);
        EXPECT_EQ(CutChartLabels(form_), QStringList());

        // Esc stops the run, the next one clears the panel away: its room goes back to charts
        // and panes as they had it.
        form_->ClearAllActionExecute();
        FinishRun();
        form_->ClearAllActionExecute();
        QApplication::processEvents();
        EXPECT_FALSE(panel->isVisible());
        EXPECT_EQ(form_->MainSplitter->sizes(), before);
        EXPECT_EQ(form_->ResultsPanel->height(), 230);
        EXPECT_EQ(CutChartLabels(form_), QStringList());
    }
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
}

// A panel opened while another is open takes its place; dragging nothing, the room comes and goes
// in the same shares whatever the order.
TEST(SizeSplitter, GivesBackWhatEachWidgetGave) {
    TSizeSplitter splitter(Qt::Vertical);
    splitter.setHandleWidth(6);
    auto *charts = new QWidget;
    auto *panes = new QWidget;
    auto *route = new QWidget;
    auto *watch = new QWidget;
    charts->setMinimumHeight(140);
    route->hide();
    watch->hide();
    for (QWidget *widget : {charts, panes, route, watch}) {
        splitter.addWidget(widget);
    }
    splitter.SetLeastKept(panes, 80);
    splitter.setFixedSize(300, 436);
    splitter.show();
    splitter.setSizes({200, 230, 0, 0});
    QApplication::processEvents();
    const QList<int> before = splitter.sizes();
    ASSERT_EQ(before, QList<int>({200, 230, 0, 0}));

    const struct {
        QWidget *panel;
        int extent;
        QList<int> open;  // charts, panes, route, watch
    } cases[] = {
        // 156 pixels (the panel and its bar) from 60 + 150 to spare, in those shares.
        {route, 150, {156, 118, 150, 0}},
        // More than the others can spare: the panel gets what there is.
        {watch, 400, {140, 80, 0, 204}},
    };
    for (const auto &c : cases) {
        splitter.OpenPanel(c.panel, c.extent);
        QApplication::processEvents();
        EXPECT_EQ(splitter.sizes(), c.open) << c.extent;
        splitter.ClosePanel(c.panel);
        QApplication::processEvents();
        EXPECT_EQ(splitter.sizes(), before) << c.extent;
    }
    // One panel in place of another: the first gives its room back before the second takes.
    splitter.OpenPanel(route, 150);
    splitter.OpenPanel(watch, 150);
    QApplication::processEvents();
    EXPECT_FALSE(route->isVisible());
    EXPECT_EQ(splitter.OpenedPanel(), watch);
    EXPECT_EQ(splitter.sizes(), QList<int>({156, 118, 0, 150}));
    splitter.ClosePanel(watch);
    EXPECT_EQ(splitter.sizes(), before);
}

TEST_F(MainWindowTest, CommandTableNamesCategoriesAndKeys) {
    struct Row {
        const char *name;
        const char *category;
        QList<QKeySequence> keys;
    };
    const QKeySequence none;
    const Row rows[] = {
        {"SinglePingAction", "[ PING ]", {QKeySequence(Qt::Key_F9)}},
        {"WatchPingAction", "[ PING ]", {QKeySequence(Qt::SHIFT | Qt::Key_F9)}},
        {"TraceRouteAction", "[ PING ]", {QKeySequence(Qt::CTRL | Qt::Key_T)}},
        {"PingListOfAddressesAction", "[ PING ]", {QKeySequence(Qt::Key_F10)}},
        {"WatchListAction", "[ PING ]", {QKeySequence(Qt::SHIFT | Qt::Key_F10)}},
        {"GetAddressInformationAction", "[ PING ]", {QKeySequence(Qt::Key_F2)}},
        {"AddressGeolocationAction", "[ PING ]", {QKeySequence(Qt::Key_F3)}},
        {"SystemSettingsAction", "[ PING ]", {QKeySequence(Qt::ALT | Qt::Key_S)}},
        {"ClearAllAction", "[ PING ]", {none, QKeySequence(Qt::Key_Escape)}},
        {"InitPingAction", "[ PING ]", {}},
        {"LoadAddressListAction", "[ FILE ]", {}},
        {"SaveResultsAction", "[ FILE ]", {}},
        {"SaveResultsCsvAction", "[ FILE ]", {}},
        {"SaveResultsJsonAction", "[ FILE ]", {}},
        {"CreateReportAction", "[ FILE ]", {}},
        {"LoadTextAction", "[ FILE ]", {none, QKeySequence(Qt::CTRL | Qt::Key_L)}},
        {"SaveTextAction", "[ FILE ]", {none, QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {"ClearMemoAction", "[ FILE ]", {}},
        {"TextUndoAction", "[ EDIT ]", {QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {"TextRedoAction", "[ EDIT ]", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}},
        {"TextCutAction", "[ EDIT ]", {QKeySequence(Qt::CTRL | Qt::Key_X)}},
        {"TextCopyAction", "[ EDIT ]", {QKeySequence(Qt::CTRL | Qt::Key_C)}},
        {"TextPasteAction", "[ EDIT ]", {QKeySequence(Qt::CTRL | Qt::Key_V)}},
        {"TextDeleteAction", "[ EDIT ]", {QKeySequence(Qt::Key_Delete)}},
        {"TextSelectAllAction", "[ EDIT ]", {QKeySequence(Qt::CTRL | Qt::Key_A)}},
        {"OnLineHelpAction", "[ HELP ]", {none, QKeySequence(Qt::Key_F1)}},
        {"ContsctUsAction", "[ HELP ]", {}},
        {"CheckForUpdatesAction", "[ HELP ]", {}},
        {"AboutTarvexAction", "[ HELP ]", {}},
    };
    ASSERT_EQ(form_->PingActionList.size(), static_cast<int>(std::size(rows)));
    for (int i = 0; i < form_->PingActionList.size(); ++i) {
        const Row &row = rows[i];
        QAction *action = form_->PingActionList.at(i);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(action->objectName(), QString::fromLatin1(row.name));
        EXPECT_EQ(action->parent(), form_);
        EXPECT_EQ(action->property("category").toString(), QString::fromLatin1(row.category));
        EXPECT_EQ(action->shortcuts(), row.keys);
        EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut);
    }
    EXPECT_EQ(form_->AboutTarvexAction->text(), QStringLiteral("About Tarvex"));
}

// Captions of a menu, "-" for a separator.
QStringList Captions(const QMenu *menu) {
    QStringList captions;
    for (const QAction *entry : menu->actions()) {
        captions << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
    }
    return captions;
}

TEST_F(MainWindowTest, MenusToolBarAndPopupShowTheirCaptions) {
    QStringList titles;
    QList<QStringList> entries;
    for (QAction *top : form_->PingMenu->actions()) {
        titles << top->text();
        entries << Captions(top->menu());
    }
    EXPECT_EQ(titles, (QStringList{"&File", "Edit", "View", "Tools", "&Help"}));
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0],
              (QStringList{"New analyze ...", "-", "Load addresses list ...", "Save results ...",
                           "Save results as CSV ...", "Save results as JSON ...", "-",
                           "Create report ....", "&Print report . . . ", "-", "E&xit"}));
    EXPECT_EQ(entries[1], (QStringList{"Undo ...", "Redo ...", "-", "Cut ...", "Copy ...",
                                       "Paste ...", "delete ...", "-", "Select all ..."}));
    EXPECT_EQ(entries[2], (QStringList{"Control panel", "Status bar", "-", "Address panel", "-",
                                       "Scroll bars visible"}));
    EXPECT_EQ(entries[3], (QStringList{"Ping address ...", "Ping until stopped", "Trace route",
                                       "Get address info ...", "Address geolocation ...", "-",
                                       "Ping list of addresses ... ", "Watch list of addresses",
                                       "-", "System settings ..."}));
    EXPECT_EQ(entries[4], (QStringList{"Online help", "-", "Contact us", "Check for updates", "-",
                                       "About Tarvex "}));
    EXPECT_EQ(Captions(form_->ResultPopupMenu),
              (QStringList{"New ...", "Save ...", "-", "Undo ... ", "Redo ...", "-", "Cut ...",
                           "Copy ...", "Paste ...", "Delete ...", "-", "Selecta all ..."}));
    EXPECT_FALSE(form_->PrintReport1->isEnabled());

    // The view switches start on, on, on and off.
    EXPECT_TRUE(form_->ControlPanelView->isChecked());
    EXPECT_TRUE(form_->StatusBarView->isChecked());
    EXPECT_TRUE(form_->AddressPanelView->isChecked());
    EXPECT_FALSE(form_->ScrollBarsVisible->isChecked());

    // Tool bar, left to right: frame, hint, command.
    struct Tool {
        const char *frame;
        const char *hint;
        QAction *command;
    };
    const Tool tools[] = {
        {"RzGroupBox11", "Clear all ...", form_->ClearAllAction},
        {"RzGroupBox10", "Load address list ...", form_->LoadAddressListAction},
        {"RzGroupBox9", "Save results ...", form_->SaveResultsAction},
        {"RzGroupBox12", "Report ...", form_->CreateReportAction},
        {"RzGroupBox2", "Address information ...", form_->GetAddressInformationAction},
        {"RzGroupBox1", "Address geolocation ...", form_->AddressGeolocationAction},
        {"RzGroupBox13", "Check list of addresses ...", form_->PingListOfAddressesAction},
        {"RzGroupBox19", "System settings ...", form_->SystemSettingsAction},
    };
    int previousX = -1;
    for (const Tool &tool : tools) {
        SCOPED_TRACE(tool.frame);
        QWidget *frame = Named<QWidget>(QString::fromLatin1(tool.frame));
        ASSERT_NE(frame, nullptr);
        EXPECT_GT(frame->x(), previousX);
        previousX = frame->x();
        auto *button = frame->findChild<QToolButton *>();
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(tool.hint));
        EXPECT_EQ(button->size(), QSize(32, 32));
        QSignalSpy triggered(tool.command, &QAction::triggered);
        // Only the harmless commands are clicked; the others open modal windows.
        if (tool.command == form_->ClearAllAction) {
            button->click();
            EXPECT_EQ(triggered.count(), 1);
        }
    }
    EXPECT_EQ(form_->AddressInformationButton->parentWidget()->objectName(),
              QStringLiteral("RzGroupBox2"));
    EXPECT_EQ(form_->AddressGeolocationButton->parentWidget()->objectName(),
              QStringLiteral("RzGroupBox13"));
    EXPECT_EQ(form_->CheckAddressURLButton->parentWidget()->objectName(),
              QStringLiteral("RzGroupBox19"));
    EXPECT_EQ(form_->ProcessIndicator->toolTip(), QStringLiteral("Start analyze ..."));
}

TEST_F(MainWindowTest, ShortcutsInTheAddressFieldReachTheEditingTarget) {
    form_->DebugMemo->setPlainText(QStringLiteral("alpha\nbeta"));
    form_->AddressEdit->setText(QStringLiteral("typed"));
    form_->AddressEdit->setFocus();
    ASSERT_TRUE(form_->AddressEdit->hasFocus());
    ASSERT_EQ(SelectedEditingMemo, form_->DebugMemo);

    // Select all in the field selects the field's text, so that typing replaces the address.
    Press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form_->AddressEdit->selectedText(), QStringLiteral("typed"));
    EXPECT_FALSE(form_->DebugMemo->textCursor().hasSelection());
    Press(Qt::Key_End);
    EXPECT_FALSE(form_->AddressEdit->hasSelectedText());

    // The Edit menu's "Select all" still selects the editing target.
    form_->TextSelectAllAction->trigger();
    EXPECT_EQ(form_->DebugMemo->textCursor().selectedText(),
              QStringLiteral("alpha") + QChar(QChar::ParagraphSeparator) + QStringLiteral("beta"));
    EXPECT_FALSE(form_->AddressEdit->hasSelectedText());

    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha\nbeta"));

    // Delete removes the pane's selection, not a character of the field.
    Press(Qt::Key_Delete);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QString());
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("typed"));

    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("alpha\nbeta"));
    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QString());
    EXPECT_TRUE(form_->AddressEdit->hasFocus());
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("typed"));

    // Typing still reaches the field.
    Press(Qt::Key_X);
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("typedx"));
    Press(Qt::Key_A, Qt::ControlModifier);
    Press(Qt::Key_Y);
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("y"));
}

TEST_F(MainWindowTest, CutAndPasteMoveTextBetweenPanesThroughTheClipboard) {
    form_->AddressMemo->setPlainText(QStringLiteral("IPv4 - 10.0.0.1"));
    ClickInto(form_->AddressMemo);
    ASSERT_EQ(SelectedEditingMemo, form_->AddressMemo);
    Press(Qt::Key_A, Qt::ControlModifier);
    Press(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QString());
    ClickInto(form_->DebugMemo);
    ASSERT_EQ(SelectedEditingMemo, form_->DebugMemo);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("IPv4 - 10.0.0.1"));
}

TEST_F(MainWindowTest, EscapeClearsEverythingButKeepsTheAddressList) {
    auto script = UseScriptedEcho();
    form_->AddressList = QStringList{QStringLiteral("alpha"), QStringLiteral("beta")};
    form_->PingListOfAddressesAction->trigger();
    FinishRun();
    ASSERT_EQ(Lines(form_->AddressMemo).size(), 2);
    ASSERT_GT(form_->Charts()->PointCount(), 0);
    ASSERT_TRUE(form_->Charts()->BarsActive());
    ClickInto(form_->AddressMemo);

    Press(Qt::Key_Escape);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QString());
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QString());
    EXPECT_EQ(form_->AddressEdit->text(), QString());
    EXPECT_TRUE(form_->AddressEdit->hasFocus());
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("0 of 0"));
    EXPECT_EQ(form_->Charts()->PointCount(), 0);
    EXPECT_EQ(form_->Runs()->PositionX, 0);
    EXPECT_FALSE(form_->Charts()->BarsActive());
    ASSERT_EQ(form_->Charts()->BarCount(), 4);
    EXPECT_DOUBLE_EQ(form_->Charts()->BarHeight(0), 0.1);
    EXPECT_EQ(SelectedEditingMemo, form_->DebugMemo);
    EXPECT_EQ(form_->AddressList, (QStringList{"alpha", "beta"}));

    // The list survives: F10 pings it again.
    Press(Qt::Key_F10);
    FinishRun();
    EXPECT_EQ(Lines(form_->AddressMemo).size(), 2);
    EXPECT_EQ(script->Queries().size(), 16);
}

TEST_F(MainWindowTest, NewActsOnThePaneLastEntered) {
    auto menuEntry = [](const char *name) {
        return MainMenuForm->ResultPopupMenu->findChild<QAction *>(QString::fromLatin1(name));
    };
    form_->DebugMemo->setPlainText(QStringLiteral("results"));
    form_->AddressMemo->setPlainText(QStringLiteral("addresses"));

    ClickInto(form_->AddressMemo);
    menuEntry("PopupNew")->trigger();
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QString());
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("results"));

    form_->AddressMemo->setPlainText(QStringLiteral("addresses"));
    ClickInto(form_->DebugMemo);
    menuEntry("PopupNew")->trigger();
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QString());
    EXPECT_EQ(form_->AddressMemo->toPlainText(), QStringLiteral("addresses"));

    // A right click selects the pane too, and its menu is the panes' popup. The click goes
    // through the window, where the platform's context-menu request is made.
    form_->DebugMemo->setPlainText(QStringLiteral("results"));
    const QPoint inWindow = form_->AddressMemo->viewport()->mapTo(form_, QPoint(10, 5));
    QTest::mouseClick(form_->windowHandle(), Qt::RightButton, Qt::NoModifier, inWindow);
    EXPECT_EQ(SelectedEditingMemo, form_->AddressMemo);
    EXPECT_TRUE(WaitUntil([] { return MainMenuForm->ResultPopupMenu->isVisible(); }));
    form_->ResultPopupMenu->hide();
}

TEST_F(MainWindowTest, ViewSwitchesShowAndHidePanelsAndScrollBars) {
    struct Switch {
        QAction *entry;
        QWidget *panel;
    };
    for (const Switch &view : {Switch{form_->ControlPanelView, form_->ControlPanel},
                               Switch{form_->StatusBarView, form_->StatusBar},
                               Switch{form_->AddressPanelView, form_->AddressPanel}}) {
        SCOPED_TRACE(view.entry->objectName().toStdString());
        view.entry->trigger();
        EXPECT_FALSE(view.entry->isChecked());
        EXPECT_FALSE(view.panel->isVisible());
        view.entry->trigger();
        EXPECT_TRUE(view.entry->isChecked());
        EXPECT_TRUE(view.panel->isVisible());
    }

    form_->ScrollBarsVisible->trigger();
    for (QTextEdit *pane : {form_->DebugMemo, form_->AddressMemo}) {
        EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_TRUE(pane->verticalScrollBar()->isVisible());
    }
    form_->ScrollBarsVisible->trigger();
    for (QTextEdit *pane : {form_->DebugMemo, form_->AddressMemo}) {
        EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_FALSE(pane->verticalScrollBar()->isVisible());
    }
}

TEST_F(MainWindowTest, PrintReportAndCtrlPDoNothing) {
    form_->DebugMemo->setPlainText(QStringLiteral("results"));
    form_->AddressEdit->setText(QStringLiteral("typed"));
    form_->AddressEdit->setFocus();
    Press(Qt::Key_P, Qt::ControlModifier);
    form_->PrintReport1->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(form_->DebugMemo->toPlainText(), QStringLiteral("results"));
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("typed"));
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(MainWindowTest, EnterF9AndTheButtonRunTheSamePing) {
    auto script = UseScriptedEcho();
    form_->AddressEdit->setFocus();
    QTest::keyClicks(form_->AddressEdit, QStringLiteral("  alpha"));
    Press(Qt::Key_Return);
    FinishRun();
    Press(Qt::Key_F9);
    FinishRun();
    form_->StartPingBtn->click();
    FinishRun();
    // Leading blanks reach the query unchanged.
    EXPECT_EQ(QueriedAddresses(script->Queries()), QStringList(12, QStringLiteral("  alpha")));
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_EQ(lines.filter(QStringLiteral("Pinging   alpha with 32 bytes of data:")).size(), 3);
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("4 of 4"));
    // The field keeps what was typed; the enter key adds nothing to it.
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("  alpha"));
    EXPECT_TRUE(form_->PingProcess);
    EXPECT_TRUE(GeolocationForm->StartGeolocation);
}

TEST_F(MainWindowTest, ListRunWithAnEmptyMiddleEntryMakesThreeRuns) {
    auto script = UseScriptedEcho();
    form_->AddressList = QStringList{QStringLiteral("alpha"), QString(), QStringLiteral("gamma")};
    form_->AddressMemo->setPlainText(QStringLiteral("an earlier line"));
    form_->DebugMemo->setPlainText(QStringLiteral("an earlier block"));

    form_->PingListOfAddressesAction->trigger();
    FinishRun();

    QStringList expected;
    for (const char *address : {"alpha", "", "gamma"}) {
        expected << QStringList(4, QString::fromLatin1(address));
    }
    // The addresses are pinged together, so only the requests per address are counted.
    QStringList queried = QueriedAddresses(script->Queries());
    queried.sort();
    expected.sort();
    EXPECT_EQ(queried, expected);
    EXPECT_EQ(Lines(form_->AddressMemo),
              (QStringList{"IPv4 - 10.0.0.1\t\tAddress - alpha", "IPv4 - 10.0.0.1\t\tAddress - \t",
                           "IPv4 - 10.0.0.1\t\tAddress - gamma"}));
    // The results pane is not cleared; each run adds its block.
    const QStringList results = Lines(form_->DebugMemo);
    EXPECT_EQ(results.first(), QStringLiteral("an earlier block"));
    EXPECT_EQ(results.filter(QStringLiteral("Pinging ")).size(), 3);
    EXPECT_TRUE(results.contains(QStringLiteral("Pinging  with 32 bytes of data:")));
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("gamma"));
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("4 of 4"));
    EXPECT_EQ(form_->Charts()->PointCount(), 12);
    EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
    EXPECT_TRUE(GeolocationForm->StartGeolocation);

    // With no list loaded, F10 says so and how to load one, and leaves the panes as they are.
    form_->AddressList.clear();
    const QString addressPane = form_->AddressMemo->toPlainText();
    form_->AddressEdit->setFocus();
    Press(Qt::Key_F10);
    EXPECT_FALSE(form_->IsRunning());
    EXPECT_EQ(errors_, QStringList(QStringLiteral(
                           "No list of addresses is loaded. Load one with \"Load addresses list "
                           "...\" in the File menu, then press F10.")));
    EXPECT_EQ(form_->AddressMemo->toPlainText(), addressPane);
    EXPECT_EQ(script->Queries().size(), 12);
}

TEST_F(MainWindowTest, DuringARunTheLightIsOnAndNoOtherCommandStarts) {
    auto script = UseScriptedEcho();
    std::atomic<bool> observed{false};
    bool lightDuringRun = false;
    bool runningDuringRun = false;
    bool visibleAfterClose = false;
    // The first request waits until the window, still painting, has been looked at and asked
    // for other commands.
    script->insideRequest = [&observed] {
        for (int i = 0; i < 2000 && !observed; ++i) {
            QThread::msleep(5);
        }
    };
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (observed) {
            return;
        }
        lightDuringRun = MainMenuForm->ProcessIndicator->isEnabled();
        runningDuringRun = MainMenuForm->IsRunning();
        MainMenuForm->SinglePingAction->trigger();
        MainMenuForm->PingListOfAddressesAction->trigger();
        MainMenuForm->ClearMemoAction->trigger();
        MainMenuForm->close();
        visibleAfterClose = MainMenuForm->isVisible();
        observed = true;
    });
    probe.start(1);
    form_->AddressEdit->setText(QStringLiteral("alpha"));
    form_->SinglePingAction->trigger();
    FinishRun();
    probe.stop();

    ASSERT_TRUE(observed);
    EXPECT_TRUE(lightDuringRun);
    EXPECT_TRUE(runningDuringRun);
    EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
    EXPECT_FALSE(form_->IsRunning());
    EXPECT_EQ(script->Queries().size(), 4);
    // No other run started in between: the run's lines are all there.
    EXPECT_EQ(Lines(form_->DebugMemo).filter(QStringLiteral("Reply from")).size(), 4);
    EXPECT_EQ(Lines(form_->AddressMemo).size(), 1);
    // The close request waited for the end of the run.
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_TRUE(WaitUntil([] { return !MainMenuForm->isVisible(); }));
}

// Each way of stopping a run while its second request is under way: the request is finished,
// then the run ends with the statistics of what was sent, as ping writes them on Ctrl+C.
TEST_F(MainWindowTest, EscAndThePingButtonStopARunAfterTheRequestUnderWay) {
    const struct {
        const char *name;
        std::function<void()> stop;
    } rows[] = {
        {"Esc",
         [] {
             MainMenuForm->AddressEdit->setFocus();
             Press(Qt::Key_Escape);
         }},
        {"ping button", [] { MainMenuForm->StartPingBtn->click(); }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        form_->ClearAllActionExecute();
        auto script = UseScriptedEcho();
        script->HoldRequest(2);
        form_->AddressEdit->setText(QStringLiteral("alpha"));
        form_->SinglePingAction->trigger();
        ASSERT_TRUE(WaitUntil([&] { return script->Started() == 2; }));
        EXPECT_EQ(form_->StartPingBtn->text(), QStringLiteral("Stop"));
        EXPECT_EQ(form_->StartPingBtn->toolTip(), QStringLiteral("Stop pinging ..."));
        row.stop();
        script->Release();
        FinishRun();

        EXPECT_EQ(script->Queries().size(), 2);
        const QStringList lines = Lines(form_->DebugMemo);
        EXPECT_EQ(lines.filter(QStringLiteral("Reply from")).size(), 2);
        EXPECT_TRUE(lines.contains(
            QStringLiteral("Packets: Sent = 2, Received = 2, Lost = 0 [ 0% loss ]")));
        EXPECT_EQ(Lines(form_->AddressMemo),
                  QStringList(QStringLiteral("IPv4 - 10.0.0.1\t\tAddress - alpha")));
        // Stopping is not clearing: the field and the panes keep what the run wrote.
        EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("alpha"));
        EXPECT_EQ(form_->StartPingBtn->text(), QStringLiteral("Ping"));
        EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
        EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    }
}

TEST_F(MainWindowTest, AStoppedListRunWritesTheAddressesBegunAndNoneAfter) {
    auto script = UseScriptedEcho();
    // The sixth request is beta's second: alpha is complete, gamma and delta not begun.
    script->HoldRequest(6);
    form_->ListRunInFlight = 1;
    form_->AddressList = QStringList{QStringLiteral("alpha"), QStringLiteral("beta"),
                                     QStringLiteral("gamma"), QStringLiteral("delta")};
    form_->PingListOfAddressesAction->trigger();
    ASSERT_TRUE(WaitUntil([&] { return script->Started() == 6; }));
    form_->AddressEdit->setFocus();
    Press(Qt::Key_Escape);
    script->Release();
    FinishRun();

    EXPECT_EQ(script->Queries().size(), 6);
    EXPECT_EQ(Lines(form_->AddressMemo), (QStringList{"IPv4 - 10.0.0.1\t\tAddress - alpha",
                                                      "IPv4 - 10.0.0.1\t\tAddress - beta"}));
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_EQ(lines.filter(QStringLiteral("Pinging ")),
              (QStringList{"Pinging alpha with 32 bytes of data:",
                           "Pinging beta with 32 bytes of data:"}));
    EXPECT_EQ(lines.filter(QStringLiteral("Packets: ")),
              (QStringList{"Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]",
                           "Packets: Sent = 2, Received = 2, Lost = 0 [ 0% loss ]"}));
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
}

TEST_F(MainWindowTest, AFailingServiceEndsTheRunWithItsOwnText) {
    UseEchoService([]() -> std::unique_ptr<TEchoService> {
        throw TxError(QStringLiteral("No ICMP socket."));
    });
    form_->AddressList = QStringList{QStringLiteral("alpha"), QStringLiteral("beta")};
    form_->PingProcess = true;
    form_->PingListOfAddressesAction->trigger();
    FinishRun();
    EXPECT_EQ(errors_, QStringList{QStringLiteral("No ICMP socket.")});
    // The list stops at the first address; the light stays on until a run completes.
    EXPECT_EQ(form_->AddressEdit->text(), QStringLiteral("alpha"));
    EXPECT_FALSE(form_->PingProcess);
    EXPECT_TRUE(form_->ProcessIndicator->isEnabled());
    EXPECT_FALSE(form_->IsRunning());

    auto script = UseScriptedEcho();
    form_->SinglePingAction->trigger();
    FinishRun();
    EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
    EXPECT_EQ(script->Queries().size(), 4);
}

TEST_F(MainWindowTest, SettingsConfirmedWithOkReachTheEngine) {
    auto script = UseScriptedEcho();
    // What the settings window hands to the model when the user confirms it.
    TSettingsValues confirmed = Settings()->Values();
    confirmed.PingRetriesNoValue = 6;
    confirmed.DebugColor = 0x0000FF;    // red
    confirmed.ResultsColor = 0x00FF00;  // lime
    Settings()->Apply(confirmed);

    EXPECT_EQ(form_->RetriesLabel->text(), QStringLiteral("Retries No: 6"));
    EXPECT_EQ(form_->PingRetries, 6);
    ASSERT_EQ(form_->Charts()->BarCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(form_->Charts()->BarHeight(i), 0.1);
    }
    EXPECT_FALSE(form_->Charts()->BarsActive());
    EXPECT_EQ(form_->Charts()->GraphColor(), ToQColor(Settings()->Values().GraphColor));

    form_->AddressEdit->setText(QStringLiteral("alpha"));
    form_->SinglePingAction->trigger();
    FinishRun();
    EXPECT_EQ(script->Queries().size(), 6);
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("6 of 6"));
    EXPECT_EQ(FirstColor(form_->DebugMemo), QColor(255, 0, 0));
    EXPECT_EQ(FirstColor(form_->AddressMemo), QColor(0, 255, 0));

    // A reading of the file that brings nothing new (the map window reads it at each opening)
    // leaves labels and charts as they were.
    ASSERT_TRUE(Settings()->Load());
    EXPECT_EQ(form_->RetriesLabel->text(), QStringLiteral("Retries No: 6"));
    EXPECT_EQ(form_->PingRetries, 6);
    EXPECT_EQ(form_->Charts()->BarCount(), 6);
    EXPECT_TRUE(form_->Charts()->BarsActive());
}

TEST_F(MainWindowTest, SettingTextsThatAreNotNumbersGiveTheDefaults) {
    WriteSettingsFile(
        "[PING SYSTEM SETTINGS]\nTime Out=soon\nBuffer Size=70000\nRetries No=\n"
        "TTL=many\n");
    ASSERT_TRUE(Settings()->Load());
    EXPECT_EQ(form_->PingTimeOut, 4000);
    EXPECT_EQ(form_->PingBufferSize, 70000 % 65536);
    EXPECT_EQ(form_->PingRetries, 4);
    EXPECT_EQ(form_->PingTTL, 128);
    // The labels show the values as the settings window shows them.
    EXPECT_EQ(form_->TimeoutLabel->text(), QStringLiteral("Receive Timeout: 4000 ms"));
    EXPECT_EQ(form_->RetriesLabel->text(), QStringLiteral("Retries No: 4"));
}

TEST_F(MainWindowTest, ClosingFreesTheListsAndExitCloses) {
    form_->AddressList = QStringList{QStringLiteral("alpha")};
    PingDataModule()->WhoIsServerList = QStringList{QStringLiteral("zone")};
    form_->Exit1->trigger();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(form_->AddressList.isEmpty());
    EXPECT_TRUE(PingDataModule()->WhoIsServerList.isEmpty());
}

TEST_F(MainWindowTest, RealRunAgainstLoopback) {
    form_->AddressEdit->setFocus();
    QTest::keyClicks(form_->AddressEdit, QStringLiteral("127.0.0.1"));
    Press(Qt::Key_Return);
    FinishRun();
    ASSERT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(form_->RemaningLabel->text(), QStringLiteral("4 of 4"));
    const QStringList lines = Lines(form_->DebugMemo);
    ASSERT_GE(lines.size(), 10);
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("Date: ")));
    EXPECT_EQ(lines.at(1), QStringLiteral("Pinging 127.0.0.1 with 32 bytes of data:"));
    EXPECT_EQ(lines.filter(QStringLiteral("Reply from 127.0.0.1")).size(), 4);
    EXPECT_TRUE(lines.contains(QStringLiteral("Ping statistics for 127.0.0.1; IPv4 - 127.0.0.1")));
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]")));
    EXPECT_EQ(Lines(form_->AddressMemo),
              QStringList{QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1")});
    EXPECT_TRUE(form_->Charts()->BarsActive());
    // Replies under a millisecond read "<1 ms" and are still drawn, with the time they took, on
    // an axis of their scale.
    EXPECT_EQ(form_->Charts()->PointCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_GT(form_->Charts()->BarHeight(i), 0) << i;
    }
    if (lines.filter(QStringLiteral("Time=<1 ms")).size() == 4) {
        EXPECT_LE(form_->Charts()->BarAxisTop(), 1.15);
    }
    EXPECT_FALSE(form_->ProcessIndicator->isEnabled());
    EXPECT_TRUE(GeolocationForm->StartGeolocation);
}

}  // namespace

TEST_F(MainWindowTest, AListRunTogetherEndsLikeOneAddressAfterAnother) {
    UseEchoService([] { return std::make_unique<AddressEcho>(); });
    QStringList list;
    for (int i = 0; i < 40; ++i) {
        const char *kinds[] = {"host", "silent", "unknown", "host"};
        list << QStringLiteral("%1%2").arg(QLatin1String(kinds[i % 4])).arg(i);
    }
    // An entry longer than the address field takes is pinged as the field holds it.
    list << QString() << QString(40000, QLatin1Char('h'));
    const ListRunOutcome oneByOne = RunList(list, 1);
    const ListRunOutcome together = RunList(list, kMaxAddressesInFlight);
    ExpectSame(together, oneByOne);
    EXPECT_EQ(together.addresses.size(), list.size() + 1);
    EXPECT_TRUE(together.completed);
    EXPECT_FALSE(together.light);

    // A service failure in the middle of the list: the same lines, progress, flag, light and
    // error text as when the addresses go one after another.
    list.insert(5, QStringLiteral("broken"));
    const ListRunOutcome failedOneByOne = RunList(list, 1);
    const ListRunOutcome failedTogether = RunList(list, kMaxAddressesInFlight);
    ExpectSame(failedTogether, failedOneByOne);
    EXPECT_EQ(failedTogether.errors, QStringList(QStringLiteral("Echo request failed: broken")));
    EXPECT_EQ(failedTogether.addressField, QStringLiteral("broken"));
    EXPECT_FALSE(failedTogether.completed);
    EXPECT_TRUE(failedTogether.light);
    EXPECT_EQ(failedTogether.progress, QStringLiteral("1 of 4"));
    EXPECT_FALSE(form_->IsRunning());
}

TEST_F(MainWindowTest, AListRunOfRealRequestsTogetherEndsLikeOneAddressAfterAnother) {
    EchoNamespace ns;
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    UseEchoService([&ns] { return ns.OpenService(TIcmpSocketKind::Automatic); });
    form_->PingTimeOut = 300;
    const QStringList list = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"),
                              QStringLiteral("127.0.0.2"), QStringLiteral("no-such.invalid"),
                              QStringLiteral("127.0.0.4"), QStringLiteral("127.0.0.3"),
                              QStringLiteral("127.0.0.5")};
    // Loopback answers within the first millisecond; a busy machine may take longer, so the
    // measured trip times (and the graph points they give) are compared by form only.
    const auto measured = [](ListRunOutcome outcome) {
        static const QRegularExpression time(QStringLiteral("[;:]  Bytes=32  Time=(<1|\\d+) ms"));
        static const QRegularExpression figures(
            QStringLiteral("Minimum = \\d+ ms, Maximum = \\d+ ms, Average = \\d+ ms"));
        outcome.results.replaceInStrings(time, QStringLiteral(": Bytes=32 Time=(measured)"));
        outcome.results.replaceInStrings(figures, QStringLiteral("(measured figures)"));
        outcome.points = 0;
        outcome.bars.clear();
        return outcome;
    };
    const ListRunOutcome oneByOne = measured(RunList(list, 1));
    const ListRunOutcome together = measured(RunList(list, kMaxAddressesInFlight));
    ExpectSame(together, oneByOne);
    EXPECT_TRUE(together.errors.isEmpty()) << together.errors.join('\n').toStdString();
    EXPECT_EQ(
        together.results.filter(QStringLiteral("Reply from 127.0.0.3: Request Timed Out")).size(),
        8);
    EXPECT_EQ(together.addresses.size(), list.size() + 1);
}

TEST_F(MainWindowTest, TheAddressFieldTakesAPastedUrlWholeAndCutsAHugeText) {
    auto script = UseScriptedEcho();
    // A host name of the longest kind with a long path, as pasted from a browser.
    const QString url = QStringLiteral("https://") + QString(253, QLatin1Char('h')) +
                        QStringLiteral("/") + QString(1500, QLatin1Char('p'));
    form_->AddressEdit->clear();
    form_->AddressEdit->insert(url);
    EXPECT_EQ(form_->AddressEdit->text(), url);

    // Forty thousand characters pasted by mistake: the field keeps the first 2,048, and the
    // ping runs to its statistics with them.
    const QString huge = QString(40000, QLatin1Char('x'));
    form_->AddressEdit->clear();
    form_->AddressEdit->insert(huge);
    const QString kept = huge.left(2048);
    EXPECT_EQ(form_->AddressEdit->text(), kept);
    form_->SinglePingAction->trigger();
    FinishRun();
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').left(200).toStdString();
    EXPECT_EQ(QueriedAddresses(script->Queries()), QStringList(4, kept));
    const QStringList lines = Lines(form_->DebugMemo);
    EXPECT_TRUE(
        lines.contains(QStringLiteral("Ping statistics for %1; IPv4 - 10.0.0.1").arg(kept)));
    EXPECT_EQ(Lines(form_->AddressMemo),
              QStringList(QStringLiteral("IPv4 - 10.0.0.1\t\tAddress - ") + kept));
}
