// ICMP and ICMPv6 replies: any bytes a socket of either family hands over parse without reading
// outside them.
#include <netinet/icmp6.h>
#include <netinet/ip_icmp.h>

#include "FuzzSupport.h"
#include "ping/EchoFamily.h"

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

    return 0;
}
