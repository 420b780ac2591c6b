#include "ping/EchoFamily.h"

#include <arpa/inet.h>
#include <errno.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>

#include <cstring>

namespace {

// Status codes of the ping status table that the socket outcomes map to.
constexpr qint32 kDestinationNetUnreachable = 11002;
constexpr qint32 kDestinationHostUnreachable = 11003;
constexpr qint32 kDestinationProtocolUnreachable = 11004;
constexpr qint32 kDestinationPortUnreachable = 11005;
constexpr qint32 kNoResources = 11006;
constexpr qint32 kPacketTooBig = 11009;
constexpr qint32 kBadRoute = 11012;
constexpr qint32 kTtlExpiredTransit = 11013;
constexpr qint32 kTtlExpiredReassembly = 11014;
constexpr qint32 kParameterProblem = 11015;
constexpr qint32 kSourceQuench = 11016;
constexpr qint32 kGeneralFailure = 11050;

constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kIpv4HeaderSize = 20;
// The longest name DNS can carry, without the final dot.
constexpr int kMaxDnsNameLength = 253;

quint16 Read16(const unsigned char *data) {
    return static_cast<quint16>(data[0] << 8 | data[1]);
}

// Header length of the IPv4 header at `data` when the bytes hold a whole ICMP packet after it,
// else 0.
std::size_t Ipv4IcmpHeaderSize(const unsigned char *data, std::size_t size) {
    if (size < kIpv4HeaderSize) {
        return 0;
    }
    const std::size_t headerSize = static_cast<std::size_t>(data[0] & 0x0F) * 4;
    const int protocol = data[9];
    if ((data[0] >> 4) != 4 || protocol != IPPROTO_ICMP || headerSize < kIpv4HeaderSize ||
        size < headerSize + kIcmpHeaderSize) {
        return 0;
    }
    return headerSize;
}

qint32 StatusOfIcmpV4Error(int type, int code) {
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

// ICMP header first: an echo reply, or nothing of ours.
TIcmpMessage ParseIcmpV4Datagram(const unsigned char *data, std::size_t size) {
    TIcmpMessage message;
    if (size < kIcmpHeaderSize || data[0] != ICMP_ECHOREPLY) {
        return message;
    }
    message.Kind = TIcmpMessage::TKind::EchoReply;
    message.Identifier = Read16(data + 4);
    message.Sequence = Read16(data + 6);
    message.PayloadSize = static_cast<quint32>(size - kIcmpHeaderSize);
    return message;
}

// IPv4 header first; it carries the TTL. An ICMP error quotes the IPv4 header and the first 8
// bytes of the packet it is about, which tells whether that was an echo request and whose.
TIcmpMessage ParseIcmpV4Raw(const unsigned char *data, std::size_t size) {
    const std::size_t headerSize = Ipv4IcmpHeaderSize(data, size);
    if (headerSize == 0) {
        return {};
    }
    const unsigned char *icmp = data + headerSize;
    const std::size_t icmpSize = size - headerSize;
    if (icmp[0] == ICMP_ECHOREPLY) {
        TIcmpMessage message = ParseIcmpV4Datagram(icmp, icmpSize);
        message.Ttl = data[8];
        return message;
    }
    const qint32 status = StatusOfIcmpV4Error(icmp[0], icmp[1]);
    const std::size_t innerSize =
        Ipv4IcmpHeaderSize(icmp + kIcmpHeaderSize, icmpSize - kIcmpHeaderSize);
    if (status == 0 || innerSize == 0) {
        return {};
    }
    const unsigned char *inner = icmp + kIcmpHeaderSize;
    const unsigned char *quoted = inner + innerSize;
    if (quoted[0] != ICMP_ECHO) {
        return {};
    }
    TIcmpMessage message;
    message.Kind = TIcmpMessage::TKind::Error;
    message.Status = status;
    message.Identifier = Read16(quoted + 4);
    message.Sequence = Read16(quoted + 6);
    message.QuotedDestination = QByteArray(reinterpret_cast<const char *>(inner + 16), 4);
    message.Ttl = data[8];
    return message;
}

QByteArray BuildIcmpV4Request(quint16 identifier, quint16 sequence, quint16 payloadSize) {
    QByteArray packet(static_cast<int>(kIcmpHeaderSize) + payloadSize, '\0');
    auto *bytes = reinterpret_cast<unsigned char *>(packet.data());
    bytes[0] = ICMP_ECHO;
    bytes[4] = static_cast<unsigned char>(identifier >> 8);
    bytes[5] = static_cast<unsigned char>(identifier & 0xFF);
    bytes[6] = static_cast<unsigned char>(sequence >> 8);
    bytes[7] = static_cast<unsigned char>(sequence & 0xFF);
    for (int i = 0; i < payloadSize; ++i) {
        bytes[kIcmpHeaderSize + i] = static_cast<unsigned char>('a' + i % 23);
    }
    const quint16 sum = IcmpChecksum(bytes, static_cast<std::size_t>(packet.size()));
    bytes[2] = static_cast<unsigned char>(sum >> 8);
    bytes[3] = static_cast<unsigned char>(sum & 0xFF);
    return packet;
}

QByteArray Ipv4Bytes(const sockaddr *address) {
    if (address == nullptr || address->sa_family != AF_INET) {
        return {};
    }
    sockaddr_in v4{};
    std::memcpy(&v4, address, sizeof v4);
    return QByteArray(reinterpret_cast<const char *>(&v4.sin_addr), 4);
}

QString Ipv4Text(const QByteArray &raw) {
    if (raw.size() != 4) {
        return QString();
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, raw.constData(), text, sizeof text);
    return QString::fromLatin1(text);
}

std::optional<TEchoTarget> ResolveIpv4(const QString &name) {
    if (IsUnresolvableName(name)) {
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
    TEchoTarget target;
    std::memcpy(&target.Address, result->ai_addr, result->ai_addrlen);
    target.Length = result->ai_addrlen;
    target.Raw = Ipv4Bytes(result->ai_addr);
    freeaddrinfo(result);
    return target;
}

void ConfigureIpv4Socket(int socket, bool datagram) {
    if (datagram) {
        // ICMP errors about our requests arrive on the error queue, and the TTL of a reply as
        // ancillary data.
        const int on = 1;
        setsockopt(socket, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        setsockopt(socket, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    } else {
        // A raw socket sees every ICMP message of the host, our own echo requests on loopback
        // included; let the kernel pass only replies and the errors that may concern us.
        icmp_filter filter{};
        filter.data =
            ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
              (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
        setsockopt(socket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
}

int ReadIpv4Ttl(msghdr *message) {
    int ttl = -1;
    for (cmsghdr *c = CMSG_FIRSTHDR(message); c != nullptr; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
        }
    }
    return ttl;
}

}  // namespace

const TEchoFamily kEchoIPv4 = {
    AF_INET,
    IPPROTO_ICMP,
    ICMP_ECHO,
    ResolveIpv4,
    Ipv4Bytes,
    Ipv4Text,
    BuildIcmpV4Request,
    ParseIcmpV4Raw,
    ParseIcmpV4Datagram,
    StatusOfIcmpV4Error,
    ConfigureIpv4Socket,
    ReadIpv4Ttl,
    IPPROTO_IP,
    IP_RECVERR,
    SO_EE_ORIGIN_ICMP,
};

quint16 IcmpChecksum(const unsigned char *data, std::size_t length) {
    quint32 sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
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

std::optional<quint16> QueuedRequestSequence(const unsigned char *data, std::size_t size,
                                             int echoRequestType) {
    if (size < kIcmpHeaderSize || data[0] != echoRequestType) {
        return std::nullopt;
    }
    return Read16(data + 6);
}

bool IsUnresolvableName(const QString &name) {
    QString lower = name.toLower();
    if (lower.endsWith(QLatin1Char('.'))) {
        lower.chop(1);
    }
    return lower.isEmpty() || lower.size() > kMaxDnsNameLength ||
           lower == QLatin1String("invalid") || lower.endsWith(QLatin1String(".invalid"));
}
