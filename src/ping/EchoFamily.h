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

// The address one echo request goes to.
struct TEchoTarget {
    sockaddr_storage Address{};  // for sendto
    socklen_t Length = 0;
    QByteArray Raw;  // the address bytes in network order (4 for IPv4), for matching answers
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
    // The time-to-live from the IP header where the bytes carry one (raw IPv4), else -1.
    int Ttl = -1;
    // Echo reply: bytes of data after the ICMP header.
    quint32 PayloadSize = 0;
};

// How an outcome of one family's socket maps to the ping status table.
struct TEchoFamily {
    int Domain;           // AF_INET
    int Protocol;         // IPPROTO_ICMP
    int EchoRequestType;  // ICMP_ECHO
    // Resolves a name or literal to one target; no value when it does not resolve.
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
    // Returns the TTL of a datagram socket's received message from its ancillary data, or -1.
    int (*ReadTtl)(msghdr *message);
    // The level and type of the error queue's ancillary data, and the origin of ICMP errors.
    int ErrorLevel;
    int ErrorType;
    int ErrorOriginIcmp;
};

// The IPv4 set.
extern const TEchoFamily kEchoIPv4;

// Returns the Internet checksum of `length` bytes.
quint16 IcmpChecksum(const unsigned char *data, std::size_t length);

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
