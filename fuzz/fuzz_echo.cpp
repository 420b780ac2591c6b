// Echo query and ICMP replies: the query text of any address reads back to the same request,
// any query text is read or refused with an error, and any bytes a socket hands over parse
// without reading outside them.
#include <netinet/ip_icmp.h>

#include <QByteArray>
#include <QString>

#include "FuzzSupport.h"
#include "common/Errors.h"
#include "ping/EchoFamily.h"
#include "ping/EchoService.h"

namespace {

void CheckMessage(const TIcmpMessage &message, size_t size) {
    if (message.Kind == TIcmpMessage::TKind::EchoReply) {
        FUZZ_CHECK(message.PayloadSize <= size, "the payload lies inside the bytes");
    }
    if (message.Kind == TIcmpMessage::TKind::Error) {
        FUZZ_CHECK(message.Status != 0, "an error maps to a status");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The bytes as a raw socket and as a datagram socket hand them over, and as the error queue
    // returns a request.
    CheckMessage(kEchoIPv4.ParseRaw(data, size), size);
    CheckMessage(kEchoIPv4.ParseDatagram(data, size), size);
    (void)QueuedRequestSequence(data, size, ICMP_ECHO);

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
