#pragma once

#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "ping/EchoService.h"

// A list run pings many addresses at once and hands each address's outcome back in list order,
// so that the caller writes exactly what a run of one address after another writes.

// The most addresses a list run has under way at once, with requests out or names being
// resolved. It bounds the sockets (one echo service per address under way) and the threads.
constexpr int kMaxAddressesInFlight = 128;

// The most addresses a list run has started and not yet handed back: those under way, and those
// complete but waiting for an earlier address that still waits for its replies. It bounds the
// outcomes held (a few hundred bytes each) for a list of any length, and leaves room for the
// addresses behind a silent one to go ahead, so that a run takes about as many time-outs as
// there are silent addresses per kMaxAddressesInFlight, however many answer in between.
constexpr int kMaxAddressesAhead = 8 * kMaxAddressesInFlight;

// What the requests of one address returned, in order, and the error that ended them early
// (no more requests were made after it).
struct TPingRecord {
    std::vector<std::optional<TPingReply>> Replies;
    std::exception_ptr Failure;
};

// Makes the `retries` requests of one address one after another, each with its own time-out,
// and writes nothing. Opens the echo service with `connect` (unset: ConnectEchoService()) and
// closes it before returning. A failure to open the service or of a request ends the record
// with that error. Stops early, with what it has, once `stop` is set.
TPingRecord RecordPing(const TEchoQuery &query, quint16 retries, const TEchoServiceFactory &connect,
                       const std::atomic<bool> &stop);

// The parameters of one list run.
struct TListRunInput {
    QStringList Addresses;  // the targets, each exactly as typed
    quint16 BufferSize = 32;
    quint16 TimeOut = 4000;
    quint16 Retries = 4;
    quint16 TimeToLive = 0;  // hop limit of IPv6 requests; 0: the system's default
    // Addresses under way at once; 1 pings one address after another.
    int InFlight = kMaxAddressesInFlight;
    // Addresses started and not yet handed back (at least InFlight).
    int Ahead = kMaxAddressesAhead;
    // Opens the echo service of one address, on a worker thread. Unset: ConnectEchoService().
    TEchoServiceFactory Connect;
};

// Called on the calling thread with each address's index and record, in list order, as soon as
// that address and every address before it are complete.
using TListRunWriter = std::function<void(int index, const TPingRecord &record)>;

// Pings every address of `input` with up to InFlight addresses under way (name resolution
// included) and up to Ahead started and not yet handed back, each on a worker thread, and hands the
// records to `write` in list order. While it waits, the calling thread processes paint and timer
// events but no user input, so a window keeps painting and no other command starts. An exception
// thrown by `write` ends the run: no further address is started, those under way stop after their
// current request, and the exception propagates once every worker has ended (no thread or socket
// outlives the call).
void RunAddressList(const TListRunInput &input, const TListRunWriter &write);
