#include <arpa/inet.h>
#include <errno.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QByteArray>
#include <atomic>
#include <cstring>

#include "common/Errors.h"
#include "ping/EchoService.h"

namespace {

// Status codes of the ping status table that the socket outcomes map to.
constexpr qint32 kDestinationNetUnreachable = 11002;
constexpr qint32 kDestinationHostUnreachable = 11003;
constexpr qint32 kDestinationProtocolUnreachable = 11004;
constexpr qint32 kDestinationPortUnreachable = 11005;
constexpr qint32 kNoResources = 11006;
constexpr qint32 kPacketTooBig = 11009;
constexpr qint32 kRequestTimedOut = 11010;
constexpr qint32 kBadRoute = 11012;
constexpr qint32 kTtlExpiredTransit = 11013;
constexpr qint32 kTtlExpiredReassembly = 11014;
constexpr qint32 kParameterProblem = 11015;
constexpr qint32 kSourceQuench = 11016;
constexpr qint32 kGeneralFailure = 11050;

constexpr int kIcmpHeaderSize = 8;

QString SystemText(int error) {
    return QString::fromLocal8Bit(strerror(error));
}

qint64 MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

quint16 Checksum(const unsigned char *data, size_t length) {
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        sum += static_cast<quint32>(data[i] << 8 | data[i + 1]);
    }
    if (length % 2 != 0) {
        sum += static_cast<quint32>(data[length - 1] << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<quint16>(~sum & 0xFFFF);
}

// Maps an ICMP error (type, code) to the status table; 0 for a message that is no error of ours.
qint32 StatusOfIcmpError(int type, int code) {
    switch (type) {
        case ICMP_DEST_UNREACH:
            switch (code) {
                case ICMP_NET_UNREACH:
                case ICMP_NET_UNKNOWN:
                case ICMP_NET_ANO:
                case ICMP_NET_UNR_TOS:
                    return kDestinationNetUnreachable;
                case ICMP_PROT_UNREACH:
                    return kDestinationProtocolUnreachable;
                case ICMP_PORT_UNREACH:
                    return kDestinationPortUnreachable;
                case ICMP_FRAG_NEEDED:
                    return kPacketTooBig;
                case ICMP_SR_FAILED:
                    return kBadRoute;
                default:
                    // Host unreachable, unknown, isolated, prohibited: all say the host cannot
                    // be reached.
                    return kDestinationHostUnreachable;
            }
        case ICMP_TIME_EXCEEDED:
            return code == ICMP_EXC_FRAGTIME ? kTtlExpiredReassembly : kTtlExpiredTransit;
        case ICMP_PARAMETERPROB:
            return kParameterProblem;
        case ICMP_SOURCE_QUENCH:
            return kSourceQuench;
        default:
            return 0;
    }
}

// Maps a send that the local stack refused to the status table.
qint32 StatusOfSendError(int error) {
    switch (error) {
        case ENETUNREACH:
        case ENETDOWN:
            return kDestinationNetUnreachable;
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return kDestinationHostUnreachable;
        case EMSGSIZE:
            return kPacketTooBig;
        case ENOBUFS:
        case ENOMEM:
            return kNoResources;
        default:
            return kGeneralFailure;
    }
}

QString AddressText(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

// RFC 6761, 6.4: resolvers should answer names under "invalid." negatively at once instead of
// asking a name server that may be slow or unreachable.
bool IsReservedInvalidName(const QString &name) {
    QString lower = name.toLower();
    if (lower.endsWith(QLatin1Char('.'))) {
        lower.chop(1);
    }
    return lower == QLatin1String("invalid") || lower.endsWith(QLatin1String(".invalid"));
}

std::optional<in_addr> Resolve(const QString &name) {
    if (name.isEmpty() || IsReservedInvalidName(name)) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *result = nullptr;
    const QByteArray host = name.toUtf8();
    if (host.contains('\0') || getaddrinfo(host.constData(), nullptr, &hints, &result) != 0 ||
        result == nullptr) {
        return std::nullopt;
    }
    const in_addr address = reinterpret_cast<const sockaddr_in *>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    return address;
}

// Empties both queues, so a late answer to an earlier request is never taken for this one.
void Drain(int socket, bool errorQueue) {
    char buffer[2048];
    while (recv(socket, buffer, sizeof buffer, MSG_DONTWAIT) >= 0 || errno == EINTR) {
    }
    if (errorQueue) {
        while (recv(socket, buffer, sizeof buffer, MSG_DONTWAIT | MSG_ERRQUEUE) >= 0 ||
               errno == EINTR) {
        }
    }
}

std::atomic<quint16> nextIdentifier{static_cast<quint16>(getpid() * 2654435761u >> 16)};

}  // namespace

TIcmpEchoService::TIcmpEchoService(TIcmpSocketKind kind) : kind_(kind) {
    int datagramError = 0;
    if (kind == TIcmpSocketKind::Automatic || kind == TIcmpSocketKind::Datagram) {
        // The kernel decides (effective and supplementary groups against ping_group_range);
        // a refusal just moves on to the raw socket.
        socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        datagramError = socket_ < 0 ? errno : 0;
        if (socket_ >= 0) {
            kind_ = TIcmpSocketKind::Datagram;
        }
    }
    if (socket_ < 0 && (kind == TIcmpSocketKind::Automatic || kind == TIcmpSocketKind::Raw)) {
        socket_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
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

    if (kind_ == TIcmpSocketKind::Datagram) {
        // ICMP errors about our requests arrive on the error queue, and the TTL of a reply as
        // ancillary data.
        const int on = 1;
        setsockopt(socket_, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        setsockopt(socket_, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    } else {
        // A raw socket sees every ICMP message of the host, our own echo requests on loopback
        // included; let the kernel pass only replies and the errors that may concern us.
        icmp_filter filter{};
        filter.data =
            ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
              (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
        setsockopt(socket_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    identifier_ = nextIdentifier.fetch_add(1);
}

TIcmpEchoService::~TIcmpEchoService() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

std::optional<TPingReply> TIcmpEchoService::ExecQuery(const QString &query) {
    const TEchoQuery request = ParseEchoQuery(query);
    TPingReply reply;

    const std::optional<in_addr> destination = Resolve(request.Address);
    if (!destination) {
        return reply;  // null status: the request could not be processed
    }
    const QString destinationText = AddressText(*destination);
    const bool datagram = kind_ == TIcmpSocketKind::Datagram;
    Drain(socket_, datagram);

    const quint16 sequence = ++sequence_;
    QByteArray packet(kIcmpHeaderSize + request.BufferSize, '\0');
    auto *bytes = reinterpret_cast<unsigned char *>(packet.data());
    bytes[0] = ICMP_ECHO;
    bytes[4] = static_cast<unsigned char>(identifier_ >> 8);
    bytes[5] = static_cast<unsigned char>(identifier_ & 0xFF);
    bytes[6] = static_cast<unsigned char>(sequence >> 8);
    bytes[7] = static_cast<unsigned char>(sequence & 0xFF);
    for (int i = 0; i < request.BufferSize; ++i) {
        bytes[kIcmpHeaderSize + i] = static_cast<unsigned char>('a' + i % 23);
    }
    const quint16 sum = Checksum(bytes, static_cast<size_t>(packet.size()));
    bytes[2] = static_cast<unsigned char>(sum >> 8);
    bytes[3] = static_cast<unsigned char>(sum & 0xFF);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = *destination;

    const qint64 started = MonotonicMicroseconds();
    const qint64 deadline = started + static_cast<qint64>(request.TimeOut) * 1000;
    ssize_t sent = -1;
    do {
        sent = sendto(socket_, packet.constData(), static_cast<size_t>(packet.size()), 0,
                      reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        if (errno == EACCES || errno == EPERM) {
            // A broadcast address, or a firewall rule on this host: the request never left.
            reply.StatusCode = kGeneralFailure;
        } else {
            reply.StatusCode = StatusOfSendError(errno);
        }
        reply.ProtocolAddress = destinationText;
        return reply;
    }

    QByteArray buffer(65536 + 512, '\0');
    char control[512];
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

        sockaddr_in from{};
        iovec io{buffer.data(), static_cast<size_t>(buffer.size())};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;

        if (datagram && (waiting.revents & POLLERR)) {
            const ssize_t length = recvmsg(socket_, &message, MSG_DONTWAIT | MSG_ERRQUEUE);
            if (length < static_cast<ssize_t>(kIcmpHeaderSize)) {
                continue;
            }
            const auto *original = reinterpret_cast<const unsigned char *>(buffer.constData());
            if (original[0] != ICMP_ECHO || (original[6] << 8 | original[7]) != sequence) {
                continue;  // an error about an earlier request
            }
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) {
                    continue;
                }
                const auto *error = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
                const auto *offender = reinterpret_cast<const sockaddr_in *>(SO_EE_OFFENDER(error));
                if (error->ee_origin == SO_EE_ORIGIN_ICMP) {
                    reply.StatusCode = StatusOfIcmpError(error->ee_type, error->ee_code);
                    if (*reply.StatusCode == 0) {
                        reply.StatusCode = kGeneralFailure;
                    }
                } else {
                    reply.StatusCode = StatusOfSendError(static_cast<int>(error->ee_errno));
                }
                reply.ProtocolAddress = offender->sin_family == AF_INET
                                            ? AddressText(offender->sin_addr)
                                            : destinationText;
                return reply;
            }
            continue;
        }

        const ssize_t length = recvmsg(socket_, &message, MSG_DONTWAIT);
        const qint64 arrived = MonotonicMicroseconds();
        if (length < 0) {
            continue;
        }
        const auto *data = reinterpret_cast<const unsigned char *>(buffer.constData());
        size_t size = static_cast<size_t>(length);
        int ttl = -1;

        if (!datagram) {
            // Raw: the IPv4 header comes first; it carries the TTL.
            if (size < sizeof(iphdr)) {
                continue;
            }
            const auto *ip = reinterpret_cast<const iphdr *>(data);
            const size_t headerSize = static_cast<size_t>(ip->ihl) * 4;
            if (ip->protocol != IPPROTO_ICMP || headerSize < sizeof(iphdr) ||
                size < headerSize + kIcmpHeaderSize) {
                continue;
            }
            ttl = ip->ttl;
            data += headerSize;
            size -= headerSize;
        } else {
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                    int value = 0;
                    std::memcpy(&value, CMSG_DATA(c), sizeof value);
                    ttl = value;
                }
            }
            if (size < static_cast<size_t>(kIcmpHeaderSize)) {
                continue;
            }
        }

        const int type = data[0];
        const int code = data[1];
        const quint16 id = static_cast<quint16>(data[4] << 8 | data[5]);
        const quint16 seq = static_cast<quint16>(data[6] << 8 | data[7]);

        if (type == ICMP_ECHOREPLY) {
            // A datagram socket only ever sees replies to its own identifier (the kernel
            // rewrites it on sending), so only the raw socket compares it.
            if (seq != sequence || (!datagram && id != identifier_) ||
                (!datagram && from.sin_addr.s_addr != destination->s_addr)) {
                continue;
            }
            reply.StatusCode = 0;
            // Whole milliseconds, truncated, as the platform's ping status reports them; a
            // reply within the first millisecond is 0 and shows as "<1 ms".
            reply.ResponseTime = static_cast<quint32>((arrived - started) / 1000);
            reply.ProtocolAddress = AddressText(from.sin_addr);
            reply.ReplySize = static_cast<quint32>(size - kIcmpHeaderSize);
            reply.TimeToLive = ttl < 0 ? 0 : static_cast<quint32>(ttl);
            return reply;
        }

        if (datagram) {
            continue;  // errors reach a datagram socket through the error queue only
        }
        // Raw: an ICMP error quotes the IPv4 header and the first 8 bytes of the packet it is
        // about; it is ours when that was our echo request to our destination.
        const qint32 status = StatusOfIcmpError(type, code);
        if (status == 0 || size < kIcmpHeaderSize + sizeof(iphdr)) {
            continue;
        }
        const auto *inner = reinterpret_cast<const iphdr *>(data + kIcmpHeaderSize);
        const size_t innerHeaderSize = static_cast<size_t>(inner->ihl) * 4;
        if (inner->protocol != IPPROTO_ICMP || innerHeaderSize < sizeof(iphdr) ||
            size < kIcmpHeaderSize + innerHeaderSize + kIcmpHeaderSize ||
            inner->daddr != destination->s_addr) {
            continue;
        }
        const unsigned char *quoted = data + kIcmpHeaderSize + innerHeaderSize;
        if (quoted[0] != ICMP_ECHO ||
            static_cast<quint16>(quoted[4] << 8 | quoted[5]) != identifier_ ||
            static_cast<quint16>(quoted[6] << 8 | quoted[7]) != sequence) {
            continue;
        }
        reply.StatusCode = status;
        reply.ProtocolAddress = AddressText(from.sin_addr);
        return reply;
    }

    reply.StatusCode = kRequestTimedOut;
    reply.ProtocolAddress = destinationText;
    return reply;
}
