#pragma once

#include <QtGlobal>

// The parameters every echo run goes with, whether from the window, a list, a watch or the
// command line; the defaults are those of a fresh settings file.
struct TEchoParameters {
    // Payload bytes of each request.
    quint16 BufferSize = 32;
    // Milliseconds to wait for each reply.
    quint16 TimeOut = 4000;
    // Requests to each address (no limit for a run that goes on until stopped).
    quint16 Retries = 4;
    // The hop limit an IPv6 request leaves with (at most 255); 0 for the system's default.
    // IPv4 requests carry the system's default TTL whatever this holds, as they always have.
    quint16 TimeToLive = 0;
    // IPv4 requests too leave with TimeToLive (when it is not 0): a TTL asked for on the command
    // line holds for both families.
    bool TimeToLiveForIpv4 = false;
};
