// The main window's trace route: the route panel, the graph of the followed hop, and the route's
// block in the results pane once the trace ends.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTextEdit>
#include <QToolButton>

#include "app/MainMenuUnit.h"
#include "app/PingCharts.h"
#include "app/SizeSplitter.h"
#include "app/TracePanel.h"
#include "common/BrowserWindows.h"
#include "common/CommandGuard.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"

namespace {

// The route panel's height when it opens: its heading and about seven hops.
constexpr int kRoutePanelHeight = 150;

}  // namespace

void TMainMenuForm::TraceRouteActionExecute() {
    if (IsTracing()) {
        // The trace ends at once, and its block is written.
        StopRun();
        return;
    }
    if (IsRunning()) {
        return;
    }
    InitPingActionExecute();
    const QString address = PingAddress.trimmed();
    if (address.isEmpty()) {
        throw TxError(
            QStringLiteral("Type the address whose route is to be traced, then press "
                           "Ctrl+T."));
    }
    TTraceInput input;
    input.Address = address;
    input.Echo.BufferSize = PingBufferSize;
    input.Echo.TimeOut = PingTimeOut;
    // The settings' interval paces the rounds, never faster than a round a second.
    input.Interval = qMax(kLeastTraceRoundInterval, PingInterval);
    traceHops_ = std::make_unique<TTraceHops>(input.MaxHops);
    traceResolved_.clear();
    traceStarted_ = QDateTime::currentDateTime();
    traceRounds_ = 0;
    tracePlottedRound_ = 0;
    // The route takes the place of a list watch's table and graph.
    ShowListWatch(false);
    TracePanel->Show(traceHops_.get());
    TracePanel->Table()->clearSelection();
    // The route takes its room from the charts and the panes alike, neither below what it needs:
    // the charts their axes' labels, the panes a few lines.
    MainSplitter->OpenPanel(TracePanel, kRoutePanelHeight);
    RestartGraph();
    RefreshTrace();
    ProcessIndicator->setEnabled(true);
    if (session_->StartTrace(input)) {
        SetRunMode(true);
    }
}

void TMainMenuForm::ConnectTrace() {
    connect(session_, &TRunSession::TraceResolved, this, [this](const QString &resolved) {
        traceResolved_ = resolved;
        RefreshTrace();
    });
    connect(session_, &TRunSession::TraceRound, this, [this](int round, int) {
        if (!traceHops_) {
            return;
        }
        traceRounds_ = round;
        RefreshTrace();
    });
    connect(session_, &TRunSession::TraceSent, this, [this](int, int ttl) {
        if (traceHops_) {
            traceHops_->Sent(ttl);
            RefreshTrace();
        }
    });
    connect(session_, &TRunSession::TraceProbed, this,
            [this](int round, int ttl, const TPingReply &reply) {
                if (!traceHops_ || !traceHops_->Add(ttl, reply)) {
                    return;
                }
                const TTraceHop &hop = traceHops_->Hop(ttl);
                // A chosen hop is drawn with every answer it gives; the target only with its own
                // replies, so that a silent target or an "unreachable" draws nothing, as a ping's
                // lost request does. One point a round: while the end is not known yet, the
                // target may answer the probes of several TTLs.
                const int chosen = TracePanel->ChosenHop();
                const bool drawn =
                    chosen > 0 ? ttl == chosen
                               : ttl == traceHops_->End() && reply.StatusCode.value_or(-1) == 0;
                if (drawn && hop.Figures.Fine.Last && round > tracePlottedRound_) {
                    tracePlottedRound_ = round;
                    TPingRunTargets targets;
                    targets.Charts = charts_.get();
                    targets.PositionX = &PositionX;
                    PlotTrip(-1, *hop.Figures.Fine.Last, targets);
                }
                RefreshTrace();
            });
    connect(session_, &TRunSession::TraceNamed, this,
            [this](const QString &address, const QString &name) {
                if (traceHops_) {
                    traceHops_->SetName(address, name);
                    RefreshTrace();
                }
            });
    // The graph follows the hop chosen in the table, from its next answer on.
    connect(TracePanel, &TTracePanel::HopChosen, this, [this] {
        tracePlottedRound_ = 0;
        RestartGraph();
    });
    connect(TracePanel, &TTracePanel::AddressActivated, this, [this](const QString &address) {
        if (!IsRunning()) {
            AddressEdit->setText(address);
            AddressEdit->setFocus(Qt::OtherFocusReason);
        }
    });
    connect(TracePanel, &TTracePanel::RouteMapRequested, this,
            [this] { RunCommand(this, [this] { ShowRouteOnMap(); }); });
    connect(TracePanel, &TTracePanel::WhoisRequested, this, [this](const QString &address) {
        if (!IsRunning()) {
            AddressEdit->setText(address);
            GetAddressInformationAction->trigger();
        }
    });
}

QStringList TMainMenuForm::RouteMapLines() const {
    QStringList lines;
    for (int ttl = 1; traceHops_ && ttl <= traceHops_->Count(); ++ttl) {
        const TTraceHop &hop = traceHops_->Hop(ttl);
        if (hop.Addresses.isEmpty()) {
            continue;
        }
        const QString &name = hop.Names.at(0);
        lines << AddressLine(
            hop.Addresses.at(0),
            QStringLiteral("Hop %1: %2").arg(ttl).arg(name.isEmpty() ? hop.Addresses.at(0) : name));
    }
    return lines;
}

void TMainMenuForm::ShowRouteOnMap() {
    if (IsRunning() || GeolocationForm == nullptr) {
        return;
    }
    const QStringList lines = RouteMapLines();
    if (lines.isEmpty()) {
        throw TxError(
            QStringLiteral("No hop of the route has answered, so there is nothing to "
                           "show on the map."));
    }
    GeolocationForm->ExecuteRoute(lines);
}

void TMainMenuForm::RefreshTrace(bool over) {
    QString heading = QStringLiteral("Route to %1").arg(PingAddress.trimmed());
    if (!traceResolved_.isEmpty()) {
        heading += QStringLiteral(" [%1]").arg(traceResolved_);
    }
    if (traceRounds_ > 0) {
        heading += QStringLiteral("   Round %1").arg(traceRounds_);
    }
    // Once the trace is over, the heading says how the route ended when the target was not
    // reached; while it goes, the rows say it.
    if (over && traceHops_) {
        if (const QString end = TraceEndLine(*traceHops_); !end.isEmpty()) {
            heading += QStringLiteral("   ") + end;
        }
    }
    TracePanel->Refresh(heading);
    // The rounds the target answered of those made, as a ping counts its replies.
    const int answered = traceHops_ && traceHops_->Reached()
                             ? traceHops_->Hop(traceHops_->End()).Figures.PacketsReceived
                             : 0;
    RemaningLabel->setText(QStringLiteral("%1 of %2").arg(answered).arg(traceRounds_));
}

void TMainMenuForm::EndTrace() {
    if (!traceHops_) {
        return;
    }
    const QString address = PingAddress.trimmed();
    // The route panel shows what the block says.
    traceHops_->ForgetInFlight();
    WriteTraceBlock(TResultTarget{DebugMemo->document(), DebugColor}, address, traceResolved_,
                    traceStarted_, *traceHops_, traceRounds_);
    TRunResult run;
    run.Kind = TRunResult::TKind::Trace;
    run.Target = address;
    run.Echo.BufferSize = PingBufferSize;
    run.Echo.TimeOut = PingTimeOut;
    run.Started = traceStarted_;
    run.Resolved = traceResolved_;
    run.Rounds = traceRounds_;
    run.Hops = *traceHops_;
    KeepPaneRun(std::move(run));
    // As a ping's: the address line once the target answered, else the bare address.
    WriteReport(TResultTarget{AddressMemo->document(), ResultsColor},
                traceHops_->Reached() ? AddressLine(traceResolved_, address) : traceResolved_);
    RefreshTrace(true);
    AddressRunCompleted();
}
