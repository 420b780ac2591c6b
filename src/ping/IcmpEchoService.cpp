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

// Big enough for any IPv4 datagram with its header.
constexpr int kReceiveBufferSize = 65536 + 512;

QString SystemText(int error) {
    return QString::fromLocal8Bit(strerror(error));
}

qint64 MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

std::atomic<quint16> nextIdentifier{static_cast<quint16>(getpid() * 2654435761u >> 16)};

}  // namespace

TIcmpEchoService::TIcmpEchoService(TIcmpSocketKind kind) : family_(kEchoIPv4), kind_(kind) {
    // Allocated before the socket is opened, so a failure here leaves nothing open.
    buffer_ = QByteArray(kReceiveBufferSize, '\0');
    int datagramError = 0;
    if (kind == TIcmpSocketKind::Automatic || kind == TIcmpSocketKind::Datagram) {
        // The kernel decides (effective and supplementary groups against ping_group_range);
        // a refusal just moves on to the raw socket.
        socket_ = ::socket(family_.Domain, SOCK_DGRAM | SOCK_CLOEXEC, family_.Protocol);
        datagramError = socket_ < 0 ? errno : 0;
        if (socket_ >= 0) {
            kind_ = TIcmpSocketKind::Datagram;
        }
    }
    if (socket_ < 0 && (kind == TIcmpSocketKind::Automatic || kind == TIcmpSocketKind::Raw)) {
        socket_ = ::socket(family_.Domain, SOCK_RAW | SOCK_CLOEXEC, family_.Protocol);
        const int rawError = socket_ < 0 ? errno : 0;
        if (socket_ < 0) {
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
        kind_ = TIcmpSocketKind::Raw;
    }
    if (socket_ < 0) {
        throw TxError(QStringLiteral("Cannot send echo requests: no ICMP datagram socket "
                                     "(net.ipv4.ping_group_range does not include the group; %1).")
                          .arg(SystemText(datagramError)));
    }

    family_.ConfigureSocket(socket_, kind_ == TIcmpSocketKind::Datagram);
    identifier_ = nextIdentifier.fetch_add(1);
}

TIcmpEchoService::~TIcmpEchoService() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

std::optional<TPingReply> TIcmpEchoService::ExecQuery(const TEchoQuery &query) {
    const std::optional<TEchoTarget> target = family_.Resolve(query.Address);
    if (!target) {
        return TPingReply{};  // null status: the request could not be processed
    }
    Drain();
    const quint16 sequence = ++sequence_;
    const qint64 started = MonotonicMicroseconds();
    if (const std::optional<qint32> refused = Send(*target, sequence, query.BufferSize)) {
        TPingReply reply;
        reply.StatusCode = *refused;
        reply.ProtocolAddress = family_.AddressText(target->Raw);
        return reply;
    }
    const qint64 deadline = started + static_cast<qint64>(query.TimeOut) * 1000;
    return WaitForAnswer(*target, sequence, started, deadline);
}

// Empties both queues, so a late answer to an earlier request is never taken for this one.
void TIcmpEchoService::Drain() {
    char buffer[2048];
    while (recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0 || errno == EINTR) {
    }
    if (kind_ == TIcmpSocketKind::Datagram) {
        while (recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT | MSG_ERRQUEUE) >= 0 ||
               errno == EINTR) {
        }
    }
}

// Returns the status of a send that the local stack refused, or no value when the request left.
std::optional<qint32> TIcmpEchoService::Send(const TEchoTarget &target, quint16 sequence,
                                             quint16 payloadSize) {
    const QByteArray packet = family_.BuildRequest(identifier_, sequence, payloadSize);
    ssize_t sent = -1;
    do {
        sent = sendto(socket_, packet.constData(), static_cast<size_t>(packet.size()), 0,
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
std::optional<TPingReply> TIcmpEchoService::WaitForAnswer(const TEchoTarget &target,
                                                          quint16 sequence, qint64 started,
                                                          qint64 deadline) {
    for (;;) {
        const qint64 now = MonotonicMicroseconds();
        if (now >= deadline) {
            break;
        }
        pollfd waiting{socket_, POLLIN, 0};
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
        if (kind_ == TIcmpSocketKind::Datagram && (waiting.revents & POLLERR)) {
            answer = ReadErrorQueue(target, sequence);
        } else {
            answer = ReadReply(target, sequence, started);
        }
        if (answer) {
            return answer;
        }
    }
    TPingReply reply;
    reply.StatusCode = kRequestTimedOut;
    reply.ProtocolAddress = family_.AddressText(target.Raw);
    return reply;
}

// A datagram socket hands ICMP errors about its requests to the error queue: the request as
// sent, and the error (or local failure) as ancillary data.
std::optional<TPingReply> TIcmpEchoService::ReadErrorQueue(const TEchoTarget &target,
                                                           quint16 sequence) {
    auto *buffer = reinterpret_cast<unsigned char *>(buffer_.data());
    char control[512];
    sockaddr_storage offender{};
    iovec io{buffer, static_cast<size_t>(buffer_.size())};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = recvmsg(socket_, &message, MSG_DONTWAIT | MSG_ERRQUEUE);
    if (length < 0) {
        return std::nullopt;
    }
    if (QueuedRequestSequence(buffer, static_cast<size_t>(length), family_.EchoRequestType) !=
        sequence) {
        return std::nullopt;  // an error about an earlier request
    }
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != family_.ErrorLevel || c->cmsg_type != family_.ErrorType) {
            continue;
        }
        sock_extended_err error{};
        memcpy(&error, CMSG_DATA(c), sizeof error);
        TPingReply reply;
        if (error.ee_origin == family_.ErrorOriginIcmp) {
            const qint32 status = family_.StatusOfError(error.ee_type, error.ee_code);
            reply.StatusCode = status != 0 ? status : kGeneralFailure;
        } else {
            reply.StatusCode = StatusOfSendError(static_cast<int>(error.ee_errno));
        }
        const QByteArray from = family_.AddressBytes(
            SO_EE_OFFENDER(reinterpret_cast<sock_extended_err *>(CMSG_DATA(c))));
        reply.ProtocolAddress = family_.AddressText(from.isEmpty() ? target.Raw : from);
        return reply;
    }
    return std::nullopt;
}

// Reads one message from the socket and returns it when it answers request `sequence` to
// `target`: a reply, or (raw socket) an ICMP error quoting that request.
std::optional<TPingReply> TIcmpEchoService::ReadReply(const TEchoTarget &target, quint16 sequence,
                                                      qint64 started) {
    auto *buffer = reinterpret_cast<unsigned char *>(buffer_.data());
    char control[512];
    sockaddr_storage from{};
    iovec io{buffer, static_cast<size_t>(buffer_.size())};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = recvmsg(socket_, &message, MSG_DONTWAIT);
    const qint64 arrived = MonotonicMicroseconds();
    if (length < 0) {
        return std::nullopt;
    }
    const bool datagram = kind_ == TIcmpSocketKind::Datagram;
    const size_t size = static_cast<size_t>(length);
    TIcmpMessage parsed =
        datagram ? family_.ParseDatagram(buffer, size) : family_.ParseRaw(buffer, size);
    if (datagram) {
        parsed.Ttl = family_.ReadTtl(&message);
    }
    const QByteArray sender = family_.AddressBytes(reinterpret_cast<const sockaddr *>(&from));
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
        reply.ProtocolAddress = family_.AddressText(sender);
        reply.ReplySize = parsed.PayloadSize;
        reply.TimeToLive = parsed.Ttl < 0 ? 0 : static_cast<quint32>(parsed.Ttl);
        return reply;
    }
    if (parsed.Kind == TIcmpMessage::TKind::Error && ours && !datagram &&
        parsed.QuotedDestination == target.Raw) {
        reply.StatusCode = parsed.Status;
        reply.ProtocolAddress = family_.AddressText(sender);
        return reply;
    }
    return std::nullopt;
}
