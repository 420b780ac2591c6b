#include "ping/EchoFamily.h"

#include <arpa/inet.h>
#include <errno.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/TX_Net.h"

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
constexpr std::size_t kIpv6HeaderSize = 40;
// The longest IPv6 literal with a zone: the address text and an interface name (16 bytes).
constexpr int kMaxIpv6LiteralLength = INET6_ADDRSTRLEN + 16;
// The longest name DNS can carry, without the final dot.
constexpr int kMaxDnsNameLength = 253;

quint16 Read16(const unsigned char *data) {
    return static_cast<quint16>(data[0] << 8 | data[1]);
}

// Writes `value` in decimal at `out`; returns the end.
char *WriteDecimal(char *out, unsigned value) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

// Writes four address bytes in dotted form at `out`; returns the end.
char *WriteDotted(char *out, const unsigned char *bytes) {
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            *out++ = '.';
        }
        out = WriteDecimal(out, bytes[i]);
    }
    return out;
}

// Writes one group of an IPv6 address in lower-case hexadecimal without leading zeros at `out`;
// returns the end.
char *WriteHexGroup(char *out, quint16 group) {
    static const char kDigits[] = "0123456789abcdef";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int digit = (group >> shift) & 0xF;
        if (digit != 0 || started || shift == 0) {
            *out++ = kDigits[digit];
            started = true;
        }
    }
    return out;
}

// The target of address bytes of one family, as the resolver gives it for a literal: the port,
// flow label and scope 0.
TEchoTarget Ipv4Target(const unsigned char *bytes) {
    TEchoTarget target;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_addr, bytes, 4);
    std::memcpy(&target.Address, &address, sizeof address);
    target.Length = sizeof address;
    target.Raw = QByteArray(reinterpret_cast<const char *>(bytes), 4);
    target.Family = &kEchoIPv4;
    return target;
}

TEchoTarget Ipv6Target(const in6_addr &bytes) {
    TEchoTarget target;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = bytes;
    std::memcpy(&target.Address, &address, sizeof address);
    target.Length = sizeof address;
    target.Raw = QByteArray(reinterpret_cast<const char *>(&bytes), 16);
    target.Family = &kEchoIPv6;
    return target;
}

// The target of an address typed as a plain literal: a dotted IPv4 address ("192.0.2.1") or an
// IPv6 address without zone ("2001:db8::1", "::ffff:192.0.2.1"), nothing around it. No value
// for every other text, which takes the general way. A run that pings one literal reads it at
// every request, and this way costs no look-up, no allocation but the address bytes, and no
// text conversion; where it answers, the general way gives the very same target.
std::optional<TEchoTarget> PlainLiteralTarget(const QString &typed) {
    char text[INET6_ADDRSTRLEN];
    const qsizetype size = typed.size();
    if (size == 0 || size >= static_cast<qsizetype>(sizeof text)) {
        return std::nullopt;
    }
    const QChar *chars = typed.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i].unicode();
        const char16_t lower = c | 0x20;
        if (!((c >= '0' && c <= '9') || (lower >= 'a' && lower <= 'f') || c == ':' || c == '.')) {
            return std::nullopt;
        }
        text[i] = static_cast<char>(c);
    }
    text[size] = '\0';
    // inet_pton takes only four plain decimal parts, which the resolver reads the same way (it
    // would also take "127.1" or octal parts; those go the general way).
    unsigned char v4[4];
    if (inet_pton(AF_INET, text, v4) == 1) {
        return Ipv4Target(v4);
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, text, &v6) != 1) {
        return std::nullopt;
    }
    // An IPv4-mapped address can only be reached over IPv4.
    return IN6_IS_ADDR_V4MAPPED(&v6) ? Ipv4Target(v6.s6_addr + 12) : Ipv6Target(v6);
}

// The first address of `family` that the resolver gives for `name`.
std::optional<TEchoTarget> ResolveInFamily(const QString &name, const TEchoFamily &family) {
    if (IsUnresolvableName(name)) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = family.Domain;
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
    target.Raw = family.AddressBytes(result->ai_addr);
    target.Family = &family;
    freeaddrinfo(result);
    return target;
}

// The value of an integer of ancillary data, or -1 when the message carries none.
int ReadAncillaryInt(msghdr *message, int level, int type) {
    int value = -1;
    for (cmsghdr *c = CMSG_FIRSTHDR(message); c != nullptr; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level == level && c->cmsg_type == type) {
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
        }
    }
    return value;
}

// ICMP header first: an echo reply (of type `replyType`), or nothing of ours.
TIcmpMessage ParseEchoReply(const unsigned char *data, std::size_t size, int replyType) {
    TIcmpMessage message;
    if (size < kIcmpHeaderSize || data[0] != replyType) {
        return message;
    }
    message.Kind = TIcmpMessage::TKind::EchoReply;
    message.Identifier = Read16(data + 4);
    message.Sequence = Read16(data + 6);
    message.PayloadSize = static_cast<quint32>(size - kIcmpHeaderSize);
    return message;
}

// An ICMP error of `status` that quotes the packet whose ICMP header is at `quoted` and whose
// destination address (`destinationSize` bytes) is at `destination`: ours when that packet was an
// echo request (of type `requestType`), else nothing of ours.
TIcmpMessage QuotedRequestError(qint32 status, const unsigned char *quoted, int requestType,
                                const unsigned char *destination, int destinationSize) {
    TIcmpMessage message;
    if (quoted[0] != requestType) {
        return message;
    }
    message.Kind = TIcmpMessage::TKind::Error;
    message.Status = status;
    message.Identifier = Read16(quoted + 4);
    message.Sequence = Read16(quoted + 6);
    message.QuotedDestination =
        QByteArray(reinterpret_cast<const char *>(destination), destinationSize);
    return message;
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

TIcmpMessage ParseIcmpV4Datagram(const unsigned char *data, std::size_t size) {
    return ParseEchoReply(data, size, ICMP_ECHOREPLY);
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
    TIcmpMessage message = QuotedRequestError(status, inner + innerSize, ICMP_ECHO, inner + 16, 4);
    message.Ttl = message.Kind == TIcmpMessage::TKind::Error ? data[8] : -1;
    return message;
}

// Writes the echo request's header and payload into `packet` (checksum left at 0), the same
// payload for both families.
void FillEchoRequest(QByteArray &packet, int type, quint16 identifier, quint16 sequence) {
    auto *bytes = reinterpret_cast<unsigned char *>(packet.data());
    bytes[0] = static_cast<unsigned char>(type);
    bytes[4] = static_cast<unsigned char>(identifier >> 8);
    bytes[5] = static_cast<unsigned char>(identifier & 0xFF);
    bytes[6] = static_cast<unsigned char>(sequence >> 8);
    bytes[7] = static_cast<unsigned char>(sequence & 0xFF);
    // "abc...w" over and over, copied a whole round at a time.
    static const char kRound[] = "abcdefghijklmnopqrstuvw";
    constexpr std::size_t kRoundSize = sizeof kRound - 1;
    const auto size = static_cast<std::size_t>(packet.size());
    for (std::size_t at = kIcmpHeaderSize; at < size; at += kRoundSize) {
        std::memcpy(bytes + at, kRound, std::min(kRoundSize, size - at));
    }
}

QByteArray BuildIcmpV4Request(quint16 identifier, quint16 sequence, quint16 payloadSize) {
    QByteArray packet(static_cast<int>(kIcmpHeaderSize) + payloadSize, '\0');
    FillEchoRequest(packet, ICMP_ECHO, identifier, sequence);
    auto *bytes = reinterpret_cast<unsigned char *>(packet.data());
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
    // Written here rather than by inet_ntop, whose formatted printing takes four times as long:
    // every answer of a run is written this way.
    char text[INET_ADDRSTRLEN];
    const char *end = WriteDotted(text, reinterpret_cast<const unsigned char *>(raw.constData()));
    return QString::fromLatin1(text, end - text);
}

std::optional<TEchoTarget> ResolveIpv4(const QString &name) {
    return ResolveInFamily(name, kEchoIPv4);
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
    return ReadAncillaryInt(message, IPPROTO_IP, IP_TTL);
}

TIcmpMessage ParseIcmpV6Datagram(const unsigned char *data, std::size_t size) {
    return ParseEchoReply(data, size, ICMP6_ECHO_REPLY);
}

// A raw ICMPv6 socket hands over the ICMPv6 message without the IPv6 header (the hop limit comes
// as ancillary data). An error quotes as much of the offending packet as fits: its IPv6 header
// and, right behind it for our requests (which carry no extension headers), the echo request.
TIcmpMessage ParseIcmpV6Raw(const unsigned char *data, std::size_t size) {
    if (size < kIcmpHeaderSize) {
        return {};
    }
    if (data[0] == ICMP6_ECHO_REPLY) {
        return ParseIcmpV6Datagram(data, size);
    }
    const qint32 status = StatusOfIcmpV6Error(data[0], data[1]);
    const unsigned char *inner = data + kIcmpHeaderSize;
    if (status == 0 || size < kIcmpHeaderSize + kIpv6HeaderSize + kIcmpHeaderSize ||
        (inner[0] >> 4) != 6 || inner[6] != IPPROTO_ICMPV6) {
        return {};
    }
    return QuotedRequestError(status, inner + kIpv6HeaderSize, ICMP6_ECHO_REQUEST, inner + 24, 16);
}

// The checksum stays 0: the kernel computes it on raw and datagram ICMPv6 sockets alike.
QByteArray BuildIcmpV6Request(quint16 identifier, quint16 sequence, quint16 payloadSize) {
    QByteArray packet(static_cast<int>(kIcmpHeaderSize) + payloadSize, '\0');
    FillEchoRequest(packet, ICMP6_ECHO_REQUEST, identifier, sequence);
    return packet;
}

QByteArray Ipv6Bytes(const sockaddr *address) {
    if (address == nullptr || address->sa_family != AF_INET6) {
        return {};
    }
    sockaddr_in6 v6{};
    std::memcpy(&v6, address, sizeof v6);
    return QByteArray(reinterpret_cast<const char *>(&v6.sin6_addr), 16);
}

std::optional<TEchoTarget> ResolveIpv6(const QString &name) {
    return ResolveInFamily(name, kEchoIPv6);
}

void ConfigureIpv6Socket(int socket, bool datagram) {
    const int on = 1;
    setsockopt(socket, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
    if (datagram) {
        setsockopt(socket, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
    } else {
        // As for IPv4: only replies and the errors that may concern us, not our own requests
        // on loopback nor the neighbour discovery traffic of every link.
        icmp6_filter filter{};
        ICMP6_FILTER_SETBLOCKALL(&filter);
        for (int type : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG,
                         ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB}) {
            ICMP6_FILTER_SETPASS(type, &filter);
        }
        setsockopt(socket, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
}

int ReadIpv6HopLimit(msghdr *message) {
    return ReadAncillaryInt(message, IPPROTO_IPV6, IPV6_HOPLIMIT);
}

// True when `host` is an address of `family` written as numbers, which takes no look-up.
bool IsNumericHost(const QByteArray &host, int family) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo *result = nullptr;
    if (getaddrinfo(host.constData(), nullptr, &hints, &result) != 0) {
        return false;
    }
    freeaddrinfo(result);
    return true;
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
    IP_TTL,
    IPPROTO_IP,
    IP_RECVERR,
    SO_EE_ORIGIN_ICMP,
};

const TEchoFamily kEchoIPv6 = {
    AF_INET6,
    IPPROTO_ICMPV6,
    ICMP6_ECHO_REQUEST,
    ResolveIpv6,
    Ipv6Bytes,
    Ipv6AddressText,
    BuildIcmpV6Request,
    ParseIcmpV6Raw,
    ParseIcmpV6Datagram,
    StatusOfIcmpV6Error,
    ConfigureIpv6Socket,
    ReadIpv6HopLimit,
    IPPROTO_IPV6,
    IPV6_HOPLIMIT,
    IPPROTO_IPV6,
    IPV6_RECVERR,
    SO_EE_ORIGIN_ICMP6,
};

std::optional<TEchoTarget> ResolveEchoTarget(const QString &typed) {
    if (std::optional<TEchoTarget> literal = PlainLiteralTarget(typed)) {
        return literal;
    }
    const QString name = AddressToResolve(typed);
    const QString bracketed = BracketedIpv6Literal(name);
    if (!bracketed.isEmpty()) {
        // The literal as a bare one: an IPv4-mapped address goes over IPv4 there too.
        return ResolveEchoTarget(bracketed);
    }
    // A literal never reaches a name server; the IPv4 resolver would ask one about it.
    if (IsIpv6Literal(name)) {
        return kEchoIPv6.Resolve(name);
    }
    if (std::optional<TEchoTarget> ipv4 = kEchoIPv4.Resolve(name)) {
        return ipv4;
    }
    return kEchoIPv6.Resolve(name);
}

bool ResolvesWithoutLookup(const QString &typed) {
    if (PlainLiteralTarget(typed)) {
        return true;
    }
    const QString name = AddressToResolve(typed);
    if (IsUnresolvableName(name) || IsIpv6Literal(name) || !BracketedIpv6Literal(name).isEmpty()) {
        return true;
    }
    const QByteArray host = name.toUtf8();
    return host.contains('\0') || IsNumericHost(host, AF_INET);
}

QString BracketedIpv6Literal(const QString &text) {
    qsizetype at = 0;
    // A scheme (RFC 3986): a letter, then letters, digits, "+", "-" or ".", then "://".
    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    if (schemeEnd > 0 && text.at(0).isLetter() && text.at(0).unicode() < 128) {
        bool scheme = true;
        for (qsizetype i = 0; i < schemeEnd && scheme; ++i) {
            const char16_t c = text.at(i).unicode();
            scheme = c < 128 && (std::isalnum(c) || c == '+' || c == '-' || c == '.');
        }
        at = scheme ? schemeEnd + 3 : 0;
    }
    if (at >= text.size() || text.at(at) != QLatin1Char('[')) {
        return QString();
    }
    const qsizetype close = text.indexOf(QLatin1Char(']'), at);
    if (close < 0) {
        return QString();
    }
    qsizetype rest = close + 1;
    if (rest < text.size() && text.at(rest) == QLatin1Char(':')) {
        for (++rest; rest < text.size() && text.at(rest).unicode() < 128 &&
                     std::isdigit(text.at(rest).unicode());
             ++rest) {
        }
    }
    if (rest < text.size() && text.at(rest) != QLatin1Char('/') &&
        text.at(rest) != QLatin1Char('?') && text.at(rest) != QLatin1Char('#')) {
        return QString();
    }
    // In a URL the "%" before a zone is written "%25" (RFC 6874).
    QString literal = text.mid(at + 1, close - at - 1);
    literal.replace(QLatin1String("%25"), QLatin1String("%"));
    return IsIpv6Literal(literal) ? literal : QString();
}

bool IsIpv6Literal(const QString &text) {
    if (!text.contains(QLatin1Char(':')) || text.size() > kMaxIpv6LiteralLength) {
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    return !bytes.contains('\0') && IsNumericHost(bytes, AF_INET6);
}

QString Ipv6AddressText(const QByteArray &raw) {
    if (raw.size() != 16) {
        return QString();
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(raw.constData());
    quint16 groups[8];
    for (int i = 0; i < 8; ++i) {
        groups[i] = Read16(bytes + 2 * i);
    }
    // Written into one buffer and made a string once: every reply over IPv6 is written this way.
    char text[INET6_ADDRSTRLEN];
    char *out = text;
    // RFC 5952, 5: an IPv4-mapped address shows its IPv4 part in dotted form.
    if (groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
        groups[5] == 0xFFFF) {
        static const char kMapped[] = "::ffff:";
        out = std::copy(kMapped, kMapped + sizeof kMapped - 1, out);
        out = WriteDotted(out, bytes + 12);
        return QString::fromLatin1(text, out - text);
    }
    // RFC 5952, 4.2: "::" stands for the longest run of zero groups, the first of equally long
    // ones, and never for a single zero group.
    int bestStart = -1;
    int bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) {
            ++j;
        }
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            *out++ = ':';
            *out++ = ':';
            i += bestLength - 1;
            continue;
        }
        if (i > 0 && i != bestStart + bestLength) {
            *out++ = ':';
        }
        out = WriteHexGroup(out, groups[i]);
    }
    return QString::fromLatin1(text, out - text);
}

qint32 StatusOfIcmpV6Error(int type, int code) {
    switch (type) {
        case ICMP6_DST_UNREACH:
            switch (code) {
                case ICMP6_DST_UNREACH_NOROUTE:
                    return kDestinationNetUnreachable;
                case ICMP6_DST_UNREACH_NOPORT:
                    return kDestinationPortUnreachable;
                case 7:  // an error in the source routing header: IPv4's "source route failed"
                    return kBadRoute;
                default:
                    // Address unreachable, administratively prohibited, beyond the source's
                    // scope, failed policy, rejected route: as for IPv4, the host cannot be
                    // reached.
                    return kDestinationHostUnreachable;
            }
        case ICMP6_PACKET_TOO_BIG:
            return kPacketTooBig;
        case ICMP6_TIME_EXCEEDED:
            return code == ICMP6_TIME_EXCEED_REASSEMBLY ? kTtlExpiredReassembly
                                                        : kTtlExpiredTransit;
        case ICMP6_PARAM_PROB:
            return kParameterProblem;
        default:
            return 0;
    }
}

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
