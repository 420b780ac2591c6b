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

bool TMainMenuForm::StopsRun(const QAction *action) const {
    return (IsWatching() && action == WatchPingAction) ||
           (IsTracing() && action == TraceRouteAction) ||
           (IsWatchingList() && action == WatchListAction);
}

qint64 TMainMenuForm::ListWatchNow() const {
    return listWatchEndedMs_ >= 0 ? listWatchEndedMs_ : listWatchClock_.elapsed();
}

void TMainMenuForm::WatchListActionExecute() {
    if (IsWatchingList()) {
        // Every address ends after its request under way, then the blocks are written.
        StopRun();
        return;
    }
    if (IsRunning()) {
        return;
    }
    if (AddressList.isEmpty()) {
        throw TxError(
            QStringLiteral("No list of addresses is loaded. Load one with \"Load "
                           "addresses list ...\" in the File menu, then press Shift+F10."));
    }
    if (AddressList.size() > kMaxWatchedAddresses) {
        throw TxError(QStringLiteral("A watch keeps every address under way at once, so it takes "
                                     "at most %1 addresses; the list has %2. Load a shorter list.")
                          .arg(kMaxWatchedAddresses)
                          .arg(AddressList.size()));
    }
    InitPingActionExecute();
    // Each address is pinged as the field holds it, which is how the ping command is given it.
    QStringList addresses;
    for (const QString &address : AddressList) {
        addresses << address.left(AddressEdit->maxLength());
    }
    AddressMemo->clear();
    listWatch_ = std::make_unique<TListWatch>(addresses, WatchDownAfter);
    listWatchLog_.Reset(listWatch_->Count());
    listWatchStarted_ = QDateTime::currentDateTime();
    listWatchClock_.start();
    listWatchEndedMs_ = -1;
    WatchListPanel->Show(listWatch_.get(), listWatchStarted_);
    WatchListPanel->Table()->clearSelection();
    WatchListPanel->Table()->setCurrentIndex(QModelIndex());
    ShowListWatch(true);
    WatchGraph->Clear();
    barsRow_ = -1;
    barTrips_.clear();
    charts_->PrepareBars(PingRetries, 0.1);
    charts_->SetBarsActive(false);
    WriteReport(TResultTarget{DebugMemo->document(), DebugColor},
                WatchEventLine(listWatchStarted_,
                               QStringLiteral("Watching %1 every %2 ms; an address is down after "
                                              "%3 request%4 in a row without a reply.")
                                   .arg(WatchAddressCountText(addresses.size()))
                                   .arg(PingInterval)
                                   .arg(listWatch_->DownAfter())
                                   .arg(listWatch_->DownAfter() == 1 ? "" : "s")));
    ProcessIndicator->setEnabled(true);
    if (!session_->StartListWatch(RunInput(), addresses, PingInterval)) {
        return;
    }
    SetRunMode(true);
    listWatchRefresh_->start(qBound(kFastestRefreshMs, PingInterval, kSlowestRefreshMs));
    WatchTray->show();
    RefreshListWatch();
}

void TMainMenuForm::ConnectListWatch() {
    listWatchRefresh_ = new QTimer(this);
    connect(listWatchRefresh_, &QTimer::timeout, this, &TMainMenuForm::RefreshListWatch);
    notifier_ = new TDesktopNotifier(this);
    connect(notifier_, &TDesktopNotifier::Unavailable, this, [this](const QString &reason) {
        WriteReport(TResultTarget{DebugMemo->document(), DebugColor},
                    WatchEventLine(QDateTime::currentDateTime(),
                                   QStringLiteral("Desktop notifications cannot be shown (%1); "
                                                  "changes are written here only.")
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

    connect(
        session_, &TRunSession::ListReplied, this,
        [this](int index, qint64 sentAt, const std::optional<TPingReply> &reply) {
            if (!listWatch_) {
                return;
            }
            if (const std::optional<TWatchChange> change = listWatch_->Replied(
                    index, reply, ListWatchNow(), sentAt - listWatchClock_.msecsSinceReference())) {
                ListWatchChanged(*change);
            }
        });
    connect(session_, &TRunSession::ListFailed, this, [this](int index, const QString &message) {
        if (!listWatch_) {
            return;
        }
        listWatch_->Failed(index, message);
        WriteReport(TResultTarget{DebugMemo->document(), DebugColor},
                    WatchEventLine(QDateTime::currentDateTime(),
                                   QStringLiteral("%1 is no longer watched: %2")
                                       .arg(listWatch_->At(index).Address, message)));
    });
    connect(WatchListPanel, &TWatchListPanel::RowsChosen, this, [this] {
        // The graph is drawn afresh for the rows now chosen.
        RefreshListWatch();
    });
    connect(WatchListPanel, &TWatchListPanel::CommandRequested, this,
            [this](TWatchListPanel::TCommand command, const QString &address) {
                if (IsRunning()) {
                    return;
                }
                AddressEdit->setText(address);
                switch (command) {
                    case TWatchListPanel::TCommand::Ping:
                        SinglePingAction->trigger();
                        break;
                    case TWatchListPanel::TCommand::Trace:
                        TraceRouteAction->trigger();
                        break;
                    case TWatchListPanel::TCommand::Whois:
                        GetAddressInformationAction->trigger();
                        break;
                    case TWatchListPanel::TCommand::Locate:
                        AddressGeolocationAction->trigger();
                        break;
                }
            });
}

void TMainMenuForm::ListWatchChanged(const TWatchChange &change) {
    listWatchLog_.Changed(change, listWatch_->At(change.Index));
    // A switch that fails takes hundreds of addresses down in the same moment: their lines are
    // written together and told in one notice, once the burst has been taken in.
    if (pendingChanges_.isEmpty()) {
        QTimer::singleShot(0, this, &TMainMenuForm::FlushWatchChanges);
    }
    pendingChanges_.append({change, QDateTime::currentDateTime()});
}

void TMainMenuForm::FlushWatchChanges() {
    const QList<QPair<TWatchChange, QDateTime>> changes = std::exchange(pendingChanges_, {});
    if (!listWatch_ || changes.isEmpty()) {
        return;
    }
    RefreshWatchTray();
    std::vector<TWatchChange> told;
    {
        const TResultBatch batch(DebugMemo->document());
        for (const auto &[change, when] : changes) {
            const QString &address = listWatch_->At(change.Index).Address;
            const std::optional<QString> line = WatchChangeLine(when, address, change);
            if (!line) {
                continue;
            }
            WriteReport(TResultTarget{DebugMemo->document(), DebugColor}, *line);
            told.push_back(change);
        }
    }
    if (told.empty() || !WatchNotifications || isActiveWindow()) {
        return;
    }
    const TWatchNotice notice = WatchChangesNotice(*listWatch_, told);
    notifier_->Notify(notice.Summary, notice.Body, notice.Urgent);
}

void TMainMenuForm::RefreshListWatch() {
    if (!listWatch_) {
        return;
    }
    const qint64 now = ListWatchNow();
    const int count = listWatch_->Count();
    // Requests made and still waiting for their outcome count as sent.
    for (int i = 0; i < count; ++i) {
        listWatch_->SetRequestsMade(i, session_->ListRequestsMade(i));
    }
    QString heading =
        QStringLiteral("%1 %2 every %3 ms:   %4 up,   %5 down")
            .arg(listWatchEndedMs_ < 0 ? QStringLiteral("Watching") : QStringLiteral("Watched"),
                 WatchAddressCountText(count))
            .arg(PingInterval)
            .arg(listWatch_->UpCount())
            .arg(listWatch_->DownCount());
    heading += QStringLiteral("   for %1").arg(WatchDurationText(now));
    // The graph: the chosen rows, or the first addresses of the list.
    QList<int> rows = WatchListPanel->ChosenRows();
    if (rows.isEmpty()) {
        for (int i = 0; i < qMin(count, int(TWatchGraph::kMaxLines)); ++i) {
            rows << i;
        }
    }
    WatchGraph->Show(*listWatch_, rows, now);
    QHash<int, QColor> colors;
    for (int i = 0; i < qMin(static_cast<int>(rows.size()), int(TWatchGraph::kMaxLines)); ++i) {
        colors.insert(rows.at(i), TWatchGraph::LineColor(i));
    }
    WatchListPanel->SetLineColors(colors);
    WatchListPanel->Refresh(heading, now);

    // The bars and the live figures: the current row, else the first address.
    const int followed = WatchListPanel->FollowedRow();
    if (followed >= 0) {
        const TWatchedAddress &address = listWatch_->At(followed);
        // The latest trip times, oldest at the left, as a watch of one address shows them; drawn
        // again only when they changed.
        QList<double> trips;
        for (auto point = address.History.rbegin();
             point != address.History.rend() && trips.size() < PingRetries; ++point) {
            if (point->Trip) {
                trips.prepend(*point->Trip);
            }
        }
        if (followed != barsRow_ || trips != barTrips_) {
            charts_->PrepareBars(PingRetries, 0.1);
            for (int i = 0; i < trips.size(); ++i) {
                charts_->SetBarHeight(i, trips.at(i));
            }
            charts_->SetBarsActive(!trips.isEmpty());
            barsRow_ = followed;
            barTrips_ = trips;
        }
        WatchLabel->setText(address.Address + QStringLiteral("   ") +
                            LiveFiguresText(address.Figures, address.InFlight));
        WatchLabel->show();
    }
}

void TMainMenuForm::RefreshWatchTray() {
    QColor color = kUnknownColor;
    QString text = QStringLiteral("Tarvex: no list watched");
    if (listWatch_) {
        const int count = listWatch_->Count();
        if (listWatch_->DownCount() > 0) {
            color = kSomeDownColor;
            text = QStringLiteral("Tarvex: %1 of %2 down")
                       .arg(listWatch_->DownCount())
                       .arg(WatchAddressCountText(count));
        } else if (listWatch_->UpCount() == count) {
            color = kAllUpColor;
            text = QStringLiteral("Tarvex: all %1 up").arg(WatchAddressCountText(count));
        } else {
            text = QStringLiteral("Tarvex: %1 of %2 up, none down")
                       .arg(listWatch_->UpCount())
                       .arg(WatchAddressCountText(count));
        }
    }
    WatchTray->setIcon(StateIcon(color));
    WatchTray->setToolTip(text);
}

void TMainMenuForm::EndListWatch() {
    listWatchRefresh_->stop();
    if (!listWatch_) {
        return;
    }
    listWatchEndedMs_ = listWatchClock_.elapsed();
    // Changes of the last outcomes come before the blocks.
    FlushWatchChanges();
    TPingRunTargets targets;
    targets.DebugMemo = DebugMemo->document();
    targets.AddressMemo = AddressMemo->document();
    targets.PositionX = &PositionX;
    WriteListWatchEnd(RunInput(), targets, *listWatch_, listWatchStarted_, listWatchEndedMs_);
    // Saved as data like any run: each address with its statistics and what its watch saw.
    for (TRunResult &run : WatchedListResults(*listWatch_, listWatchLog_, RunInput().Echo,
                                              PingInterval, listWatchStarted_, listWatchEndedMs_)) {
        KeepPaneRun(std::move(run));
    }
    WatchTray->hide();
    RefreshListWatch();
    AddressRunCompleted();
}

void TMainMenuForm::ShowListWatch(bool on) {
    ShowWatchGraph(on);
    if (!on) {
        MainSplitter->ClosePanel(WatchListPanel);
        WatchListPanel->Show(nullptr, QDateTime());
        listWatch_.reset();
        WatchTray->hide();
        RefreshWatchTray();
        return;
    }
    MainSplitter->ClosePanel(TracePanel);
    pendingChanges_.clear();
    // The room comes from the graph and the panes alike, neither below what it needs.
    MainSplitter->OpenPanel(WatchListPanel, kWatchPanelHeight);
}

void TMainMenuForm::ShowWatchGraph(bool on) {
    WatchGraph->setVisible(on);
    ProcessGraph->setVisible(!on);
}
