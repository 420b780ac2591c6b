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

// The most addresses a list run has under way at once: started and not yet handed back. It
// bounds the sockets (one echo service per address under way), the threads and the outcomes
// held while an earlier address is still waiting for its replies.
constexpr int kMaxAddressesInFlight = 128;

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
    // Addresses under way at once; 1 pings one address after another.
    int InFlight = kMaxAddressesInFlight;
    // Opens the echo service of one address, on a worker thread. Unset: ConnectEchoService().
    TEchoServiceFactory Connect;
};

// Called on the calling thread with each address's index and record, in list order, as soon as
// that address and every address before it are complete.
using TListRunWriter = std::function<void(int index, const TPingRecord &record)>;

// Pings every address of `input` with up to InFlight addresses under way (name resolution
// included), each on a worker thread, and hands the records to `write` in list order. While it
// waits, the calling thread processes paint and timer events but no user input, so a window
// keeps painting and no other command starts. An exception thrown by `write` ends the run: no
// further address is started, those under way stop after their current request, and the
// exception propagates once every worker has ended (no thread or socket outlives the call).
void RunAddressList(const TListRunInput &input, const TListRunWriter &write);
