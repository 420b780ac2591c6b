#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <deque>
#include <optional>
#include <vector>

#include "ping/PingFigures.h"
#include "ping/PingRun.h"

// A watch of a whole list: every address is pinged every Interval until stopped, and each one is
// up, down or not known yet. The tracker here holds what the window's table, graph and lines
// show; it has no clock of its own (every event comes with its time) so that the rules can be
// run over any sequence of outcomes.

// The most addresses a list is watched with: a watch keeps every address under way at once.
constexpr int kMaxWatchedAddresses = kMaxAddressesInFlight;
// Unanswered requests in a row after which an address counts as down, unless set otherwise.
constexpr int kStandardDownAfter = 3;
// How far back the trip times of an address are kept for the graph, and at most how many.
constexpr qint64 kWatchHistoryMs = 5 * 60 * 1000;
constexpr int kWatchHistoryPoints = 1024;

enum class TWatchState { Unknown, Up, Down };

// The state's name in the watch table and the saved results: "up", "down" or "unknown".
QString WatchStateName(TWatchState state);

// The outcome of a request of an address at a moment of the watch (ms since it began): its trip
// time, or none when it got no reply (the graph's line breaks there).
struct TWatchPoint {
    qint64 At = 0;
    std::optional<double> Trip;
};

// One watched address.
struct TWatchedAddress {
    QString Address;  // as typed
    TPingFigures Figures;
    // Requests made and still waiting for their outcome.
    int InFlight = 0;
    TWatchState State = TWatchState::Unknown;
    // Unanswered requests since the latest reply, and when the first of them was made.
    int MissedInRow = 0;
    qint64 FirstMissedAt = 0;
    // When the latest request was made.
    qint64 LastSentAt = 0;
    // When the current outage began (State Down): when its first unanswered request was made.
    qint64 DownSince = 0;
    int Outages = 0;
    qint64 OutageTotal = 0;    // ms, of the outages that ended
    qint64 LongestOutage = 0;  // ms, of the outages that ended
    // When the state last changed (ms since the watch began), -1: never.
    qint64 LastChange = -1;
    // The error that ended this address's requests, if any.
    QString Failure;
    // The latest outcomes, oldest first: at most kWatchHistoryPoints, none older than
    // kWatchHistoryMs before the latest.
    std::deque<TWatchPoint> History;

    // The length of the outage under way at `now` (ms), 0 when the address is not down.
    qint64 CurrentOutage(qint64 now) const {
        return State == TWatchState::Down ? now - DownSince : 0;
    }
};

// A change of an address's state, as an outcome brought it.
struct TWatchChange {
    int Index = 0;
    TWatchState From = TWatchState::Unknown;
    TWatchState To = TWatchState::Unknown;
    // For a change from down to up: how long the outage lasted (ms).
    qint64 Outage = 0;
};

class TListWatch final {
  public:
    // `downAfter`: unanswered requests in a row that make an address down (at least 1).
    TListWatch(const QStringList &addresses, int downAfter = kStandardDownAfter);

    // A request of address `index` is made at `now` (ms since the watch began).
    void Sending(int index, qint64 now);
    // The outcome of the latest request of address `index`, in at `now`, of a request made at
    // `sentAt` (unset: when Sending said). Returns the change of state it brings: down after
    // downAfter unanswered requests in a row (the outage counted from the first of them), up at
    // the first reply.
    std::optional<TWatchChange> Replied(int index, const std::optional<TPingReply> &reply,
                                        qint64 now, std::optional<qint64> sentAt = std::nullopt);
    // Address `index` has made `made` requests so far: those without an outcome yet are in
    // flight (for a caller that counts requests made apart from their outcomes).
    void SetRequestsMade(int index, int made);
    // Address `index` stopped with an error; it stays as it was otherwise.
    void Failed(int index, const QString &message);

    int Count() const { return static_cast<int>(addresses_.size()); }
    const TWatchedAddress &At(int index) const {
        return addresses_.at(static_cast<std::size_t>(index));
    }
    int DownAfter() const { return downAfter_; }
    // Addresses up and down right now.
    int UpCount() const { return up_; }
    int DownCount() const { return down_; }

  private:
    void Move(TWatchedAddress &address, TWatchState to);

    std::vector<TWatchedAddress> addresses_;
    int downAfter_;
    int up_ = 0;
    int down_ = 0;
};

// A span of time for reading: "850 ms", "12.3 s", "4 min 05 s", "2 h 03 min".
QString WatchDurationText(qint64 milliseconds);

// A line of the watch's log in the results pane: the time of day, two blanks, `text`.
QString WatchEventLine(const QDateTime &when, const QString &text);

// The line a change of state writes into the results pane, e.g.
// "14:03:07  10.0.0.2 is down" and "14:03:19  10.0.0.2 is up again after 12.3 s". No line for an
// address that answers for the first time (from unknown to up).
std::optional<QString> WatchChangeLine(const QDateTime &when, const QString &address,
                                       const TWatchChange &change);

// "1 address", "250 addresses".
QString WatchAddressCountText(int count);

// A desktop notice of the watch: a summary line, its body, and whether it tells of an address
// that went down (shown as urgent).
struct TWatchNotice {
    QString Summary;
    QString Body;
    bool Urgent = false;
};

// The one notice for the changes of a burst that wrote a line into the results pane (down, or up
// again), in the order they came, told against the states of `watch` after the burst. One change
// names its address ("10.0.0.2 is down", "No reply to 3 requests in a row. 1 of 4 addresses
// watched down."); several name the first three of each kind and how many more.
TWatchNotice WatchChangesNotice(const TListWatch &watch, const std::vector<TWatchChange> &changes);

// What a stopped watch writes: for each address in list order, the block a list run writes for
// it (its header dated `started`, and its statistics block and address pane line, without a line
// per request: a watch of hours holds only its figures), then the summary of the outages over
// `watched` ms of watching.
void WriteListWatchEnd(const TPingRunInput &input, const TPingRunTargets &targets,
                       const TListWatch &watch, const QDateTime &started, qint64 watched);

// The summary of the outages of a stopped watch, line by line: "Outages in 4 min 05 s of
// watching 3 addresses:" and one line per address that had any, or "No outages in ...".
QStringList WatchOutageLines(const TListWatch &watch, qint64 watched);
