// The IPv4 message parsers on hand-made packets: what a raw socket and a datagram socket hand
// over, answers that are ours, errors that quote someone else's packet, and cut-off bytes.
#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

#include "ping/EchoFamily.h"

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

TIcmpMessage Raw(const Bytes &bytes) {
    return kEchoIPv4.ParseRaw(bytes.data(), bytes.size());
}

}  // namespace

TEST(EchoFamilyIpv4, RawMessagesAreParsedIntoRepliesErrorsAndOthers) {
    const Bytes reply = Join(Ipv4Header(8 + 32, 57, kTarget, kUs), Icmp(0, 0, 0x1234, 7, 32));
    const struct {
        const char *name;
        Bytes bytes;
        TIcmpMessage::TKind kind;
        quint16 id;
        quint16 seq;
        qint32 status;
        int ttl;
        quint32 payload;
    } rows[] = {
        {"echo reply", reply, TIcmpMessage::TKind::EchoReply, 0x1234, 7, 0, 57, 32},
        {"empty echo reply", Join(Ipv4Header(8, 64, kTarget, kUs), Icmp(0, 0, 1, 2, 0)),
         TIcmpMessage::TKind::EchoReply, 1, 2, 0, 64, 0},
        {"host unreachable", RawError(3, 1, 0x1234, 9, kTarget), TIcmpMessage::TKind::Error, 0x1234,
         9, 11003, 250, 0},
        {"net unreachable", RawError(3, 0, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5, 6, 11002,
         250, 0},
        {"port unreachable", RawError(3, 3, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5, 6, 11005,
         250, 0},
        {"fragmentation needed", RawError(3, 4, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5, 6,
         11009, 250, 0},
        {"time exceeded in transit", RawError(11, 0, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5,
         6, 11013, 250, 0},
        {"reassembly time exceeded", RawError(11, 1, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5,
         6, 11014, 250, 0},
        {"parameter problem", RawError(12, 0, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5, 6,
         11015, 250, 0},
        {"source quench", RawError(4, 0, 5, 6, kTarget), TIcmpMessage::TKind::Error, 5, 6, 11016,
         250, 0},
        // Errors about packets that were no echo request are none of ours.
        {"error quoting a datagram", RawError(3, 1, 5, 6, kTarget, 13), TIcmpMessage::TKind::Other,
         0, 0, 0, -1, 0},
        {"echo request", Join(Ipv4Header(8, 64, kUs, kTarget), Icmp(8, 0, 1, 2, 0)),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {"timestamp reply", Join(Ipv4Header(8, 64, kTarget, kUs), Icmp(14, 0, 1, 2, 0)),
         TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
        {"nothing", Bytes{}, TIcmpMessage::TKind::Other, 0, 0, 0, -1, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const TIcmpMessage message = Raw(row.bytes);
        EXPECT_EQ(message.Kind, row.kind);
        EXPECT_EQ(message.Identifier, row.id);
        EXPECT_EQ(message.Sequence, row.seq);
        EXPECT_EQ(message.Status, row.status);
        EXPECT_EQ(message.Ttl, row.ttl);
        EXPECT_EQ(message.PayloadSize, row.payload);
        if (row.kind == TIcmpMessage::TKind::Error) {
            EXPECT_EQ(message.QuotedDestination, QByteArray("\xC0\x00\x02\x07", 4));
        }
    }
}

TEST(EchoFamilyIpv4, CutOffAndMalformedBytesAreNoAnswer) {
    // Every prefix of a whole error message and of a whole reply that lacks a header byte.
    const Bytes error = RawError(3, 1, 0x1234, 9, kTarget);
    for (std::size_t size = 0; size < error.size(); ++size) {
        const Bytes cut(error.begin(), error.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(Raw(cut).Kind, TIcmpMessage::TKind::Other) << size;
    }
    const Bytes reply = Join(Ipv4Header(8, 57, kTarget, kUs), Icmp(0, 0, 1, 2, 0));
    for (std::size_t size = 0; size < reply.size(); ++size) {
        const Bytes cut(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(Raw(cut).Kind, TIcmpMessage::TKind::Other) << size;
    }

    // A header length below the minimum, or pointing past the end; another protocol.
    Bytes shortHeader = reply;
    shortHeader[0] = 0x44;
    Bytes longHeader = reply;
    longHeader[0] = 0x4F;
    Bytes udp = reply;
    udp[9] = 17;
    Bytes version6 = reply;
    version6[0] = 0x65;
    for (const Bytes &bytes : {shortHeader, longHeader, udp, version6}) {
        EXPECT_EQ(Raw(bytes).Kind, TIcmpMessage::TKind::Other);
    }
}

TEST(EchoFamilyIpv4, DatagramMessagesStartWithTheIcmpHeader) {
    const Bytes reply = Icmp(0, 0, 77, 3, 100);
    const TIcmpMessage parsed = kEchoIPv4.ParseDatagram(reply.data(), reply.size());
    EXPECT_EQ(parsed.Kind, TIcmpMessage::TKind::EchoReply);
    EXPECT_EQ(parsed.Identifier, 77);
    EXPECT_EQ(parsed.Sequence, 3);
    EXPECT_EQ(parsed.PayloadSize, 100u);
    EXPECT_EQ(parsed.Ttl, -1);  // it comes with the ancillary data

    for (const Bytes &bytes : {Bytes{0, 0, 0, 0, 0, 0, 0}, Icmp(8, 0, 1, 2, 0), Bytes{}}) {
        EXPECT_EQ(kEchoIPv4.ParseDatagram(bytes.data(), bytes.size()).Kind,
                  TIcmpMessage::TKind::Other);
    }
}

TEST(EchoFamilyIpv4, RequestsCarryIdentifierSequenceAndAValidChecksum) {
    for (quint16 size : {quint16(0), quint16(1), quint16(32), quint16(1473)}) {
        const QByteArray request = kEchoIPv4.BuildRequest(0xBEEF, 0x0102, size);
        ASSERT_EQ(request.size(), 8 + size);
        const auto *bytes = reinterpret_cast<const unsigned char *>(request.constData());
        EXPECT_EQ(bytes[0], 8);
        EXPECT_EQ(bytes[4] << 8 | bytes[5], 0xBEEF);
        EXPECT_EQ(bytes[6] << 8 | bytes[7], 0x0102);
        // Summing a packet with its checksum in place gives 0.
        EXPECT_EQ(IcmpChecksum(bytes, static_cast<std::size_t>(request.size())), 0) << size;
        // What the error queue hands back is recognised as our request.
        EXPECT_EQ(QueuedRequestSequence(bytes, static_cast<std::size_t>(request.size()),
                                        kEchoIPv4.EchoRequestType),
                  std::optional<quint16>(0x0102));
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
