#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <linux/errqueue.h>

#include <QByteArray>
#include <atomic>

#include "common/Errors.h"
#include "ping/EchoService.h"

namespace {

constexpr qint32 kRequestTimedOut = 11010;
constexpr qint32 kGeneralFailure = 11050;

// Big enough for any IPv4 datagram with its header, and any ICMPv6 message.
constexpr int kReceiveBufferSize = 65536 + 512;

QString SystemText(int error) {
    return QString::fromLocal8Bit(strerror(error));
}

qint64 MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
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
    char Control[512];
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
        Length = recvmsg(socket, &Message, flags);
    }
    TReceived(const TReceived &) = delete;
    TReceived &operator=(const TReceived &) = delete;
};

}  // namespace

TIcmpEchoService::TIcmpEchoService(TIcmpSocketKind kind) {
    // Allocated before the socket is opened, so a failure here leaves nothing open.
    buffer_ = QByteArray(kReceiveBufferSize, '\0');
    ipv4_ = Open(kEchoIPv4, kind);
    // Both sockets are made now, as iputils' ping makes them before it gives up its privileges:
    // a request then works from any thread. A system without IPv6 still pings over IPv4.
    try {
        ipv6_ = Open(kEchoIPv6, kind);
    } catch (const TxError &error) {
        ipv6Error_ = error.Message();
    }
    identifier_ = nextIdentifier.fetch_add(1);
}

TIcmpEchoService::~TIcmpEchoService() {
    for (const TChannel *channel : {&ipv4_, &ipv6_}) {
        if (channel->Socket >= 0) {
            ::close(channel->Socket);
        }
    }
}

TIcmpEchoService::TChannel TIcmpEchoService::Open(const TEchoFamily &family, TIcmpSocketKind kind) {
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
    return channel;
}

TIcmpEchoService::TChannel &TIcmpEchoService::ChannelFor(const TEchoFamily &family) {
    if (&family == &kEchoIPv4) {
        return ipv4_;
    }
    if (ipv6_.Socket < 0) {
        throw TxError(ipv6Error_);
    }
    return ipv6_;
}

std::optional<TPingReply> TIcmpEchoService::ExecQuery(const TEchoQuery &query) {
    const std::optional<TEchoTarget> target = ResolveEchoTarget(query.Address);
    if (!target) {
        return TPingReply{};  // null status: the request could not be processed
    }
    TChannel &channel = ChannelFor(*target->Family);
    if (channel.Family->SetTtl != nullptr && channel.Ttl != query.TimeToLive) {
        if (!channel.Family->SetTtl(channel.Socket, query.TimeToLive)) {
            const int error = errno;
            throw TxError(QStringLiteral("Cannot set the time to live %1: %2")
                              .arg(query.TimeToLive)
                              .arg(SystemText(error)));
        }
        channel.Ttl = query.TimeToLive;
    }
    Drain(channel);
    const quint16 sequence = ++sequence_;
    const qint64 started = MonotonicMicroseconds();
    if (const std::optional<qint32> refused = Send(channel, *target, sequence, query.BufferSize)) {
        TPingReply reply;
        reply.StatusCode = *refused;
        reply.ProtocolAddress = channel.Family->AddressText(target->Raw);
        return reply;
    }
    const qint64 deadline = started + static_cast<qint64>(query.TimeOut) * 1000;
    return WaitForAnswer(channel, *target, sequence, started, deadline);
}

// Empties both queues, so a late answer to an earlier request is never taken for this one.
void TIcmpEchoService::Drain(const TChannel &channel) {
    char buffer[2048];
    while (recv(channel.Socket, buffer, sizeof buffer, MSG_DONTWAIT) >= 0 || errno == EINTR) {
    }
    if (channel.Kind == TIcmpSocketKind::Datagram) {
        while (recv(channel.Socket, buffer, sizeof buffer, MSG_DONTWAIT | MSG_ERRQUEUE) >= 0 ||
               errno == EINTR) {
        }
    }
}

// Returns the status of a send that the local stack refused, or no value when the request left.
std::optional<qint32> TIcmpEchoService::Send(const TChannel &channel, const TEchoTarget &target,
                                             quint16 sequence, quint16 payloadSize) {
    const QByteArray packet = channel.Family->BuildRequest(identifier_, sequence, payloadSize);
    ssize_t sent = -1;
    do {
        sent = sendto(channel.Socket, packet.constData(), static_cast<size_t>(packet.size()), 0,
                      reinterpret_cast<const sockaddr *>(&target.Address), target.Length);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) {
        return std::nullopt;
    }
    // EACCES, EPERM: a broadcast address, or a firewall rule on this host; the request never left.
    return errno == EACCES || errno == EPERM ? kGeneralFailure : StatusOfSendError(errno);
}

// Waits for the answer to request `sequence` until the deadline: a reply or an ICMP error about
// it, read from whichever queue has it; anything else is dropped.
std::optional<TPingReply> TIcmpEchoService::WaitForAnswer(const TChannel &channel,
                                                          const TEchoTarget &target,
                                                          quint16 sequence, qint64 started,
                                                          qint64 deadline) {
    for (;;) {
        const qint64 now = MonotonicMicroseconds();
        if (now >= deadline) {
            break;
        }
        pollfd waiting{channel.Socket, POLLIN, 0};
        const int remainingMs = static_cast<int>((deadline - now + 999) / 1000);
        const int ready = poll(&waiting, 1, remainingMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TxError(QStringLiteral("Echo request failed: %1").arg(SystemText(errno)));
        }
        if (ready == 0) {
            continue;  // the loop head decides whether the time is up
        }
        std::optional<TPingReply> answer;
        if (channel.Kind == TIcmpSocketKind::Datagram && (waiting.revents & POLLERR)) {
            answer = ReadErrorQueue(channel, target, sequence);
        } else {
            answer = ReadReply(channel, target, sequence, started);
        }
        if (answer) {
            return answer;
        }
    }
    TPingReply reply;
    reply.StatusCode = kRequestTimedOut;
    reply.ProtocolAddress = channel.Family->AddressText(target.Raw);
    return reply;
}

// A datagram socket hands ICMP errors about its requests to the error queue: the request as
// sent, and the error (or local failure) as ancillary data.
std::optional<TPingReply> TIcmpEchoService::ReadErrorQueue(const TChannel &channel,
                                                           const TEchoTarget &target,
                                                           quint16 sequence) {
    const TEchoFamily &family = *channel.Family;
    auto *buffer = reinterpret_cast<unsigned char *>(buffer_.data());
    TReceived received(channel.Socket, buffer_, MSG_DONTWAIT | MSG_ERRQUEUE);
    msghdr &message = received.Message;
    const ssize_t length = received.Length;
    if (length < 0) {
        return std::nullopt;
    }
    if (QueuedRequestSequence(buffer, static_cast<size_t>(length), family.EchoRequestType) !=
        sequence) {
        return std::nullopt;  // an error about an earlier request
    }
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
        reply.ProtocolAddress = family.AddressText(from.isEmpty() ? target.Raw : from);
        return reply;
    }
    return std::nullopt;
}

// Reads one message from the socket and returns it when it answers request `sequence` to
// `target`: a reply, or (raw socket) an ICMP error quoting that request.
std::optional<TPingReply> TIcmpEchoService::ReadReply(const TChannel &channel,
                                                      const TEchoTarget &target, quint16 sequence,
                                                      qint64 started) {
    const TEchoFamily &family = *channel.Family;
    auto *buffer = reinterpret_cast<unsigned char *>(buffer_.data());
    TReceived received(channel.Socket, buffer_, MSG_DONTWAIT);
    const qint64 arrived = MonotonicMicroseconds();
    msghdr &message = received.Message;
    const ssize_t length = received.Length;
    if (length < 0) {
        return std::nullopt;
    }
    const bool datagram = channel.Kind == TIcmpSocketKind::Datagram;
    const size_t size = static_cast<size_t>(length);
    TIcmpMessage parsed =
        datagram ? family.ParseDatagram(buffer, size) : family.ParseRaw(buffer, size);
    if (parsed.Ttl < 0) {
        parsed.Ttl = family.ReadTtl(&message);
    }
    const QByteArray sender =
        family.AddressBytes(reinterpret_cast<const sockaddr *>(&received.From));
    // A datagram socket only ever sees replies to its own identifier (the kernel rewrites it on
    // sending), so only the raw socket, which sees every ICMP message of the host, compares it.
    const bool ours = parsed.Sequence == sequence && (datagram || parsed.Identifier == identifier_);
    TPingReply reply;
    if (parsed.Kind == TIcmpMessage::TKind::EchoReply && ours &&
        (datagram || sender == target.Raw)) {
        reply.StatusCode = 0;
        // Whole milliseconds, truncated, as the platform's ping status reports them; a reply
        // within the first millisecond is 0 and shows as "<1 ms".
        reply.ResponseTime = static_cast<quint32>((arrived - started) / 1000);
        reply.ProtocolAddress = family.AddressText(sender);
        reply.ReplySize = parsed.PayloadSize;
        reply.TimeToLive = parsed.Ttl < 0 ? 0 : static_cast<quint32>(parsed.Ttl);
        return reply;
    }
    if (parsed.Kind == TIcmpMessage::TKind::Error && ours && !datagram &&
        parsed.QuotedDestination == target.Raw) {
        reply.StatusCode = parsed.Status;
        reply.ProtocolAddress = family.AddressText(sender);
        return reply;
    }
    return std::nullopt;
}
