#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

#include "ping/EchoService.h"
#include "ping/ListRun.h"
#include "ping/PingFigures.h"

class ChartSink;
class QTextDocument;
class TRunModel;

// What one run pings and how it writes (fields of the main window, set before the run).
struct TPingRunInput {
    QString PingAddress;   // the target exactly as typed
    TEchoParameters Echo;  // Echo.Retries: the number of requests
    QColor DebugColor;     // colour of every line in the results pane
    QColor ResultsColor;   // colour of the address line in the address list pane
};

// What a run writes to, and the state that outlives it.
struct TPingRunTargets {
    QTextDocument *DebugMemo = nullptr;    // results pane (required, unless DebugLines is set)
    QTextDocument *AddressMemo = nullptr;  // address list pane (required with DebugMemo)
    // A results pane without a window (the command line): each line of the results pane goes
    // here as plain text instead, and the address list pane may be missing.
    std::function<void(const QString &line)> DebugLines;
    ChartSink *Charts = nullptr;  // both charts; null: no charts
    // x position of the next graph point; kept by the window across runs, reset to 0 only by
    // the clear-all command. Required.
    double *PositionX = nullptr;
    // Receives the progress caption "N of M" after each request (RemaningLabel).
    std::function<void(const QString &)> SetProgress;
    // Returns the current text of the address field, read for the address line at the end of
    // the run. Unset: PingAddress.
    std::function<QString()> AddressEditText;
    // Clock of the header line. Unset: the current local date and time.
    std::function<QDateTime()> Now;
    // Opens the echo service of the run. Unset: ConnectEchoService().
    TEchoServiceFactory Connect;
};

// Returns the header line of a run started at `when`:
// "Date: dd.MM.yyyy" + tab + "Time: hh:mm:ss.zzz ms" (hours 00 to 23).
QString PingHeaderLine(const QDateTime &when);

// Plots a trip time (ms with fraction): bar `index` (none when there is no such bar) and the
// next graph point at *targets.PositionX, sliding the graph's 0-60 axis window one step per
// point past its maximum. A reply under a millisecond reads "<1 ms" in its line but is drawn
// with the time it took.
void PlotTrip(int index, double trip, const TPingRunTargets &targets);

// Returns the family label in front of a reply address in the statistics and address lines:
// "IPv6 - " for an IPv6 text, "IPv4 - " for anything else (the empty text included).
QString AddressFamilyPrefix(const QString &replyAddress);

// Returns the address line of the address list pane for a run whose last reply came from
// `replyAddress`: "IPv4 - " (or "IPv6 - ", AddressFamilyPrefix) + address, one tab when that is
// longer than 18 characters and two otherwise, "Address - ", then `addressEditText`, or one more
// tab when that is empty.
QString AddressLine(const QString &replyAddress, const QString &addressEditText);

// Raises a TxError when `targets` has no results pane (nor lines without a window) or no graph
// position.
void CheckTargets(const TPingRunTargets &targets);

// The three parts of a run's output. Every line goes to targets.DebugMemo in input.DebugColor;
// the address line to targets.AddressMemo in input.ResultsColor.

// The start of a run's output: checks the targets (TxError when a pane is missing), puts the
// writer on the results pane in the run's colour and writes the header.
void WritePingRunStart(const TPingRunInput &input, const TPingRunTargets &targets);

// Writes the header: the date and time line, "Pinging <address> with <n> bytes of data:" and an
// empty line.
void WritePingHeader(const TPingRunInput &input, const TPingRunTargets &targets);

// Writes the outcome of request `index` (its line, its bar and graph point, the progress
// "N of M") and adds it to `figures`.
void WritePingReply(int index, const std::optional<TPingReply> &reply, const TPingRunInput &input,
                    const TPingRunTargets &targets, TPingFigures &figures);

// Writes the statistics block from `figures` (Sent = the requests counted there), shows the bars
// when anything was received, and writes the run's line into the address list pane: the address
// line when anything was received, else the bare reply address of the last request.
void WritePingStatistics(const TPingRunInput &input, const TPingRunTargets &targets,
                         const TPingFigures &figures);

// Returns the run of the one address of `input`: its requests, payload, time-out and TTL.
TListRunInput AddressRunInput(const TPingRunInput &input);

// Writes a run whose requests were made before (a list run's record): exactly what StandardPing
// writes for the same replies, with the date and time of the header those of the moment the record
// began (record.Started; now when it has none). When the record ends
// with an error, the error is raised after its replies, as StandardPing raises it.
void WritePingRecord(const TPingRunInput &input, const TPingRunTargets &targets,
                     const TPingRecord &record);
