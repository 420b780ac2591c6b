#pragma once

#include <sys/socket.h>

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <optional>

// The parts of an ICMP echo exchange that depend on the address family, as one table of
// functions per family (the way iputils' ping keeps one set for IPv4 and one for IPv6 under a
// single wait loop). The parsers are pure: bytes in, parsed message out, no socket and no state,
// so that they can be tested and fuzzed on their own.

struct TEchoFamily;

// The address one echo request goes to.
struct TEchoTarget {
    sockaddr_storage Address{};  // for sendto
    socklen_t Length = 0;
    QByteArray Raw;  // the address bytes in network order (4 for IPv4, 16 for IPv6)
    const TEchoFamily *Family = nullptr;  // the family whose socket sends to it
};

// What one received ICMP message says, as far as an echo request cares.
struct TIcmpMessage {
    enum class TKind {
        Other,      // not an answer to any echo request: dropped
        EchoReply,  // an echo reply
        Error,      // an ICMP error that quotes an echo request
    };
    TKind Kind = TKind::Other;
    // Echo reply: its identifier and sequence. Error: those of the quoted request.
    quint16 Identifier = 0;
    quint16 Sequence = 0;
    // Error: the status code of the ping status table it maps to.
    qint32 Status = 0;
    // Error: the destination address bytes of the quoted request.
    QByteArray QuotedDestination;
    // The time-to-live from the IP header where the bytes carry one (raw IPv4), else -1 (it
    // then comes with the ancillary data: ReadTtl).
    int Ttl = -1;
    // Echo reply: bytes of data after the ICMP header.
    quint32 PayloadSize = 0;
};

// How an outcome of one family's socket maps to the ping status table.
struct TEchoFamily {
    int Domain;           // AF_INET, AF_INET6
    int Protocol;         // IPPROTO_ICMP, IPPROTO_ICMPV6
    int EchoRequestType;  // ICMP_ECHO, ICMP6_ECHO_REQUEST
    // Resolves a name or literal to one target of this family (the first address of the
    // resolver's answer); no value when it does not resolve.
    std::optional<TEchoTarget> (*Resolve)(const QString &name);
    // Returns the address bytes of a socket address of this family, empty for another family.
    QByteArray (*AddressBytes)(const sockaddr *address);
    // Returns the text form of address bytes of this family.
    QString (*AddressText)(const QByteArray &raw);
    // Returns an echo request with the checksum filled in.
    QByteArray (*BuildRequest)(quint16 identifier, quint16 sequence, quint16 payloadSize);
    // Parses what a raw socket of this family receives.
    TIcmpMessage (*ParseRaw)(const unsigned char *data, std::size_t size);
    // Parses what an unprivileged datagram ICMP socket of this family receives (ICMP header
    // first; errors never come this way, they go to the error queue).
    TIcmpMessage (*ParseDatagram)(const unsigned char *data, std::size_t size);
    // Maps an ICMP error (type, code) to the status table; 0 for a message that is no error.
    qint32 (*StatusOfError)(int type, int code);
    // Sets the options a socket of this family needs (error queue and TTL for a datagram
    // socket, the message filter for a raw one).
    void (*ConfigureSocket)(int socket, bool datagram);
    // Returns the TTL (hop limit) of a received message from its ancillary data, or -1.
    int (*ReadTtl)(msghdr *message);
    // The ancillary data that gives one request its own TTL (hop limit): level and type.
    int TtlLevel;
    int TtlType;
    // The level and type of the error queue's ancillary data, and the origin of ICMP errors.
    int ErrorLevel;
    int ErrorType;
    int ErrorOriginIcmp;
};

// The IPv4 set.
extern const TEchoFamily kEchoIPv4;

// The IPv6 set: ICMPv6 echo. The kernel fills in the checksum (it covers a pseudo-header with the
// source address, which only the kernel knows), and the hop limit of a reply comes as ancillary
// data on raw and datagram sockets alike.
extern const TEchoFamily kEchoIPv6;

// Chooses the family and address for a target as typed, taken as AddressToResolve (TX_Net.h)
// gives it (blanks around it go, an IPv4-mapped IPv6 address is its IPv4 address):
// - an IPv6 literal, bare ("2001:db8::1", "fe80::1%eth0") or as the bracketed host of a URL
//   ("[2001:db8::1]", "http://[2001:db8::1]:8080/path"), goes over IPv6;
// - a name with IPv4 addresses goes over IPv4, to the first of them, as every run has always
//   gone;
// - a name with only IPv6 addresses goes over IPv6, to the first of them.
// No value when the target resolves to nothing.
std::optional<TEchoTarget> ResolveEchoTarget(const QString &name);

// True when ResolveEchoTarget decides about `name` without asking a name server: an IPv4 or
// IPv6 literal (also bracketed), or a name that never resolves (IsUnresolvableName).
bool ResolvesWithoutLookup(const QString &name);

// Returns the IPv6 literal that `text` holds as a bracketed host: "[" literal "]", optionally
// after a scheme ("http://") and followed by a port (":8080") and a path, query or fragment.
// Empty when the text is not of that form or the brackets hold no IPv6 literal.
QString BracketedIpv6Literal(const QString &text);

// Returns true when `text` is an IPv6 literal (a zone such as "%eth0" allowed), without asking
// any resolver.
bool IsIpv6Literal(const QString &text);

// Returns the text of 16 address bytes in the form of RFC 5952: lower-case hexadecimal without
// leading zeros, the longest run of two or more zero groups (the first of equally long runs)
// written "::", and an IPv4-mapped address (::ffff:0:0/96) with its last 32 bits in dotted form.
// Empty for any other number of bytes.
QString Ipv6AddressText(const QByteArray &raw);

// Returns the Internet checksum of `length` bytes.
quint16 IcmpChecksum(const unsigned char *data, std::size_t length);

// Maps an ICMPv6 error (type, code) to the status table, each onto the code of its ICMPv4
// counterpart; 0 for a message that is no error.
qint32 StatusOfIcmpV6Error(int type, int code);

// Maps a send that the local stack refused (an errno value) to the status table.
qint32 StatusOfSendError(int error);

// Returns the sequence number of an echo request of ours as the error queue hands it back (the
// request as sent, ICMP header first), or no value when the bytes are not an echo request.
std::optional<quint16> QueuedRequestSequence(const unsigned char *data, std::size_t size,
                                             int echoRequestType);

// True for names no resolver is asked about: empty, reserved under "invalid." (RFC 6761, 6.4:
// answered negatively at once instead of asking a name server that may be slow or
// unreachable), or longer than any DNS name can be (253 characters, a final dot aside).
bool IsUnresolvableName(const QString &name);
