#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>

#include "ping/EchoFamily.h"
#include "ping/EchoParameters.h"

class TProbeEngine;
struct TProbeRequest;

// One echo request is one query of an echo service, which answers with the five properties of
// the ping status object: StatusCode, ResponseTime, ProtocolAddress, ReplySize and TimeToLive.
// The run (PingRun.h) asks the service once per request and classifies the reply
// (PingStatus.h).

// The outcome of one echo request.
struct TPingReply {
    // 0 for a reply, a code of the status table (PingStatus.h) when the request got no reply,
    // empty (null) when the request could not be processed at all, e.g. a name that does not
    // resolve.
    std::optional<qint32> StatusCode;
    // Trip time in whole milliseconds (truncated), 0 for a reply faster than 1 ms.
    quint32 ResponseTime = 0;
    // The address that answered (an IPv4 text, or an IPv6 text in the form of RFC 5952): the
    // target for a reply, the sender of the ICMP error for an error; for a time-out, the address
    // the request went to; empty when there is none (a name that does not resolve).
    QString ProtocolAddress;
    // Size of the reply's data in bytes.
    quint32 ReplySize = 0;
    // Time-to-live of the reply (its hop limit over IPv6).
    quint32 TimeToLive = 0;
    // The measured trip time with its fraction, in microseconds: from sending the request to the
    // kernel's receive time stamp of the answer (a reply, or an ICMP error); 0 when there was
    // no answer. ResponseTime is this in whole milliseconds for a reply.
    quint32 TripMicroseconds = 0;
};

// One echo request: the target exactly as typed, with the payload size, time-out and TTL of its
// run (the run's Retries say how many requests it makes, not how this one goes).
struct TEchoQuery {
    QString Address;
    TEchoParameters Echo;
};

// An echo service: one connection per run, one ExecQuery per request.
class TEchoService {
  public:
    virtual ~TEchoService() = default;

    // Performs one request and returns its outcome, or no value when the service returned no
    // object at all. Blocks until the reply or the query's time-out; the run calls it on a
    // worker thread, so it must not touch widgets. Throws TxError when the service itself
    // fails (a system error); that ends the run.
    virtual std::optional<TPingReply> ExecQuery(const TEchoQuery &query) = 0;

    // The probe engine whose sockets this service sends its requests with, for runs that send
    // many requests at once; null for a service that makes its requests in another way.
    virtual std::shared_ptr<TProbeEngine> Engine() const { return nullptr; }
};

// Which kind of socket the ICMP echo service uses.
enum class TIcmpSocketKind {
    Automatic,  // a datagram socket where net.ipv4.ping_group_range allows, else a raw socket
    Datagram,   // unprivileged ICMP datagram socket only
    Raw,        // raw ICMP socket only (root or CAP_NET_RAW)
};

// The real echo service: sends ICMP echo requests over IPv4, and ICMPv6 echo requests over IPv6.
//
// The target is resolved for each request (ResolveEchoTarget): IPv6 literals, also as the
// bracketed host of a URL, and names with only IPv6 addresses go over IPv6, every other name over
// IPv4 as ever. A name that does not resolve gives a null status, and names under ".invalid"
// never resolve. A request that gets no reply within the time-out gives 11010; ICMP
// destination-unreachable gives 11002 to 11005 (net, host, protocol, port; fragmentation needed
// gives 11009, source route failed 11012); time exceeded gives 11013 (in transit) or 11014
// (reassembly); parameter problem 11015, source quench 11016. ICMPv6 errors give the codes of
// their ICMPv4 counterparts (StatusOfIcmpV6Error). A send that the local stack refuses maps the
// same way (no route: 11002 or 11003, message too long: 11009, no buffer space: 11006, anything
// else 11050).
class TIcmpEchoService final : public TEchoService {
  public:
    // Opens one socket per family, with the privileges and in the network namespace of the
    // calling thread. Throws TxError with a readable text naming the cause when no IPv4 ICMP
    // socket of the requested kind may be opened; when only the IPv6 one cannot be opened, IPv4
    // requests go on and each IPv6 request throws that text.
    explicit TIcmpEchoService(TIcmpSocketKind kind = TIcmpSocketKind::Automatic);
    ~TIcmpEchoService() override;
    TIcmpEchoService(const TIcmpEchoService &) = delete;
    TIcmpEchoService &operator=(const TIcmpEchoService &) = delete;

    std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override;

    // The kind of IPv4 socket actually opened (Datagram or Raw).
    TIcmpSocketKind Kind() const;

    // The kind of IPv6 socket opened (Datagram or Raw); Automatic when there is none.
    TIcmpSocketKind Ipv6Kind() const;

    // The echo identifier of this service's requests (on a datagram socket the kernel puts its
    // own in their place).
    quint16 Identifier() const;

    std::shared_ptr<TProbeEngine> Engine() const override { return engine_; }

  private:
    std::shared_ptr<TProbeEngine> engine_;
};

// Makes the echo service of one run; a run handed none uses ConnectEchoService.
using TEchoServiceFactory = std::function<std::unique_ptr<TEchoService>()>;

// Returns the real echo service for one run, a TIcmpEchoService.
// Throws TxError when the service cannot be opened.
std::unique_ptr<TEchoService> ConnectEchoService();

// Returns the echo service `connect` makes (unset: ConnectEchoService()). Throws TxError when it
// cannot be opened, or when `connect` makes none.
std::unique_ptr<TEchoService> OpenEchoService(const TEchoServiceFactory &connect);

// Returns the probe of one echo request to `target` with the payload, time-out and TTL of `echo`.
TProbeRequest EchoProbe(const TEchoTarget &target, const TEchoParameters &echo);
