#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <optional>
#include <vector>

#include "ping/EchoParameters.h"
#include "ping/EchoService.h"
#include "ping/ListRun.h"
#include "ping/PingFigures.h"
#include "ping/TraceRun.h"

// The runs written into a results pane, kept as data, and the two forms scripts read them in:
// one JSON document and one CSV table. The command line writes its runs with them, and the main
// window saves the runs of its results pane with them, so both give the same fields. The field
// names are stable; the manual page lists them, and docs/results.schema.json describes the JSON.

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
    // (its statistics come from them, and it has no CSV rows).
    std::optional<TPingFigures> Figures;

    // A trace: the address the target resolved to, the rounds made, and the hops.
    QString Resolved;
    int Rounds = 0;
    std::optional<TTraceHops> Hops;
};

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
bool PingNameUnresolved(const TRunResult &run);

// True when the run got an answer: a ping with at least one reply, a trace that reached its
// target.
bool RunAnswered(const TRunResult &run);

// The JSON document of `runs` (UTF-8, indented, ending with a line break):
//   {"program": "Tarvex", "version": ..., "runs": [ ... ]}
// each run an object with "kind" ("ping" or "trace"), "target", "address", "family", "started"
// (ISO 8601 with milliseconds and offset), "bytes", "timeout_ms" and "error", then for a ping
// "replies" and "statistics", for a trace "rounds", "reached" and "hops". Trip times are in
// milliseconds with their fraction; absent values are null.
QByteArray RunResultsJson(const std::vector<TRunResult> &runs);

// The JSON document around `runs`, as RunResultsJson makes it; other kinds of run (the command
// line's WHOIS and location look-ups) go into the same document.
QByteArray ResultsJsonDocument(const QJsonArray &runs);

// The CSV table of `runs` (RFC 4180: comma separated, CR LF line ends, fields quoted where they
// hold a comma, quote or line break): the header row RunResultsCsvHeader(), then one row per
// request of a ping and one row per address of a trace's hop.
QByteArray RunResultsCsv(const std::vector<TRunResult> &runs);
QStringList RunResultsCsvHeader();

// One CSV row of `fields`, quoted as RFC 4180 asks, with CR LF.
QByteArray CsvRow(const QStringList &fields);
