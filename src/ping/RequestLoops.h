#pragma once

#include <functional>
#include <optional>

#include "ping/EchoService.h"

// The request loops that every kind of run shares. `request` makes one request and returns its
// outcome (it may throw TxError, which ends the loop); `replied` hears of each outcome in turn.

// Makes up to `count` requests one after another, fewer when `stopRequested` turns true before
// one of them (a request under way is always finished).
void MakeRequests(int count, const std::function<std::optional<TPingReply>()> &request,
                  const std::function<bool()> &stopRequested,
                  const std::function<void(int index, const std::optional<TPingReply> &)> &replied);

// Makes requests until `stopRequested` turns true, one every `interval` milliseconds counted from
// the start of one request to the start of the next; a request that takes longer (a time-out) is
// followed at once by the next, without catching up. `pause` waits for what is left of the
// interval, and returns early once a stop is asked for.
void PaceRequests(int interval, const std::function<std::optional<TPingReply>()> &request,
                  const std::function<bool()> &stopRequested,
                  const std::function<void(int milliseconds)> &pause,
                  const std::function<void(int index, const std::optional<TPingReply> &)> &replied);
