#pragma once

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ping/EchoService.h"
#include "ping/ListRun.h"
#include "ping/ListWatch.h"
#include "ping/PingRun.h"
#include "ping/RunResults.h"
#include "ping/RunSession.h"
#include "ping/TraceRun.h"

class ChartSink;
class QTextDocument;
struct TResultTarget;
class TWatchWriter;

// Where the runs write: a window's results and address panes and its charts, or the lines of a
// results pane without a window (the command line).
struct TRunViews {
    QTextDocument *DebugMemo = nullptr;
    QTextDocument *AddressMemo = nullptr;
    // Without a window: each line of the results pane goes here as plain text, and the address
    // pane and the charts are left out.
    std::function<void(const QString &line)> DebugLines;
    ChartSink *Charts = nullptr;
    // The clock of a run's header and of its start as data; unset: the current local date and
    // time.
    std::function<QDateTime()> Now{};
    // The text of the address field, read for the address line at the end of a single run or
    // watch; unset: the address as the run was started with it.
    std::function<QString()> AddressEditText{};
};

// The settings a run takes when it starts; a change applies to the runs started after it.
struct TRunSettings {
    // Echo.Retries: the requests of a single run and of each address of a list run, and the bars
    // of the bar chart.
    TEchoParameters Echo;
    QColor DebugColor;
    QColor ResultsColor;
    // Milliseconds from one request of a watch to the next, and between the rounds of a trace
    // (never under kLeastTraceRoundInterval there).
    int Interval = 300;
    // How the requests of a single run and of a list run's addresses follow each other: back to
    // back (0, AfterAnswer, as the window pings) or every RequestInterval ms.
    int RequestInterval = 0;
    TRequestCadence Cadence = TRequestCadence::AfterAnswer;
    // Addresses of a list run under way at once.
    int ListInFlight = kMaxAddressesInFlight;
    // A failed address ends a list run after its block (the window), or the others go on (the
    // command line, which tells each error once).
    bool ListStopsAtFailure = true;
    // Unanswered requests in a row after which a watched address is down.
    int DownAfter = kStandardDownAfter;
    // The rounds of a trace; 0: until stopped.
    int TraceRounds = 0;
    // Requests a second that a single run, a list run or a watched list sends at most, spaced
    // evenly; 0: no limit. A watched list that would need more does not start.
    int Rate = kStandardRate;
};

// The runs of a window or of the command line since the last clearing, and the runs under way,
// each kind on a session of its own so that they go side by side: one single run or watch of an
// address, one list run, one watched list and one trace at a time.
//
// The model holds each outcome once: the run's figures, the trace's hops, the watched list's
// states, and the results pane's runs as data (PaneRuns). It writes the results and address
// panes through the one set of writers, keeping each run's lines together: while the block of a
// single run or watch is being written, what other runs write (a list run's block, a change of a
// watched address, a trace's block) waits and follows the block. Views subscribe to its signals
// and read what they draw through its getters; it has no widget of its own.
class TRunModel final : public QObject {
    Q_OBJECT

  public:
    using TKind = TRunSession::TKind;

    explicit TRunModel(QObject *parent = nullptr);
    // Runs still under way end at once, without writing.
    ~TRunModel() override;
    TRunModel(const TRunModel &) = delete;
    TRunModel &operator=(const TRunModel &) = delete;

    void SetViews(const TRunViews &views) { views_ = views; }
    void SetSettings(const TRunSettings &settings) { settings_ = settings; }
    const TRunSettings &Settings() const { return settings_; }
    // The echo service of the runs started from now on; unset: ConnectEchoService().
    void SetConnect(TEchoServiceFactory connect);
    // The clock that paces the deliveries of a watched list's outcomes (see TRunSession).
    void SetDeliveryClock(std::function<qint64()> clock);

    // Each Start returns false, and starts nothing, while a run of the same kind is under way
    // (a single run and a watch of an address count as one kind). A TxError says why a run
    // cannot start (an empty list, too many addresses to watch, no address to trace).
    bool StartSingle(const QString &address);
    bool StartWatch(const QString &address);
    bool StartList(const QStringList &addresses);
    bool StartListWatch(const QStringList &addresses);
    bool StartTrace(const QString &address);

    // Asks the run of `kind` to end after its request under way (a trace at once); false when
    // none of that kind goes.
    bool Stop(TKind kind);
    // Stops the run started last of those under way; returns its kind (None: none went).
    TKind StopLast();
    // Ends every run: a watched list at once with what it measured, a watch after its request,
    // a trace at once; a single run and a list run end by themselves.
    void StopForClosing();

    bool IsRunning(TKind kind) const;
    bool IsIdle() const;
    // True while a run of another kind than `kind` goes.
    bool OthersRunning(TKind kind) const;
    // The kind of the run under way that started last; None when none goes.
    TKind LastStarted() const;
    // The session of a kind (a single run and a watch share one).
    const TRunSession &Session(TKind kind) const;

    // Forgets the runs of the results pane, the trace and the watched list, and starts the
    // graph afresh. Only while no run goes.
    void Clear();
    // The results pane was emptied: its runs as data go with it.
    void ForgetPaneRuns() { paneRuns_.clear(); }
    // The runs written into the results pane since it was last cleared, oldest first.
    const std::vector<TRunResult> &PaneRuns() const { return paneRuns_; }

    // Writes a line of the program's own (a note, a lookup's line) into the results pane, after
    // the block under way.
    void WriteNote(const QString &line);
    // Writes into the panes what `write` writes, after the block under way.
    void WriteAfterBlock(std::function<void()> write) { Write(TKind::None, std::move(write)); }

    // The charts show the run of `kind` from its next point on (the run started last takes them
    // when it starts).
    void FollowCharts(TKind kind);
    TKind ChartsFollow() const { return chartsFollow_; }
    // x position of the next point of the trip-time graph; back to 0 only by RestartGraph.
    double PositionX = 0;
    // Empties the trip-time graph and puts its window back at 0..60.
    void RestartGraph();

    // The single run or watch under way or last made.
    const QString &AddressRunTarget() const { return runInput_.PingAddress; }
    // The live figures of the watch under way, or of the one that ended last, as the status bar
    // shows them.
    QString LiveFigures() const;
    // The figures of the watch under way: its requests with their outcome in (none when no
    // watch goes).
    TPingFigures WatchFigures() const;

    // The address the trace under way or last made traces, as typed without blanks around it.
    const QString &TraceTarget() const { return traceAddress_; }
    // The trace under way or last made; null before the first or after a clearing.
    const TTraceHops *TraceHops() const { return traceHops_.get(); }
    // The route panel's heading: target, resolved address, round, and once `over` how the route
    // ended when the target was not reached.
    QString TraceHeading(bool over) const;
    // The rounds the target answered of those made, as a ping counts its replies: "N of M".
    QString TraceProgress() const;
    // The hop whose answers the graph draws (0: the target's replies), from its next answer on.
    void SetTraceChosenHop(int ttl);

    // The watched list under way or last made; null before the first or after a clearing.
    const TListWatch *ListWatch() const { return listWatch_.get(); }
    // Milliseconds since the watched list began (until it ended, once it has).
    qint64 ListWatchNow() const;
    const QDateTime &ListWatchStarted() const { return listWatchStarted_; }
    bool ListWatchOver() const { return listWatchEndedMs_ >= 0; }
    // Takes the requests each address has made into the watched list's figures.
    void CountListRequests();
    // The heading of the watch panel, e.g. "Watching 3 addresses every 100 ms:   2 up,   1 down
    // for 12.3 s".
    QString ListWatchHeading() const;
    // The latest trip times of watched address `row` (oldest first, at most a bar each) when
    // they differ from those last taken; none when the bars already show them.
    std::optional<QList<double>> ListWatchBarsToDraw(int row);

  signals:
    // A run began and was written; it ended and its session is idle again.
    void RunStarted(TRunModel::TKind kind);
    void RunFinished(TRunModel::TKind kind);
    // The progress of the run that writes it: "N of M".
    void Progress(const QString &progress);
    // The live figures of the watch of an address changed.
    void LiveFiguresChanged();
    // A list run is about to write the block of `address`; `more`: addresses follow it.
    void ListAddressWriting(const QString &address);
    // An address's run (a single run, a watch, a list run's address, a trace, a watched list)
    // has written its end.
    void AddressRunEnded(TRunModel::TKind kind, bool more);
    // The trace changed: its hops, heading or progress.
    void TraceChanged(bool over);
    // Changes of watched addresses were written (down, up again), in the order they came.
    void WatchChangesTold(const std::vector<TWatchChange> &changes);
    // The watched list ended and its blocks were written.
    void ListWatchEnded();
    // The graph was started afresh, or the charts follow another run.
    void ChartsChanged();
    // A run of the results pane was kept as data (PaneRuns), in the order of the pane.
    void PaneRunKept(const TRunResult &run);
    // A run ended with an error: what was written stays.
    void Failed(TRunModel::TKind kind, const QString &message);
    // What a run had to tell about itself as a whole, once (requests waited for room in the
    // system's neighbour table). A window's results pane also gets it as a line: after the
    // list's blocks, or when it comes for a watched list.
    void NoticeGiven(TRunModel::TKind kind, const QString &text);

  private:
    enum TSlot { kAddressSlot, kListSlot, kListWatchSlot, kTraceSlot, kSlots };
    void ConnectNotice(TRunSession &session);
    // The list run's notice, written after its last block.
    QString listNotice_;
    static TSlot SlotOf(TKind kind);
    TRunSession &SessionOf(TKind kind) const;

    TPingRunInput Input(const QString &address) const;
    // The date and time by the views' clock.
    QDateTime Now() const;
    TPingRunTargets Targets(const QString &address, TKind kind);
    void Started(TKind kind);
    // The run of `kind` is over and its session idle.
    void Over(TKind kind);
    // Writes now, or after the block being written when another run writes it.
    void Write(TKind kind, std::function<void()> write);
    void CloseBlock();
    void Fail(TKind kind, const QString &message);
    void Keep(TRunResult run);
    // The results pane in the colour of the runs' lines.
    TResultTarget ResultsPane() const;

    void ConnectAddressRuns(TRunSession &session);
    void ConnectList(TRunSession &session);
    void ConnectListWatch(TRunSession &session);
    void ConnectTrace(TRunSession &session);
    void EndAddressRun();
    void EndTrace();
    // The trace under way as data, its hops as they are now.
    TRunResult TraceResult() const;
    void EndListWatch();
    void ListWatchChanged(const TWatchChange &change);
    void FlushWatchChanges();

    TRunViews views_;
    TRunSettings settings_;
    std::array<TRunSession *, kSlots> sessions_{};
    // The kinds under way, in the order they started.
    QList<TKind> started_;
    TKind chartsFollow_ = TKind::None;
    // A scratch position for a run that does not draw.
    double hiddenPositionX_ = 0;

    // The kind whose block is being written, and what the other runs wrote meanwhile.
    TKind openBlock_ = TKind::None;
    std::vector<std::function<void()>> waiting_;

    std::vector<TRunResult> paneRuns_;

    // The single run or watch under way: its input, figures, its run as data, and the watch's
    // writer.
    TPingRunInput runInput_;
    TPingFigures figures_;
    TRunResult paneRun_;
    std::unique_ptr<TWatchWriter> watchWriter_;
    // The live figures of the watch that ended last.
    QString lastLiveFigures_;

    // The list run under way: its addresses.
    int listLength_ = 0;

    // The trace under way or last made: its target, hops, resolved address, start and rounds.
    QString traceAddress_;
    TEchoParameters traceEcho_;
    std::unique_ptr<TTraceHops> traceHops_;
    QString traceResolved_;
    QDateTime traceStarted_;
    int traceRounds_ = 0;
    int traceChosenHop_ = 0;
    // The latest round the graph has a point of.
    int tracePlottedRound_ = 0;

    // The watched list under way or last made, its changes of state (for its results as data),
    // when it began and its clock.
    std::unique_ptr<TListWatch> listWatch_;
    TWatchLog listWatchLog_;
    TPingRunInput listWatchInput_;
    int listWatchInterval_ = 0;
    QDateTime listWatchStarted_;
    QElapsedTimer listWatchClock_;
    qint64 listWatchEndedMs_ = -1;
    // The changes of the latest burst of outcomes, with their time, not yet written.
    QList<QPair<TWatchChange, QDateTime>> pendingChanges_;
    // The row and trip times the bar chart last showed of the watched list.
    int barsRow_ = -1;
    QList<double> barTrips_;
};
