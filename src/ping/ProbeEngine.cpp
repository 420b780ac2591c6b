#include "ping/ProbeEngine.h"

#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <linux/errqueue.h>

#include <QFile>
#include <atomic>
#include <condition_variable>
#include <optional>

#include "common/Errors.h"

namespace {

constexpr qint32 kRequestTimedOut = 11010;
constexpr qint32 kNoResources = 11006;
constexpr qint32 kGeneralFailure = 11050;

// Big enough for any IPv4 datagram with its header, and any ICMPv6 message.
constexpr int kReceiveBufferSize = 65536 + 512;

// Requests sent in one go before the replies are read. On loopback a reply is queued on the
// socket almost as soon as its request leaves; reading between small batches keeps the receive
// queue far below its limit, where a burst of thousands of requests would overflow it and lose
// replies.
constexpr int kSendBatch = 64;

// Sends of one probe before its failure is taken as its own (see SendNow).
constexpr int kSendTries = 3;

// A request the system had no room for is tried again this often. The kernel frees neighbour
// entries only when a new one is asked for and old ones are at least five seconds old, so a try
// is also what makes the room.
constexpr qint64 kRoomRetryMs = 100;
// Held requests of which none could go for this long get the outcome of a send the system
// refused: by then the kernel's own collection (a minute for an unused entry) has had its turn,
// and whatever fills the table is not this run.
constexpr qint64 kRoomGiveUpNs = 65LL * 1000000000;

// How far the send rate's schedule may lag behind the clock and be caught up: a loop woken a
// little late sends the requests it owes at once rather than losing their turns, but never more
// than this much of them in one burst.
constexpr qint64 kRateCatchUpNs = 2000000;

// Asked for, not insisted on: the kernel caps it at net.core.rmem_max. Room for a few hundred
// replies that arrive while the loop is busy with a batch.
constexpr int kSocketReceiveBuffer = 1 << 20;

QString SystemText(int error) {
    return QString::fromLocal8Bit(strerror(error));
}

qint64 ClockNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A kernel built or booted without IPv6 knows no IPv6 sockets at all; that is no matter of
// permissions, and the text says so.
void NoFamilyOnThisSystem(const TEchoFamily &family, int error) {
    if (error == EAFNOSUPPORT && family.Domain == AF_INET6) {
        throw TxError(QStringLiteral("Cannot send echo requests: this system has no IPv6 (%1).")
                          .arg(SystemText(error)));
    }
}

std::atomic<quint16> nextIdentifier{static_cast<quint16>(getpid() * 2654435761u >> 16)};

// One message read from a socket into a caller's buffer, with its sender and ancillary data.
// The header points into the object, so it is filled in place and never copied.
struct TReceived {
    sockaddr_storage From{};
    alignas(cmsghdr) char Control[512];
    iovec Io{};
    msghdr Message{};
    ssize_t Length = -1;

    TReceived(int socket, QByteArray &buffer, int flags) {
        Io = {buffer.data(), static_cast<size_t>(buffer.size())};
        Message.msg_name = &From;
        Message.msg_namelen = sizeof From;
        Message.msg_iov = &Io;
        Message.msg_iovlen = 1;
        Message.msg_control = Control;
        Message.msg_controllen = sizeof Control;
        do {
            Length = recvmsg(socket, &Message, flags);
        } while (Length < 0 && errno == EINTR);
    }
    TReceived(const TReceived &) = delete;
    TReceived &operator=(const TReceived &) = delete;

    // The kernel's receive time stamp (SO_TIMESTAMPNS, the real-time clock), 0 when none came.
    qint64 StampNs() {
        for (cmsghdr *c = CMSG_FIRSTHDR(&Message); c != nullptr; c = CMSG_NXTHDR(&Message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                return static_cast<qint64>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
            }
        }
        return 0;
    }
};

}  // namespace

QString RoomWaitNotice(const TEchoFamily &family) {
    const bool v6 = family.Domain == AF_INET6;
    const QString key =
        v6 ? QStringLiteral("net.ipv6.neigh.default.") : QStringLiteral("net.ipv4.neigh.default.");
    // Read in the network namespace of the engine's thread; a namespace other than the first one
    // shows no such file (the limit is the whole system's), and then the usual size is named.
    int limit = 0;
    QFile file(QStringLiteral("/proc/sys/net/ipv%1/neigh/default/gc_thresh3").arg(v6 ? 6 : 4));
    if (file.open(QIODevice::ReadOnly)) {
        limit = file.readAll().trimmed().toInt();
    }
    const int raised = limit > 0 ? limit * 4 : 4096;
    return QStringLiteral(
               "Requests wait for room in the system's neighbour table (%1, which holds %2 "
               "addresses of the local networks at once) and go out as its entries expire; the "
               "wait is not counted as a loss. To wait less, raise the limit: sysctl -w "
               "%3gc_thresh3=%4 %3gc_thresh2=%5")
        .arg(v6 ? QStringLiteral("NDP") : QStringLiteral("ARP"),
             limit > 0 ? QStringLiteral("at most %1").arg(limit)
                       : QStringLiteral("a limited number of"),
             key)
        .arg(raised)
        .arg(raised / 2);
}

TProbeEngine::TProbeEngine(TIcmpSocketKind kind) : TProbeEngine(TLoopOnly{}) {
    ipv4_ = Open(kEchoIPv4, kind);
    // Both sockets are made now, as iputils' ping makes them before it gives up its privileges:
    // a probe then works from any thread. A system without IPv6 still pings over IPv4.
    try {
        ipv6_ = Open(kEchoIPv6, kind);
    } catch (const TxError &error) {
        ipv6Error_ = error.Message();
    }
}

TProbeEngine::TProbeEngine(TLoopOnly) {
    // Allocated before anything is opened, so a failure here leaves nothing open.
    buffer_ = QByteArray(kReceiveBufferSize, '\0');
    identifier_ = nextIdentifier.fetch_add(1);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        throw TxError(QStringLiteral("Cannot send echo requests: %1").arg(SystemText(errno)));
    }
    ipv4_.Family = &kEchoIPv4;
    ipv6_.Family = &kEchoIPv6;
}

std::shared_ptr<TProbeEngine> TProbeEngine::LoopOnly() {
    return std::shared_ptr<TProbeEngine>(new TProbeEngine(TLoopOnly{}));
}

TProbeEngine::~TProbeEngine() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        const quint64 one = 1;
        while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    for (const TChannel *channel : {&ipv4_, &ipv6_}) {
        if (channel->Socket >= 0) {
            ::close(channel->Socket);
        }
    }
    ::close(wake_);
}

TProbeEngine::TChannel TProbeEngine::Open(const TEchoFamily &family, TIcmpSocketKind kind) {
    TChannel channel;
    channel.Family = &family;
    int datagramError = 0;
    if (kind == TIcmpSocketKind::Automatic || kind == TIcmpSocketKind::Datagram) {
        // The kernel decides (effective and supplementary groups against ping_group_range, which
        // rules ICMPv6 datagram sockets too); a refusal just moves on to the raw socket.
        channel.Socket = ::socket(family.Domain, SOCK_DGRAM | SOCK_CLOEXEC, family.Protocol);
        datagramError = channel.Socket < 0 ? errno : 0;
        if (channel.Socket >= 0) {
            channel.Kind = TIcmpSocketKind::Datagram;
        }
    }
    if (channel.Socket < 0 &&
        (kind == TIcmpSocketKind::Automatic || kind == TIcmpSocketKind::Raw)) {
        channel.Socket = ::socket(family.Domain, SOCK_RAW | SOCK_CLOEXEC, family.Protocol);
        const int rawError = channel.Socket < 0 ? errno : 0;
        if (channel.Socket < 0) {
            NoFamilyOnThisSystem(family, rawError);
            QString text = QStringLiteral("Cannot send echo requests: ");
            if (kind == TIcmpSocketKind::Automatic) {
                text += QStringLiteral(
                            "this user may open neither an ICMP datagram socket "
                            "(net.ipv4.ping_group_range does not include the group; %1) nor a "
                            "raw socket (it needs root or CAP_NET_RAW; %2).")
                            .arg(SystemText(datagramError), SystemText(rawError));
            } else {
                text += QStringLiteral("no raw ICMP socket (it needs root or CAP_NET_RAW; %1).")
                            .arg(SystemText(rawError));
            }
            throw TxError(text);
        }
        channel.Kind = TIcmpSocketKind::Raw;
    }
    if (channel.Socket < 0) {
        NoFamilyOnThisSystem(family, datagramError);
        throw TxError(QStringLiteral("Cannot send echo requests: no ICMP datagram socket "
                                     "(net.ipv4.ping_group_range does not include the group; %1).")
                          .arg(SystemText(datagramError)));
    }

    family.ConfigureSocket(channel.Socket, channel.Kind == TIcmpSocketKind::Datagram);
    if (channel.Kind == TIcmpSocketKind::Raw) {
        // Without it a raw socket's send that finds no room (a full neighbour table, a full
        // transmit queue) reports success and the request silently never leaves, which would
        // look like a loss of the address. The ICMP errors it also queues are read from the
        // socket itself (with the identifier to match), so the queue is only emptied.
        const int on = 1;
        if (family.Domain == AF_INET6) {
            setsockopt(channel.Socket, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
        } else {
            setsockopt(channel.Socket, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        }
    }
    // Trip times come from the moment the kernel received the answer, not from the moment the
    // loop got round to reading it (iputils does the same).
    const int on = 1;
    setsockopt(channel.Socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    setsockopt(channel.Socket, SOL_SOCKET, SO_RCVBUF, &kSocketReceiveBuffer,
               sizeof kSocketReceiveBuffer);
    return channel;
}

void TProbeEngine::CheckFamily(const TEchoFamily &family) const {
    if (&family == &kEchoIPv6 && ipv6_.Socket < 0) {
        throw TxError(ipv6Error_.isEmpty() ? QStringLiteral("Cannot send echo requests.")
                                           : ipv6Error_);
    }
    if (&family == &kEchoIPv4 && ipv4_.Socket < 0) {
        throw TxError(QStringLiteral("Cannot send echo requests."));
    }
}

TProbeEngine::TChannel *TProbeEngine::ChannelFor(const TEchoFamily &family) {
    TChannel *channel = &family == &kEchoIPv4 ? &ipv4_ : &ipv6_;
    return channel->Socket >= 0 ? channel : nullptr;
}

std::size_t TProbeEngine::InFlight() const {
    return ipv4_.Probes.size() + ipv6_.Probes.size() + outbox_.size() + held_.size();
}

void TProbeEngine::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Loop(); });
    }
}

void TProbeEngine::Loop() {
    loopThread_ = std::this_thread::get_id();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        Turn();
    }
}

void TProbeEngine::Post(TTask task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inbox_.push_back(std::move(task));
    }
    const quint64 one = 1;
    while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

quint64 TProbeEngine::After(qint64 milliseconds, TTask task) {
    const qint64 deadline = ClockNs(CLOCK_MONOTONIC) + qMax<qint64>(0, milliseconds) * 1000000;
    const quint64 id = ++nextTimer_;
    timers_.emplace(std::make_pair(deadline, id), std::move(task));
    timerDeadlines_.emplace(id, deadline);
    return id;
}

void TProbeEngine::Cancel(quint64 timer) {
    const auto found = timerDeadlines_.find(timer);
    if (found != timerDeadlines_.end()) {
        timers_.erase(std::make_pair(found->second, timer));
        timerDeadlines_.erase(found);
    }
}

void TProbeEngine::Send(const TProbeRequest &request, TProbeDone done) {
    outbox_.push_back(TQueued{request, std::move(done)});
}

void TProbeEngine::SetRate(int perSecond) {
    spacingNs_ = perSecond > 0 ? 1000000000LL / perSecond : 0;
}

void TProbeEngine::SetRoomNotice(std::function<void(const QString &)> notice) {
    roomNotice_ = std::move(notice);
}

TPingReply TProbeEngine::Exchange(const TProbeRequest &request) {
    bool threaded = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threaded = thread_.joinable();
    }
    if (!threaded) {
        // The calling thread is the loop thread until the outcome is in.
        loopThread_ = std::this_thread::get_id();
        std::optional<TPingReply> outcome;
        Send(request, [&outcome](const TPingReply &reply) { outcome = reply; });
        while (!outcome) {
            Turn();
        }
        loopThread_ = std::thread::id();
        return *outcome;
    }
    struct TWaiter {
        std::mutex Mutex;
        std::condition_variable Arrived;
        std::optional<TPingReply> Outcome;
    };
    const auto waiter = std::make_shared<TWaiter>();
    Post([this, request, waiter] {
        Send(request, [waiter](const TPingReply &reply) {
            std::lock_guard<std::mutex> lock(waiter->Mutex);
            waiter->Outcome = reply;
            waiter->Arrived.notify_all();
        });
    });
    std::unique_lock<std::mutex> lock(waiter->Mutex);
    waiter->Arrived.wait(lock, [&waiter] { return waiter->Outcome.has_value(); });
    return *waiter->Outcome;
}

qint64 TProbeEngine::NextWorkNs() const {
    if (!ready_.empty()) {
        return 0;
    }
    const qint64 now = ClockNs(CLOCK_MONOTONIC);
    qint64 wait = -1;
    if (!outbox_.empty()) {
        wait = spacingNs_ > 0 ? qMax<qint64>(0, nextSendNs_ - now) : 0;
    }
    if (!timers_.empty()) {
        const qint64 timer = qMax<qint64>(0, timers_.begin()->first.first - now);
        wait = wait < 0 ? timer : qMin(wait, timer);
    }
    return wait;
}

void TProbeEngine::Turn() {
    SendQueued();

    // In nanoseconds: at a send rate of thousands a second the next request is due well within
    // a millisecond.
    const qint64 waitNs = qMin<qint64>(NextWorkNs(), 60LL * 1000000000);
    timespec timeout{};
    if (waitNs >= 0) {
        timeout.tv_sec = static_cast<time_t>(waitNs / 1000000000);
        timeout.tv_nsec = static_cast<long>(waitNs % 1000000000);
    }
    pollfd waiting[3];
    nfds_t count = 0;
    waiting[count++] = pollfd{wake_, POLLIN, 0};
    for (const TChannel *channel : {&ipv4_, &ipv6_}) {
        if (channel->Socket >= 0) {
            waiting[count++] = pollfd{channel->Socket, POLLIN, 0};
        }
    }
    const int ready = ppoll(waiting, count, waitNs >= 0 ? &timeout : nullptr, nullptr);
    if (ready > 0 && (waiting[0].revents & POLLIN) != 0) {
        quint64 value = 0;
        while (read(wake_, &value, sizeof value) < 0 && errno == EINTR) {
        }
    }
    RunPosted();
    nfds_t at = 1;
    for (TChannel *channel : {&ipv4_, &ipv6_}) {
        if (channel->Socket >= 0) {
            if (ready > 0 && waiting[at].revents != 0) {
                if (channel->Kind == TIcmpSocketKind::Raw && (waiting[at].revents & POLLERR) != 0) {
                    DropErrorQueue(*channel);
                }
                ReadAll(*channel);
            }
            ++at;
        }
    }
    RunTimers();
    std::deque<TTask> due;
    due.swap(ready_);
    for (TTask &task : due) {
        task();
    }
}

void TProbeEngine::RunPosted() {
    std::vector<TTask> tasks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks.swap(inbox_);
    }
    for (TTask &task : tasks) {
        task();
    }
}

void TProbeEngine::RunTimers() {
    const qint64 now = ClockNs(CLOCK_MONOTONIC);
    if (timers_.empty() || timers_.begin()->first.first > now) {
        return;
    }
    // A time-out is decided only once every answer that has arrived is read: an answer that
    // came before its time-out, but was not read yet because the loop was busy, still counts.
    for (TChannel *channel : {&ipv4_, &ipv6_}) {
        if (channel->Socket >= 0) {
            ReadAll(*channel);
        }
    }
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        const auto first = timers_.begin();
        TTask task = std::move(first->second);
        timerDeadlines_.erase(first->first.second);
        timers_.erase(first);
        task();
    }
}

void TProbeEngine::SendQueued() {
    const qint64 now = spacingNs_ > 0 ? ClockNs(CLOCK_MONOTONIC) : 0;
    for (int i = 0; i < kSendBatch && !outbox_.empty(); ++i) {
        if (spacingNs_ > 0) {
            // Evenly spaced turns; a loop that woke late may catch up a little, never a burst.
            if (nextSendNs_ > now) {
                break;
            }
            nextSendNs_ = qMax(nextSendNs_, now - kRateCatchUpNs) + spacingNs_;
        }
        TQueued queued = std::move(outbox_.front());
        outbox_.pop_front();
        if (SendNow(queued) == TSendOutcome::NoRoom) {
            // Nothing left the host, so the turn is not used up.
            if (spacingNs_ > 0) {
                nextSendNs_ -= spacingNs_;
            }
            Hold(std::move(queued));
        }
    }
}

void TProbeEngine::Hold(TQueued queued) {
    if (held_.empty()) {
        roomProgressNs_ = ClockNs(CLOCK_MONOTONIC);
    }
    const TEchoFamily &family =
        queued.Request.Target.Family != nullptr ? *queued.Request.Target.Family : kEchoIPv4;
    held_.push_back(std::move(queued));
    ++heldCount_;
    bool &given = roomNoticeGiven_[&family == &kEchoIPv6 ? 1 : 0];
    if (!given && roomNotice_) {
        given = true;
        roomNotice_(RoomWaitNotice(family));
    }
    if (roomTimer_ == 0) {
        roomTimer_ = After(kRoomRetryMs, [this] { RetryHeld(); });
    }
}

// One held request tries whether there is room again; once it went, the others follow at the
// head of the line, in their order, and those that still find no room are held again.
void TProbeEngine::RetryHeld() {
    roomTimer_ = 0;
    if (held_.empty()) {
        return;
    }
    const TSendOutcome outcome = SendNow(held_.front());
    if (outcome != TSendOutcome::NoRoom) {
        held_.pop_front();
        roomProgressNs_ = ClockNs(CLOCK_MONOTONIC);
        outbox_.insert(outbox_.begin(), std::make_move_iterator(held_.begin()),
                       std::make_move_iterator(held_.end()));
        held_.clear();
        return;
    }
    if (ClockNs(CLOCK_MONOTONIC) - roomProgressNs_ > kRoomGiveUpNs) {
        std::deque<TQueued> given;
        given.swap(held_);
        for (TQueued &queued : given) {
            const TEchoTarget &target = queued.Request.Target;
            TPingReply reply;
            reply.StatusCode = kNoResources;
            reply.ProtocolAddress =
                target.Family != nullptr ? target.Family->AddressText(target.Raw) : QString();
            ready_.push_back([done = std::move(queued.Done), reply] { done(reply); });
        }
        return;
    }
    roomTimer_ = After(kRoomRetryMs, [this] { RetryHeld(); });
}

TProbeEngine::TSendOutcome TProbeEngine::SendNow(TQueued &queued) {
    const TEchoTarget &target = queued.Request.Target;
    const TEchoFamily &family = target.Family != nullptr ? *target.Family : kEchoIPv4;
    TChannel *channel = ChannelFor(family);
    const auto refuse = [this, &queued, &family, &target](qint32 status) -> TSendOutcome {
        TPingReply reply;
        reply.StatusCode = status;
        reply.ProtocolAddress = family.AddressText(target.Raw);
        ready_.push_back([done = std::move(queued.Done), reply] { done(reply); });
        return TSendOutcome::Refused;
    };
    if (channel == nullptr || target.Family == nullptr) {
        return refuse(kGeneralFailure);
    }
    // The sequence numbers go round; one still in flight is skipped, so two probes in flight
    // never share one.
    if (channel->Probes.size() >= 0xFFFF) {
        return refuse(kNoResources);
    }
    quint16 sequence = ++channel->NextSequence;
    while (channel->Probes.count(sequence) != 0) {
        sequence = ++channel->NextSequence;
    }
    const QByteArray packet =
        family.BuildRequest(identifier_, sequence, queued.Request.PayloadSize);

    iovec io{const_cast<char *>(packet.constData()), static_cast<size_t>(packet.size())};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_storage *>(&target.Address);
    message.msg_namelen = target.Length;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (queued.Request.TimeToLive > 0) {
        // Per packet, so that probes with different TTLs share the socket.
        const int ttl = qMin<int>(queued.Request.TimeToLive, 255);
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = family.TtlLevel;
        c->cmsg_type = family.TtlType;
        c->cmsg_len = CMSG_LEN(sizeof ttl);
        memcpy(CMSG_DATA(c), &ttl, sizeof ttl);
    }
    TProbe probe;
    probe.Target = target.Raw;
    probe.TimeOutMs = queued.Request.TimeOutMs;
    probe.SentRealNs = ClockNs(CLOCK_REALTIME);
    probe.SentMonotonicNs = ClockNs(CLOCK_MONOTONIC);
    // An ICMP error about an earlier probe (host unreachable, say) leaves its errno pending on
    // the socket, and the next send reports it instead of sending: that send is tried again, as
    // it is not this probe's failure. A failure of this probe's own comes back on every try.
    ssize_t sent = -1;
    for (int tries = 0; sent < 0 && tries < kSendTries; ++tries) {
        do {
            sent = sendmsg(channel->Socket, &message, 0);
        } while (sent < 0 && errno == EINTR);
        // ENOBUFS is never an error left over from an earlier probe (those come from ICMP), so
        // trying again at once would only find the same lack of room.
        if (sent < 0 && errno == ENOBUFS) {
            break;
        }
    }
    if (sent < 0 && errno == ENOBUFS) {
        // No room: the neighbour table is full (the kernel keeps at most gc_thresh3 entries
        // and frees them only as they age), or a transmit queue is. The request never left,
        // which says nothing about the address: it waits and goes again as room frees.
        return TSendOutcome::NoRoom;
    }
    if (sent < 0) {
        // EACCES, EPERM: a broadcast address, or a firewall rule on this host; the request never
        // left.
        return refuse(errno == EACCES || errno == EPERM ? kGeneralFailure
                                                        : StatusOfSendError(errno));
    }
    probe.Done = std::move(queued.Done);
    probe.Timer = After(probe.TimeOutMs, [this, channel, sequence] {
        const auto found = channel->Probes.find(sequence);
        if (found == channel->Probes.end()) {
            return;
        }
        TProbe timedOut = std::move(found->second);
        channel->Probes.erase(found);
        TPingReply reply;
        reply.StatusCode = kRequestTimedOut;
        reply.ProtocolAddress = channel->Family->AddressText(timedOut.Target);
        timedOut.Done(reply);
    });
    channel->Probes.emplace(sequence, std::move(probe));
    return TSendOutcome::Sent;
}

void TProbeEngine::ReadAll(TChannel &channel) {
    if (channel.Kind == TIcmpSocketKind::Datagram) {
        while (ReadErrorQueue(channel)) {
        }
    }
    while (ReadMessage(channel)) {
    }
}

void TProbeEngine::DropErrorQueue(TChannel &channel) {
    for (;;) {
        TReceived received(channel.Socket, buffer_, MSG_DONTWAIT | MSG_ERRQUEUE);
        if (received.Length < 0) {
            return;
        }
    }
}

void TProbeEngine::Finish(TChannel &channel, quint16 sequence, TPingReply reply) {
    const auto found = channel.Probes.find(sequence);
    TProbe probe = std::move(found->second);
    channel.Probes.erase(found);
    Cancel(probe.Timer);
    probe.Done(reply);
}

// A datagram socket hands ICMP errors about its requests to the error queue: the request as
// sent, its destination as the sender, and the error (or local failure) as ancillary data.
bool TProbeEngine::ReadErrorQueue(TChannel &channel) {
    const TEchoFamily &family = *channel.Family;
    TReceived received(channel.Socket, buffer_, MSG_DONTWAIT | MSG_ERRQUEUE);
    if (received.Length < 0) {
        return false;
    }
    const std::optional<quint16> sequence =
        QueuedRequestSequence(reinterpret_cast<const unsigned char *>(buffer_.constData()),
                              static_cast<size_t>(received.Length), family.EchoRequestType);
    if (!sequence) {
        return true;
    }
    const auto found = channel.Probes.find(*sequence);
    const QByteArray destination =
        family.AddressBytes(reinterpret_cast<const sockaddr *>(&received.From));
    if (found == channel.Probes.end() ||
        (!destination.isEmpty() && destination != found->second.Target)) {
        return true;  // about a probe that timed out already, or about no probe of ours
    }
    msghdr &message = received.Message;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != family.ErrorLevel || c->cmsg_type != family.ErrorType) {
            continue;
        }
        sock_extended_err error{};
        memcpy(&error, CMSG_DATA(c), sizeof error);
        TPingReply reply;
        if (error.ee_origin == family.ErrorOriginIcmp) {
            const qint32 status = family.StatusOfError(error.ee_type, error.ee_code);
            reply.StatusCode = status != 0 ? status : kGeneralFailure;
        } else {
            reply.StatusCode = StatusOfSendError(static_cast<int>(error.ee_errno));
        }
        const QByteArray from = family.AddressBytes(
            SO_EE_OFFENDER(reinterpret_cast<sock_extended_err *>(CMSG_DATA(c))));
        reply.ProtocolAddress = family.AddressText(from.isEmpty() ? found->second.Target : from);
        const qint64 stamp = received.StampNs();
        const qint64 trip = stamp > 0 ? stamp - found->second.SentRealNs : -1;
        reply.TripMicroseconds = trip > 0 ? static_cast<quint32>(trip / 1000) : 0;
        Finish(channel, *sequence, reply);
        return true;
    }
    return true;
}

// Reads one message and ends the probe it answers: a reply, or (raw socket) an ICMP error that
// quotes the probe's request.
bool TProbeEngine::ReadMessage(TChannel &channel) {
    const TEchoFamily &family = *channel.Family;
    TReceived received(channel.Socket, buffer_, MSG_DONTWAIT);
    if (received.Length < 0) {
        // A pending error about an earlier probe is reported (and cleared) by the read before
        // the queued messages; the messages behind it are read on.
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
    const bool datagram = channel.Kind == TIcmpSocketKind::Datagram;
    const auto *bytes = reinterpret_cast<const unsigned char *>(buffer_.constData());
    const size_t size = static_cast<size_t>(received.Length);
    TIcmpMessage parsed =
        datagram ? family.ParseDatagram(bytes, size) : family.ParseRaw(bytes, size);
    if (parsed.Kind == TIcmpMessage::TKind::Other) {
        return true;
    }
    // A datagram socket only ever sees replies to its own identifier (the kernel rewrites it on
    // sending), so only the raw socket, which sees every ICMP message of the host, compares it.
    const auto found = channel.Probes.find(parsed.Sequence);
    if (found == channel.Probes.end() || (!datagram && parsed.Identifier != identifier_)) {
        return true;
    }
    const TProbe &probe = found->second;
    const QByteArray sender =
        family.AddressBytes(reinterpret_cast<const sockaddr *>(&received.From));
    const bool reply = parsed.Kind == TIcmpMessage::TKind::EchoReply;
    if (!datagram && (reply ? sender != probe.Target : parsed.QuotedDestination != probe.Target)) {
        return true;
    }
    // The kernel's time stamp minus the moment of sending; on the monotonic clock when there is
    // no stamp or the real-time clock was set back in between.
    const qint64 stamp = received.StampNs();
    qint64 trip = stamp > 0 ? stamp - probe.SentRealNs : -1;
    if (trip < 0) {
        trip = ClockNs(CLOCK_MONOTONIC) - probe.SentMonotonicNs;
    }
    TPingReply outcome;
    outcome.TripMicroseconds = static_cast<quint32>(qMin<qint64>(trip / 1000, 0xFFFFFFFF));
    if (reply && trip > static_cast<qint64>(probe.TimeOutMs) * 1000000) {
        // Arrived after the time-out; the loop was late to notice the time was up.
        outcome = TPingReply{};
        outcome.StatusCode = kRequestTimedOut;
        outcome.ProtocolAddress = family.AddressText(probe.Target);
    } else if (reply) {
        if (parsed.Ttl < 0) {
            parsed.Ttl = family.ReadTtl(&received.Message);
        }
        outcome.StatusCode = 0;
        // Whole milliseconds, truncated, as the platform's ping status reports them; a reply
        // within the first millisecond is 0 and shows as "<1 ms".
        outcome.ResponseTime = static_cast<quint32>(trip / 1000000);
        outcome.ProtocolAddress = family.AddressText(sender);
        outcome.ReplySize = parsed.PayloadSize;
        outcome.TimeToLive = parsed.Ttl < 0 ? 0 : static_cast<quint32>(parsed.Ttl);
    } else {
        outcome.StatusCode = parsed.Status;
        outcome.ProtocolAddress = family.AddressText(sender);
    }
    Finish(channel, parsed.Sequence, outcome);
    return true;
}
