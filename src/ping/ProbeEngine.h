#pragma once

#include <QString>
#include <QtGlobal>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "ping/EchoFamily.h"
#include "ping/EchoService.h"

// The probe engine: one ICMP socket per address family, one table of the probes in flight, one
// poll loop with a timer queue (the shape of iputils' and fping's main loops). Any number of
// probes to any addresses, each with its own TTL (hop limit) and time-out, share the sockets;
// each answer is matched to its probe by sequence number (and, on a raw socket, which sees every
// ICMP message of the host, by identifier and address too), so no answer is ever counted for
// another probe.
//
// Threading: the engine's loop runs on one thread at a time, either a thread of its own
// (Start()) or the thread that waits in Exchange(). Send, After and Cancel are called on the loop
// thread only, that is from within a callback of the engine (a probe's outcome, a timer, a
// posted task); Post may be called from any thread and runs its task on the loop thread. Every
// callback runs on the loop thread and must not block: a blocking call there holds up every
// probe in flight.

// One probe: an echo request to a resolved target and how long to wait for its answer.
struct TProbeRequest {
    TEchoTarget Target;
    quint16 PayloadSize = 32;
    // TTL (IPv4) or hop limit (IPv6) the request leaves with, 1 to 255; 0 for the system's
    // default. Set per packet, so probes with different TTLs share the socket.
    quint16 TimeToLive = 0;
    quint32 TimeOutMs = 4000;
};

// The note of a run whose requests over `family` had to wait for room in the system: why (the
// neighbour table, ARP or NDP, has a fixed size) and how to raise the limit, with the system's
// current one when it can be read.
QString RoomWaitNotice(const TEchoFamily &family);

class TProbeEngine final {
  public:
    // The outcome of one probe, as an echo service reports a request: status 0 with the trip
    // time, the reply's TTL and data size; 11010 when no answer came in time; the code of an ICMP
    // error with the address that sent it (a router for time exceeded); or the code of a send that
    // the local stack refused.
    using TProbeDone = std::function<void(const TPingReply &)>;
    using TTask = std::function<void()>;

    // Opens one socket per family, with the privileges and in the network namespace of the
    // calling thread. Throws TxError with a readable text naming the cause when no IPv4 ICMP
    // socket of the requested kind may be opened; when only the IPv6 one cannot be opened, IPv4
    // probes go on and IPv6 ones are refused (CheckFamily).
    explicit TProbeEngine(TIcmpSocketKind kind);

    // An engine without sockets: a loop with timers and posted tasks only, for runs whose
    // requests are made by another echo service.
    static std::shared_ptr<TProbeEngine> LoopOnly();

    // Ends the loop thread (when started) and closes the sockets; probes still in flight get no
    // outcome. Must not be called on the loop thread.
    ~TProbeEngine();
    TProbeEngine(const TProbeEngine &) = delete;
    TProbeEngine &operator=(const TProbeEngine &) = delete;

    // Starts the loop on a thread of its own, which runs until the engine is destroyed. Calling
    // it again does nothing.
    void Start();

    // Loop thread only. Sends a probe; `done` is called exactly once with its outcome, never
    // from within Send. Requests are sent in the order of the calls, in small batches between
    // which the replies are read, so that a burst of thousands of probes does not overflow the
    // socket's receive queue.
    void Send(const TProbeRequest &request, TProbeDone done);

    // Loop thread only. Runs `task` once `milliseconds` have passed; returns its id for Cancel.
    quint64 After(qint64 milliseconds, TTask task);
    void Cancel(quint64 timer);

    // Any thread. Runs `task` on the loop thread, soon.
    void Post(TTask task);

    // Any thread but the loop thread: sends one probe and waits for its outcome. Without a
    // thread of its own the engine's loop runs on the calling thread meanwhile (one caller at a
    // time), so a blocking request costs no more than its system calls.
    TPingReply Exchange(const TProbeRequest &request);

    // Loop thread, or before Start. At most `perSecond` requests leave each second from now on,
    // spaced evenly (a request that finds its turn taken waits in line, its time-out not yet
    // running); 0: as fast as the loop sends them.
    void SetRate(int perSecond);

    // Loop thread, or before Start. `notice` is called (on the loop thread) the first time a
    // request of a family has to wait because the system had no room to send it: a neighbour
    // table (ARP, NDP) that is full, or a full transmit queue. Such a request is no loss: it is
    // sent again as room frees, and its time-out runs from then.
    void SetRoomNotice(std::function<void(const QString &notice)> notice);

    // Throws TxError, the reason, when probes of `family` cannot be sent (IPv6 without socket).
    void CheckFamily(const TEchoFamily &family) const;

    // The kind of socket opened for IPv4 (Datagram or Raw), and for IPv6 (Automatic: none).
    TIcmpSocketKind Kind() const { return ipv4_.Kind; }
    TIcmpSocketKind Ipv6Kind() const { return ipv6_.Kind; }
    // The echo identifier of the requests on raw sockets (on a datagram socket the kernel puts
    // its own in their place).
    quint16 Identifier() const { return identifier_; }
    // Probes in flight (sent or waiting to be sent). Loop thread only.
    std::size_t InFlight() const;
    // Requests that have had to wait for room in the system so far. Loop thread only.
    quint64 HeldForRoom() const { return heldCount_; }

  private:
    struct TLoopOnly {};
    explicit TProbeEngine(TLoopOnly);

    // One probe in flight.
    struct TProbe {
        QByteArray Target;      // address bytes, to match the answer's sender
        qint64 SentRealNs = 0;  // the clock of the kernel's receive time stamps
        qint64 SentMonotonicNs = 0;
        quint32 TimeOutMs = 0;
        quint64 Timer = 0;
        TProbeDone Done;
    };
    // The socket of one family and its probes, by sequence number.
    struct TChannel {
        const TEchoFamily *Family = nullptr;
        int Socket = -1;
        TIcmpSocketKind Kind = TIcmpSocketKind::Automatic;
        std::unordered_map<quint16, TProbe> Probes;
        quint16 NextSequence = 0;
    };
    struct TQueued {
        TProbeRequest Request;
        TProbeDone Done;
    };

    static TChannel Open(const TEchoFamily &family, TIcmpSocketKind kind);
    TChannel *ChannelFor(const TEchoFamily &family);

    void Loop();
    // One pass of the loop: waits for a socket, a posted task or the next timer, then handles
    // whatever is due.
    void Turn();
    enum class TSendOutcome { Sent, Refused, NoRoom };

    void SendQueued();
    // Sends the request, or decides its outcome (Refused). NoRoom leaves `queued` untouched for
    // another try.
    TSendOutcome SendNow(TQueued &queued);
    void Hold(TQueued queued);
    void RetryHeld();
    // Nanoseconds until the loop has something to do without being woken: 0 at once, -1 never.
    qint64 NextWorkNs() const;
    void ReadAll(TChannel &channel);
    bool ReadErrorQueue(TChannel &channel);
    void DropErrorQueue(TChannel &channel);
    bool ReadMessage(TChannel &channel);
    void Finish(TChannel &channel, quint16 sequence, TPingReply reply);
    void RunTimers();
    void RunPosted();

    TChannel ipv4_;
    TChannel ipv6_;
    QString ipv6Error_;
    quint16 identifier_ = 0;
    int wake_ = -1;  // eventfd: a task was posted, or the thread is to end
    QByteArray buffer_;

    // Loop thread state.
    std::deque<TQueued> outbox_;
    std::deque<TTask> ready_;  // outcomes decided without the network, delivered next turn
    std::map<std::pair<qint64, quint64>, TTask> timers_;
    std::unordered_map<quint64, qint64> timerDeadlines_;
    quint64 nextTimer_ = 0;
    // The send rate: nanoseconds between two requests (0: no limit), and the earliest moment of
    // the next one (monotonic).
    qint64 spacingNs_ = 0;
    qint64 nextSendNs_ = 0;
    // Requests the system had no room for, oldest first, and the timer of their next try.
    std::deque<TQueued> held_;
    quint64 roomTimer_ = 0;
    qint64 roomProgressNs_ = 0;  // when a held request last went out, or the wait began
    quint64 heldCount_ = 0;
    std::function<void(const QString &)> roomNotice_;
    bool roomNoticeGiven_[2] = {false, false};

    std::mutex mutex_;
    std::vector<TTask> inbox_;
    bool stopping_ = false;
    std::thread thread_;
    std::thread::id loopThread_;
};
