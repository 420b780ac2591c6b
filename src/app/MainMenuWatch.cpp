// The main window's list watch: the watch panel, the graph of the watched addresses, the lines
// and notifications of their changes, and each address's block once the watch ends.
#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "app/DesktopNotifier.h"
#include "app/MainMenuUnit.h"
#include "app/PingCharts.h"
#include "app/SizeSplitter.h"
#include "app/TracePanel.h"
#include "app/WatchGraph.h"
#include "app/WatchListPanel.h"
#include "common/CommandGuard.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"

namespace {

// How often the table, graph and bars show the latest figures: outcomes only update the
// figures, so a thousand addresses cost one refresh, not a thousand. Once per interval, within
// these bounds: more often would mostly draw what has not changed.
constexpr int kFastestRefreshMs = 250;
constexpr int kSlowestRefreshMs = 1000;
// The watch panel's height when it opens.
constexpr int kWatchPanelHeight = 170;

const QColor kAllUpColor(90, 200, 110);
const QColor kSomeDownColor(235, 90, 80);
const QColor kUnknownColor(150, 150, 150);

QIcon StateIcon(const QColor &color) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color.darker(170), 2));
    painter.setBrush(color);
    painter.drawEllipse(QRectF(3, 3, 26, 26));
    return QIcon(pixmap);
}

}  // namespace

void TMainMenuForm::WatchListActionExecute() {
    if (IsWatchingList()) {
        // Every address ends after its request under way, then the blocks are written.
        runs_->Stop(TRunModel::TKind::ListWatch);
        return;
    }
    if (!MayStart(WatchListAction)) {
        return;
    }
    InitPingActionExecute();
    // Each address is pinged as the field holds it, which is how the ping command is given it.
    QStringList addresses;
    for (const QString &address : AddressList) {
        addresses << address.left(AddressEdit->maxLength());
    }
    runs_->SetSettings(RunSettings());
    if (!runs_->StartListWatch(addresses)) {
        return;
    }
    WatchListPanel->Show(runs_->ListWatch(), runs_->ListWatchStarted());
    WatchListPanel->Table()->clearSelection();
    WatchListPanel->Table()->setCurrentIndex(QModelIndex());
    ShowListWatch(true);
    WatchGraph->Clear();
    charts_->PrepareBars(PingRetries, 0.1);
    charts_->SetBarsActive(false);
    ProcessIndicator->setEnabled(true);
    listWatchRefresh_->start(qBound(kFastestRefreshMs, PingInterval, kSlowestRefreshMs));
    WatchTray->show();
    RefreshListWatch();
}

void TMainMenuForm::ConnectListWatch() {
    listWatchRefresh_ = new QTimer(this);
    connect(listWatchRefresh_, &QTimer::timeout, this, &TMainMenuForm::RefreshListWatch);
    notifier_ = new TDesktopNotifier(this);
    connect(notifier_, &TDesktopNotifier::Unavailable, this, [this](const QString &reason) {
        runs_->WriteNote(WatchEventLine(QDateTime::currentDateTime(),
                                        QStringLiteral("Desktop notifications cannot be shown "
                                                       "(%1); changes are written here only.")
                                            .arg(reason)));
    });
    WatchTray = new QSystemTrayIcon(this);
    WatchTray->setObjectName(QStringLiteral("WatchTray"));
    RefreshWatchTray();
    // The tray icon brings the window back, minimised or hidden behind others.
    connect(WatchTray, &QSystemTrayIcon::activated, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });

    connect(runs_, &TRunModel::WatchChangesTold, this, &TMainMenuForm::TellWatchChanges);
    connect(runs_, &TRunModel::ListWatchEnded, this, [this] {
        listWatchRefresh_->stop();
        WatchTray->hide();
        RefreshListWatch();
    });
    connect(WatchListPanel, &TWatchListPanel::RowsChosen, this, [this] {
        // The charts go back to the watch, and its graph is drawn afresh for the rows now
        // chosen.
        if (runs_->ListWatch() != nullptr) {
            runs_->FollowCharts(TRunModel::TKind::ListWatch);
        }
        RefreshListWatch();
    });
    connect(WatchListPanel, &TWatchListPanel::CommandRequested, this,
            [this](TWatchListPanel::TCommand command, const QString &address) {
                // The watch goes on meanwhile: the address is pinged, traced or looked up beside
                // it, when no run of that kind goes.
                QAction *action = nullptr;
                switch (command) {
                    case TWatchListPanel::TCommand::Ping:
                        action = SinglePingAction;
                        break;
                    case TWatchListPanel::TCommand::Trace:
                        action = TraceRouteAction;
                        break;
                    case TWatchListPanel::TCommand::Whois:
                        action = GetAddressInformationAction;
                        break;
                    case TWatchListPanel::TCommand::Locate:
                        action = AddressGeolocationAction;
                        break;
                }
                if (action == nullptr || !MayStart(action) || AddressEdit->isReadOnly()) {
                    return;
                }
                AddressEdit->setText(address);
                action->trigger();
            });
}

void TMainMenuForm::TellWatchChanges(const std::vector<TWatchChange> &changes) {
    RefreshWatchTray();
    if (changes.empty() || !WatchNotifications || isActiveWindow() || !runs_->ListWatch()) {
        return;
    }
    const TWatchNotice notice = WatchChangesNotice(*runs_->ListWatch(), changes);
    notifier_->Notify(notice.Summary, notice.Body, notice.Urgent);
}

void TMainMenuForm::RefreshListWatch() {
    const TListWatch *watch = runs_->ListWatch();
    if (watch == nullptr) {
        return;
    }
    runs_->CountListRequests();
    const qint64 now = runs_->ListWatchNow();
    const int count = watch->Count();
    // The graph: the chosen rows, or the first addresses of the list.
    QList<int> rows = WatchListPanel->ChosenRows();
    if (rows.isEmpty()) {
        for (int i = 0; i < qMin(count, int(TWatchGraph::kMaxLines)); ++i) {
            rows << i;
        }
    }
    WatchGraph->Show(*watch, rows, now);
    QHash<int, QColor> colors;
    for (int i = 0; i < qMin(static_cast<int>(rows.size()), int(TWatchGraph::kMaxLines)); ++i) {
        colors.insert(rows.at(i), TWatchGraph::LineColor(i));
    }
    WatchListPanel->SetLineColors(colors);
    WatchListPanel->Refresh(runs_->ListWatchHeading(), now);

    // The bars and the live figures: the current row, else the first address; only while the
    // charts follow the watch, not a run beside it.
    const int followed = WatchListPanel->FollowedRow();
    if (followed < 0 || runs_->ChartsFollow() != TRunModel::TKind::ListWatch) {
        return;
    }
    if (const std::optional<QList<double>> trips = runs_->ListWatchBarsToDraw(followed)) {
        charts_->PrepareBars(PingRetries, 0.1);
        for (int i = 0; i < trips->size(); ++i) {
            charts_->SetBarHeight(i, trips->at(i));
        }
        charts_->SetBarsActive(!trips->isEmpty());
    }
    if (QDateTime::currentMSecsSinceEpoch() >= statusUntil_) {
        const TWatchedAddress &address = watch->At(followed);
        WatchLabel->setText(address.Address + QStringLiteral("   ") +
                            LiveFiguresText(address.Figures, address.InFlight));
        WatchLabel->show();
    }
}

void TMainMenuForm::RefreshWatchTray() {
    QColor color = kUnknownColor;
    QString text = QStringLiteral("Tarvex: no list watched");
    if (const TListWatch *watch = runs_->ListWatch()) {
        const int count = watch->Count();
        if (watch->DownCount() > 0) {
            color = kSomeDownColor;
            text = QStringLiteral("Tarvex: %1 of %2 down")
                       .arg(watch->DownCount())
                       .arg(WatchAddressCountText(count));
        } else if (watch->UpCount() == count) {
            color = kAllUpColor;
            text = QStringLiteral("Tarvex: all %1 up").arg(WatchAddressCountText(count));
        } else {
            text = QStringLiteral("Tarvex: %1 of %2 up, none down")
                       .arg(watch->UpCount())
                       .arg(WatchAddressCountText(count));
        }
    }
    WatchTray->setIcon(StateIcon(color));
    WatchTray->setToolTip(text);
}

void TMainMenuForm::ShowListWatch(bool on) {
    if (!on) {
        MainSplitter->ClosePanel(WatchListPanel);
        WatchListPanel->Show(nullptr, QDateTime());
        WatchTray->hide();
        RefreshWatchTray();
        ShowChartsOfRun();
        return;
    }
    MainSplitter->ClosePanel(TracePanel);
    // The room comes from the graph and the panes alike, neither below what it needs.
    MainSplitter->OpenPanel(WatchListPanel, kWatchPanelHeight);
    ShowChartsOfRun();
}

void TMainMenuForm::ShowChartsOfRun() {
    const bool watch =
        runs_->ChartsFollow() == TRunModel::TKind::ListWatch && runs_->ListWatch() != nullptr;
    WatchGraph->setVisible(watch);
    ProcessGraph->setVisible(!watch);
}
