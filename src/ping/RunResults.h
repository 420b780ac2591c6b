#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "ping/EchoParameters.h"
#include "ping/EchoService.h"
#include "ping/ListRun.h"
#include "ping/ListWatch.h"
#include "ping/PingFigures.h"
#include "ping/TraceRun.h"

// The runs written into a results pane, kept as data, and the two forms scripts read them in:
// one JSON document and one CSV table. The command line writes its runs with them, and the main
// window saves the runs of its results pane with them, so both give the same fields. The field
// names are stable; the manual page lists them, and docs/results.schema.json describes the JSON.

// A change of state of a watched address, at `At` ms since the watch began. An outage that a
// change begins or ends began at OutageStart (its first unanswered request).
struct TWatchEvent {
    qint64 At = 0;
    TWatchState From = TWatchState::Unknown;
    TWatchState To = TWatchState::Unknown;
    qint64 OutageStart = 0;
};

// What the watch of one address of a list went through.
struct TWatchResult {
    int IntervalMs = 0;
    int DownAfter = 0;
    qint64 WatchedMs = 0;
    TWatchState State = TWatchState::Unknown;  // when the watch ended
    qint64 DownSince = 0;                      // State Down: when the outage under way began
    int Outages = 0;                           // the outages that ended
    qint64 OutageTotalMs = 0;                  // of the outages that ended
    qint64 LongestOutageMs = 0;                // of the outages that ended
    // The latest changes of state, oldest first, and how many earlier ones were not kept.
    std::vector<TWatchEvent> Changes;
    qint64 ChangesLeftOut = 0;
};

// One run: a ping of one address (a single run, one address of a list, or a watch), or a traced
// route.
struct TRunResult {
    enum class TKind { Ping, Trace };
    TKind Kind = TKind::Ping;
    QString Target;  // the address exactly as typed
    TEchoParameters Echo;
    QDateTime Started;
    // The error that ended the run early; empty when none did.
    QString Error;

    // A ping: the outcome of each request, in order.
    std::vector<std::optional<TPingReply>> Replies;
    // An address of a watched list, which may go on for days, keeps no replies: only its figures
    // (its statistics come from them, and it has no CSV rows), and what its watch went through.
    std::optional<TPingFigures> Figures;
    std::optional<TWatchResult> Watch;

    // A trace: the address the target resolved to, the rounds made, and the hops.
    QString Resolved;
    int Rounds = 0;
    std::optional<TTraceHops> Hops;
};

// The changes of state of a watched list as they come, per address: the latest
// kWatchChangesKept of each, so that an address that comes and goes all day holds a bounded
// record; the watch's own figures count every outage.
constexpr int kWatchChangesKept = 256;

class TWatchLog final {
  public:
    // Forgets everything; `count` addresses are watched.
    void Reset(int count);
    // `change` has just come of an outcome of `address` (TListWatch::Replied).
    void Changed(const TWatchChange &change, const TWatchedAddress &address);
    // The changes kept of address `index`, oldest first, and how many earlier ones were not.
    const std::deque<TWatchEvent> &Changes(int index) const;
    qint64 LeftOut(int index) const;

  private:
    struct TAddressLog {
        std::deque<TWatchEvent> Changes;
        qint64 LeftOut = 0;
    };
    std::vector<TAddressLog> addresses_;
};

// The runs of a watched list that began at `started` and was watched for `watchedMs`, every
// `intervalMs`: each address with its figures, its error and what its watch went through.
std::vector<TRunResult> WatchedListResults(const TListWatch &watch, const TWatchLog &log,
                                           const TEchoParameters &echo, int intervalMs,
                                           const QDateTime &started, qint64 watchedMs);

// The error of a ping whose name did not resolve, in its JSON and CSV.
inline constexpr const char *kNameDoesNotResolve = "The name does not resolve.";

// The result of a ping of `target` with `echo` that made `record` (its error as text).
TRunResult PingResult(const QString &target, const TEchoParameters &echo,
                      const TPingRecord &record);

// The address a ping's target stands for: an address literal itself; otherwise the address that
// replied, or that a request timed out on; empty when none is known (a name that did not
// resolve, or only errors from routers).
QString PingResultAddress(const TRunResult &run);

// "IPv4" or "IPv6" for an address text, empty for an empty one.
QString AddressFamilyName(const QString &address);

// True when the target of a ping did not resolve: every request came back with a null status.
// Such a ping sent nothing: its JSON and CSV give it no replies and the error
// kNameDoesNotResolve, while the pane's lines say "Error processing request" for each request.
bool PingNameUnresolved(const TRunResult &run);

// True when the run got an answer: a ping with at least one reply, a trace that reached its
// target.
bool RunAnswered(const TRunResult &run);

// The JSON document of `runs` (UTF-8, indented, ending with a line break):
//   {"program": "Tarvex", "version": ..., "runs": [ ... ]}
// each run an object with "kind" ("ping" or "trace"), "target", "address", "family", "started"
// (ISO 8601 with milliseconds and offset), "bytes", "timeout_ms" and "error", then for a ping
// "replies" and "statistics" (and "watch" for an address of a watched list: its state, outages
// and changes of state), for a trace "rounds", "reached" and "hops". Trip times are in
// milliseconds with their fraction; absent values are null.
QByteArray RunResultsJson(const std::vector<TRunResult> &runs);

// The JSON document around `runs`, as RunResultsJson makes it; other kinds of run (the command
// line's WHOIS and location look-ups) go into the same document.
QByteArray ResultsJsonDocument(const QJsonArray &runs);

// The CSV table of `runs` (RFC 4180: comma separated, CR LF line ends, fields quoted where they
// hold a comma, quote or line break): the header row RunResultsCsvHeader(), then one row per
// request of a ping and one row per address of a trace's hop; a ping that made no request but
// ended with an error has one row without request. Every row ends with the run's number
// ("run", from 1 in the order of `runs`, so that two runs of one address stay apart) and the
// run's error.
QByteArray RunResultsCsv(const std::vector<TRunResult> &runs);
QStringList RunResultsCsvHeader();

// One CSV row of `fields`, quoted as RFC 4180 asks, with CR LF.
QByteArray CsvRow(const QStringList &fields);
