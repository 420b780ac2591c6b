#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

#include "ping/EchoService.h"

// Returns the text of a ping status code: "Success" for 0, the status table's text for 11001 to
// 11018, 11032 and 11050, and "Unknown" for every other code.
QString PingStatus(qint32 PingStatusCode);

// How the run counts one request.
enum class TReplyKind {
    NoObject,  // the service returned nothing: no line, counts as lost
    Received,  // status 0 with a trip time of 1 ms or more: counts, and is plotted
    // status 0 under a millisecond ("<1 ms"): counts, and is plotted with its measured time
    ReceivedFast,
    Failed,  // null status or an error status: counts as lost
};

// Returns how the run counts a reply (no value: the service returned no object).
TReplyKind ClassifyReply(const std::optional<TPingReply> &reply);

// Returns the reply line of one request, or the empty string when no object was returned:
//   status 0, time > 0: "Reply from <ProtocolAddress>;  Bytes=<size>  Time=<time> ms  TTL=<ttl>"
//   status 0, time 0:   "Reply from <ProtocolAddress>:  Bytes=<size>  Time=<1 ms  TTL=<ttl>"
//   null status:        "Reply from <PingAddress>: Error processing request" (the target as typed)
//   other status:       "Reply from <ProtocolAddress>: " + PingStatus(status)
QString ReplyLine(const std::optional<TPingReply> &reply, const QString &PingAddress);
