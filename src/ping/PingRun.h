#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

#include "ping/EchoService.h"

class ChartSink;
class QTextDocument;

// The engine parameters of one run (fields of the main window, set before the run).
struct TPingRunInput {
    QString PingAddress;          // the target exactly as typed
    quint16 PingBufferSize = 32;  // payload bytes of each request
    quint16 PingTimeOut = 4000;   // milliseconds to wait for each reply
    quint16 PingRetries = 4;      // number of requests
    QColor DebugColor;            // colour of every line in the results pane
    QColor ResultsColor;          // colour of the address line in the address list pane
};

// What a run writes to, and the state that outlives it.
struct TPingRunTargets {
    QTextDocument *DebugMemo = nullptr;    // results pane (required)
    QTextDocument *AddressMemo = nullptr;  // address list pane (required)
    ChartSink *Charts = nullptr;           // both charts; null: no charts
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

// Returns `value` rounded to the nearest integer, an exact half going to the even neighbour
// (2.5 gives 2, 21.5 gives 22, 12.5 gives 12).
qint64 RoundHalfEven(double value);

// Returns the address line of the address list pane for a run whose last reply came from
// `replyAddress`: "IPv4 - " + address, one tab when that is longer than 18 characters and two
// otherwise, "Address - ", then `addressEditText`, or one more tab when that is empty.
QString AddressLine(const QString &replyAddress, const QString &addressEditText);

// One ping run (StandardPing): writes the header, one reply line per request and the
// statistics block into targets.DebugMemo in input.DebugColor, plots each reply with a trip time
// above 0 ms as bar I and as a graph point at *PositionX (sliding the graph's 0-60 axis window
// one step per point past its maximum), reports "N of M" after each request, and writes one
// line into targets.AddressMemo in input.ResultsColor: the address line when anything was
// received, else the bare reply address of the last request.
//
// Each request runs through RunBlocking, so a window keeps painting. The writer globals of
// TX_Edit (SelectedResultMemo, ResultsFontColor, ResultString) are used and left as a run
// leaves them: SelectedResultMemo on DebugMemo, ResultsFontColor on ResultsColor.
//
// A run of 0 requests writes "[ 0% loss ]". When the service cannot be opened or fails, the
// TxError propagates: the lines written so far stay, and neither statistics nor address line
// are written.
void StandardPing(const TPingRunInput &input, const TPingRunTargets &targets);
