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
        runs_->Stop(TRunModel::TKind::Trace);
        return;
    }
    if (!MayStart(TraceRouteAction)) {
        return;
    }
    InitPingActionExecute();
    runs_->SetSettings(RunSettings());
    if (!runs_->StartTrace(PingAddress)) {
        return;
    }
    // The route takes the place of a list watch's table and graph that ended; one under way
    // keeps its table beside the route.
    if (!IsWatchingList()) {
        ShowListWatch(false);
    }
    TracePanel->Show(runs_->TraceHops());
    TracePanel->Table()->clearSelection();
    // The route takes its room from the charts and the panes alike, neither below what it needs:
    // the charts their axes' labels, the panes a few lines.
    MainSplitter->OpenPanel(TracePanel, kRoutePanelHeight);
    RefreshTrace();
    ProcessIndicator->setEnabled(true);
}

void TMainMenuForm::ConnectTrace() {
    connect(runs_, &TRunModel::TraceChanged, this, [this](bool over) { RefreshTrace(over); });
    // The graph follows the hop chosen in the table, from its next answer on.
    connect(TracePanel, &TTracePanel::HopChosen, this, [this] {
        runs_->FollowCharts(TRunModel::TKind::Trace);
        runs_->SetTraceChosenHop(TracePanel->ChosenHop());
    });
    connect(TracePanel, &TTracePanel::AddressActivated, this, [this](const QString &address) {
        if (!AddressEdit->isReadOnly()) {
            AddressEdit->setText(address);
            AddressEdit->setFocus(Qt::OtherFocusReason);
        }
    });
    connect(TracePanel, &TTracePanel::RouteMapRequested, this,
            [this] { RunCommand(this, [this] { ShowRouteOnMap(); }); });
    connect(TracePanel, &TTracePanel::WhoisRequested, this, [this](const QString &address) {
        if (MayStart(GetAddressInformationAction) && !AddressEdit->isReadOnly()) {
            AddressEdit->setText(address);
            GetAddressInformationAction->trigger();
        }
    });
}

QStringList TMainMenuForm::RouteMapLines() const {
    QStringList lines;
    const TTraceHops *hops = runs_->TraceHops();
    for (int ttl = 1; hops != nullptr && ttl <= hops->Count(); ++ttl) {
        const TTraceHop &hop = hops->Hop(ttl);
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
    // While the trace goes, the map shows the route as far as it is known.
    if (IsLookingUp() || GeolocationForm == nullptr) {
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
    TracePanel->Refresh(runs_->TraceHeading(over));
    RemaningLabel->setText(runs_->TraceProgress());
}
