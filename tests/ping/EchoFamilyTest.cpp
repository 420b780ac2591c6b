// The IPv4 and IPv6 message parsers on hand-made packets: what a raw socket and a datagram
// socket hand over, answers that are ours, errors that quote someone else's packet, and cut-off
// bytes; the mapping of ICMPv6 errors, IPv6 address texts and the choice of family.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>

#include <QByteArray>
#include <cstring>
#include <vector>

#include "ping/EchoFamily.h"
#include "ping/PingStatus.h"

namespace {

using Bytes = std::vector<unsigned char>;

// An IPv4 header (no options) for an ICMP payload of `payload` bytes.
Bytes Ipv4Header(std::size_t payload, unsigned char ttl, const Bytes &source,
                 const Bytes &destination) {
    const std::size_t total = 20 + payload;
    Bytes header = {0x45,
                    0,
                    static_cast<unsigned char>(total >> 8),
                    static_cast<unsigned char>(total & 0xFF),
                    0,
                    0,
                    0,
                    0,
                    ttl,
                    1,
                    0,
                    0};
    header.insert(header.end(), source.begin(), source.end());
    header.insert(header.end(), destination.begin(), destination.end());
    return header;
}

Bytes Icmp(unsigned char type, unsigned char code, quint16 id, quint16 seq, std::size_t data) {
    Bytes icmp = {type,
                  code,
                  0,
                  0,
                  static_cast<unsigned char>(id >> 8),
                  static_cast<unsigned char>(id & 0xFF),
                  static_cast<unsigned char>(seq >> 8),
                  static_cast<unsigned char>(seq & 0xFF)};
    icmp.resize(8 + data, 'x');
    return icmp;
}

Bytes Join(Bytes first, const Bytes &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const Bytes kUs = {10, 0, 0, 2};
const Bytes kTarget = {192, 0, 2, 7};
const Bytes kRouter = {198, 51, 100, 1};

// An ICMP error from the router quoting our echo request (id, seq) to `destination`.
Bytes RawError(unsigned char type, unsigned char code, quint16 id, quint16 seq,
               const Bytes &destination, unsigned char quotedType = 8) {
    const Bytes quoted = Join(Ipv4Header(8, 63, kUs, destination), Icmp(quotedType, 0, id, seq, 0));
    const Bytes icmp = Join(Icmp(type, code, 0, 0, 0), quoted);
    return Join(Ipv4Header(icmp.size(), 250, kRouter, kUs), icmp);
}

// Every prefix of `bytes` that is shorter than the whole parses as no answer on a raw socket.
void ExpectNoPrefixIsAnAnswer(const TEchoFamily &family, const Bytes &bytes) {
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_EQ(family.ParseRaw(bytes.data(), size).Kind, TIcmpMessage::TKind::Other) << size;
    }
}

// The 16 bytes of an IPv6 text.
QByteArray V6(const char *text) {
    QByteArray raw(16, '\0');
    EXPECT_EQ(inet_pton(AF_INET6, text, raw.data()), 1) << text;
    return raw;
}

Bytes ToBytes(const QByteArray &raw) {
    return Bytes(raw.begin(), raw.end());
}

// An IPv6 header (no extension headers) for an ICMPv6 payload of `payload` bytes.
Bytes Ipv6Header(std::size_t payload, const QByteArray &source, const QByteArray &destination,
                 unsigned char nextHeader = 58) {
    Bytes header = {0x60,
                    0,
                    0,
                    0,
                    static_cast<unsigned char>(payload >> 8),
                    static_cast<unsigned char>(payload & 0xFF),
                    nextHeader,
                    64};
    const Bytes from = ToBytes(source);
    const Bytes to = ToBytes(destination);
    header.insert(header.end(), from.begin(), from.end());
    header.insert(header.end(), to.begin(), to.end());
    return header;
}

const QByteArray kUs6 = V6("2001:db8:1::2");
const QByteArray kTarget6 = V6("2001:db8:2::7");

// An ICMPv6 error as a raw ICMPv6 socket hands it over (no IPv6 header) quoting our echo request
// (id, seq) to `destination`.
Bytes RawError6(unsigned char type, unsigned char code, quint16 id, quint16 seq,
                const QByteArray &destination, unsigned char quotedType = 128,
                unsigned char nextHeader = 58) {
    return Join(Icmp(type, code, 0, 0, 0), Join(Ipv6Header(8, kUs6, destination, nextHeader),
                                                Icmp(quotedType, 0, id, seq, 0)));
}

}  // namespace

// What a raw socket of either family hands over: the IPv4 one with the IP header, the ICMPv6 one
// without (the hop limit comes with the ancillary data, so it is -1 here).
TEST(EchoFamily, RawMessagesAreParsedIntoRepliesErrorsAndOthers) {
    const Bytes reply = Join(Ipv4Header(8 + 32, 57, kTarget, kUs), Icmp(0, 0, 0x1234, 7, 32));
    const QByteArray target4("\xC0\x00\x02\x07", 4);
    const struct {
        const TEchoFamily *family;
        const char *name;
        Bytes bytes;
        TIcmpMessage::TKind kind;
        quint16 id;
        quint16 seq;
        qint32 status;
        int ttl;
        quint32 payload;
    } rows[] = {
        {&kEchoIPv4, "echo reply", reply, TIcmpMessage::TKind::EchoReply, 0x1234, 7, 0, 57, 32},
        {&kEchoIPv4, "empty echo reply", Join(Ipv4Header(8, 64, kTarget, kUs), Icmp(0, 0, 1, 2, 0)),
         TIcmpMessage::TKind::EchoReply, 1, 2, 0, 64, 0},
        {&kEchoIPv4, "host unreachable", RawError(3, 1, 0x1234, 9, kTarget),
         TIcmpMessage::TKind::Error, 0x1234, 9, 11003, 250, 0},
        {&kEchoIPv4, "net unreachable", RawError(3, 0, 5, 6, kTarget), TIcmpMessage::TKind::Error,
         5, 6, 11002, 250, 0},
        {&kEchoIPv4, "port unreachable", RawError(3, 3, 5, 6, kTarget), TIcmpMessage::TKind::Error,
         5, 6, 11005, 250, 0},
        {&kEchoIPv4, "fragmentation needed", RawError(3, 4, 5, 6, kTarget),
         TIcmpMessage::TKind::Error, 5, 6, 11009, 250, 0},
        {&kEchoIPv4, "time exceeded in transit", RawError(11, 0, 5, 6, kTarget),
         TIcmpMessage::TKind::Error, 5, 6, 11013, 250, 0},
        {&kEchoIPv4, "reassembly time exceeded", RawError(11, 1, 5, 6, kTarget),
         TIcmpMessage::TKind::Error, 5, 6, 11014, 250, 0},
        {&kEchoIPv4, "parameter problem", RawError(12, 0, 5, 6, kTarget),
         TIcmpMessage::TKind::Error, 5, 6, 11015, 250, 0},
        {&kEchoIPv4, "source quench", RawError(4, 0, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5,
         6, 11016, 250, 0},
        // Errors about packets that were no echo request are none of ours.
        {&kEchoIPv4, "error quoting a datagram", RawError(3, 1, 5, 6, kTarget, 13),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {&kEchoIPv4, "echo request", Join(Ipv4Header(8, 64, kUs, kTarget), Icmp(8, 0, 1, 2, 0)),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {&kEchoIPv4, "timestamp reply", Join(Ipv4Header(8, 64, kTarget, kUs), Icmp(14, 0, 1, 2, 0)),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {&kEchoIPv4, "nothing", Bytes{}, TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},

        {&kEchoIPv6, "echo reply", Icmp(129, 0, 0x1234, 7, 32), TIcmpMessage::TKind::EchoReply,
         0x1234, 7, 0, -1, 32},
        {&kEchoIPv6, "empty echo reply", Icmp(129, 0, 1, 2, 0), TIcmpMessage::TKind::EchoReply, 1,
         2, 0, -1, 0},
        {&kEchoIPv6, "address unreachable", RawError6(1, 3, 0x1234, 9, kTarget6),
         TIcmpMessage::TKind::Error, 0x1234, 9, 11003, -1, 0},
        {&kEchoIPv6, "no route", RawError6(1, 0, 5, 6, kTarget6), TIcmpMessage::TKind::Error, 5, 6,
         11002, -1, 0},
        {&kEchoIPv6, "packet too big", RawError6(2, 0, 5, 6, kTarget6), TIcmpMessage::TKind::Error,
         5, 6, 11009, -1, 0},
        {&kEchoIPv6, "hop limit exceeded", RawError6(3, 0, 5, 6, kTarget6),
         TIcmpMessage::TKind::Error, 5, 6, 11013, -1, 0},
        {&kEchoIPv6, "parameter problem", RawError6(4, 0, 5, 6, kTarget6),
         TIcmpMessage::TKind::Error, 5, 6, 11015, -1, 0},
        // Errors about packets that were no echo request of ours are none of ours.
        {&kEchoIPv6, "error quoting an echo reply", RawError6(1, 3, 5, 6, kTarget6, 129),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {&kEchoIPv6, "error quoting a UDP datagram", RawError6(1, 4, 5, 6, kTarget6, 128, 17),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {&kEchoIPv6, "echo request", Icmp(128, 0, 1, 2, 0), TIcmpMessage::TKind::Other, 0, 0, 0, -1,
         0},
        {&kEchoIPv6, "neighbour advertisement", Icmp(136, 0, 1, 2, 16), TIcmpMessage::TKind::Other,
         0, 0, 0, -1, 0},
        {&kEchoIPv6, "an IPv4 reply", Icmp(0, 0, 1, 2, 0), TIcmpMessage::TKind::Other, 0, 0, 0, -1,
         0},
        {&kEchoIPv6, "nothing", Bytes{}, TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.family == &kEchoIPv4 ? "IPv4 " : "IPv6 ") + row.name);
        const TIcmpMessage message = row.family->ParseRaw(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(message.Kind, row.kind);
        EXPECT_EQ(message.Identifier, row.id);
        EXPECT_EQ(message.Sequence, row.seq);
        EXPECT_EQ(message.Status, row.status);
        EXPECT_EQ(message.Ttl, row.ttl);
        EXPECT_EQ(message.PayloadSize, row.payload);
        if (row.kind == TIcmpMessage::TKind::Error) {
            EXPECT_EQ(message.QuotedDestination, row.family == &kEchoIPv4 ? target4 : kTarget6);
        }
    }
}

TEST(EchoFamily, CutOffAndMalformedBytesAreNoAnswer) {
    // Every prefix of a whole error message and of a whole reply that lacks a header byte; for
    // ICMPv6 every prefix of a whole error that lacks a byte of the quoted request's header.
    const Bytes error = RawError(3, 1, 0x1234, 9, kTarget);
    const Bytes reply = Join(Ipv4Header(8, 57, kTarget, kUs), Icmp(0, 0, 1, 2, 0));
    const Bytes error6 = RawError6(1, 3, 0x1234, 9, kTarget6);
    // A header length below the minimum, or pointing past the end; another protocol.
    Bytes shortHeader = reply;
    shortHeader[0] = 0x44;
    Bytes longHeader = reply;
    longHeader[0] = 0x4F;
    Bytes udp = reply;
    udp[9] = 17;
    Bytes version6 = reply;
    version6[0] = 0x65;
    // A quoted header that is no IPv6 header.
    Bytes version4 = error6;
    version4[8] = 0x45;
    const struct {
        const TEchoFamily *family;
        std::vector<Bytes> whole;
        std::vector<Bytes> malformed;
    } rows[] = {
        {&kEchoIPv4, {error, reply}, {shortHeader, longHeader, udp, version6}},
        {&kEchoIPv6, {error6}, {version4}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.family->Domain);
        for (const Bytes &bytes : row.whole) {
            ExpectNoPrefixIsAnAnswer(*row.family, bytes);
        }
        for (const Bytes &bytes : row.malformed) {
            EXPECT_EQ(row.family->ParseRaw(bytes.data(), bytes.size()).Kind,
                      TIcmpMessage::TKind::Other);
        }
    }
}

TEST(EchoFamily, DatagramMessagesStartWithTheIcmpHeader) {
    const struct {
        const TEchoFamily *family;
        unsigned char replyType;
        unsigned char requestType;
        unsigned char otherFamilysReply;
    } rows[] = {{&kEchoIPv4, 0, 8, 129}, {&kEchoIPv6, 129, 128, 0}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.family->Domain);
        const Bytes reply = Icmp(row.replyType, 0, 77, 3, 100);
        const TIcmpMessage parsed = row.family->ParseDatagram(reply.data(), reply.size());
        EXPECT_EQ(parsed.Kind, TIcmpMessage::TKind::EchoReply);
        EXPECT_EQ(parsed.Identifier, 77);
        EXPECT_EQ(parsed.Sequence, 3);
        EXPECT_EQ(parsed.PayloadSize, 100u);
        EXPECT_EQ(parsed.Ttl, -1);  // it comes with the ancillary data

        for (const Bytes &bytes :
             {Bytes{row.replyType, 0, 0, 0, 0, 0, 0}, Icmp(row.requestType, 0, 1, 2, 0),
              Icmp(row.otherFamilysReply, 0, 1, 2, 0), Bytes{}}) {
            EXPECT_EQ(row.family->ParseDatagram(bytes.data(), bytes.size()).Kind,
                      TIcmpMessage::TKind::Other);
        }
    }
}

// Requests carry identifier and sequence, and are recognised as ours when the error queue hands
// them back. An IPv4 request carries a valid checksum; over IPv6 the kernel writes it, as it
// covers the addresses of the IPv6 header, and the payload is the one IPv4 requests carry.
TEST(EchoFamily, RequestsCarryIdentifierSequenceAndTheirChecksum) {
    const struct {
        const TEchoFamily *family;
        unsigned char type;
        quint16 largest;  // the largest payload of an unfragmented request over Ethernet
    } rows[] = {{&kEchoIPv4, 8, 1473}, {&kEchoIPv6, 128, 1453}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.family->Domain);
        for (quint16 size : {quint16(0), quint16(1), quint16(32), row.largest}) {
            const QByteArray request = row.family->BuildRequest(0xBEEF, 0x0102, size);
            ASSERT_EQ(request.size(), 8 + size);
            const auto *bytes = reinterpret_cast<const unsigned char *>(request.constData());
            EXPECT_EQ(bytes[0], row.type);
            EXPECT_EQ(bytes[4] << 8 | bytes[5], 0xBEEF);
            EXPECT_EQ(bytes[6] << 8 | bytes[7], 0x0102);
            // The payload is the alphabet up to "w", over and over, as other systems' ping sends.
            QByteArray payload;
            while (payload.size() < size) {
                payload += QByteArray("abcdefghijklmnopqrstuvw").left(size - payload.size());
            }
            EXPECT_EQ(request.mid(8), payload) << size;
            if (row.family == &kEchoIPv4) {
                // Summing a packet with its checksum in place gives 0.
                EXPECT_EQ(IcmpChecksum(bytes, static_cast<std::size_t>(request.size())), 0) << size;
            } else {
                EXPECT_EQ(bytes[1], 0);
                EXPECT_EQ(bytes[2] << 8 | bytes[3], 0);
                EXPECT_EQ(request.mid(8), kEchoIPv4.BuildRequest(0xBEEF, 0x0102, size).mid(8));
            }
            // What the error queue hands back is recognised as our request.
            EXPECT_EQ(QueuedRequestSequence(bytes, static_cast<std::size_t>(request.size()),
                                            row.family->EchoRequestType),
                      std::optional<quint16>(0x0102));
        }
    }
    const unsigned char reply[8] = {0, 0, 0, 0, 0, 1, 0, 2};
    EXPECT_EQ(QueuedRequestSequence(reply, sizeof reply, kEchoIPv4.EchoRequestType), std::nullopt);
}

TEST(EchoFamilyIpv4, NamesNoResolverIsAskedAbout) {
    const struct {
        QString name;
        bool unresolvable;
    } rows[] = {
        {QString(), true},
        {QStringLiteral("."), true},
        {QStringLiteral("invalid"), true},
        {QStringLiteral("no-such-host.invalid"), true},
        {QStringLiteral("NO.SUCH.INVALID."), true},
        {QString(254, QLatin1Char('a')), true},
        {QString(40000, QLatin1Char('a')), true},
        {QString(253, QLatin1Char('a')), false},
        {QString(253, QLatin1Char('a')) + QLatin1Char('.'), false},
        {QStringLiteral("localhost"), false},
        {QStringLiteral("invalid.example"), false},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(IsUnresolvableName(row.name), row.unresolvable) << row.name.size();
    }
    EXPECT_EQ(kEchoIPv4.Resolve(QString(40000, QLatin1Char('a'))), std::nullopt);
    const std::optional<TEchoTarget> loopback = kEchoIPv4.Resolve(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(loopback.has_value());
    EXPECT_EQ(kEchoIPv4.AddressText(loopback->Raw), QStringLiteral("127.0.0.1"));
}

TEST(EchoFamilyIpv4, AddressTextsAreDotted) {
    const char *rows[] = {"127.0.0.1", "0.0.0.0", "255.255.255.255", "10.0.100.9", "192.0.2.10"};
    for (const char *row : rows) {
        QByteArray raw(4, '\0');
        ASSERT_EQ(inet_pton(AF_INET, row, raw.data()), 1) << row;
        EXPECT_EQ(kEchoIPv4.AddressText(raw), QLatin1String(row));
    }
    EXPECT_EQ(kEchoIPv4.AddressText(QByteArray(16, '\1')), QString());
    EXPECT_EQ(kEchoIPv4.AddressText(QByteArray()), QString());
}

// ---------------------------------------------------------------------------------------------
// IPv6

// Each ICMPv6 error gives the status its ICMPv4 counterpart gives, so a run over IPv6 writes the
// same texts as one over IPv4.
TEST(EchoFamilyIpv6, ErrorsMapOntoTheStatusesOfTheirIcmpV4Counterparts) {
    const struct {
        const char *name;
        int type6;
        int code6;
        int type4;  // the ICMPv4 counterpart
        int code4;
        qint32 status;
        const char *text;
    } rows[] = {
        {"no route to destination", 1, 0, 3, 0, 11002, "Destination Net Unreachable"},
        {"administratively prohibited", 1, 1, 3, 13, 11003, "Destination Host Unreachable"},
        {"beyond scope of source address", 1, 2, 3, 1, 11003, "Destination Host Unreachable"},
        {"address unreachable", 1, 3, 3, 1, 11003, "Destination Host Unreachable"},
        {"port unreachable", 1, 4, 3, 3, 11005, "Destination Port Unreachable"},
        {"source address failed policy", 1, 5, 3, 13, 11003, "Destination Host Unreachable"},
        {"reject route to destination", 1, 6, 3, 10, 11003, "Destination Host Unreachable"},
        {"error in source routing header", 1, 7, 3, 5, 11012, "Bad Route"},
        {"unknown unreachable code", 1, 99, 3, 99, 11003, "Destination Host Unreachable"},
        {"packet too big", 2, 0, 3, 4, 11009, "Packet Too Big"},
        {"hop limit exceeded in transit", 3, 0, 11, 0, 11013, "TimeToLive Expired Transit"},
        {"reassembly time exceeded", 3, 1, 11, 1, 11014, "TimeToLive Expired Reassembly"},
        {"erroneous header field", 4, 0, 12, 0, 11015, "Parameter Problem"},
        {"unrecognised next header", 4, 1, 12, 0, 11015, "Parameter Problem"},
        {"unrecognised option", 4, 2, 12, 0, 11015, "Parameter Problem"},
        // No errors: replies, requests and neighbour discovery.
        {"echo request", 128, 0, 8, 0, 0, "Success"},
        {"echo reply", 129, 0, 0, 0, 0, "Success"},
        {"neighbour solicitation", 135, 0, 13, 0, 0, "Success"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(StatusOfIcmpV6Error(row.type6, row.code6), row.status);
        EXPECT_EQ(kEchoIPv6.StatusOfError(row.type6, row.code6), row.status);
        EXPECT_EQ(kEchoIPv4.StatusOfError(row.type4, row.code4), row.status);
        EXPECT_EQ(PingStatus(row.status), QLatin1String(row.text));
    }
}

TEST(EchoFamilyIpv6, AddressTextsFollowRfc5952) {
    const struct {
        const char *in;
        const char *out;
    } rows[] = {
        {"::1", "::1"},
        {"::", "::"},
        {"0:0:0:0:0:0:0:1", "::1"},
        {"1::", "1::"},
        // 4.1: no leading zeros; 4.3: lower case.
        {"2001:0DB8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
        {"2001:db8:0:0:0:0:2:ABCD", "2001:db8::2:abcd"},
        // 4.2.1: the longest run; 4.2.3: the first of equally long runs.
        {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},
        // 4.2.2: a single zero group is not shortened.
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},
        {"fe80::1:0", "fe80::1:0"},
        // 5: IPv4-mapped addresses in mixed notation; other embedded forms in plain groups.
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
        {"::ffff:c000:201", "::ffff:192.0.2.1"},
        {"::192.0.2.1", "::c000:201"},
        {"64:ff9b::192.0.2.1", "64:ff9b::c000:201"},
        {"fd7a:5ee:0:0:0:0:0:10", "fd7a:5ee::10"},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
        {"a:b:c:d:e:f::", "a:b:c:d:e:f::"},
        {"1:0:0:2::", "1:0:0:2::"},
        {"0:1:0:1:0:1:0:1", "0:1:0:1:0:1:0:1"},
        {"1000:100:10:1:f000:f00:f0:f", "1000:100:10:1:f000:f00:f0:f"},
        {"::ffff:0.0.0.0", "::ffff:0.0.0.0"},
        {"::ffff:255.255.255.255", "::ffff:255.255.255.255"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(Ipv6AddressText(V6(row.in)), QLatin1String(row.out)) << row.in;
        EXPECT_EQ(kEchoIPv6.AddressText(V6(row.in)), QLatin1String(row.out)) << row.in;
    }
    EXPECT_EQ(Ipv6AddressText(QByteArray(4, '\1')), QString());
    EXPECT_EQ(Ipv6AddressText(QByteArray()), QString());
}

TEST(EchoFamilyIpv6, BracketedHostsOfUrlsAreIpv6Literals) {
    const struct {
        const char *text;
        const char *literal;  // empty: not a bracketed IPv6 literal
    } rows[] = {
        {"http://[2001:db8::1]:8080/", "2001:db8::1"},
        {"[2001:db8::1]:8080/", "2001:db8::1"},  // a list line after "http://" was removed
        {"[::1]", "::1"},
        {"[::1]:", "::1"},
        {"https://[::1]/index.html?a=b#top", "::1"},
        {"[::1]?query", "::1"},
        {"svn+ssh://[::1]:22/repo", "::1"},
        {"http://[fe80::1%25lo]:80/", "fe80::1%lo"},
        {"[2001:DB8::A]", "2001:DB8::A"},
        {"http://[::ffff:192.0.2.1]/", "::ffff:192.0.2.1"},
        // Not of that form, or no IPv6 literal inside.
        {"::1", ""},
        {"2001:db8::1", ""},
        {"[::1", ""},
        {"[::1]x", ""},
        {"[::1]:80x", ""},
        {"[::1]:80:81", ""},
        {"http://[127.0.0.1]/", ""},
        {"http://[example.com]/", ""},
        {"http://[]/", ""},
        {"1http://[::1]/", ""},
        {"ht tp://[::1]/", ""},
        {"http://user@[::1]/", ""},
        {" [::1]", ""},
        {"http://example.com/", ""},
        {"", ""},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(BracketedIpv6Literal(QString::fromLatin1(row.text)), QLatin1String(row.literal))
            << row.text;
    }
}

TEST(EchoFamilyIpv6, TargetsChooseTheirFamily) {
    const struct {
        const char *typed;
        const TEchoFamily *family;  // null: does not resolve
        const char *address;
    } rows[] = {
        {"::1", &kEchoIPv6, "::1"},
        {"0:0::1", &kEchoIPv6, "::1"},
        {"[::1]", &kEchoIPv6, "::1"},
        {"http://[::1]:8080/", &kEchoIPv6, "::1"},
        {"2001:DB8::5", &kEchoIPv6, "2001:db8::5"},
        // An IPv4-mapped address can only be reached over IPv4.
        {"::ffff:127.0.0.1", &kEchoIPv4, "127.0.0.1"},
        {"http://[::ffff:127.0.0.2]/", &kEchoIPv4, "127.0.0.2"},
        {"127.0.0.1", &kEchoIPv4, "127.0.0.1"},
        // Blanks around a pasted address are not part of it.
        {" 127.0.0.1 ", &kEchoIPv4, "127.0.0.1"},
        {"\t::1 ", &kEchoIPv6, "::1"},
        {"no-such-host.invalid", nullptr, ""},
        {"", nullptr, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.typed);
        const std::optional<TEchoTarget> target = ResolveEchoTarget(QString::fromLatin1(row.typed));
        if (row.family == nullptr) {
            EXPECT_FALSE(target.has_value());
            continue;
        }
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->Family, row.family);
        EXPECT_EQ(target->Address.ss_family, row.family->Domain);
        EXPECT_EQ(row.family->AddressText(target->Raw), QLatin1String(row.address));
    }
    // A zone stays with the address for sending, and leaves the text as it is.
    const std::optional<TEchoTarget> zoned = ResolveEchoTarget(QStringLiteral("fe80::1%lo"));
    ASSERT_TRUE(zoned.has_value());
    sockaddr_in6 address{};
    std::memcpy(&address, &zoned->Address, sizeof address);
    EXPECT_EQ(address.sin6_scope_id, 1u);
    EXPECT_EQ(kEchoIPv6.AddressText(zoned->Raw), QStringLiteral("fe80::1"));
}

// A literal goes to the very socket address the system's resolver gives for what it stands for:
// family, address, port, flow label, scope and length; forms the resolver reads in its own way
// (short, octal or hexadecimal IPv4 parts, a zone) as well as the plain ones.
TEST(EchoFamily, LiteralsGoWhereTheResolverSendsThem) {
    const struct {
        const char *typed;
        int family;
        const char *resolved;  // what the resolver is asked about, numerically
    } rows[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1"},
        {"0.0.0.0", AF_INET, "0.0.0.0"},
        {"255.255.255.255", AF_INET, "255.255.255.255"},
        {"192.0.2.1", AF_INET, "192.0.2.1"},
        {"127.1", AF_INET, "127.1"},
        {"0177.0.0.1", AF_INET, "0177.0.0.1"},
        {"0x7f.0.0.2", AF_INET, "0x7f.0.0.2"},
        {"010.1.1.1", AF_INET, "010.1.1.1"},
        {" 192.0.2.1\t", AF_INET, "192.0.2.1"},
        {"::1", AF_INET6, "::1"},
        {"::", AF_INET6, "::"},
        {"2001:DB8::5", AF_INET6, "2001:db8::5"},
        {"1:2:3:4:5:6:7:8", AF_INET6, "1:2:3:4:5:6:7:8"},
        {"::192.0.2.1", AF_INET6, "::192.0.2.1"},
        {"fe80::1%lo", AF_INET6, "fe80::1%lo"},
        {"[2001:db8::1]", AF_INET6, "2001:db8::1"},
        {"::ffff:192.0.2.1", AF_INET, "192.0.2.1"},
        {"::FFFF:c000:201", AF_INET, "192.0.2.1"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.typed);
        addrinfo hints{};
        hints.ai_family = row.family;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo *answer = nullptr;
        ASSERT_EQ(getaddrinfo(row.resolved, nullptr, &hints, &answer), 0);
        const std::optional<TEchoTarget> target = ResolveEchoTarget(QString::fromLatin1(row.typed));
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->Family->Domain, row.family);
        EXPECT_EQ(target->Length, answer->ai_addrlen);
        EXPECT_EQ(std::memcmp(&target->Address, answer->ai_addr, answer->ai_addrlen), 0);
        EXPECT_EQ(target->Raw, target->Family->AddressBytes(answer->ai_addr));
        freeaddrinfo(answer);
    }
}
