#include "ping/RunModel.h"

#include <QTextDocument>
#include <QTimer>
#include <exception>
#include <utility>

#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/ChartSink.h"
#include "ping/WatchRun.h"

namespace {

QString ErrorMessage(const std::exception &error) {
    return ErrorText(error);
}

}  // namespace

TRunModel::TRunModel(QObject *parent) : QObject(parent) {
    for (TRunSession *&session : sessions_) {
        session = new TRunSession(this);
    }
    ConnectAddressRuns(*sessions_[kAddressSlot]);
    ConnectList(*sessions_[kListSlot]);
    ConnectListWatch(*sessions_[kListWatchSlot]);
    ConnectTrace(*sessions_[kTraceSlot]);
    for (TRunSession *session : sessions_) {
        ConnectNotice(*session);
    }
}

void TRunModel::ConnectNotice(TRunSession &session) {
    connect(&session, &TRunSession::Notice, this, [this, &session](const QString &text) {
        const TKind kind = session.Kind();
        emit NoticeGiven(kind, text);
        // A window tells it in its results pane; the command line on its error output, so that
        // what it writes for a script stays as it is.
        if (views_.DebugMemo == nullptr) {
            return;
        }
        if (kind == TKind::List) {
            listNotice_ = text;
        } else if (kind == TKind::ListWatch) {
            const QString line = WatchEventLine(QDateTime::currentDateTime(), text);
            Write(TKind::ListWatch, [this, line] { WriteReport(ResultsPane(), line); });
        } else {
            WriteNote(text);
        }
    });
}

TRunModel::~TRunModel() {
    // Nothing is written any more: the sessions (children) stop their runs as they go.
    for (TRunSession *session : sessions_) {
        disconnect(session, nullptr, this, nullptr);
    }
}

void TRunModel::SetConnect(TEchoServiceFactory connect) {
    for (TRunSession *session : sessions_) {
        session->SetConnect(connect);
    }
}

void TRunModel::SetDeliveryClock(std::function<qint64()> clock) {
    sessions_[kListWatchSlot]->SetDeliveryClock(std::move(clock));
}

TRunModel::TSlot TRunModel::SlotOf(TKind kind) {
    switch (kind) {
        case TKind::List:
            return kListSlot;
        case TKind::ListWatch:
            return kListWatchSlot;
        case TKind::Trace:
            return kTraceSlot;
        default:
            return kAddressSlot;
    }
}

TRunSession &TRunModel::SessionOf(TKind kind) const {
    return *sessions_[SlotOf(kind)];
}

const TRunSession &TRunModel::Session(TKind kind) const {
    return SessionOf(kind);
}

bool TRunModel::IsRunning(TKind kind) const {
    const TRunSession &session = SessionOf(kind);
    return !session.IsIdle() && session.Kind() == kind;
}

bool TRunModel::OthersRunning(TKind kind) const {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (slot != SlotOf(kind) && !sessions_[slot]->IsIdle()) {
            return true;
        }
    }
    return false;
}

bool TRunModel::IsIdle() const {
    for (const TRunSession *session : sessions_) {
        if (!session->IsIdle()) {
            return false;
        }
    }
    return true;
}

TRunModel::TKind TRunModel::LastStarted() const {
    return started_.isEmpty() ? TKind::None : started_.last();
}

TPingRunInput TRunModel::Input(const QString &address) const {
    TPingRunInput input;
    input.PingAddress = address;
    input.Echo = settings_.Echo;
    input.DebugColor = settings_.DebugColor;
    input.ResultsColor = settings_.ResultsColor;
    return input;
}

TPingRunTargets TRunModel::Targets(const QString &address, TKind kind) {
    TPingRunTargets targets;
    targets.DebugMemo = views_.DebugMemo;
    targets.AddressMemo = views_.AddressMemo;
    targets.DebugLines = views_.DebugLines;
    // Only the run the charts follow draws; the others keep their place to themselves.
    const bool drawn = chartsFollow_ == kind;
    targets.Charts = drawn ? views_.Charts : nullptr;
    targets.PositionX = drawn ? &PositionX : &hiddenPositionX_;
    targets.SetProgress = [this](const QString &progress) { emit Progress(progress); };
    // A list run's address line names the list's address, whatever the address field holds.
    const bool typed = kind == TKind::Single || kind == TKind::Watch;
    targets.AddressEditText = typed && views_.AddressEditText
                                  ? views_.AddressEditText
                                  : std::function<QString()>([address] { return address; });
    targets.Now = views_.Now;
    return targets;
}

QDateTime TRunModel::Now() const {
    return views_.Now ? views_.Now() : QDateTime::currentDateTime();
}

void TRunModel::Started(TKind kind) {
    started_.removeAll(kind);
    started_.append(kind);
    emit RunStarted(kind);
}

void TRunModel::Over(TKind kind) {
    started_.removeAll(kind);
    // The charts of a run that ended go to the run under way that started last, afresh.
    if (chartsFollow_ == kind) {
        for (auto other = started_.crbegin(); other != started_.crend(); ++other) {
            if (IsRunning(*other)) {
                FollowCharts(*other);
                RestartGraph();
                break;
            }
        }
    }
    emit RunFinished(kind);
}

void TRunModel::Write(TKind kind, std::function<void()> write) {
    if (openBlock_ != TKind::None && openBlock_ != kind) {
        waiting_.push_back(std::move(write));
        return;
    }
    write();
}

void TRunModel::CloseBlock() {
    openBlock_ = TKind::None;
    // What came meanwhile follows the block, in the order it came.
    const std::vector<std::function<void()>> waiting = std::exchange(waiting_, {});
    for (const std::function<void()> &write : waiting) {
        write();
    }
}

TResultTarget TRunModel::ResultsPane() const {
    TResultTarget pane(views_.DebugMemo, settings_.DebugColor);
    pane.Plain = views_.DebugLines;
    return pane;
}

void TRunModel::Keep(TRunResult run) {
    paneRuns_.push_back(std::move(run));
    emit PaneRunKept(paneRuns_.back());
}

void TRunModel::Fail(TKind kind, const QString &message) {
    emit Failed(kind, message);
}

void TRunModel::WriteNote(const QString &line) {
    Write(TKind::None, [this, line] { WriteReport(ResultsPane(), line); });
}

// ---------------------------------------------------------------------------------------------
// Charts

void TRunModel::FollowCharts(TKind kind) {
    if (chartsFollow_ == kind) {
        return;
    }
    chartsFollow_ = kind;
    if (watchWriter_) {
        watchWriter_->Retarget(Targets(runInput_.PingAddress, TKind::Watch));
    }
    emit ChartsChanged();
}

void TRunModel::RestartGraph() {
    PositionX = 0;
    if (views_.Charts != nullptr) {
        views_.Charts->ClearPoints();
        // The graph starts again at position 0, so its window goes back to 0..60 with it; a
        // window left slid to the right would hide the new points.
        views_.Charts->SetAxisRange(0, 60);
    }
    emit ChartsChanged();
}

// ---------------------------------------------------------------------------------------------
// Single runs and watches of an address

bool TRunModel::StartSingle(const QString &address) {
    TRunSession &session = SessionOf(TKind::Single);
    if (!session.IsIdle()) {
        return false;
    }
    FollowCharts(TKind::Single);
    runInput_ = Input(address);
    figures_ = TPingFigures();
    paneRun_ = PingResult(address, runInput_.Echo, TPingRecord{{}, {}, Now()});
    // The header opens the block; nothing of another run comes between its lines.
    Write(TKind::Single,
          [this] { WritePingRunStart(runInput_, Targets(runInput_.PingAddress, TKind::Single)); });
    openBlock_ = TKind::Single;
    if (!session.StartSingle(runInput_,
                             {settings_.RequestInterval, settings_.Cadence, settings_.Rate})) {
        CloseBlock();
        return false;
    }
    Started(TKind::Single);
    return true;
}

bool TRunModel::StartWatch(const QString &address) {
    TRunSession &session = SessionOf(TKind::Watch);
    if (!session.IsIdle()) {
        return false;
    }
    FollowCharts(TKind::Watch);
    runInput_ = Input(address);
    figures_ = TPingFigures();
    paneRun_ = PingResult(address, runInput_.Echo, TPingRecord{{}, {}, Now()});
    lastLiveFigures_ = LiveFiguresText(TPingFigures());
    Write(TKind::Watch, [this] {
        const TPingRunTargets targets = Targets(runInput_.PingAddress, TKind::Watch);
        WritePingRunStart(runInput_, targets);
        watchWriter_ = std::make_unique<TWatchWriter>(runInput_, targets);
    });
    openBlock_ = TKind::Watch;
    if (!session.StartWatch(runInput_, settings_.Interval)) {
        watchWriter_.reset();
        CloseBlock();
        return false;
    }
    Started(TKind::Watch);
    emit LiveFiguresChanged();
    return true;
}

TPingFigures TRunModel::WatchFigures() const {
    return watchWriter_ ? watchWriter_->Figures() : TPingFigures();
}

QString TRunModel::LiveFigures() const {
    return watchWriter_ ? LiveFiguresText(watchWriter_->Figures(), watchWriter_->InFlight())
                        : lastLiveFigures_;
}

void TRunModel::ConnectAddressRuns(TRunSession &session) {
    // A watched address that does not answer still shows each request as sent at once, not
    // only once its time-out is over.
    connect(&session, &TRunSession::Sending, this, [this] {
        if (watchWriter_) {
            watchWriter_->Sending();
            emit LiveFiguresChanged();
        }
    });
    connect(&session, &TRunSession::Replied, this,
            [this](int request, const std::optional<TPingReply> &reply) {
                paneRun_.Replies.push_back(reply);
                const TKind kind = watchWriter_ ? TKind::Watch : TKind::Single;
                try {
                    if (watchWriter_) {
                        watchWriter_->Retarget(Targets(runInput_.PingAddress, kind));
                        watchWriter_->Reply(reply);
                        emit LiveFiguresChanged();
                    } else {
                        WritePingReply(request, reply, runInput_,
                                       Targets(runInput_.PingAddress, kind), figures_);
                    }
                } catch (const std::exception &error) {
                    Fail(kind, ErrorMessage(error));
                }
            });
    connect(&session, &TRunSession::Ended, this, [this] { EndAddressRun(); });
    connect(&session, &TRunSession::Failed, this, [this, &session](const QString &message) {
        paneRun_.Error = message;
        Keep(paneRun_);
        Fail(session.Kind(), message);
    });
    connect(&session, &TRunSession::Finished, this, [this] {
        const TKind kind = watchWriter_ ? TKind::Watch : TKind::Single;
        CloseBlock();
        if (kind == TKind::Watch) {
            lastLiveFigures_ = LiveFigures();
        }
        watchWriter_.reset();
        started_.removeAll(kind == TKind::Watch ? TKind::Single : TKind::Watch);
        Over(kind);
    });
}

void TRunModel::EndAddressRun() {
    const TKind kind = watchWriter_ ? TKind::Watch : TKind::Single;
    try {
        if (watchWriter_) {
            watchWriter_->Retarget(Targets(runInput_.PingAddress, kind));
            watchWriter_->End();
        } else {
            WritePingStatistics(runInput_, Targets(runInput_.PingAddress, kind), figures_);
        }
    } catch (const std::exception &error) {
        Keep(paneRun_);
        Fail(kind, ErrorMessage(error));
        return;
    }
    Keep(paneRun_);
    emit AddressRunEnded(kind, false);
}

// ---------------------------------------------------------------------------------------------
// List runs

bool TRunModel::StartList(const QStringList &addresses) {
    TRunSession &session = SessionOf(TKind::List);
    if (!session.IsIdle()) {
        return false;
    }
    if (addresses.isEmpty()) {
        throw TxError(
            QStringLiteral("No list of addresses is loaded. Load one with \"Load "
                           "addresses list ...\" in the File menu, then press F10."));
    }
    FollowCharts(TKind::List);
    listLength_ = static_cast<int>(addresses.size());
    // Room for the list's runs as data at once, rather than moving them all at every growth.
    paneRuns_.reserve(paneRuns_.size() + addresses.size());
    // The address pane holds the list's lines from here on; what a run beside it writes later
    // joins them.
    if (views_.AddressMemo != nullptr) {
        views_.AddressMemo->clear();
    }
    if (!session.StartList(Input(QString()), addresses, settings_.ListInFlight,
                           {settings_.RequestInterval, settings_.Cadence, settings_.Rate},
                           settings_.ListStopsAtFailure)) {
        return false;
    }
    Started(TKind::List);
    return true;
}

void TRunModel::ConnectList(TRunSession &session) {
    connect(&session, &TRunSession::Recorded, this,
            [this](int index, const QString &address, const TPingRecord &record) {
                const bool more = index + 1 < listLength_;
                Write(TKind::List, [this, address, record, more] {
                    emit ListAddressWriting(address);
                    const TPingRunInput input = Input(address);
                    // Kept once its block is written, so that whoever reads the runs as they
                    // come finds the block before.
                    std::optional<QString> failure;
                    try {
                        WritePingRecord(input, Targets(address, TKind::List), record);
                    } catch (const std::exception &error) {
                        failure = ErrorMessage(error);
                    }
                    Keep(PingResult(address, input.Echo, record));
                    if (failure) {
                        // What was written stays; the address's run did not complete.
                        Fail(TKind::List, *failure);
                        return;
                    }
                    emit AddressRunEnded(TKind::List, more);
                });
            });
    connect(&session, &TRunSession::Failed, this,
            [this](const QString &message) { Fail(TKind::List, message); });
    connect(&session, &TRunSession::Finished, this, [this] {
        // The blocks waiting behind another run's block are written before the end is told.
        Write(TKind::List, [this] {
            if (!listNotice_.isEmpty()) {
                WriteReport(ResultsPane(), std::exchange(listNotice_, QString()));
            }
            Over(TKind::List);
        });
    });
}

// ---------------------------------------------------------------------------------------------
// Traces

bool TRunModel::StartTrace(const QString &typed) {
    TRunSession &session = SessionOf(TKind::Trace);
    if (!session.IsIdle()) {
        return false;
    }
    const QString address = typed.trimmed();
    if (address.isEmpty()) {
        throw TxError(
            QStringLiteral("Type the address whose route is to be traced, then press "
                           "Ctrl+T."));
    }
    TTraceInput input;
    input.Address = address;
    input.Echo.BufferSize = settings_.Echo.BufferSize;
    input.Echo.TimeOut = settings_.Echo.TimeOut;
    // The settings' interval paces the rounds, never faster than a round a second.
    input.Interval = qMax(kLeastTraceRoundInterval, settings_.Interval);
    input.Rounds = settings_.TraceRounds;
    traceAddress_ = address;
    traceEcho_ = input.Echo;
    traceHops_ = std::make_unique<TTraceHops>(input.MaxHops);
    traceResolved_.clear();
    traceStarted_ = QDateTime::currentDateTime();
    traceRounds_ = 0;
    traceChosenHop_ = 0;
    tracePlottedRound_ = 0;
    FollowCharts(TKind::Trace);
    RestartGraph();
    if (!session.StartTrace(input)) {
        return false;
    }
    Started(TKind::Trace);
    emit TraceChanged(false);
    return true;
}

void TRunModel::SetTraceChosenHop(int ttl) {
    traceChosenHop_ = ttl;
    // The graph follows the hop chosen from its next answer on.
    tracePlottedRound_ = 0;
    if (chartsFollow_ == TKind::Trace) {
        RestartGraph();
    }
}

QString TRunModel::TraceHeading(bool over) const {
    QString heading = QStringLiteral("Route to %1").arg(traceAddress_);
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
    return heading;
}

QString TRunModel::TraceProgress() const {
    const int answered = traceHops_ && traceHops_->Reached()
                             ? traceHops_->Hop(traceHops_->End()).Figures.PacketsReceived
                             : 0;
    return QStringLiteral("%1 of %2").arg(answered).arg(traceRounds_);
}

void TRunModel::ConnectTrace(TRunSession &session) {
    connect(&session, &TRunSession::TraceResolved, this, [this](const QString &resolved) {
        traceResolved_ = resolved;
        emit TraceChanged(false);
    });
    connect(&session, &TRunSession::TraceRound, this, [this](int round, int) {
        if (!traceHops_) {
            return;
        }
        traceRounds_ = round;
        emit TraceChanged(false);
    });
    connect(&session, &TRunSession::TraceSent, this, [this](int, int ttl) {
        if (traceHops_) {
            traceHops_->Sent(ttl);
            emit TraceChanged(false);
        }
    });
    connect(&session, &TRunSession::TraceProbed, this,
            [this](int round, int ttl, const TPingReply &reply) {
                if (!traceHops_ || !traceHops_->Add(ttl, reply)) {
                    return;
                }
                const TTraceHop &hop = traceHops_->Hop(ttl);
                // A chosen hop is drawn with every answer it gives; the target only with its own
                // replies, so that a silent target or an "unreachable" draws nothing, as a ping's
                // lost request does. One point a round: while the end is not known yet, the
                // target may answer the probes of several TTLs.
                const bool drawn = traceChosenHop_ > 0 ? ttl == traceChosenHop_
                                                       : ttl == traceHops_->End() &&
                                                             reply.StatusCode.value_or(-1) == 0;
                if (drawn && hop.Figures.Fine.Last && round > tracePlottedRound_) {
                    tracePlottedRound_ = round;
                    PlotTrip(-1, *hop.Figures.Fine.Last, Targets(traceAddress_, TKind::Trace));
                }
                emit TraceChanged(false);
            });
    connect(&session, &TRunSession::TraceNamed, this,
            [this](const QString &address, const QString &name) {
                if (traceHops_) {
                    traceHops_->SetName(address, name);
                    emit TraceChanged(false);
                }
            });
    connect(&session, &TRunSession::Ended, this, [this] { EndTrace(); });
    connect(&session, &TRunSession::Failed, this, [this](const QString &message) {
        // Kept with its error, as a ping that failed is; no block is written.
        TRunResult run = TraceResult();
        run.Error = message;
        Keep(std::move(run));
        Fail(TKind::Trace, message);
    });
    connect(&session, &TRunSession::Finished, this,
            [this] { Write(TKind::Trace, [this] { Over(TKind::Trace); }); });
}

TRunResult TRunModel::TraceResult() const {
    TRunResult run;
    run.Kind = TRunResult::TKind::Trace;
    run.Target = traceAddress_;
    run.Echo.BufferSize = traceEcho_.BufferSize;
    run.Echo.TimeOut = traceEcho_.TimeOut;
    run.Started = traceStarted_;
    run.Resolved = traceResolved_;
    run.Rounds = traceRounds_;
    if (traceHops_) {
        run.Hops = *traceHops_;
    }
    return run;
}

void TRunModel::EndTrace() {
    if (!traceHops_) {
        return;
    }
    // The route panel shows what the block says.
    traceHops_->ForgetInFlight();
    TRunResult run = TraceResult();
    Write(TKind::Trace, [this, run = std::move(run)]() mutable {
        const TResultTarget pane = ResultsPane();
        WriteTraceBlock(pane, run.Target, run.Resolved, run.Started, *run.Hops, run.Rounds);
        // As a ping's: the address line once the target answered, else the bare address.
        WriteReport(TResultTarget{views_.AddressMemo, settings_.ResultsColor},
                    run.Hops->Reached() ? AddressLine(run.Resolved, run.Target) : run.Resolved);
        Keep(std::move(run));
    });
    emit TraceChanged(true);
    emit AddressRunEnded(TKind::Trace, false);
}

// ---------------------------------------------------------------------------------------------
// Watched lists

bool TRunModel::StartListWatch(const QStringList &addresses) {
    TRunSession &session = SessionOf(TKind::ListWatch);
    if (!session.IsIdle()) {
        return false;
    }
    if (addresses.isEmpty()) {
        throw TxError(
            QStringLiteral("No list of addresses is loaded. Load one with \"Load "
                           "addresses list ...\" in the File menu, then press Shift+F10."));
    }
    if (addresses.size() > kMaxWatchedAddresses) {
        throw TxError(QStringLiteral("A watch keeps every address under way at once, so it takes "
                                     "at most %1 addresses; the list has %2. Load a shorter list.")
                          .arg(kMaxWatchedAddresses)
                          .arg(addresses.size()));
    }
    // Requests that fall behind the rate would wait longer every round without end.
    const qint64 needed =
        (static_cast<qint64>(addresses.size()) * 1000 + qMax(1, settings_.Interval) - 1) /
        qMax(1, settings_.Interval);
    if (settings_.Rate > 0 && needed > settings_.Rate) {
        throw TxError(QStringLiteral("Watching %1 every %2 ms takes %3 requests a second, more "
                                     "than the Rate setting allows (%4). Raise Rate in the "
                                     "settings (0: no limit), or the Interval.")
                          .arg(WatchAddressCountText(static_cast<int>(addresses.size())))
                          .arg(settings_.Interval)
                          .arg(needed)
                          .arg(settings_.Rate));
    }
    listWatch_ = std::make_unique<TListWatch>(addresses, settings_.DownAfter);
    listWatchLog_.Reset(listWatch_->Count());
    listWatchInput_ = Input(QString());
    listWatchInterval_ = settings_.Interval;
    listWatchStarted_ = QDateTime::currentDateTime();
    listWatchClock_.start();
    listWatchEndedMs_ = -1;
    pendingChanges_.clear();
    barsRow_ = -1;
    barTrips_.clear();
    FollowCharts(TKind::ListWatch);
    const QString line = WatchEventLine(
        listWatchStarted_, QStringLiteral("Watching %1 every %2 ms; an address is down after "
                                          "%3 request%4 in a row without a reply.")
                               .arg(WatchAddressCountText(static_cast<int>(addresses.size())))
                               .arg(listWatchInterval_)
                               .arg(listWatch_->DownAfter())
                               .arg(listWatch_->DownAfter() == 1 ? "" : "s"));
    if (views_.AddressMemo != nullptr) {
        views_.AddressMemo->clear();
    }
    Write(TKind::ListWatch, [this, line] { WriteReport(ResultsPane(), line); });
    if (!session.StartListWatch(listWatchInput_, addresses, listWatchInterval_, settings_.Rate)) {
        return false;
    }
    Started(TKind::ListWatch);
    return true;
}

qint64 TRunModel::ListWatchNow() const {
    return listWatchEndedMs_ >= 0 ? listWatchEndedMs_ : listWatchClock_.elapsed();
}

void TRunModel::CountListRequests() {
    if (!listWatch_) {
        return;
    }
    const TRunSession &session = *sessions_[kListWatchSlot];
    // Requests made and still waiting for their outcome count as sent.
    for (int i = 0; i < listWatch_->Count(); ++i) {
        listWatch_->SetRequestsMade(i, session.ListRequestsMade(i));
    }
}

QString TRunModel::ListWatchHeading() const {
    if (!listWatch_) {
        return QString();
    }
    QString heading =
        QStringLiteral("%1 %2 every %3 ms:   %4 up,   %5 down")
            .arg(listWatchEndedMs_ < 0 ? QStringLiteral("Watching") : QStringLiteral("Watched"),
                 WatchAddressCountText(listWatch_->Count()))
            .arg(listWatchInterval_)
            .arg(listWatch_->UpCount())
            .arg(listWatch_->DownCount());
    heading += QStringLiteral("   for %1").arg(WatchDurationText(ListWatchNow()));
    return heading;
}

std::optional<QList<double>> TRunModel::ListWatchBarsToDraw(int row) {
    if (!listWatch_ || row < 0 || row >= listWatch_->Count()) {
        return std::nullopt;
    }
    const TWatchedAddress &address = listWatch_->At(row);
    // The latest trip times, oldest at the left, as a watch of one address shows them.
    QList<double> trips;
    for (auto point = address.History.rbegin();
         point != address.History.rend() && trips.size() < settings_.Echo.Retries; ++point) {
        if (point->Trip) {
            trips.prepend(*point->Trip);
        }
    }
    if (row == barsRow_ && trips == barTrips_) {
        return std::nullopt;
    }
    barsRow_ = row;
    barTrips_ = trips;
    return trips;
}

void TRunModel::ConnectListWatch(TRunSession &session) {
    connect(
        &session, &TRunSession::ListReplied, this,
        [this](int index, qint64 sentAt, const std::optional<TPingReply> &reply) {
            if (!listWatch_) {
                return;
            }
            if (const std::optional<TWatchChange> change = listWatch_->Replied(
                    index, reply, ListWatchNow(), sentAt - listWatchClock_.msecsSinceReference())) {
                ListWatchChanged(*change);
            }
        });
    connect(&session, &TRunSession::ListFailed, this, [this](int index, const QString &message) {
        if (!listWatch_) {
            return;
        }
        listWatch_->Failed(index, message);
        const QString line = WatchEventLine(QDateTime::currentDateTime(),
                                            QStringLiteral("%1 is no longer watched: %2")
                                                .arg(listWatch_->At(index).Address, message));
        Write(TKind::ListWatch, [this, line] { WriteReport(ResultsPane(), line); });
    });
    connect(&session, &TRunSession::Ended, this, [this] { EndListWatch(); });
    connect(&session, &TRunSession::Failed, this,
            [this](const QString &message) { Fail(TKind::ListWatch, message); });
    connect(&session, &TRunSession::Finished, this,
            [this] { Write(TKind::ListWatch, [this] { Over(TKind::ListWatch); }); });
}

void TRunModel::ListWatchChanged(const TWatchChange &change) {
    listWatchLog_.Changed(change, listWatch_->At(change.Index));
    // A switch that fails takes hundreds of addresses down in the same moment: their lines are
    // written together and told in one notice, once the burst has been taken in.
    if (pendingChanges_.isEmpty()) {
        QTimer::singleShot(0, this, &TRunModel::FlushWatchChanges);
    }
    pendingChanges_.append({change, QDateTime::currentDateTime()});
}

void TRunModel::FlushWatchChanges() {
    const QList<QPair<TWatchChange, QDateTime>> changes = std::exchange(pendingChanges_, {});
    if (!listWatch_ || changes.isEmpty()) {
        return;
    }
    std::vector<TWatchChange> told;
    QStringList lines;
    for (const auto &[change, when] : changes) {
        const QString &address = listWatch_->At(change.Index).Address;
        if (const std::optional<QString> line = WatchChangeLine(when, address, change)) {
            lines << *line;
            told.push_back(change);
        }
    }
    Write(TKind::ListWatch, [this, lines] {
        const TResultBatch batch(views_.DebugMemo);
        const TResultTarget pane = ResultsPane();
        for (const QString &line : lines) {
            WriteReport(pane, line);
        }
    });
    emit WatchChangesTold(told);
}

void TRunModel::EndListWatch() {
    if (!listWatch_) {
        return;
    }
    listWatchEndedMs_ = listWatchClock_.elapsed();
    // Changes of the last outcomes come before the blocks.
    FlushWatchChanges();
    // Saved as data like any run: each address with its statistics and what its watch saw.
    std::vector<TRunResult> runs =
        WatchedListResults(*listWatch_, listWatchLog_, listWatchInput_.Echo, listWatchInterval_,
                           listWatchStarted_, listWatchEndedMs_);
    Write(TKind::ListWatch, [this, runs = std::move(runs)]() mutable {
        if (!listWatch_) {
            return;
        }
        TPingRunTargets targets = Targets(QString(), TKind::None);
        targets.Charts = nullptr;
        targets.PositionX = &hiddenPositionX_;
        WriteListWatchEnd(listWatchInput_, targets, *listWatch_, listWatchStarted_,
                          listWatchEndedMs_);
        for (TRunResult &run : runs) {
            Keep(std::move(run));
        }
    });
    emit ListWatchEnded();
    emit AddressRunEnded(TKind::ListWatch, false);
}

// ---------------------------------------------------------------------------------------------
// Stopping and clearing

bool TRunModel::Stop(TKind kind) {
    if (!IsRunning(kind)) {
        return false;
    }
    SessionOf(kind).Stop();
    return true;
}

TRunModel::TKind TRunModel::StopLast() {
    for (auto kind = started_.crbegin(); kind != started_.crend(); ++kind) {
        if (IsRunning(*kind) && SessionOf(*kind).State() == TRunSession::TState::Running) {
            SessionOf(*kind).Stop();
            return *kind;
        }
    }
    return TKind::None;
}

void TRunModel::StopForClosing() {
    // A watched list ends at once with what it measured: its silent addresses would hold the
    // window a time-out. A watch ends after its current request, a trace at once, each with its
    // block written; a single run and a list run end by themselves.
    sessions_[kListWatchSlot]->StopNow();
    if (IsRunning(TKind::Watch)) {
        sessions_[kAddressSlot]->Stop();
    }
    sessions_[kTraceSlot]->Stop();
}

void TRunModel::Clear() {
    if (!IsIdle()) {
        return;
    }
    traceHops_.reset();
    listWatch_.reset();
    pendingChanges_.clear();
    barsRow_ = -1;
    barTrips_.clear();
    ForgetPaneRuns();
    RestartGraph();
}
