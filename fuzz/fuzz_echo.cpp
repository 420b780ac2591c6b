// Echo query and ICMP and ICMPv6 replies: the query text of any address reads back to the same
// request, any query text is read or refused with an error, and any bytes a socket of either
// family hands over parse without reading outside them.
#include <netinet/icmp6.h>
#include <netinet/ip_icmp.h>

#include <QByteArray>
#include <QString>

#include "FuzzSupport.h"
#include "common/Errors.h"
#include "ping/EchoFamily.h"
#include "ping/EchoService.h"

namespace {

// `addressSize`: the size of the family's addresses (4 for IPv4, 16 for IPv6).
void CheckMessage(const TIcmpMessage &message, size_t size, int addressSize) {
    if (message.Kind == TIcmpMessage::TKind::EchoReply) {
        FUZZ_CHECK(message.PayloadSize <= size, "the payload lies inside the bytes");
    }
    if (message.Kind == TIcmpMessage::TKind::Error) {
        FUZZ_CHECK(message.Status != 0, "an error maps to a status");
        FUZZ_CHECK(message.QuotedDestination.size() == addressSize,
                   "an error quotes one address of the family");
    }
    if (message.Kind == TIcmpMessage::TKind::Other) {
        FUZZ_CHECK(message.Identifier == 0 && message.Sequence == 0 && message.Status == 0,
                   "what is not ours carries nothing");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The bytes as a raw socket and as a datagram socket of either family hand them over, and
    // as the error queue returns a request.
    CheckMessage(kEchoIPv4.ParseRaw(data, size), size, 4);
    CheckMessage(kEchoIPv4.ParseDatagram(data, size), size, 4);
    (void)QueuedRequestSequence(data, size, ICMP_ECHO);
    CheckMessage(kEchoIPv6.ParseRaw(data, size), size, 16);
    const TIcmpMessage datagram = kEchoIPv6.ParseDatagram(data, size);
    CheckMessage(datagram, size, 16);
    // Errors never come over a datagram socket: they go to the error queue.
    FUZZ_CHECK(datagram.Kind != TIcmpMessage::TKind::Error, "a datagram is no error");
    (void)QueuedRequestSequence(data, size, ICMP6_ECHO_REQUEST);

    // The bytes as a typed address: its query text reads back to the same request.
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const quint16 bufferSize = size >= 2 ? static_cast<quint16>(data[0] << 8 | data[1]) : 32;
    const quint16 timeOut = size >= 4 ? static_cast<quint16>(data[2] << 8 | data[3]) : 4000;
    const TEchoQuery query = ParseEchoQuery(EchoQueryText(text, bufferSize, timeOut));
    FUZZ_CHECK(query.Address == text, "the address reads back as typed");
    FUZZ_CHECK(query.BufferSize == bufferSize && query.TimeOut == timeOut, "the numbers read back");

    // The bytes as a query text: read, or refused with the promised error.
    try {
        ParseEchoQuery(text);
    } catch (const TxError &error) {
        FUZZ_CHECK(error.Message().startsWith(QStringLiteral("Invalid query: ")),
                   "a refused query says so");
    }
    return 0;
}
